// korv-host edges: the database the module's code builds, printed as JSON
// lines; and every command's one-line errors on bad input, with exit status 2
// and nothing on stdout.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

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

  ToolRun run(const std::string &arguments) {
    return run_tool("edges " + arguments);
  }

  // korv-host with a whole command line (already quoted as the shell needs).
  ToolRun run_tool([[maybe_unused]] const std::string &arguments) {
    ToolRun r;
#ifndef _WIN32
    const fs::path err = dir_ / "stderr.txt";
    const std::string command =
        "'" + tool_.string() + "' " + arguments + " 2>'" + err.string() + "'";
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
  EdgeInstance inst{};
  set_default_settings(inst);
  std::string arguments = quoted(path);
  for (const auto &[name, value] : row) {
    // C++17 lets no lambda capture a structured binding.
    const std::string wanted = name;
    const SettingInfo &info = *std::find_if(kSettings.begin(), kSettings.end(),
                                            [&](auto &s) { return s.name == wanted; });
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
  const std::size_t shells_line = db->shells ? 1 : 0;
  ASSERT_GE(lines.size(), records.size() + db->points.size() + shells_line);
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
  // The tool shows every point; the front keeps those that end an edge.
  std::size_t line = records.size();
  std::size_t kept = 0;
  for (; line + shells_line < lines.size(); ++line) {
    const auto j = nlohmann::json::parse(lines[line]);
    const PointRecord *record = db->points.find(host::point_id(j["point"].get<std::size_t>()));
    if (record == nullptr) {
      EXPECT_TRUE(j["edges"].empty()) << lines[line];
      continue;
    }
    ++kept;
    ASSERT_EQ(j["polygons"].size(), std::size_t(record->polygon_count));
    ASSERT_EQ(j["edges"].size(), std::size_t(record->edge_count));
    for (std::size_t i = 0; i < j["edges"].size(); ++i) {
      EXPECT_EQ(j["edges"][i], std::size_t(record->edges[i] - records.data()));
    }
  }
  EXPECT_EQ(kept, db->points.size());
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

// A command line whose "@NAME" words are files of the row, written first.
struct BadInput {
  const char *name;
  std::string arguments;
  std::vector<std::pair<std::string, std::string>> files;
  std::vector<std::string> words;  // in the message, in this order
};

void PrintTo(const BadInput &row, std::ostream *out) {
  *out << row.arguments;
}

class KorvHostBadInput : public KorvHostEdges, public ::testing::WithParamInterface<BadInput> {};

TEST_P(KorvHostBadInput, IsAOneLineErrorWithStatusTwoAndNoOutput) {
  const BadInput &row = GetParam();
  for (const auto &[name, text] : row.files)
    write(name, text);
  std::string arguments = row.arguments;
  for (std::size_t at = 0; (at = arguments.find('@', at)) != std::string::npos;)
    arguments.replace(at, 1, (dir_ / "").string());
  const ToolRun r = run_tool(arguments);
  expect_usage_error(r, "");
  std::size_t at = 0;
  for (const std::string &word : row.words) {
    at = r.err.find(word, at);
    EXPECT_NE(at, std::string::npos) << "'" << word << "' in order in " << r.err;
  }
}

const std::string kTriangle = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, KorvHostBadInput,
    ::testing::Values(
        BadInput{"missing", "edges @missing.json", {}, {"missing.json: cannot open"}},
        BadInput{
            "range",
            "edges @r.json",
            {{"r.json", R"({"points": [[0,0,0],[1,0,0],[0,1,0]], "polygons": [[0,1,2],[0,1,9]]})"}},
            {"r.json: polygons[1][2]: index 9 out of range (3 points)"}},
        BadInput{"syntax",
                 "edges @b.json",
                 {{"b.json", "{\"points\": [[0,0,0]\n"}},
                 {"b.json: parse error at line 2"}},
        BadInput{"objrange",
                 "edges @r.obj",
                 {{"r.obj", "v 0 0 0\nf 1 2 1\n"}},
                 {"r.obj: line 2: face corner 2: index 2 out of range (1 points)"}},
        BadInput{"nomesh", "edges", {}, {"no mesh given"}},
        BadInput{"word", "edges builtin:cube --set edge_dangle=wide", {}, {"edge_dangle"}},
        BadInput{
            "unknown", "edges builtin:cube --set nothing=1", {}, {"unknown setting 'nothing'"}},
        BadInput{"fewpoints",
                 "edges builtin:cube --deformed @one.json",
                 {{"one.json", R"({"points": [[0,0,0]], "polygons": []})"}},
                 {"one.json: 1 points, but the mesh it deforms has 8"}},
        BadInput{"option", "edges builtin:cube --frobnicate", {}, {"frobnicate"}},
        // Numbers past a double's range, wherever a JSON file holds one.
        BadInput{"overflow",
                 "edges @o.json",
                 {{"o.json", "{\"points\":\n[[0,0,1e400]], \"polygons\": []}"}},
                 {"o.json", "1e400 does not fit a double (line 2)"}},
        BadInput{"overflowshade",
                 "shade @o.json --samples @s.jsonl",
                 {{"o.json", "{\"points\":\n[[0,0,1e400]], \"polygons\": []}"}},
                 {"o.json", "1e400"}},
        BadInput{"overflowrender",
                 "render @o.json -o /dev/null",
                 {{"o.json", "{\"points\":\n[[0,0,1e400]], \"polygons\": []}"}},
                 {"o.json", "1e400"}},
        BadInput{"overflowdeformed",
                 "edges builtin:cube --deformed @d.json",
                 {{"d.json", R"({"points": [[1e400,0,0]], "polygons": []})"}},
                 {"d.json", "1e400"}},
        BadInput{"overflowscene",
                 "edges --scene @s.scene",
                 {{"s.scene",
                   "korv-scene 1\nobject o.json\nshader Korv_Edge\n I4 256\n { PluginDataLib\n I4 "
                   "0\n }\nend\n"},
                  {"o.json", R"({"points": [[-1e400,0,0]], "polygons": []})"}},
                 {"o.json", "-1e400"}},
        BadInput{"overflowsamples",
                 "shade builtin:cube --samples @s.jsonl",
                 {{"s.jsonl", R"({"polygon": 1, "oPos": [1e400,0,1]})"
                              "\n"}},
                 {"s.jsonl:1", "1e400 does not fit a double"}},
        // Files that are no mesh, whatever their names.
        BadInput{"folder", "render @ -o /dev/null", {}, {"a folder, not a mesh file"}},
        BadInput{"dot", "edges .", {}, {".: a folder"}},
        BadInput{"empty", "render @e.obj -o /dev/null", {{"e.obj", ""}}, {"e.obj: empty file"}},
        BadInput{"devnull", "shade /dev/null --samples /dev/null", {}, {"/dev/null: empty file"}},
        BadInput{"bytes",
                 "render @r.obj -o /dev/null",
                 {{"r.obj", std::string("v 0\x01\xff\0 x", 8)}},
                 {"r.obj: neither a JSON mesh nor an OBJ file", "binary data (byte 3)"}},
        BadInput{"text",
                 "edges @t.txt",
                 {{"t.txt", "# notes\nHello, world.\n"}},
                 {"t.txt: neither", "line 2 begins with 'Hello,'"}},
        // OBJ damage, told as the JSON reader tells it.
        BadInput{"twocoordinates",
                 "edges @m.obj",
                 {{"m.obj", "v 1 1\n"}},
                 {"m.obj: line 1: expected x y z, found 2 numbers"}},
        BadInput{"nan",
                 "edges @m.obj",
                 {{"m.obj", "v 0 0 0\nv nan 0 0\n"}},
                 {"m.obj: line 2: coordinate 1: 'nan' is not a number that fits a float"}},
        BadInput{
            "word", "edges @m.obj", {{"m.obj", "v 0 abc 0\n"}}, {"coordinate 2: 'abc' is not"}},
        BadInput{"pastfloat",
                 "edges @m.obj",
                 {{"m.obj", "v 0 0 1e308\n"}},
                 {"coordinate 3: '1e308' is not a number that fits a float"}},
        BadInput{"past2to31",
                 "edges @m.obj",
                 {{"m.obj", kTriangle + "f 1 2 2147483649\n"}},
                 {"line 4: face corner 3: index 2147483649 out of range (3 points)"}},
        BadInput{"past2to64",
                 "edges @m.obj",
                 {{"m.obj", kTriangle + "f 1 2 99999999999999999999/1\n"}},
                 {"index 99999999999999999999 out of range"}},
        BadInput{"textindex",
                 "edges @m.obj",
                 {{"m.obj", kTriangle + "f 1 2 three\n"}},
                 {"face corner 3: 'three' is not a point index"}},
        BadInput{"nothing",
                 "render @m.obj -o /dev/null",
                 {{"m.obj", "v 0 0 0\nv 1 0 0\nv 2 0 0\nf 1 2 3\n"}},
                 {"m.obj: nothing to render", "1 polygons, 3 points"}},
        // Options: numbers out of range or not finite, and choices a panel does not offer.
        BadInput{"turnnan",
                 "render builtin:cube --turn nan",
                 {},
                 {"--turn", "a number from -3600 to 3600, not 'nan'"}},
        BadInput{"turninf", "edges builtin:cube --turn inf", {}, {"--turn", "not 'inf'"}},
        BadInput{"turnhuge", "render builtin:cube --turn 1e308", {}, {"--turn", "1e308"}},
        BadInput{"smoothingnan",
                 "render builtin:cube --smoothing nan",
                 {},
                 {"--smoothing", "from 0 to 180"}},
        BadInput{"threads",
                 "render builtin:cube --threads abc",
                 {},
                 {"--threads", "a whole number from 0 to 1024 (0: one per core), not 'abc'"}},
        BadInput{"channel",
                 "panel --set out_channel=8",
                 {},
                 {"out_channel' takes 0 to 7 (0: None", "not '8'"}},
        BadInput{"mode", "render builtin:cube --set out_mode=3", {}, {"out_mode' takes 0 to 2"}},
        BadInput{"zoom", "render builtin:cube --zoom 0.5", {}, {"--zoom", "from 1 to 1000"}},
        BadInput{"aim", "render builtin:cube --aim 1,nan,0", {}, {"--aim", "not 'nan'"}},
        BadInput{"blend", "panel --set corner_blend=2", {}, {"corner_blend' takes 0 or 1"}},
        BadInput{"kind", "panel --set edge_kind=-1", {}, {"edge_kind' takes 0 to 2"}},
        BadInput{"nodekind", "panel --node --set edge_kind=3", {}, {"edge_kind' takes 0 to 2"}},
        BadInput{
            "toggle", "edges builtin:cube --set smooth_edge=2", {}, {"smooth_edge' takes 0 or 1"}},
        BadInput{"nodetoggle",
                 "shade --node builtin:cube --samples /dev/null --set cross_polygons=2",
                 {},
                 {"cross_polygons' takes 0 or 1"}},
        BadInput{"degrees",
                 "panel --set edge_dangle=1e308deg",
                 {},
                 {"edge_dangle' takes a finite number"}},
        BadInput{"nodescene",
                 "panel --scene @n.scene",
                 {{"n.scene", "korv-scene 1\nnode Korv_Edge\n  I4 256\nend\n"}},
                 {"n.scene", "(--node reads them)"}},
        // Writing, checked before the render and after it.
        BadInput{"full",
                 "render builtin:cube --size 8x6 -o /dev/full",
                 {},
                 {"/dev/full: writing failed (No space left on device)"}},
        BadInput{"nofolder",
                 "render builtin:cube -o @none/x.png",
                 {},
                 {"x.png: cannot be written (", "none: No such file or directory)"}},
        BadInput{"command",
                 "scene --help",
                 {},
                 {"unknown command 'scene' (commands: edges, info, panel, render, shade)"}}),
    [](const ::testing::TestParamInfo<BadInput> &info) {
      return std::string(info.param.name) + std::to_string(info.index);
    });

// A 3D importer's own OBJ test files (Debian's assimp-testmodels), valid and
// not: each renders, or is refused with one line naming it.
TEST_F(KorvHostEdges, ForeignObjFilesRenderOrGetOneLineNamingThem) {
  std::vector<fs::path> files;
  for (const char *folder : {"/usr/share/assimp/models/OBJ", "/usr/share/assimp/models/invalid"}) {
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(folder, ec))
      if (entry.path().extension() == ".obj")
        files.push_back(entry.path());
  }
  if (files.empty())
    GTEST_SKIP() << "assimp-testmodels is not installed";
  std::sort(files.begin(), files.end());
  int rendered = 0;
  for (const fs::path &file : files) {
    const fs::path png = dir_ / "picture.png";
    fs::remove(png);
    const ToolRun r =
        run_tool("render " + quoted(file.string()) + " --size 24x18 -o " + quoted(png.string()));
    SCOPED_TRACE(file.string() + ": " + r.err);
    const bool refused = r.status == 2 &&
                         r.err.rfind("korv-host: render: " + file.string() + ": ", 0) == 0 &&
                         std::count(r.err.begin(), r.err.end(), '\n') == 1;
    EXPECT_TRUE(r.status == 0 ? fs::exists(png) && fs::file_size(png) > 0 : refused);
    EXPECT_TRUE(r.status == 0 || file.filename() != "box_UTF16BE.obj");  // a box in UTF-16
    rendered += r.status == 0 ? 1 : 0;
  }
  EXPECT_GT(rendered, 10);
}

}  // namespace
}  // namespace korv::testing
