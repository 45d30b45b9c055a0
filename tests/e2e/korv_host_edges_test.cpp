// korv-host edges: the database the module's code builds, printed as JSON
// lines, and the one-line errors with exit status 2 and nothing on stdout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "host/builtin_meshes.h"
#include "host/mesh_io.h"
#include "host/mesh_service.h"
#include "host/module_loader.h"
#include "shader/core_input.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace korv::testing {
namespace {

namespace fs = std::filesystem;

// Settings as --set assignments and as the instance takes them; together the
// rows change every setting the build reads (the reach through each width).
using Settings = std::vector<std::pair<const char *, const char *>>;
const Settings kBuildRows[] = {
    {},
    {{"open_edge", "1"}, {"edge_dangle", "0.2"}, {"use_deform", "1"}},
    {{"edge_kind", "1"}},
    {{"edge_kind", "2"}},
    {{"cross_polygons", "1"}, {"open_edge", "1"}, {"edge_width", "0.3"}},
    {{"cross_polygons", "1"}, {"out_channel", "2"}, {"out_width", "0.2"}},
};
// A listing's sides (a, b): "all", and by the kind judged.
using Sides = std::map<std::string, std::vector<std::pair<int, int>>>;

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

class KorvHostEdges : public ::testing::Test {
 protected:
  void SetUp() override {
#ifdef _WIN32
    GTEST_SKIP() << "runs korv-host through a POSIX shell";
#endif
    tool_ = fs::path(host::default_module_path()).parent_path() / "korv-host";
    if (!fs::exists(tool_)) {
      GTEST_SKIP() << "korv-host is not built beside the tests";
    }
    dir_ = fs::path(::testing::TempDir()) /
           ("korv_host_edges_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (!dir_.empty())
      fs::remove_all(dir_);
  }

  std::string write(const std::string &name, const std::string &text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return (dir_ / name).string();
  }

  ToolRun run([[maybe_unused]] const std::string &arguments) {
    ToolRun r;
#ifndef _WIN32
    const fs::path err = dir_ / "stderr.txt";
    const std::string command =
        "'" + tool_.string() + "' edges " + arguments + " 2>'" + err.string() + "'";
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
      ADD_FAILURE() << "cannot run " << command;
      return r;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
      r.out.append(buffer, n);
    const int status = pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(err);
    r.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
#endif
    return r;
  }

  void expect_usage_error(const ToolRun &r, const std::string &message_part) {
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "") << "no partial output";
    EXPECT_NE(r.err.find(message_part), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }

  void expect_module_database(const std::string &path, const Settings &row, Sides &judged);

  fs::path tool_;
  fs::path dir_;
};

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

// A path in single quotes, for the shell. Built by appending: GCC 12 at -O3
// warns falsely (-Wrestrict) about a literal plus a temporary string.
std::string quoted(const std::string &path) {
  std::string text = "'";
  text += path;
  text += "'";
  return text;
}

constexpr const char *kQuads = R"({"points": [[0,0,1],[1,0,1],[1,1,1],[0,1,1],[0,0,0],[1,0,0]],
  "polygons": [[0,1,2,3],[1,0,4,5],[2,3]]})";

TEST_F(KorvHostEdges, PrintsEdgesThenPointsInTheGivenFormat) {
  const ToolRun r = run(quoted(write("quads.json", kQuads)));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::vector<std::string> expected = {
      R"({"edge": 0, "a": 0, "b": 1, "normal": [0.0, -0.7071067811865475, 0.7071067811865475], "open": 0, "kind": "outside"})",
      R"({"point": 0, "polygons": [0, 1], "edges": [0]})",
      R"({"point": 1, "polygons": [0, 1], "edges": [0]})",
      R"({"point": 2, "polygons": [0], "edges": []})",
      R"({"point": 3, "polygons": [0], "edges": []})",
      R"({"point": 4, "polygons": [1], "edges": []})",
      R"({"point": 5, "polygons": [1], "edges": []})",
  };
  EXPECT_EQ(lines_of(r.out), expected);
}

