#include "host/mesh_io.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>

#include "host/builtin_meshes.h"
#include "host/json_failure.h"
#include "host/obj_reader.h"

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
  } catch (const nlohmann::json::exception &e) {
    // A syntax error names its line and column; a number too large for a
    // double is found in the text.
    error = path + ": " + json_failure(e, text, true);
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

// --- Telling the formats apart ----------------------------------------------

// The file's text as UTF-8: a UTF-8 byte order mark dropped, UTF-16 text (with
// its mark, in either byte order) decoded, as some exporters write OBJ files.
bool decode_text(const std::string &path, std::string &text, std::string &error) {
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) {
    text.erase(0, 3);
    return true;
  }
  const bool big = text.rfind("\xFE\xFF", 0) == 0;
  if (!big && text.rfind("\xFF\xFE", 0) != 0) {
    return true;
  }
  if (text.size() % 2 != 0) {
    error = path + ": UTF-16 text of an odd number of bytes";
    return false;
  }
  std::string out;
  out.reserve(text.size() / 2);
  auto unit = [&](std::size_t i) {
    const auto hi = static_cast<unsigned char>(text[big ? i : i + 1]);
    const auto lo = static_cast<unsigned char>(text[big ? i + 1 : i]);
    return std::uint32_t(hi) << 8 | lo;
  };
  for (std::size_t i = 2; i < text.size(); i += 2) {
    std::uint32_t c = unit(i);
    if (c >= 0xD800 && c < 0xDC00 && i + 2 < text.size() && unit(i + 2) >= 0xDC00 &&
        unit(i + 2) < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
      i += 2;
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | c >> 6);
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | c >> 12);
      out += char(0x80 | (c >> 6 & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | c >> 18);
      out += char(0x80 | (c >> 12 & 0x3F));
      out += char(0x80 | (c >> 6 & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  text = std::move(out);
  return true;
}

}  // namespace

bool load_mesh_file(const std::string &path, Mesh &mesh, std::string &error, std::string *warning) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    error = path + ": a folder, not a mesh file (.json or .obj)";
    return false;
  }
  std::string text;
  if (!read_file(path, text, error) || !decode_text(path, text, error)) {
    return false;
  }
  // By content first: a JSON document opens with an object, which no OBJ
  // statement does; a file named .json is read as JSON whatever it holds,
  // so that its damage is told in JSON's terms.
  const std::size_t first = text.find_first_not_of(" \t\r\n\f\v");
  if (first == std::string::npos) {
    error = path + ": empty file, not a mesh";
    return false;
  }
  if (text[first] == '{' || text[first] == '[' || ends_with(path, ".json")) {
    return load_json(path, text, mesh, error);
  }
  std::string ignored;
  return read_obj(path, text, mesh, error, warning != nullptr ? *warning : ignored);
}

bool load_mesh(const std::string &name_or_path, Mesh &mesh, std::string &error,
               std::string *warning) {
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
  return load_mesh_file(name_or_path, mesh, error, warning);
}

bool load_deformed(const std::string &name_or_path, Mesh &mesh, std::string &error,
                   std::string *warning) {
  Mesh other;
  if (!load_mesh(name_or_path, other, error, warning)) {
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
