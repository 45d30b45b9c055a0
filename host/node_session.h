// One edge node instance in the stand-in host: the node module loaded
// through its descriptor, NodeHandler activated (5, else 4), the node's port
// services served and its ports kept, and one instance created on a node of
// the host's own. Samples are shader-style records turned into the node's
// per-sample record; every output is asked through the module's evaluate.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/module_session.h"
#include "hostapi/lwnodes.h"
#include "hostapi/lwshader.h"

namespace korv::host {

// How the stand-in writes toLocal and toWorld: for row vectors (translation
// in m[3][0..2]) or for column vectors (translation in m[0..2][3]).
enum class MatrixWriting { Rows, Columns };

// Where the record's matrices and oP come from. Fitted: toLocal made for
// each sample, its translation taking wPos exactly to oPos (kinder than a
// host can be). The others as a host has it: one toLocal per object (the
// object's turn and its move in the world), P = wPos, and oP
//   Exact       the object position oPos itself (toLocal·P is off by rounding);
//   Float       oPos rounded to single precision;
//   Offset      oPos shifted by a constant 5 cm (a pivot the matrix leaves out);
//   Undeformed  oPos while P is the world position of the point deformed by
//               up to 1 mm per axis (an oP taken before deformation).
enum class PositionMode { Fitted, Exact, Float, Offset, Undeformed };

struct NodeHostMode {
  MatrixWriting writing = MatrixWriting::Rows;
  PositionMode op = PositionMode::Fitted;
  double move[3] = {0.0, 0.0, 0.0};  // where the object's origin is in the world
};

// The pivot shift of PositionMode::Offset.
inline constexpr double kPivotShift[3] = {0.03, 0.04, 0.0};

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

class NodeSession : public ModuleSession {
 public:
  static std::unique_ptr<NodeSession> open(const std::string &module_path, std::string &error);

  ~NodeSession() override;

  const LWNodeHandler &handler() const { return handler_; }

  // The ports the module made on this session's node, in creation order.
  std::vector<const NodePort *> ports() const;
  // Connects a constant vector to the input named name (null disconnects).
  bool connect_input(const std::string &name, const double *value);

  // The node's per-sample record for a shader-style sample: the object, the
  // polygon, oP = oPos, P = wPos, shading.I = raySource - wPos, Np = wNorm,
  // Ns = wNorm0, toLocal with wXfrm as its linear part and the translation
  // taking wPos to oPos, toWorld its inverse, written as writing says.
  static void make_geometry(const LWShaderAccess &access, MatrixWriting writing,
                            LWShadingGeometry &geometry);
  // The same as a host in the given mode makes it; the shader sees the
  // sample as the node does when its oPos is set to the record's oP.
  static void make_geometry(const LWShaderAccess &access, const NodeHostMode &mode,
                            LWShadingGeometry &geometry);

  // Asks each of the three outputs for the sample.
  NodeOutputs evaluate(LWShadingGeometry &geometry) const;
  // The output named name on this session's node, or null.
  const NodePort *output(const std::string &name) const;
  // Asks one output for the sample: its value into value (1 or 3 doubles).
  void ask(LWShadingGeometry &geometry, const NodePort &port, double value[3]) const;

  // The node in a surface's graph, as shade() serves it: the record's
  // matrices written as writing says; the Normal output connected to the
  // surface's normal; the Edge output to the channel an out_channel value
  // (1 luminous ... 7 bumpHeight) names, or to none (0).
  void set_matrix_writing(MatrixWriting writing) { mode_.writing = writing; }
  void set_host_mode(const NodeHostMode &mode) { mode_ = mode; }

  // What the module decided of the matrix writing (0 nothing yet, 1 rows,
  // 2 columns) and how many samples since told the other, read from the
  // instance as only a stand-in can.
  int matrix_decision() const;
  std::uint64_t contradicting_samples() const;
  void connect_edge(int channel) { edge_channel_ = channel; }

  // The three outputs for a shader-style sample, its record made as shade()
  // makes it.
  NodeOutputs outputs(const LWShaderAccess &access) const;

  const char *front() const override { return "node"; }
  // The sample's record made into the node's, and the connected outputs
  // asked: wNorm becomes the Normal output, the connected channel the Edge
  // output. Nothing else of the record changes.
  void shade(LWShaderAccess &access) const override;

 private:
  NodeSession() : ModuleSession(LWNODE_ICLASS) {}

  LWNodeHandler handler_{&inst_funcs_, &item_funcs_, &render_funcs_, nullptr,
                         nullptr,      nullptr,      nullptr};
  NodeID node_ = nullptr;
  // The outputs by name, found once the instance made them.
  const NodePort *normal_out_ = nullptr;
  const NodePort *edge_out_ = nullptr;
  const NodePort *distance_out_ = nullptr;
  NodeHostMode mode_;
  int edge_channel_ = 0;
};

// Makes the stand-in refuse to make every port named name, input or
// output, as a host out of memory would (empty: refuse none).
void refuse_node_port(const std::string &name);
// The ports made and not yet destroyed, of every node.
std::size_t live_node_ports();

// Installs the stand-in's node services ("NodeInputFuncs 5", "NodeOutputFuncs
// 4", "LW Object Info 14", "LWXPanel 3") beside the default ones.
void install_node_services();

// Which versions from 1 to 6 a server of the module accepts when activated
// on a scratch record of its class, one version at a time.
std::vector<int> accepted_versions(const ModuleFile &module, const std::string &class_name);

}  // namespace korv::host
