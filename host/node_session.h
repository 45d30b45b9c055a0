// One edge node instance in the stand-in host: the node module loaded
// through its descriptor, NodeHandler activated (5, else 4), the node's port
// services served and its ports kept, and one instance created on a node of
// the host's own. Samples are shader-style records turned into the node's
// per-sample record; every output is asked through the module's evaluate.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/module_loader.h"
#include "host/xpanel_service.h"
#include "hostapi/lwnodes.h"
#include "hostapi/lwshader.h"

namespace korv::host {

// How the stand-in writes toLocal and toWorld: for row vectors (translation
// in m[3][0..2]) or for column vectors (translation in m[0..2][3]).
enum class MatrixWriting { Rows, Columns };

// One port the module made on a node.
struct NodePort {
  NodeID node;
  ConnectionType type;
  std::string name;
  bool output;
  // An input's connected value (the stand-in connects a constant), if any.
  bool connected = false;
  double value[3] = {0.0, 0.0, 0.0};
};

// What the node's three outputs gave for one sample.
struct NodeOutputs {
  double normal[3];
  double edge;
  double distance;
};

class NodeSession {
 public:
  static std::unique_ptr<NodeSession> open(const std::string &module_path, std::string &error);

  NodeSession(const NodeSession &) = delete;
  NodeSession &operator=(const NodeSession &) = delete;
  ~NodeSession();

  const ModuleFile &module() const { return *module_; }
  const LWNodeHandler &handler() const { return handler_; }
  const Activation &handler_activation() const { return handler_activation_; }
  LWInstance instance() const { return instance_; }

  void init() const { handler_.rend->init(instance_, 0); }
  void cleanup() const { handler_.rend->cleanup(instance_); }

  // The ports the module made on this session's node, in creation order.
  std::vector<const NodePort *> ports() const;
  // Connects a constant vector to the input named name (null disconnects).
  bool connect_input(const std::string &name, const double *value);

  // Activates NodeInterface for the instance (once); the panel, or null.
  RecordedPanel *panel();
  // NAME=VALUE assignments through the panel's set callback.
  std::string apply_settings(const std::vector<std::string> &assignments);

  // The node's per-sample record for a shader-style sample: the object, the
  // polygon, oP = oPos, P = wPos, shading.I = raySource - wPos, Np = wNorm,
  // Ns = wNorm0, toLocal with wXfrm as its linear part and the translation
  // taking wPos to oPos, toWorld its inverse, written as writing says.
  static void make_geometry(const LWShaderAccess &access, MatrixWriting writing,
                            LWShadingGeometry &geometry);

  // Asks each of the three outputs for the sample.
  NodeOutputs evaluate(LWShadingGeometry &geometry) const;
  // The output named name on this session's node, or null.
  const NodePort *output(const std::string &name) const;
  // Asks one output for the sample: its value into value (1 or 3 doubles).
  void ask(LWShadingGeometry &geometry, const NodePort &port, double value[3]) const;

 private:
  NodeSession() = default;

  std::unique_ptr<ModuleFile> module_;
  LWInstanceFuncs inst_funcs_{};
  LWItemFuncs item_funcs_{};
  LWRenderFuncs render_funcs_{};
  LWNodeHandler handler_{};
  LWInstance instance_ = nullptr;
  LWInterface interface_{};
  bool interface_activated_ = false;
  Activation handler_activation_;
  Activation interface_activation_;
  NodeID node_ = nullptr;
};

// Installs the stand-in's node services ("NodeInputFuncs 5", "NodeOutputFuncs
// 4", "LW Object Info 14", "LWXPanel 3") beside the default ones.
void install_node_services();

// Which versions from 1 to 6 a server of the module accepts when activated
// on a scratch record of its class, one version at a time.
std::vector<int> accepted_versions(const ModuleFile &module, const std::string &class_name);

}  // namespace korv::host
