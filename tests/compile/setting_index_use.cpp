// Compiled by tests/check_setting_index.sh with KORV_SETTING_NAME set to a
// setting's name, which must compile, and to a name that is none, which must
// not: the search may not yield a row for it.
#include "instance/edge_instance.h"

[[maybe_unused]] constexpr std::size_t kIndex = korv::setting_index(KORV_SETTING_NAME);
