// Loads the built Korv_Edge.p through its descriptor, as a host does.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/host_globals.h"
#include "host/module_loader.h"
#include "host/shader_session.h"
#include "hostapi/lwmeshes.h"
#include "hostapi/lwxpanel.h"

namespace korv::testing {

// The node module is built for 64-bit hosts only.
#define SKIP_WITHOUT_NODE_MODULE()                                    \
  if (sizeof(void *) != 8) {                                          \
    GTEST_SKIP() << "the node module is built for 64-bit hosts only"; \
  }

// A fresh load of the module per test, with the host's services installed.
class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::install_default_services();
    host::reset_global_lookup_counts();
    std::string error;
    module_ = host::ModuleFile::open(host::default_module_path(), error);
    ASSERT_NE(module_, nullptr) << error;
  }
  void TearDown() override {
    module_.reset();
    host::install_default_services();
    host::set_xpanel_refuse_create(false);
  }

  std::unique_ptr<host::ModuleFile> module_;
};

// A session (module, activated handler, one instance) per test.
class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    session_ = host::ShaderSession::open(host::default_module_path(), error);
    ASSERT_NE(session_, nullptr) << error;
  }
  void TearDown() override { session_.reset(); }

  std::unique_ptr<host::ShaderSession> session_;
};

}  // namespace korv::testing
