// The stand-in host's services answer every member of the host's records, as
// a real host does, not only the ones the module calls.
#include <gtest/gtest.h>

#include <string>

#include "host/builtin_meshes.h"
#include "host/mesh_service.h"
#include "host/xpanel_service.h"
#include "hostapi/lwmeshes.h"

namespace korv::testing {
namespace {

TEST(HostMeshInfo, AnswersEveryMember) {
  host::Mesh mesh;
  ASSERT_TRUE(host::builtin_mesh("cube", mesh));
  mesh.add_point(9, 9, 9);  // a point no polygon uses
  host::SceneObject cube(std::move(mesh), "cube.obj");
  LWObjectInfo *info = host::object_info_service();
  EXPECT_STREQ(info->filename(cube.id()), "cube.obj");
  EXPECT_EQ(info->numPoints(cube.id()), 9);
  EXPECT_EQ(info->numPolygons(cube.id()), 6);
  EXPECT_EQ(info->dissolve(cube.id(), 0.0), 0.0);
  EXPECT_EQ(info->dispMap(cube.id()), nullptr);
  int display = -1, render = -1;
  info->patchLevel(cube.id(), &display, &render);
  EXPECT_EQ(display, 0);
  EXPECT_EQ(render, 0);
  EXPECT_EQ(info->numPoints(reinterpret_cast<LWItemID>(&display)), 0);  // not an object

  LWMeshInfo *m = info->meshInfo(cube.id(), 1);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->numPoints(m), 9);
  EXPECT_EQ(m->numPolygons(m), 6);
  const LWPolID first = host::polygon_id(0);
  EXPECT_EQ(m->polType(m, first), LWPOLTYPE_FACE);
  EXPECT_STREQ(m->polTag(m, first, LWPTAG_SURF), "Default");
  EXPECT_EQ(m->polTag(m, first, LWID_('P', 'A', 'R', 'T')), nullptr);
  EXPECT_EQ(m->pntVLookup(m, LWID_('T', 'X', 'U', 'V'), "UVs"), nullptr);
  float value[2] = {7.0f, 7.0f};
  EXPECT_EQ(m->pntVGet(m, host::point_id(0), value), 0);
  EXPECT_EQ(m->pntVPGet(m, host::point_id(0), first, value), 0);
  EXPECT_EQ(value[0], 7.0f);  // nothing written when there is no value
  m->destroy(m);
}

TEST(HostXPanel, ReadsAViewPanelsValuesThroughItsGetCallback) {
  static double value = 0.25;
  LWXPanelFuncs *xp = host::xpanel_service();
  static LWXPanelControl controls[] = {{0x8001, "Width", "float"}, {0, nullptr, nullptr}};
  static LWXPanelDataDesc data[] = {{0x8001, "width", "float"}, {0, nullptr, nullptr}};
  LWXPanelID panel = xp->create(LWXP_VIEW, controls);
  ASSERT_NE(panel, nullptr);
  xp->describe(
      panel, data,
      [](void *, std::uint32_t id) -> void * { return id == 0x8001 ? &value : nullptr; }, nullptr);
  xp->viewInst(panel, &value);
  EXPECT_EQ(xp->getData(panel, 0x8001), &value);
  EXPECT_EQ(xp->getData(panel, 0x8002), nullptr);
  xp->viewRefresh(panel);
  EXPECT_EQ(host::recorded_panel(panel)->refreshes, 1);
  EXPECT_EQ(xp->open(panel), 1);
  ASSERT_NE(xp->drawf, nullptr);
  EXPECT_EQ(xp->drawf->textWidth(nullptr, const_cast<char *>("x")), 0);
  xp->destroy(panel);
}

}  // namespace
}  // namespace korv::testing
