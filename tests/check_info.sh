#!/bin/sh
# korv-host info names both servers, "ShaderHandler" and "ShaderInterface", as
# "Korv_Edge", and shows which class version each accepted when activated as a
# host does it.
set -eu
out=$("$1" info "$2")
echo "$out"
echo "$out" | grep -q 'class "ShaderHandler", name "Korv_Edge"'
echo "$out" | grep -q 'class "ShaderInterface", name "Korv_Edge"'
echo "$out" | grep -q 'synchronisation word: 0x04121994'
echo "$out" | grep -q 'ShaderHandler: version 4 accepted (6, 5 refused)'
echo "$out" | grep -q 'ShaderInterface: version 4 accepted (1, 2, 3 refused)'
