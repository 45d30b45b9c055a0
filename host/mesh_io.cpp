#include "host/mesh_io.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "host/builtin_meshes.h"

namespace korv::host {

namespace {

constexpr const char *kBuiltinPrefix = "builtin:";

bool ends_with(const std::string &text, const std::string &suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool read_file(const std::string &path, std::string &text, std::string &error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot open (" + std::strerror(errno) + ")";
    return false;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) {
    error = path + ": cannot read";
    return false;
  }
  text = std::move(buffer).str();
  return true;
}

// --- JSON -----------------------------------------------------------------

// A coordinate as the host stores it: rounded to float once. A number that
// does not fit a float is refused rather than turned into an infinity.
bool json_coordinate(const nlohmann::json &value, float &out) {
  if (!value.is_number()) {
    return false;
  }
  const double d = value.get<double>();
  const float f = static_cast<float>(d);
  if (std::isinf(f) && !std::isinf(d)) {
    return false;
  }
  out = f;
  return true;
}

bool json_positions(const nlohmann::json &doc, const char *key, const std::string &path,
                    std::vector<FloatPoint> &positions, std::string &error) {
  const nlohmann::json &list = doc.at(key);
  if (!list.is_array()) {
    error = path + ": " + key + ": expected an array of [x, y, z]";
    return false;
  }
  positions.clear();
  positions.reserve(list.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    const nlohmann::json &p = list[i];
    const std::string where = path + ": " + key + "[" + std::to_string(i) + "]";
    if (!p.is_array() || p.size() != 3) {
      error = where + ": expected [x, y, z]";
      return false;
    }
    FloatPoint point{};
    for (std::size_t c = 0; c < 3; ++c) {
      if (!json_coordinate(p[c], point[c])) {
        error = where + "[" + std::to_string(c) + "]: " + p[c].dump() +
                " is not a number that fits a float";
        return false;
      }
    }
    positions.push_back(point);
  }
  return true;
}

bool json_polygons(const nlohmann::json &doc, const std::string &path, Mesh &mesh,
                   std::string &error) {
  const nlohmann::json &list = doc.at("polygons");
  if (!list.is_array()) {
    error = path + ": polygons: expected an array of point index arrays";
    return false;
  }
  const std::size_t point_count = mesh.points.size();
  std::vector<std::uint32_t> indices;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const nlohmann::json &polygon = list[i];
    const std::string where = path + ": polygons[" + std::to_string(i) + "]";
    if (!polygon.is_array()) {
      error = where + ": expected an array of point indices";
      return false;
    }
    indices.clear();
    for (std::size_t c = 0; c < polygon.size(); ++c) {
      const nlohmann::json &index = polygon[c];
      const std::string at = where + "[" + std::to_string(c) + "]";
      if (!index.is_number_integer()) {
        error = at + ": " + index.dump() + " is not a point index";
        return false;
      }
      if (index.is_number_unsigned()
              ? index.get<std::uint64_t>() >= point_count
              : index.get<std::int64_t>() < 0 ||
                    std::uint64_t(index.get<std::int64_t>()) >= point_count) {
        error = at + ": index " + index.dump() + " out of range (" + std::to_string(point_count) +
                " points)";
        return false;
      }
      indices.push_back(static_cast<std::uint32_t>(index.get<std::uint64_t>()));
    }
    mesh.add_polygon(indices);
  }
  return true;
}

bool load_json(const std::string &path, const std::string &text, Mesh &mesh, std::string &error) {
  nlohmann::json doc;
  try {
    doc = nlohmann::json::parse(text);
  } catch (const nlohmann::json::parse_error &e) {
    // Drop the library's "[json.exception.parse_error.N] " prefix; the rest
    // names the line and column.
    std::string what = e.what();
    if (const auto end = what.find("] ");
        what.rfind("[json.exception", 0) == 0 && end != std::string::npos) {
      what.erase(0, end + 2);
    }
    error = path + ": " + what;
    return false;
  }
  if (!doc.is_object()) {
    error = path + ": expected an object with \"points\" and \"polygons\"";
    return false;
  }
  for (const char *key : {"points", "polygons"}) {
    if (!doc.contains(key)) {
      error = path + ": no \"" + key + "\" array";
      return false;
    }
  }
  Mesh result;
  if (!json_positions(doc, "points", path, result.points, error) ||
      !json_polygons(doc, path, result, error)) {
    return false;
  }
  if (doc.contains("deformed")) {
    if (!json_positions(doc, "deformed", path, result.deformed, error)) {
      return false;
    }
    if (result.deformed.size() != result.points.size()) {
      error = path + ": deformed: " + std::to_string(result.deformed.size()) + " positions for " +
              std::to_string(result.points.size()) + " points";
      return false;
    }
  }
  mesh = std::move(result);
  return true;
}

// --- Wavefront OBJ --------------------------------------------------------

// Byte offsets at which lines start, counting line ends as tinyobjloader's
// reader does ("\n", "\r\n" and a lone "\r").
std::vector<std::size_t> line_starts(const std::string &text) {
  std::vector<std::size_t> starts{0};
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
      starts.push_back(i + 1);
    }
  }
  return starts;
}

struct ObjReading {
  std::istringstream *stream = nullptr;
  Mesh mesh;
  // Per polygon: the offset just past its f line, to name the line in errors.
  std::vector<std::size_t> polygon_ends;
  // The first index that resolves to no point at all (0, or counting back
  // past the first point): its polygon and corner.
  bool bad = false;
  std::size_t bad_polygon = 0;
  std::size_t bad_corner = 0;
  // The indices as written, one per corner, to quote them in errors.
  std::vector<int> raw;
};

