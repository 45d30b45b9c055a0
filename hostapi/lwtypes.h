/* Basic host types shared by every service of the host interface.
 *
 * Our own declaration of the host's plug-in interface, written from the
 * host's published record layouts: plain C records and function-pointer
 * types, no logic. Where the host's declarations say long or unsigned long,
 * which are 32 bits wide on both Windows targets, these say int32_t or
 * uint32_t, so that a 64-bit build elsewhere keeps the same widths.
 * hostapi/layout_checks.h proves every record's layout at compile time. */
#ifndef KORV_HOSTAPI_LWTYPES_H
#define KORV_HOSTAPI_LWTYPES_H

#include <stddef.h>
#include <stdint.h>

/* Opaque handles. The host hands them out; a plug-in only stores, compares
 * and passes them back. */
typedef struct st_LWItem *LWItemID;
typedef struct st_LWPoint *LWPntID;
typedef struct st_LWPolygon *LWPolID;
typedef struct st_LWTexture *LWTextureID;

/* A plug-in's instance data, owned by the plug-in between create and destroy. */
typedef void *LWInstance;

/* An error text; null means success. The text is owned by the plug-in. */
typedef const char *LWError;

/* A four-character identifier packed into 32 bits, first character highest. */
typedef uint32_t LWID;
#define LWID_(a, b, c, d) \
  ((((uint32_t)(a)) << 24) | (((uint32_t)(b)) << 16) | (((uint32_t)(c)) << 8) | ((uint32_t)(d)))

typedef float LWFVector[3];
typedef double LWDVector[3];
typedef int LWFrame;
typedef double LWTime;

#endif
