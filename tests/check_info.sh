#!/bin/sh
# korv-host info names both servers, "ShaderHandler" and "ShaderInterface", as "Korv_Edge",
# and with no module named loads the one beside korv-host; korv-host --version and info
# print the project's version.
# Arguments: korv-host, the module file, the project's version.
set -eu
host=$1
module=$2
version=$3

out=$("$host" info "$module")
echo "$out"
echo "$out" | grep -q 'class "ShaderHandler", name "Korv_Edge"'
echo "$out" | grep -q 'class "ShaderInterface", name "Korv_Edge"'
echo "$out" | grep -q 'synchronisation word: 0x04121994'
echo "$out" | grep -qxF "korv-host version: $version"

out=$("$host" info)
echo "$out" | grep -qxF "module: $(cd "$(dirname "$host")" && pwd -P)/Korv_Edge.p"
echo "$out" | grep -q 'class "ShaderInterface", name "Korv_Edge"'

out=$("$host" --version)
echo "$out"
test "$out" = "korv-host $version"
