// Meshes handed from one build to another bit for bit: each mesh is one JSON
// line whose coordinates are the hex bits of the host's floats. Both builds
// then shade the very same positions, whatever their C runtimes' sin, cos or
// decimal readers would have made of a mesh's source.
#pragma once

#include <string>
#include <vector>

#include "host/mesh.h"

namespace korv::crosscheck {

struct NamedMesh {
  std::string name;
  host::Mesh mesh;
};

// {"mesh":NAME,"points":[[X,Y,Z],...],"deformed":[...],"polygons":[[i,...],...]}
std::string mesh_line(const NamedMesh &mesh);

// Reads every mesh line of a file; false with a one-line error otherwise.
bool read_mesh_lines(const std::string &path, std::vector<NamedMesh> &meshes, std::string &error);

}  // namespace korv::crosscheck
