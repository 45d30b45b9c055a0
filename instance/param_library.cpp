#include "instance/param_library.h"

#include <bit>
#include <climits>
#include <cstring>
#include <memory>

#include "runtime/checked_memory.h"

namespace korv {

const LWBlockIdent kLibraryBlock[2] = {{PDLB, "PluginDataLib"}, {0, nullptr}};
const LWBlockIdent kParamBlock[2] = {{PDPR, "PluginDataParam"}, {0, nullptr}};

namespace {

// The byte buffer for count doubles; empty when count is out of range or
// the memory cannot be had.
Array<unsigned char> double_buffer(int count) {
  Array<unsigned char> bytes;
  if (count <= 0 || count > INT_MAX / 8 || !bytes.resize(8 * std::size_t(count))) {
    bytes.reset();
  }
  return bytes;
}

void save_values(const LWSaveState *state, const ParamDescriptor &entry) {
  void *const ctx = state->writeData;
  // Counts of zero or below mean there is nothing to write.
  const int count = entry.count;
  switch (entry.type) {
    case PBIN:
      if (count > 0) {
        state->writeU1(ctx, static_cast<const unsigned char *>(entry.data), count);
      }
      break;
    case PDBL:
      save_doubles(state, static_cast<const double *>(entry.data), count);
      break;
    case PFLT:
      if (count > 0) {
        state->writeFP(ctx, static_cast<const float *>(entry.data), count);
      }
      break;
    case PINT:
      if (count > 0) {
        state->writeI4(ctx, static_cast<const int *>(entry.data), count);
      }
      break;
    case PSTR:
      state->writeStr(ctx, static_cast<const char *>(entry.data));
      break;
    case PUNT:
      if (count > 0) {
        state->writeU4(ctx, static_cast<const unsigned int *>(entry.data), count);
      }
      break;
    case PUSR:
      if (entry.save_fn != nullptr) {
        entry.save_fn(state, entry.data);
      }
      break;
    default:
      break;  // an unknown type has no values to write
  }
}

void load_values(const LWLoadState *state, const ParamDescriptor &entry) {
  void *const ctx = state->readData;
  const int count = entry.count;
  switch (entry.type) {
    case PBIN:
      if (count > 0) {
        state->readU1(ctx, static_cast<unsigned char *>(entry.data), count);
      }
      break;
    case PDBL:
      load_doubles(state, static_cast<double *>(entry.data), count);
      break;
    case PFLT:
      if (count > 0) {
        state->readFP(ctx, static_cast<float *>(entry.data), count);
      }
      break;
    case PINT:
      if (count > 0) {
        state->readI4(ctx, static_cast<int *>(entry.data), count);
      }
      break;
    case PSTR:
      if (count > 0) {
        state->readStr(ctx, static_cast<char *>(entry.data), count);
      }
      break;
    case PUNT:
      if (count > 0) {
        state->readU4(ctx, static_cast<unsigned int *>(entry.data), count);
      }
      break;
    case PUSR:
      if (entry.load_fn != nullptr) {
        entry.load_fn(state, entry.data);
      }
      break;
    default:
      break;
  }
}

// The first entry with exactly this name and type, or null.
const ParamDescriptor *find_entry(const ParamDescriptor *table, const char *name,
                                  std::uint32_t type) {
  for (const ParamDescriptor *entry = table; entry->name != nullptr; ++entry) {
    if (entry->type == type && std::strcmp(entry->name, name) == 0) {
      return entry;
    }
  }
  return nullptr;
}

// Reads the body of one parameter block that findBlk has opened.
void load_param(const LWLoadState *state, const ParamDescriptor *table) {
  void *const ctx = state->readData;
  char name[kNameBufferSize] = {};
  if (state->readStr(ctx, name, kNameBufferSize) <= 0) {
    return;
  }
  // A host that fills the buffer to the brim must not leave the name open.
  name[kNameBufferSize - 1] = '\0';
  unsigned int type = 0;
  if (state->readU4(ctx, &type, 1) <= 0) {
    return;
  }
  const ParamDescriptor *entry = find_entry(table, name, type);
  if (entry != nullptr && entry->data != nullptr) {
    load_values(state, *entry);
  }
}

}  // namespace

void save_param_table(const LWSaveState *state, const ParamDescriptor *table) {
  void *const ctx = state->writeData;
  int n = 0;
  for (const ParamDescriptor *entry = table; entry->name != nullptr; ++entry) {
    if (entry->data != nullptr) {
      ++n;
    }
  }
  state->beginBlk(ctx, kLibraryBlock, 0);
  state->writeI4(ctx, &n, 1);
  for (const ParamDescriptor *entry = table; entry->name != nullptr; ++entry) {
    if (entry->data == nullptr) {
      continue;
    }
    state->beginBlk(ctx, kParamBlock, 0);
    state->writeStr(ctx, entry->name);
    const unsigned int type = entry->type;
    state->writeU4(ctx, &type, 1);
    save_values(state, *entry);
    state->endBlk(ctx);
  }
  state->endBlk(ctx);
}

void load_param_table(const LWLoadState *state, const ParamDescriptor *table) {
  void *const ctx = state->readData;
  if (state->findBlk(ctx, kLibraryBlock) == PDLB) {
    int n = 0;
    if (state->readI4(ctx, &n, 1) != 1) {
      n = 0;
    }
    if (n > kMaxParamBlocks) {
      n = kMaxParamBlocks;
    }
    for (int i = 0; i < n; ++i) {
      if (state->findBlk(ctx, kParamBlock) == PDPR) {
        load_param(state, table);
      }
      state->endBlk(ctx);
    }
  }
  state->endBlk(ctx);
}

void save_doubles(const LWSaveState *state, const double *data, int count) {
  Array<unsigned char> bytes = double_buffer(count);
  if (bytes.empty()) {
    return;
  }
  for (int i = 0; i < count; ++i) {
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(data[i]);
    for (int b = 0; b < 8; ++b) {
      bytes[8 * std::size_t(i) + b] = static_cast<unsigned char>(bits >> (56 - 8 * b));
    }
  }
  state->writeU1(state->writeData, bytes.data(), 8 * count);
}

int load_doubles(const LWLoadState *state, double *data, int count) {
  Array<unsigned char> bytes = double_buffer(count);
  if (bytes.empty()) {
    return 0;
  }
  int delivered = state->readU1(state->readData, bytes.data(), 8 * count);
  // A host that claims more than was asked for is not believed.
  if (delivered < 0) {
    delivered = 0;
  } else if (delivered > 8 * count) {
    delivered = 8 * count;
  }
  // Only doubles whose eight bytes all arrived are stored: a field filled
  // from bytes that never came would hold a value nobody saved.
  const int whole = delivered / 8;
  for (int i = 0; i < whole; ++i) {
    std::uint64_t bits = 0;
    for (int b = 0; b < 8; ++b) {
      bits = (bits << 8) | bytes[8 * std::size_t(i) + b];
    }
    data[i] = std::bit_cast<double>(bits);
  }
  return whole;
}

}  // namespace korv
