// korv-records: prints what the module computes for a fixed set of meshes,
// settings and samples as JSON lines with every double as its exact bits, so
// that two builds (native and Windows) can be compared bit for bit.
//
//   korv-records export [MESH_FILE...] > meshes.jsonl
//   korv-records dump [--x87-precision 53|64] [--meshes meshes.jsonl | MESH_FILE...]
//   korv-records compare A.jsonl B.jsonl
//
// export writes the built-in, generated and named meshes with their floats'
// exact bits; dump --meshes reads them back, so that two builds shade the
// same positions even where their C runtimes would build or read a mesh
// differently (the built-in meshes use sin and cos).
// dump loads the module file beside the program through its descriptor, as
// every end-to-end test does. For each mesh and settings case it renders the
// samples of samples_over_mesh, then prints the instance's edge database
// (points with their polygons and edges, edges with ends, normal and open
// flag) and every sample's normals and channels after evaluation.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/builtin_meshes.h"
#include "host/mesh_io.h"
#include "host/mesh_service.h"
#include "host/shader_session.h"
#include "instance/edge_instance.h"
#include "tests/crosscheck/mesh_transfer.h"
#include "tests/crosscheck/record_compare.h"
#include "tests/e2e/generated_meshes.h"
#include "tests/e2e/sample_grid.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace korv::crosscheck {
namespace {

struct SettingsCase {
  const char *name;
  std::vector<std::string> assignments;  // the edge widths are added per mesh
};

// Hex digits of a double's bits: the same text on every platform, without
// relying on the C runtime's printf.
std::string bits(double value) {
  std::uint64_t u;
  std::memcpy(&u, &value, sizeof u);
  static const char digits[] = "0123456789abcdef";
  std::string text = "\"0x";
  for (int shift = 60; shift >= 0; shift -= 4) {
    text += digits[(u >> shift) & 0xf];
  }
  return text + "\"";
}

// Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) about a
// literal plus a temporary string.
std::string bits3(const double v[3]) {
  std::string text = "[";
  text += bits(v[0]);
  text += ",";
  text += bits(v[1]);
  text += ",";
  text += bits(v[2]);
  return text + "]";
}

std::string quoted(const std::string &s) {
  return "\"" + s + "\"";
}

void emit(const std::string &line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

// An exact binary fraction near a 32nd of the mesh's largest extent, written
// so that any decimal reader gets its bits.
std::string edge_width_for(const host::Mesh &mesh) {
  float low[3] = {0, 0, 0}, high[3] = {0, 0, 0};
  for (std::size_t i = 0; i < mesh.points.size(); ++i) {
    for (int k = 0; k < 3; ++k) {
      if (i == 0 || mesh.points[i][k] < low[k])
        low[k] = mesh.points[i][k];
      if (i == 0 || mesh.points[i][k] > high[k])
        high[k] = mesh.points[i][k];
    }
  }
  double extent = 0;
  for (int k = 0; k < 3; ++k) {
    const double e = double(high[k]) - double(low[k]);
    extent = e > extent ? e : extent;
  }
  double width = 1.0 / 1024.0;
  while (width * 64.0 <= extent) {
    width *= 2.0;
  }
  char text[64];
  std::snprintf(text, sizeof text, "%.17g", width);
  return text;
}

void dump_database(const std::string &label, const EdgeInstance &inst) {
  const EdgeCache &cache = *inst.cache;
  emit("{\"case\":" + quoted(label) +
       ",\"what\":\"cache\",\"databases\":" + std::to_string(cache.databases.size()) + "}");
  for (const auto &database : cache.databases) {
    const Array<EdgeRecord> *records =
        database->edge_list ? &database->edge_list->records : nullptr;
    for (const auto &[key, point] : database->points) {
      std::string line = "{\"case\":" + quoted(label) + ",\"what\":\"point\",\"point\":" +
                         std::to_string(host::point_index(reinterpret_cast<LWPntID>(key))) +
                         ",\"polygon_count\":" + std::to_string(point.polygon_count) +
                         ",\"edge_count\":" + std::to_string(point.edge_count) + ",\"polygons\":[";
      for (std::int32_t i = 0; i < point.polygon_fill; ++i) {
        line += i ? "," : "";
        line += std::to_string(host::polygon_index(point.polygons[i]));
      }
      line += "],\"edges\":[";
      for (std::int32_t i = 0; i < point.edge_count; ++i) {
        const long index = records ? long(point.edges[i] - records->data()) : -1;
        line += i ? "," : "";
        line += std::to_string(index);
      }
      emit(line + "]}");
    }
    if (records == nullptr) {
      continue;
    }
    for (std::size_t i = 0; i < records->size(); ++i) {
      const EdgeRecord &e = (*records)[i];
      const double normal[3] = {e.normal.x, e.normal.y, e.normal.z};
      emit("{\"case\":" + quoted(label) + ",\"what\":\"edge\",\"edge\":" + std::to_string(i) +
           ",\"a\":" + std::to_string(host::point_index(e.point_a)) +
           ",\"b\":" + std::to_string(host::point_index(e.point_b)) +
           ",\"normal\":" + bits3(normal) + ",\"open\":" + std::to_string(e.is_open) + "}");
    }
  }
}

void dump_sample(const std::string &label, std::size_t index, const LWShaderAccess &s) {
  emit("{\"case\":" + quoted(label) + ",\"what\":\"sample\",\"sample\":" + std::to_string(index) +
       ",\"wNorm0\":" + bits3(s.wNorm0) + ",\"wNorm\":" + bits3(s.wNorm) + ",\"luminous\":" +
       bits(s.luminous) + ",\"diffuse\":" + bits(s.diffuse) + ",\"specular\":" + bits(s.specular) +
       ",\"mirror\":" + bits(s.mirror) + ",\"transparency\":" + bits(s.transparency) +
       ",\"translucency\":" + bits(s.translucency) + ",\"bumpHeight\":" + bits(s.bumpHeight) + "}");
}

// One mesh under one settings case, in a fresh load of the module.
bool dump_case(const NamedMesh &named, const SettingsCase &settings, std::size_t max_polygons) {
  const std::string label = named.name + "/" + settings.name;
  std::string error;
  auto session = host::ShaderSession::open(host::default_module_path(), error);
  if (!session) {
    std::fprintf(stderr, "korv-records: %s\n", error.c_str());
    return false;
  }
  std::vector<std::string> assignments = settings.assignments;
  const std::string width = edge_width_for(named.mesh);
  assignments.push_back("edge_width=" + width);
  assignments.push_back("out_width=" + width);
  error = session->apply_settings(assignments);
  if (!error.empty()) {
    std::fprintf(stderr, "korv-records: %s: %s\n", label.c_str(), error.c_str());
    return false;
  }
  host::SceneObject object(named.mesh, named.name);
  std::vector<LWShaderAccess> samples = testing::samples_over_mesh(object, max_polygons);
  session->init();
  for (LWShaderAccess &s : samples) {
    session->evaluate(s);
  }
  const auto &inst = *static_cast<const EdgeInstance *>(session->instance());
  dump_database(label, inst);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    dump_sample(label, i, samples[i]);
  }
  session->cleanup();
  return true;
}

std::vector<NamedMesh> meshes(const std::vector<std::string> &files, bool &ok) {
  std::vector<NamedMesh> list;
  for (const std::string &name : host::builtin_mesh_names()) {
    NamedMesh m{"builtin:" + name, {}};
    ok = host::builtin_mesh(name, m.mesh) && ok;
    list.push_back(std::move(m));
  }
  list.push_back({"bumpy_grid", testing::bumpy_grid(16, 3)});
  list.push_back({"bumpy_grid_deformed", testing::deformed_bumpy_grid(12, 11)});
  list.push_back({"prism5", testing::prism(5)});
  list.push_back({"prism12", testing::prism(12)});
  for (const std::string &file : files) {
    NamedMesh m;
    std::string error;
    if (!host::load_mesh(file, m.mesh, error)) {
      std::fprintf(stderr, "korv-records: %s\n", error.c_str());
      ok = false;
      continue;
    }
    const std::size_t slash = file.find_last_of("/\\");
    m.name = slash == std::string::npos ? file : file.substr(slash + 1);
    list.push_back(std::move(m));
  }
  return list;
}

#if defined(_WIN32) && (defined(__i386__) || defined(__x86_64__))
unsigned short x87_control_word() {
  unsigned short word = 0;
  __asm__ volatile("fnstcw %0" : "=m"(word));
  return word;
}

// Sets the x87 unit's precision control (bits 8 and 9 of its control word:
// binary 10 is 53 bits, 11 is 64 bits) and reads it back. It is written
// directly because the C runtime's _controlfp_s leaves the precision alone
// in 64-bit programs, while MinGW's exp and cos compute on the x87 unit there
// as well.
bool set_x87_precision(const std::string &bits) {
  if (bits != "53" && bits != "64") {
    std::fprintf(stderr, "korv-records: --x87-precision takes 53 or 64, not %s\n", bits.c_str());
    return false;
  }
  const unsigned short before = x87_control_word();
  const unsigned short wanted = (before & ~0x300u) | (bits == "53" ? 0x200u : 0x300u);
  __asm__ volatile("fldcw %0" : : "m"(wanted));
  const unsigned short after = x87_control_word();
  std::fprintf(stderr, "korv-records: x87 control word %#x, now %#x (%s bits)\n", before, after,
               bits.c_str());
  if (after != wanted) {
    std::fprintf(stderr, "korv-records: the x87 precision did not change\n");
    return false;
  }
  return true;
}
#else
// Elsewhere the C library computes exp and cos in SSE2 registers; the x87
// unit's precision does not reach the module's results.
bool set_x87_precision(const std::string &) {
  return true;
}
#endif

// Writes the meshes (built-in, generated and files) as mesh lines.
int export_meshes(const std::vector<std::string> &files) {
  bool ok = true;
  for (const NamedMesh &m : meshes(files, ok)) {
    emit(mesh_line(m));
  }
  return ok ? 0 : 1;
}

int dump(const std::vector<std::string> &args) {
  std::vector<std::string> files;
  std::string mesh_lines;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--meshes" && i + 1 < args.size()) {
      mesh_lines = args[++i];
    } else if (args[i] == "--x87-precision" && i + 1 < args.size()) {
      // A host built with another compiler may run with the x87 unit set to
      // double precision (53 bits); the module's runtime functions must give
      // the same results either way.
      if (!set_x87_precision(args[++i])) {
        return 1;
      }
    } else {
      files.push_back(args[i]);
    }
  }
  const std::vector<SettingsCase> cases = {
      {"mask", {"out_channel=1"}},
      {"step_open_bump", {"smooth_edge=0", "round_edge=0", "open_edge=1", "out_channel=7"}},
      {"angles_deformed",
       {"edge_dangle=30deg", "smooth_cos=60deg", "use_deform=1", "open_edge=1", "out_channel=2"}},
      {"no_bevel", {"disable_bevel=1", "smooth_cos=10deg", "out_channel=5"}},
      {"across_outside", {"cross_polygons=1", "edge_kind=1", "out_channel=1"}},
      {"across_inside_open", {"cross_polygons=1", "edge_kind=2", "open_edge=1", "out_channel=3"}},
      {"corners_off", {"edge_width=0.5", "out_channel=1", "corner_blend=0"}},
      {"corners_step_open", {"edge_width=0.3", "round_edge=0", "open_edge=1", "smooth_edge=0"}},
  };
  bool ok = true;
  std::vector<NamedMesh> list;
  if (mesh_lines.empty()) {
    list = meshes(files, ok);
  } else {
    std::string error;
    if (!read_mesh_lines(mesh_lines, list, error)) {
      std::fprintf(stderr, "korv-records: %s\n", error.c_str());
      return 1;
    }
  }
  for (const NamedMesh &m : list) {
    // Large meshes: two cases and samples on a few hundred polygons.
    const bool large = m.mesh.polygon_count() > 2000;
    for (std::size_t c = 0; c < (large ? 2 : cases.size()); ++c) {
      ok = dump_case(m, cases[c], large ? 150 : 400) && ok;
    }
  }
  return ok ? 0 : 1;
}

}  // namespace
}  // namespace korv::crosscheck

int main(int argc, char **argv) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "export") {
    return korv::crosscheck::export_meshes({args.begin() + 1, args.end()});
  }
  if (!args.empty() && args[0] == "dump") {
    return korv::crosscheck::dump({args.begin() + 1, args.end()});
  }
  if (args.size() == 3 && args[0] == "compare") {
    return korv::crosscheck::compare_files(args[1], args[2]);
  }
  std::fprintf(stderr,
               "usage: korv-records export [MESH_FILE...] > meshes.jsonl\n"
               "       korv-records dump [--x87-precision 53|64] [--meshes meshes.jsonl | "
               "MESH_FILE...]\n"
               "       korv-records compare A.jsonl B.jsonl\n");
  return 2;
}
