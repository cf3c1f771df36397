#!/usr/bin/env bash
# The demo of scripts/xbtool-demo.sh (the engine's tool on the sample): run twice on one
# working directory (the second run finds the table and must give the same), it imports the
# sample export's 34 lines and packs away the heading and totals lines.
source "$(dirname "$0")/common.bash"

bash "$src/scripts/xbtool-demo.sh" "$bin" "$work/demo" >"$work/first" 2>&1 || {
  cat "$work/first"
  echo "FAILED: the demo's first run"
  exit 1
}
bash "$src/scripts/xbtool-demo.sh" "$bin" "$work/demo" >"$work/second" 2>&1 || {
  cat "$work/second"
  echo "FAILED: the demo's second run"
  exit 1
}
tail -n +3 "$work/first" >"$work/first.rest" # without the create and its blank line
check "a second run shows the same" "$work/first.rest" "$work/second"

"$xbtool" dump "$work/demo/A_DATIN.DBF" >"$work/dump.csv"
"$xbtool" struct "$work/demo/A_DATIN.DBF" >"$work/struct"
canon ours "$work/dump.csv" "$work/struct" >"$work/rows"
lines="$(grep -c '' "$src/samples/clinic/summary-of-sales.csv")"
echo "$((lines - 2))" >"$work/count.expected"
grep -c '' "$work/rows" >"$work/count"
check "records after the pack" "$work/count.expected" "$work/count"
head -n 1 "$work/rows" >"$work/first-row"
echo '-	3|Brief consultation|0.00|0.0000|0.0000|17.00|0.0000|333.2000|0.0000|333.2000' \
  >"$work/first-row.expected"
check "first record" "$work/first-row.expected" "$work/first-row"
if grep -q -i 'ITEM_NO\|TOTALS' "$work/rows"; then
  echo "FAILED: the heading or totals line is still there"
  failures=$((failures + 1))
fi
finish
