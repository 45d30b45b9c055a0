/* The node server class of hosts from 2018 on (handler versions 4 and 5),
 * which shade surfaces with node graphs and have no shader class: the class
 * and global names, the handler record, the input and output port services
 * and the per-sample record LWShadingGeometry. Every record is the same in
 * both versions. hostapi/layout_checks.h proves the 64-bit layouts (the only
 * width these hosts ship for).
 *
 * Some members' signatures are not in our records of the host: they are
 * declared as LWNodeUnknownFunc pointers, to keep their place, and must not
 * be called. */
#ifndef KORV_HOSTAPI_LWNODES_H
#define KORV_HOSTAPI_LWNODES_H

#include "lwshader.h"
#include "lwtypes.h"

/* The handler's create callback is given the node's NodeID as its context. */
#define LWNODE_HCLASS "NodeHandler"
#define LWNODE_ICLASS "NodeInterface" /* an LWInterface, as the shader's */
/* Version 4 is 2018's, 5 that of 2020 to 2025; 3 (2015) has another
 * per-sample record and slot order and is not this interface. */
#define LWNODE_VERSION_2018 4
#define LWNODE_VERSION 5

/* Global names; where they differ, _2018 is 2018's and _2020 that of 2020
 * to 2025. */
#define LWNODEINPUTFUNCS_GLOBAL "NodeInputFuncs 5"
#define LWNODEOUTPUTFUNCS_GLOBAL "NodeOutputFuncs 4"
#define LWNODEFUNCS_GLOBAL "NodeFuncs 3"
#define LWNODEFUNCS_GLOBAL_2018 "NodeFuncs 2"
#define LWOBJECTINFO_GLOBAL_2020 "LW Object Info 14"
#define LWOBJECTINFO_GLOBAL_2018 "LW Object Info 12"
#define LWXPANELFUNCS_GLOBAL_2020 "LWXPanel 3"
#define LWXPANELFUNCS_GLOBAL_2018 "LWXPanel 2"

/* Bits of the handler's flags callback. */
#define NF_TRANSP 1u
#define NF_SINGLE_THREADED (1u << 30)

/* Opaque handles. */
typedef struct st_NodeID *NodeID;
typedef struct st_NodeInputID *NodeInputID;
typedef struct st_NodeOutputID *NodeOutputID;
typedef struct st_NodeValue *NodeValue;
typedef struct st_LWMesh *LWMeshID;
typedef struct st_LWItemInstance *LWItemInstanceID;
typedef struct st_LWRay LWRay;
typedef struct st_LWNodeOGLMaterial LWNodeOGLMaterial;

/* A function pointer whose signature our records do not give. */
typedef void LWNodeUnknownFunc(void);

/* What a port carries. */
typedef enum en_ConnectionType {
  NOT_RGB = 1,     /* double[3] */
  NOT_SCALAR = 2,  /* double */
  NOT_VECTOR = 3,  /* double[3] */
  NOT_INTEGER = 4, /* int */
  NOT_FUNCTION = 5
} ConnectionType;

/* The event of an input's callback (connect, disconnect, the input node
 * destroyed); our records do not give the values, so none is named. */
typedef int LWNodalEvent;
typedef int NodeInputEvent(void *userData, NodeInputID input, LWNodalEvent event,
                           ConnectionType type);

typedef double LWDMatrix4[4][4];

/* Surface shading services of a sample; only their place is used. */
typedef struct st_LWShadingFuncs {
  void *inst;
  void *surfaceID;
  void *memory;
  void *bsdf;
  LWNodeUnknownFunc *functions[5];
} LWShadingFuncs;

/* World space; I points out from the surface. */
typedef struct st_LWShading {
  LWDVector I;
  LWDVector dIdx;
  LWDVector dIdy;
  LWDVector dNdx;
  LWDVector dNdy;
} LWShading;

/* One sample, owned by the host. meshID is the mesh, not an LWMeshInfo;
 * toLocal and toWorld do not say whether they map row or column vectors. */
