// The stand-in host's state records: what the writer keeps and how the
// reader hands it back, block by block.
#include "host/scene_state.h"

#include <gtest/gtest.h>

#include <vector>

#include "state_builder.h"

namespace korv::testing {
namespace {

using host::StateItems;
using host::StateKind;
using host::StateReader;
using host::StateWriter;

constexpr LWID kAAAA = make_id('A', 'A', 'A', 'A');
constexpr LWID kBBBB = make_id('B', 'B', 'B', 'B');
const LWBlockIdent kListA[] = {{kAAAA, "Alpha"}, {0, nullptr}};
const LWBlockIdent kListB[] = {{kBBBB, "Beta"}, {0, nullptr}};
const LWBlockIdent kListAB[] = {{kBBBB, "Beta"}, {kAAAA, "Alpha"}, {0, nullptr}};

struct Reading {
  explicit Reading(const StateItems &items) : reader(items), s(reader.state()), d(s->readData) {}
  StateReader reader;
  const LWLoadState *s;
  void *d;
};

TEST(StateWriter, KeepsOneRunPerCallInsideTheOpenBlock) {
  StateBuilder b;
  b.i4({1, 2}).begin(kListA).str("x").bytes({7, 8}).end().u4(3);
  const StateItems &items = b.items();
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].kind, StateKind::I4);
  EXPECT_EQ(items[0].words, (std::vector<std::uint32_t>{1, 2}));
  EXPECT_EQ(items[1].kind, StateKind::Block);
  EXPECT_EQ(items[1].id, kAAAA);
  EXPECT_EQ(items[1].token, "Alpha");
  ASSERT_EQ(items[1].items.size(), 2u);
  EXPECT_EQ(items[1].items[0].kind, StateKind::Str);
  EXPECT_EQ(items[1].items[1].bytes, (std::vector<unsigned char>{7, 8}));
  EXPECT_EQ(items[2].kind, StateKind::U4);
}

TEST(StateWriter, IsIncompleteWhenBlocksAreLeftOpenOrClosedTooOften) {
  StateWriter open;
  open.state()->beginBlk(open.state()->writeData, kListA, 0);
  EXPECT_EQ(open.state()->depth(open.state()->writeData), 1);
  EXPECT_FALSE(open.complete());

  StateWriter extra;
  extra.state()->endBlk(extra.state()->writeData);
  EXPECT_FALSE(extra.complete());
  EXPECT_TRUE(extra.items().empty());

  StateWriter balanced;
  balanced.state()->beginBlk(balanced.state()->writeData, kListA, 0);
  balanced.state()->endBlk(balanced.state()->writeData);
  EXPECT_TRUE(balanced.complete());
}

TEST(StateWriter, IgnoresEmptyAndNullWrites) {
  StateWriter w;
  const LWSaveState *s = w.state();
  int v = 1;
  s->writeI4(s->writeData, &v, 0);
  s->writeI4(s->writeData, &v, -2);
  s->writeI4(s->writeData, nullptr, 3);
  EXPECT_TRUE(w.items().empty());
  EXPECT_TRUE(w.complete());
  s->writeStr(s->writeData, nullptr);
  EXPECT_TRUE(w.items().empty());
  EXPECT_FALSE(w.complete());
}

TEST(StateReader, ReadsAcrossRunsOfOneKindAndStopsAtAnother) {
  StateBuilder b;
  b.i4({1, 2}).i4(3).u4(4);
  Reading r(b.items());
  int v[4] = {0, 0, 0, 0};
  EXPECT_EQ(r.s->readI4(r.d, v, 1), 1);
  EXPECT_EQ(r.s->readI4(r.d, v + 1, 3), 2);  // stops before the U4
  EXPECT_EQ(v[0], 1);
  EXPECT_EQ(v[1], 2);
  EXPECT_EQ(v[2], 3);
  EXPECT_EQ(v[3], 0);
  unsigned int u = 0;
  EXPECT_EQ(r.s->readU4(r.d, &u, 1), 1);
  EXPECT_EQ(u, 4u);
  EXPECT_EQ(r.s->readU4(r.d, &u, 1), 0);  // the end of the data
  EXPECT_EQ(r.reader.shortfalls(), 2u);
}

TEST(StateReader, NeverReadsPastTheEndOfABlock) {
  StateBuilder b;
  b.begin(kListA).bytes({1, 2, 3}).end().bytes({9, 9});
  Reading r(b.items());
  ASSERT_EQ(r.s->findBlk(r.d, kListA), kAAAA);
  unsigned char out[5] = {0, 0, 0, 0, 0};
  EXPECT_EQ(r.s->readU1(r.d, out, 5), 3);
  EXPECT_EQ(out[3], 0);
  EXPECT_EQ(r.s->readU1(r.d, out, 5), 0);
  r.s->endBlk(r.d);
  EXPECT_EQ(r.s->readU1(r.d, out, 5), 2);
  EXPECT_EQ(out[0], 9);
}

TEST(StateReader, EndBlkSkipsWhatWasNotRead) {
  StateBuilder b;
  b.begin(kListA).i4({1, 2, 3}).begin(kListB).i4(4).end().end().i4(5);
  Reading r(b.items());
  ASSERT_EQ(r.s->findBlk(r.d, kListA), kAAAA);
  int v = 0;
  EXPECT_EQ(r.s->readI4(r.d, &v, 1), 1);
  EXPECT_EQ(r.s->depth(r.d), 1);
  r.s->endBlk(r.d);
  EXPECT_EQ(r.s->depth(r.d), 0);
  EXPECT_EQ(r.s->readI4(r.d, &v, 1), 1);
  EXPECT_EQ(v, 5);
}

