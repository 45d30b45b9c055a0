// Scene files and a session's instance (the shader's or the edge node's): loading hands the scene's
// state to the module's load callback and saving takes it from the module's
// save callback, as a host does when it reads or writes a scene.
#pragma once

#include <string>
#include <vector>

#include "host/module_session.h"
#include "host/scene_state.h"

namespace korv::host {

// Hands a state to the instance through the module's load callback. Returns
// the reads that came up short (0 when the state held all the module asked
// for).
std::size_t load_instance_state(const ModuleSession &session, const StateItems &state);

// The instance's state as the module's save callback writes it. complete is
// false when the calls left the blocks unbalanced.
StateItems save_instance_state(const ModuleSession &session, bool &complete);

struct SceneLoad {
  std::string object;                 // the scene's object, empty when it names none
  std::vector<std::string> problems;  // what was damaged, one line each, with line numbers
  // The shader's settings were damaged, missing, or fewer than the module
  // asked for: only what could be read was used.
  bool block_incomplete = false;
};

// Reads a scene file and loads its state (the shader's, or the node's) into
// the session's instance; stored settings the module does not know are noted
// as problems. False with a one-line error when the file cannot be read at
// all, or when a shader's session is given a scene that holds only the edge
// node's settings (which the shader would silently go without).
bool load_scene(const ModuleSession &session, const std::string &path, SceneLoad &result,
                std::string &error);

// Writes a scene file with the object and the instance's current state.
// False with a one-line error when the file cannot be written; warning
// receives a line when the module's save left its blocks unbalanced.
bool save_scene(const ModuleSession &session, const std::string &path, const std::string &object,
                std::string &error, std::string &warning);

}  // namespace korv::host
