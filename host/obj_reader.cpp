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
  std::size_t line, corner;
  std::string_view text;
  long long index;  // as written; 0 when it can name no point
};

}  // namespace

bool read_obj(const std::string &path, const std::string &file_text, Mesh &mesh, std::string &error,
              std::string &warning) {
  const std::string neither = path + ": neither a JSON mesh nor an OBJ file: it ";
  const auto binary = std::find_if(file_text.begin(), file_text.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 &&
           std::string_view("\t\n\v\f\r").find(c) == std::string_view::npos;
  });
  if (binary != file_text.end()) {
    error = neither + "holds binary data (byte " + std::to_string(binary - file_text.begin()) + ")";
    return false;
  }
  // First what tinyobjloader would take silently is refused, naming the line:
  // a v line without three finite numbers that fit a float (it reads 0), a
  // corner that is no whole number (index 0) or past an int (wrapped).
  std::string text = joined_lines(file_text);
  std::vector<std::string_view> words;
  std::vector<LaterCorner> later;
  long long points = 0;
  std::size_t line = 0, statements = 0, skipped = 0, first_skipped = 0;
  const auto at = [&](std::size_t l) { return path + ": line " + std::to_string(l) + ": "; };
  for (std::size_t pos = 0; pos < text.size(); pos = text.find('\n', pos) + 1) {
    split(std::string_view(text).substr(pos, text.find('\n', pos) - pos), words);
    ++line;
    if (words.empty()) {
      continue;
    }
    if (statements++ == 0 && std::find(std::begin(kStatements), std::end(kStatements), words[0]) ==
                                 std::end(kStatements)) {
      error = neither + "line " + std::to_string(line) + " begins with " +
              quoted(words[0].substr(0, 40)) + ", which no OBJ statement does";
      return false;
    }
    const std::size_t count = words.size() - 1;
    if (words[0] == "v") {
      // x y z, then an optional w or a colour (r g b, with an optional w).
      if (count < 3 || count > 7) {
        error = at(line) + "expected x y z, found " + std::to_string(count) +
                (count == 1 ? " number" : " numbers");
        return false;
      }
      for (std::size_t c = 1; c <= count; ++c) {
        double value = 0.0;
        if (!whole_word(words[c], value) || !std::isfinite(value) ||
            (c <= 3 && !std::isfinite(static_cast<float>(value)))) {
          error = at(line) + "coordinate " + std::to_string(c) + ": " + quoted(words[c]) +
                  " is not a number that fits a float";
          return false;
        }
      }
      if (++points > INT_MAX) {
        error = at(line) + "more points than a mesh can hold";
        return false;
      }
    } else if (words[0] == "f" || words[0] == "fo") {
      if (words[0] == "fo") {  // the older name of f, which tinyobjloader does not know
        text[std::size_t(words[0].data() - text.data()) + 1] = ' ';
      }
      // Corners "v", "v/vt", "v//vn" or "v/vt/vn"; negative indices count
      // back from the points read so far.
      for (std::size_t c = 1; c <= count; ++c) {
        const std::string_view index_text = words[c].substr(0, words[c].find('/'));
        long long index = 0;
        if (!whole_word(index_text, index)) {
          // Digits that overflow are an index past every point; anything
          // else is no index at all.
          const bool digits = !index_text.empty() && index_text.find_first_not_of("+-0123456789") ==
                                                         std::string_view::npos;
          error = at(line) + "face corner " + std::to_string(c) + ": " +
                  (digits ? "index " + std::string(index_text) + " out of range"
                          : quoted(index_text) + " is not a point index");
          return false;
        }
        index = index < -points || index > INT_MAX ? 0 : index;
        if (index == 0 || index > points) {
          later.push_back({line, c, index_text, index});
        }
      }
      if (count < 3 && skipped++ == 0) {
        first_skipped = line;
      }
    }
  }
  if (statements == 0) {
    error = neither + "holds no statement";
    return false;
  }
  for (const LaterCorner &c : later) {
    if (c.index == 0 || c.index > points) {
      const bool zero = c.text.find_first_not_of("+-0") == std::string_view::npos;
      error = at(c.line) + "face corner " + std::to_string(c.corner) + ": index " +
              std::string(c.text) + (zero ? " is not a valid index (" : " out of range (") +
              std::to_string(points) + " points)";
      return false;
    }
  }
  if (skipped > 0) {
    warning = at(first_skipped) + "a face of fewer than three corners is no polygon: skipped (" +
              std::to_string(skipped) + (skipped == 1 ? " such face)" : " such faces)");
  }
  // Then tinyobjloader reads the checked text.
  tinyobj::callback_t callbacks;
  callbacks.vertex_cb = [](void *user, tinyobj::real_t x, tinyobj::real_t y, tinyobj::real_t z,
                           tinyobj::real_t) {
    static_cast<Mesh *>(user)->points.push_back(
        {static_cast<float>(x), static_cast<float>(y), static_cast<float>(z)});
  };
  // The indices arrive as written. Once checked, an index 0 can only be a
  // comment after the corners, whose words tinyobjloader reads as corners.
  callbacks.index_cb = [](void *user, tinyobj::index_t *indices, int count) {
    Mesh &m = *static_cast<Mesh *>(user);
    const auto seen = static_cast<long long>(m.points.size());
    std::vector<std::uint32_t> corners;
    for (int c = 0; c < count && indices[c].vertex_index != 0; ++c) {
      const long long index = indices[c].vertex_index;
      corners.push_back(static_cast<std::uint32_t>(index > 0 ? index - 1 : seen + index));
    }
    if (corners.size() >= 3) {
      m.add_polygon(corners);
    }
  };
  std::istringstream stream(text);
  Mesh result;
  std::string warn;
  std::string err;
  if (!tinyobj::LoadObjWithCallback(stream, callbacks, &result, nullptr, &warn, &err)) {
    error = path + ": " + (err.empty() ? "not a readable OBJ file" : err.substr(0, err.find('\n')));
    return false;
  }
  mesh = std::move(result);
  return true;
}

}  // namespace korv::host
