/* Compile-time proof that our declarations of the host's records have the
 * host's layout: the offset and width of every member and the size of every
 * record, for the pointer width at hand (32-bit Windows, or 64-bit Windows
 * and every other 64-bit target, whose layouts agree as long as no C long is
 * used). A member moved, dropped, added, widened or packed differently stops
 * the build of every target that includes this header.
 *
 * The node class's records (hostapi/lwnodes.h) exist only in 64-bit hosts:
 * they are checked on 64-bit targets and only compiled on 32-bit ones.
 *
 * The host's real records may be longer than these (they grow at the end
 * from release to release); the sizes checked are those of the members we
 * declare, and the module never takes the size of a host-owned record.
 *
 * C++ only: included by the module's descriptor and by the stand-in host. */
#ifndef KORV_HOSTAPI_LAYOUT_CHECKS_H
#define KORV_HOSTAPI_LAYOUT_CHECKS_H

#ifndef __cplusplus
#error "hostapi/layout_checks.h is checked by C++ translation units"
#endif

#include <cstddef>
#include <cstdint>

#include "lwio.h"
#include "lwmeshes.h"
#include "lwmodule.h"
#include "lwnodes.h"
#include "lwshader.h"
#include "lwtypes.h"
#include "lwxpanel.h"

static_assert(sizeof(void *) == 4 || sizeof(void *) == 8, "a 32- or 64-bit target");

/* The value for the target at hand: the 32-bit Windows one, or the 64-bit one. */
#define KORV_W32_W64(w32, w64) (sizeof(void *) == 4 ? std::size_t{w32} : std::size_t{w64})

