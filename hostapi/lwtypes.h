/* Basic host types shared by every service of the host interface.
 * Our own declaration of the host's plug-in interface: plain C records and
 * function-pointer types, no logic. */
#ifndef KORV_HOSTAPI_LWTYPES_H
#define KORV_HOSTAPI_LWTYPES_H

/* Opaque handles. The host hands them out; a plug-in only stores, compares
 * and passes them back. */
typedef struct st_LWItem *LWItemID;
typedef struct st_LWPoint *LWPntID;
typedef struct st_LWPolygon *LWPolID;

/* A plug-in's instance data, owned by the plug-in between create and destroy. */
typedef void *LWInstance;

/* An error text; null means success. The text is owned by the plug-in. */
typedef const char *LWError;

/* A four-character identifier packed into 32 bits, first character highest. */
typedef unsigned int LWID;

typedef float LWFVector[3];
typedef double LWDVector[3];
typedef int LWFrame;
typedef double LWTime;

#endif
