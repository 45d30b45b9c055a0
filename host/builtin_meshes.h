// Meshes the stand-in host knows by name, so that demos and tests need no files.
#pragma once

#include <string>
#include <vector>

#include "host/mesh.h"

namespace korv::host {

// The mesh for NAME (without the "builtin:" prefix); false for an unknown name.
bool builtin_mesh(const std::string &name, Mesh &mesh);

// The names builtin_mesh knows.
std::vector<std::string> builtin_mesh_names();

}  // namespace korv::host
