#include "write_seeds.h"

#include <climits>
#include <cmath>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "host/scene_state.h"
#include "host/scene_state_binary.h"
#include "instance/edge_instance.h"
#include "instance/param_library.h"
#include "instance/persistence.h"

namespace korv::fuzz {

namespace {

using host::StateItems;
using host::StateWriter;

StateItems saved(EdgeInstance inst) {
  StateWriter writer;
  instance_save(&inst, writer.state());
  return writer.items();
}

EdgeInstance defaults() {
  EdgeInstance inst{};
  set_default_settings(inst);
  return inst;
}

EdgeInstance odd() {
  EdgeInstance inst = defaults();
  inst.edge_width = -0.5;
  inst.edge_dangle = std::numeric_limits<double>::quiet_NaN();
  inst.smooth_cos = -std::numeric_limits<double>::infinity();
  inst.out_width = std::numeric_limits<double>::infinity();
  inst.out_channel = 7;
  inst.smooth_edge = -1;
  inst.disable_bevel = 1;
  return inst;
}

// A state written call by call.
class Writer {
 public:
  Writer &i4(int v) {
    s()->writeI4(s()->writeData, &v, 1);
    return *this;
  }
  Writer &u4(unsigned v) {
    s()->writeU4(s()->writeData, &v, 1);
    return *this;
  }
  Writer &str(const char *t) {
    s()->writeStr(s()->writeData, t);
    return *this;
  }
  Writer &dbl(double v) {
    save_doubles(s(), &v, 1);
    return *this;
  }
  Writer &bytes(std::vector<unsigned char> b) {
    s()->writeU1(s()->writeData, b.data(), int(b.size()));
    return *this;
  }
  Writer &begin(const LWBlockIdent *list) {
    s()->beginBlk(s()->writeData, list, 0);
    return *this;
  }
  Writer &end() {
    s()->endBlk(s()->writeData);
    return *this;
  }
  Writer &param(const char *name, unsigned type, int v) {
    return begin(kParamBlock).str(name).u4(type).i4(v).end();
  }
  Writer &param(const char *name, unsigned type, double v) {
    return begin(kParamBlock).str(name).u4(type).dbl(v).end();
  }
  const StateItems &items() const { return w_.items(); }

 private:
  const LWSaveState *s() const { return w_.state(); }
  StateWriter w_;
};

bool put(const std::string &dir, const std::string &name, const std::vector<unsigned char> &b) {
  std::ofstream out(dir + "/" + name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(b.data()), std::streamsize(b.size()));
  return bool(out);
}

bool put(const std::string &dir, const std::string &name, const StateItems &items) {
  return put(dir, name, host::encode_state_binary(items));
}

}  // namespace

bool write_seeds(const char *dir_text) {
  const std::string dir = dir_text;
  bool ok = put(dir, "default", saved(defaults()));
  ok = put(dir, "odd", saved(odd())) && ok;

  const std::vector<unsigned char> whole = host::encode_state_binary(saved(odd()));
  for (std::size_t cut : {std::size_t(9), whole.size() / 2, whole.size() - 3}) {
    ok = put(dir, "cut_" + std::to_string(cut),
             std::vector<unsigned char>(whole.begin(), whole.begin() + std::ptrdiff_t(cut))) &&
         ok;
  }

  Writer reordered;
  reordered.i4(256).begin(kLibraryBlock).i4(10);
  reordered.param("out_width", PDBL, 0.3).param("out_channel", PINT, 5);
  reordered.param("disable_bevel", PINT, 1).param("use_deform", PINT, 1);
  reordered.param("open_edge", PINT, 1).param("round_edge", PINT, 0);
  reordered.param("smooth_cos", PDBL, 0.1).param("smooth_edge", PINT, 0);
  reordered.param("edge_dangle", PDBL, 1.0).param("edge_width", PDBL, 0.05).end();
  ok = put(dir, "reordered", reordered.items()) && ok;

  Writer mixed;
  mixed.i4(256).begin(kLibraryBlock).i4(8);
  mixed.param("edge_width", PINT, 5).param("Edge_Width", PDBL, 0.5);
  mixed.param("edge_glow", PDBL, 2.0).param("out_channel", PINT, 2);
  mixed.param("out_channel", PINT, -1);
  mixed.begin(kParamBlock).str("edge_width").u4(PDBL).bytes({0x3F, 0xE0, 0x00}).end();
  mixed.begin(kParamBlock).str("open_edge").u4(PINT).i4(1).i4(2).i4(3).end();
  mixed.end();
  ok = put(dir, "mixed", mixed.items()) && ok;

  Writer versions;
  versions.i4(255).begin(kLibraryBlock).i4(1).param("out_channel", PINT, 3).end();
  ok = put(dir, "version_255", versions.items()) && ok;

  Writer huge;
  huge.i4(256).begin(kLibraryBlock).i4(INT_MAX).param("use_deform", PINT, 1).end();
  ok = put(dir, "huge_count", huge.items()) && ok;
  return ok;
}

}  // namespace korv::fuzz
