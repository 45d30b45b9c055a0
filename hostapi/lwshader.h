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

/* Bits of the flags callback: each declares a member of LWShaderAccess that
 * evaluate alters. The renderer may ignore changes it was not told of. The
 * ray functions of the shading record are only provided with LWSHF_RAYTRACE. */
#define LWSHF_NORMAL (1u << 0)
#define LWSHF_COLOR (1u << 1)
#define LWSHF_LUMINOUS (1u << 2)
#define LWSHF_DIFFUSE (1u << 3)
#define LWSHF_SPECULAR (1u << 4)
#define LWSHF_MIRROR (1u << 5)
#define LWSHF_TRANSP (1u << 6)
#define LWSHF_ETA (1u << 7)
#define LWSHF_ROUGH (1u << 8)
#define LWSHF_TRANSLUCENT (1u << 9)
#define LWSHF_RAYTRACE (1u << 10)

/* Bit of LWShaderAccess.flags: the sample is for a shadow ray. */
#define LWSAF_SHADOW 1

/* The mode handed to init. */
#define LWINIT_PREVIEW 0
#define LWINIT_RENDER 1

typedef struct st_LWShaderAccess LWShaderAccess;

typedef int LWIlluminateFunc(LWItemID light, const LWDVector position, LWDVector direction,
                             LWDVector color);
typedef double LWRayTraceFunc(const LWDVector position, const LWDVector direction, LWDVector color);
typedef double LWRayCastFunc(const LWDVector position, const LWDVector direction);
typedef double LWRayShadeFunc(const LWDVector position, const LWDVector direction,
                              LWShaderAccess *access);

/* One shading sample. The host owns it (its real record may be longer than
 * this); evaluate may change the normals and the members that its flags
 * declare. oXfrm is the object-to-world matrix and wXfrm its inverse, both
 * row-major with no translation: a normal goes from object to world by wXfrm
 * transposed. */
struct st_LWShaderAccess {
  int sx, sy;
  double oPos[3];
  double wPos[3];
  double gNorm[3];
  double spotSize;
  double raySource[3];
  double rayLength;
  double cosine;
  double oXfrm[9];
  double wXfrm[9];
  LWItemID objID;
  int polNum;
  double wNorm[3];
  double color[3];
  double luminous;
  double diffuse;
  double specular;
  double mirror;
  double transparency;
  double eta;
  double roughness;
  LWIlluminateFunc *illuminate;
  LWRayTraceFunc *rayTrace;
  LWRayCastFunc *rayCast;
  LWRayShadeFunc *rayShade;
  int flags;
  int bounces;
  LWItemID sourceID;
  double wNorm0[3];
  double bumpHeight;
  double translucency;
  double colorHL;
  double colorFL;
  double addTransparency;
  double difSharpness;
  LWPntID verts[4];
  float weights[4];
  float vertsWPos[4][3];
  LWPolID polygon;
};

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
