/* Compiled as C99 with -pedantic: keeps C++ out of the host declarations. */
#include "hostapi/lwio.h"
#include "hostapi/lwmeshes.h"
#include "hostapi/lwmodule.h"
#include "hostapi/lwnodes.h"
#include "hostapi/lwshader.h"
#include "hostapi/lwtypes.h"
#include "hostapi/lwxpanel.h"

int korv_hostapi_c_check(void) {
  ModuleDescriptor descriptor = {MOD_SYSSYNC, 3, 0x300, 0, 0, 0};
  LWShaderAccess access;
  LWBlockIdent block = {0x50444C42u, "PluginDataLib"};
  access.bumpHeight = 0.0;
  return (int)(descriptor.sysSync != MOD_SYSSYNC) + (int)access.bumpHeight + (int)(block.id == 0);
}