TEST_F(KorvHostEdges, OutputReadsBackToTheDatabaseTheModuleCodeBuilds) {
  for (const std::string &name : host::builtin_mesh_names()) {
    Sides judged;
    for (const Settings &row : kBuildRows)
      expect_module_database("builtin:" + name, row, judged);
  }
}

void KorvHostEdges::expect_module_database(const std::string &path, const Settings &row,
                                           Sides &judged) {
  EdgeShaderInstance inst{};
  set_default_settings(inst);
  std::string arguments = quoted(path);
  for (const auto &[name, value] : row) {
    const SettingInfo &info = *std::find_if(kSettings.begin(), kSettings.end(),
                                            [&](auto &s) { return s.name == std::string(name); });
    if (is_double(info.kind))
      *static_cast<double *>(setting_address(inst, info)) = std::stod(value);
    else
      *static_cast<std::int32_t *>(setting_address(inst, info)) = std::stoi(value);
    arguments += " --set " + std::string(name) + "=" + value;
  }
  SCOPED_TRACE(arguments);
  const ToolRun r = run(arguments);
  ASSERT_EQ(r.status, 0) << r.err;

  host::Mesh mesh;
  std::string error;
  ASSERT_TRUE(host::load_mesh(path, mesh, error)) << error;
  host::SceneObject object(std::move(mesh));
  LWMeshInfo *info = host::object_info_service()->meshInfo(object.id(), 1);
  EdgeCache cache;
  inst.cache = &cache;
  const ObjectEdgeDatabase *db = find_or_build_edge_database(edge_source(inst), object.id(), info);
  ASSERT_NE(db, nullptr);
  info->destroy(info);

  const auto lines = lines_of(r.out);
  const auto &records = db->edge_list->records;
  ASSERT_EQ(lines.size(), records.size() + db->points.size() + (db->shells ? 1 : 0));
  Sides sides;
  for (std::size_t k = 0; k < records.size(); ++k) {
    const auto j = nlohmann::ordered_json::parse(lines[k]);
    std::vector<std::string> keys;
    for (const auto &item : j.items())
      keys.push_back(item.key());
    std::vector<std::string> expected_keys = {"edge", "a", "b", "normal", "open", "kind"};
    expected_keys.resize(records[k].is_open != 0 ? 5 : 6);  // an open edge is not judged
    EXPECT_EQ(keys, expected_keys);
    EXPECT_EQ(j["edge"], k);
    EXPECT_EQ(j["a"], host::point_index(records[k].point_a));
    EXPECT_EQ(j["b"], host::point_index(records[k].point_b));
    EXPECT_EQ(j["normal"][0].get<double>(), records[k].normal.x);
    EXPECT_EQ(j["normal"][1].get<double>(), records[k].normal.y);
    EXPECT_EQ(j["normal"][2].get<double>(), records[k].normal.z);
    EXPECT_EQ(j["open"], records[k].is_open);
    sides["all"].emplace_back(j["a"], j["b"]);
    sides[j.value("kind", "open")].emplace_back(j["a"], j["b"]);
  }
  // What an edge was judged is what the build keeping only that kind keeps.
  judged = row.empty() ? sides : judged;
  EXPECT_TRUE(inst.edge_kind == 0 ||
              sides["all"] == judged[inst.edge_kind == 1 ? "outside" : "inside"]);
  std::size_t line = records.size();
  for (const auto &[key, record] : db->points) {
    const auto j = nlohmann::json::parse(lines[line++]);
    EXPECT_EQ(j["point"], host::point_index(reinterpret_cast<LWPntID>(key)));
    ASSERT_EQ(j["polygons"].size(), std::size_t(record.polygon_count));
    ASSERT_EQ(j["edges"].size(), std::size_t(record.edge_count));
    for (std::size_t i = 0; i < j["edges"].size(); ++i) {
      EXPECT_EQ(j["edges"][i], std::size_t(record.edges[i] - records.data()));
    }
  }
  if (db->shells) {
    // Each edge in the list of its shell, each list one shell's; the reach.
    const auto j = nlohmann::json::parse(lines[line]);
    EXPECT_EQ(j["reach"].get<double>(), db->shells->reach());
    EXPECT_EQ(j["shells"].flatten().size(), records.size());
    std::map<std::uint32_t, std::size_t> list_of;
    for (std::size_t s = 0; s < j["shells"].size(); ++s)
      for (std::size_t k : j["shells"][s]) {
        const auto shell = db->shells->shell_of(db->points.entry_index(records[k].point_a));
        EXPECT_EQ(list_of.emplace(shell, s).first->second, s);
      }
  }
  empty_edge_cache(&cache);
}

