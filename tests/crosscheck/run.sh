#!/usr/bin/env bash
# Feeds the native build and the Windows builds (32-bit and 64-bit, in Wine)
# the same meshes and samples and compares the edge databases and evaluated
# records they compute. Each Windows build runs twice: with the x87 unit's
# precision set to 64 bits, as MinGW programs start, and to 53 bits, as hosts
# built with Microsoft's compiler run. The module's exp and cos come from the
# MinGW runtime, which computes them on the x87 unit in both the 32-bit and
# the 64-bit module, so every run must agree with the native build; and two
# Windows builds given the same precision must agree with each other byte for
# byte, since they share that runtime code. Ends with "N passed, N failed"
# over the compared cases.
#   tests/crosscheck/run.sh NATIVE_BUILD_DIR WINDOWS_BUILD_DIR...
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
native=${1:?usage: run.sh NATIVE_BUILD_DIR WINDOWS_BUILD_DIR...}
shift
(($# > 0)) || { echo "usage: run.sh NATIVE_BUILD_DIR WINDOWS_BUILD_DIR..." >&2; exit 2; }
windows_builds=("$@")
out=$native/crosscheck
mkdir -p "$out"
precisions=(64 53)

# The shared meshes beside the repository, when present.
meshes=()
mesh_dir=${KORV_MESH_DIR:-$root/../shared/meshes}
if [[ -d $mesh_dir ]]; then
  mesh_dir=$(cd "$mesh_dir" && pwd)
  meshes=("$mesh_dir"/*.obj)
  echo "meshes: generated ones and $(basename -a "${meshes[@]}" | tr '\n' ' ')"
else
  echo "meshes: generated ones only ($mesh_dir is absent)"
fi

passed=0
failed=0
count() {
  local line
  line=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$1" | tail -1)
  if [[ -z $line ]]; then
    failed=$((failed + 1))
    return
  fi
  passed=$((passed + ${line%% passed*}))
  line=${line#*, }
  failed=$((failed + ${line%% failed}))
}

# A Windows build's name in the report: its folder and its machine.
machine_of() {
  case $(file -b "$1/korv-records.exe") in
    *x86-64*) echo x86-64 ;;
    *80386*) echo i386 ;;
    *) echo unknown ;;
  esac
}

# The native build reads and makes every mesh once; all builds then shade
# those exact floats.
if ! "$native/korv-records" export "${meshes[@]}" >"$out/meshes.jsonl"; then
  echo "FAIL native mesh export"
  echo "0 passed, 1 failed"
  exit 1
fi
if ! "$native/korv-records" dump --meshes "$out/meshes.jsonl" >"$out/native.jsonl"; then
  echo "FAIL native dump"
  echo "0 passed, 1 failed"
  exit 1
fi

for windows in "${windows_builds[@]}"; do
  name="$(basename "$windows") ($(machine_of "$windows"))"
  mkdir -p "$windows/crosscheck"
  # For information: meshes the Windows host itself reads or makes differently
  # (its runtime's sin, cos and number reading). Not the module's doing.
  if "$root/scripts/wine-run" "$windows/wine-prefix" "$windows/korv-records.exe" export \
    "${meshes[@]}" >"$windows/crosscheck/meshes-windows.jsonl"; then
    differing=$(awk 'NR == FNR {line[FNR] = $0; next}
                     $0 != line[FNR] {sub(/^\{"mesh":"/, ""); sub(/".*/, ""); printf "%s ", $0}' \
      "$out/meshes.jsonl" "$windows/crosscheck/meshes-windows.jsonl")
    echo "meshes $name makes or reads differently: ${differing:-none}"
  fi
  for precision in "${precisions[@]}"; do
    dump=$windows/crosscheck/windows-x87-$precision.jsonl
    rm -f "$dump"
    if ! "$root/scripts/wine-run" "$windows/wine-prefix" "$windows/korv-records.exe" dump \
      --x87-precision "$precision" --meshes "$out/meshes.jsonl" >"$dump"; then
      echo "FAIL $name dump (x87 precision $precision)"
      rm -f "$dump"
      failed=$((failed + 1))
      continue
    fi
    echo "--- native against $name, x87 precision $precision bits"
    "$native/korv-records" compare "$out/native.jsonl" "$dump" | tee "$windows/crosscheck/compare-$precision.txt"
    count "$windows/crosscheck/compare-$precision.txt"
  done
done

# The Windows builds against each other, byte for byte at each precision.
for ((i = 1; i < ${#windows_builds[@]}; ++i)); do
  first=${windows_builds[0]}
  other=${windows_builds[i]}
  for precision in "${precisions[@]}"; do
    a=$first/crosscheck/windows-x87-$precision.jsonl
    b=$other/crosscheck/windows-x87-$precision.jsonl
    what="$(basename "$first") and $(basename "$other"), x87 precision $precision bits"
    [[ -f $a && -f $b ]] || continue  # a failed dump is counted above
    if difference=$(cmp "$a" "$b" 2>&1); then
      echo "PASS $what: identical ($(wc -l <"$a") records)"
      passed=$((passed + 1))
    else
      echo "FAIL $what: $difference"
      failed=$((failed + 1))
    fi
  done
done
echo "$passed passed, $failed failed"
((failed == 0))
