// Records every call a plug-in makes on the host's state records, with its
// arguments, its result and the values that went through, while handing each
// call on to another record. One line per call, for instance:
//
//   writeI4 256
//   beginBlk PDLB "PluginDataLib" leaf 0
//   writeStr "edge_width"
//   writeU4 0x5044424C
//   writeU1 3F 94 7A E1 47 AE 14 7B
//   endBlk
//   readI4 1 -> 1: 256
//   findBlk PDPR -> PDPR
//   readStr 512 -> 10: "edge_width"
//   readU1 8 -> 3: 3F 94 7A
//
// A call made with another context than the record's own ends in
// " (wrong context)" and is not handed on. The recorder finds itself without
// trusting the context: one recorder of each kind is active at a time, the
// one made last (made and dropped on one thread, as tests do).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hostapi/lwio.h"

namespace korv::host {

class RecordingSaveState {
 public:
  // inner must outlive the recorder.
  explicit RecordingSaveState(const LWSaveState *inner);
  ~RecordingSaveState();
  RecordingSaveState(const RecordingSaveState &) = delete;
  RecordingSaveState &operator=(const RecordingSaveState &) = delete;

  const LWSaveState *state() const { return &state_; }
  const std::vector<std::string> &calls() const { return calls_; }

 private:
  // The active recorder when data is its context (recording line), else null
  // (recording line marked as made with the wrong context).
  static RecordingSaveState *own(void *data, std::string line);
  template <class T>
  static void write_call(void *data, const char *name,
                         void (*const LWSaveState::*write)(void *, const T *, int), const T *values,
                         int count, std::string (*show)(const T *, int));
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

  const LWSaveState *inner_;
  RecordingSaveState *previous_;
  LWSaveState state_{};
  std::vector<std::string> calls_;
};

class RecordingLoadState {
 public:
  explicit RecordingLoadState(const LWLoadState *inner);
  ~RecordingLoadState();
  RecordingLoadState(const RecordingLoadState &) = delete;
  RecordingLoadState &operator=(const RecordingLoadState &) = delete;

  const LWLoadState *state() const { return &state_; }
  const std::vector<std::string> &calls() const { return calls_; }

 private:
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
  static RecordingLoadState *own(void *data);
  static void wrong_context(const std::string &line);
  template <class T>
  static int read_call(void *data, const char *name,
                       int (*const LWLoadState::*read)(void *, T *, int), T *values, int count,
                       std::string (*show)(const T *, int));
  void record(std::string line) { calls_.push_back(std::move(line)); }

  const LWLoadState *inner_;
  RecordingLoadState *previous_;
  LWLoadState state_{};
  std::vector<std::string> calls_;
};

// A text the way the recorder shows it: quoted, other than printable ASCII
// escaped as \xHH.
std::string quote_text(const char *text, std::size_t length);

}  // namespace korv::host