TEST_F(KorvHostEdges, DeformedMeshGivesTheNormalsWhenUseDeformIsOn) {
  const std::string base = write("tri.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  const std::string moved = write("moved.obj", "v 0 0 0\nv 0 0 1\nv 0 1 0\nf 1 2 3\n");
  const ToolRun plain = run("'" + base + "' --deformed '" + moved + "' --set open_edge=1");
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(lines_of(plain.out)[0],
            R"({"edge": 0, "a": 0, "b": 1, "normal": [0.0, -1.0, 0.0], "open": 1})");
  const ToolRun deformed =
      run("'" + base + "' --deformed '" + moved + "' --set open_edge=1 --set use_deform=1");
  ASSERT_EQ(deformed.status, 0) << deformed.err;
  // The deformed triangle faces -x; its normals carry the signs of zero
  // and the last bit of the double arithmetic, both printed so that they
  // read back exactly.
  EXPECT_EQ(lines_of(deformed.out)[0],
            R"({"edge": 0, "a": 0, "b": 1, "normal": [-0.0, -1.0, -0.0], "open": 1})");
  EXPECT_EQ(
      lines_of(deformed.out)[1],
      R"({"edge": 1, "a": 1, "b": 2, "normal": [0.0, 0.7071067811865476, 0.7071067811865476], "open": 1})");
  EXPECT_NE(plain.out, deformed.out);
}

TEST_F(KorvHostEdges, BuiltinMeshNeedsNoFile) {
  const ToolRun r = run("builtin:cube");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(lines_of(r.out).size(), 12u + 8u);
}

TEST_F(KorvHostEdges, BadInputIsAOneLineErrorWithStatusTwoAndNoOutput) {
  expect_usage_error(run(quoted((dir_ / "missing.json").string())), "missing.json: cannot open");
  expect_usage_error(run(quoted(write("range.json", R"({"points": [[0,0,0],[1,0,0],[0,1,0]],
      "polygons": [[0,1,2],[0,1,9]]})"))),
                     "range.json: polygons[1][2]: index 9 out of range (3 points)");
  expect_usage_error(run(quoted(write("broken.json", "{\"points\": [[0,0,0]\n"))),
                     "broken.json: parse error at line 2");
  expect_usage_error(run(quoted(write("range.obj", "v 0 0 0\nf 1 2 1\n"))),
                     "range.obj: line 2: face corner 2: index 2 out of range (1 points)");
  expect_usage_error(run(""), "no mesh given");
  expect_usage_error(run("builtin:cube --set edge_dangle=wide"), "edge_dangle");
  expect_usage_error(run("builtin:cube --set nothing=1"), "unknown setting 'nothing'");
  expect_usage_error(run("builtin:cube --deformed '" +
                         write("one.json", R"({"points": [[0,0,0]], "polygons": []})") + "'"),
                     "one.json: 1 points, but the mesh it deforms has 8");
  expect_usage_error(run("builtin:cube --frobnicate"), "frobnicate");
}

}  // namespace
}  // namespace korv::testing
