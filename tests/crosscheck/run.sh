#!/usr/bin/env bash
# Feeds the native build and the Windows build (in Wine) the same meshes and
# samples and compares the edge databases and evaluated records they compute.
# The Windows build runs twice: with the x87 unit's precision set to 64 bits,
# as MinGW programs start, and to 53 bits, as hosts built with Microsoft's
# compiler run. The module's exp and cos come from the MinGW runtime, which
# computes them on the x87 unit, so both must agree with the native build. Ends with "N passed, N failed" over the compared cases.
#   tests/crosscheck/run.sh NATIVE_BUILD_DIR WINDOWS_BUILD_DIR
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
native=${1:?usage: run.sh NATIVE_BUILD_DIR WINDOWS_BUILD_DIR}
windows=${2:?usage: run.sh NATIVE_BUILD_DIR WINDOWS_BUILD_DIR}
out=$windows/crosscheck
mkdir -p "$out"

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

# The native build reads and makes every mesh once; both builds then shade
# those exact floats.
if ! "$native/korv-records" export "${meshes[@]}" >"$out/meshes.jsonl"; then
  echo "FAIL native mesh export"
  echo "0 passed, 1 failed"
  exit 1
fi
# For information: meshes the Windows host itself reads or makes differently
# (its runtime's sin, cos and number reading). Not the module's doing.
if "$root/scripts/wine-run" "$windows/wine-prefix" "$windows/korv-records.exe" export \
  "${meshes[@]}" >"$out/meshes-windows.jsonl"; then
  differing=$(awk 'NR == FNR {line[FNR] = $0; next}
                   $0 != line[FNR] {sub(/^\{"mesh":"/, ""); sub(/".*/, ""); printf "%s ", $0}' \
    "$out/meshes.jsonl" "$out/meshes-windows.jsonl")
  echo "meshes the Windows host makes or reads differently: ${differing:-none}"
fi

if ! "$native/korv-records" dump --meshes "$out/meshes.jsonl" >"$out/native.jsonl"; then
  echo "FAIL native dump"
  echo "0 passed, 1 failed"
  exit 1
fi
for precision in 64 53; do
  dump=$out/windows-x87-$precision.jsonl
  if ! "$root/scripts/wine-run" "$windows/wine-prefix" "$windows/korv-records.exe" dump \
    --x87-precision "$precision" --meshes "$out/meshes.jsonl" >"$dump"; then
    echo "FAIL windows dump (x87 precision $precision)"
    failed=$((failed + 1))
    continue
  fi
  echo "--- native against windows, x87 precision $precision bits"
  "$native/korv-records" compare "$out/native.jsonl" "$dump" | tee "$out/compare-$precision.txt"
  count "$out/compare-$precision.txt"
done
echo "$passed passed, $failed failed"
((failed == 0))
