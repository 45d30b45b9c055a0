// The fuzz target's seed inputs: stored states in the binary form.
#pragma once

namespace korv::fuzz {

// Writes the seeds into the folder dir (which must exist). False when a file
// cannot be written.
bool write_seeds(const char *dir);

}  // namespace korv::fuzz
