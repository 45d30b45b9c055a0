#include "host/scene_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "state_builder.h"

namespace korv::testing {
namespace {

namespace fs = std::filesystem;
using host::ParseReport;
using host::SceneFile;

SceneFile small_scene() {
  StateBuilder b;
  b.i4(256).begin(kLibraryBlock).i4(1).param("out_channel", PINT, 3).end();
  SceneFile scene;
  scene.object = "builtin:cube";
  scene.has_shader = true;
  scene.shader = b.items();
  return scene;
}

// A fresh folder for one test, removed afterwards.
class SceneFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    folder_ = fs::path(::testing::TempDir()) / (std::string("korv_scene_") + info->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "sub");
  }
  void TearDown() override { fs::remove_all(folder_); }

  static std::string slurp(const fs::path &path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path folder_;
};

TEST(SceneText, HoldsTheObjectAndTheIndentedShaderState) {
  EXPECT_EQ(host::format_scene(small_scene()),
            "korv-scene 1\n"
            "object builtin:cube\n"
            "shader Korv_Edge\n"
            "  I4 256\n"
            "  { PluginDataLib\n"
            "    I4 1\n"
            "    { PluginDataParam\n"
            "      \"out_channel\"\n"
            "      U4 0x50494E54\n"
            "      I4 3\n"
            "    }\n"
            "  }\n"
            "end\n");
}

TEST(SceneText, ReadsBackWhatItWrote) {
  ParseReport report;
  ParseReport shader_report;
  const SceneFile scene =
      host::parse_scene(host::format_scene(small_scene()), report, shader_report);
  EXPECT_TRUE(report.complete());
  EXPECT_TRUE(shader_report.complete());
  EXPECT_EQ(scene.object, "builtin:cube");
  ASSERT_TRUE(scene.has_shader);
  ASSERT_EQ(scene.shader.size(), 2u);
  EXPECT_EQ(scene.shader[1].token, "PluginDataLib");
  EXPECT_EQ(scene.shader[1].items[1].items[2].words, std::vector<std::uint32_t>{3});
  EXPECT_FALSE(scene.has_node);
}

// A node block beside the shader's: each read into its own state, and the
// damage of each noted in its own report.
TEST(SceneText, KeepsTheNodesBlockApartFromTheShaders) {
  SceneFile both = small_scene();
  both.has_node = true;
  both.node = both.shader;
  both.node[0].words = {255};
  std::string text = host::format_scene(both);
  text.resize(text.size() - 4);  // the node block, written last, loses its "end"
  ParseReport report, shader_report, node_report;
  const SceneFile scene = host::parse_scene(text, report, shader_report, &node_report);
  ASSERT_TRUE(scene.has_shader && scene.has_node);
  EXPECT_EQ(scene.shader[0].words, std::vector<std::uint32_t>{256});
  EXPECT_EQ(scene.node[0].words, std::vector<std::uint32_t>{255});
  EXPECT_TRUE(report.complete());
  EXPECT_TRUE(shader_report.complete());
  EXPECT_FALSE(node_report.complete());
}

TEST(SceneText, ReadsWhatItCanFromADamagedScene) {
  const std::string text =
      "# hand-edited\n"
      "object  meshes/box one.obj \n"
      "colour red\n"
      "shader Other_Shader\n"
      "  I4 1\n"
      "end\n"
      "shader Korv_Edge\n"
      "  I4 256\n"
      "  { PluginDataLib\n"
      "    I4 1\n"
      "    { PluginDataParam\n"
      "      \"out_channel\"\n"
      "      U4 0x50494E54\n"
      "      I4 3\n";
  ParseReport report;
  ParseReport shader_report;
  const SceneFile scene = host::parse_scene(text, report, shader_report);
  EXPECT_EQ(scene.object, "meshes/box one.obj");
  ASSERT_EQ(report.problems.size(), 3u);
  EXPECT_EQ(report.problems[0], "line 2: the header 'korv-scene 1' is missing");
  EXPECT_EQ(report.problems[1], "line 3: cannot read 'colour red'");
  EXPECT_EQ(report.problems[2],
            "line 4: a block for the shader 'Other_Shader' is not for this module; skipped");
  ASSERT_TRUE(scene.has_shader);
  ASSERT_EQ(shader_report.problems.size(), 3u);
  EXPECT_EQ(shader_report.problems[2], "line 7: the shader block has no 'end'");
  EXPECT_EQ(scene.shader[1].items[1].items[2].words, std::vector<std::uint32_t>{3});
}

TEST(SceneText, TakesTheFirstShaderBlockAndTheLastObject) {
  const std::string text =
      "korv-scene 1\nobject a.obj\nobject b.obj\nshader Korv_Edge\nI4 1\nend\n"
      "shader Korv_Edge\nI4 2\nend\n";
  ParseReport report;
  ParseReport shader_report;
  const SceneFile scene = host::parse_scene(text, report, shader_report);
  EXPECT_EQ(scene.object, "b.obj");
  EXPECT_EQ(report.problems.size(), 2u);
  ASSERT_EQ(scene.shader.size(), 1u);
  EXPECT_EQ(scene.shader[0].words, std::vector<std::uint32_t>{1});
}

TEST(SceneText, ShowsDamagedLinesWithoutTheirControlBytes) {
  ParseReport report;
  ParseReport shader_report;
  host::parse_scene("korv-scene 1\n\x1b[2J\xff oops\n", report, shader_report);
  EXPECT_EQ(report.problems, std::vector<std::string>{"line 2: cannot read '?[2J? oops'"});
}

TEST(SceneText, AnEmptyFileIsNoted) {
  ParseReport report;
  ParseReport shader_report;
  const SceneFile scene = host::parse_scene("\n\n", report, shader_report);
  EXPECT_FALSE(scene.has_shader);
  EXPECT_EQ(report.problems, std::vector<std::string>{"the file is empty"});
}

// Makes a folder the working folder for a scope.
class WorkingFolder {
 public:
  explicit WorkingFolder(const fs::path &folder) : previous_(fs::current_path()) {
    fs::current_path(folder);
  }
  ~WorkingFolder() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
  }
  WorkingFolder(const WorkingFolder &) = delete;
  WorkingFolder &operator=(const WorkingFolder &) = delete;

