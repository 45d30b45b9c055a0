#!/usr/bin/env bash
# The module's folders in layers, lowest first: each includes only its own
# headers and those of lower layers, so no folder includes one that includes
# it. shading (the evaluation) calls the query of edges; the fronts (shader,
# then panel, which shows the shader's settings, then node, which keeps the
# shader's settings record and panel) use the core; module holds
# the descriptor and activations on top.
#   tests/check_layers.sh SOURCE_DIR
set -uo pipefail
cd "${1:?usage: check_layers.sh SOURCE_DIR}" || exit 2
layers=(hostapi runtime edges shading shader panel node module)
declare -A rank
for i in "${!layers[@]}"; do rank[${layers[i]}]=$i; done
status=0
for i in "${!layers[@]}"; do
  while IFS=: read -r file dir; do
    if [[ -z ${rank[$dir]:-} || ${rank[$dir]} -gt $i ]]; then
      echo "FAIL: $file includes $dir/, which ${layers[i]}/ must not use"
      status=1
    fi
  done < <(grep -oE '^#include "[^"/]+/' "${layers[i]}"/* | sed -E 's/#include "(.*)\/$/\1/')
done
exit $status
