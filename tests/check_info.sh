#!/bin/sh
# korv-host info names both servers, "ShaderHandler" and "ShaderInterface", as "Korv_Edge",
# shows which class version each accepted when activated as a host does it, and
# with no module named loads the one beside korv-host; korv-host --version and
# info print the project's version; info names the LightWave releases of the
# manual's table, row by row.
# With the edge node's module file, info names its two servers, "NodeHandler"
# and "NodeInterface", as "Korv_Edge" with their tags (the name the Node
# Editor lists and its group), and shows each
# accepting 4 and 5 and refusing every other version, 2015's 3 included.
# Arguments: korv-host, the module file, the project's version, the manual
# [, the node module file].
set -eu
host=$1
module=$2
version=$3
manual=$4
node=${5:-}

out=$("$host" info "$module")
echo "$out"
echo "$out" | grep -q 'class "ShaderHandler", name "Korv_Edge"'
echo "$out" | grep -q 'class "ShaderInterface", name "Korv_Edge"'
echo "$out" | grep -q 'synchronisation word: 0x04121994'
echo "$out" | grep -q 'ShaderHandler: version 4 accepted (6, 5 refused)'
echo "$out" | grep -q 'ShaderInterface: version 4 accepted (1, 2, 3 refused)'
echo "$out" | grep -qxF "korv-host version: $version"
rows=$(sed -nE 's/^\| ([^|]*LightWave [0-9][^|]*) \| `?([^|`]*)`? \|$/\1 (\2)/p' "$manual")
echo "$out" | grep -qxF "LightWave releases: $(echo "$rows" | grep -v 'EdgeNode' | paste -sd '#' | sed 's/#/, /g')"

out=$("$host" info)
echo "$out" | grep -qxF "module: $(cd "$(dirname "$host")" && pwd -P)/Korv_Edge.p"
echo "$out" | grep -q 'class "ShaderInterface", name "Korv_Edge"'

out=$("$host" --version)
echo "$out"
test "$out" = "korv-host $version"

if [ -n "$node" ]; then
  out=$("$host" info "$node")
  echo "$out"
  echo "$out" | grep -qF 'class "NodeHandler", name "Korv_Edge", with tag information'
  echo "$out" | grep -qF 'class "NodeInterface", name "Korv_Edge", with tag information'
  [ "$(echo "$out" | grep -cxF '     tags: user name "Korv_Edge", node group "Shaders"')" -eq 2 ]
  echo "$out" | grep -qxF '  NodeHandler: accepts 4, 5; refuses 1, 2, 3, 6'
  echo "$out" | grep -qxF '  NodeInterface: accepts 4, 5; refuses 1, 2, 3, 6'
  echo "$out" | grep -qxF "LightWave releases: $(echo "$rows" | grep 'EdgeNode' | paste -sd '#' | sed 's/#/, /g')"
  # shade --node on the example samples gives the shader's normal and channel
  # value (numbers print in their shortest exact form), either matrix writing.
  examples=$(dirname "$manual")/../examples
  want=$("$host" shade "$examples/two_quads.json" --samples "$examples/samples.jsonl" \
    --set out_channel=1 | sed -E 's/^\{"wNorm":(\[[^]]*\]),.*"luminous":([^,]*),.*$/\1 \2/')
  for matrix in rows columns; do
    got=$("$host" shade --node "$examples/two_quads.json" --samples "$examples/samples.jsonl" \
      --matrix "$matrix" | sed -E 's/^\{"normal":(\[[^]]*\]),"edge":([^,]*),.*$/\1 \2/')
    echo "$got"
    [ -n "$want" ] && [ "$got" = "$want" ]
  done
fi
