/* The shader server class: the handler record a ShaderHandler activation
 * fills, its instance, item and render callback tables, and the per-sample
 * shading record. */
#ifndef KORV_HOSTAPI_LWSHADER_H
#define KORV_HOSTAPI_LWSHADER_H

#include "lwio.h"
#include "lwtypes.h"

#define LWSHADER_HCLASS "ShaderHandler"
#define LWSHADER_ICLASS "ShaderInterface"
#define LWSHADER_VERSION 4

/* Bits of the flags callback: each declares a field of LWShaderAccess that
 * evaluate alters. */
#define LWSHF_NORMAL (1u << 0)
#define LWSHF_COLOR (1u << 1)
#define LWSHF_LUMINOUS (1u << 2)
#define LWSHF_DIFFUSE (1u << 3)
#define LWSHF_SPECULAR (1u << 4)
#define LWSHF_MIRROR (1u << 5)
#define LWSHF_TRANSP (1u << 6)
#define LWSHF_ETA (1u << 7)
#define LWSHF_ROUGH (1u << 8)
#define LWSHF_TRANSLUC (1u << 9)

/* Instance life cycle. create returns an instance the host then owns until it
 * calls destroy. copy takes the destination first. */
typedef struct st_LWInstanceFuncs {
  void *priv;
  LWInstance (*create)(void *priv, void *context, LWError *error);
  void (*destroy)(LWInstance inst);
  LWError (*copy)(LWInstance to, LWInstance from);
  LWError (*load)(LWInstance inst, const LWLoadState *state);
  LWError (*save)(LWInstance inst, const LWSaveState *state);
  const char *(*descln)(LWInstance inst);
} LWInstanceFuncs;

typedef struct st_LWItemFuncs {
  const LWItemID *(*useItems)(LWInstance inst);
  void (*changeID)(LWInstance inst, const LWItemID *ids);
} LWItemFuncs;

typedef struct st_LWRenderFuncs {
  LWError (*init)(LWInstance inst, int mode);
  void (*cleanup)(LWInstance inst);
  LWError (*newTime)(LWInstance inst, LWFrame frame, LWTime time);
} LWRenderFuncs;

/* One shading sample. The host owns it; evaluate may change the normals and
 * the channels that its flags declare. */
typedef struct st_LWShaderAccess {
  LWItemID objID;
  LWPolID polygon;
  double oPos[3];
  double wPos[3];
  double raySource[3];
  double wXfrm[9];
  double wNorm0[3];
  double wNorm[3];
  double luminous;
  double diffuse;
  double specular;
  double mirror;
  double transparency;
  double translucency;
  double bumpHeight;
} LWShaderAccess;

/* The handler record. The host owns it and the three tables it points to;
 * item may be null when the host offers no item callbacks. */
typedef struct st_LWShaderHandler {
  LWInstanceFuncs *inst;
  LWItemFuncs *item;
  LWRenderFuncs *rend;
  void (*evaluate)(LWInstance inst, LWShaderAccess *access);
  unsigned int (*flags)(LWInstance inst);
} LWShaderHandler;

#endif
