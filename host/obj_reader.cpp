#include "host/obj_reader.h"

#include <tiny_obj_loader.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string_view>
#include <vector>

namespace korv::host {

namespace {

// The statements OBJ defines (geometry, grouping, display and free-form
// ones): a file whose first statement is none of them is no OBJ file.
constexpr std::string_view kStatements[] = {
    "v",        "vt",       "vn",         "vp",        "f",      "fo",     "l",      "p",
    "o",        "g",        "s",          "mg",        "mtllib", "usemtl", "usemap", "maplib",
    "cstype",   "deg",      "bmat",       "step",      "curv",   "curv2",  "surf",   "parm",
    "trim",     "hole",     "scrv",       "sp",        "end",    "con",    "lod",    "bevel",
    "c_interp", "d_interp", "shadow_obj", "trace_obj", "ctech",  "stech",  "call",   "csh"};

// The text with "\n" line ends only, each line that ends in a backslash
// joined to the next (tinyobjloader reads physical lines only). The line
// ends taken out go after the joined line, so later lines keep their numbers
// and a joined statement is named by its first line.
std::string joined_lines(const std::string &text) {
  std::string out;
  out.reserve(text.size() + 1);
  std::size_t held = 0;
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t end = std::min(text.find_first_of("\r\n", pos), text.size());
    std::string_view line(text.data() + pos, end - pos);
    pos = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    const bool continued = !line.empty() && line.back() == '\\';
    out.append(line.substr(0, line.size() - (continued ? 1 : 0)));
    if (continued && pos < text.size()) {
      out += ' ';
      ++held;
    } else {
      out.append(held + 1, '\n');
      held = 0;
    }
  }
  return out;
}

// The words of a line, split where tinyobjloader splits them; a word that
// opens with '#' begins a comment that runs to the line's end.
void split(std::string_view line, std::vector<std::string_view> &words) {
  words.clear();
  for (std::size_t i = line.find_first_not_of(" \t"); i != std::string_view::npos;) {
    const std::size_t end = std::min(line.find_first_of(" \t", i), line.size());
    if (line[i] == '#') {
      return;
    }
    words.push_back(line.substr(i, end - i));
    i = line.find_first_not_of(" \t", end);
  }
}

// The whole word as a number, in the C locale; a leading '+' is allowed, as
// OBJ writers put it.
template <class T>
bool whole_word(std::string_view word, T &out) {
  if (word.size() > 1 && word.front() == '+' && word[1] != '-' && word[1] != '+') {
    word.remove_prefix(1);
  }
  const char *end = word.data() + word.size();
  const auto [ptr, ec] = std::from_chars(word.data(), end, out);
  return !word.empty() && ec == std::errc() && ptr == end;
}

std::string quoted(std::string_view word) {
  return "'" + std::string(word) + "'";
}

// A face corner that names no point read before its face: a later v line
// may still supply it, so it is judged once every point is known.
struct LaterCorner {
  std::size_t line = 0;
  std::size_t corner = 0;
  std::string_view text;
  long long index = 0;  // as written
};

// What tinyobjloader would take silently: a v line without three finite
// numbers fitting a float becomes 0, a corner that is no whole number
// becomes index 0 and one past an int wraps. Such damage is refused naming
// the line; a face of fewer than three corners is counted for the warning.
// "fo", the older name of "f", is renamed in text for tinyobjloader.
class ObjCheck {
 public:
  explicit ObjCheck(const std::string &path) : path_(path) {}

  bool statement(std::size_t line, const std::vector<std::string_view> &words, std::string &text,
                 std::string &error) {
    if (words[0] == "v") {
      return vertex(line, words, error);
    }
    if (words[0] == "fo") {
      text[std::size_t(words[0].data() - text.data()) + 1] = ' ';
    }
    return words[0] != "f" && words[0] != "fo" ? true : face(line, words, error);
  }

  bool finish(std::string &error, std::string &warning) const {
    for (const LaterCorner &c : later_) {
      if (c.index <= 0 || c.index > points_) {
        const bool zero = c.text.find_first_not_of("+-0") == std::string_view::npos;
        error = at(c.line) + "face corner " + std::to_string(c.corner) + ": index " +
                std::string(c.text) + (zero ? " is not a valid index (" : " out of range (") +
                std::to_string(points_) + " points)";
        return false;
      }
    }
    if (skipped_ > 0) {
      warning = at(first_skipped_) + "a face of fewer than three corners is no polygon: skipped (" +
                std::to_string(skipped_) + (skipped_ == 1 ? " such face)" : " such faces)");
    }
    return true;
  }

 private:
  std::string at(std::size_t line) const { return path_ + ": line " + std::to_string(line) + ": "; }

