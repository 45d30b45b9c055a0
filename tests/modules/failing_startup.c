/* A module whose start-up function fails (returns null): a host must not
 * use it. */
#include "hostapi/lwmodule.h"

static void *startup(void) {
  return 0;
}

__attribute__((visibility("default")))
ModuleDescriptor _mod_descrip = {MOD_SYSSYNC, MOD_SYSVER, MOD_MACHINE, startup, 0, 0};
