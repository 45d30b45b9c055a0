// Programs of host calls on the module file (protocol_program.h), run under
// the sanitizers; it stops at the first failed check.
//
// With KORV_FUZZ_WRITE_SEEDS=DIR set, it writes its seed programs into DIR
// and exits instead.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "protocol_program.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  if (const char *dir = std::getenv("KORV_FUZZ_WRITE_SEEDS")) {
    for (const korv::fuzz::ProtocolSeed &seed : korv::fuzz::protocol_seeds()) {
      const std::string path = std::string(dir) + "/" + seed.name;
      std::FILE *file = std::fopen(path.c_str(), "wb");
      if (file == nullptr ||
          std::fwrite(seed.program.data(), 1, seed.program.size(), file) != seed.program.size()) {
        std::exit(1);
      }
      std::fclose(file);
    }
    std::exit(0);
  }
  // Loaded before the first input, so that the module's coverage is known
  // from the start.
  korv::fuzz::run_protocol(nullptr, 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string failure = korv::fuzz::run_protocol(data, size);
  if (!failure.empty()) {
    std::fprintf(stderr, "korv-fuzz-protocol: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
