#include "edges/settings.h"

#include <cstring>

namespace korv {

bool same_settings(const EdgeSettings &a, const EdgeSettings &b) {
  // Field by field: the bytes between fields are no setting's.
#define KORV_SAME(field, type, kind, value, id, label) \
  std::memcmp(&a.field, &b.field, sizeof(type)) == 0 &&
  return KORV_EDGE_SETTINGS(KORV_SAME) true;
#undef KORV_SAME
}

}  // namespace korv
