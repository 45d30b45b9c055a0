// The scene state a plug-in's save callback writes and its load callback
// reads, held as a tree: blocks holding further items, and runs of values,
// one run per write call. The tree is stored in a text form a person can read
// (scene_state_text.h) and a compact binary form (scene_state_binary.h); the
// writer and the reader here put the host's LWSaveState and LWLoadState
// records in front of it, the same for both forms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hostapi/lwio.h"

namespace korv::host {

// Block: a block of further items. Id: an identifier written on its own.
// Raw, I1, U1: bytes. I2, U2: 16-bit values. I4, U4, FP: 32-bit values. Str: a text.
enum class StateKind : std::uint8_t { Block, U1, I4, U4, FP, Str, Raw, I1, I2, U2, Id };

struct StateItem;
using StateItems = std::vector<StateItem>;

struct StateItem {
  StateKind kind = StateKind::Block;
  LWID id = 0;                       // Block, Id: the id, 0 when only the token is known
  std::string token;                 // Block, Id: the token, empty when only the id is known
  StateItems items;                  // Block: what it holds, in order
  std::vector<unsigned char> bytes;  // Raw, I1, U1: the bytes; Str: the text, without terminator
  std::vector<std::uint32_t> words;  // I4, U4, FP: the 32 bits of each value; I2, U2: 16 bits

  // The number of values the item holds: its bytes (Raw, I1, U1), its words
  // (I2, U2, I4, U4, FP), one (Str, Id), none (Block).
  std::size_t size() const;

  friend bool operator==(const StateItem &, const StateItem &) = default;
};

// Blocks nested deeper than this are not read from stored forms, so that
// hostile input cannot exhaust the stack.
inline constexpr int kMaxStateDepth = 64;

// Problems met while reading a stored form: what was damaged, one line each.
struct ParseReport {
  std::vector<std::string> problems;
  bool complete() const { return problems.empty(); }
  void note(std::string problem);
};

// Builds a tree from a plug-in's save calls. The record lives as long as the
// writer and is valid only while it lives; the writer cannot be moved.
class StateWriter {
 public:
  explicit StateWriter(int io_mode = LWIO_BINARY);
  StateWriter(const StateWriter &) = delete;
  StateWriter &operator=(const StateWriter &) = delete;

  const LWSaveState *state() const { return &state_; }
  const StateItems &items() const { return root_; }

  // False when the calls left a block open, closed one too many, passed a
  // null block list or could not be stored for want of memory.
  bool complete() const { return !damaged_ && open_.size() == 1; }

 private:
  static StateWriter &self(void *data) { return *static_cast<StateWriter *>(data); }
  void add_run(StateKind kind, const void *values, int count);
  void add_marker(StateKind kind, const LWBlockIdent *block);
  static void write_raw(void *data, const char *values, int count);
  static void write_i1(void *data, const char *values, int count);
  static void write_i2(void *data, const short *values, int count);
  static void write_i4(void *data, const std::int32_t *values, int count);
  static void write_u1(void *data, const unsigned char *values, int count);
  static void write_u2(void *data, const unsigned short *values, int count);
  static void write_u4(void *data, const std::uint32_t *values, int count);
  static void write_fp(void *data, const float *values, int count);
  static void write_str(void *data, const char *text);
  static void write_id(void *data, const LWBlockIdent *block);
  static void begin_blk(void *data, const LWBlockIdent *block, int leaf);
  static void end_blk(void *data);
  static int depth(void *data);

  LWSaveState state_{};
  StateItems root_;
  std::vector<StateItems *> open_;  // the innermost open block last; root first
  bool damaged_ = false;
};

// Hands a tree to a plug-in's load calls. The tree must outlive the reader.
//
// Reads take values of their own kind only, from the current position in
// the current block, across runs (runs without values are passed over). They
// return how many values they delivered: fewer at the end of the block or of
// the data or before a value of another kind, and they never move past
// either end. readStr takes one text, cut to the buffer, and returns its
// length, or -1 when the next item is not a text. readID takes the next
// identifier and returns its id when it is in the list given, else 0; it
// takes nothing when the next item is not an identifier. findBlk enters the next
// item when it is a block in the list given and returns its id; otherwise it
// returns 0, passes over the block if the next item is one, and opens an
// empty stand-in, so that the caller's endBlk stays balanced. endBlk leaves
// the current block, skipping what was not read.
class StateReader {
 public:
  explicit StateReader(const StateItems &items, int io_mode = LWIO_BINARY);
  StateReader(const StateReader &) = delete;
  StateReader &operator=(const StateReader &) = delete;

  const LWLoadState *state() const { return &state_; }

  // Reads that came up short: fewer values than asked for, a missing text, a
  // block not found. A stored state that matches its reader has none.
  std::size_t shortfalls() const { return shortfalls_; }
  // endBlk calls with no block open.
  std::size_t unbalanced_ends() const { return unbalanced_ends_; }

 private:
  struct Frame {
    const StateItems *items;
    std::size_t index;   // of the next item
    std::size_t offset;  // values already taken from items[index]
  };
  static StateReader &self(void *data) { return *static_cast<StateReader *>(data); }
  int read_run(StateKind kind, int count, void *out);
  void skip_empty_runs();
  const StateItem *next_item(StateKind kind);
  const StateItem *next_block(const LWBlockIdent *list, LWID &found);
  static int read_raw(void *data, char *values, int count);
  static int read_i1(void *data, char *values, int count);
  static int read_i2(void *data, short *values, int count);
  static int read_i4(void *data, std::int32_t *values, int count);
  static int read_u1(void *data, unsigned char *values, int count);
  static int read_u2(void *data, unsigned short *values, int count);
  static int read_u4(void *data, std::uint32_t *values, int count);
  static int read_fp(void *data, float *values, int count);
  static int read_str(void *data, char *buffer, int size);
  static LWID read_id(void *data, const LWBlockIdent *list);
  static LWID find_blk(void *data, const LWBlockIdent *list);
  static void end_blk(void *data);
  static int depth(void *data);

  LWLoadState state_{};
  std::vector<Frame> frames_;  // the blocks entered, the whole tree first
  // Blocks not found that the caller still closes; they hold nothing and sit
  // above the innermost entered block.
  std::size_t stand_ins_ = 0;
  std::size_t shortfalls_ = 0;
  std::size_t unbalanced_ends_ = 0;
};

// Whether a stored block or identifier is the one an entry of a list names:
// by id when the item knows its id (the binary form), else by token (the
// text form).
bool same_ident(const StateItem &item, const LWBlockIdent &entry);

// "PDLB" for an id of four printable characters, else "0x50444C42".
std::string id_text(LWID id);

// The start of a damaged line, fit for a message: at most 60 characters,
// anything but printable ASCII shown as '?'.
std::string line_excerpt(std::string_view line);

}  // namespace korv::host
