#include "host/node_session.h"

#include <cmath>
#include <cstring>
#include <deque>
#include <utility>

#include "host/host_globals.h"
#include "host/mesh_service.h"
#include "hostapi/lwmeshes.h"
#include "node/node_instance.h"

namespace korv::host {

namespace {

// Every port any module made, kept for the process as a host keeps its
// nodes' ports; a port's address is its id.
std::deque<NodePort> &port_store() {
  static std::deque<NodePort> ports;
  return ports;
}

// What an output writes into: the stand-in knows the type of the output it
// asks, as a host does.
struct StandInValue {
  ConnectionType type;
  double v[3];
};

int width_of(ConnectionType type) {
  return type == NOT_SCALAR ? 1 : 3;
}

// The port the stand-in refuses to make, by name; empty for none.
std::string &refused_port() {
  static std::string name;
  return name;
}

bool is_refused(const char *name) {
  return name != nullptr && !refused_port().empty() && refused_port() == name;
}

NodeInputID input_create(NodeID node, ConnectionType type, const char *name,
                         NodeInputEvent * /*event*/) {
  if (is_refused(name)) {
    return nullptr;
  }
  port_store().push_back({node, type, name != nullptr ? name : "", false});
  return reinterpret_cast<NodeInputID>(&port_store().back());
}

NodeOutputID output_create(NodeID node, ConnectionType type, const char *name) {
  if (is_refused(name)) {
    return nullptr;
  }
  port_store().push_back({node, type, name != nullptr ? name : "", true});
  return reinterpret_cast<NodeOutputID>(&port_store().back());
}

// Ports are kept for the process; a destroyed one is only cut loose.
void input_destroy(NodeInputID id) {
  reinterpret_cast<NodePort *>(id)->node = nullptr;
}

void output_destroy(NodeOutputID id) {
  reinterpret_cast<NodePort *>(id)->node = nullptr;
}

int input_evaluate(NodeInputID id, LWShadingGeometry * /*sample*/, void *value) {
  const NodePort *port = reinterpret_cast<NodePort *>(id);
  if (!port->connected) {
    return 0;
  }
  std::memcpy(value, port->value, sizeof(double) * width_of(port->type));
  return 1;
}

int input_check(NodeInputID id) {
  return reinterpret_cast<NodePort *>(id)->connected ? 1 : 0;
}

void output_set_value(NodeValue value, const void *data) {
  auto *v = reinterpret_cast<StandInValue *>(value);
  std::memcpy(v->v, data, sizeof(double) * width_of(v->type));
}

void *output_get_value(NodeValue value) {
  return reinterpret_cast<StandInValue *>(value)->v;
}

LWNodeInputFuncs input_funcs = [] {
  LWNodeInputFuncs f{};
  f.create = input_create;
  f.destroy = input_destroy;
  f.evaluate = input_evaluate;
  f.check = input_check;
  return f;
}();

LWNodeOutputFuncs output_funcs = [] {
  LWNodeOutputFuncs f{};
  f.create = output_create;
  f.destroy = output_destroy;
  f.setValue = output_set_value;
  f.getValue = output_get_value;
  return f;
}();

// m[i][j] for column vectors; rows transposes it.
void write_matrix(LWDMatrix4 &m, const double linear[9], const double translation[3],
                  MatrixWriting writing) {
  std::memset(m, 0, sizeof m);
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      (writing == MatrixWriting::Rows ? m[j][i] : m[i][j]) = linear[3 * i + j];
    }
    (writing == MatrixWriting::Rows ? m[3][i] : m[i][3]) = translation[i];
  }
  m[3][3] = 1.0;
}

// The inverse of a 3x3 matrix in row order by its cofactors; a singular one
// gives zeros.
void invert3(const double a[9], double out[9]) {
  const double c00 = a[4] * a[8] - a[5] * a[7];
  const double c01 = a[5] * a[6] - a[3] * a[8];
  const double c02 = a[3] * a[7] - a[4] * a[6];
  const double det = a[0] * c00 + a[1] * c01 + a[2] * c02;
  if (det == 0.0) {
    std::memset(out, 0, sizeof(double) * 9);
    return;
  }
  const double adj[9] = {c00, a[2] * a[7] - a[1] * a[8], a[1] * a[5] - a[2] * a[4],
                         c01, a[0] * a[8] - a[2] * a[6], a[2] * a[3] - a[0] * a[5],
                         c02, a[1] * a[6] - a[0] * a[7], a[0] * a[4] - a[1] * a[3]};
  for (int i = 0; i < 9; ++i) {
    out[i] = adj[i] / det;
  }
}

