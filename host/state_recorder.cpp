#include "host/state_recorder.h"

#include <charconv>
#include <cstdio>
#include <cstring>

#include "host/scene_state.h"

namespace korv::host {

namespace {

RecordingSaveState *active_save = nullptr;
RecordingLoadState *active_load = nullptr;

// Appends a word, with a space before it unless it is the first. Written as
// two appends rather than (sep + word): GCC 12 at -O3 warns falsely
// (-Wrestrict) about the inlined operator+ of a literal and a temporary.
void append_word(std::string &out, const std::string &word) {
  if (!out.empty()) {
    out += ' ';
  }
  out += word;
}

std::string list_text(const LWBlockIdent *list) {
  std::string out;
  for (const LWBlockIdent *e = list; e != nullptr && e->id != 0; ++e) {
    append_word(out, id_text(e->id));
  }
  return out.empty() ? "(empty)" : out;
}

std::string bytes_text(const unsigned char *v, int n) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (int i = 0; i < n; ++i) {
    out += (i == 0 ? "" : " ");
    out += kHex[v[i] >> 4];
    out += kHex[v[i] & 15];
  }
  return out;
}

std::string ints_text(const int *v, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) {
    append_word(out, std::to_string(v[i]));
  }
  return out;
}

std::string words_text(const unsigned int *v, int n) {
  std::string out;
  char word[16];
  for (int i = 0; i < n; ++i) {
    std::snprintf(word, sizeof word, "0x%08X", v[i]);
    append_word(out, word);
  }
  return out;
}

std::string floats_text(const float *v, int n) {
  std::string out;
  char number[64];
  for (int i = 0; i < n; ++i) {
    const auto end = std::to_chars(number, number + sizeof number, v[i]);
    append_word(out, std::string(number, end.ptr));
  }
  return out;
}

// Values are shown only when the pointer and count make sense.
bool shown(const void *values, int count) {
  return values != nullptr && count > 0;
}

}  // namespace

std::string quote_text(const char *text, std::size_t length) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "\"";
  for (std::size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
      out += char(c);
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out + "\"";
}

// --- Saving -----------------------------------------------------------------

RecordingSaveState::RecordingSaveState(const LWSaveState *inner)
    : inner_(inner), previous_(active_save) {
  state_.ioMode = inner->ioMode;
  state_.writeData = this;
  state_.writeU1 = write_u1;
  state_.writeI4 = write_i4;
  state_.writeU4 = write_u4;
  state_.writeFP = write_fp;
  state_.writeStr = write_str;
  state_.beginBlk = begin_blk;
  state_.endBlk = end_blk;
  state_.depth = depth;
  active_save = this;
}

RecordingSaveState::~RecordingSaveState() {
  active_save = previous_;
}

RecordingSaveState *RecordingSaveState::own(void *data, std::string line) {
  RecordingSaveState *r = active_save;
  if (r == nullptr) {
    return nullptr;
  }
  if (data != r) {
    r->calls_.push_back(line + " (wrong context)");
    return nullptr;
  }
  r->calls_.push_back(std::move(line));
  return r;
}

void RecordingSaveState::write_u1(void *data, const unsigned char *values, int count) {
  std::string line = "writeU1 " + (shown(values, count) ? bytes_text(values, count)
                                                        : "count " + std::to_string(count));
  if (RecordingSaveState *r = own(data, std::move(line))) {
    r->inner_->writeU1(r->inner_->writeData, values, count);
  }
}

void RecordingSaveState::write_i4(void *data, const int *values, int count) {
  std::string line = "writeI4 " + (shown(values, count) ? ints_text(values, count)
                                                        : "count " + std::to_string(count));
  if (RecordingSaveState *r = own(data, std::move(line))) {
    r->inner_->writeI4(r->inner_->writeData, values, count);
  }
}

void RecordingSaveState::write_u4(void *data, const unsigned int *values, int count) {
  std::string line = "writeU4 " + (shown(values, count) ? words_text(values, count)
                                                        : "count " + std::to_string(count));
  if (RecordingSaveState *r = own(data, std::move(line))) {
    r->inner_->writeU4(r->inner_->writeData, values, count);
  }
}

void RecordingSaveState::write_fp(void *data, const float *values, int count) {
  std::string line = "writeFP " + (shown(values, count) ? floats_text(values, count)
                                                        : "count " + std::to_string(count));
  if (RecordingSaveState *r = own(data, std::move(line))) {
    r->inner_->writeFP(r->inner_->writeData, values, count);
  }
}

void RecordingSaveState::write_str(void *data, const char *text) {
  std::string line =
      "writeStr " + (text != nullptr ? quote_text(text, std::strlen(text)) : std::string("null"));
  if (RecordingSaveState *r = own(data, std::move(line))) {
    r->inner_->writeStr(r->inner_->writeData, text);
  }
}