#define KORV_RECORD_SIZE(record, w32, w64)                \
  static_assert(sizeof(record) == KORV_W32_W64(w32, w64), \
                "the size of " #record " differs from the host's")

#define KORV_MEMBER(record, member, offset32, offset64, width32, width64)     \
  static_assert(offsetof(record, member) == KORV_W32_W64(offset32, offset64), \
                #record "::" #member " is not at the host's offset");         \
  static_assert(sizeof(record::member) == KORV_W32_W64(width32, width64),     \
                #record "::" #member " does not have the host's width")

/* Scalar types of the boundary. */
static_assert(sizeof(LWID) == 4, "LWID is 32 bits");
static_assert(sizeof(LWFrame) == 4 && sizeof(LWTime) == 8, "LWFrame and LWTime");
static_assert(sizeof(LWFVector) == 12 && sizeof(LWDVector) == 24, "LWFVector and LWDVector");
static_assert(sizeof(LWXPRefreshCode) == 4, "LWXPRefreshCode is int-sized");
static_assert(sizeof(LWXPanelHint) == sizeof(void *), "hint words are pointer-sized");
static_assert(sizeof(LWScanResult) == sizeof(void *) || sizeof(void *) == 4,
              "scan results are pointer-sized on 64-bit targets");
static_assert(sizeof(LWScanResult) == 4 || sizeof(void *) == 8, "scan results are ints on 32-bit");

/* ModuleDescriptor */
KORV_RECORD_SIZE(ModuleDescriptor, 24, 40);
KORV_MEMBER(ModuleDescriptor, sysSync, 0, 0, 4, 4);
KORV_MEMBER(ModuleDescriptor, sysVersion, 4, 4, 4, 4);
KORV_MEMBER(ModuleDescriptor, sysMachine, 8, 8, 4, 4);
KORV_MEMBER(ModuleDescriptor, startup, 12, 16, 4, 8);
KORV_MEMBER(ModuleDescriptor, shutdown, 16, 24, 4, 8);
KORV_MEMBER(ModuleDescriptor, serverDefs, 20, 32, 4, 8);

/* ServerRecord */
KORV_RECORD_SIZE(ServerRecord, 16, 32);
KORV_MEMBER(ServerRecord, className, 0, 0, 4, 8);
KORV_MEMBER(ServerRecord, name, 4, 8, 4, 8);
KORV_MEMBER(ServerRecord, activate, 8, 16, 4, 8);
KORV_MEMBER(ServerRecord, tagInfo, 12, 24, 4, 8);

/* ServerTagInfo */
KORV_RECORD_SIZE(ServerTagInfo, 8, 16);
KORV_MEMBER(ServerTagInfo, string, 0, 0, 4, 8);
KORV_MEMBER(ServerTagInfo, tag, 4, 8, 4, 4);

/* LWShaderHandler */
KORV_RECORD_SIZE(LWShaderHandler, 20, 40);
KORV_MEMBER(LWShaderHandler, inst, 0, 0, 4, 8);
KORV_MEMBER(LWShaderHandler, item, 4, 8, 4, 8);
KORV_MEMBER(LWShaderHandler, rend, 8, 16, 4, 8);
KORV_MEMBER(LWShaderHandler, evaluate, 12, 24, 4, 8);
KORV_MEMBER(LWShaderHandler, flags, 16, 32, 4, 8);

/* LWInstanceFuncs */
KORV_RECORD_SIZE(LWInstanceFuncs, 28, 56);
KORV_MEMBER(LWInstanceFuncs, priv, 0, 0, 4, 8);
KORV_MEMBER(LWInstanceFuncs, create, 4, 8, 4, 8);
KORV_MEMBER(LWInstanceFuncs, destroy, 8, 16, 4, 8);
KORV_MEMBER(LWInstanceFuncs, copy, 12, 24, 4, 8);
KORV_MEMBER(LWInstanceFuncs, load, 16, 32, 4, 8);
KORV_MEMBER(LWInstanceFuncs, save, 20, 40, 4, 8);
KORV_MEMBER(LWInstanceFuncs, descln, 24, 48, 4, 8);

/* LWItemFuncs */
KORV_RECORD_SIZE(LWItemFuncs, 8, 16);
KORV_MEMBER(LWItemFuncs, useItems, 0, 0, 4, 8);
KORV_MEMBER(LWItemFuncs, changeID, 4, 8, 4, 8);

/* LWRenderFuncs */
KORV_RECORD_SIZE(LWRenderFuncs, 12, 24);
KORV_MEMBER(LWRenderFuncs, init, 0, 0, 4, 8);
KORV_MEMBER(LWRenderFuncs, cleanup, 4, 8, 4, 8);
KORV_MEMBER(LWRenderFuncs, newTime, 8, 16, 4, 8);

/* LWShaderAccess */
KORV_RECORD_SIZE(LWShaderAccess, 576, 616);
KORV_MEMBER(LWShaderAccess, sx, 0, 0, 4, 4);
KORV_MEMBER(LWShaderAccess, sy, 4, 4, 4, 4);
KORV_MEMBER(LWShaderAccess, oPos, 8, 8, 24, 24);
KORV_MEMBER(LWShaderAccess, wPos, 32, 32, 24, 24);
KORV_MEMBER(LWShaderAccess, gNorm, 56, 56, 24, 24);
KORV_MEMBER(LWShaderAccess, spotSize, 80, 80, 8, 8);
KORV_MEMBER(LWShaderAccess, raySource, 88, 88, 24, 24);
KORV_MEMBER(LWShaderAccess, rayLength, 112, 112, 8, 8);
KORV_MEMBER(LWShaderAccess, cosine, 120, 120, 8, 8);
KORV_MEMBER(LWShaderAccess, oXfrm, 128, 128, 72, 72);
KORV_MEMBER(LWShaderAccess, wXfrm, 200, 200, 72, 72);
KORV_MEMBER(LWShaderAccess, objID, 272, 272, 4, 8);
KORV_MEMBER(LWShaderAccess, polNum, 276, 280, 4, 4);
KORV_MEMBER(LWShaderAccess, wNorm, 280, 288, 24, 24);
KORV_MEMBER(LWShaderAccess, color, 304, 312, 24, 24);
KORV_MEMBER(LWShaderAccess, luminous, 328, 336, 8, 8);
KORV_MEMBER(LWShaderAccess, diffuse, 336, 344, 8, 8);
KORV_MEMBER(LWShaderAccess, specular, 344, 352, 8, 8);
KORV_MEMBER(LWShaderAccess, mirror, 352, 360, 8, 8);
KORV_MEMBER(LWShaderAccess, transparency, 360, 368, 8, 8);
KORV_MEMBER(LWShaderAccess, eta, 368, 376, 8, 8);
KORV_MEMBER(LWShaderAccess, roughness, 376, 384, 8, 8);
KORV_MEMBER(LWShaderAccess, illuminate, 384, 392, 4, 8);
KORV_MEMBER(LWShaderAccess, rayTrace, 388, 400, 4, 8);
KORV_MEMBER(LWShaderAccess, rayCast, 392, 408, 4, 8);
KORV_MEMBER(LWShaderAccess, rayShade, 396, 416, 4, 8);
KORV_MEMBER(LWShaderAccess, flags, 400, 424, 4, 4);
KORV_MEMBER(LWShaderAccess, bounces, 404, 428, 4, 4);
KORV_MEMBER(LWShaderAccess, sourceID, 408, 432, 4, 8);
KORV_MEMBER(LWShaderAccess, wNorm0, 416, 440, 24, 24);
KORV_MEMBER(LWShaderAccess, bumpHeight, 440, 464, 8, 8);
KORV_MEMBER(LWShaderAccess, translucency, 448, 472, 8, 8);
KORV_MEMBER(LWShaderAccess, colorHL, 456, 480, 8, 8);
KORV_MEMBER(LWShaderAccess, colorFL, 464, 488, 8, 8);
KORV_MEMBER(LWShaderAccess, addTransparency, 472, 496, 8, 8);
KORV_MEMBER(LWShaderAccess, difSharpness, 480, 504, 8, 8);
KORV_MEMBER(LWShaderAccess, verts, 488, 512, 16, 32);
KORV_MEMBER(LWShaderAccess, weights, 504, 544, 16, 16);
KORV_MEMBER(LWShaderAccess, vertsWPos, 520, 560, 48, 48);
KORV_MEMBER(LWShaderAccess, polygon, 568, 608, 4, 8);

/* LWObjectInfo */
KORV_RECORD_SIZE(LWObjectInfo, 48, 96);
KORV_MEMBER(LWObjectInfo, filename, 0, 0, 4, 8);
KORV_MEMBER(LWObjectInfo, numPoints, 4, 8, 4, 8);
KORV_MEMBER(LWObjectInfo, numPolygons, 8, 16, 4, 8);
KORV_MEMBER(LWObjectInfo, shadowOpts, 12, 24, 4, 8);
KORV_MEMBER(LWObjectInfo, dissolve, 16, 32, 4, 8);
KORV_MEMBER(LWObjectInfo, meshInfo, 20, 40, 4, 8);
KORV_MEMBER(LWObjectInfo, flags, 24, 48, 4, 8);
KORV_MEMBER(LWObjectInfo, fog, 28, 56, 4, 8);
KORV_MEMBER(LWObjectInfo, dispMap, 32, 64, 4, 8);
KORV_MEMBER(LWObjectInfo, clipMap, 36, 72, 4, 8);
KORV_MEMBER(LWObjectInfo, patchLevel, 40, 80, 4, 8);
KORV_MEMBER(LWObjectInfo, metaballRes, 44, 88, 4, 8);

/* LWMeshInfo */
KORV_RECORD_SIZE(LWMeshInfo, 64, 128);
KORV_MEMBER(LWMeshInfo, priv, 0, 0, 4, 8);
KORV_MEMBER(LWMeshInfo, destroy, 4, 8, 4, 8);
KORV_MEMBER(LWMeshInfo, numPoints, 8, 16, 4, 8);
KORV_MEMBER(LWMeshInfo, numPolygons, 12, 24, 4, 8);
KORV_MEMBER(LWMeshInfo, scanPoints, 16, 32, 4, 8);
KORV_MEMBER(LWMeshInfo, scanPolys, 20, 40, 4, 8);
KORV_MEMBER(LWMeshInfo, pntBasePos, 24, 48, 4, 8);
KORV_MEMBER(LWMeshInfo, pntOtherPos, 28, 56, 4, 8);
KORV_MEMBER(LWMeshInfo, pntVLookup, 32, 64, 4, 8);
KORV_MEMBER(LWMeshInfo, pntVSelect, 36, 72, 4, 8);
KORV_MEMBER(LWMeshInfo, pntVGet, 40, 80, 4, 8);
KORV_MEMBER(LWMeshInfo, polType, 44, 88, 4, 8);
KORV_MEMBER(LWMeshInfo, polSize, 48, 96, 4, 8);
KORV_MEMBER(LWMeshInfo, polVertex, 52, 104, 4, 8);
KORV_MEMBER(LWMeshInfo, polTag, 56, 112, 4, 8);
KORV_MEMBER(LWMeshInfo, pntVPGet, 60, 120, 4, 8);

/* LWBlockIdent */
KORV_RECORD_SIZE(LWBlockIdent, 8, 16);
KORV_MEMBER(LWBlockIdent, id, 0, 0, 4, 4);
KORV_MEMBER(LWBlockIdent, token, 4, 8, 4, 8);

/* LWLoadState */
KORV_RECORD_SIZE(LWLoadState, 60, 120);
KORV_MEMBER(LWLoadState, ioMode, 0, 0, 4, 4);
KORV_MEMBER(LWLoadState, readData, 4, 8, 4, 8);
KORV_MEMBER(LWLoadState, read, 8, 16, 4, 8);
KORV_MEMBER(LWLoadState, readI1, 12, 24, 4, 8);
KORV_MEMBER(LWLoadState, readI2, 16, 32, 4, 8);
KORV_MEMBER(LWLoadState, readI4, 20, 40, 4, 8);
KORV_MEMBER(LWLoadState, readU1, 24, 48, 4, 8);
KORV_MEMBER(LWLoadState, readU2, 28, 56, 4, 8);
KORV_MEMBER(LWLoadState, readU4, 32, 64, 4, 8);
KORV_MEMBER(LWLoadState, readFP, 36, 72, 4, 8);
KORV_MEMBER(LWLoadState, readStr, 40, 80, 4, 8);
KORV_MEMBER(LWLoadState, readID, 44, 88, 4, 8);
KORV_MEMBER(LWLoadState, findBlk, 48, 96, 4, 8);
KORV_MEMBER(LWLoadState, endBlk, 52, 104, 4, 8);
KORV_MEMBER(LWLoadState, depth, 56, 112, 4, 8);

/* LWSaveState */
KORV_RECORD_SIZE(LWSaveState, 60, 120);
KORV_MEMBER(LWSaveState, ioMode, 0, 0, 4, 4);
KORV_MEMBER(LWSaveState, writeData, 4, 8, 4, 8);
KORV_MEMBER(LWSaveState, write, 8, 16, 4, 8);
KORV_MEMBER(LWSaveState, writeI1, 12, 24, 4, 8);
KORV_MEMBER(LWSaveState, writeI2, 16, 32, 4, 8);
KORV_MEMBER(LWSaveState, writeI4, 20, 40, 4, 8);
KORV_MEMBER(LWSaveState, writeU1, 24, 48, 4, 8);
KORV_MEMBER(LWSaveState, writeU2, 28, 56, 4, 8);
KORV_MEMBER(LWSaveState, writeU4, 32, 64, 4, 8);
KORV_MEMBER(LWSaveState, writeFP, 36, 72, 4, 8);
KORV_MEMBER(LWSaveState, writeStr, 40, 80, 4, 8);
KORV_MEMBER(LWSaveState, writeID, 44, 88, 4, 8);
KORV_MEMBER(LWSaveState, beginBlk, 48, 96, 4, 8);
KORV_MEMBER(LWSaveState, endBlk, 52, 104, 4, 8);
KORV_MEMBER(LWSaveState, depth, 56, 112, 4, 8);

/* LWInterface */
KORV_RECORD_SIZE(LWInterface, 16, 32);
KORV_MEMBER(LWInterface, inst, 0, 0, 4, 8);
KORV_MEMBER(LWInterface, panel, 4, 8, 4, 8);
KORV_MEMBER(LWInterface, options, 8, 16, 4, 8);
KORV_MEMBER(LWInterface, command, 12, 24, 4, 8);

/* LWXPanelFuncs */
KORV_RECORD_SIZE(LWXPanelFuncs, 56, 112);
KORV_MEMBER(LWXPanelFuncs, version, 0, 0, 4, 4);
KORV_MEMBER(LWXPanelFuncs, drawf, 4, 8, 4, 8);
KORV_MEMBER(LWXPanelFuncs, create, 8, 16, 4, 8);
KORV_MEMBER(LWXPanelFuncs, destroy, 12, 24, 4, 8);
KORV_MEMBER(LWXPanelFuncs, describe, 16, 32, 4, 8);
KORV_MEMBER(LWXPanelFuncs, hint, 20, 40, 4, 8);
KORV_MEMBER(LWXPanelFuncs, getData, 24, 48, 4, 8);
KORV_MEMBER(LWXPanelFuncs, setData, 28, 56, 4, 8);
KORV_MEMBER(LWXPanelFuncs, formGet, 32, 64, 4, 8);
KORV_MEMBER(LWXPanelFuncs, formSet, 36, 72, 4, 8);
KORV_MEMBER(LWXPanelFuncs, viewInst, 40, 80, 4, 8);
KORV_MEMBER(LWXPanelFuncs, viewRefresh, 44, 88, 4, 8);
KORV_MEMBER(LWXPanelFuncs, post, 48, 96, 4, 8);
KORV_MEMBER(LWXPanelFuncs, open, 52, 104, 4, 8);

/* LWXPDrawFuncs */
KORV_RECORD_SIZE(LWXPDrawFuncs, 36, 72);
KORV_MEMBER(LWXPDrawFuncs, drawPixel, 0, 0, 4, 8);
KORV_MEMBER(LWXPDrawFuncs, drawRGBPixel, 4, 8, 4, 8);
KORV_MEMBER(LWXPDrawFuncs, drawLine, 8, 16, 4, 8);
KORV_MEMBER(LWXPDrawFuncs, drawBox, 12, 24, 4, 8);
KORV_MEMBER(LWXPDrawFuncs, drawRGBBox, 16, 32, 4, 8);
KORV_MEMBER(LWXPDrawFuncs, drawBorder, 20, 40, 4, 8);
KORV_MEMBER(LWXPDrawFuncs, textWidth, 24, 48, 4, 8);
KORV_MEMBER(LWXPDrawFuncs, textHeight, 28, 56, 4, 8);
KORV_MEMBER(LWXPDrawFuncs, drawText, 32, 64, 4, 8);

/* LWXPanelControl */
KORV_RECORD_SIZE(LWXPanelControl, 12, 24);
KORV_MEMBER(LWXPanelControl, cid, 0, 0, 4, 4);
KORV_MEMBER(LWXPanelControl, label, 4, 8, 4, 8);
KORV_MEMBER(LWXPanelControl, ctrlclass, 8, 16, 4, 8);

/* LWXPanelDataDesc */
KORV_RECORD_SIZE(LWXPanelDataDesc, 12, 24);
KORV_MEMBER(LWXPanelDataDesc, vid, 0, 0, 4, 4);
KORV_MEMBER(LWXPanelDataDesc, name, 4, 8, 4, 8);
KORV_MEMBER(LWXPanelDataDesc, datatype, 8, 16, 4, 8);

/* The node class's records, which only 64-bit hosts have: checked on
 * 64-bit targets, compiled on every one. */
#define KORV_NODE_SIZE(record, w64)                           \
  static_assert(sizeof(void *) == 4 || sizeof(record) == w64, \
                "the size of " #record " differs from the host's")
#define KORV_NODE_MEMBER(record, member, offset64, width64)                  \
  static_assert(sizeof(void *) == 4 || offsetof(record, member) == offset64, \
                #record "::" #member " is not at the host's offset");        \
  static_assert(sizeof(void *) == 4 || sizeof(record::member) == width64,    \
                #record "::" #member " does not have the host's width")

static_assert(sizeof(ConnectionType) == 4 && sizeof(LWDMatrix4) == 128,
              "ConnectionType, LWDMatrix4");
static_assert(NOT_RGB == 1 && NOT_SCALAR == 2 && NOT_VECTOR == 3 && NOT_INTEGER == 4 &&
                  NOT_FUNCTION == 5,
              "connection types");

/* LWNodeHandler */
KORV_NODE_SIZE(LWNodeHandler, 56);
KORV_NODE_MEMBER(LWNodeHandler, inst, 0, 8);
KORV_NODE_MEMBER(LWNodeHandler, item, 8, 8);
KORV_NODE_MEMBER(LWNodeHandler, rend, 16, 8);
KORV_NODE_MEMBER(LWNodeHandler, evaluate, 24, 8);
KORV_NODE_MEMBER(LWNodeHandler, customPreview, 32, 8);
KORV_NODE_MEMBER(LWNodeHandler, flags, 40, 8);
KORV_NODE_MEMBER(LWNodeHandler, materialGL, 48, 8);

/* LWNodeInputFuncs */
KORV_NODE_SIZE(LWNodeInputFuncs, 152);
KORV_NODE_MEMBER(LWNodeInputFuncs, create, 0, 8);
KORV_NODE_MEMBER(LWNodeInputFuncs, destroy, 8, 8);
KORV_NODE_MEMBER(LWNodeInputFuncs, evaluate, 16, 8);
KORV_NODE_MEMBER(LWNodeInputFuncs, check, 24, 8);
KORV_NODE_MEMBER(LWNodeInputFuncs, first, 32, 8);
KORV_NODE_MEMBER(LWNodeInputFuncs, next, 40, 8);
KORV_NODE_MEMBER(LWNodeInputFuncs, previous, 48, 8);
KORV_NODE_MEMBER(LWNodeInputFuncs, numInputs, 56, 8);
KORV_NODE_MEMBER(LWNodeInputFuncs, byIndex, 64, 8);
KORV_NODE_MEMBER(LWNodeInputFuncs, getIndex, 72, 8);
KORV_NODE_MEMBER(LWNodeInputFuncs, disconnect, 80, 8);
KORV_NODE_MEMBER(LWNodeInputFuncs, node, 88, 8);
KORV_NODE_MEMBER(LWNodeInputFuncs, connectedOutput, 96, 8);
KORV_NODE_MEMBER(LWNodeInputFuncs, name, 104, 8);
KORV_NODE_MEMBER(LWNodeInputFuncs, rename, 112, 8);
KORV_NODE_MEMBER(LWNodeInputFuncs, createCustom, 120, 8);
KORV_NODE_MEMBER(LWNodeInputFuncs, type, 128, 8);
KORV_NODE_MEMBER(LWNodeInputFuncs, vendorID, 136, 8);
KORV_NODE_MEMBER(LWNodeInputFuncs, typeID, 144, 8);

/* LWNodeOutputFuncs */
KORV_NODE_SIZE(LWNodeOutputFuncs, 152);
KORV_NODE_MEMBER(LWNodeOutputFuncs, create, 0, 8);
KORV_NODE_MEMBER(LWNodeOutputFuncs, destroy, 8, 8);
KORV_NODE_MEMBER(LWNodeOutputFuncs, setValue, 16, 8);
KORV_NODE_MEMBER(LWNodeOutputFuncs, getValue, 24, 8);
KORV_NODE_MEMBER(LWNodeOutputFuncs, getType, 32, 8);
KORV_NODE_MEMBER(LWNodeOutputFuncs, first, 40, 8);
KORV_NODE_MEMBER(LWNodeOutputFuncs, next, 48, 8);
KORV_NODE_MEMBER(LWNodeOutputFuncs, previous, 56, 8);
KORV_NODE_MEMBER(LWNodeOutputFuncs, numInputs, 64, 8);
KORV_NODE_MEMBER(LWNodeOutputFuncs, byIndex, 72, 8);
KORV_NODE_MEMBER(LWNodeOutputFuncs, getIndex, 80, 8);
KORV_NODE_MEMBER(LWNodeOutputFuncs, node, 88, 8);
KORV_NODE_MEMBER(LWNodeOutputFuncs, name, 96, 8);
KORV_NODE_MEMBER(LWNodeOutputFuncs, rename, 104, 8);
KORV_NODE_MEMBER(LWNodeOutputFuncs, createCustom, 112, 8);
KORV_NODE_MEMBER(LWNodeOutputFuncs, type, 120, 8);
KORV_NODE_MEMBER(LWNodeOutputFuncs, vendorID, 128, 8);
KORV_NODE_MEMBER(LWNodeOutputFuncs, typeID, 136, 8);
KORV_NODE_MEMBER(LWNodeOutputFuncs, evaluate, 144, 8);

/* LWShadingFuncs, LWShading */
KORV_NODE_SIZE(LWShadingFuncs, 72);
KORV_NODE_MEMBER(LWShadingFuncs, inst, 0, 8);
KORV_NODE_MEMBER(LWShadingFuncs, surfaceID, 8, 8);
KORV_NODE_MEMBER(LWShadingFuncs, memory, 16, 8);
KORV_NODE_MEMBER(LWShadingFuncs, bsdf, 24, 8);
KORV_NODE_MEMBER(LWShadingFuncs, functions, 32, 40);
KORV_NODE_SIZE(LWShading, 120);
KORV_NODE_MEMBER(LWShading, I, 0, 24);
KORV_NODE_MEMBER(LWShading, dIdx, 24, 24);
KORV_NODE_MEMBER(LWShading, dIdy, 48, 24);
KORV_NODE_MEMBER(LWShading, dNdx, 72, 24);
KORV_NODE_MEMBER(LWShading, dNdy, 96, 24);

/* LWShadingGeometry */
KORV_NODE_SIZE(LWShadingGeometry, 1024);
KORV_NODE_MEMBER(LWShadingGeometry, shadingFuncs, 0, 72);
KORV_NODE_MEMBER(LWShadingGeometry, ownerData, 72, 8);
KORV_NODE_MEMBER(LWShadingGeometry, ray, 80, 8);
KORV_NODE_MEMBER(LWShadingGeometry, primEvalID, 88, 8);
KORV_NODE_MEMBER(LWShadingGeometry, itemID, 96, 8);
KORV_NODE_MEMBER(LWShadingGeometry, meshID, 104, 8);
KORV_NODE_MEMBER(LWShadingGeometry, instanceID, 112, 8);
KORV_NODE_MEMBER(LWShadingGeometry, vertexIndexes, 120, 8);
KORV_NODE_MEMBER(LWShadingGeometry, vrts, 128, 24);
KORV_NODE_MEMBER(LWShadingGeometry, polygon, 152, 8);
KORV_NODE_MEMBER(LWShadingGeometry, toLocal, 160, 128);
KORV_NODE_MEMBER(LWShadingGeometry, toWorld, 288, 128);
KORV_NODE_MEMBER(LWShadingGeometry, shading, 416, 120);
KORV_NODE_MEMBER(LWShadingGeometry, P, 536, 24);
KORV_NODE_MEMBER(LWShadingGeometry, dPdx, 560, 24);
KORV_NODE_MEMBER(LWShadingGeometry, dPdy, 584, 24);
KORV_NODE_MEMBER(LWShadingGeometry, dPdu, 608, 24);
KORV_NODE_MEMBER(LWShadingGeometry, dPdv, 632, 24);
KORV_NODE_MEMBER(LWShadingGeometry, Np, 656, 24);
KORV_NODE_MEMBER(LWShadingGeometry, Ns, 680, 24);
KORV_NODE_MEMBER(LWShadingGeometry, Ng, 704, 24);
KORV_NODE_MEMBER(LWShadingGeometry, Nb, 728, 24);
KORV_NODE_MEMBER(LWShadingGeometry, dNdu, 752, 24);
KORV_NODE_MEMBER(LWShadingGeometry, dNdv, 776, 24);
KORV_NODE_MEMBER(LWShadingGeometry, bary, 800, 24);
KORV_NODE_MEMBER(LWShadingGeometry, oP, 824, 24);
KORV_NODE_MEMBER(LWShadingGeometry, vertsWPos, 848, 72);
KORV_NODE_MEMBER(LWShadingGeometry, u, 920, 8);
KORV_NODE_MEMBER(LWShadingGeometry, v, 928, 8);
KORV_NODE_MEMBER(LWShadingGeometry, dudx, 936, 8);
KORV_NODE_MEMBER(LWShadingGeometry, dvdx, 944, 8);
KORV_NODE_MEMBER(LWShadingGeometry, dudy, 952, 8);
KORV_NODE_MEMBER(LWShadingGeometry, dvdy, 960, 8);
KORV_NODE_MEMBER(LWShadingGeometry, dist, 968, 8);
KORV_NODE_MEMBER(LWShadingGeometry, epsilon, 976, 8);
KORV_NODE_MEMBER(LWShadingGeometry, primID, 984, 4);
KORV_NODE_MEMBER(LWShadingGeometry, side, 988, 4);
KORV_NODE_MEMBER(LWShadingGeometry, polNum, 992, 4);
KORV_NODE_MEMBER(LWShadingGeometry, vrtsNum, 996, 12);
KORV_NODE_MEMBER(LWShadingGeometry, flags, 1008, 4);
KORV_NODE_MEMBER(LWShadingGeometry, element, 1012, 4);
KORV_NODE_MEMBER(LWShadingGeometry, ownerID, 1016, 4);

#undef KORV_NODE_MEMBER
#undef KORV_NODE_SIZE

#undef KORV_MEMBER
#undef KORV_RECORD_SIZE
#undef KORV_W32_W64

#endif
