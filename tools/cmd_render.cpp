// korv-host render [MESH] [-o FILE.png] [--size WxH] [--threads N]
// [--set NAME=VALUE]... [--compare | --mask] [--checker N]
// [--node [--matrix rows|columns] [--op fitted|exact|float|offset|undeformed]]:
// renders the object through the loaded module with the Embree renderer and
// writes a PNG. With --node the edge node shades instead of the shader: its
// Normal output is the shading normal, and the mask views show its Edge
// output.
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "host/mesh_io.h"
#include "host/mesh_service.h"
#include "host/render/renderer.h"
#include "tools/command.h"
#include "tools/option_checks.h"
#include "tools/output_file.h"
#include "tools/session_options.h"

namespace korv::tools {

namespace {

using host::render::Pass;

constexpr double kPi = 3.14159265358979323846;
constexpr long kMaxThreads = 1024;

// Whether some polygon of three or more corners encloses an area: a mesh
// without one draws nothing, whatever the module does.
bool has_surface(const host::Mesh &mesh) {
  for (std::size_t p = 0; p < mesh.polygon_count(); ++p) {
    const auto corners = mesh.polygon(p);
    double n[3] = {0.0, 0.0, 0.0};  // Newell's normal, twice the area vector
    for (std::size_t c = 0; c < corners.size() && corners.size() >= 3; ++c) {
      const host::FloatPoint &a = mesh.points[corners[c]];
      const host::FloatPoint &b = mesh.points[corners[(c + 1) % corners.size()]];
      n[0] += (double(a[1]) - double(b[1])) * (double(a[2]) + double(b[2]));
      n[1] += (double(a[2]) - double(b[2])) * (double(a[0]) + double(b[0]));
      n[2] += (double(a[0]) - double(b[0])) * (double(a[1]) + double(b[1]));
    }
    if (n[0] != 0.0 || n[1] != 0.0 || n[2] != 0.0) {
      return true;
    }
  }
  return false;
}

// A progress bar on stderr, drawn only when stderr is a terminal.
class ProgressBar {
 public:
  explicit ProgressBar(std::string label) : label_(std::move(label)), shown_(isatty(2) != 0) {}
  ~ProgressBar() {
    if (shown_ && drawn_) {
      std::fputs("\r\033[K", stderr);
    }
  }
  void operator()(double fraction) {
    if (!shown_) {
      return;
    }
    constexpr int kWidth = 40;
    const int filled = int(fraction * kWidth);
    std::string bar(std::size_t(filled), '#');
    bar.append(std::size_t(kWidth - filled), '.');
    std::fprintf(stderr, "\r%-16s [%s] %3d%%", label_.c_str(), bar.c_str(), int(fraction * 100));
    std::fflush(stderr);
    drawn_ = true;
  }

 private:
  std::string label_;
  bool shown_;
  bool drawn_ = false;
};

// Reads an integer setting through the panel's get callback; the host knows
// no field of the instance.
bool read_int_setting(host::ModuleSession &session, const std::string &name, std::int32_t &out) {
  host::RecordedPanel *panel = session.panel();
  const LWXPanelDataDesc *row = panel == nullptr ? nullptr : panel->find_data(name);
  if (row == nullptr || panel->get == nullptr) {
    return false;
  }
  const void *value = panel->get(panel->view_instance, row->vid);
  if (value == nullptr) {
    return false;
  }
  out = *static_cast<const std::int32_t *>(value);
  return true;
}

class RenderCommand : public Command {
 public:
  CLI::App *add_to(CLI::App &app) override {
    CLI::App *sub = app.add_subcommand("render", "render an object through the module to a PNG");
    sub->add_option("mesh", mesh_, "a mesh file (.obj or .json) or builtin:NAME");
    sub->add_option("-o,--output", output_, "the picture to write")->capture_default_str();
    sub->add_option("--size", size_, "WxH, of one panel")->capture_default_str();
    sub->add_option("--threads", threads_, "render threads (0: one per core)")
        ->capture_default_str()
        ->check(whole_between(0, kMaxThreads, "0: one per core"));
    sub->add_option("--subsamples", subsamples_, "rays per pixel and axis")
        ->capture_default_str()
        ->check(whole_between(1, 16));
    sub->add_option("--turn", turn_, "turns the object about the vertical axis, in degrees")
        ->capture_default_str()
        ->check(finite_between(-kMaxTurn, kMaxTurn));
    sub->add_option("--zoom", zoom_,
                    "narrows the view this many times, for a close-up (with --aim: of that point)")
        ->capture_default_str()
        ->check(finite_between(1.0, 1000.0));
    sub->add_option("--aim", aim_,
                    "X,Y,Z: the point of the placed object the camera looks at, from where it "
                    "stands")
        ->delimiter(',')
        ->expected(3)
        ->check(finite_between(-1e6, 1e6));
    sub->add_option("--smoothing", smoothing_,
                    "the surface's smoothing angle in degrees (0: flat polygons)")
        ->capture_default_str()
        ->check(finite_between(0.0, 180.0));
    CLI::Option *compare =
        sub->add_flag("--compare", compare_,
                      "three panels: without the shader, with it (or the node), and the edge mask");
    sub->add_flag("--mask", mask_,
                  "the edge mask alone, as grey: the chosen output channel, or luminosity when "
                  "none is chosen (with --node: its Edge output)")
        ->excludes(compare);
    sub->add_option("--checker", checker_,
                    "a checker texture in the channel of this out_channel value (1 to 7), put "
                    "there before the shader runs; 0: none")
        ->capture_default_str()
        ->check(whole_between(0, 7));
    session_.add_to(sub, true);
    return sub;
  }

