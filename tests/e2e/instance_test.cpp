#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include "edges/edge_records.h"
#include "instance/edge_instance.h"
#include "module_fixture.h"

namespace korv::testing {
namespace {

// The instance the loaded module created, viewed through its record layout.
EdgeInstance &view(LWInstance inst) {
  return *static_cast<EdgeInstance *>(inst);
}

// Puts databases into an instance's cache, as queries would.
void fill_cache(EdgeInstance &inst, int count) {
  for (int i = 0; i < count; ++i) {
    auto db = std::make_unique<ObjectEdgeDatabase>();
    db->object_id = reinterpret_cast<LWItemID>(std::uintptr_t(100 + i));
    ASSERT_TRUE(db->points.assign_keys({1, 2}));
    db->edge_list = std::make_unique<EdgeList>();
    ASSERT_TRUE(db->edge_list->records.push_back({}));
    ASSERT_TRUE(inst.cache->databases.push_back(std::move(db)));
  }
}

class Instance : public SessionTest {
 protected:
  const LWInstanceFuncs &funcs() const { return *session_->handler().inst; }
  LWInstance make(void *context) const {
    LWError error = nullptr;
    return funcs().create(funcs().priv, context, &error);
  }
};

TEST_F(Instance, CreateSetsTheDefaultsBitForBit) {
  int context_marker = 0;
  LWInstance created = make(&context_marker);
  ASSERT_NE(created, nullptr);
  const EdgeInstance &inst = view(created);
  EXPECT_EQ(std::bit_cast<std::uint64_t>(inst.edge_width), std::bit_cast<std::uint64_t>(0.02));
  EXPECT_EQ(std::bit_cast<std::uint64_t>(inst.edge_dangle), 0x3FF8FE3CC6FF87DEull);
  EXPECT_EQ(inst.edge_dangle, 1.562069680534925);
  EXPECT_EQ(inst.smooth_edge, 1);
  EXPECT_EQ(inst.smooth_cos, 0.7853981633974483);
  EXPECT_EQ(inst.round_edge, 1);
  EXPECT_EQ(inst.open_edge, 0);
  EXPECT_EQ(inst.use_deform, 0);
  EXPECT_EQ(inst.disable_bevel, 0);
  EXPECT_EQ(inst.out_channel, 0);
  EXPECT_EQ(inst.out_width, 0.1);
  EXPECT_EQ(inst.context, &context_marker);
  ASSERT_NE(inst.cache, nullptr);
  EXPECT_TRUE(inst.cache->databases.empty());
  funcs().destroy(created);
}

TEST_F(Instance, DesclnReturnsTheSameBufferWithTheSameText) {
  LWInstance inst = session_->instance();
  const char *first = funcs().descln(inst);
  EXPECT_STREQ(first, "Brellmoor version 0.40");
  view(inst).edge_width = 7.0;  // the text does not depend on the settings
  const char *second = funcs().descln(inst);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first, view(inst).description);
  EXPECT_STREQ(second, "Brellmoor version 0.40");
}

TEST_F(Instance, CopyTakesTheSettingsKeepsTheContextAndGivesAnEmptyCache) {
  int source_context = 0;
  int dest_context = 0;
  LWInstance source = make(&source_context);
  LWInstance dest = make(&dest_context);
  view(source).edge_width = -3.5;
  view(source).out_channel = 7;
  view(source).smooth_cos = 0.25;
  funcs().descln(source);
  fill_cache(view(source), 2);
  fill_cache(view(dest), 1);
  EdgeCache *const source_cache = view(source).cache;

  EXPECT_EQ(funcs().copy(dest, source), nullptr);
  EXPECT_EQ(view(dest).edge_width, -3.5);
  EXPECT_EQ(view(dest).out_channel, 7);
  EXPECT_EQ(view(dest).smooth_cos, 0.25);
  EXPECT_STREQ(view(dest).description, "Brellmoor version 0.40");
  EXPECT_EQ(view(dest).context, &dest_context);
  ASSERT_NE(view(dest).cache, nullptr);
  EXPECT_NE(view(dest).cache, source_cache);
  EXPECT_TRUE(view(dest).cache->databases.empty());
  // The source keeps its cache and databases.
  EXPECT_EQ(view(source).cache, source_cache);
  EXPECT_EQ(view(source).cache->databases.size(), 2u);
  funcs().destroy(source);
  funcs().destroy(dest);
}

TEST_F(Instance, CopyOntoItselfKeepsSettingsAndContextAndEmptiesTheCache) {
  int context = 0;
  LWInstance inst = make(&context);
  view(inst).edge_width = 0.5;
  fill_cache(view(inst), 2);
  EXPECT_EQ(funcs().copy(inst, inst), nullptr);
  EXPECT_EQ(view(inst).edge_width, 0.5);
  EXPECT_EQ(view(inst).context, &context);
  ASSERT_NE(view(inst).cache, nullptr);
  EXPECT_TRUE(view(inst).cache->databases.empty());
  funcs().destroy(inst);
}

TEST_F(Instance, FlagsFollowTheOutputChannelAlone) {
  LWInstance inst = session_->instance();
  const unsigned expected[] = {1, 5, 9, 17, 33, 65, 513, 1};
  for (int channel = 0; channel < 8; ++channel) {
    view(inst).out_channel = channel;
    for (int disable : {0, 1}) {
      view(inst).disable_bevel = disable;
      EXPECT_EQ(session_->flags(), expected[channel]) << channel;
    }
  }
  for (int channel : {-1, 8, 1000}) {
    view(inst).out_channel = channel;
    EXPECT_EQ(session_->flags(), 1u) << channel;
  }
}

TEST_F(Instance, ItemCallbacksDependOnNothingAndChangeNothing) {
  LWInstance inst = session_->instance();
  const auto &item = *session_->handler().item;
  EXPECT_EQ(item.useItems(inst), nullptr);
  const EdgeInstance before = view(inst);
  LWItemID ids[] = {reinterpret_cast<LWItemID>(std::uintptr_t(1)), nullptr};
  item.changeID(inst, ids);
  EXPECT_EQ(std::memcmp(&before, &view(inst), sizeof before), 0);
}

TEST_F(Instance, InitAndCleanupEmptyTheCache) {
  EdgeInstance &inst = view(session_->instance());
  const auto &rend = *session_->handler().rend;
  fill_cache(inst, 3);
  EXPECT_EQ(rend.init(session_->instance(), 0), nullptr);
  EXPECT_TRUE(inst.cache->databases.empty());
  fill_cache(inst, 2);
  rend.cleanup(session_->instance());
  EXPECT_TRUE(inst.cache->databases.empty());
}

TEST_F(Instance, NewTimeEmptiesTheCacheOnlyForDeformedScans) {
  EdgeInstance &inst = view(session_->instance());
  const auto &rend = *session_->handler().rend;
  fill_cache(inst, 2);
  EXPECT_EQ(rend.newTime(session_->instance(), 1, 0.04), nullptr);
  EXPECT_EQ(inst.cache->databases.size(), 2u);
  inst.use_deform = 1;
  EXPECT_EQ(rend.newTime(session_->instance(), 2, 0.08), nullptr);
  EXPECT_TRUE(inst.cache->databases.empty());
}

}  // namespace
}  // namespace korv::testing
