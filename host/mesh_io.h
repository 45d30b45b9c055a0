// Reading meshes for the stand-in host: mesh files (JSON or Wavefront OBJ) and
// the built-in meshes ("builtin:NAME").
#pragma once

#include <string>

#include "host/mesh.h"

namespace korv::host {

// Reads "builtin:NAME" or a mesh file. On failure returns false with a
// one-line error naming the file and the line or element at fault. What was
// read but skipped goes to warning (one line), when one is given.
bool load_mesh(const std::string &name_or_path, Mesh &mesh, std::string &error,
               std::string *warning = nullptr);

// Reads a mesh file: JSON {"points": [[x,y,z],...], "polygons": [[i,...],...],
// "deformed": [[x,y,z],...]} when it opens with '{' (or '[') or its name ends
// in .json, otherwise OBJ (host/obj_reader.h). UTF-16 text with its byte order
// mark is decoded first. A folder, an empty file and a file that is neither
// (binary data, or text whose first statement no OBJ file begins with) are
// refused.
bool load_mesh_file(const std::string &path, Mesh &mesh, std::string &error,
                    std::string *warning = nullptr);

// Replaces mesh.deformed with the positions of another mesh of the same
// topology (--deformed MESH2).
bool load_deformed(const std::string &name_or_path, Mesh &mesh, std::string &error,
                   std::string *warning = nullptr);

}  // namespace korv::host
