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

# The edge node keeps its settings in a block of its own, without the
# shader's channel settings; a scene with only the shader's block gives the
# node the shader's settings, and the shader finds no block in the node's.
"$host" panel --node --set edge_width=0.25 --set edge_kind=2 --save-scene "$dir/n.scene" >/dev/null
grep -qx 'node Korv_Edge' "$dir/n.scene"
[ -z "$(grep -E '^shader|out_channel|disable_bevel' "$dir/n.scene")" ]
out=$("$host" panel --node --scene "$dir/n.scene" 2>"$dir/err")
echo "$out" | grep -Eq 'Edge width \[m\]: +float +0\.25 '
echo "$out" | grep -q '"Inside (concave)"'
test ! -s "$dir/err"
"$host" panel --node --scene "$dir/a.scene" 2>/dev/null | grep -Eq 'detect open edges +iBoolean +on '
"$host" panel --scene "$dir/n.scene" 2>&1 >/dev/null | grep -q 'no settings for the shader'
# Blend corners is on for a new instance and kept by a scene; a scene without
# its block (as saved before it existed) loads it off.
echo "$out" | grep -Eq 'Blend corners +iBoolean +on '
"$host" panel --scene "$dir/a.scene" | grep -Eq 'Blend corners +iBoolean +on '
sed 's/"corner_blend"/"corner_blended"/' "$dir/a.scene" >"$dir/d.scene"
"$host" panel --scene "$dir/d.scene" 2>/dev/null | grep -Eq 'Blend corners +iBoolean +off '
# A stored setting of a name the module does not know is skipped with a note.
sed 's/"open_edge"/"open_edges"/' "$dir/a.scene" >"$dir/c.scene"
"$host" panel --scene "$dir/c.scene" 2>&1 >/dev/null | grep -q "holds 'open_edges', which the shader does not know"