void obj_vertex(void *user, tinyobj::real_t x, tinyobj::real_t y, tinyobj::real_t z,
                tinyobj::real_t /*w*/) {
  auto &r = *static_cast<ObjReading *>(user);
  r.mesh.points.push_back({float(x), float(y), float(z)});
}

void obj_face(void *user, tinyobj::index_t *indices, int count) {
  auto &r = *static_cast<ObjReading *>(user);
  const std::size_t polygon = r.mesh.polygon_count();
  // Relative (negative) indices count back from the points read so far, as
  // tinyobjloader resolves them; positive ones are 1-based.
  const long long seen = static_cast<long long>(r.mesh.points.size());
  std::vector<std::uint32_t> corners;
  corners.reserve(std::size_t(count));
  for (int c = 0; c < count; ++c) {
    const int raw = indices[c].vertex_index;
    const long long resolved = raw > 0 ? raw - 1LL : raw < 0 ? seen + raw : -1;
    if ((resolved < 0 || resolved > std::numeric_limits<std::uint32_t>::max()) && !r.bad) {
      r.bad = true;
      r.bad_polygon = polygon;
      r.bad_corner = std::size_t(c);
    }
    corners.push_back(resolved < 0 ? 0 : static_cast<std::uint32_t>(resolved));
  }
  r.mesh.add_polygon(corners);
  for (int c = 0; c < count; ++c) {
    r.raw.push_back(indices[c].vertex_index);
  }
  r.polygon_ends.push_back(static_cast<std::size_t>(r.stream->tellg()));
}

bool load_obj(const std::string &path, const std::string &text, Mesh &mesh, std::string &error) {
  std::istringstream stream(text);
  ObjReading reading;
  reading.stream = &stream;
  tinyobj::callback_t callbacks;
  callbacks.vertex_cb = obj_vertex;
  callbacks.index_cb = obj_face;
  std::string warn;
  std::string err;
  if (!tinyobj::LoadObjWithCallback(stream, callbacks, &reading, nullptr, &warn, &err)) {
    std::string first = err.substr(0, err.find('\n'));
    error = path + ": " + (first.empty() ? "not a readable OBJ file" : first);
    return false;
  }
  const std::vector<std::size_t> starts = line_starts(text);
  auto line_of_polygon = [&](std::size_t polygon) {
    // The f line ends just before polygon_ends[polygon] (or at the end of
    // the text); its line is the last start before that offset.
    std::size_t end = reading.polygon_ends[polygon];
    if (end == std::size_t(-1)) {
      end = text.size();
    }
    const auto it = std::lower_bound(starts.begin(), starts.end(), end);
    return std::size_t(it - starts.begin());
  };
  const Mesh &m = reading.mesh;
  const std::size_t point_count = m.points.size();
  for (std::size_t p = 0; p < m.polygon_count(); ++p) {
    const auto corners = m.polygon(p);
    for (std::size_t c = 0; c < corners.size(); ++c) {
      const bool unresolved = reading.bad && reading.bad_polygon == p && reading.bad_corner == c;
      if (unresolved || corners[c] >= point_count) {
        const int raw = reading.raw[m.polygon_start[p] + c];
        error = path + ": line " + std::to_string(line_of_polygon(p)) + ": face corner " +
                std::to_string(c + 1) + ": index " + std::to_string(raw) +
                (raw == 0 ? " is not a valid index" : " out of range") + " (" +
                std::to_string(point_count) + " points)";
        return false;
      }
    }
  }
  mesh = std::move(reading.mesh);
  return true;
}

}  // namespace

bool load_mesh_file(const std::string &path, Mesh &mesh, std::string &error) {
  std::string text;
  if (!read_file(path, text, error)) {
    return false;
  }
  return ends_with(path, ".json") ? load_json(path, text, mesh, error)
                                  : load_obj(path, text, mesh, error);
}

bool load_mesh(const std::string &name_or_path, Mesh &mesh, std::string &error) {
  if (name_or_path.rfind(kBuiltinPrefix, 0) == 0) {
    const std::string name = name_or_path.substr(std::strlen(kBuiltinPrefix));
    if (builtin_mesh(name, mesh)) {
      return true;
    }
    std::string known;
    for (const std::string &n : builtin_mesh_names()) {
      known += (known.empty() ? "" : ", ") + n;
    }
    error = name_or_path + ": no built-in mesh of that name (known: " + known + ")";
    return false;
  }
  return load_mesh_file(name_or_path, mesh, error);
}

bool load_deformed(const std::string &name_or_path, Mesh &mesh, std::string &error) {
  Mesh other;
  if (!load_mesh(name_or_path, other, error)) {
    return false;
  }
  if (other.point_count() != mesh.point_count()) {
    error = name_or_path + ": " + std::to_string(other.point_count()) +
            " points, but the mesh it deforms has " + std::to_string(mesh.point_count());
    return false;
  }
  // A deformed mesh that lists polygons must list the same ones: otherwise
  // its positions belong to another topology.
  if (other.polygon_count() != 0 &&
      (other.corners != mesh.corners || other.polygon_start != mesh.polygon_start)) {
    std::size_t p = 0;
    while (p < other.polygon_count() && p < mesh.polygon_count() &&
           std::ranges::equal(other.polygon(p), mesh.polygon(p))) {
      ++p;
    }
    error = name_or_path + ": polygon " + std::to_string(p) +
            " differs from the mesh it deforms (same topology required)";
    return false;
  }
  mesh.deformed = std::move(other.points);
  return true;
}

}  // namespace korv::host
