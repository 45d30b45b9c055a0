#include "shader/persistence.h"

namespace korv {

// Not written yet: loading leaves the instance as it is, saving writes nothing.
LWError instance_load(LWInstance /*inst*/, const LWLoadState * /*state*/) { return nullptr; }

LWError instance_save(LWInstance /*inst*/, const LWSaveState * /*state*/) { return nullptr; }

}  // namespace korv
