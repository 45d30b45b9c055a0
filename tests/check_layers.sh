#!/usr/bin/env bash
# The module's folders in layers, lowest first: each includes only its own
# headers and those of lower layers, so no folder includes one that includes
# it. shading (the evaluation) calls the query of edges; instance holds the
# record both fronts share (settings, cache, life cycle, scene blocks); panel
# shows its settings to either front; the two fronts, shader and node, share
# a layer, as siblings that include nothing of each other; module holds the
# descriptors and activations on top.
#   tests/check_layers.sh SOURCE_DIR
set -uo pipefail
cd "${1:?usage: check_layers.sh SOURCE_DIR}" || exit 2
layers=(hostapi runtime edges shading instance panel "shader node" module)
declare -A rank
for i in "${!layers[@]}"; do
  for folder in ${layers[i]}; do rank[$folder]=$i; done
done
status=0
for folder in "${!rank[@]}"; do
  while IFS=: read -r file dir; do
    if [[ $dir != "$folder" && (-z ${rank[$dir]:-} || ${rank[$dir]} -ge ${rank[$folder]}) ]]; then
      echo "FAIL: $file includes $dir/, which $folder/ must not use"
      status=1
    fi
  done < <(grep -oE '^#include "[^"/]+/' "$folder"/* | sed -E 's/#include "(.*)\/$/\1/')
done
exit $status
