#!/bin/sh
# The module file's dynamic symbol table defines exactly one symbol: _mod_descrip.
set -eu
module=$1
symbols=$(nm -D --defined-only "$module" | awk '{print $NF}')
echo "defined dynamic symbols: $symbols"
[ "$symbols" = "_mod_descrip" ]
