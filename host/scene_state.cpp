#include "host/scene_state.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

namespace korv::host {

namespace {

// How many bytes one value of a run of that kind takes in the caller's array.
std::size_t value_width(StateKind kind) {
  switch (kind) {
    case StateKind::Raw:
    case StateKind::I1:
    case StateKind::U1:
      return 1;
    case StateKind::I2:
    case StateKind::U2:
      return 2;
    default:
      return 4;
  }
}

bool holds_bytes(StateKind kind) {
  return value_width(kind) == 1;
}

// Runs of values, as opposed to blocks, texts and identifiers.
bool is_run(StateKind kind) {
  return kind != StateKind::Block && kind != StateKind::Str && kind != StateKind::Id;
}

}  // namespace

std::size_t StateItem::size() const {
  if (is_run(kind)) {
    return holds_bytes(kind) ? bytes.size() : words.size();
  }
  return kind == StateKind::Block ? 0 : 1;
}

bool same_ident(const StateItem &item, const LWBlockIdent &entry) {
  return item.id != 0 ? item.id == entry.id
                      : entry.token != nullptr && !item.token.empty() && item.token == entry.token;
}

void ParseReport::note(std::string problem) {
  // A badly damaged input yields one problem per line; the first ones say
  // enough and the rest would only flood the terminal.
  constexpr std::size_t kMaxProblems = 20;
  if (problems.size() < kMaxProblems) {
    problems.push_back(std::move(problem));
  } else if (problems.size() == kMaxProblems) {
    problems.push_back("(further problems not listed)");
  }
}

std::string id_text(LWID id) {
  char text[16];
  bool printable = true;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const unsigned c = (id >> shift) & 0xFFu;
    printable = printable && c >= 0x21 && c <= 0x7E;
  }
  if (printable) {
    std::snprintf(text, sizeof text, "%c%c%c%c", char(id >> 24), char(id >> 16), char(id >> 8),
                  char(id));
  } else {
    std::snprintf(text, sizeof text, "0x%08X", id);
  }
  return text;
}

std::string line_excerpt(std::string_view line) {
  std::string out(line.substr(0, 60));
  for (char &c : out) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
      c = '?';
    }
  }
  return out;
}

// --- Writer -----------------------------------------------------------------

StateWriter::StateWriter(int io_mode) {
  state_.ioMode = io_mode;
  state_.writeData = this;
  state_.write = write_raw;
  state_.writeI1 = write_i1;
  state_.writeI2 = write_i2;
  state_.writeI4 = write_i4;
  state_.writeU1 = write_u1;
  state_.writeU2 = write_u2;
  state_.writeU4 = write_u4;
  state_.writeFP = write_fp;
  state_.writeStr = write_str;
  state_.writeID = write_id;
  state_.beginBlk = begin_blk;
  state_.endBlk = end_blk;
  state_.depth = depth;
  open_.push_back(&root_);
}

void StateWriter::add_run(StateKind kind, const void *values, int count) {
  if (values == nullptr || count <= 0) {
    return;
  }
  try {
    StateItem run;
    run.kind = kind;
    const std::size_t n = std::size_t(count);
    if (holds_bytes(kind)) {
      const auto *bytes = static_cast<const unsigned char *>(values);
      run.bytes.assign(bytes, bytes + n);
    } else if (value_width(kind) == 2) {
      const auto *halves = static_cast<const std::uint16_t *>(values);
      run.words.assign(halves, halves + n);
    } else {
      run.words.resize(n);
      std::memcpy(run.words.data(), values, 4 * n);
    }
    open_.back()->push_back(std::move(run));
  } catch (const std::bad_alloc &) {
    damaged_ = true;
  }
}

void StateWriter::add_marker(StateKind kind, const LWBlockIdent *block) {
  if (block == nullptr) {
    damaged_ = true;
    return;
  }
  try {
    StateItem marker;
    marker.kind = kind;
    marker.id = block->id;
    marker.token = block->token != nullptr ? block->token : "";
    open_.back()->push_back(std::move(marker));
  } catch (const std::bad_alloc &) {
    damaged_ = true;
  }
}

