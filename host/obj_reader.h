// The stand-in host's Wavefront OBJ reader: v lines are the points and f (or
// fo) lines the polygons, in file order, without triangulation; every other
// statement is read past.
#pragma once

#include <string>

#include "host/mesh.h"

namespace korv::host {

// Whether text (already decoded to UTF-8) reads as an OBJ file: text with no
// binary bytes whose first statement is one that OBJ defines. When it does
// not, why not goes to reason ("line 3 begins with 'hello'").
bool looks_like_obj(const std::string &text, std::string &reason);

// Reads the OBJ text of the file at path. The reader refuses the damage the
// JSON reader refuses: a v line without three numbers, or with a coordinate
// that is no finite number fitting a float; a corner whose point index is no
// whole number or names no point (quoted as the file writes it). A face of
// fewer than three corners is skipped, as hosts skip it, and warning then
// names the first such line and how many there were. On failure returns
// false with a one-line error naming the file and the line.
bool read_obj(const std::string &path, const std::string &text, Mesh &mesh, std::string &error,
              std::string &warning);

}  // namespace korv::host
