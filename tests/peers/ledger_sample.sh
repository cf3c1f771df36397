#!/usr/bin/env bash
# The clinic sample through ledger-batch, end to end: init, both lists loaded, the export
# translated with fixed regional settings, and the file compared byte for byte (CR LF
# included) with the golden output; the summary too. The translated table it leaves is read
# back by dbfread as a peer.
source "$(dirname "$0")/common.bash"
lb="$bin/ledger-batch"
sample="$src/samples/clinic"
dir="$work/clinic"
mkdir -p "$dir"
export LC_ALL=C

"$lb" --dir "$dir" init >/dev/null
"$lb" --dir "$dir" items import "$sample/items.csv" >"$work/items.out"
"$lb" --dir "$dir" translations import "$sample/translations.csv" >"$work/translations.out"
echo "imported 13 records, 0 lines not taken" >"$work/items.expected"
echo "imported 31 records, 0 lines not taken" >"$work/translations.expected"
check "items import" "$work/items.expected" "$work/items.out"
check "translations import" "$work/translations.expected" "$work/translations.out"

"$lb" --dir "$dir" translate "$sample/summary-of-sales.csv" --output "$work/Translated.csv" \
  --currency-symbol '$' --currency-format 0 --negative-currency-format 1 \
  --thousands-separator , --decimal-separator . >"$work/summary.raw"
sed "s|$work|WORK|g" "$work/summary.raw" >"$work/summary.txt"
if cmp -s "$sample/expected/Translated.csv" "$work/Translated.csv"; then
  echo "ok: translated file, byte for byte"
else
  echo "FAILED: translated file differs from the golden output"
  cmp "$sample/expected/Translated.csv" "$work/Translated.csv" || true
  diff -u "$sample/expected/Translated.csv" "$work/Translated.csv" | cat -A | head -40 || true
  failures=$((failures + 1))
fi
check "summary" "$sample/expected/summary.txt" "$work/summary.txt"

# A second run over the same directory gives the same bytes: nothing survives in the tables.
"$lb" --dir "$dir" translate "$sample/summary-of-sales.csv" --output "$work/again.csv" \
  --currency-symbol '$' --currency-format 0 --negative-currency-format 1 \
  --thousands-separator , --decimal-separator . >/dev/null
check "second run" "$work/Translated.csv" "$work/again.csv"

# The translated table as an independent reader sees it: the rows of the file, and the total
# row last by its code.
"$python" - "$dir" >"$work/peer.txt" <<'PY'
import sys, os, dbfread
name = [n for n in os.listdir(sys.argv[1]) if n.upper() == "A_DATOUT.DBF"][0]
rows = sorted(dbfread.DBF(os.path.join(sys.argv[1], name)), key=lambda r: r["ITEM"].upper())
for r in rows:
    print("%s|%s|%.2f|%.4f|%.4f" % (r["ITEM"], r["DESCRIPT"], r["NUMBER"], r["GST"], r["AMOUNT"]))
PY
tail -1 "$work/peer.txt" >"$work/peer.total"
echo "ZZ-TOTAL|TOTAL|949.00|294.6300|76639.3500" >"$work/peer.total.expected"
check "translated table read by dbfread: total row" "$work/peer.total.expected" "$work/peer.total"
rows_in_file=$(($(grep -c '' "$work/Translated.csv") - 2))
rows_in_table=$(($(grep -c '' "$work/peer.txt") - 1))
echo "$rows_in_file" >"$work/n.expected"
echo "$rows_in_table" >"$work/n.actual"
check "translated table read by dbfread: item rows" "$work/n.expected" "$work/n.actual"
finish
