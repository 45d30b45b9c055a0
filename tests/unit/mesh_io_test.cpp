// Reading meshes for the stand-in host: JSON and OBJ files, built-in meshes,
// deformed positions, and one-line errors that name the file and the place.
#include "host/mesh_io.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace korv::host {
namespace {

namespace fs = std::filesystem;

class MeshIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::path(::testing::TempDir()) /
        ("mesh_io_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string write(const std::string &name, const std::string &text) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }

  // Loads text as file name and returns the error, which must be one line.
  std::string error_of(const std::string &name, const std::string &text) {
    Mesh mesh;
    std::string error;
    EXPECT_FALSE(load_mesh(write(name, text), mesh, error));
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    // Strip the directory so that messages compare by file name.
    const std::string prefix = (dir_ / "").string();
    return error.rfind(prefix, 0) == 0 ? error.substr(prefix.size()) : error;
  }

  fs::path dir_;
};

std::vector<std::vector<std::uint32_t>> polygons_of(const Mesh &m) {
  std::vector<std::vector<std::uint32_t>> out;
  for (std::size_t p = 0; p < m.polygon_count(); ++p) {
    out.emplace_back(m.polygon(p).begin(), m.polygon(p).end());
  }
  return out;
}

TEST_F(MeshIoTest, JsonGivesPointsPolygonsOfAnySizeAndDeformedPositions) {
  Mesh m;
  std::string error;
  ASSERT_TRUE(
      load_mesh(write("m.json", R"({"points": [[0.1, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1]],
      "polygons": [[0, 1, 2], [3], [2, 3], [0, 1, 2, 3]],
      "deformed": [[0, 0, 0], [2, 0, 0], [0, 2, 0], [0, 0, 2]]})"),
                m, error))
      << error;
  ASSERT_EQ(m.point_count(), 4u);
  EXPECT_EQ(m.points[0][0], 0.1f);  // rounded to float once
  EXPECT_EQ(polygons_of(m),
            (std::vector<std::vector<std::uint32_t>>{{0, 1, 2}, {3}, {2, 3}, {0, 1, 2, 3}}));
  ASSERT_EQ(m.deformed.size(), 4u);
  EXPECT_EQ(m.deformed[3][2], 2.0f);
}

TEST_F(MeshIoTest, JsonErrorsNameTheFileAndTheElement) {
  EXPECT_EQ(
      error_of("mesh.json",
               R"({"points": [[0,0,0],[1,0,0],[0,1,0],[1,1,0],[0,0,1],[1,0,1],[0,1,1],[1,1,1]],
      "polygons": [[0,1,2],[1,2,3],[4,5,6],[4,9,7]]})"),
      "mesh.json: polygons[3][1]: index 9 out of range (8 points)");
  EXPECT_EQ(error_of("neg.json", R"({"points": [[0,0,0]], "polygons": [[0, -1, 0]]})"),
            "neg.json: polygons[0][1]: index -1 out of range (1 points)");
  EXPECT_EQ(error_of("frac.json", R"({"points": [[0,0,0]], "polygons": [[0.5]]})"),
            "frac.json: polygons[0][0]: 0.5 is not a point index");
  EXPECT_EQ(error_of("coord.json", R"({"points": [[0,"x",0]], "polygons": []})"),
            "coord.json: points[0][1]: \"x\" is not a number that fits a float");
  EXPECT_EQ(error_of("huge.json", R"({"points": [[0,0,1e300]], "polygons": []})"),
            "huge.json: points[0][2]: 1e+300 is not a number that fits a float");
  EXPECT_EQ(error_of("short.json", R"({"points": [[0,0]], "polygons": []})"),
            "short.json: points[0]: expected [x, y, z]");
  EXPECT_EQ(error_of("nopolys.json", R"({"points": []})"), "nopolys.json: no \"polygons\" array");
  EXPECT_EQ(error_of("def.json", R"({"points": [[0,0,0]], "polygons": [], "deformed": []})"),
            "def.json: deformed: 0 positions for 1 points");
  const std::string syntax = error_of("bad.json", "{\"points\": [\n[0, 0, 0],\n[1, 0 0]]}");
  EXPECT_EQ(syntax.rfind("bad.json: parse error at line 3, column", 0), 0u) << syntax;
}

