#include "shading/evaluate.h"

#include <cmath>

#include "runtime/host_services.h"

namespace korv {

namespace {

// An open edge's band widens as its normal turns towards the viewer.
double open_band(const Vec3 &toward, const Vec3 &u1, Vec3 view, double width) {
  view.normalize();
  const double c = dot(u1, view);
  const double m = c > 0.5 ? c : 0.5;
  const double e = dot(toward, view);
  const double w = e / m > 0.0 ? e / m : 0.0;
  return w * width;
}

// A normal that can be written: finite and not zero. A zero or non-finite
// normal shades black or NaN in a renderer.
bool has_direction(const Vec3 &v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) &&
         !(v.x == 0.0 && v.y == 0.0 && v.z == 0.0);
}

// An edge normal of the sample's database in the frame of the sample's
// normal (see evaluate_sample).
Vec3 to_sample_frame(const Vec3 &normal, const EdgeQuery &query, const ShadingSample &sample) {
  return query.deformed ? unit_vector(normal)
                        : apply_transposed_mat3(normal, sample.world_to_object).normalize();
}

// The ramp parameter of a sample at distance d from an edge of the given
// band: 0 on the edge, 1 at and beyond the band's border with rounding; 0
// within the band (its border included), 1 beyond it without.
double ramp(double d, double band, bool round) {
  const double j = d / band;
  if (round) {
    return j > 1.0 ? 1.0 : (j < 0.0 ? 0.0 : j);
  }
  return j > 1.0 ? 1.0 : 0.0;
}

// One edge taking part in a corner's blend.
struct Blended {
  double j;     // its ramp parameter, below 1
  Vec3 toward;  // its normal in the sample's frame
  const BandEdge *edge;
};

// The normal of a set of edges bending together (given as a bit mask over
// parts): with one edge, its own; when all share an end, the corner normal
// there (turned into the sample's frame); otherwise their normals' sum,
// normalised.
Vec3 set_normal(const Blended *parts, int count, unsigned set, const EdgeQuery &query,
                const ShadingSample &sample) {
  int first = -1;
  Vec3 sum;
  int members = 0;
  for (int i = 0; i < count; ++i) {
    if ((set >> i & 1u) != 0) {
      first = first < 0 ? i : first;
      sum = sum + parts[i].toward;
      ++members;
    }
  }
  if (members == 1) {
    return parts[first].toward;
  }
  for (int end = 0; end < 2; ++end) {
    const LWPntID point = parts[first].edge->ends[end];
    bool shared = point != nullptr;
    for (int i = first + 1; i < count && shared; ++i) {
      if ((set >> i & 1u) != 0) {
        shared = parts[i].edge->ends[0] == point || parts[i].edge->ends[1] == point;
      }
    }
    if (shared) {
      return to_sample_frame(parts[first].edge->corner_normals[end], query, sample);
    }
  }
  return sum.normalize();
}

// The bent normal of a sample that lies in the bands of several edges:
// multilinear in their ramp parameters J, over every set S of them,
//   bent = sum over S of  prod(i in S) (1 - J_i) * prod(i not in S) J_i * N_S
// with N_S the face normal for the empty set, an edge's own normal for one
// edge, and the set's corner normal for more. An edge at its band's border
// (J = 1) adds nothing, so the edges taking part change only where their
// share is zero; with one edge this is J u0 + (1 - J) N.
Vec3 blend_bands(const Blended *parts, int count, const Vec3 &u0, const EdgeQuery &query,
                 const ShadingSample &sample) {
  Vec3 bent;
  for (unsigned set = 0; set < (1u << count); ++set) {
    double weight = 1.0;
    for (int i = 0; i < count; ++i) {
      weight = weight * ((set >> i & 1u) != 0 ? 1.0 - parts[i].j : parts[i].j);
    }
    if (weight == 0.0) {
      continue;
    }
    const Vec3 normal = set == 0 ? u0 : set_normal(parts, count, set, query, sample);
    bent = bent + weight * normal;
  }
  return bent;
}

}  // namespace

double edge_mask(double d, double width) {
  return std::exp(-d / width);
}