 private:
  fs::path previous_;
};

TEST_F(SceneFolder, KeepsARelativeObjectRelativeToTheScene) {
  // On Windows the temporary folder may lie on another drive than the working
  // folder, and no relative path leads across drives.
  const WorkingFolder inside(folder_);
  const fs::path mesh = fs::absolute(folder_ / "box.obj");
  SceneFile scene = small_scene();
  scene.object = mesh.lexically_relative(fs::current_path()).string();
  ASSERT_TRUE(fs::path(scene.object).is_relative());
  const std::string path = (folder_ / "sub" / "x.scene").string();
  std::string error;
  ASSERT_TRUE(host::write_scene_file(path, scene, error)) << error;
  EXPECT_NE(slurp(path).find("\nobject ../box.obj\n"), std::string::npos) << slurp(path);

  SceneFile back;
  ParseReport report;
  ParseReport shader_report;
  ASSERT_TRUE(host::read_scene_file(path, back, report, shader_report, error)) << error;
  EXPECT_EQ(fs::absolute(back.object).lexically_normal(), mesh.lexically_normal());
  EXPECT_TRUE(report.complete());
}

TEST_F(SceneFolder, KeepsBuiltInNamesAndAbsolutePathsAsTheyAre) {
  for (const std::string &object : {std::string("builtin:cube"), (folder_ / "m.obj").string()}) {
    SceneFile scene = small_scene();
    scene.object = object;
    const std::string path = (folder_ / "sub" / "y.scene").string();
    std::string error;
    ASSERT_TRUE(host::write_scene_file(path, scene, error)) << error;
    SceneFile back;
    ParseReport report;
    ParseReport shader_report;
    ASSERT_TRUE(host::read_scene_file(path, back, report, shader_report, error));
    EXPECT_EQ(back.object, object);
  }
}

TEST_F(SceneFolder, FilesThatCannotBeReadOrWrittenAreErrors) {
  SceneFile scene;
  ParseReport report;
  ParseReport shader_report;
  std::string error;
  EXPECT_FALSE(host::read_scene_file((folder_ / "none.scene").string(), scene, report,
                                     shader_report, error));
  EXPECT_EQ(error, (folder_ / "none.scene").string() + ": cannot be read");
  EXPECT_FALSE(host::read_scene_file(folder_.string(), scene, report, shader_report, error));
  EXPECT_FALSE(
      host::write_scene_file((folder_ / "no" / "such" / "x.scene").string(), small_scene(), error));
  SceneFile broken = small_scene();
  broken.object = "two\nlines";
  EXPECT_FALSE(host::write_scene_file((folder_ / "z.scene").string(), broken, error));
  EXPECT_FALSE(fs::exists(folder_ / "z.scene"));
}

}  // namespace
}  // namespace korv::testing