TEST(StateReader, FindBlkReturnsTheIdOfTheNextBlockOnlyWhenListed) {
  StateBuilder b;
  b.begin(kListB).i4(1).end().begin(kListA).i4(2).end();
  Reading r(b.items());
  EXPECT_EQ(r.s->findBlk(r.d, kListA), 0u);  // Beta is next: passed over
  int v = 0;
  EXPECT_EQ(r.s->readI4(r.d, &v, 1), 0);  // the stand-in holds nothing
  r.s->endBlk(r.d);
  EXPECT_EQ(r.s->findBlk(r.d, kListAB), kAAAA);
  EXPECT_EQ(r.s->readI4(r.d, &v, 1), 1);
  EXPECT_EQ(v, 2);
  r.s->endBlk(r.d);
  EXPECT_EQ(r.reader.unbalanced_ends(), 0u);
}

TEST(StateReader, FindBlkBeforeAValueConsumesNothing) {
  StateBuilder b;
  b.i4(7).begin(kListA).end();
  Reading r(b.items());
  EXPECT_EQ(r.s->findBlk(r.d, kListA), 0u);
  EXPECT_EQ(r.s->depth(r.d), 1);
  r.s->endBlk(r.d);  // closes the stand-in, not the whole data
  EXPECT_EQ(r.s->depth(r.d), 0);
  int v = 0;
  EXPECT_EQ(r.s->readI4(r.d, &v, 1), 1);
  EXPECT_EQ(v, 7);
  EXPECT_EQ(r.s->findBlk(r.d, kListA), kAAAA);
}

TEST(StateReader, FindBlkInsideAMissingBlockFindsNothing) {
  StateBuilder b;
  b.begin(kListA).end();
  Reading r(b.items());
  EXPECT_EQ(r.s->findBlk(r.d, kListB), 0u);
  EXPECT_EQ(r.s->findBlk(r.d, kListA), 0u);
  EXPECT_EQ(r.s->depth(r.d), 2);
  r.s->endBlk(r.d);
  r.s->endBlk(r.d);
  EXPECT_EQ(r.s->depth(r.d), 0);
  EXPECT_EQ(r.s->findBlk(r.d, nullptr), 0u);
  r.s->endBlk(r.d);
  r.s->endBlk(r.d);  // one too many: counted, nothing moves
  EXPECT_EQ(r.reader.unbalanced_ends(), 1u);
  EXPECT_EQ(r.s->depth(r.d), 0);
}

TEST(StateReader, BlocksKnownOnlyByTokenAreFoundByToken) {
  host::StateItem block;
  block.token = "Alpha";
  host::StateItem by_id;
  by_id.id = kAAAA;
  const StateItems items = {block, by_id};
  Reading r(items);
  const LWBlockIdent other_token[] = {{kAAAA, "alpha"}, {0, nullptr}};
  EXPECT_EQ(r.s->findBlk(r.d, other_token), 0u);  // passed over
  r.s->endBlk(r.d);
  EXPECT_EQ(r.s->findBlk(r.d, other_token), kAAAA);  // the id decides
  r.s->endBlk(r.d);

  Reading again(items);
  EXPECT_EQ(again.s->findBlk(again.d, kListA), kAAAA);
}

TEST(StateReader, ReadStrCutsToTheBufferAndRefusesOtherValues) {
  StateBuilder b;
  b.str("parameter").i4(1).str("");
  Reading r(b.items());
  char buffer[5] = "????";
  EXPECT_EQ(r.s->readStr(r.d, buffer, 5), 4);
  EXPECT_STREQ(buffer, "para");
  EXPECT_EQ(r.s->readStr(r.d, buffer, 5), -1);  // an I4 is next
  int v = 0;
  EXPECT_EQ(r.s->readI4(r.d, &v, 1), 1);
  EXPECT_EQ(r.s->readStr(r.d, buffer, 0), -1);
  EXPECT_EQ(r.s->readStr(r.d, buffer, 5), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(r.s->readStr(r.d, buffer, 5), -1);  // the end
}

TEST(StateReader, FloatsAndUnsignedWordsKeepTheirBits) {
  StateBuilder b;
  b.fp(-0.0f).fp(1e-45f).u4(0xFFFFFFFFu);
  Reading r(b.items());
  float f[2] = {1, 1};
  EXPECT_EQ(r.s->readFP(r.d, f, 2), 2);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(f[0]), 0x80000000u);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(f[1]), 1u);
  unsigned int u = 0;
  EXPECT_EQ(r.s->readU4(r.d, &u, 1), 1);
  EXPECT_EQ(u, 0xFFFFFFFFu);
}

TEST(StateReader, RunsWithoutValuesStandInNobodysWay) {
  host::StateItem empty_bytes;
  empty_bytes.kind = StateKind::U1;
  host::StateItem empty_words;
  empty_words.kind = StateKind::FP;
  StateBuilder b;
  b.i4(3).str("s").begin(kListA).end();
  const StateItems &built = b.items();
  const StateItems items = {empty_bytes, built[0], empty_words, built[1], empty_bytes, built[2]};
  Reading r(items);
  int v = 0;
  EXPECT_EQ(r.s->readI4(r.d, &v, 1), 1);
  char text[4];
  EXPECT_EQ(r.s->readStr(r.d, text, 4), 1);
  EXPECT_EQ(r.s->findBlk(r.d, kListA), kAAAA);
}

}  // namespace
}  // namespace korv::testing
