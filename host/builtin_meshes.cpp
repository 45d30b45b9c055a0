#include "host/builtin_meshes.h"

namespace korv::host {

namespace {

// A 2 x 2 x 2 cube centred on the origin, quads wound counter-clockwise seen
// from outside.
Mesh cube() {
  Mesh m;
  for (int i = 0; i < 8; ++i) {
    m.add_point((i & 1) ? 1 : -1, (i & 2) ? 1 : -1, (i & 4) ? 1 : -1);
  }
  m.add_polygon({0, 2, 3, 1});  // -z
  m.add_polygon({4, 5, 7, 6});  // +z
  m.add_polygon({0, 1, 5, 4});  // -y
  m.add_polygon({2, 6, 7, 3});  // +y
  m.add_polygon({0, 4, 6, 2});  // -x
  m.add_polygon({1, 3, 7, 5});  // +x
  return m;
}

}  // namespace

bool builtin_mesh(const std::string &name, Mesh &mesh) {
  if (name == "cube") {
    mesh = cube();
    return true;
  }
  return false;
}

std::vector<std::string> builtin_mesh_names() { return {"cube"}; }

}  // namespace korv::host