void evaluate_sample(const ShadingSample &sample, const EdgeSource &source, ShadingResult &result) {
  // Read once: the query is handed the very service this check found.
  LWObjectInfo *const info = current_object_info();
  if (info == nullptr || sample.spot.polygon == nullptr) {
    return;
  }

  Vec3 u0 = to_vec3(sample.normal0);
  Vec3 u1 = to_vec3(sample.normal);
  u0.normalize();
  u1.normalize();
  const Vec3 offset = u1 - u0;

  // The query takes the render lock itself, only around its use of the
  // instance's cache and settings; from here on the sample reads the settings
  // only from its own copy, so all of it follows one consistent set, and
  // nothing else here touches shared state. An edge width that is not above
  // 0 finds no edge.
  EdgeQuery &query = result.query;
  const double d = find_nearest_edge(info, sample.spot, source, query);
  if (!(d >= 0.0)) {
    // Where the object's edges were searched and none was found, the mask is
    // 0; where the query gave up (the bevel off, a failed build) the sample
    // passes through.
    if (query.searched) {
      result.mask = ShadingResult::Mask::NoEdge;
    }
    return;
  }
  const EdgeSettings &settings = query.settings;
  double band = settings.edge_width * 0.5;

  // The edge normal in the frame of the sample's normal, by the frame its
  // database was built in. Deformed edges are already there; base-mesh edges
  // are turned into the world by the object's transform. A normal takes the
  // inverse transpose of the object-to-world transform, which is the
  // world-to-object one transposed; that one itself would turn it the wrong
  // way on any rotated object.
  const Vec3 toward = to_sample_frame(query.normal, query, sample);

  if (query.is_open != 0) {
    band = open_band(toward, u1, sample.view, settings.edge_width);
    // A band of 0 (the edge faces away) leaves the sample as it came. So
    // does a band with no value, which an infinite width times 0 would give.
    if (!(band > 0.0)) {
      return;
    }
  }

  result.mask = ShadingResult::Mask::Edge;
  result.distance = d;
  // An edge normal with no direction (the two polygons of an edge facing
  // exactly opposite ways, as back-to-back polygons on shared points do, or
  // a degenerate transform) has nothing to bend towards: the normals stay as
  // received.
  if (settings.disable_bevel != 0 || !has_direction(toward)) {
    return;
  }

  // The band includes its border: at d = band the sample is still bevelled.
  const bool round = settings.round_edge != 0;
  const double j = ramp(d, band, round);
  // The other edges whose bands hold the sample (corner blending on); an
  // edge whose band is empty here or whose normal has no direction takes no
  // part, as it would bend nothing as the nearest.
  Blended parts[EdgeQuery::kMaxBandEdges];
  int count = 0;
  bool blend = false;
  if (query.band_count > 1) {
    parts[count++] = {j, toward, &query.band[0]};
    for (int k = 1; k < query.band_count; ++k) {
      const BandEdge &other = query.band[k];
      const Vec3 other_toward = to_sample_frame(other.normal, query, sample);
      double other_band = settings.edge_width * 0.5;
      if (other.is_open != 0) {
        other_band = open_band(other_toward, u1, sample.view, settings.edge_width);
      }
      const double other_j = other_band > 0.0 ? ramp(other.distance, other_band, round) : 1.0;
      if (other_j < 1.0 && has_direction(other_toward)) {
        parts[count++] = {other_j, other_toward, &other};
      }
    }
    // A nearest edge seen end-on bends the sample only where no other does.
    blend = count > 1;
    if (blend && query.band[0].end_on) {
      parts[0] = parts[--count];
    }
  }
  // With one band, the bend is the nearest edge's alone, to the bit.
  const Vec3 bent =
      blend ? blend_bands(parts, count, u0, query, sample) : j * u0 + (1.0 - j) * toward;
  Vec3 shading = bent + offset;
  shading.normalize();
  // Where the bent normal and the incoming offset cancel (a normal arriving
  // opposite the edge normal, halfway up the ramp), there is no shading
  // normal to write either.
  if (!has_direction(shading)) {
    return;
  }
  result.bend = true;
  store(bent, result.normal0);
  store(shading, result.normal);
}

}  // namespace korv
