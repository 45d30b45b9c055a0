/* Object and mesh information: the "LW Object Info 3" service and the
 * mesh-info object it hands out for one object. */
#ifndef KORV_HOSTAPI_LWMESHES_H
#define KORV_HOSTAPI_LWMESHES_H

#include "lwtypes.h"

#define LWOBJECTINFO_GLOBAL "LW Object Info 3"

/* Polygon types and polygon tags. */
#define LWPOLTYPE_FACE LWID_('F', 'A', 'C', 'E')
#define LWPTAG_SURF LWID_('S', 'U', 'R', 'F')

/* The result of a scan callback and of a scan. Hosts for 32-bit Windows read
 * an int; every host for 64-bit Windows reads, and returns, a pointer-sized
 * value. Either way 0 lets a scan go on and means a scan completed. */
#if UINTPTR_MAX > 0xFFFFFFFFu
typedef size_t LWScanResult;
#else
typedef int LWScanResult;
#endif

/* Scan callbacks: called once per element; a non-zero result stops the scan,
 * which then returns it. */
typedef LWScanResult LWPntScanFunc(void *userData, LWPntID point);
typedef LWScanResult LWPolScanFunc(void *userData, LWPolID polygon);

typedef struct st_LWMeshInfo *LWMeshInfoID;

/* A mesh-info object. The host creates it for one object; whoever obtained it
 * releases it with destroy, which may be null (then nothing is released).
 * Scans call back synchronously, on the calling thread, for every element and
 * return 0 when they completed. */
typedef struct st_LWMeshInfo {
  void *priv;
  void (*destroy)(LWMeshInfoID mesh);
  int (*numPoints)(LWMeshInfoID mesh);
  int (*numPolygons)(LWMeshInfoID mesh);
  LWScanResult (*scanPoints)(LWMeshInfoID mesh, LWPntScanFunc *callback, void *userData);
  LWScanResult (*scanPolys)(LWMeshInfoID mesh, LWPolScanFunc *callback, void *userData);
  void (*pntBasePos)(LWMeshInfoID mesh, LWPntID point, LWFVector pos);
  void (*pntOtherPos)(LWMeshInfoID mesh, LWPntID point, LWFVector pos);
  void *(*pntVLookup)(LWMeshInfoID mesh, LWID type, const char *name);
  int (*pntVSelect)(LWMeshInfoID mesh, void *vmap);
  int (*pntVGet)(LWMeshInfoID mesh, LWPntID point, float *vector);
  LWID (*polType)(LWMeshInfoID mesh, LWPolID polygon);
  int (*polSize)(LWMeshInfoID mesh, LWPolID polygon);
  LWPntID (*polVertex)(LWMeshInfoID mesh, LWPolID polygon, int vertex);
  const char *(*polTag)(LWMeshInfoID mesh, LWPolID polygon, LWID type);
  int (*pntVPGet)(LWMeshInfoID mesh, LWPntID point, LWPolID polygon, float *vector);
} LWMeshInfo;

/* The object-info service. meshInfo returns a new mesh-info object for the
 * object, or null; the caller owns the result. */
typedef struct st_LWObjectInfo {
  const char *(*filename)(LWItemID object);
  int (*numPoints)(LWItemID object);
  int (*numPolygons)(LWItemID object);
  unsigned int (*shadowOpts)(LWItemID object);
  double (*dissolve)(LWItemID object, LWTime time);
  LWMeshInfoID (*meshInfo)(LWItemID object, int frozen);
  unsigned int (*flags)(LWItemID object);
  double (*fog)(LWItemID object, LWTime time);
  LWTextureID (*dispMap)(LWItemID object);
  LWTextureID (*clipMap)(LWItemID object);
  void (*patchLevel)(LWItemID object, int *display, int *render);
  void (*metaballRes)(LWItemID object, double *display, double *render);
} LWObjectInfo;

#endif
