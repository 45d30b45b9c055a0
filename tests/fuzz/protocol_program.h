// The protocol fuzzer's input: bytes read as a program of host calls on a
// few instances of the module files, shader (Korv_Edge.p) or node
// (Korv_EdgeNode.p, where it is built), each loaded through its descriptor
// in the stand-in host. The first byte says how the host writes the node's
// matrices (bit 0: for column vectors); then each operation is one byte
// (modulo the number of operations) followed by its operands; whatever the
// bytes run out of reads as zero. Evaluations run in batches on several threads, beside
// panel edits and new times on another, as an interactive preview overlaps
// them; nothing else overlaps, and no instance is destroyed while evaluating.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korv::fuzz {

// The operations, by their first byte (modulo kOpCount); then the slot of
// the instance they act on, and their operands (protocol_program.cpp).
enum : std::uint8_t { kActivate, kCreate, kDestroy, kCopy, kLoad, kSave, kDescln, kFlags };
enum : std::uint8_t {
  kItems = 8,
  kInit,
  kCleanup,
  kNewTime,
  kSet,
  kGet,
  kBatch,
  kConnect,
  kOpCount
};
// kCreate's operand: the front of the instance made.
enum Front : std::uint8_t { kShader, kNode };

// Runs the program and returns the first failed check, or an empty string.
// Every instance and panel it made is gone when it returns.
std::string run_protocol(const std::uint8_t *data, std::size_t size);

struct ProtocolSeed {
  std::string name;
  std::vector<std::uint8_t> program;
};

// Programs of the tidy order of a render and of the untidy ones artists meet.
std::vector<ProtocolSeed> protocol_seeds();

}  // namespace korv::fuzz
