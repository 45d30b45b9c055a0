#include "host/scene_file.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

#include "host/scene_state_text.h"

namespace korv::host {

namespace {

constexpr char kHeader[] = "korv-scene 1";
constexpr char kBuiltinPrefix[] = "builtin:";

namespace fs = std::filesystem;

bool is_file_path(const std::string &object) {
  return !object.empty() && object.rfind(kBuiltinPrefix, 0) != 0;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
    s.remove_prefix(1);
  }
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
    s.remove_suffix(1);
  }
  return s;
}

// The word a line starts with and the rest after it.
std::pair<std::string_view, std::string_view> split_word(std::string_view line) {
  const std::size_t space = line.find_first_of(" \t");
  if (space == std::string_view::npos) {
    return {line, {}};
  }
  return {line.substr(0, space), trim(line.substr(space))};
}

// The scene file's folder ("." for a bare file name).
fs::path scene_folder(const std::string &path) {
  const fs::path folder = fs::path(path).parent_path();
  return folder.empty() ? fs::path(".") : folder;
}

}  // namespace

std::string format_scene(const SceneFile &scene) {
  std::string out = std::string(kHeader) + "\n";
  if (!scene.object.empty()) {
    out += "object " + scene.object + "\n";
  }
  for (const auto &[word, has, state] : {std::tuple{"shader", scene.has_shader, &scene.shader},
                                         std::tuple{"node", scene.has_node, &scene.node}}) {
    if (has) {
      out += std::string(word) + " " + kSceneShaderName + "\n";
      out += format_state_text(*state, 1);
      out += "end\n";
    }
  }
  return out;
}

SceneFile parse_scene(std::string_view text, ParseReport &report, ParseReport &shader_report,
                      ParseReport *node_report) {
  SceneFile scene;
  ParseReport unasked;
  bool seen_header = false;
  int number = 0;
  auto next_line = [&](std::string_view &line) {
    if (text.empty()) {
      return false;
    }
    const std::size_t eol = text.find('\n');
    line = text.substr(0, eol);
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    ++number;
    return true;
  };
  auto problem = [&](ParseReport &to, int at, const std::string &what) {
    to.note("line " + std::to_string(at) + ": " + what);
  };

  std::string_view raw;
  while (next_line(raw)) {
    const std::string_view line = trim(raw);
    if (line.empty() || line[0] == '#') {
      continue;
    }
    if (!seen_header) {
      seen_header = true;
      if (line == kHeader) {
        continue;
      }
      problem(report, number, std::string("the header '") + kHeader + "' is missing");
    }
    const auto [word, rest] = split_word(line);
    if (word == "object" && !rest.empty()) {
      if (!scene.object.empty()) {
        problem(report, number, "a second object line replaces the first");
      }
      scene.object = std::string(rest);
    } else if (word == "shader" || word == "node") {
      const bool node = word == "node";
      bool &has = node ? scene.has_node : scene.has_shader;
      ParseReport &block_report =
          node ? (node_report != nullptr ? *node_report : unasked) : shader_report;
      // The state runs up to "end"; its lines are read as a whole below.
      const int first = number + 1;
      const char *begin = text.data();
      const char *finish = text.data() + text.size();
      bool closed = false;
      std::string_view inner;
      while (next_line(inner)) {
        if (trim(inner) == "end") {
          finish = inner.data();
          closed = true;
          break;
        }
      }
      const std::string_view state(begin, std::size_t(finish - begin));
      if (rest != kSceneShaderName) {
        problem(report, first - 1,
                "a block for the " + std::string(word) + " '" + std::string(rest) +
                    "' is not for this module; skipped");
      } else if (has) {
        problem(report, first - 1, "a second " + std::string(word) + " block is ignored");
      } else {
        has = true;
        (node ? scene.node : scene.shader) = parse_state_text(state, block_report, first);
        if (!closed) {
          problem(block_report, first - 1, "the " + std::string(word) + " block has no 'end'");
        }
      }
    } else {
      problem(report, number, "cannot read '" + line_excerpt(line) + "'");
    }
  }
  if (!seen_header) {
    report.note("the file is empty");
  }
  return scene;
}

bool write_scene_file(const std::string &path, const SceneFile &scene, std::string &error) {
  SceneFile stored = scene;
  if (stored.object.find_first_of("\r\n") != std::string::npos) {
    error = path + ": the object name cannot be stored in a scene (it holds a line break)";
    return false;
  }
  if (is_file_path(stored.object) && fs::path(stored.object).is_relative()) {
    std::error_code ec;
    const fs::path object = fs::absolute(stored.object, ec).lexically_normal();
    const fs::path folder = fs::absolute(scene_folder(path), ec).lexically_normal();
    if (!ec) {
      const fs::path relative = object.lexically_relative(folder);
      // Forward slashes, which every system reads, so that a scene written
      // on Windows opens elsewhere too.
      stored.object = relative.empty() ? object.string() : relative.generic_string();
    }
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    error = path + ": cannot be written";
    return false;
  }
  out << format_scene(stored);
  out.flush();
  if (!out) {
    error = path + ": cannot be written";
    return false;
  }
  return true;
}

bool read_scene_file(const std::string &path, SceneFile &scene, ParseReport &report,
                     ParseReport &shader_report, std::string &error, ParseReport *node_report) {
  std::error_code ec;
  std::ifstream in(path, std::ios::binary);
  if (!in || fs::is_directory(path, ec)) {
    error = path + ": cannot be read";
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) {
    error = path + ": cannot be read";
    return false;
  }
  scene = parse_scene(text.str(), report, shader_report, node_report);
  if (is_file_path(scene.object) && fs::path(scene.object).is_relative()) {
    scene.object = (scene_folder(path) / scene.object).lexically_normal().string();
  }
  return true;
}

}  // namespace korv::host
