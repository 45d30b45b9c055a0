#!/usr/bin/env bash
# No path of the module can throw: its code refers to nothing that throws
# (operator new in every form, even the nothrow one, which catches a throw of
# its own; the runtime's __throw_* helpers; __cxa_throw, __cxa_rethrow,
# __cxa_allocate_exception; the unwinder's raise). Given the nm command of
# the files' target and the files (a module file linked against a shared
# runtime, or the module's archive and objects):
#   tests/check_no_throw.sh "nm -D" build/Korv_Edge.p
#   tests/check_no_throw.sh i686-w64-mingw32-nm build-win32/libkorv_module.a build-win32/libkorv_common.a OBJ...
set -uo pipefail
read -ra nm_command <<<"${1:?usage: check_no_throw.sh NM FILE...}"
shift
undefined=$("${nm_command[@]}" --undefined-only "$@") || {
  echo "FAIL: ${nm_command[*]} could not read $*"
  exit 1
}
# A listing that frees nothing is not the module's: the check would prove nothing.
if ! grep -qE ' U _?(free(@|$)|_Zdl)' <<<"$undefined"; then
  echo "FAIL: nothing freed among the undefined symbols of $*"
  exit 1
fi
throwing=$(grep -E ' U _?(_Znw|_Zna|__cxa_throw|__cxa_rethrow|__cxa_allocate_exception|_ZSt[0-9]+__throw_|_Unwind_RaiseException)' <<<"$undefined" | sort -u)
if [[ -n $throwing ]]; then
  echo "FAIL: the module refers to what throws:"
  echo "$throwing"
  exit 1
fi
echo "no throw in $*"
