/* Module loading: the descriptor a module exports, its server list and the
 * activation and global-lookup function forms. */
#ifndef KORV_HOSTAPI_LWMODULE_H
#define KORV_HOSTAPI_LWMODULE_H

#include "lwtypes.h"

/* The descriptor's first three words on Windows, both widths. */
#define MOD_SYSSYNC 0x04121994u
#define MOD_SYSVER 3
#define MOD_MACHINE 0x300

/* Use flags of a global lookup. */
#define GFUSE_TRANSIENT 0
#define GFUSE_ACQUIRE 1
#define GFUSE_RELEASE 2

/* Activation results. */
#define AFUNC_OK 0
#define AFUNC_BADVERSION 1
#define AFUNC_BADGLOBAL 2
#define AFUNC_BADLOCAL 3
#define AFUNC_BADAPP 4

/* Looks up a host service by name; null when the host has none. */
typedef void *GlobalFunc(const char *serviceName, int useMode);

/* Activates one server: fills the host's record for the server class
 * (local) and returns one of the AFUNC codes. The host's version argument is
 * a long, 32 bits wide on Windows. */
typedef int ActivateFunc(int32_t version, GlobalFunc *global, void *local, void *serverData);

/* Tags of a server's tag information. */
#define SRVTAG_USERNAME 0x00000u
#define SRVTAG_DESCRIPTION 0x40000u
#define SRVTAG_NODEGROUP 0x70000u /* the group of the Node Editor's add menu */

/* Tag information of a server (names and descriptions for the host's lists). */
typedef struct st_ServerTagInfo {
  const char *string;
  unsigned int tag;
} ServerTagInfo;

/* One entry of a module's server list; a null class name ends the list. */
typedef struct st_ServerRecord {
  const char *className;
  const char *name;
  ActivateFunc *activate;
  ServerTagInfo *tagInfo;
} ServerRecord;

/* The exported descriptor, read by the host after it loads the module file.
 * The module owns it; it lives as long as the module is loaded. */
typedef struct st_ModuleDescriptor {
  uint32_t sysSync;
  uint32_t sysVersion;
  uint32_t sysMachine;
  void *(*startup)(void);
  void (*shutdown)(void *serverData);
  ServerRecord *serverDefs;
} ModuleDescriptor;

#endif
