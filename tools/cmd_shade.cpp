// korv-host shade [MESH] --samples FILE [--deformed MESH2] [--module M]
// [--set NAME=VALUE]... [--node [--matrix rows|columns] [--op MODE]]: evaluates shading samples
// read from FILE,
// one JSON object per line, through one instance of the module on one thread, and prints one JSON
// line per sample with the normals and channels after it. With --node, the same samples go through
// the edge node (Korv_EdgeNode.p beside korv-host) as the node's per-sample records, its matrices
// written as --matrix and --op say, and each line gives its three outputs; --scene and
// --save-scene then read and write the node's block.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "host/mesh_io.h"
#include "host/mesh_service.h"
#include "host/node_session.h"
#include "tools/command.h"
#include "tools/session_options.h"

namespace korv::tools {

namespace {

using nlohmann::json;

constexpr const char *kChannels[] = {"luminous",     "diffuse",      "specular",  "mirror",
                                     "transparency", "translucency", "bumpHeight"};

// The field of the i-th channel of kChannels.
double *channel(LWShaderAccess &a, int i) {
  return host::channel_field(a, i + 1);
}

// A number, or null for NaN (the form NaN takes in the output, so that
// output lines read back as input).
bool read_number(const json &value, double &out) {
  if (value.is_null()) {
    out = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  if (!value.is_number()) {
    return false;
  }
  out = value.get<double>();
  return true;
}

bool read_array(const json &sample, const char *key, double *out, std::size_t count,
                std::string &error) {
  const auto it = sample.find(key);
  if (it == sample.end()) {
    error = std::string("\"") + key + "\" is missing";
    return false;
  }
  if (!it->is_array() || it->size() != count) {
    error =
        std::string("\"") + key + "\" must be an array of " + std::to_string(count) + " numbers";
    return false;
  }
  for (std::size_t i = 0; i < count; ++i) {
    if (!read_number((*it)[i], out[i])) {
      error =
          std::string("\"") + key + "\" must be an array of " + std::to_string(count) + " numbers";
      return false;
    }
  }
  return true;
}

// Fills the record from one input line; false with the reason.
bool read_sample(const std::string &line, const host::SceneObject &object, LWShaderAccess &a,
                 std::string &error) {
  json sample;
  try {
    sample = json::parse(line);
  } catch (const json::parse_error &e) {
    error = "not JSON (the error is at character " + std::to_string(e.byte) + ")";
    return false;
  }
  if (!sample.is_object()) {
    error = "a sample must be a JSON object";
    return false;
  }
  static const char *known[] = {"polygon", "oPos",         "wPos",         "raySource", "wNorm",
                                "wNorm0",  "wXfrm",        "luminous",     "diffuse",   "specular",
                                "mirror",  "transparency", "translucency", "bumpHeight"};
  for (const auto &item : sample.items()) {
    if (std::find(std::begin(known), std::end(known), item.key()) == std::end(known)) {
      error = "unknown field \"" + item.key() + "\"";
      return false;
    }
  }
  a = LWShaderAccess{};
  a.objID = object.id();
  const auto polygon = sample.find("polygon");
  if (polygon == sample.end()) {
    error = "\"polygon\" is missing (a polygon index, or null)";
    return false;
  }
  if (!polygon->is_null()) {
    const std::size_t count = object.mesh().polygon_count();
    if (!polygon->is_number_unsigned() || polygon->get<std::uint64_t>() >= count) {
      error = count == 0 ? "\"polygon\" must be null: the mesh has no polygons"
                         : "\"polygon\" must be null or a polygon index from 0 to " +
                               std::to_string(count - 1);
      return false;
    }
    a.polygon = host::polygon_id(polygon->get<std::size_t>());
  }
  if (!read_array(sample, "oPos", a.oPos, 3, error) ||
      !read_array(sample, "wPos", a.wPos, 3, error) ||
      !read_array(sample, "raySource", a.raySource, 3, error) ||
      !read_array(sample, "wNorm", a.wNorm, 3, error) ||
      !read_array(sample, "wNorm0", a.wNorm0, 3, error) ||
      !read_array(sample, "wXfrm", a.wXfrm, 9, error)) {
    return false;
  }
  for (int i = 0; i < 7; ++i) {
    const auto it = sample.find(kChannels[i]);
    if (it != sample.end() && !read_number(*it, *channel(a, i))) {
      error = std::string("\"") + kChannels[i] + "\" must be a number";
      return false;
    }
  }
  return true;
}

std::string write_result(LWShaderAccess &a) {
  // Fields in the order of the input record, so lines read side by side.
  nlohmann::ordered_json out = nlohmann::ordered_json::object();
  out["wNorm"] = {a.wNorm[0], a.wNorm[1], a.wNorm[2]};
  out["wNorm0"] = {a.wNorm0[0], a.wNorm0[1], a.wNorm0[2]};
  for (int i = 0; i < 7; ++i) {
    out[kChannels[i]] = *channel(a, i);
  }
  return out.dump();
}

// The node's three outputs for the sample: {"normal": [3], "edge": v,
// "distance": v}.
std::string write_outputs(const host::NodeOutputs &out) {
  nlohmann::ordered_json line = nlohmann::ordered_json::object();
  line["normal"] = {out.normal[0], out.normal[1], out.normal[2]};
  line["edge"] = out.edge;
  line["distance"] = out.distance;
  return line.dump();
}

// init on construction, cleanup on every way out.
struct RenderScope {
  const host::ModuleSession &session;
  explicit RenderScope(const host::ModuleSession &s) : session(s) { session.init(); }
  ~RenderScope() { session.cleanup(); }
};

class ShadeCommand : public Command {
 public:
  CLI::App *add_to(CLI::App &app) override {
    CLI::App *sub =
        app.add_subcommand("shade", "evaluate shading samples from a file through the module");
    sub->add_option("mesh", mesh_, "a mesh file (.obj or .json) or builtin:NAME");
    sub->add_option("--samples", samples_, "one JSON sample per line")->required();
    sub->add_option("--deformed", deformed_, "a mesh of the same topology: the deformed positions");
    session_.add_to(sub, true);
    return sub;
  }

  int run() override {
    int status = 0;
    std::string object;
    auto session = session_.open_session(mesh_, object, status);
    if (!session) {
      return status;
    }
    host::Mesh mesh;
    if (!load_command_mesh("shade", object, deformed_, mesh)) {
      return kUsageError;
    }
    std::ifstream in(samples_);
    if (!in) {
      return fail(samples_ + ": cannot be read");
    }
    host::SceneObject scene_object(std::move(mesh), object);
    const auto *node = dynamic_cast<const host::NodeSession *>(session.get());
    RenderScope scope(*session);
    std::string line;
    std::string error;
    for (long number = 1; std::getline(in, line); ++number) {
      if (line.find_first_not_of(" \t\r") == std::string::npos) {
        continue;
      }
      LWShaderAccess access{};
      if (!read_sample(line, scene_object, access, error)) {
        std::cout.flush();
        return fail(samples_ + ":" + std::to_string(number) + ": " + error);
      }
      if (node != nullptr) {
        std::cout << write_outputs(node->outputs(access)) << '\n';
      } else {
        session->shade(access);
        std::cout << write_result(access) << '\n';
      }
    }
    if (in.bad()) {
      return fail(samples_ + ": reading failed");
    }
    return 0;
  }

 private:
  static int fail(const std::string &message) {
    std::cerr << "korv-host: " << message << "\n";
    return kUsageError;
  }

  std::string mesh_;
  std::string samples_;
  std::string deformed_;
  SessionOptions session_;
};

Register<ShadeCommand> shade_command;

}  // namespace

}  // namespace korv::tools
