#include "host/scene_session.h"

#include <algorithm>

#include "host/scene_file.h"

namespace korv::host {

namespace {

// The names of the parameter blocks ("PluginDataParam": a name, then the
// values) anywhere in a state, in order.
void param_names(const StateItems &items, std::vector<std::string> &names) {
  constexpr LWID kParamId = LWID('P') << 24 | LWID('D') << 16 | LWID('P') << 8 | LWID('R');
  for (const StateItem &item : items) {
    if (item.kind != StateKind::Block) {
      continue;
    }
    if (item.token == "PluginDataParam" || item.id == kParamId) {
      if (!item.items.empty() && item.items.front().kind == StateKind::Str) {
        names.emplace_back(item.items.front().bytes.begin(), item.items.front().bytes.end());
      }
    } else {
      param_names(item.items, names);
    }
  }
}

// A stored setting the module would skip without a word: one whose name is
// none of those the module's own save writes.
void note_unknown_names(const ModuleSession &session, const StateItems &state,
                        std::vector<std::string> &problems) {
  bool complete = true;
  std::vector<std::string> known;
  param_names(save_instance_state(session, complete), known);
  std::vector<std::string> stored;
  param_names(state, stored);
  for (const std::string &name : stored) {
    if (!known.empty() && std::find(known.begin(), known.end(), name) == known.end()) {
      problems.push_back("the settings block holds '" + name + "', which the " + session.front() +
                         " does not know: skipped");
    }
  }
}

}  // namespace

std::size_t load_instance_state(const ModuleSession &session, const StateItems &state) {
  StateReader reader(state, LWIO_ASCII);
  session.instance_funcs().load(session.instance(), reader.state());
  return reader.shortfalls();
}

StateItems save_instance_state(const ModuleSession &session, bool &complete) {
  StateWriter writer(LWIO_ASCII);
  session.instance_funcs().save(session.instance(), writer.state());
  complete = writer.complete();
  return writer.items();
}

bool load_scene(const ModuleSession &session, const std::string &path, SceneLoad &result,
                std::string &error) {
  SceneFile scene;
  ParseReport report;
  ParseReport shader_report;
  ParseReport node_report;
  if (!read_scene_file(path, scene, report, shader_report, error, &node_report)) {
    return false;
  }
  // The session's own block: the shader's, or the node's. A scene with no
  // node block gives the node the shader's (it reads the settings it keeps).
  const bool wants_node = std::string(session.front()) == "node";
  const bool node = wants_node && (scene.has_node || !scene.has_shader);
  if (wants_node && !node) {
    report.note("the scene holds no node block; the node takes the shader's settings");
  }
  const ParseReport &block_report = node ? node_report : shader_report;
  result.object = scene.object;
  result.problems = report.problems;
  result.problems.insert(result.problems.end(), block_report.problems.begin(),
                         block_report.problems.end());
  result.block_incomplete = !block_report.complete();
  if (!wants_node && scene.has_node && !scene.has_shader) {
    error = path +
            ": the scene holds no settings for the shader, only the edge node's (--node "
            "reads them)";
    return false;
  }
  if (!(node ? scene.has_node : scene.has_shader)) {
    result.problems.push_back("the scene holds no settings for the " +
                              std::string(session.front()) + " " + kSceneShaderName);
    result.block_incomplete = true;
    return true;
  }
  note_unknown_names(session, node ? scene.node : scene.shader, result.problems);
  if (load_instance_state(session, node ? scene.node : scene.shader) > 0) {
    result.block_incomplete = true;
  }
  return true;
}

bool save_scene(const ModuleSession &session, const std::string &path, const std::string &object,
                std::string &error, std::string &warning) {
  SceneFile scene;
  scene.object = object;
  const bool node = std::string(session.front()) == "node";
  (node ? scene.has_node : scene.has_shader) = true;
  bool complete = true;
  (node ? scene.node : scene.shader) = save_instance_state(session, complete);
  if (!complete) {
    warning = "the module's save left its blocks unbalanced; the scene holds what it wrote";
  }
  return write_scene_file(path, scene, error);
}

}  // namespace korv::host