void RecordingSaveState::begin_blk(void *data, const LWBlockIdent *block, int leaf) {
  std::string line = "beginBlk ";
  if (block == nullptr) {
    line += "null";
  } else {
    line += id_text(block->id) + " " +
            (block->token != nullptr ? quote_text(block->token, std::strlen(block->token))
                                     : std::string("null"));
  }
  line += " leaf " + std::to_string(leaf);
  if (RecordingSaveState *r = own(data, std::move(line))) {
    r->inner_->beginBlk(r->inner_->writeData, block, leaf);
  }
}

void RecordingSaveState::end_blk(void *data) {
  if (RecordingSaveState *r = own(data, "endBlk")) {
    r->inner_->endBlk(r->inner_->writeData);
  }
}

int RecordingSaveState::depth(void *data) {
  RecordingSaveState *r = own(data, "depth");
  return r != nullptr ? r->inner_->depth(r->inner_->writeData) : 0;
}

// --- Loading ----------------------------------------------------------------

RecordingLoadState::RecordingLoadState(const LWLoadState *inner)
    : inner_(inner), previous_(active_load) {
  state_.ioMode = inner->ioMode;
  state_.readData = this;
  state_.readU1 = read_u1;
  state_.readI4 = read_i4;
  state_.readU4 = read_u4;
  state_.readFP = read_fp;
  state_.readStr = read_str;
  state_.findBlk = find_blk;
  state_.endBlk = end_blk;
  state_.depth = depth;
  active_load = this;
}

RecordingLoadState::~RecordingLoadState() {
  active_load = previous_;
}

RecordingLoadState *RecordingLoadState::own(void *data) {
  RecordingLoadState *r = active_load;
  return r != nullptr && data == r ? r : nullptr;
}

void RecordingLoadState::wrong_context(const std::string &line) {
  if (active_load != nullptr) {
    active_load->record(line + " (wrong context)");
  }
}

template <class T>
int RecordingLoadState::read_values(const char *name, int (*read)(void *, T *, int), T *values,
                                    int count, std::string (*show)(const T *, int)) {
  std::string line = std::string(name) + " " + std::to_string(count);
  const int delivered = read(inner_->readData, values, count);
  line += " -> " + std::to_string(delivered);
  if (delivered > 0 && values != nullptr) {
    line += ": " + show(values, delivered < count ? delivered : count);
  }
  record(std::move(line));
  return delivered;
}

int RecordingLoadState::read_u1(void *data, unsigned char *values, int count) {
  RecordingLoadState *r = own(data);
  if (r == nullptr) {
    wrong_context("readU1 " + std::to_string(count));
    return 0;
  }
  return r->read_values("readU1", r->inner_->readU1, values, count, bytes_text);
}

int RecordingLoadState::read_i4(void *data, int *values, int count) {
  RecordingLoadState *r = own(data);
  if (r == nullptr) {
    wrong_context("readI4 " + std::to_string(count));
    return 0;
  }
  return r->read_values("readI4", r->inner_->readI4, values, count, ints_text);
}

int RecordingLoadState::read_u4(void *data, unsigned int *values, int count) {
  RecordingLoadState *r = own(data);
  if (r == nullptr) {
    wrong_context("readU4 " + std::to_string(count));
    return 0;
  }
  return r->read_values("readU4", r->inner_->readU4, values, count, words_text);
}

int RecordingLoadState::read_fp(void *data, float *values, int count) {
  RecordingLoadState *r = own(data);
  if (r == nullptr) {
    wrong_context("readFP " + std::to_string(count));
    return 0;
  }
  return r->read_values("readFP", r->inner_->readFP, values, count, floats_text);
}

int RecordingLoadState::read_str(void *data, char *buffer, int size) {
  std::string line = "readStr " + std::to_string(size);
  RecordingLoadState *r = own(data);
  if (r == nullptr) {
    wrong_context(line);
    return -1;
  }
  const int length = r->inner_->readStr(r->inner_->readData, buffer, size);
  line += " -> " + std::to_string(length);
  if (length >= 0 && buffer != nullptr && size > 0) {
    line += ": " + quote_text(buffer, std::strlen(buffer));
  }
  r->record(std::move(line));
  return length;
}

LWID RecordingLoadState::find_blk(void *data, const LWBlockIdent *list) {
  std::string line = "findBlk " + list_text(list);
  RecordingLoadState *r = own(data);
  if (r == nullptr) {
    wrong_context(line);
    return 0;
  }
  const LWID found = r->inner_->findBlk(r->inner_->readData, list);
  r->record(line + " -> " + (found != 0 ? id_text(found) : std::string("0")));
  return found;
}

void RecordingLoadState::end_blk(void *data) {
  RecordingLoadState *r = own(data);
  if (r == nullptr) {
    wrong_context("endBlk");
    return;
  }
  r->inner_->endBlk(r->inner_->readData);
  r->record("endBlk");
}

int RecordingLoadState::depth(void *data) {
  RecordingLoadState *r = own(data);
  if (r == nullptr) {
    wrong_context("depth");
    return 0;
  }
  const int d = r->inner_->depth(r->inner_->readData);
  r->record("depth -> " + std::to_string(d));
  return d;
}

}  // namespace korv::host
