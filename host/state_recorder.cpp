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

std::string chars_text(const char *v, int n) {
  return bytes_text(reinterpret_cast<const unsigned char *>(v), n);
}

template <class T>
std::string numbers_text(const T *v, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) {
    append_word(out, std::to_string(v[i]));
  }
  return out;
}

std::string shorts_text(const short *v, int n) {
  return numbers_text(v, n);
}

std::string ints_text(const std::int32_t *v, int n) {
  return numbers_text(v, n);
}

std::string halves_text(const unsigned short *v, int n) {
  std::string out;
  char word[16];
  for (int i = 0; i < n; ++i) {
    std::snprintf(word, sizeof word, "0x%04X", unsigned(v[i]));
    append_word(out, word);
  }
  return out;
}

std::string words_text(const std::uint32_t *v, int n) {
  std::string out;
  char word[16];
  for (int i = 0; i < n; ++i) {
    std::snprintf(word, sizeof word, "0x%08X", unsigned(v[i]));
    append_word(out, word);
  }
  return out;
}

std::string ident_text(const LWBlockIdent *block) {
  if (block == nullptr) {
    return "null";
  }
  return id_text(block->id) + " " +
         (block->token != nullptr ? quote_text(block->token, std::strlen(block->token))
                                  : std::string("null"));
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

// One recorded write call of count values, handed on to the inner record's
// function of the same member.
template <class T>
void RecordingSaveState::write_call(void *data, const char *name,
                                    void (*const LWSaveState::*write)(void *, const T *, int),
                                    const T *values, int count,
                                    std::string (*show)(const T *, int)) {
  std::string line =
      std::string(name) + " " +
      (shown(values, count) ? show(values, count) : "count " + std::to_string(count));
  if (RecordingSaveState *r = own(data, std::move(line))) {
    (r->inner_->*write)(r->inner_->writeData, values, count);
  }
}

void RecordingSaveState::write_raw(void *data, const char *values, int count) {
  write_call(data, "write", &LWSaveState::write, values, count, chars_text);
}
void RecordingSaveState::write_i1(void *data, const char *values, int count) {
  write_call(data, "writeI1", &LWSaveState::writeI1, values, count, chars_text);
}
void RecordingSaveState::write_i2(void *data, const short *values, int count) {
  write_call(data, "writeI2", &LWSaveState::writeI2, values, count, shorts_text);
}
void RecordingSaveState::write_i4(void *data, const std::int32_t *values, int count) {
  write_call(data, "writeI4", &LWSaveState::writeI4, values, count, ints_text);
}
void RecordingSaveState::write_u1(void *data, const unsigned char *values, int count) {
  write_call(data, "writeU1", &LWSaveState::writeU1, values, count, bytes_text);
}
void RecordingSaveState::write_u2(void *data, const unsigned short *values, int count) {
  write_call(data, "writeU2", &LWSaveState::writeU2, values, count, halves_text);
}
void RecordingSaveState::write_u4(void *data, const std::uint32_t *values, int count) {
  write_call(data, "writeU4", &LWSaveState::writeU4, values, count, words_text);
}
void RecordingSaveState::write_fp(void *data, const float *values, int count) {
  write_call(data, "writeFP", &LWSaveState::writeFP, values, count, floats_text);
}

void RecordingSaveState::write_id(void *data, const LWBlockIdent *block) {
  if (RecordingSaveState *r = own(data, "writeID " + ident_text(block))) {
    r->inner_->writeID(r->inner_->writeData, block);
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
  std::string line = "beginBlk " + ident_text(block) + " leaf " + std::to_string(leaf);
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
int RecordingLoadState::read_call(void *data, const char *name,
                                  int (*const LWLoadState::*read)(void *, T *, int), T *values,
                                  int count, std::string (*show)(const T *, int)) {
  std::string line = std::string(name) + " " + std::to_string(count);
  RecordingLoadState *r = own(data);
  if (r == nullptr) {
    wrong_context(line);
    return 0;
  }
  const int delivered = (r->inner_->*read)(r->inner_->readData, values, count);
  line += " -> " + std::to_string(delivered);
  if (delivered > 0 && values != nullptr) {
    line += ": " + show(values, delivered < count ? delivered : count);
  }
  r->record(std::move(line));
  return delivered;
}

int RecordingLoadState::read_raw(void *data, char *values, int count) {
  return read_call(data, "read", &LWLoadState::read, values, count, chars_text);
}
int RecordingLoadState::read_i1(void *data, char *values, int count) {
  return read_call(data, "readI1", &LWLoadState::readI1, values, count, chars_text);
}
int RecordingLoadState::read_i2(void *data, short *values, int count) {
  return read_call(data, "readI2", &LWLoadState::readI2, values, count, shorts_text);
}
int RecordingLoadState::read_i4(void *data, std::int32_t *values, int count) {
  return read_call(data, "readI4", &LWLoadState::readI4, values, count, ints_text);
}
int RecordingLoadState::read_u1(void *data, unsigned char *values, int count) {
  return read_call(data, "readU1", &LWLoadState::readU1, values, count, bytes_text);
}
int RecordingLoadState::read_u2(void *data, unsigned short *values, int count) {
  return read_call(data, "readU2", &LWLoadState::readU2, values, count, halves_text);
}
int RecordingLoadState::read_u4(void *data, std::uint32_t *values, int count) {
  return read_call(data, "readU4", &LWLoadState::readU4, values, count, words_text);
}
int RecordingLoadState::read_fp(void *data, float *values, int count) {
  return read_call(data, "readFP", &LWLoadState::readFP, values, count, floats_text);
}

LWID RecordingLoadState::read_id(void *data, const LWBlockIdent *list) {
  std::string line = "readID " + list_text(list);
  RecordingLoadState *r = own(data);
  if (r == nullptr) {
    wrong_context(line);
    return 0;
  }
  const LWID found = r->inner_->readID(r->inner_->readData, list);
  r->record(line + " -> " + (found != 0 ? id_text(found) : std::string("0")));
  return found;
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
