#!/bin/sh
# korv-host panel draws the options panel; with "disable bevel effect" on, the
# five controls it governs are disabled and the others are not. A setting
# that does not exist ends the command with status 2 and the valid names.
# With --node, the edge node's panel.
set -eu
host=$1
out=$("$host" panel --set disable_bevel=1)
echo "$out"
state() { echo "$out" | grep -E "^ +$1 " | awk '{print $(NF-1)}'; }
expect() {
  got=$(state "$1")
  if [ "$got" != "$2" ]; then
    echo "FAIL: '$1' is '$got', expected '$2'" >&2
    exit 1
  fi
}
echo "$out" | head -n 1 | grep -qx 'Brellmoor version 0.40 Options'
expect 'Edge width \[m\]:' disabled
expect 'edge smoothing' disabled
expect 'Edge smoothing angle:' disabled
expect 'edge rounding' disabled
expect 'Blend corners' disabled
expect 'Edge detection angle:' enabled
expect 'detect open edges' enabled
expect 'scan deformed object' enabled
expect 'Edge output channel:' enabled
expect 'disable bevel effect' enabled
expect 'Channel output widht:' disabled

# The channel enables the output width.
out=$("$host" panel --set out_channel=4)
expect 'Channel output widht:' enabled
echo "$out" | grep -q '"Reflection"'

status=0
err=$("$host" panel --set no_such_setting=1 2>&1 >/dev/null) || status=$?
echo "$err"
[ "$status" -eq 2 ]
[ "$(echo "$err" | wc -l)" -eq 1 ]
echo "$err" | grep -q 'edge_width, edge_dangle, smooth_edge, smooth_cos, round_edge, open_edge, use_deform, disable_bevel, out_channel, out_width'

status=0
"$host" panel --set out_channel=none >/dev/null 2>&1 || status=$?
[ "$status" -eq 2 ]

# The edge node's panel: the shader's controls and tabs but the bevel switch
# and the channel's, the output width labelled for the node and enabled.
out=$("$host" panel --node)
echo "$out"
echo "$out" | head -n 1 | grep -qx 'Brellmoor version 0.40 Options'
expect 'Edge output width:' enabled
expect 'Edges:' enabled
[ -z "$(echo "$out" | grep -E 'disable_bevel|out_channel|out_mode|widht')" ]
[ "$(echo "$out" | grep -cE 'enabled|disabled')" -eq 11 ]
echo "$out" | grep -q 'page "Misc"'
status=0
"$host" panel --node --set out_channel=1 >/dev/null 2>&1 || status=$?
[ "$status" -eq 2 ]
echo "check_panel: all checks passed"