// t - m·p for a 3x3 matrix in row order: the translation that takes p to t.
void translation_to(const double m[9], const double p[3], const double t[3], double out[3]) {
  for (int i = 0; i < 3; ++i) {
    out[i] = t[i] - (m[3 * i] * p[0] + m[3 * i + 1] * p[1] + m[3 * i + 2] * p[2]);
  }
}

// Any address will do for the ray: the node only asks whether there is one.
const char ray_stand_in = 0;

}  // namespace

void refuse_node_port(const std::string &name) {
  refused_port() = name;
}

std::size_t live_node_ports() {
  std::size_t live = 0;
  for (const NodePort &port : port_store()) {
    live += port.node != nullptr;
  }
  return live;
}

void install_node_services() {
  install_default_services();
  set_global_service(LWNODEINPUTFUNCS_GLOBAL, &input_funcs);
  set_global_service(LWNODEOUTPUTFUNCS_GLOBAL, &output_funcs);
  set_global_service(LWOBJECTINFO_GLOBAL_2020, object_info_service());
  set_global_service(LWXPANELFUNCS_GLOBAL_2020, xpanel_service());
}

std::vector<int> accepted_versions(const ModuleFile &module, const std::string &class_name) {
  install_node_services();
  std::vector<int> accepted;
  for (int version = 1; version <= kHostClassVersion; ++version) {
    LWInstanceFuncs inst{};
    LWItemFuncs item{};
    LWRenderFuncs rend{};
    LWNodeHandler handler{&inst, &item, &rend, nullptr, nullptr, nullptr, nullptr};
    LWInterface ui{};
    const bool is_handler = class_name == LWNODE_HCLASS;
    // The interface has no instance here: a known version is answered with
    // anything but a refused version.
    const int result =
        module.activate(class_name, version, is_handler ? static_cast<void *>(&handler) : &ui);
    if (is_handler ? result == AFUNC_OK : result != AFUNC_BADVERSION) {
      accepted.push_back(version);
    }
  }
  return accepted;
}

std::unique_ptr<NodeSession> NodeSession::open(const std::string &module_path, std::string &error) {
  install_node_services();
  std::unique_ptr<NodeSession> session(new NodeSession());
  // The host's node: any distinct address. The version of 2020 to 2025,
  // else 2018's.
  session->node_ = reinterpret_cast<NodeID>(session.get());
  if (!session->open_module(module_path, LWNODE_HCLASS, &session->handler_, LWNODE_VERSION,
                            session->node_, error)) {
    return nullptr;
  }
  session->normal_out_ = session->output("Normal");
  session->edge_out_ = session->output("Edge");
  session->distance_out_ = session->output("Distance");
  return session;
}

NodeSession::~NodeSession() {
  // The host destroys a node's ports with it. They are cut loose here, before
  // the base destroys the instance, whose destroy does not touch them. A
  // node whose create failed was never made: ports the module left on it
  // stay alive, counted, on no session's node.
  static const char orphaned = 0;
  for (NodePort &port : port_store()) {
    if (port.node == node_) {
      port.node =
          instance() != nullptr ? nullptr : reinterpret_cast<NodeID>(const_cast<char *>(&orphaned));
    }
  }
}

std::vector<const NodePort *> NodeSession::ports() const {
  std::vector<const NodePort *> mine;
  for (const NodePort &port : port_store()) {
    if (port.node == node_) {
      mine.push_back(&port);
    }
  }
  return mine;
}

bool NodeSession::connect_input(const std::string &name, const double *value) {
  for (NodePort &port : port_store()) {
    if (port.node == node_ && !port.output && port.name == name) {
      port.connected = value != nullptr;
      if (value != nullptr) {
        std::memcpy(port.value, value, sizeof(double) * width_of(port.type));
      }
      return true;
    }
  }
  return false;
}

void NodeSession::make_geometry(const LWShaderAccess &a, MatrixWriting writing,
                                LWShadingGeometry &g) {
  NodeHostMode mode;
  mode.writing = writing;
  make_geometry(a, mode, g);
}

