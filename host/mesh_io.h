// Reading meshes for the stand-in host: mesh files (JSON or Wavefront OBJ) and
// the built-in meshes ("builtin:NAME").
#pragma once

#include <string>

#include "host/mesh.h"

namespace korv::host {

// Reads "builtin:NAME" or a mesh file. On failure returns false with a
// one-line error naming the file and the line or element at fault.
bool load_mesh(const std::string &name_or_path, Mesh &mesh, std::string &error);

// Reads a mesh file: JSON {"points": [[x,y,z],...], "polygons": [[i,...],...],
// "deformed": [[x,y,z],...]} when the name ends in .json, otherwise OBJ (v lines
// are the points, f lines the polygons, in file order, no triangulation).
bool load_mesh_file(const std::string &path, Mesh &mesh, std::string &error);

// Replaces mesh.deformed with the positions of another mesh of the same
// topology (--deformed MESH2).
bool load_deformed(const std::string &name_or_path, Mesh &mesh, std::string &error);

}  // namespace korv::host
