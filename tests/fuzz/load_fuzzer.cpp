// Feeds arbitrary bytes, read as the binary form of a stored state, to the
// shader's load callback on a fresh instance. Besides the sanitizers' checks,
// it stops on any of these:
//  - the load leaves a block open or closes one it did not open;
//  - a setting holds neither its default nor a value that some parameter
//    block in the input gave for it, under its own name and type;
//  - the same state read through the text form loads differently.
//
// With KORV_FUZZ_WRITE_SEEDS=DIR set, it writes its seed inputs into DIR and
// exits instead.
#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "host/scene_state.h"
#include "host/scene_state_binary.h"
#include "host/scene_state_text.h"
#include "hostapi/lwshader.h"
#include "instance/edge_instance.h"
#include "instance/param_library.h"
#include "module/activation.h"
#include "write_seeds.h"

namespace {

using korv::EdgeInstance;
using korv::host::StateItem;
using korv::host::StateItems;
using korv::host::StateKind;

void *no_services(const char *, int) {
  return nullptr;
}

// The handler's records, filled once by the module's own activation.
struct Handler {
  LWInstanceFuncs inst{};
  LWItemFuncs item{};
  LWRenderFuncs rend{};
  LWShaderHandler handler{};
  Handler() {
    handler.inst = &inst;
    handler.item = &item;
    handler.rend = &rend;
    if (korv::activate_shader_handler(LWSHADER_VERSION, no_services, &handler, nullptr) !=
        AFUNC_OK) {
      std::abort();
    }
  }
};

const Handler &handler() {
  static const Handler h;
  return h;
}

[[noreturn]] void fail(const std::string &why) {
  std::fprintf(stderr, "korv-fuzz-load: %s\n", why.c_str());
  std::abort();
}

// The settings after loading state into a fresh instance.
EdgeInstance load_fresh(const StateItems &state) {
  const LWInstanceFuncs &f = handler().inst;
  LWError error = nullptr;
  LWInstance inst = f.create(f.priv, nullptr, &error);
  if (inst == nullptr) {
    fail("create failed");
  }
  korv::host::StateReader reader(state);
  if (f.load(inst, reader.state()) != nullptr) {
    fail("load reported an error");
  }
  if (reader.state()->depth(reader.state()->readData) != 0) {
    fail("load left a block open");
  }
  if (reader.unbalanced_ends() != 0) {
    fail("load closed a block it had not opened");
  }
  EdgeInstance copy{};
  std::memcpy(static_cast<void *>(&copy), inst, sizeof copy);
  f.destroy(inst);
  return copy;
}

// Everything a parameter block could have given a setting: every value of
// the setting's kind after the name and type, and for doubles every eight
// bytes in a row of byte runs. Deliberately generous; what it rules out is a
// value that came from nowhere.
struct Allowed {
  std::set<std::uint64_t> values[korv::kSettingCount];
};

void collect_block(const StateItems &block, Allowed &allowed) {
  if (block.size() < 2 || block[0].kind != StateKind::Str || block[1].kind != StateKind::U4 ||
      block[1].words.empty()) {
    return;
  }
  // The name as the reader sees it: a C text cut to the buffer.
  std::string name(block[0].bytes.begin(), block[0].bytes.end());
  name = name.c_str();
  if (name.size() > std::size_t(korv::kNameBufferSize - 1)) {
    return;
  }
  const std::uint32_t type = block[1].words[0];
  for (std::size_t i = 0; i < korv::kSettingCount; ++i) {
    const korv::SettingInfo &info = korv::kSettings[i];
    const bool is_double = korv::is_double(info.kind);
    if (name != info.name || type != (is_double ? korv::PDBL : korv::PINT)) {
      continue;
    }
    std::vector<unsigned char> row;
    for (std::size_t k = 2; k <= block.size(); ++k) {
      if (k < block.size() && block[k].kind == StateKind::U1) {
        row.insert(row.end(), block[k].bytes.begin(), block[k].bytes.end());
        continue;
      }
      for (std::size_t at = 0; is_double && at + 8 <= row.size(); ++at) {
        std::uint64_t v = 0;
        for (int b = 0; b < 8; ++b) {
          v = (v << 8) | row[at + b];
        }
        allowed.values[i].insert(v);
      }
      row.clear();
      if (!is_double && k < block.size() && block[k].kind == StateKind::I4) {
        for (std::uint32_t w : block[k].words) {
          allowed.values[i].insert(w);
        }
      }
    }
  }
}

void collect(const StateItems &items, Allowed &allowed) {
  for (const StateItem &item : items) {
    if (item.kind == StateKind::Block) {
      if (item.id == korv::PDPR) {
        collect_block(item.items, allowed);
      }
      collect(item.items, allowed);
    }
  }
}

std::uint64_t field_bits(const EdgeInstance &inst, std::size_t i) {
  const korv::SettingInfo &info = korv::kSettings[i];
  const char *field = reinterpret_cast<const char *>(&inst) + info.offset;
  if (korv::is_double(info.kind)) {
    double v;
    std::memcpy(&v, field, sizeof v);
    return std::bit_cast<std::uint64_t>(v);
  }
  std::uint32_t v;
  std::memcpy(&v, field, sizeof v);
  return v;
}

EdgeInstance defaults() {
  EdgeInstance inst{};
  korv::set_default_settings(inst);
  return inst;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  if (const char *dir = std::getenv("KORV_FUZZ_WRITE_SEEDS")) {
    std::exit(korv::fuzz::write_seeds(dir) ? 0 : 1);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  korv::host::ParseReport report;
  const StateItems state = korv::host::decode_state_binary({data, size}, report);
  const EdgeInstance loaded = load_fresh(state);

  static const EdgeInstance initial = defaults();
  Allowed allowed;
  collect(state, allowed);
  // A scene without the corner-blending block loads it off, not at its
  // default: scenes saved before it existed render as they did.
  for (std::size_t i = 0; i < korv::kSettingCount; ++i) {
    if (std::string_view(korv::kSettings[i].name) == "corner_blend") {
      allowed.values[i].insert(0);
    }
  }
  for (std::size_t i = 0; i < korv::kSettingCount; ++i) {
    const std::uint64_t v = field_bits(loaded, i);
    if (v != field_bits(initial, i) && allowed.values[i].count(v) == 0) {
      fail(std::string(korv::kSettings[i].name) + " holds a value no block gave it");
    }
  }

  korv::host::ParseReport text_report;
  const StateItems through_text =
      korv::host::parse_state_text(korv::host::format_state_text(state), text_report);
  if (!text_report.complete()) {
    fail("the text form could not read back what it wrote: " + text_report.problems.front());
  }
  const EdgeInstance again = load_fresh(through_text);
  for (std::size_t i = 0; i < korv::kSettingCount; ++i) {
    if (field_bits(again, i) != field_bits(loaded, i)) {
      fail(std::string(korv::kSettings[i].name) + " loads differently through the text form");
    }
  }
  return 0;
}
