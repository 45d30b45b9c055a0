// The text and binary forms of a stored state: exact layouts, round trips,
// and damaged input read as far as it goes.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/scene_state.h"
#include "host/scene_state_binary.h"
#include "host/scene_state_text.h"
#include "instance/persistence.h"
#include "state_builder.h"

namespace korv::testing {
namespace {

using host::ParseReport;
using host::StateItems;
using host::StateKind;

StateItems default_state() {
  EdgeInstance inst = default_instance();
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
      "  I4 14\n"
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
      "    \"corner_blend\"\n"
      "    U4 0x50494E54\n"
      "    I4 1\n"
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

// Every value function of the host's state records, written in one mode,
// kept in one stored form and read back in the same mode.
struct FormCase {
  const char *name;
  int io_mode;
  StateItems (*store)(const StateItems &, ParseReport &);
};

StateItems through_text(const StateItems &items, ParseReport &report) {
  return host::parse_state_text(host::format_state_text(items), report);
}
StateItems through_binary(const StateItems &items, ParseReport &report) {
  return host::decode_state_binary(host::encode_state_binary(items), report);
}

class EveryValueKind : public ::testing::TestWithParam<FormCase> {};

TEST_P(EveryValueKind, SurvivesTheStoredForm) {
  const LWBlockIdent ident[] = {{make_id('S', 'U', 'R', 'F'), "Surface"}, {0, nullptr}};
  const char raw[] = {'\x00', '\x7F', '\x80', '\xFF'};
  const char i1[] = {-128, -1, 0, 127};
  const short i2[] = {-32768, -2, 0, 32767};
  const std::int32_t i4[] = {-2147483647 - 1, -3, 0, 2147483647};
  const unsigned char u1[] = {0, 1, 0x7F, 0xFF};
  const unsigned short u2[] = {0, 1, 0x8000, 0xFFFF};
  const std::uint32_t u4[] = {0, 1, 0x80000000u, 0xFFFFFFFFu};
  const float fp[] = {-0.0f, 0.1f, 1e-45f, 3.0e38f};

  host::StateWriter writer(GetParam().io_mode);
  const LWSaveState *w = writer.state();
  EXPECT_EQ(w->ioMode, GetParam().io_mode);
  w->write(w->writeData, raw, 4);
  w->writeI1(w->writeData, i1, 4);
  w->writeI2(w->writeData, i2, 4);
  w->writeI4(w->writeData, i4, 4);
  w->beginBlk(w->writeData, ident, 0);
  w->writeU1(w->writeData, u1, 4);
  w->writeU2(w->writeData, u2, 4);
  w->writeU4(w->writeData, u4, 4);
  w->endBlk(w->writeData);
  w->writeFP(w->writeData, fp, 4);
  w->writeStr(w->writeData, "text");
  w->writeID(w->writeData, ident);
  ASSERT_TRUE(writer.complete());

  ParseReport report;
  const StateItems stored = GetParam().store(writer.items(), report);
  ASSERT_TRUE(report.complete()) << report.problems.front();
  host::StateReader reader(stored, GetParam().io_mode);
  const LWLoadState *r = reader.state();
  EXPECT_EQ(r->ioMode, GetParam().io_mode);
  char raw_in[4], i1_in[4];
  short i2_in[4];
  std::int32_t i4_in[4];
  unsigned char u1_in[4];
  unsigned short u2_in[4];
  std::uint32_t u4_in[4];
  float fp_in[4];
  char text[8];
  EXPECT_EQ(r->read(r->readData, raw_in, 4), 4);
  EXPECT_EQ(r->readI1(r->readData, i1_in, 4), 4);
  EXPECT_EQ(r->readI2(r->readData, i2_in, 4), 4);
  EXPECT_EQ(r->readI4(r->readData, i4_in, 4), 4);
  EXPECT_EQ(r->findBlk(r->readData, ident), ident[0].id);
  EXPECT_EQ(r->depth(r->readData), 1);
  EXPECT_EQ(r->readU1(r->readData, u1_in, 4), 4);
  EXPECT_EQ(r->readU2(r->readData, u2_in, 4), 4);
  EXPECT_EQ(r->readU4(r->readData, u4_in, 4), 4);
  r->endBlk(r->readData);
  EXPECT_EQ(r->readFP(r->readData, fp_in, 4), 4);
  EXPECT_EQ(r->readStr(r->readData, text, sizeof text), 4);
  EXPECT_EQ(r->readID(r->readData, ident), ident[0].id);
  EXPECT_EQ(reader.shortfalls(), 0u);
  EXPECT_EQ(std::memcmp(raw_in, raw, 4), 0);
  EXPECT_EQ(std::memcmp(i1_in, i1, 4), 0);
  EXPECT_EQ(std::memcmp(i2_in, i2, sizeof i2), 0);
  EXPECT_EQ(std::memcmp(i4_in, i4, sizeof i4), 0);
  EXPECT_EQ(std::memcmp(u1_in, u1, 4), 0);
  EXPECT_EQ(std::memcmp(u2_in, u2, sizeof u2), 0);
  EXPECT_EQ(std::memcmp(u4_in, u4, sizeof u4), 0);
  EXPECT_EQ(std::memcmp(fp_in, fp, sizeof fp), 0);
  EXPECT_STREQ(text, "text");
}

TEST_P(EveryValueKind, ReadsOnlyValuesOfTheirOwnKind) {
  const LWBlockIdent wanted[] = {{make_id('W', 'A', 'N', 'T'), "Wanted"}, {0, nullptr}};
  const LWBlockIdent other[] = {{make_id('O', 'T', 'H', 'R'), "Other"}, {0, nullptr}};
  host::StateWriter writer(GetParam().io_mode);
  const LWSaveState *w = writer.state();
  const short two = 2;
  w->writeI2(w->writeData, &two, 1);
  w->writeID(w->writeData, other);
  ParseReport report;
  const StateItems stored = GetParam().store(writer.items(), report);
  host::StateReader reader(stored, GetParam().io_mode);
  const LWLoadState *r = reader.state();
  unsigned short u2 = 0;
  EXPECT_EQ(r->readU2(r->readData, &u2, 1), 0);   // an I2 is next, not a U2
  EXPECT_EQ(r->readID(r->readData, wanted), 0u);  // no identifier is next
  short i2 = 0;
  EXPECT_EQ(r->readI2(r->readData, &i2, 1), 1);
  EXPECT_EQ(i2, 2);
  EXPECT_EQ(r->readID(r->readData, wanted), 0u);  // an identifier, but not one asked for
  EXPECT_EQ(reader.shortfalls(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Forms, EveryValueKind,
                         ::testing::Values(FormCase{"ascii_text", LWIO_ASCII, through_text},
                                           FormCase{"binary", LWIO_BINARY, through_binary}),
                         [](const auto &info) { return std::string(info.param.name); });

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
