#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "hostapi/lwshader.h"
#include "module_fixture.h"

namespace korv::testing {
namespace {

// A record filled with a recognisable pattern, to see what an activation touched.
template <class T>
T patterned() {
  T record;
  std::memset(static_cast<void *>(&record), 0xA5, sizeof record);
  return record;
}

template <class T>
bool untouched(const T &record) {
  const T pattern = patterned<T>();
  return std::memcmp(&record, &pattern, sizeof record) == 0;
}

using Activation = ModuleTest;

TEST_F(Activation, DescriptorHoldsTheSyncWordVersionMachineAndTwoServers) {
  const ModuleDescriptor &d = module_->descriptor();
  EXPECT_EQ(d.sysSync, 0x04121994u);
  EXPECT_EQ(d.sysVersion, 3);
  EXPECT_EQ(d.sysMachine, 0x300u);
  const ServerRecord *s = d.serverDefs;
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(s[0].className, "ShaderHandler");
  EXPECT_STREQ(s[0].name, "Korv_Edge");
  EXPECT_EQ(s[0].tagInfo, nullptr);
  EXPECT_STREQ(s[1].className, "ShaderInterface");
  EXPECT_STREQ(s[1].name, "Korv_Edge");
  EXPECT_EQ(s[1].tagInfo, nullptr);
  EXPECT_EQ(s[2].className, nullptr);
  EXPECT_EQ(s[2].name, nullptr);
  EXPECT_EQ(s[2].activate, nullptr);
}

TEST_F(Activation, StartupReturnsFourOnEveryCall) {
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(module_->startup_result()), 4u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(module_->descriptor().startup()), 4u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(module_->descriptor().startup()), 4u);
  module_->descriptor().shutdown(nullptr);  // does nothing
}

TEST_F(Activation, OtherVersionsGetBadVersionAndLeaveTheRecordUntouched) {
  for (int version : {3, 5}) {
    auto inst = patterned<LWInstanceFuncs>();
    auto item = patterned<LWItemFuncs>();
    auto rend = patterned<LWRenderFuncs>();
    auto handler = patterned<LWShaderHandler>();
    handler.inst = &inst;
    handler.item = &item;
    handler.rend = &rend;
    const LWShaderHandler before = handler;
    EXPECT_EQ(module_->activate("ShaderHandler", version, &handler), 1);
    EXPECT_EQ(std::memcmp(&handler, &before, sizeof handler), 0);
    EXPECT_TRUE(untouched(inst) && untouched(item) && untouched(rend));

    auto ui = patterned<LWInterface>();
    EXPECT_EQ(module_->activate("ShaderInterface", version, &ui), 1);
    EXPECT_TRUE(untouched(ui));
  }
  EXPECT_EQ(host::global_lookup_count("LW Object Info 3"), 0);
  EXPECT_EQ(host::global_lookup_count("LWXPanel"), 0);
}

TEST_F(Activation, HandlerFillsEverySlotAndLeavesPrivAsTheHostSetIt) {
  auto inst = patterned<LWInstanceFuncs>();
  LWItemFuncs item{};
  LWRenderFuncs rend{};
  LWShaderHandler handler{&inst, &item, &rend, nullptr, nullptr};
  void *const priv = inst.priv;
  ASSERT_EQ(module_->activate("ShaderHandler", 4, &handler), 0);
  EXPECT_EQ(inst.priv, priv);
  for (const void *slot :
       {(const void *)inst.create, (const void *)inst.destroy, (const void *)inst.copy,
        (const void *)inst.load, (const void *)inst.save, (const void *)inst.descln,
        (const void *)item.useItems, (const void *)item.changeID, (const void *)rend.init,
        (const void *)rend.cleanup, (const void *)rend.newTime, (const void *)handler.evaluate,
        (const void *)handler.flags}) {
    EXPECT_NE(slot, nullptr);
  }
  EXPECT_EQ(host::global_lookup_count("LW Object Info 3"), 1);
}

TEST_F(Activation, HandlerWithoutItemRecordFillsTheRest) {
  LWInstanceFuncs inst{};
  LWRenderFuncs rend{};
  LWShaderHandler handler{&inst, nullptr, &rend, nullptr, nullptr};
  ASSERT_EQ(module_->activate("ShaderHandler", 4, &handler), 0);
  EXPECT_EQ(handler.item, nullptr);
  EXPECT_NE(inst.create, nullptr);
  EXPECT_NE(rend.init, nullptr);
  EXPECT_NE(handler.evaluate, nullptr);
  EXPECT_NE(handler.flags, nullptr);
}

// A sample on a polygon of a real object: the evaluation reaches the query
// only while the module holds the object-info service.
TEST_F(Activation, SecondHandlerActivationReplacesTheObjectInfoService) {
  LWInstanceFuncs inst{};
  LWItemFuncs item{};
  LWRenderFuncs rend{};
  LWShaderHandler handler{&inst, &item, &rend, nullptr, nullptr};
  ASSERT_EQ(module_->activate("ShaderHandler", 4, &handler), 0);
  host::set_global_service("LW Object Info 3", nullptr);
  ASSERT_EQ(module_->activate("ShaderHandler", 4, &handler), 0);  // still succeeds
  EXPECT_EQ(host::global_lookup_count("LW Object Info 3"), 2);
}

TEST_F(Activation, InterfaceClearsOptionsAndCommandAndBuildsThePanel) {
  LWInstanceFuncs inst{};
  LWItemFuncs item{};
  LWRenderFuncs rend{};
  LWShaderHandler handler{&inst, &item, &rend, nullptr, nullptr};
  ASSERT_EQ(module_->activate("ShaderHandler", 4, &handler), 0);
  LWError error = nullptr;
  LWInstance instance = inst.create(nullptr, nullptr, &error);
  ASSERT_NE(instance, nullptr);

  auto ui = patterned<LWInterface>();
  ui.inst = instance;
  ASSERT_EQ(module_->activate("ShaderInterface", 4, &ui), 0);
  EXPECT_EQ(ui.options, nullptr);
  EXPECT_EQ(ui.command, nullptr);
  ASSERT_NE(ui.panel, nullptr);
  EXPECT_EQ(host::recorded_panel(ui.panel)->view_instance, instance);
  host::xpanel_service()->destroy(ui.panel);

  // A host that refuses the panel: null panel, still success.
  host::set_xpanel_refuse_create(true);
  ui = patterned<LWInterface>();
  ui.inst = instance;
  EXPECT_EQ(module_->activate("ShaderInterface", 4, &ui), 0);
  EXPECT_EQ(ui.panel, nullptr);
  EXPECT_EQ(ui.options, nullptr);
  host::set_xpanel_refuse_create(false);

  // No panel service at all: no panel, and the host is told.
  host::set_global_service("LWXPanel", nullptr);
  ui = patterned<LWInterface>();
  ui.inst = instance;
  EXPECT_EQ(module_->activate("ShaderInterface", 4, &ui), AFUNC_BADGLOBAL);
  EXPECT_EQ(ui.panel, nullptr);
  EXPECT_EQ(ui.options, nullptr);
  EXPECT_EQ(ui.command, nullptr);
  inst.destroy(instance);
}

TEST_F(Activation, AHostOfALaterReleaseFindsBothServersAtVersionFour) {
  LWInstanceFuncs inst{};
  LWItemFuncs item{};
  LWRenderFuncs rend{};
  LWShaderHandler handler{&inst, &item, &rend, nullptr, nullptr};
  const host::Activation h = module_->activate_as_host("ShaderHandler", &handler);
  EXPECT_TRUE(h.accepted());
  EXPECT_EQ(h.version, 4);
  EXPECT_EQ(h.refused, (std::vector<int>{6, 5}));
  EXPECT_NE(handler.evaluate, nullptr);
  // The refused versions looked nothing up.
  EXPECT_EQ(host::global_lookup_count("LW Object Info 3"), 1);

  LWError error = nullptr;
  LWInstance instance = inst.create(nullptr, nullptr, &error);
  ASSERT_NE(instance, nullptr);
  auto ui = patterned<LWInterface>();
  ui.inst = instance;
  const host::Activation i = module_->activate_as_host("ShaderInterface", &ui);
  EXPECT_TRUE(i.accepted());
  EXPECT_EQ(i.version, 4);
  EXPECT_EQ(i.refused, (std::vector<int>{1, 2, 3}));
  ASSERT_NE(ui.panel, nullptr);
  EXPECT_EQ(host::global_lookup_count("LWXPanel"), 1);
  host::xpanel_service()->destroy(ui.panel);
  inst.destroy(instance);
}

TEST_F(Activation, AnOlderHostFindsNoVersionItCanUse) {
  auto inst = patterned<LWInstanceFuncs>();
  LWShaderHandler handler{&inst, nullptr, nullptr, nullptr, nullptr};
  const host::Activation h = module_->activate_as_host("ShaderHandler", &handler, 3);
  EXPECT_FALSE(h.accepted());
  EXPECT_EQ(h.result, AFUNC_BADVERSION);
  EXPECT_EQ(h.refused, (std::vector<int>{3, 2, 1}));
  EXPECT_TRUE(untouched(inst));
}

TEST(ModuleLoading, RefusesAMissingFile) {
  std::string error;
  EXPECT_EQ(host::ModuleFile::open("no/such/Korv_Edge.p", error), nullptr);
  EXPECT_NE(error.find("no/such/Korv_Edge.p"), std::string::npos);
}

}  // namespace
}  // namespace korv::testing

