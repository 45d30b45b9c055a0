// The protocol fuzzer's seed programs, and the inputs of the faults it found,
// replayed through the module file. Their batches overlap evaluations with
// each other, with panel edits and with new times, so that under
// ThreadSanitizer (which runs the tests named for threads) every such order
// they hold is checked for races as well.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/fuzz/protocol_program.h"

namespace {

TEST(ProtocolThreads, SeedProgramsAndFindingsReplayClean) {
  for (const korv::fuzz::ProtocolSeed &seed : korv::fuzz::protocol_seeds()) {
    EXPECT_EQ(korv::fuzz::run_protocol(seed.program.data(), seed.program.size()), "") << seed.name;
  }
  std::error_code error;
  for (const auto &entry : std::filesystem::directory_iterator(KORV_PROTOCOL_FINDINGS, error)) {
    std::ifstream file(entry.path(), std::ios::binary);
    const std::vector<std::uint8_t> program{std::istreambuf_iterator<char>(file), {}};
    EXPECT_EQ(korv::fuzz::run_protocol(program.data(), program.size()), "") << entry.path();
  }
}

}  // namespace