  int run() override {
    try {
      return render_picture();
    } catch (const std::exception &e) {
      std::cerr << "korv-host: " << e.what() << "\n";
      return 1;
    }
  }

 private:
  int render_picture() {
    int width = 0;
    int height = 0;
    if (!parse_size(width, height)) {
      std::cerr << "korv-host: --size expects WxH with both from 1 to 8192, not '" << size_
                << "'\n";
      return kUsageError;
    }
    int status = 0;
    std::string object;
    auto session = session_.open_session(mesh_, object, status);
    if (!session) {
      return status;
    }
    host::Mesh mesh;
    if (!load_command_mesh("render", object, "", mesh)) {
      return kUsageError;
    }
    if (!has_surface(mesh)) {
      std::cerr << "korv-host: render: " << object
                << ": nothing to render: no polygon of three or more corners with an area ("
                << mesh.polygon_count() << " polygons, " << mesh.point_count() << " points)\n";
      return kUsageError;
    }
    // Found out before the render, not after it.
    std::string unwritable;
    if (!output_writable(output_, unwritable)) {
      std::cerr << "korv-host: " << unwritable << "\n";
      return kUsageError;
    }
    host::SceneObject scene_object(std::move(mesh), object);
    host::render::Placement placement;
    placement.rotation = host::render::Mat3::rotation({0, 1, 0}, turn_ * kPi / 180.0);
    host::render::RayScene scene(scene_object, placement, smoothing_ * kPi / 180.0);

    host::render::RenderOptions options;
    options.width = width;
    options.height = height;
    options.threads = threads_;
    options.subsamples = subsamples_;
    options.surface.checker.channel = checker_;
    options.camera = host::render::render_camera(scene, options);
    aim_camera(*options.camera);

    Totals totals;
    host::render::Image picture;
    std::string error;
    if (compare_) {
      // The labels name what shaded the picture, so that the manual's node
      // pictures cannot be taken for the shader's.
      const std::string front = session->front();
      const std::string without = "without " + front;
      const std::string with = "with " + front;
      std::vector<host::render::Image> panels;
      panels.push_back(pass(scene, *session, options, Pass::Plain, 0, without, totals));
      panels.push_back(pass(scene, *session, options, Pass::Shaded, 0, with, totals));
      panels.push_back(mask_pass(scene, *session, options, totals, error));
      if (!error.empty()) {
        std::cerr << "korv-host: " << error << "\n";
        return kUsageError;
      }
      picture = host::render::compose_labelled(
          panels, {without, with, multiplies(*session) ? "factor" : "edge mask"});
    } else if (mask_) {
      picture = mask_pass(scene, *session, options, totals, error);
      if (!error.empty()) {
        std::cerr << "korv-host: " << error << "\n";
        return kUsageError;
      }
    } else {
      picture = pass(scene, *session, options, Pass::Shaded, 0, "rendering", totals);
    }
    if (!host::render::write_png(picture, output_, error)) {
      std::cerr << "korv-host: " << error << "\n";
      return kUsageError;
    }
    std::printf("wrote %s\n", output_.c_str());
    std::printf("render: %dx%d%s, %d threads, %lld samples, %.3f s, %.0f samples/s\n", width,
                height, compare_ ? " x 3 panels" : "", totals.threads, totals.samples,
                totals.seconds,
                totals.seconds > 0.0 ? double(totals.samples) / totals.seconds : 0.0);
    // What the host served the shader's edge builds: each attempt scans a
    // mesh-info handle of its own, so a build that failed and was tried
    // again on every sample would show here as one attempt per sample. The module
    // keeps a failure until the time or a setting changes: one attempt per
    // object and pass, failed or not.
    const host::MeshServiceCounts served = host::mesh_service_counts();
    std::printf("edge builds: %ld attempted, %ld mesh scans\n", served.builds, served.scans);
    // The node decides once how the host writes its matrices; samples that
    // told the other writing after were not allowed to change it.
    if (const auto *node = dynamic_cast<const host::NodeSession *>(session.get())) {
      const int decided = node->matrix_decision();
      std::printf("matrix reading: %s, %llu samples told the other\n",
                  decided == 1   ? "rows"
                  : decided == 2 ? "columns"
                                 : "undecided",
                  static_cast<unsigned long long>(node->contradicting_samples()));
    }
    return 0;
  }

