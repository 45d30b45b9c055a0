#!/bin/sh
# cmake --install puts korv-host in bin/ and the module in lib/korv_edge/, and
# the installed korv-host finds that module without being told where it is.
# Arguments: cmake, the build folder, the project's version.
set -eu
cmake=$1
build=$2
version=$3
prefix=$(cd "$(mktemp -d)" && pwd -P)
trap 'rm -rf "$prefix"' EXIT

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/korv-host"
test -f "$prefix/lib/korv_edge/Korv_Edge.p"
test -f "$prefix/share/doc/Korv_Edge/manual.md"
test -f "$prefix/share/doc/Korv_Edge/LICENSE"

out=$("$prefix/bin/korv-host" info)
echo "$out"
echo "$out" | grep -qxF "module: $prefix/lib/korv_edge/Korv_Edge.p"
echo "$out" | grep -q 'class "ShaderHandler", name "Korv_Edge"'
test "$("$prefix/bin/korv-host" --version)" = "korv-host $version"
"$prefix/bin/korv-host" render builtin:cube --size 16x12 -o "$prefix/cube.png" >/dev/null
test -s "$prefix/cube.png"
