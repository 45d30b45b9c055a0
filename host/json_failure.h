// One-line texts for what the JSON library reports when it cannot read a
// document, for the stand-in host's readers of JSON meshes and samples.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace korv::host {

// What went wrong, without the library's "[json.exception...] " prefix. The
// library stops at a number too large for a double with an error of its own
// kind that names no place: that one reads "number 1e400 does not fit a
// double", followed by " (line L)" when lines is set and the number is found
// in text.
std::string json_failure(const nlohmann::json::exception &e, const std::string &text, bool lines);

}  // namespace korv::host