TEST_F(MeshIoTest, ObjGivesVLinesAndFLinesInFileOrderWithoutTriangulating) {
  Mesh m;
  std::string error;
  std::string warning;
  ASSERT_TRUE(load_mesh(write("m.obj",
                              "# a comment\n"
                              "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n"
                              "vt 0 0\nvn 0 0 1\n"
                              "o first\nf 1/1/1 2/1/1 3/1/1 4/1/1\n"
                              "g second\nf -4 -2 -1\n"
                              "f 2 3\nf 4\n"
                              "v 0.1 0 \\\n5\nfo 5 1 \\\r\n 2 # a comment\nf -1 -5 -4 # -2\n"),
                        m, error, &warning))
      << error;
  ASSERT_EQ(m.point_count(), 5u);
  EXPECT_EQ(m.points[4][0], 0.1f);
  EXPECT_EQ(m.points[4][2], 5.0f);
  EXPECT_EQ(polygons_of(m), (std::vector<std::vector<std::uint32_t>>{
                                {0, 1, 2, 3}, {0, 2, 3}, {4, 0, 1}, {4, 0, 1}}));
  EXPECT_EQ(warning.substr(warning.find("m.obj")),
            "m.obj: line 12: a face of fewer than three corners is no polygon: skipped (2 such "
            "faces)");
  EXPECT_TRUE(m.deformed.empty());
}

TEST_F(MeshIoTest, ObjErrorsNameTheLine) {
  EXPECT_EQ(error_of("far.obj", "v 0 0 0\nv 1 0 0\n\nf 1 2 3\n"),
            "far.obj: line 4: face corner 3: index 3 out of range (2 points)");
  EXPECT_EQ(error_of("back.obj", "v 0 0 0\r\nf 1 -2 1\r\nv 1 1 1\r\n"),
            "back.obj: line 2: face corner 2: index -2 out of range (2 points)");
  EXPECT_EQ(error_of("joined.obj", "v 0 0 \\\n0\nf 1 \\\r2 1\nf 1 1 x"),
            "joined.obj: line 5: face corner 3: 'x' is not a point index");
  EXPECT_EQ(error_of("zero.obj", "v 0 0 0\nf 1 0 1"),
            "zero.obj: line 2: face corner 2: index 0 is not a valid index (1 points)");
}

TEST_F(MeshIoTest, MissingFileAndUnknownBuiltinAreOneLineErrors) {
  Mesh m;
  std::string error;
  EXPECT_FALSE(load_mesh((dir_ / "none.obj").string(), m, error));
  EXPECT_NE(error.find("none.obj: cannot open"), std::string::npos) << error;
  EXPECT_FALSE(load_mesh("builtin:nothing", m, error));
  EXPECT_EQ(error.rfind("builtin:nothing: no built-in mesh of that name (known: cube", 0), 0u)
      << error;
  EXPECT_TRUE(load_mesh("builtin:cube", m, error));
  EXPECT_EQ(m.polygon_count(), 6u);
}

TEST_F(MeshIoTest, DeformedMeshMustHaveTheSameTopology) {
  Mesh m;
  std::string error;
  ASSERT_TRUE(load_mesh(
      write("base.json", R"({"points": [[0,0,0],[1,0,0],[0,1,0]], "polygons": [[0,1,2]]})"), m,
      error));
  EXPECT_FALSE(
      load_deformed(write("few.json", R"({"points": [[0,0,0]], "polygons": []})"), m, error));
  EXPECT_NE(error.find("few.json: 1 points, but the mesh it deforms has 3"), std::string::npos)
      << error;
  EXPECT_FALSE(load_deformed(write("other.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 3 2\n"), m, error));
  EXPECT_NE(error.find("other.obj: polygon 0 differs"), std::string::npos) << error;
  EXPECT_TRUE(m.deformed.empty());
  ASSERT_TRUE(load_deformed(write("moved.obj", "v 0 0 1\nv 1 0 1\nv 0 1 2\nf 1 2 3\n"), m, error))
      << error;
  ASSERT_EQ(m.deformed.size(), 3u);
  EXPECT_EQ(m.deformed[2][2], 2.0f);
  EXPECT_EQ(m.points[2][2], 0.0f);
  // A file of points only is taken as positions for the same polygons.
  EXPECT_TRUE(load_deformed(
      write("points.json", R"({"points": [[0,0,3],[1,0,3],[0,1,3]], "polygons": []})"), m, error));
  EXPECT_EQ(m.deformed[0][2], 3.0f);
}

}  // namespace
}  // namespace korv::host
