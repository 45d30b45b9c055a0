#!/bin/sh
# korv-host info names both servers, "ShaderHandler" and "ShaderInterface", as "Korv_Edge".
set -eu
out=$("$1" info "$2")
echo "$out"
echo "$out" | grep -q 'class "ShaderHandler", name "Korv_Edge"'
echo "$out" | grep -q 'class "ShaderInterface", name "Korv_Edge"'
echo "$out" | grep -q 'synchronisation word: 0x04121994'
