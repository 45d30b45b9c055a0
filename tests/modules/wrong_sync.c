/* A module whose descriptor carries the wrong synchronisation word: a host
 * must refuse it before calling anything in it. */
#include "hostapi/lwmodule.h"

static int started = 0;
static void *startup(void) {
  started = 1;
  return (void *)4;
}

__attribute__((visibility("default")))
ModuleDescriptor _mod_descrip = {0x04121995u, 3, 0x300, startup, 0, 0};
