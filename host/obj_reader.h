// The stand-in host's Wavefront OBJ reader: tinyobjloader reads the v lines
// as the points and the f (or fo) lines as the polygons, in file order,
// without triangulation, around a check of what it would take silently.
#pragma once

#include <string>

#include "host/mesh.h"

namespace korv::host {

// Reads the OBJ text (already decoded to UTF-8) of the file at path. Text
// with binary bytes, or whose first statement is none that OBJ defines, is
// refused as no OBJ file. The reader refuses the damage the JSON reader
// refuses: a v line without three numbers, or with a coordinate that is no
// finite number fitting a float; a corner whose point index is no whole
// number or names no point (quoted as the file writes it). A face of fewer
// than three corners is skipped, as hosts skip it, and warning then names the
// first such line and how many there were. On failure returns false with a
// one-line error naming the file and the line.
bool read_obj(const std::string &path, const std::string &text, Mesh &mesh, std::string &error,
              std::string &warning);

}  // namespace korv::host