typedef struct st_LWShadingGeometry {
  LWShadingFuncs shadingFuncs;
  void *ownerData;
  const LWRay *ray; /* null for displacements */
  void *primEvalID;
  LWItemID itemID;
  LWMeshID meshID;
  LWItemInstanceID instanceID;
  void *vertexIndexes;
  LWPntID vrts[3]; /* the 3 closest vertices */
  LWPolID polygon;
  LWDMatrix4 toLocal;
  LWDMatrix4 toWorld;
  LWShading shading;
  LWDVector P; /* world position */
  LWDVector dPdx;
  LWDVector dPdy;
  LWDVector dPdu;
  LWDVector dPdv;
  LWDVector Np; /* perturbed normal */
  LWDVector Ns; /* unperturbed normal */
  LWDVector Ng; /* geometric normal */
  LWDVector Nb;
  LWDVector dNdu;
  LWDVector dNdv;
  LWDVector bary;
  LWDVector oP; /* local space position */
  LWDVector vertsWPos[3];
  double u, v, dudx, dvdx, dudy, dvdy, dist, epsilon;
  unsigned int primID;
  unsigned int side;
  unsigned int polNum;
  unsigned int vrtsNum[3];
  unsigned int flags;
  unsigned int element;
  LWID ownerID;
} LWShadingGeometry;

/* The handler record. evaluate gives the value of one output for one
 * sample; materialGL may be null. */
typedef struct st_LWNodeHandler {
  LWInstanceFuncs *inst;
  LWItemFuncs *item;
  LWRenderFuncs *rend;
  void (*evaluate)(LWInstance inst, LWShadingGeometry *sample, NodeOutputID output,
                   NodeValue value);
  void (*customPreview)(LWInstance inst, int width, int height);
  unsigned int (*flags)(LWInstance inst);
  unsigned int (*materialGL)(LWInstance inst, LWNodeOGLMaterial *material);
} LWNodeHandler;

/* "NodeInputFuncs": a node's input ports. evaluate writes the connected
 * value; check is non-zero when something is connected. */
typedef struct st_LWNodeInputFuncs {
  NodeInputID (*create)(NodeID node, ConnectionType type, const char *name, NodeInputEvent *event);
  void (*destroy)(NodeInputID input);
  int (*evaluate)(NodeInputID input, LWShadingGeometry *sample, void *value);
  int (*check)(NodeInputID input);
  LWNodeUnknownFunc *first;
  LWNodeUnknownFunc *next;
  LWNodeUnknownFunc *previous;
  LWNodeUnknownFunc *numInputs;
  LWNodeUnknownFunc *byIndex;
  LWNodeUnknownFunc *getIndex;
  LWNodeUnknownFunc *disconnect;
  LWNodeUnknownFunc *node;
  LWNodeUnknownFunc *connectedOutput;
  LWNodeUnknownFunc *name;
  LWNodeUnknownFunc *rename;
  LWNodeUnknownFunc *createCustom;
  LWNodeUnknownFunc *type;
  LWNodeUnknownFunc *vendorID;
  LWNodeUnknownFunc *typeID;
} LWNodeInputFuncs;

/* "NodeOutputFuncs": a node's output ports, which the host destroys with
 * the node. setValue takes a double or double[3], as the output's type
 * says. */
typedef struct st_LWNodeOutputFuncs {
  NodeOutputID (*create)(NodeID node, ConnectionType type, const char *name);
  void (*destroy)(NodeOutputID output);
  void (*setValue)(NodeValue value, const void *data);
  void *(*getValue)(NodeValue value);
  LWNodeUnknownFunc *getType;
  LWNodeUnknownFunc *first;
  LWNodeUnknownFunc *next;
  LWNodeUnknownFunc *previous;
  LWNodeUnknownFunc *numInputs;
  LWNodeUnknownFunc *byIndex;
  LWNodeUnknownFunc *getIndex;
  LWNodeUnknownFunc *node;
  LWNodeUnknownFunc *name;
  LWNodeUnknownFunc *rename;
  LWNodeUnknownFunc *createCustom;
  LWNodeUnknownFunc *type;
  LWNodeUnknownFunc *vendorID;
  LWNodeUnknownFunc *typeID;
  LWNodeUnknownFunc *evaluate;
} LWNodeOutputFuncs;

#endif