void NodeSession::make_geometry(const LWShaderAccess &a, const NodeHostMode &mode,
                                LWShadingGeometry &g) {
  std::memset(&g, 0, sizeof g);
  g.ray = reinterpret_cast<const LWRay *>(&ray_stand_in);
  g.itemID = a.objID;
  g.polygon = a.polygon;
  double to_local_t[3];
  double to_world[9];
  double to_world_t[3];
  invert3(a.wXfrm, to_world);
  if (mode.op == PositionMode::Fitted) {
    // Translations: toLocal takes wPos to oPos, toWorld oPos to wPos.
    translation_to(a.wXfrm, a.wPos, a.oPos, to_local_t);
    translation_to(to_world, a.oPos, a.wPos, to_world_t);
  } else {
    // The object's own: toWorld takes its origin to move.
    const double origin[3] = {0.0, 0.0, 0.0};
    translation_to(a.wXfrm, mode.move, origin, to_local_t);
    std::memcpy(to_world_t, mode.move, sizeof to_world_t);
  }
  write_matrix(g.toLocal, a.wXfrm, to_local_t, mode.writing);
  write_matrix(g.toWorld, to_world, to_world_t, mode.writing);
  // A deformation of up to 1 mm per axis, smooth over the object.
  const double deformed[3] = {1e-3 * std::sin(3.0 * a.oPos[1]), 1e-3 * std::cos(2.0 * a.oPos[2]),
                              1e-3 * std::sin(5.0 * a.oPos[0])};
  for (int i = 0; i < 3; ++i) {
    g.shading.I[i] = a.raySource[i] - a.wPos[i];
    g.P[i] = a.wPos[i];
    g.oP[i] = a.oPos[i];
    g.Np[i] = a.wNorm[i];
    g.Ns[i] = a.wNorm0[i];
    g.Ng[i] = a.gNorm[i];
    switch (mode.op) {
      case PositionMode::Float:
        g.oP[i] = double(float(a.oPos[i]));
        break;
      case PositionMode::Offset:
        g.oP[i] += kPivotShift[i];
        break;
      case PositionMode::Undeformed:
        for (int j = 0; j < 3; ++j) {
          g.P[i] += to_world[3 * i + j] * deformed[j];
        }
        break;
      default:
        break;
    }
  }
}

int NodeSession::matrix_decision() const {
  const auto *node = static_cast<const EdgeNodeInstance *>(instance());
  return node != nullptr ? node->readings.decided.load() : 0;
}

std::uint64_t NodeSession::contradicting_samples() const {
  const auto *node = static_cast<const EdgeNodeInstance *>(instance());
  return node != nullptr ? node->readings.contradicting.load() : 0;
}

NodeOutputs NodeSession::evaluate(LWShadingGeometry &geometry) const {
  NodeOutputs out{};
  double edge[3] = {0.0, 0.0, 0.0};
  double distance[3] = {0.0, 0.0, 0.0};
  for (auto [port, value] : {std::pair{normal_out_, out.normal}, std::pair{edge_out_, edge},
                             std::pair{distance_out_, distance}}) {
    if (port != nullptr) {
      ask(geometry, *port, value);
    }
  }
  out.edge = edge[0];
  out.distance = distance[0];
  return out;
}

NodeOutputs NodeSession::outputs(const LWShaderAccess &access) const {
  LWShadingGeometry geometry;
  make_geometry(access, mode_, geometry);
  return evaluate(geometry);
}

void NodeSession::shade(LWShaderAccess &access) const {
  LWShadingGeometry geometry;
  make_geometry(access, mode_, geometry);
  if (normal_out_ != nullptr) {
    ask(geometry, *normal_out_, access.wNorm);
  }
  double *channel = channel_field(access, edge_channel_);
  if (channel != nullptr && edge_out_ != nullptr) {
    double edge[3] = {0.0, 0.0, 0.0};
    ask(geometry, *edge_out_, edge);
    *channel = edge[0];
  }
}

const NodePort *NodeSession::output(const std::string &name) const {
  for (const NodePort *port : ports()) {
    if (port->output && port->name == name) {
      return port;
    }
  }
  return nullptr;
}

void NodeSession::ask(LWShadingGeometry &geometry, const NodePort &port, double value[3]) const {
  StandInValue asked{port.type, {0.0, 0.0, 0.0}};
  handler_.evaluate(instance(), &geometry,
                    reinterpret_cast<NodeOutputID>(const_cast<NodePort *>(&port)),
                    reinterpret_cast<NodeValue>(&asked));
  std::memcpy(value, asked.v, sizeof(double) * std::size_t(width_of(port.type)));
}

}  // namespace korv::host