  struct Totals {
    int threads = 0;
    long long samples = 0;
    double seconds = 0.0;
  };

  // Whether the settings multiply the channel by the mask or its inverse.
  static bool multiplies(host::ModuleSession &session) {
    std::int32_t mode = 0;
    read_int_setting(session, "out_mode", mode);
    return mode == 1 || mode == 2;
  }

  // The edge mask as grey: the node's Edge output, or the shader's channel.
  // When the shader's settings write no channel, the mask goes into
  // luminosity for this pass only, and the setting is put back after. When
  // they multiply the channel, it holds 1 before the shader runs, so the
  // picture is what the channel is multiplied by.
  host::render::Image mask_pass(const host::render::RayScene &scene, host::ModuleSession &session,
                                const host::render::RenderOptions &options, Totals &totals,
                                std::string &error) {
    // The node's Edge output, connected to luminosity for this pass.
    if (auto *node = dynamic_cast<host::NodeSession *>(&session)) {
      node->connect_edge(1);
      host::render::Image image = pass(scene, session, options, Pass::Mask, 1, "edge mask", totals);
      node->connect_edge(0);
      return image;
    }
    std::int32_t chosen = 0;
    read_int_setting(session, "out_channel", chosen);
    const bool own_mask = chosen < 1 || chosen > 7;
    if (own_mask && !(error = session.set_setting("out_channel", "1")).empty()) {
      return {};
    }
    host::render::RenderOptions mask_options = options;
    mask_options.mask_start = multiplies(session) ? 1.0 : 0.0;
    host::render::Image image =
        pass(scene, session, mask_options, Pass::Mask, own_mask ? 1 : chosen, "edge mask", totals);
    if (own_mask) {
      session.set_setting("out_channel", std::to_string(chosen), false);
    }
    return image;
  }

  host::render::Image pass(const host::render::RayScene &scene, const host::ModuleSession &session,
                           host::render::RenderOptions options, Pass kind, int mask_channel,
                           const std::string &label, Totals &totals) {
    ProgressBar bar(label);
    options.pass = kind;
    options.mask_channel = mask_channel;
    options.progress = [&bar](double f) { bar(f); };
    host::render::RenderStats stats;
    host::render::Image image = host::render::render(scene, &session, options, &stats);
    totals.threads = stats.threads;
    totals.samples += stats.samples;
    totals.seconds += stats.seconds;
    return image;
  }

  // WxH, each a whole number from 1 to 8192.
  bool parse_size(int &width, int &height) const {
    const std::size_t x = size_.find_first_of("xX");
    if (x == std::string::npos) {
      return false;
    }
    auto whole = [](const std::string &text, int &out) {
      const char *end = text.data() + text.size();
      const auto [ptr, ec] = std::from_chars(text.data(), end, out);
      return !text.empty() && ec == std::errc() && ptr == end && out >= 1 && out <= 8192;
    };
    return whole(size_.substr(0, x), width) && whole(size_.substr(x + 1), height);
  }

  // A close-up: the camera stays where the whole object shows, turns to the
  // aimed point and narrows its view by the zoom.
  void aim_camera(host::render::Camera &camera) const {
    if (aim_.size() == 3) {
      const host::render::V3 target{aim_[0], aim_[1], aim_[2]};
      const host::render::V3 forward = host::render::normalized(target - camera.eye);
      const host::render::V3 right =
          host::render::normalized(host::render::cross(forward, host::render::V3{0, 1, 0}));
      if (host::render::length(right) > 0.0) {
        camera.forward = forward;
        camera.right = right;
        camera.up = host::render::cross(right, forward);
      }
    }
    camera.tan_half_fov = camera.tan_half_fov / zoom_;
  }

  std::string mesh_;
  std::string output_ = "render.png";
  std::string size_ = "480x360";
  int threads_ = 0;
  int subsamples_ = 2;
  double turn_ = 0.0;
  double zoom_ = 1.0;
  std::vector<double> aim_;
  double smoothing_ = 30.0;
  bool compare_ = false;
  bool mask_ = false;
  int checker_ = 0;
  SessionOptions session_;
};

Register<RenderCommand> render_command;

}  // namespace

}  // namespace korv::tools
