/* Module loading: the descriptor a module exports, its server list and the
 * activation and global-lookup function forms. */
#ifndef KORV_HOSTAPI_LWMODULE_H
#define KORV_HOSTAPI_LWMODULE_H

/* The synchronisation word every module descriptor carries. */
#define MOD_SYSSYNC 0x04121994u

/* Use flag of a global lookup: the service is used for the call at hand. */
#define GFUSE_TRANSIENT 0

/* Activation results. */
#define AFUNC_OK 0
#define AFUNC_BADVERSION 1
#define AFUNC_BADGLOBAL 2

/* Looks up a host service by name; null when the host has none. */
typedef void *GlobalFunc(const char *serviceName, int useFlags);

/* Activates one server: fills the host's record for the server class
 * (local) and returns one of the AFUNC codes. */
typedef int ActivateFunc(int version, GlobalFunc *global, void *local, void *serverData);

typedef struct st_ServerTagInfo ServerTagInfo;

/* One entry of a module's server list; a null class name ends the list. */
typedef struct st_ServerRecord {
  const char *className;
  const char *name;
  ActivateFunc *activate;
  const ServerTagInfo *tagInfo;
} ServerRecord;

/* The exported descriptor, read by the host after it loads the module file.
 * The module owns it; it lives as long as the module is loaded. */
typedef struct st_ModuleDescriptor {
  unsigned int sysSync;
  int sysVersion;
  unsigned int sysMachine;
  void *(*startup)(void);
  void (*shutdown)(void *serverData);
  ServerRecord *serverDefs;
} ModuleDescriptor;

#endif
