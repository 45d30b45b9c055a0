// Scene files for the stand-in host: the object to shade and the shader
// instance's saved state, as text:
//
//   korv-scene 1
//   object builtin:cube
//   shader Korv_Edge
//     I4 256
//     { PluginDataLib
//       ...
//     }
//   end
//
// The object is a built-in name ("builtin:NAME") or a mesh path; a relative
// path is relative to the scene file's folder. The lines between "shader"
// and "end" are the instance's state in the text form (scene_state_text.h).
// The edge node's state stands the same way between "node Korv_Edge" and
// "end"; a scene may hold either block, or both.
// Lines starting with '#' are comments.
#pragma once

#include <string>
#include <string_view>

#include "host/scene_state.h"

namespace korv::host {

inline constexpr char kSceneShaderName[] = "Korv_Edge";

struct SceneFile {
  std::string object;  // empty when the scene names none
  bool has_shader = false;
  StateItems shader;  // the instance's state, when has_shader
  bool has_node = false;
  StateItems node;  // the edge node instance's state, when has_node
};

// The text of a scene. The object is written as given.
std::string format_scene(const SceneFile &scene);

// Reads a scene's text. Damage never stops it: unreadable lines are skipped
// and every problem is noted in report with its line. shader_report receives
// the problems within the shader's state alone (a missing "end" included),
// node_report (when given) those within the node's.
SceneFile parse_scene(std::string_view text, ParseReport &report, ParseReport &shader_report,
                      ParseReport *node_report = nullptr);

// Writes a scene file; a relative object path is stored relative to the
// file's folder. False with a one-line error when the file cannot be written.
bool write_scene_file(const std::string &path, const SceneFile &scene, std::string &error);

// Reads a scene file; a relative object path is made relative to the current
// folder again. False with a one-line error only when the file cannot be read
// at all; damage is noted in the reports as for parse_scene.
bool read_scene_file(const std::string &path, SceneFile &scene, ParseReport &report,
                     ParseReport &shader_report, std::string &error,
                     ParseReport *node_report = nullptr);

}  // namespace korv::host
