#!/bin/sh
# korv-host keeps settings in a scene file (--save-scene) and starts from one
# (--scene); a damaged scene still gives the settings that could be read,
# with a note on stderr, and does not stop the command.
set -eu
host=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

"$host" panel --set edge_width=0.1 --set out_channel=7 --set open_edge=1 \
  --save-scene "$dir/a.scene" >/dev/null
out=$("$host" panel --scene "$dir/a.scene" 2>"$dir/err")
echo "$out"
echo "$out" | grep -Eq 'Edge width \[m\]: +float +0\.1 '
echo "$out" | grep -q '"Gradient bump input"'
echo "$out" | grep -Eq 'detect open edges +iBoolean +on '
test ! -s "$dir/err"

# Cut edge_width's double short, add a line of rubbish and lose the "end".
sed -e 's/U1 3F B9 99 99 99 99 99 9A/U1 3F B9 99/' -e '/^end$/d' "$dir/a.scene" >"$dir/b.scene"
printf 'rubbish\n' >>"$dir/b.scene"
out=$("$host" panel --scene "$dir/b.scene" 2>"$dir/err")
cat "$dir/err"
echo "$out" | grep -Eq 'Edge width \[m\]: +float +0\.02 '
echo "$out" | grep -q '"Gradient bump input"'
echo "$out" | grep -Eq 'detect open edges +iBoolean +on '
grep -q 'the settings block was incomplete' "$dir/err"

# A scene that cannot be read at all is a usage error.
status=0
"$host" panel --scene "$dir/none.scene" >/dev/null 2>&1 || status=$?
test "$status" -eq 2
