#!/usr/bin/env bash
# scripts/gallery renders, at a tiny size into a scratch folder, exactly the
# pictures the manual shows and the repository holds, each a PNG of the size
# asked for, and the same bytes on a second run.
# Arguments: the source folder, korv-host.
set -euo pipefail
source_dir=$1
host=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

"$source_dir/scripts/gallery" --list | sort >"$work/listed"
test -s "$work/listed" || fail "the gallery lists no pictures"

"$source_dir/scripts/gallery" --size 24x18 --out "$work/a" --host "$host" >/dev/null
"$source_dir/scripts/gallery" --size 24x18 --out "$work/b" --host "$host" >/dev/null

(cd "$work/a" && ls) | sort >"$work/made"
diff -u "$work/listed" "$work/made" || fail "the pictures made are not the pictures listed"

# Every picture the manual shows, and only those, is made; and the repository
# holds the same names.
{ grep -oE '\(images/[^)]+\.png\)' "$source_dir/docs/manual.md" || true; } |
  sed -E 's/^\(images\/(.*)\)$/\1/' | sort -u >"$work/shown"
diff -u "$work/listed" "$work/shown" || fail "the manual shows other pictures than the gallery makes"
(cd "$source_dir/docs/images" && ls) | sort >"$work/committed"
diff -u "$work/listed" "$work/committed" || fail "docs/images holds other pictures than the gallery makes"

# Each is a PNG; a single picture is 24 x 18, the three-panel pictures wider
# and taller (gaps and labels).
while read -r name; do
  file=$work/a/$name
  signature=$(od -An -tx1 -N8 "$file" | tr -d ' \n')
  [[ $signature == 89504e470d0a1a0a ]] || fail "$name is not a PNG"
  read -r w0 w1 w2 w3 h0 h1 h2 h3 < <(od -An -tu1 -j16 -N8 "$file")
  width=$(((w0 << 24) | (w1 << 16) | (w2 << 8) | w3))
  height=$(((h0 << 24) | (h1 << 16) | (h2 << 8) | h3))
  if [[ $name == overview.png || $name == node-*.png ]]; then
    ((width > 3 * 24 && height > 18)) || fail "$name is ${width}x$height"
  else
    ((width == 24 && height == 18)) || fail "$name is ${width}x$height, not 24x18"
  fi
done <"$work/listed"

diff -r "$work/a" "$work/b" >/dev/null || fail "a second run gave other bytes"
echo "$(wc -l <"$work/listed") pictures, each a PNG, the same on a second run"
