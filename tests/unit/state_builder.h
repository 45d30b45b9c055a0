// Stored states for tests, item by item, as a writer's calls would make them.
#pragma once

#include <bit>
#include <cstdint>
#include <initializer_list>
#include <vector>

#include "host/scene_state.h"
#include "instance/edge_instance.h"
#include "instance/param_library.h"

namespace korv::testing {

inline std::uint64_t bits(double v) {
  return std::bit_cast<std::uint64_t>(v);
}

// The eight bytes of a double, most significant first.
inline std::vector<unsigned char> be_bytes(double v) {
  std::vector<unsigned char> out;
  for (int shift = 56; shift >= 0; shift -= 8) {
    out.push_back(static_cast<unsigned char>(bits(v) >> shift));
  }
  return out;
}

class StateBuilder {
 public:
  StateBuilder &i4(std::initializer_list<int> v) {
    s()->writeI4(s()->writeData, v.begin(), int(v.size()));
    return *this;
  }
  StateBuilder &i4(int v) { return i4({v}); }
  StateBuilder &u4(unsigned v) {
    s()->writeU4(s()->writeData, &v, 1);
    return *this;
  }
  StateBuilder &fp(float v) {
    s()->writeFP(s()->writeData, &v, 1);
    return *this;
  }
  StateBuilder &str(const char *text) {
    s()->writeStr(s()->writeData, text);
    return *this;
  }
  StateBuilder &bytes(const std::vector<unsigned char> &b) {
    s()->writeU1(s()->writeData, b.data(), int(b.size()));
    return *this;
  }
  StateBuilder &dbl(double v) { return bytes(be_bytes(v)); }
  StateBuilder &begin(const LWBlockIdent *list) {
    s()->beginBlk(s()->writeData, list, 0);
    return *this;
  }
  StateBuilder &begin(LWID id, const char *token) {
    const LWBlockIdent list[2] = {{id, token}, {0, nullptr}};
    return begin(list);
  }
  StateBuilder &end() {
    s()->endBlk(s()->writeData);
    return *this;
  }
  // One parameter block: name, type, then one value.
  StateBuilder &param(const char *name, unsigned type, int value) {
    return begin(kParamBlock).str(name).u4(type).i4(value).end();
  }
  StateBuilder &param(const char *name, unsigned type, double value) {
    return begin(kParamBlock).str(name).u4(type).dbl(value).end();
  }
  // The start of a stored settings set: version, the library block and its
  // count; close it with end().
  StateBuilder &settings(int count, int version = 256) {
    return i4(version).begin(kLibraryBlock).i4(count);
  }

  const host::StateItems &items() const { return writer_.items(); }

 private:
  const LWSaveState *s() const { return writer_.state(); }
  host::StateWriter writer_;
};

// A default instance with no cache; loading and saving never touch it.
inline EdgeInstance default_instance() {
  EdgeInstance inst{};
  set_default_settings(inst);
  inst.cache = nullptr;
  return inst;
}

}  // namespace korv::testing
