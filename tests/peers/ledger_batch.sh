#!/usr/bin/env bash
# ledger-batch's commands and failures: init leaves existing files alone, the lists go out and
# back, failures print the system's message on stderr with a non-zero status, a totals line
# that does not add up is a warning and never changes the file.
source "$(dirname "$0")/common.bash"
lb="$bin/ledger-batch"
dir="$work/w"
mkdir -p "$dir"
export LC_ALL=C

# expect NAME STATUS STDERR-TEXT COMMAND...: the status, and the text somewhere in stderr.
expect() {
  local name="$1" status="$2" text="$3"
  shift 3
  local got=0
  "$@" >"$work/out" 2>"$work/err" || got=$?
  if [ "$got" -eq "$status" ] && grep -qF -- "$text" "$work/err"; then
    echo "ok: $name"
  else
    echo "FAILED: $name (status $got, stderr: $(cat "$work/err"))"
    failures=$((failures + 1))
  fi
}

expect "translate before init names the missing table" 1 "A_ItIn" \
  "$lb" --dir "$dir" translate /dev/null
"$lb" --dir "$dir" init >/dev/null
cp "$dir/A_ITOUT.DBF" "$work/itout.before"
"$lb" --dir "$dir" init >"$work/init2"
check "init twice creates nothing" <(echo "all four tables are present in $dir") "$work/init2"
check "init leaves an existing table alone" "$work/itout.before" "$dir/A_ITOUT.DBF"

expect "a missing export is an import failure" 1 "Import failed" \
  "$lb" --dir "$dir" translate "$work/none.csv" --output "$work/x.csv"
printf '"A","a",1,0,1,0,0,0,0,1\r\n' >"$work/e.csv"
expect "an output that cannot be created" 1 "Error creating $work/no/x.csv" \
  "$lb" --dir "$dir" translate "$work/e.csv" --output "$work/no/x.csv"
expect "a bad option is a usage error" 2 "usage:" \
  "$lb" --dir "$dir" translate "$work/e.csv" --currency-format 4
expect "an unknown command is a usage error" 2 "usage:" "$lb" --dir "$dir" frobnicate

# A totals line that does not add up: a warning on the summary, the file as always.
printf '"A","a",1,0,1,0,0,0,0.5,10\r\n"TOTALS","",2,0,0,0,0,0,0.5,10\r\n' >"$work/off.csv"
"$lb" --dir "$dir" translate "$work/off.csv" --output "$work/off.out" --currency-symbol '$' \
  --currency-format 0 --negative-currency-format 1 --thousands-separator , \
  --decimal-separator . >"$work/summary"
if grep -q "^WARNING: the item lines do not add up" "$work/summary"; then
  echo "ok: mismatched totals line warned"
else
  echo "FAILED: no warning"
  failures=$((failures + 1))
fi
printf 'Item_No,Description,# items,GST,Amount\r\n"A","a","1","$0.50","$10.00"\r\n"TOTALS","TOTALS","1","$0.50","$10.00"\r\n' >"$work/off.expected"
check "mismatched totals line leaves the file as it is" "$work/off.expected" "$work/off.out"

# The lists: import reports the lines it could not take, export and import round-trip.
printf 'TYPE,ITEM_OUT,TEXT_OUT\n"I","4100","Fees"\n"I","4200"\n"I","4300","Other, ""quoted"""\n' >"$work/items.csv"
"$lb" --dir "$dir" items import "$work/items.csv" >"$work/imp.out" 2>"$work/imp.err"
check "items import summary" <(echo "imported 2 records, 1 lines not taken") "$work/imp.out"
check "items import names the line" <(echo "$work/items.csv:3: not taken: 3 values expected, 2 found") "$work/imp.err"
"$lb" --dir "$dir" items export "$work/items.out" >/dev/null
printf 'TYPE,ITEM_OUT,TEXT_OUT\n"I","4100","Fees"\n"I","4300","Other, ""quoted"""\n' >"$work/items.expected"
check "items export" "$work/items.expected" "$work/items.out"
"$lb" --dir "$dir" items list >"$work/list.out"
printf 'TYPE  ITEM_OUT  TEXT_OUT\nI     4100      Fees\nI     4300      Other, "quoted"\n2 records\n' >"$work/list.expected"
check "items list" "$work/list.expected" "$work/list.out"
printf '"I","AB","x","4100","Fees"\n' >"$work/tr.csv"
"$lb" --dir "$dir" translations import "$work/tr.csv" >/dev/null
"$lb" --dir "$dir" translations export "$work/tr.out" >/dev/null
check "translations export" <(printf 'TYPE,ITEM_IN,TEXT_IN,ITEM_OUT,TEXT_OUT\n"I","AB","x","4100","Fees"\n') "$work/tr.out"
finish
