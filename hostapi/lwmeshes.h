/* Object and mesh information: the "LW Object Info 3" service and the
 * mesh-info object it hands out for one object. */
#ifndef KORV_HOSTAPI_LWMESHES_H
#define KORV_HOSTAPI_LWMESHES_H

#include "lwtypes.h"

#define LWOBJECTINFO_GLOBAL "LW Object Info 3"

/* Scan callbacks: called once per element; a result of 0 lets the scan go on. */
typedef int LWPntScanFunc(void *userData, LWPntID point);
typedef int LWPolScanFunc(void *userData, LWPolID polygon);

typedef struct st_LWMeshInfo *LWMeshInfoID;

/* A mesh-info object. The host creates it for one object; whoever obtained it
 * releases it with destroy, which may be null (then nothing is released).
 * Scans call back synchronously, on the calling thread, for every element and
 * return 0 when they completed. */
typedef struct st_LWMeshInfo {
  void *priv;
  void (*destroy)(LWMeshInfoID mesh);
  int (*scanPoints)(LWMeshInfoID mesh, LWPntScanFunc *callback, void *userData);
  int (*scanPolys)(LWMeshInfoID mesh, LWPolScanFunc *callback, void *userData);
  void (*pntBasePos)(LWMeshInfoID mesh, LWPntID point, LWFVector pos);
  void (*pntOtherPos)(LWMeshInfoID mesh, LWPntID point, LWFVector pos);
  int (*polSize)(LWMeshInfoID mesh, LWPolID polygon);
  LWPntID (*polVertex)(LWMeshInfoID mesh, LWPolID polygon, int vertex);
} LWMeshInfo;

/* The object-info service. meshInfo returns a new mesh-info object for the
 * object, or null; the caller owns the result. */
typedef struct st_LWObjectInfo {
  LWMeshInfoID (*meshInfo)(LWItemID object, int frozen);
} LWObjectInfo;

#endif
