// The text and binary forms of a stored state: exact layouts, round trips,
// and damaged input read as far as it goes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/scene_state.h"
#include "host/scene_state_binary.h"
#include "host/scene_state_text.h"
#include "shader/persistence.h"
#include "state_builder.h"

namespace korv::testing {
namespace {

using host::ParseReport;
using host::StateItems;
using host::StateKind;

StateItems default_state() {
  EdgeShaderInstance inst = default_instance();
  host::StateWriter writer;
  instance_save(&inst, writer.state());
  return writer.items();
}

StateItems from_text(const std::string &text, ParseReport &report) {
  return host::parse_state_text(text, report);
}

TEST(TextForm, ShowsADefaultInstanceOneValueALine) {
  const std::string text = host::format_state_text(default_state());
  const std::string start =
      "I4 256\n"
      "{ PluginDataLib\n"
      "  I4 10\n"
      "  { PluginDataParam\n"
      "    \"edge_width\"\n"
      "    U4 0x5044424C\n"
      "    U1 3F 94 7A E1 47 AE 14 7B\n"
      "  }\n"
      "  { PluginDataParam\n"
      "    \"edge_dangle\"\n"
      "    U4 0x5044424C\n"
      "    U1 3F F8 FE 3C C6 FF 87 DE\n"
      "  }\n"
      "  { PluginDataParam\n"
      "    \"smooth_edge\"\n"
      "    U4 0x50494E54\n"
      "    I4 1\n"
      "  }\n";
  EXPECT_EQ(text.substr(0, start.size()), start);
  const std::string end =
      "  { PluginDataParam\n"
      "    \"out_width\"\n"
      "    U4 0x5044424C\n"
      "    U1 3F B9 99 99 99 99 99 9A\n"
      "  }\n"
      "}\n";
  ASSERT_GE(text.size(), end.size());
  EXPECT_EQ(text.substr(text.size() - end.size()), end);
}

TEST(TextForm, ReadsBackWhatItWrote) {
  ParseReport report;
  const StateItems items = default_state();
  const StateItems parsed = from_text(host::format_state_text(items), report);
  EXPECT_TRUE(report.complete());
  // Blocks come back by token alone; everything else is the same.
  StateItems expected = items;
  expected[1].id = 0;
  for (host::StateItem &param : expected[1].items) {
    param.id = 0;
  }
  EXPECT_EQ(parsed, expected);
}

TEST(TextForm, KeepsEveryByteOfATextAndOfARun) {
  std::vector<unsigned char> all;
  for (int c = 0; c < 256; ++c) {
    all.push_back(static_cast<unsigned char>(c));
  }
  host::StateItem text;
  text.kind = StateKind::Str;
  text.bytes = all;
  host::StateItem run;
  run.kind = StateKind::U1;
  run.bytes = all;
  const StateItems items = {text, run};
  const std::string form = host::format_state_text(items);
  ParseReport report;
  const StateItems parsed = from_text(form, report);
  EXPECT_TRUE(report.complete()) << report.problems.front();
  ASSERT_EQ(parsed.size(), 1u + 256u / 32u);  // the run is split over lines of 32 bytes
  EXPECT_EQ(parsed[0], text);
  std::vector<unsigned char> bytes;
  for (std::size_t i = 1; i < parsed.size(); ++i) {
    bytes.insert(bytes.end(), parsed[i].bytes.begin(), parsed[i].bytes.end());
  }
  EXPECT_EQ(bytes, all);
  EXPECT_EQ(form.find('\0'), std::string::npos);
}

TEST(TextForm, WritesIntegersFloatsAndIdOnlyBlocks) {
  StateBuilder b;
  b.i4({-7, 2147483647}).u4(0x80000000u).fp(0.1f).fp(-1.0f / 0.0f);
  b.begin(make_id('P', 'D', 'L', 'B'), nullptr).end();
  const std::string text = host::format_state_text(b.items(), 1);
  EXPECT_EQ(text,
            "  I4 -7\n"
            "  I4 2147483647\n"
            "  U4 0x80000000\n"
            "  FP 0.1\n"
            "  FP -inf\n"
            "  { #50444C42\n"
            "  }\n");
  ParseReport report;
  const StateItems parsed = from_text(text, report);
  EXPECT_TRUE(report.complete());
  ASSERT_EQ(parsed.size(), 6u);
  EXPECT_EQ(parsed[5].id, make_id('P', 'D', 'L', 'B'));
  EXPECT_EQ(parsed[3].words[0], std::bit_cast<std::uint32_t>(0.1f));
}

TEST(TextForm, SkipsLinesItCannotReadAndSaysWhere) {
  const std::string text =
      "I4 256\n"
      "{ PluginDataLib\n"
      "  I4 ten\n"
      "  U1 3F 94 7\n"
      "  \"open\n"
      "  what is this\n"
      "  U4 0x1FFFFFFFF\n"
      "  I4 2147483648\n"
      "  { PluginDataParam\n"
      "    \"out_channel\"\n"
      "  }\n"
      "}\n"
      "}\n";
  ParseReport report;
  const StateItems parsed = from_text(text, report);
  ASSERT_EQ(report.problems.size(), 7u);
  EXPECT_EQ(report.problems[0].rfind("line 3: ", 0), 0u) << report.problems[0];
  EXPECT_EQ(report.problems[3].rfind("line 6: ", 0), 0u) << report.problems[3];
  EXPECT_EQ(report.problems[6], "line 13: '}' closes no block");
  ASSERT_EQ(parsed.size(), 2u);
  ASSERT_EQ(parsed[1].items.size(), 1u);  // only the parameter block was readable
  EXPECT_EQ(parsed[1].items[0].items.size(), 1u);
}

TEST(TextForm, ClosesBlocksLeftOpenAtTheEnd) {
  ParseReport report;
  const StateItems parsed = from_text("{ A\n  { B\n    I4 1\n", report);
  ASSERT_EQ(report.problems.size(), 2u);
  EXPECT_EQ(report.problems[0], "line 2: block not closed before the end");
  EXPECT_EQ(report.problems[1], "line 1: block not closed before the end");
  ASSERT_EQ(parsed.size(), 1u);
  EXPECT_EQ(parsed[0].items[0].items[0].words[0], 1u);
}

TEST(TextForm, DropsBlocksNestedBeyondTheLimit) {
  std::string text;
  for (int i = 0; i < host::kMaxStateDepth + 10; ++i) {
    text += "{ B\nI4 " + std::to_string(i) + "\n";
  }
  for (int i = 0; i < host::kMaxStateDepth + 10; ++i) {
    text += "}\n";
  }
  text += "I4 -1\n";
  ParseReport report;
  const StateItems parsed = from_text(text, report);
  EXPECT_EQ(report.problems.size(), 1u);
  int depth = 0;
  for (const StateItems *level = &parsed; level != nullptr; ++depth) {
    const StateItems *inner = nullptr;
    for (const host::StateItem &item : *level) {
      if (item.kind == StateKind::Block) {
        inner = &item.items;
      }
    }
    level = inner;
  }
  EXPECT_EQ(depth - 1, host::kMaxStateDepth);
  ASSERT_EQ(parsed.size(), 2u);
  EXPECT_EQ(parsed[1].words[0], 0xFFFFFFFFu);  // the line after the deep blocks is read
}

TEST(BinaryForm, LaysOutTagsIdsLengthsAndValuesBigEndian) {
  StateBuilder b;
  b.i4(256).begin(make_id('P', 'D', 'L', 'B'), "PluginDataLib").str("ab").bytes({0x3F}).end();
  const std::vector<unsigned char> expected = {
      3, 0,   0,   0,   1,   0,   0,   1, 0,   // I4 x1: 256
      1, 'P', 'D', 'L', 'B', 0,   0,   0, 13,  // block PDLB, 13 bytes
      6, 0,   0,   0,   2,   'a', 'b',         // text "ab"
      2, 0,   0,   0,   1,   0x3F};            // U1 x1
  EXPECT_EQ(host::encode_state_binary(b.items()), expected);
}

TEST(BinaryForm, ReadsBackWhatItWroteExceptTokens) {
  StateItems items = default_state();
  StateBuilder extra;
  extra.fp(-0.0f).u4(7).bytes({});
  items.insert(items.end(), extra.items().begin(), extra.items().end());
  ParseReport report;
  const StateItems decoded = host::decode_state_binary(host::encode_state_binary(items), report);
  EXPECT_TRUE(report.complete());
  StateItems expected = items;
  expected[1].token.clear();
  for (host::StateItem &param : expected[1].items) {
    param.token.clear();
  }
  EXPECT_EQ(decoded, expected);
}

TEST(BinaryForm, EveryCutKeepsTheWholeValuesBeforeIt) {
  const std::vector<unsigned char> whole = host::encode_state_binary(default_state());
  for (std::size_t n = 0; n < whole.size(); ++n) {
    ParseReport report;
    const StateItems decoded = host::decode_state_binary(std::span(whole.data(), n), report);
    EXPECT_EQ(report.complete(), n == 0 || n == 9) << n;  // after the version, nothing is cut
    if (n >= 9) {
      ASSERT_FALSE(decoded.empty());
      EXPECT_EQ(decoded[0].words, std::vector<std::uint32_t>{256}) << n;
    }
  }
}

TEST(BinaryForm, DamageInsideABlockOfKnownLengthCostsOnlyItsRest) {
  const std::vector<unsigned char> data = {
      1,  'A', 'A', 'A', 'A', 0, 0, 0, 7,   // block of 7 bytes
      3,  0,   0,   0,   0,                 // I4 x0
      99, 1,                                // an unknown tag, and one more byte
      3,  0,   0,   0,   1,   0, 0, 0, 5};  // I4 5 after the block
  ParseReport report;
  const StateItems decoded = host::decode_state_binary(data, report);
  ASSERT_EQ(report.problems.size(), 1u);
  EXPECT_EQ(report.problems[0], "byte 14: unknown item tag 99");
  ASSERT_EQ(decoded.size(), 2u);
  EXPECT_EQ(decoded[1].words, std::vector<std::uint32_t>{5});
}

TEST(BinaryForm, HugeCountsAndLengthsTakeOnlyWhatIsThere) {
  const std::vector<unsigned char> data = {
      1, 'A',  'A',  'A',  'A',  0xFF, 0xFF, 0xFF, 0xFF,         // a block longer than the data
      3, 0xFF, 0xFF, 0xFF, 0xFF, 0,    0,    0,    9,    1, 2};  // I4 run claiming 4 G values
  ParseReport report;
  const StateItems decoded = host::decode_state_binary(data, report);
  EXPECT_EQ(report.problems.size(), 2u);
  ASSERT_EQ(decoded.size(), 1u);
  ASSERT_EQ(decoded[0].items.size(), 1u);
  EXPECT_EQ(decoded[0].items[0].words, std::vector<std::uint32_t>{9});

  ParseReport text_report;
  const StateItems cut_text =
      host::decode_state_binary(std::vector<unsigned char>{6, 0, 0, 0, 5, 'a', 'b'}, text_report);
  EXPECT_TRUE(cut_text.empty());  // a cut text is no text
  EXPECT_FALSE(text_report.complete());
}

TEST(BinaryForm, SkipsBlocksNestedBeyondTheLimit) {
  std::vector<unsigned char> data;
  const int levels = host::kMaxStateDepth + 5;
  for (int i = 0; i < levels; ++i) {
    const std::uint32_t length = std::uint32_t(9 * (levels - 1 - i));
    data.insert(data.end(),
                {1, 'B', 'B', 'B', 'B', static_cast<unsigned char>(length >> 24),
                 static_cast<unsigned char>(length >> 16), static_cast<unsigned char>(length >> 8),
                 static_cast<unsigned char>(length)});
  }
  data.insert(data.end(), {3, 0, 0, 0, 1, 0, 0, 0, 4});
  ParseReport report;
  const StateItems decoded = host::decode_state_binary(data, report);
  EXPECT_EQ(report.problems.size(), 1u);
  ASSERT_EQ(decoded.size(), 2u);
  EXPECT_EQ(decoded[1].words, std::vector<std::uint32_t>{4});
}

}  // namespace
}  // namespace korv::testing
