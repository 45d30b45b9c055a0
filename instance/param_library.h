// A small table-driven parameter library for the host's scene-file state.
//
// A table of named, typed parameters is written as one "PluginDataLib" block
// holding a count and one "PluginDataParam" block per parameter (name, type
// id, values). Reading matches each stored block to the table by exact name
// and type; blocks that match nothing are skipped, so that files from older
// or newer writers load what they can.
//
// The functions never keep the state records or the table beyond the call,
// never throw, and call every host function with the record's own context.
#pragma once

#include <cstdint>

#include "hostapi/lwio.h"

namespace korv {

// Four characters packed into 32 bits, the first in the most significant byte.
constexpr LWID make_id(char a, char b, char c, char d) {
  return (static_cast<LWID>(static_cast<unsigned char>(a)) << 24) |
         (static_cast<LWID>(static_cast<unsigned char>(b)) << 16) |
         (static_cast<LWID>(static_cast<unsigned char>(c)) << 8) |
         static_cast<LWID>(static_cast<unsigned char>(d));
}

// Item types: how a parameter's values travel through the host's functions.
inline constexpr std::uint32_t PBIN = make_id('P', 'B', 'I', 'N');  // count raw bytes
inline constexpr std::uint32_t PDBL = make_id('P', 'D', 'B', 'L');  // count doubles, as bytes
inline constexpr std::uint32_t PFLT = make_id('P', 'F', 'L', 'T');  // count floats
inline constexpr std::uint32_t PINT = make_id('P', 'I', 'N', 'T');  // count 32-bit ints
inline constexpr std::uint32_t PSTR = make_id('P', 'S', 'T', 'R');  // one text, count = buffer size
inline constexpr std::uint32_t PUNT = make_id('P', 'U', 'N', 'T');  // count 32-bit unsigned ints
inline constexpr std::uint32_t PUSR = make_id('P', 'U', 'S', 'R');  // the entry's own functions

// The two blocks.
inline constexpr LWID PDLB = make_id('P', 'D', 'L', 'B');  // "PluginDataLib": the table
inline constexpr LWID PDPR = make_id('P', 'D', 'P', 'R');  // "PluginDataParam": one parameter

// Each list holds one identifier and the terminating entry.
extern const LWBlockIdent kLibraryBlock[2];
extern const LWBlockIdent kParamBlock[2];

// The size of the buffer a stored parameter name is read into; longer names
// are cut to fit and so match no entry.
inline constexpr int kNameBufferSize = 512;

// A damaged count cannot make the reader spin: no more parameter blocks than
// this are attempted, far more than any table holds.
inline constexpr int kMaxParamBlocks = 4096;

using ParamSaveFn = void (*)(const LWSaveState *state, void *data);
using ParamLoadFn = void (*)(const LWLoadState *state, void *data);

// One entry of a parameter table. A table ends with an entry whose name is
// null. The table and what data points to belong to the caller.
struct ParamDescriptor {
  const char *name;     // key as stored, compared byte for byte
  std::uint32_t type;   // one of the item types above
  void *data;           // where the values live; null: neither written nor filled
  std::int32_t count;   // number of values (for PSTR the size of the text buffer)
  ParamSaveFn save_fn;  // PUSR only, may be null
  ParamLoadFn load_fn;  // PUSR only, may be null
};

// Writes the table as one PluginDataLib block.
void save_param_table(const LWSaveState *state, const ParamDescriptor *table);

// Reads a PluginDataLib block into the table's data. Only entries that a
// stored block names (with the same type) change.
void load_param_table(const LWLoadState *state, const ParamDescriptor *table);

// Writes count doubles as 8·count bytes, each most significant byte first,
// with one writeU1 call. Writes nothing when the buffer cannot be had.
void save_doubles(const LWSaveState *state, const double *data, int count);

// Reads 8·count bytes with one readU1 call and stores the doubles that
// arrived whole; the others keep their values. Returns that number of
// doubles (0 when the buffer cannot be had, and then nothing is stored).
int load_doubles(const LWLoadState *state, double *data, int count);

}  // namespace korv
