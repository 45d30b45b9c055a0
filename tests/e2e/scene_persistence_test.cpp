// Settings kept in scene files through the loaded module's save and load
// callbacks, as korv-host's --save-scene and --scene use them.
#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "host/scene_file.h"
#include "host/scene_session.h"
#include "host/scene_state_binary.h"
#include "host/scene_state_text.h"
#include "host/state_recorder.h"
#include "instance/edge_instance.h"
#include "module_fixture.h"

namespace korv::testing {
namespace {

namespace fs = std::filesystem;

EdgeInstance &view(LWInstance inst) {
  return *static_cast<EdgeInstance *>(inst);
}
std::uint64_t bits(double v) {
  return std::bit_cast<std::uint64_t>(v);
}

class ScenePersistence : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::path(::testing::TempDir()) / (std::string("korv_e2e_") + info->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override {
    SessionTest::TearDown();
    fs::remove_all(folder_);
  }

  std::unique_ptr<host::ShaderSession> fresh_session() {
    std::string error;
    auto session = host::ShaderSession::open(host::default_module_path(), error);
    EXPECT_NE(session, nullptr) << error;
    return session;
  }

  std::string path(const char *name) const { return (folder_ / name).string(); }

  static std::string slurp(const std::string &file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  static void spill(const std::string &file, const std::string &text) {
    std::ofstream(file, std::ios::trunc) << text;
  }

  fs::path folder_;
};

TEST_F(ScenePersistence, TheModulesSaveWritesTheVersionThenTheLibraryBlock) {
  host::StateWriter writer;
  host::RecordingSaveState recorder(writer.state());
  EXPECT_EQ(session_->handler().inst->save(session_->instance(), recorder.state()), nullptr);
  const auto &calls = recorder.calls();
  ASSERT_EQ(calls.size(), 3u + 14u * 5u + 1u);
  EXPECT_EQ(calls[0], "writeI4 256");
  EXPECT_EQ(calls[1], "beginBlk PDLB \"PluginDataLib\" leaf 0");
  EXPECT_EQ(calls[2], "writeI4 14");
  EXPECT_EQ(calls[4], "writeStr \"edge_width\"");
  EXPECT_EQ(calls[6], "writeU1 3F 94 7A E1 47 AE 14 7B");
  EXPECT_EQ(calls[11], "writeU1 3F F8 FE 3C C6 FF 87 DE");
  EXPECT_EQ(calls.back(), "endBlk");
}

// A host writes scenes in its ASCII form and objects in its binary form; the
// state records say which with ioMode. The module makes the same calls in
// both and reads back what it wrote in either.
TEST_F(ScenePersistence, TheModuleSavesAndLoadsAlikeInTheAsciiAndTheBinaryMode) {
  ASSERT_EQ(session_->apply_settings({"edge_width=0.125", "out_channel=6", "open_edge=1"}), "");
  const EdgeInstance saved = view(session_->instance());
  std::vector<std::string> calls[2];
  for (int mode : {LWIO_ASCII, LWIO_BINARY}) {
    SCOPED_TRACE(mode == LWIO_ASCII ? "ASCII" : "binary");
    host::StateWriter writer(mode);
    ASSERT_EQ(writer.state()->ioMode, mode);
    std::vector<std::string> &saves = calls[mode];
    {
      host::RecordingSaveState recorder(writer.state());
      EXPECT_EQ(session_->handler().inst->save(session_->instance(), recorder.state()), nullptr);
      saves = recorder.calls();
    }
    host::ParseReport report;
    const host::StateItems stored =
        mode == LWIO_ASCII
            ? host::parse_state_text(host::format_state_text(writer.items()), report)
            : host::decode_state_binary(host::encode_state_binary(writer.items()), report);
    ASSERT_TRUE(report.complete());

    auto session = fresh_session();
    host::StateReader reader(stored, mode);
    ASSERT_EQ(reader.state()->ioMode, mode);
    EXPECT_EQ(session->handler().inst->load(session->instance(), reader.state()), nullptr);
    EXPECT_EQ(reader.shortfalls(), 0u);
    const EdgeInstance &got = view(session->instance());
    EXPECT_EQ(bits(got.edge_width), bits(saved.edge_width));
    EXPECT_EQ(got.out_channel, 6);
    EXPECT_EQ(got.open_edge, 1);
  }
  EXPECT_EQ(calls[LWIO_ASCII], calls[LWIO_BINARY]);
}

TEST_F(ScenePersistence, SavingAndLoadingASceneRestoresTheSettingsAndTheObject) {
  ASSERT_EQ(session_->apply_settings({"edge_width=0.1", "edge_dangle=30deg", "out_channel=7",
                                      "open_edge=1", "round_edge=0", "out_width=-2.5"}),
            "");
  const EdgeInstance saved = view(session_->instance());
  std::string error;
  std::string warning;
  ASSERT_TRUE(host::save_scene(*session_, path("x.scene"), "builtin:cube", error, warning))
      << error;
  EXPECT_EQ(warning, "");
  session_.reset();

  auto session = fresh_session();
  ASSERT_NE(session, nullptr);
  host::SceneLoad load;
  ASSERT_TRUE(host::load_scene(*session, path("x.scene"), load, error)) << error;
  EXPECT_FALSE(load.block_incomplete);
  EXPECT_TRUE(load.problems.empty());
  EXPECT_EQ(load.object, "builtin:cube");
  const EdgeInstance &got = view(session->instance());
  EXPECT_EQ(bits(got.edge_width), bits(0.1));
  EXPECT_EQ(bits(got.edge_dangle), bits(saved.edge_dangle));
  EXPECT_EQ(got.out_channel, 7);
  EXPECT_EQ(got.open_edge, 1);
  EXPECT_EQ(got.round_edge, 0);
  EXPECT_EQ(got.out_width, -2.5);
  EXPECT_EQ(got.smooth_edge, 1);
}

TEST_F(ScenePersistence, ADamagedSceneGivesWhatCouldBeReadAndSaysTheBlockWasIncomplete) {
  ASSERT_EQ(session_->apply_settings({"edge_width=0.1", "out_channel=3", "out_width=0.5"}), "");
  std::string error;
  std::string warning;
  ASSERT_TRUE(host::save_scene(*session_, path("x.scene"), "builtin:cube", error, warning));
  std::string text = slurp(path("x.scene"));
  // Cut out_width's double short and lose the closing "end".
  const std::string out_width = "U1 3F E0 00 00 00 00 00 00";
  const std::size_t at = text.find(out_width);
  ASSERT_NE(at, std::string::npos) << text;
  text.replace(at, out_width.size(), "U1 3F E0 00");
  text.resize(text.rfind("end\n"));
  spill(path("damaged.scene"), text);
  session_.reset();

  auto session = fresh_session();
  host::SceneLoad load;
  ASSERT_TRUE(host::load_scene(*session, path("damaged.scene"), load, error)) << error;
  EXPECT_TRUE(load.block_incomplete);
  ASSERT_EQ(load.problems.size(), 1u);
  EXPECT_NE(load.problems[0].find("no 'end'"), std::string::npos) << load.problems[0];
  const EdgeInstance &got = view(session->instance());
  EXPECT_EQ(got.edge_width, 0.1);
  EXPECT_EQ(got.out_channel, 3);
  EXPECT_EQ(got.out_width, 0.1);  // its default: the cut value is not used
}

TEST_F(ScenePersistence, ASceneWithAMissingParameterLineSaysTheBlockWasIncomplete) {
  std::string error;
  std::string warning;
  ASSERT_EQ(session_->apply_settings({"out_channel=5", "use_deform=1"}), "");
  ASSERT_TRUE(host::save_scene(*session_, path("x.scene"), "", error, warning));
  std::string text = slurp(path("x.scene"));
  // A well-formed file that lacks a value: the module asks for more than is there.
  const std::string value = "      I4 5\n";
  const std::size_t at = text.find(value);
  ASSERT_NE(at, std::string::npos) << text;
  text.erase(at, value.size());
  spill(path("short.scene"), text);

  auto session = fresh_session();
  host::SceneLoad load;
  ASSERT_TRUE(host::load_scene(*session, path("short.scene"), load, error));
  EXPECT_TRUE(load.problems.empty());
  EXPECT_TRUE(load.block_incomplete);
  EXPECT_EQ(load.object, "");
  EXPECT_EQ(view(session->instance()).out_channel, 0);
  EXPECT_EQ(view(session->instance()).use_deform, 1);
}

TEST_F(ScenePersistence, ASceneWithoutSettingsLeavesTheDefaults) {
  spill(path("bare.scene"), "korv-scene 1\nobject builtin:cube\n");
  host::SceneLoad load;
  std::string error;
  ASSERT_TRUE(host::load_scene(*session_, path("bare.scene"), load, error));
  EXPECT_TRUE(load.block_incomplete);
  EXPECT_EQ(load.object, "builtin:cube");
  EXPECT_EQ(view(session_->instance()).edge_width, 0.02);
}

TEST_F(ScenePersistence, OddValuesSurviveBothFormsThroughTheLoadedModule) {
  EdgeInstance &inst = view(session_->instance());
  inst.edge_width = -std::numeric_limits<double>::infinity();
  inst.edge_dangle = std::bit_cast<double>(0xFFF8000000000123ull);  // a NaN with a payload
  inst.smooth_cos = -0.0;
  inst.out_width = std::numeric_limits<double>::denorm_min();
  inst.out_channel = -1;
  inst.disable_bevel = 7;
  bool complete = false;
  const host::StateItems state = host::save_instance_state(*session_, complete);
  ASSERT_TRUE(complete);

  host::ParseReport text_report;
  const host::StateItems from_text =
      host::parse_state_text(host::format_state_text(state), text_report);
  host::ParseReport binary_report;
  const host::StateItems from_binary =
      host::decode_state_binary(host::encode_state_binary(state), binary_report);
  ASSERT_TRUE(text_report.complete());
  ASSERT_TRUE(binary_report.complete());
  for (const host::StateItems *form : {&from_text, &from_binary}) {
    auto session = fresh_session();
    EXPECT_EQ(host::load_instance_state(*session, *form), 0u);
    const EdgeInstance &got = view(session->instance());
    EXPECT_EQ(bits(got.edge_width), bits(inst.edge_width));
    EXPECT_EQ(bits(got.edge_dangle), 0xFFF8000000000123ull);
    EXPECT_EQ(bits(got.smooth_cos), bits(-0.0));
    EXPECT_EQ(bits(got.out_width), 1u);
    EXPECT_EQ(got.out_channel, -1);
    EXPECT_EQ(got.disable_bevel, 7);
  }
}

}  // namespace
}  // namespace korv::testing
