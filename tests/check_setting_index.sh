#!/usr/bin/env bash
# The settings' compile-time name search: a known name compiles, a name that
# is no setting's is a compile error naming the search.
#   tests/check_setting_index.sh CXX SOURCE_DIR
set -uo pipefail
cxx=${1:?usage: check_setting_index.sh CXX SOURCE_DIR}
root=${2:?usage: check_setting_index.sh CXX SOURCE_DIR}
source=$root/tests/compile/setting_index_use.cpp
log=$(mktemp)
trap 'rm -f "$log"' EXIT

compile() {
  "$cxx" -std=c++20 -fsyntax-only -I"$root" -DKORV_SETTING_NAME="\"$1\"" "$source" >"$log" 2>&1
}

status=0
for name in edge_width out_width smooth_cos; do
  if ! compile "$name"; then
    echo "FAIL: the setting name $name does not compile:"
    cat "$log"
    status=1
  fi
done
for name in no_such_setting edge_widht ""; do
  if compile "$name"; then
    echo "FAIL: the name '$name', which is no setting's, compiles"
    status=1
  elif ! grep -q 'setting_index' "$log"; then
    echo "FAIL: the name '$name' fails to compile, but not in setting_index:"
    cat "$log"
    status=1
  fi
done
((status == 0)) && echo "setting_index: known names compile, unknown ones do not"
exit "$status"
