// Checks of the file a command will write, made before the work that fills it.
#pragma once

#include <string>

namespace korv::tools {

// Whether path can be written: its folder exists and may be written in, and
// path is no folder and, when it exists, may be written. Otherwise false
// with a one-line error giving the system's reason.
bool output_writable(const std::string &path, std::string &error);

}  // namespace korv::tools
