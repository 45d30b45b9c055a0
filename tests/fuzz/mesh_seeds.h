// The mesh fuzzer's seed inputs: the built-in meshes, the shared real meshes
// (when they are beside the repository) cut down to a quick size, and small
// meshes that hold what artists' meshes hold, each with samples near its
// edges, under a few settings and host faults.
#pragma once

namespace korv::fuzz {

// Writes the seeds into the folder dir (which must exist). False when a file
// cannot be written.
bool write_mesh_seeds(const char *dir);

}  // namespace korv::fuzz
