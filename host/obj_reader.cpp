#include "host/obj_reader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
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

// One statement: its words, and the line it starts on (a line ending in a
// backslash continues on the next).
struct Statement {
  std::vector<std::string_view> words;
  std::size_t line = 0;
};

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\f' || c == '\v';
}

// Reads statements one at a time, counting line ends as "\n", "\r\n" or a
// lone "\r".
class StatementReader {
 public:
  explicit StatementReader(std::string_view text) : text_(text) {}

  bool next(Statement &s) {
    while (pos_ < text_.size()) {
      s.words.clear();
      s.line = line_ + 1;
      bool continued = true;
      while (continued && pos_ < text_.size()) {
        continued = read_line(s.words);
      }
      if (!s.words.empty() && s.words.front().front() != '#') {
        return true;
      }
    }
    return false;
  }

 private:
  // Splits one physical line into words; true when it ends in a backslash.
  bool read_line(std::vector<std::string_view> &words) {
    std::size_t end = pos_;
    while (end < text_.size() && text_[end] != '\n' && text_[end] != '\r') {
      ++end;
    }
    std::string_view line = text_.substr(pos_, end - pos_);
    pos_ = end + (end < text_.size() && text_[end] == '\r' && end + 1 < text_.size() &&
                          text_[end + 1] == '\n'
                      ? 2
                      : 1);
    ++line_;
    const bool continued = !line.empty() && line.back() == '\\';
    if (continued) {
      line.remove_suffix(1);
    }
    for (std::size_t i = 0; i < line.size();) {
      while (i < line.size() && is_blank(line[i])) {
        ++i;
      }
      const std::size_t start = i;
      while (i < line.size() && !is_blank(line[i])) {
        ++i;
      }
      // A comment runs to the end of the line, after a statement too.
      if (i > start && line[start] == '#' && !words.empty()) {
        break;
      }
      if (i > start) {
        words.push_back(line.substr(start, i - start));
      }
    }
    return continued;
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t line_ = 0;
};

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

// A corner of a face kept until every point is known: positive indices may
// name points of later v lines.
struct Corner {
  long long index = 0;  // 0-based once resolved
  std::string_view text;
};

struct ObjFace {
  std::size_t line = 0;
  std::size_t first = 0;  // into the corners
  std::size_t count = 0;
};

class ObjReader {
 public:
  ObjReader(const std::string &path, Mesh &mesh) : path_(path), mesh_(mesh) {}

  bool statement(const Statement &s, std::string &error) {
    const std::string_view keyword = s.words.front();
    if (keyword == "v") {
      return vertex(s, error);
    }
    if (keyword == "f" || keyword == "fo") {
      return face(s, error);
    }
    return true;
  }

  bool finish(std::string &error, std::string &warning);

 private:
  std::string at(std::size_t line) const { return path_ + ": line " + std::to_string(line) + ": "; }

  // x y z, then an optional w or a colour (r g b, with an optional w).
  bool vertex(const Statement &s, std::string &error) {
    const std::size_t count = s.words.size() - 1;
    if (count < 3 || count > 7) {
      error = at(s.line) + "expected x y z, found " + std::to_string(count) +
              (count == 1 ? " number" : " numbers");
      return false;
    }
    FloatPoint point{};
    for (std::size_t c = 1; c <= count; ++c) {
      double value = 0.0;
      const bool number = whole_word(s.words[c], value) && std::isfinite(value);
      // A coordinate as the host stores it, rounded to float once: one that
      // does not fit a float is refused rather than made an infinity.
      const float rounded = static_cast<float>(value);
      if (!number || (c <= 3 && !std::isfinite(rounded))) {
        error = at(s.line) + "coordinate " + std::to_string(c) + ": " + quoted(s.words[c]) +
                " is not a number that fits a float";
        return false;
      }
      if (c <= 3) {
        point[c - 1] = rounded;
      }
    }
    if (mesh_.points.size() >= std::numeric_limits<std::uint32_t>::max()) {
      error = at(s.line) + "more points than a mesh can hold";
      return false;
    }
    mesh_.points.push_back(point);
    return true;
  }

