// korv-host shade and render, run as programs.
#include <sys/wait.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "render_fixture.h"

namespace korv::testing {
namespace {

using nlohmann::json;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

std::string slurp(const std::string &path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs korv-host with the arguments (already quoted as the shell needs).
Outcome korv_host(const std::string &name, const std::string &arguments) {
  const std::string out = output_path(name + ".out");
  const std::string err = output_path(name + ".err");
  const std::string command =
      std::string(KORV_HOST_PROGRAM) + " " + arguments + " >'" + out + "' 2>'" + err + "'";
  const int raw = std::system(command.c_str());
  Outcome run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = slurp(out);
  run.err = slurp(err);
  return run;
}

std::string write_file(const std::string &name, const std::string &text) {
  const std::string path = output_path(name);
  std::ofstream(path) << text;
  return path;
}

std::vector<json> json_lines(const std::string &text) {
  std::vector<json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    lines.push_back(json::parse(line));
  }
  return lines;
}

constexpr const char *kIdentity = "[1,0,0,0,1,0,0,0,1]";

std::string sample_line(const std::string &polygon, double x, const std::string &extra = "") {
  std::ostringstream s;
  s.precision(17);
  s << R"({"polygon": )" << polygon << R"(, "oPos": [)" << x << R"(, 0, 1], "wPos": [)" << x
    << R"(, 0, 1], "raySource": [)" << x
    << R"(, 0, 10], "wNorm": [0, 0, 1], "wNorm0": [0, 0, 1], "wXfrm": )" << kIdentity << extra
    << "}";
  return s.str();
}

TEST(ShadeCommand, PrintsOneLinePerSampleWithTheShadersResult) {
  const std::string samples = write_file(
      "shade_basic.jsonl", sample_line("1", 0.875, R"(, "diffuse": 0.5, "mirror": 0.25)") + "\n" +
                               sample_line("null", 0.875, R"(, "diffuse": 0.5)") + "\n\n" +
                               sample_line("1", 0.25) + "\n");
  const Outcome run = korv_host(
      "shade_basic", "shade builtin:cube --samples '" + samples +
                         "' --set edge_width=0.5 --set out_channel=2 --set out_width=0.25 "
                         "--set round_edge=0 --set smooth_edge=0");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto lines = json_lines(run.out);
  ASSERT_EQ(lines.size(), 3u);  // the blank line is no sample

  // 0.125 from the +x edge, inside the step: the edge normal and the mask.
  const double r = 1.0 / std::sqrt(2.0);
  EXPECT_NEAR(lines[0]["wNorm"][0].get<double>(), r, 1e-15);
  EXPECT_NEAR(lines[0]["wNorm"][2].get<double>(), r, 1e-15);
  EXPECT_EQ(lines[0]["diffuse"].get<double>(), std::exp(-0.125 / 0.25));
  EXPECT_EQ(lines[0]["mirror"].get<double>(), 0.25);
  EXPECT_EQ(lines[0]["luminous"].get<double>(), 0.0);  // absent: 0
  // No polygon: as received.
  EXPECT_EQ(lines[1]["wNorm"], json({0.0, 0.0, 1.0}));
  EXPECT_EQ(lines[1]["diffuse"].get<double>(), 0.5);
  // 0.75 from every edge: beyond the band, the mask written all the same.
  EXPECT_EQ(lines[2]["wNorm0"], json({0.0, 0.0, 1.0}));
  EXPECT_EQ(lines[2]["diffuse"].get<double>(), std::exp(-0.75 / 0.25));
  EXPECT_EQ(lines[2].size(), 9u);
}

TEST(ShadeCommand, NumbersReadBackToTheSameDoublesAsAnInProcessEvaluation) {
  const std::string samples =
      write_file("shade_exact.jsonl", sample_line("1", 0.9312345678901234) + "\n");
  const Outcome run = korv_host("shade_exact", "shade builtin:cube --samples '" + samples +
                                                   "' --set edge_width=0.3 --set out_channel=7");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto lines = json_lines(run.out);
  ASSERT_EQ(lines.size(), 1u);

  std::string error;
  auto session = host::ShaderSession::open(host::default_module_path(), error);
  ASSERT_NE(session, nullptr) << error;
  ASSERT_EQ(session->apply_settings({"edge_width=0.3", "out_channel=7"}), "");
  host::SceneObject cube(builtin("cube"));
  LWShaderAccess a{};
  a.objID = cube.id();
  a.polygon = host::polygon_id(1);
  const double x = 0.9312345678901234;
  a.oPos[0] = a.wPos[0] = a.raySource[0] = x;
  a.oPos[2] = a.wPos[2] = 1.0;
  a.raySource[2] = 10.0;
  a.wNorm[2] = a.wNorm0[2] = 1.0;
  a.wXfrm[0] = a.wXfrm[4] = a.wXfrm[8] = 1.0;
  session->init();
  session->evaluate(a);
  session->cleanup();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(lines[0]["wNorm"][i].get<double>(), a.wNorm[i]);
    EXPECT_EQ(lines[0]["wNorm0"][i].get<double>(), a.wNorm0[i]);
  }
  EXPECT_EQ(lines[0]["bumpHeight"].get<double>(), a.bumpHeight);
  EXPECT_NE(a.bumpHeight, 0.0);
}

TEST(ShadeCommand, NaNReadsAsNullAndPrintsAsNull) {
  const std::string samples = write_file(
      "shade_nan.jsonl",
      R"({"polygon": null, "oPos": [0,0,1], "wPos": [0,0,1], "raySource": [0,0,5], "wNorm": [null,0,1], "wNorm0": [0,0,1], "wXfrm": [1,0,0,0,1,0,0,0,1], "specular": null})"
      "\n");
  const Outcome run = korv_host("shade_nan", "shade builtin:cube --samples '" + samples + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  const auto lines = json_lines(run.out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0]["wNorm"][0].is_null());
  EXPECT_TRUE(lines[0]["specular"].is_null());
  EXPECT_EQ(lines[0]["wNorm"][2].get<double>(), 1.0);
}

TEST(ShadeCommand, DeformedPositionsReachTheEdgesWhenDeformedScanningIsOn) {
  // The cube with its +z face slid one unit along +x: the +x face leans, so
  // the +x/+z edge normal is the normalised sum of (0, 0, 1) and the leaning
  // face's normal (2, 0, -1) / sqrt(5).
  std::string points;
  for (int i = 0; i < 8; ++i) {
    const int z = (i & 4) ? 1 : -1;
    const int x = ((i & 1) ? 1 : -1) + (z == 1 ? 1 : 0);
    points += std::string(i ? "," : "") + "[" + std::to_string(x) + "," +
              std::to_string((i & 2) ? 1 : -1) + "," + std::to_string(z) + "]";
  }
  const std::string deformed = write_file(
      "sheared_cube.json",
      R"({"points": [)" + points +
          R"(], "polygons": [[0,2,3,1],[4,5,7,6],[0,1,5,4],[2,6,7,3],[0,4,6,2],[1,3,7,5]]})");
  const std::string samples = write_file("shade_deformed.jsonl", sample_line("1", 0.875) + "\n");
  const std::string common = "shade builtin:cube --samples '" + samples + "' --deformed '" +
                             deformed +
                             "' --set edge_width=0.5 --set round_edge=0 --set smooth_edge=0";
  const Outcome on = korv_host("shade_deformed_on", common + " --set use_deform=1");
  const Outcome off = korv_host("shade_deformed_off", common);
  ASSERT_EQ(on.status, 0) << on.err;
  ASSERT_EQ(off.status, 0) << off.err;
  const double lean[3] = {2.0 / std::sqrt(5.0), 0.0, -1.0 / std::sqrt(5.0)};
  const double sum[3] = {lean[0], 0.0, lean[2] + 1.0};
  const double length = std::sqrt(sum[0] * sum[0] + sum[2] * sum[2]);
  const json with = json_lines(on.out).at(0)["wNorm0"];
  EXPECT_NEAR(with[0].get<double>(), sum[0] / length, 1e-12);
  EXPECT_NEAR(with[2].get<double>(), sum[2] / length, 1e-12);
  // Without deformed scanning the edges come from the base positions.
  const json without = json_lines(off.out).at(0)["wNorm0"];
  EXPECT_NEAR(without[0].get<double>(), 1.0 / std::sqrt(2.0), 1e-12);
  EXPECT_NEAR(without[2].get<double>(), 1.0 / std::sqrt(2.0), 1e-12);
}

struct BadLine {
  const char *name;
  std::string text;
};

void PrintTo(const BadLine &line, std::ostream *out) {
  *out << line.name;
}

class ShadeCommandBadLine : public ::testing::TestWithParam<BadLine> {};

TEST_P(ShadeCommandBadLine, IsAOneLineErrorNamingTheLineWithStatus2) {
  const BadLine bad = GetParam();
  const std::string samples = write_file(std::string("shade_bad_") + bad.name + ".jsonl",
                                         sample_line("1", 0.5) + "\n" + sample_line("2", 0.5) +
                                             "\n" + bad.text + "\n" + sample_line("1", 0.5) + "\n");
  const Outcome run = korv_host(std::string("shade_bad_") + bad.name,
                                "shade builtin:cube --samples '" + samples + "'");
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find(":3: "), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_EQ(json_lines(run.out).size(), 2u);  // the samples before it
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ShadeCommandBadLine,
    ::testing::Values(
        BadLine{"notjson", "{\"polygon\": 1,"}, BadLine{"array", "[1, 2, 3]"},
        BadLine{"shortvector", R"({"polygon": 1, "oPos": [0, 0]})"},
        BadLine{"nopolygon", sample_line("1", 0.5).replace(1, 13, "")},
        BadLine{"polygonrange", sample_line("6", 0.5)},
        BadLine{"negativepolygon", sample_line("-1", 0.5)},
        BadLine{"textchannel", sample_line("1", 0.5, R"(, "diffuse": "high")")},
        BadLine{"unknownfield", sample_line("1", 0.5, R"(, "colour": 1)")},
        BadLine{
            "shortmatrix",
            R"({"polygon": 1, "oPos": [0,0,1], "wPos": [0,0,1], "raySource": [0,0,5], "wNorm": [0,0,1], "wNorm0": [0,0,1], "wXfrm": [1,0,0]})"}),
    [](const ::testing::TestParamInfo<BadLine> &info) { return std::string(info.param.name); });

TEST(ShadeCommand, AMeshThatCannotBeReadIsAnErrorWithStatus2) {
  const std::string samples = write_file("shade_nomesh.jsonl", sample_line("1", 0.5) + "\n");
  const Outcome run =
      korv_host("shade_nomesh", "shade builtin:no-such-mesh --samples '" + samples + "'");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_TRUE(run.out.empty());
}

TEST(RenderCommand, CompareWritesThreeLabelledPanelsAndASummary) {
  const std::string png = output_path("render_compare.png");
  std::remove(png.c_str());
  const Outcome run = korv_host("render_compare",
                                "render builtin:panel --compare --size 64x48 "
                                "--threads 2 --set open_edge=1 -o '" +
                                    png + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  Image picture;
  std::string error;
  ASSERT_TRUE(host::render::read_png(png, picture, error)) << error;
  EXPECT_EQ(picture.width, 3 * 64 + 2 * 4);
  EXPECT_EQ(picture.height, 48 + 24);  // with the strip of labels
  EXPECT_NE(run.out.find("64x48"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("2 threads"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("samples/s"), std::string::npos) << run.out;
  // The label strip holds light text on a dark ground.
  int light = 0;
  for (int y = 0; y < 24; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      light += picture.pixel(x, y)[0] > 0.8f ? 1 : 0;
    }
  }
  EXPECT_GT(light, 100);
}

TEST(RenderCommand, MaskAloneIsTheThirdPanelOfCompare) {
  const std::string compare_png = output_path("render_mask_compare.png");
  const std::string mask_png = output_path("render_mask.png");
  const std::string settings = " --size 64x48 --set edge_width=0.3 --set out_width=0.2 -o '";
  ASSERT_EQ(korv_host("render_mask_compare",
                      "render builtin:machined --compare" + settings + compare_png + "'")
                .status,
            0);
  const Outcome run =
      korv_host("render_mask", "render builtin:machined --mask" + settings + mask_png + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("64x48,"), std::string::npos) << run.out;  // one panel
  Image compare_picture, mask;
  std::string error;
  ASSERT_TRUE(host::render::read_png(compare_png, compare_picture, error)) << error;
  ASSERT_TRUE(host::render::read_png(mask_png, mask, error)) << error;
  ASSERT_EQ(mask.width, 64);
  ASSERT_EQ(mask.height, 48);
  // The third panel starts after two panels and their gaps, below the labels.
  int white = 0;
  for (int y = 0; y < 48; ++y) {
    for (int x = 0; x < 64; ++x) {
      const float *m = mask.pixel(x, y);
      const float *c = compare_picture.pixel(2 * (64 + 4) + x, 24 + y);
      ASSERT_EQ(host::render::to_byte(m[0]), host::render::to_byte(c[0])) << x << "," << y;
      ASSERT_EQ(host::render::to_byte(m[1]), host::render::to_byte(c[1])) << x << "," << y;
      white += m[0] > 0.9f ? 1 : 0;
    }
  }
  EXPECT_GT(white, 20);  // the edges show
}

// The node's Normal output shades and its Edge output fills the mask panel:
// the shader's panels to the byte, under labels naming the node; with the
// object turned, either matrix writing, one matrix per object with oP exact
// or undeformed (a single-precision or shifted oP moves the shaded point),
// and the search across polygons.
TEST(RenderCommand, NodeCompareIsTheShadersPictureUnderItsOwnLabels) {
  for (const std::string args :
       {"builtin:machined", "builtin:loops --size 160x120 --turn 30 --set cross_polygons=1"}) {
    const std::string shader_png = output_path("render_shader.png");
    ASSERT_EQ(korv_host("render_shader", "render --compare " + args + " -o " + shader_png).status,
              0);
    for (const std::string matrix : {"rows --op fitted", "columns --op fitted",
                                     "columns --op exact", "rows --op undeformed"}) {
      const std::string node_png = output_path("render_node.png");
      const Outcome run = korv_host("render_node", "render --node --matrix " + matrix +
                                                       " --compare " + args + " -o " + node_png);
      ASSERT_EQ(run.status, 0) << run.err;
      // A turned object decides the writing, and no sample tells the other.
      const std::string told = args.find("--turn") != std::string::npos
                                   ? matrix.substr(0, matrix.find(' '))
                                   : "undecided";
      EXPECT_NE(run.out.find("matrix reading: " + told + ", 0 samples"), std::string::npos)
          << run.out;
      Image node, shader;
      std::string error;
      ASSERT_TRUE(read_png(node_png, node, error) && read_png(shader_png, shader, error)) << error;
      const Image panels = unlabelled(node);
      EXPECT_EQ(panels.height + host::render::kLabelStrip, node.height);
      EXPECT_EQ(panels.rgb, unlabelled(shader).rgb) << args << " --matrix " << matrix;
      EXPECT_NE(node.rgb, shader.rgb);  // the labels
      std::remove(node_png.c_str());
    }
  }
}

TEST(RenderCommand, MaskAndCompareTogetherAreAnErrorWithStatus2) {
  const Outcome run =
      korv_host("render_mask_both", "render builtin:cube --mask --compare -o /dev/null");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
}

TEST(RenderCommand, ABadSizeIsAnErrorWithStatus2) {
  for (const char *size : {"64", "0x10", "64x48x2", "axb", "99999x10"}) {
    const Outcome run = korv_host(
        "render_badsize", std::string("render builtin:cube --size ") + size + " -o /dev/null");
    EXPECT_EQ(run.status, 2) << size;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
}

}  // namespace
}  // namespace korv::testing