void StateWriter::write_raw(void *data, const char *values, int count) {
  self(data).add_run(StateKind::Raw, values, count);
}
void StateWriter::write_i1(void *data, const char *values, int count) {
  self(data).add_run(StateKind::I1, values, count);
}
void StateWriter::write_i2(void *data, const short *values, int count) {
  self(data).add_run(StateKind::I2, values, count);
}
void StateWriter::write_i4(void *data, const std::int32_t *values, int count) {
  self(data).add_run(StateKind::I4, values, count);
}
void StateWriter::write_u1(void *data, const unsigned char *values, int count) {
  self(data).add_run(StateKind::U1, values, count);
}
void StateWriter::write_u2(void *data, const unsigned short *values, int count) {
  self(data).add_run(StateKind::U2, values, count);
}
void StateWriter::write_u4(void *data, const std::uint32_t *values, int count) {
  self(data).add_run(StateKind::U4, values, count);
}
void StateWriter::write_id(void *data, const LWBlockIdent *block) {
  self(data).add_marker(StateKind::Id, block);
}
void StateWriter::write_fp(void *data, const float *values, int count) {
  self(data).add_run(StateKind::FP, values, count);
}

void StateWriter::write_str(void *data, const char *text) {
  StateWriter &w = self(data);
  if (text == nullptr) {
    w.damaged_ = true;
    return;
  }
  try {
    StateItem str;
    str.kind = StateKind::Str;
    str.bytes.assign(text, text + std::strlen(text));
    w.open_.back()->push_back(std::move(str));
  } catch (const std::bad_alloc &) {
    w.damaged_ = true;
  }
}

void StateWriter::begin_blk(void *data, const LWBlockIdent *block, int /*leaf*/) {
  StateWriter &w = self(data);
  try {
    StateItem blk;
    if (block != nullptr) {
      blk.id = block->id;
      blk.token = block->token != nullptr ? block->token : "";
    } else {
      // Still opened, so that the caller's endBlk closes this block and not
      // the one around it.
      w.damaged_ = true;
    }
    // Room for the pointer first: once the block is in place, nothing may fail.
    w.open_.reserve(w.open_.size() + 1);
    StateItems &parent = *w.open_.back();
    parent.push_back(std::move(blk));
    w.open_.push_back(&parent.back().items);
  } catch (const std::bad_alloc &) {
    w.damaged_ = true;
  }
}

void StateWriter::end_blk(void *data) {
  StateWriter &w = self(data);
  if (w.open_.size() > 1) {
    w.open_.pop_back();
  } else {
    w.damaged_ = true;
  }
}

int StateWriter::depth(void *data) {
  return int(self(data).open_.size()) - 1;
}

// --- Reader -----------------------------------------------------------------

StateReader::StateReader(const StateItems &items, int io_mode) {
  state_.ioMode = io_mode;
  state_.readData = this;
  state_.read = read_raw;
  state_.readI1 = read_i1;
  state_.readI2 = read_i2;
  state_.readI4 = read_i4;
  state_.readU1 = read_u1;
  state_.readU2 = read_u2;
  state_.readU4 = read_u4;
  state_.readFP = read_fp;
  state_.readStr = read_str;
  state_.readID = read_id;
  state_.findBlk = find_blk;
  state_.endBlk = end_blk;
  state_.depth = depth;
  frames_.push_back({&items, 0, 0});
}

// Runs without values stand in nobody's way.
void StateReader::skip_empty_runs() {
  if (stand_ins_ > 0) {
    return;
  }
  Frame &f = frames_.back();
  while (f.offset == 0 && f.index < f.items->size() && is_run((*f.items)[f.index].kind) &&
         (*f.items)[f.index].size() == 0) {
    ++f.index;
  }
}

int StateReader::read_run(StateKind kind, int count, void *out) {
  if (out == nullptr || count <= 0) {
    return 0;
  }
  int delivered = 0;
  if (stand_ins_ == 0) {
    skip_empty_runs();
    Frame &f = frames_.back();
    while (delivered < count && f.index < f.items->size()) {
      const StateItem &run = (*f.items)[f.index];
      if (run.kind != kind) {
        break;
      }
      const std::size_t take =
          std::min(run.size() - f.offset, std::size_t(count) - std::size_t(delivered));
      if (take == 0) {
        // an empty run: nothing to copy (and no storage to copy from)
      } else if (holds_bytes(kind)) {
        std::memcpy(static_cast<unsigned char *>(out) + delivered, run.bytes.data() + f.offset,
                    take);
      } else if (value_width(kind) == 2) {
        auto *halves = static_cast<std::uint16_t *>(out) + delivered;
        for (std::size_t i = 0; i < take; ++i) {
          halves[i] = static_cast<std::uint16_t>(run.words[f.offset + i]);
        }
      } else {
        std::memcpy(static_cast<unsigned char *>(out) + 4 * std::size_t(delivered),
                    run.words.data() + f.offset, 4 * take);
      }
      delivered += int(take);
      f.offset += take;
      if (f.offset == run.size()) {
        ++f.index;
        f.offset = 0;
      }
    }
  }
  if (delivered < count) {
    ++shortfalls_;
  }
  return delivered;
}