namespace korv::testing {
namespace {

// A test module built beside Korv_Edge.p.
std::string beside_the_module(const std::string &file) {
  std::string path = host::default_module_path();
  return path.replace(path.size() - std::string("Korv_Edge.p").size(), std::string::npos, file);
}

TEST(ModuleLoading, RefusesAModuleWithAWrongSynchronisationWord) {
  std::string error;
  EXPECT_EQ(host::ModuleFile::open(beside_the_module("wrong_sync.p"), error), nullptr);
  EXPECT_NE(error.find("synchronisation word"), std::string::npos) << error;
}

TEST(ModuleLoading, RefusesAModuleWhoseStartUpFails) {
  std::string error;
  EXPECT_EQ(host::ModuleFile::open(beside_the_module("failing_startup.p"), error), nullptr);
  EXPECT_NE(error.find("start-up"), std::string::npos) << error;
}

// A host that offers two module files loads each anew while the other is
// still loaded; a copy of the module under another name is a second module
// to the loader. A module that takes room in the loader's static thread-local
// block runs it out within a few hundred loads.
TEST(ModuleLoading, TwoModuleFilesLoadAndUnloadInTurnThousandsOfTimes) {
  const std::string paths[2] = {host::default_module_path(),
                                ::testing::TempDir() + "Korv_Edge_second.p"};
  std::filesystem::copy_file(paths[0], paths[1], std::filesystem::copy_options::overwrite_existing);
  std::string error;
  std::unique_ptr<host::ModuleFile> loaded = host::ModuleFile::open(paths[0], error);
  for (int load = 1; load <= 3000; ++load) {
    std::unique_ptr<host::ModuleFile> next = host::ModuleFile::open(paths[load % 2], error);
    ASSERT_NE(next, nullptr) << "load " << load << ": " << error;
    loaded = std::move(next);
  }
  loaded.reset();
  std::filesystem::remove(paths[1]);
}

}  // namespace
}  // namespace korv::testing
