#!/usr/bin/env bash
# scripts/package, run in a clean clone of the current commit with the Windows
# module files already built here: the zip is named by the project's version,
# holds exactly the module files, the manual with its pictures, the licence,
# the notices and SHA256SUMS, and every checksum holds. In the same clone with
# an untracked file, scripts/package refuses and writes no zip.
# Argument: the source folder (default: this script's repository).
set -euo pipefail
source_dir=$(cd "${1:-$(dirname "$0")/..}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  echo "0 passed, 1 failed"
  exit 1
}

# A clone holds the commit and nothing else, whatever state the working tree
# is in; the module files go into its (ignored) build folders.
clone=$work/clone
git clone -q --shared "$source_dir" "$clone"
mapfile -t trees < <(cd "$clone" && scripts/build --list | grep -E '^win(32|64)$')
for tree in "${trees[@]}"; do
  [[ -f $source_dir/build-$tree/Korv_Edge.p ]] || fail "build-$tree/Korv_Edge.p is not built"
  mkdir -p "$clone/build-$tree"
  cp "$source_dir/build-$tree"/Korv_Edge*.p "$clone/build-$tree/"
done

zip_name=$(cd "$clone" && scripts/package --no-build | tail -1)
version=$(sed -nE 's/^project\(Korv_Edge VERSION ([0-9.]+).*/\1/p' "$clone/CMakeLists.txt")
[[ $zip_name == "dist/Korv_Edge-$version-windows.zip" ]] || fail "the package is '$zip_name'"
(cd "$clone" && git status --porcelain | grep -q .) && fail "packaging left the clone dirty"

mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$clone/$zip_name")

# Exactly these files.
{
  for tree in "${trees[@]}"; do
    case $tree in
      win32) echo x86/Korv_Edge.p ;;
      win64) printf '%s\n' x64/Korv_Edge.p x64/Korv_EdgeNode.p ;;
    esac
  done
  echo docs/manual.md
  (cd "$clone" && scripts/gallery --list) | sed 's|^|docs/images/|'
  printf '%s\n' LICENSE THIRD-PARTY-NOTICES.txt SHA256SUMS
} | LC_ALL=C sort >"$work/expected"
(cd "$work/unpacked" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) >"$work/found"
diff -u "$work/expected" "$work/found" || fail "the package holds other files"

# Every checksum holds, and every file but SHA256SUMS has one.
(cd "$work/unpacked" && sha256sum --check --strict --quiet SHA256SUMS) || fail "a checksum fails"
awk '{print $2}' "$work/unpacked/SHA256SUMS" | LC_ALL=C sort >"$work/summed"
grep -vx SHA256SUMS "$work/expected" | diff -u - "$work/summed" || fail "SHA256SUMS does not cover every file"

# The files are those of the commit and of the build.
for tree in "${trees[@]}"; do
  case $tree in
    win32) cmp "$work/unpacked/x86/Korv_Edge.p" "$source_dir/build-win32/Korv_Edge.p" ;;
    win64) cmp "$work/unpacked/x64/Korv_Edge.p" "$source_dir/build-win64/Korv_Edge.p" &&
      cmp "$work/unpacked/x64/Korv_EdgeNode.p" "$source_dir/build-win64/Korv_EdgeNode.p" ;;
  esac || fail "the $tree module differs from the one built"
done
cmp "$work/unpacked/docs/manual.md" "$clone/docs/manual.md" || fail "the manual differs"
cmp "$work/unpacked/LICENSE" "$clone/LICENSE" || fail "LICENSE differs"
cmp "$work/unpacked/THIRD-PARTY-NOTICES.txt" "$clone/docs/third-party-notices.txt" ||
  fail "the notices differ"
grep -q '^MIT License$' "$work/unpacked/LICENSE" || fail "LICENSE is not the MIT licence"
grep -q 'GCC RUNTIME LIBRARY EXCEPTION' "$work/unpacked/THIRD-PARTY-NOTICES.txt" ||
  fail "the notices lack the GCC Runtime Library Exception"
head -c 2 "$work/unpacked/x86/Korv_Edge.p" | grep -q MZ || fail "x86/Korv_Edge.p is not a Windows module"

# An untracked file: no package.
rm -rf "$clone/dist"
touch "$clone/stray.txt"
status=0
(cd "$clone" && scripts/package --no-build) >"$work/out" 2>"$work/err" || status=$?
((status != 0)) || fail "scripts/package packaged a dirty tree"
grep -q 'uncommitted changes or untracked files' "$work/err" || fail "no reason given: $(cat "$work/err")"
grep -q 'stray.txt' "$work/err" || fail "the stray file is not named"
[[ ! -e $clone/dist ]] || fail "a refused package still wrote dist/"

echo "package: $(wc -l <"$work/expected") files, checksums hold; a dirty tree is refused"
echo "1 passed, 0 failed"
