// korv-host info [MODULE]: the version of korv-host, the module's descriptor
// and server list, the LightWave releases it is made for, and how both servers
// activate.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>

#include "host/module_loader.h"
#include "host/node_session.h"
#include "host/shader_session.h"
#include "tools/command.h"
#include "tools/version.h"

namespace korv::tools {

namespace {

// The LightWave releases of the release package, each with the file it
// takes: the rows of the table under "Installing" in docs/manual.md, word for
// word (tests/check_info.sh compares them).
struct Release {
  const char *lightwave;
  const char *file;
};
constexpr Release kReleases[] = {
    {"32-bit LightWave 6.5 up to 2015", "x86/Korv_Edge.p"},
    {"64-bit LightWave 9.x up to 2015", "x64/Korv_Edge.p"},
    {"64-bit LightWave 2018 to 2025", "x64/Korv_EdgeNode.p"},
};

// The releases a module file is made for, "RELEASE (FILE), ...": the rows
// whose file in the package is named `name`. The caller names the file by
// the servers the module offers, not by the path it was loaded from.
std::string releases_of(const std::string &name) {
  std::string text;
  for (const Release &r : kReleases) {
    const std::string file = r.file;
    if (file.substr(file.find('/') + 1) == name) {
      text += (text.empty() ? "" : ", ") + std::string(r.lightwave) + " (" + file + ")";
    }
  }
  return text;
}

// A server's tags as a host lists them: 'user name "Korv_Edge", node group
// "Shaders"'. The list ends at a null text; the bound keeps a list that lacks
// its end from running on through the module's memory.
std::string tags_text(const ServerTagInfo *tags) {
  constexpr int kMaxTags = 64;
  std::string text;
  for (int i = 0; i < kMaxTags && tags[i].string != nullptr; ++i) {
    // The high bits name the tag; the low 16 hold the language.
    const unsigned int kind = tags[i].tag & 0xFFFF0000u;
    char other[32];
    std::snprintf(other, sizeof other, "tag 0x%X", tags[i].tag);
    const char *name = kind == SRVTAG_USERNAME      ? "user name"
                       : kind == SRVTAG_DESCRIPTION ? "description"
                       : kind == SRVTAG_NODEGROUP   ? "node group"
                                                    : other;
    text += (text.empty() ? "" : ", ") + std::string(name) + " \"" + tags[i].string + "\"";
  }
  return text.empty() ? "none" : text;
}

// "version 4 accepted (6, 5 refused)", or why none was.
std::string activation_text(const host::Activation &a) {
  std::string refused;
  for (int v : a.refused) {
    refused += (refused.empty() ? "" : ", ") + std::to_string(v);
  }
  std::string text = a.accepted() ? "version " + std::to_string(a.version) + " accepted"
                                  : "not activated (result " + std::to_string(a.result) +
                                        " at version " + std::to_string(a.version) + ")";
  return refused.empty() ? text : text + " (" + refused + " refused)";
}

class InfoCommand : public Command {
 public:
  CLI::App *add_to(CLI::App &app) override {
    CLI::App *sub = app.add_subcommand("info", "print a module's descriptor and server list");
    sub->add_option("module", path_, "the module file (default: the one korv-host loads)");
    return sub;
  }

  int run() override {
    if (path_.empty()) {
      path_ = host::default_module_path();
    }
    std::printf("korv-host version: %s\n", KORV_EDGE_VERSION);
    std::fflush(stdout);
    std::string error;
    auto module = host::ModuleFile::open(path_, error);
    if (!module) {
      std::cerr << "korv-host: " << error << "\n";
      return kUsageError;
    }
    const ModuleDescriptor &d = module->descriptor();
    std::printf("module: %s\n", path_.c_str());
    std::printf("synchronisation word: 0x%08X\n", d.sysSync);
    std::printf("system version: %d\n", d.sysVersion);
    std::printf("machine: 0x%X\n", d.sysMachine);
    std::printf(
        "start-up result: %ju\n",
        static_cast<std::uintmax_t>(reinterpret_cast<std::uintptr_t>(module->startup_result())));
    std::printf("servers:\n");
    int index = 0;
    for (const ServerRecord *s = d.serverDefs; s != nullptr && s->className != nullptr; ++s) {
      std::printf("  %d. class \"%s\", name \"%s\"%s\n", ++index, s->className,
                  s->name != nullptr ? s->name : "(null)",
                  s->tagInfo ? ", with tag information" : "");
      if (s->tagInfo != nullptr) {
        std::printf("     tags: %s\n", tags_text(s->tagInfo).c_str());
      }
    }
    if (module->find_server(LWNODE_HCLASS) != nullptr) {
      return node_activations(*module);
    }
    std::printf("LightWave releases: %s\n", releases_of("Korv_Edge.p").c_str());
    // Both servers activated as a host does: the handler from the highest
    // version down, the interface from 1 up, with a shader instance for its
    // panel.
    auto session = host::ShaderSession::open(path_, error);
    if (!session) {
      std::printf("activation: %s\n", error.c_str());
      return 0;
    }
    session->panel();
    std::printf("activation (a host offering versions 1 to %d):\n", host::kHostClassVersion);
    std::printf("  ShaderHandler: %s\n", activation_text(session->handler_activation()).c_str());
    std::printf("  ShaderInterface: %s\n",
                activation_text(session->interface_activation()).c_str());
    return 0;
  }

 private:
  // The edge node's servers, each activated at every version from 1 to the
  // highest this host offers, one at a time: "accepts 4, 5; refuses 1, 2, 3, 6".
  static int node_activations(const host::ModuleFile &module) {
    std::printf("LightWave releases: %s\n", releases_of("Korv_EdgeNode.p").c_str());
    std::printf("activation (each version from 1 to %d on its own):\n", host::kHostClassVersion);
    for (const char *cls : {LWNODE_HCLASS, LWNODE_ICLASS}) {
      const std::vector<int> accepted = host::accepted_versions(module, cls);
      std::string yes;
      std::string no;
      for (int v = 1; v <= host::kHostClassVersion; ++v) {
        const bool ok = std::find(accepted.begin(), accepted.end(), v) != accepted.end();
        std::string &list = ok ? yes : no;
        list += (list.empty() ? "" : ", ") + std::to_string(v);
      }
      std::printf("  %s: accepts %s; refuses %s\n", cls, yes.empty() ? "none" : yes.c_str(),
                  no.empty() ? "none" : no.c_str());
    }
    return 0;
  }

  std::string path_;
};

Register<InfoCommand> info_command;

}  // namespace

}  // namespace korv::tools
