#!/usr/bin/env bash
# The Windows module file's form: a PE32 DLL for Intel 80386 whose export
# table names exactly _mod_descrip and which imports only from Windows system
# libraries (the kernel and the C runtime), so that it loads in a host without
# any compiler runtime DLLs beside it.
#   tests/check_pe_module.sh build-win32/Korv_Edge.p
set -uo pipefail
module=${1:?usage: check_pe_module.sh MODULE}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

[[ -f $module ]] || { echo "FAIL: $module does not exist"; exit 1; }

kind=$(file -b "$module")
echo "file: $kind"
[[ $kind == PE32\ executable\ \(DLL\)* ]] || fail "not a PE32 DLL"
[[ $kind == *"Intel 80386"* ]] || fail "not for Intel 80386"

headers=$("$objdump" -p "$module") || { echo "FAIL: $objdump cannot read $module"; exit 1; }
grep -q '^Magic[[:space:]]*010b' <<<"$headers" || fail "optional header is not PE32 (magic 010b)"
grep -q 'file format pei-i386' <<<"$headers" || fail "object format is not pei-i386"

# The names listed under the export name table.
exports=$(awk '/^\[Ordinal\/Name Pointer\] Table/ {on = 1; next}
               on && /^[[:space:]]*\[[[:space:]]*[0-9]+\]/ {print $NF; next}
               on && NF == 0 {on = 0}' <<<"$headers")
echo "exports: $(tr "\n" " " <<<"${exports:-(none)}")"
[[ $exports == "_mod_descrip" ]] || fail "the export table must hold exactly _mod_descrip"

imports=$(awk '/DLL Name:/ {print $3}' <<<"$headers")
echo "imports: $(tr '\n' ' ' <<<"$imports")"
[[ -n $imports ]] || fail "no import table"
for dll in $imports; do
  # Windows system DLLs only: the kernel, the C runtime (msvcrt or the
  # universal CRT's api-ms-win-crt-* forwarders) and other core system DLLs.
  shopt -s nocasematch
  if [[ ! $dll =~ ^(kernel32|msvcrt|ntdll|user32|advapi32|ucrtbase|api-ms-win-crt-[a-z0-9-]+)\.dll$ ]]; then
    fail "imports from $dll, which is not a Windows system library"
  fi
  shopt -u nocasematch
done

if ((failures == 0)); then
  echo "PASS: $module is a PE32 i386 DLL exporting only _mod_descrip"
fi
((failures == 0))
