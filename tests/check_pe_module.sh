#!/usr/bin/env bash
# The Windows module file's form: a DLL for the expected machine (a PE32 file
# for Intel 80386, or a PE32+ file for x86-64) whose export table names
# exactly _mod_descrip and which imports only from Windows system libraries
# (the kernel and the C runtime), so that it loads in a host without any
# compiler runtime DLLs beside it.
#   tests/check_pe_module.sh build-win32/Korv_Edge.p [i386]
#   tests/check_pe_module.sh build-win64/Korv_Edge.p x86-64
set -uo pipefail
module=${1:?usage: check_pe_module.sh MODULE [i386|x86-64]}
machine=${2:-i386}
case $machine in
  i386)
    file_kind='PE32 executable (DLL)'
    file_machine='Intel 80386'
    magic=010b
    format=pei-i386
    default_objdump=i686-w64-mingw32-objdump
    ;;
  x86-64)
    file_kind='PE32+ executable (DLL)'
    file_machine='x86-64'
    magic=020b
    format=pei-x86-64
    default_objdump=x86_64-w64-mingw32-objdump
    ;;
  *)
    echo "check_pe_module.sh: unknown machine '$machine' (i386 or x86-64)" >&2
    exit 2
    ;;
esac
objdump=${OBJDUMP:-$default_objdump}
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

[[ -f $module ]] || { echo "FAIL: $module does not exist"; exit 1; }

kind=$(file -b "$module")
echo "file: $kind"
[[ $kind == "$file_kind"* ]] || fail "not a ${file_kind% executable*} DLL"
[[ $kind == *" $file_machine, "* ]] || fail "not for $file_machine"

headers=$("$objdump" -p "$module") || { echo "FAIL: $objdump cannot read $module"; exit 1; }
grep -q "^Magic[[:space:]]*$magic" <<<"$headers" || fail "optional header magic is not $magic"
grep -q "file format $format\$" <<<"$headers" || fail "object format is not $format"

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

# The render lock is a Win32 critical section. The kernel's functions for it
# must be imported (the C runtime's start-up code takes them too, so this
# alone proves little); what tells is that no pthreads emulation is linked
# in, checked by name where the file still carries its symbol table.
for function in InitializeCriticalSection EnterCriticalSection LeaveCriticalSection DeleteCriticalSection; do
  grep -qE "^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+$function\$" <<<"$headers" \
    || fail "does not import $function"
done
pthread_symbols=$("$objdump" -t "$module" | grep -cE '[[:space:]]_?pthread_[a-z_]+$')
((pthread_symbols == 0)) || fail "links a pthreads emulation ($pthread_symbols pthread_ symbols)"

if ((failures == 0)); then
  echo "PASS: $module is a ${file_kind% executable*} $machine DLL exporting only _mod_descrip"
fi
((failures == 0))