  // x y z, then an optional w or a colour (r g b, with an optional w).
  bool vertex(std::size_t line, const std::vector<std::string_view> &words, std::string &error) {
    const std::size_t count = words.size() - 1;
    if (count < 3 || count > 7) {
      error = at(line) + "expected x y z, found " + std::to_string(count) +
              (count == 1 ? " number" : " numbers");
      return false;
    }
    for (std::size_t c = 1; c <= count; ++c) {
      double value = 0.0;
      // A coordinate is stored as a float: one that does not fit a float is
      // refused rather than made an infinity.
      if (!whole_word(words[c], value) || !std::isfinite(value) ||
          (c <= 3 && !std::isfinite(static_cast<float>(value)))) {
        error = at(line) + "coordinate " + std::to_string(c) + ": " + quoted(words[c]) +
                " is not a number that fits a float";
        return false;
      }
    }
    if (++points_ > INT_MAX) {
      error = at(line) + "more points than a mesh can hold";
      return false;
    }
    return true;
  }

  // Corners "v", "v/vt", "v//vn" or "v/vt/vn"; only v is checked. Negative
  // indices count back from the points read so far; tinyobjloader holds
  // indices as int, so one past that names no point.
  bool face(std::size_t line, const std::vector<std::string_view> &words, std::string &error) {
    for (std::size_t c = 1; c < words.size(); ++c) {
      const std::string_view text = words[c].substr(0, words[c].find('/'));
      long long index = 0;
      if (!whole_word(text, index)) {
        // Digits that overflow are an index past every point; anything else
        // is no index at all.
        const bool digits =
            !text.empty() && text.find_first_not_of("+-0123456789") == std::string_view::npos;
        error = at(line) + "face corner " + std::to_string(c) + ": " +
                (digits ? "index " + std::string(text) + " out of range"
                        : quoted(text) + " is not a point index");
        return false;
      }
      if (index < 0 && index >= -points_) {
        continue;
      }
      if (index <= 0 || index > INT_MAX) {
        index = 0;  // names no point, whatever follows
      }
      if (index == 0 || index > points_) {
        later_.push_back({line, c, text, index});
      }
    }
    if (words.size() < 4 && skipped_++ == 0) {
      first_skipped_ = line;
    }
    return true;
  }

  const std::string &path_;
  long long points_ = 0;
  std::vector<LaterCorner> later_;
  std::size_t skipped_ = 0;
  std::size_t first_skipped_ = 0;
};

// The mesh tinyobjloader reads, with the corner list reused between faces.
struct ObjBuild {
  Mesh mesh;
  std::vector<std::uint32_t> corners;
};

void add_point(void *user, tinyobj::real_t x, tinyobj::real_t y, tinyobj::real_t z,
               tinyobj::real_t /*w*/) {
  static_cast<ObjBuild *>(user)->mesh.points.push_back(
      {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)});
}

// The indices arrive as written. Once checked, an index 0 is only a comment
// after the corners (tinyobjloader reads its words as corners): the face
// ends there.
void add_face(void *user, tinyobj::index_t *indices, int count) {
  auto &build = *static_cast<ObjBuild *>(user);
  const auto seen = static_cast<long long>(build.mesh.points.size());
  build.corners.clear();
  for (int c = 0; c < count && indices[c].vertex_index != 0; ++c) {
    const long long index = indices[c].vertex_index;
    build.corners.push_back(static_cast<std::uint32_t>(index > 0 ? index - 1 : seen + index));
  }
  if (build.corners.size() >= 3) {
    build.mesh.add_polygon(build.corners);
  }
}

}  // namespace

bool read_obj(const std::string &path, const std::string &file_text, Mesh &mesh, std::string &error,
              std::string &warning) {
  const auto binary = std::find_if(file_text.begin(), file_text.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 &&
           std::string_view("\t\n\v\f\r").find(c) == std::string_view::npos;
  });
  const std::string neither = path + ": neither a JSON mesh nor an OBJ file: it ";
  if (binary != file_text.end()) {
    error = neither + "holds binary data (byte " + std::to_string(binary - file_text.begin()) + ")";
    return false;
  }
  std::string text = joined_lines(file_text);
  ObjCheck check(path);
  std::vector<std::string_view> words;
  bool first = true;
  std::size_t line = 0;
  for (std::size_t pos = 0; pos < text.size(); pos = text.find('\n', pos) + 1) {
    split(std::string_view(text).substr(pos, text.find('\n', pos) - pos), words);
    ++line;
    if (words.empty()) {
      continue;
    }
    if (first && std::find(std::begin(kStatements), std::end(kStatements), words[0]) ==
                     std::end(kStatements)) {
      error = neither + "line " + std::to_string(line) + " begins with " +
              quoted(words[0].substr(0, 40)) + ", which no OBJ statement does";
      return false;
    }
    first = false;
    if (!check.statement(line, words, text, error)) {
      return false;
    }
  }
  if (first) {
    error = neither + "holds no statement";
    return false;
  }
  if (!check.finish(error, warning)) {
    return false;
  }
  std::istringstream stream(text);
  ObjBuild build;
  tinyobj::callback_t callbacks;
  callbacks.vertex_cb = add_point;
  callbacks.index_cb = add_face;
  std::string warn;
  std::string err;
  if (!tinyobj::LoadObjWithCallback(stream, callbacks, &build, nullptr, &warn, &err)) {
    error = path + ": " + (err.empty() ? "not a readable OBJ file" : err.substr(0, err.find('\n')));
    return false;
  }
  mesh = std::move(build.mesh);
  return true;
}

}  // namespace korv::host