  // Corners "v", "v/vt", "v//vn" or "v/vt/vn"; only v is read. Negative
  // indices count back from the points read so far.
  bool face(const Statement &s, std::string &error) {
    ObjFace f{s.line, corners_.size(), s.words.size() - 1};
    for (std::size_t c = 1; c < s.words.size(); ++c) {
      const std::string_view text = s.words[c].substr(0, s.words[c].find('/'));
      long long raw = 0;
      const std::string where = at(s.line) + "face corner " + std::to_string(c) + ": ";
      if (!whole_word(text, raw)) {
        // Digits that overflow are an index past every point; anything else
        // is no index at all.
        const bool digits = !text.empty() && std::all_of(text.begin(), text.end(), [](char d) {
          return (d >= '0' && d <= '9') || d == '-' || d == '+';
        });
        error = where + (digits ? "index " + std::string(text) + " out of range"
                                : quoted(text) + " is not a point index");
        return false;
      }
      // Index 0, and one counting back past the first point, name no point;
      // they are reported with the file's point count, as forward ones are.
      const long long seen = static_cast<long long>(mesh_.points.size());
      corners_.push_back({raw > 0 ? raw - 1 : raw < 0 && seen + raw >= 0 ? seen + raw : -1, text});
    }
    faces_.push_back(f);
    return true;
  }

  const std::string &path_;
  Mesh &mesh_;
  std::vector<Corner> corners_;
  std::vector<ObjFace> faces_;
};

bool ObjReader::finish(std::string &error, std::string &warning) {
  const auto point_count = static_cast<long long>(mesh_.points.size());
  std::size_t skipped = 0;
  std::size_t first_skipped = 0;
  std::vector<std::uint32_t> polygon;
  for (const ObjFace &f : faces_) {
    polygon.clear();
    for (std::size_t c = 0; c < f.count; ++c) {
      const Corner &corner = corners_[f.first + c];
      if (corner.index < 0 || corner.index >= point_count) {
        const bool zero = corner.text.find_first_not_of("+-0") == std::string_view::npos;
        error = at(f.line) + "face corner " + std::to_string(c + 1) + ": index " +
                std::string(corner.text) + (zero ? " is not a valid index (" : " out of range (") +
                std::to_string(point_count) + " points)";
        return false;
      }
      polygon.push_back(static_cast<std::uint32_t>(corner.index));
    }
    if (polygon.size() < 3) {
      first_skipped = skipped++ == 0 ? f.line : first_skipped;
      continue;
    }
    mesh_.add_polygon(polygon);
  }
  if (skipped > 0) {
    warning = at(first_skipped) + "a face of fewer than three corners is no polygon: skipped (" +
              std::to_string(skipped) + (skipped == 1 ? " such face)" : " such faces)");
  }
  return true;
}

}  // namespace

bool looks_like_obj(const std::string &text, std::string &reason) {
  const auto binary = std::find_if(text.begin(), text.end(), [](char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 && c != '\n' && c != '\r' && !is_blank(c);
  });
  if (binary != text.end()) {
    reason = "holds binary data (byte " + std::to_string(binary - text.begin()) + ")";
    return false;
  }
  StatementReader reader(text);
  Statement first;
  if (!reader.next(first)) {
    reason = "holds no statement";
    return false;
  }
  const std::string_view keyword = first.words.front();
  if (std::find(std::begin(kStatements), std::end(kStatements), keyword) == std::end(kStatements)) {
    reason = "line " + std::to_string(first.line) + " begins with " +
             quoted(keyword.substr(0, 40)) + ", which no OBJ statement does";
    return false;
  }
  return true;
}

bool read_obj(const std::string &path, const std::string &text, Mesh &mesh, std::string &error,
              std::string &warning) {
  Mesh result;
  ObjReader obj(path, result);
  StatementReader reader(text);
  Statement s;
  while (reader.next(s)) {
    if (!obj.statement(s, error)) {
      return false;
    }
  }
  if (!obj.finish(error, warning)) {
    return false;
  }
  mesh = std::move(result);
  return true;
}

}  // namespace korv::host
