#!/usr/bin/env bash
# korv-records compare tells agreement from difference: a dump agrees with
# itself; one flipped bit in an edge normal or in a sample's normal fails; a
# mask channel one unit in the last place away passes, ten units away fails;
# a missing record fails.
#   tests/crosscheck/comparer_check.sh build/korv-records
set -euo pipefail
records=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
"$records" dump >"$dir/a.jsonl"
failures=0

# expect pass|fail DESCRIPTION: compares a.jsonl with b.jsonl.
expect() {
  local want=$1 got=pass
  "$records" compare "$dir/a.jsonl" "$dir/b.jsonl" >"$dir/out" || got=fail
  if [[ $got == "$want" ]]; then
    echo "ok: $2 ($got) $(grep -m1 '^FAIL' "$dir/out" || true)"
  else
    echo "WRONG: $2: expected $want, got $got"
    sed -n '1,5p;$p' "$dir/out"
    failures=$((failures + 1))
  fi
}

# change_digit LINE_PATTERN FIELD_PATTERN FROM TO: in the first line that
# matches, replaces the last hex digit FROM of the first value of the field
# with TO.
change_digit() {
  awk -v line_re="$1" -v field="$2" -v from="$3" -v to="$4" '
    !done && $0 ~ line_re {
      hex = ""
      for (i = 0; i < 15; ++i) hex = hex "[0-9a-f]"
      re = "\"" field "\":\\[?\"0x" hex from "\""
      if (match($0, re)) {
        $0 = substr($0, 1, RSTART + RLENGTH - 3) to substr($0, RSTART + RLENGTH - 1)
        done = 1
      }
    }
    { print }
    END { if (!done) exit 1 }' "$dir/a.jsonl" >"$dir/b.jsonl"
}

cp "$dir/a.jsonl" "$dir/b.jsonl"
expect pass "a dump against itself"

for d in 0 2 4 6 8 a c e; do
  change_digit '"what":"edge"' normal "$d" "$(printf '%x' $((16#$d + 1)))" && break
done
expect fail "one bit of an edge normal"

for d in 0 2 4 6 8 a c e; do
  change_digit '"what":"sample"' wNorm "$d" "$(printf '%x' $((16#$d + 1)))" && break
done
expect fail "one bit of a sample normal"

for d in 0 1 2 3 4 5; do
  change_digit '"case":"bumpy_grid/mask","what":"sample"' luminous "$d" "$(printf '%x' $((16#$d + 1)))" && break
done
expect pass "a mask value one unit in the last place away"

for d in 0 1 2 3 4 5; do
  change_digit '"case":"bumpy_grid/mask","what":"sample"' luminous "$d" "$(printf '%x' $((16#$d + 10)))" && break
done
expect fail "a mask value ten units in the last place away"

sed '5d' "$dir/a.jsonl" >"$dir/b.jsonl"
expect fail "a missing record"

((failures == 0))
