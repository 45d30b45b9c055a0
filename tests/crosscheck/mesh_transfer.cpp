#include "tests/crosscheck/mesh_transfer.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>

namespace korv::crosscheck {

namespace {

std::string float_bits(float value) {
  std::uint32_t u;
  std::memcpy(&u, &value, sizeof u);
  static const char digits[] = "0123456789abcdef";
  std::string text = "\"0x";
  for (int shift = 28; shift >= 0; shift -= 4) {
    text += digits[(u >> shift) & 0xf];
  }
  return text + "\"";
}

bool parse_float_bits(const nlohmann::json &value, float &out) {
  if (!value.is_string()) {
    return false;
  }
  const std::string &text = value.get_ref<const std::string &>();
  if (text.size() != 10 || text.compare(0, 2, "0x") != 0) {
    return false;
  }
  std::uint32_t u = 0;
  for (std::size_t i = 2; i < text.size(); ++i) {
    const char c = text[i];
    const int digit = c >= '0' && c <= '9' ? c - '0' : (c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1);
    if (digit < 0) {
      return false;
    }
    u = (u << 4) | std::uint32_t(digit);
  }
  std::memcpy(&out, &u, sizeof out);
  return true;
}

std::string points_text(const std::vector<host::FloatPoint> &points) {
  std::string text = "[";
  for (std::size_t i = 0; i < points.size(); ++i) {
    text += (i ? ",[" : "[") + float_bits(points[i][0]) + "," + float_bits(points[i][1]) + "," +
            float_bits(points[i][2]) + "]";
  }
  return text + "]";
}

bool read_points(const nlohmann::json &list, std::vector<host::FloatPoint> &points) {
  if (!list.is_array()) {
    return false;
  }
  for (const auto &p : list) {
    host::FloatPoint q{};
    if (!p.is_array() || p.size() != 3 || !parse_float_bits(p[0], q[0]) ||
        !parse_float_bits(p[1], q[1]) || !parse_float_bits(p[2], q[2])) {
      return false;
    }
    points.push_back(q);
  }
  return true;
}

}  // namespace

std::string mesh_line(const NamedMesh &named) {
  const host::Mesh &mesh = named.mesh;
  std::string line = "{\"mesh\":" + nlohmann::json(named.name).dump() +
                     ",\"points\":" + points_text(mesh.points) +
                     ",\"deformed\":" + points_text(mesh.deformed) + ",\"polygons\":[";
  for (std::size_t i = 0; i < mesh.polygon_count(); ++i) {
    line += i ? ",[" : "[";
    const auto polygon = mesh.polygon(i);
    for (std::size_t k = 0; k < polygon.size(); ++k) {
      line += k ? "," : "";
      line += std::to_string(polygon[k]);
    }
    line += "]";
  }
  return line + "]}";
}

bool read_mesh_lines(const std::string &path, std::vector<NamedMesh> &meshes, std::string &error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read " + path;
    return false;
  }
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    if (line.empty()) {
      continue;
    }
    const auto json = nlohmann::json::parse(line, nullptr, false);
    NamedMesh named;
    bool ok = !json.is_discarded() && json.is_object() && json.contains("mesh") &&
              json["mesh"].is_string() && json.contains("polygons") && json["polygons"].is_array();
    ok = ok && read_points(json["points"], named.mesh.points) &&
         read_points(json["deformed"], named.mesh.deformed);
    if (ok) {
      named.name = json["mesh"].get<std::string>();
      for (const auto &polygon : json["polygons"]) {
        std::vector<std::uint32_t> indices;
        for (const auto &index : polygon) {
          ok = ok && index.is_number_unsigned() &&
               index.get<std::uint64_t>() < named.mesh.points.size();
          indices.push_back(ok ? index.get<std::uint32_t>() : 0);
        }
        named.mesh.add_polygon(indices);
      }
    }
    if (!ok) {
      error = path + ":" + std::to_string(number) + ": not a mesh line";
      return false;
    }
    meshes.push_back(std::move(named));
  }
  return true;
}

}  // namespace korv::crosscheck
