// Renders of built-in and hand-built objects through the loaded module.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "host/builtin_meshes.h"
#include "host/mesh_service.h"
#include "host/module_loader.h"
#include "host/render/renderer.h"
#include "host/shader_session.h"

namespace korv::testing {

using host::render::Image;
using host::render::Pass;
using host::render::RenderOptions;

inline host::Mesh builtin(const std::string &name) {
  host::Mesh m;
  EXPECT_TRUE(host::builtin_mesh(name, m)) << name;
  return m;
}

// Where failing pictures go, beside the test's other output.
inline std::string output_path(const std::string &file) {
  std::filesystem::create_directories(KORV_TEST_OUTPUT);
  return std::string(KORV_TEST_OUTPUT) + "/" + file;
}

// The largest difference of one channel between two pictures of one size,
// in 8-bit steps, and how many pixels differ at all.
struct Difference {
  int largest = 0;
  long pixels = 0;
};

inline Difference compare(const Image &a, const Image &b) {
  Difference d;
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      int worst = 0;
      for (int c = 0; c < 3; ++c) {
        worst = std::max(worst, std::abs(int(host::render::to_byte(a.pixel(x, y)[c])) -
                                         int(host::render::to_byte(b.pixel(x, y)[c]))));
      }
      d.largest = std::max(d.largest, worst);
      d.pixels += worst > 0 ? 1 : 0;
    }
  }
  return d;
}

inline bool pixel_differs(const Image &a, const Image &b, int x, int y) {
  for (int c = 0; c < 3; ++c) {
    if (host::render::to_byte(a.pixel(x, y)[c]) != host::render::to_byte(b.pixel(x, y)[c])) {
      return true;
    }
  }
  return false;
}

class RenderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    session_ = host::ShaderSession::open(host::default_module_path(), error);
    ASSERT_NE(session_, nullptr) << error;
  }
  void TearDown() override { session_.reset(); }

  void set(std::initializer_list<std::string> assignments) {
    ASSERT_EQ(session_->apply_settings(std::vector<std::string>(assignments)), "");
  }

  Image render(const host::render::RayScene &scene, RenderOptions options, Pass pass,
               host::render::RenderStats *stats = nullptr) {
    options.pass = pass;
    return host::render::render(scene, session_.get(), options, stats);
  }

  std::unique_ptr<host::ShaderSession> session_;
};

}  // namespace korv::testing
