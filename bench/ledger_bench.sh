#!/usr/bin/env bash
# ledger-batch translate on generated exports of 10,000, 100,000 and 1,000,000 item lines over
# 1,000 distinct codes, with a 1,000-row translation table onto 100 accounting items: wall time
# and peak resident memory of each run (/usr/bin/time -v), end to end (start-up, import,
# translation, export). CPU seconds are shown beside the wall time: on a shared machine the
# wall time also counts the waits for a core. Usage: bench/ledger_bench.sh [LINES...]
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release -j2 --target ledger-batch >/dev/null
lb="$PWD/build/release/bin/ledger-batch"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(10000 100000 1000000)

"$lb" --dir "$work" init >/dev/null
awk 'BEGIN {
  print "TYPE,ITEM_IN,TEXT_IN,ITEM_OUT,TEXT_OUT"
  for (i = 1; i <= 1000; i++)
    printf "\"I\",\"C%04d\",\"Incoming item %d\",\"ACC-%03d\",\"Accounting item %d\"\n", i, i, i % 100, i % 100
}' >"$work/translations.csv"
"$lb" --dir "$work" translations import "$work/translations.csv" >/dev/null

echo "machine: $(nproc) cores, $(uname -sr); $(date -u '+%Y-%m-%d %H:%M UTC')"
printf '%10s %10s %12s %10s %12s\n' lines "wall s" "cpu s" "peak MB" "cpu us/line"
for n in "${sizes[@]}"; do
  awk -v n="$n" 'BEGIN {
    srand(7)
    print "\"Item_No\",\"Description\",\"# Inv.\",\"Inv GST\",\"Inv Amount\",\"# Claims\",\"Claim GST\",\"Claim Amount\",\"Total GST\",\"Total Amount\""
    for (i = 0; i < n; i++) {
      c = i % 1000 + 1; k = int(rand() * 20); g = int(rand() * 10000) / 100; a = int(rand() * 100000) / 100
      printf "\"C%04d\",\"Incoming item %d\",%d,%.2f,%.2f,%d,0.00,%.2f,%.2f,%.2f\n", c, c, k, g, a, k, a, g, a + a
    }
    print "\"TOTALS\",\"\",0,0,0,0,0,0,0,0"
  }' >"$work/export.csv"
  /usr/bin/time -v "$lb" --dir "$work" translate "$work/export.csv" --output "$work/out.csv" \
    >/dev/null 2>"$work/time.txt"
  secs=$(awk -F': ' '/Elapsed \(wall clock\)/ { n = split($2, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i]; print s }' "$work/time.txt")
  cpu=$(awk -F': ' '/User time|System time/ { s += $2 } END { print s }' "$work/time.txt")
  kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
  printf '%10d %10.2f %12.2f %10.1f %12.2f\n' "$n" "$secs" "$cpu" "$(echo "$kb / 1024" | bc -l)" \
    "$(echo "$cpu * 1000000 / $n" | bc -l)"
done