int StateReader::read_raw(void *data, char *values, int count) {
  return self(data).read_run(StateKind::Raw, count, values);
}
int StateReader::read_i1(void *data, char *values, int count) {
  return self(data).read_run(StateKind::I1, count, values);
}
int StateReader::read_i2(void *data, short *values, int count) {
  return self(data).read_run(StateKind::I2, count, values);
}
int StateReader::read_i4(void *data, std::int32_t *values, int count) {
  return self(data).read_run(StateKind::I4, count, values);
}
int StateReader::read_u1(void *data, unsigned char *values, int count) {
  return self(data).read_run(StateKind::U1, count, values);
}
int StateReader::read_u2(void *data, unsigned short *values, int count) {
  return self(data).read_run(StateKind::U2, count, values);
}
int StateReader::read_u4(void *data, std::uint32_t *values, int count) {
  return self(data).read_run(StateKind::U4, count, values);
}
int StateReader::read_fp(void *data, float *values, int count) {
  return self(data).read_run(StateKind::FP, count, values);
}

int StateReader::read_str(void *data, char *buffer, int size) {
  StateReader &r = self(data);
  r.skip_empty_runs();
  const Frame &f = r.frames_.back();
  if (buffer == nullptr || size <= 0 || r.stand_ins_ > 0 || f.index >= f.items->size() ||
      (*f.items)[f.index].kind != StateKind::Str) {
    ++r.shortfalls_;
    return -1;
  }
  const std::vector<unsigned char> &text = (*f.items)[f.index].bytes;
  const std::size_t length = std::min(text.size(), std::size_t(size) - 1);
  if (length > 0) {
    std::memcpy(buffer, text.data(), length);
  }
  buffer[length] = '\0';
  if (length < text.size()) {
    ++r.shortfalls_;  // cut to the buffer
  }
  ++r.frames_.back().index;
  return int(length);
}

// The item at the reader's position when it is of that kind, else null.
const StateItem *StateReader::next_item(StateKind kind) {
  skip_empty_runs();
  const Frame &f = frames_.back();
  if (stand_ins_ > 0 || f.index >= f.items->size() || f.offset != 0 ||
      (*f.items)[f.index].kind != kind) {
    return nullptr;
  }
  return &(*f.items)[f.index];
}

LWID StateReader::read_id(void *data, const LWBlockIdent *list) {
  StateReader &r = self(data);
  const StateItem *next = r.next_item(StateKind::Id);
  if (next == nullptr) {
    ++r.shortfalls_;
    return 0;
  }
  ++r.frames_.back().index;
  for (const LWBlockIdent *entry = list; entry != nullptr && entry->id != 0; ++entry) {
    if (same_ident(*next, *entry)) {
      return entry->id;
    }
  }
  ++r.shortfalls_;
  return 0;
}

// The block at the reader's position when it is one of those in the list
// (its id through found), else null.
const StateItem *StateReader::next_block(const LWBlockIdent *list, LWID &found) {
  found = 0;
  const StateItem *next = next_item(StateKind::Block);
  if (next == nullptr) {
    return nullptr;
  }
  for (const LWBlockIdent *entry = list; entry != nullptr && entry->id != 0; ++entry) {
    if (same_ident(*next, *entry)) {
      found = entry->id;
      break;
    }
  }
  return next;
}

LWID StateReader::find_blk(void *data, const LWBlockIdent *list) {
  StateReader &r = self(data);
  LWID found = 0;
  const StateItem *next = r.next_block(list, found);
  if (next != nullptr) {
    ++r.frames_.back().index;  // entered, or passed over when not one of those asked for
  }
  if (found != 0) {
    try {
      r.frames_.push_back({&next->items, 0, 0});
      return found;
    } catch (const std::bad_alloc &) {
      // Read as not found: the stand-in keeps the caller's endBlk balanced.
    }
  }
  ++r.stand_ins_;
  ++r.shortfalls_;
  return 0;
}

void StateReader::end_blk(void *data) {
  StateReader &r = self(data);
  if (r.stand_ins_ > 0) {
    --r.stand_ins_;
  } else if (r.frames_.size() > 1) {
    r.frames_.pop_back();
  } else {
    ++r.unbalanced_ends_;
  }
}

int StateReader::depth(void *data) {
  const StateReader &r = self(data);
  return int(r.frames_.size() - 1 + std::min<std::size_t>(r.stand_ins_, 1u << 30));
}

}  // namespace korv::host
