#!/usr/bin/env bash
# The demo of the program's main job, for now through the engine's command-line tool: the
# clinic's sales summary is imported into the incoming table as the "Open file" button does it
# (empty the table, append the export), shown, evaluated, and its heading and totals lines are
# removed with a pack.
# Usage: scripts/xbtool-demo.sh BIN WORK (BIN holds xbtool; WORK is the working directory)
set -euo pipefail
bin="$1"
work="$2"
src="$(cd "$(dirname "$0")/.." && pwd)"
xbtool="$bin/xbtool"
export_file="$src/samples/clinic/summary-of-sales.csv"
table="$work/A_DATIN.DBF"

run() {
  echo "\$ xbtool $*"
  "$xbtool" "$@"
  echo
}

mkdir -p "$work"
if [ ! -f "$table" ]; then
  run create "$table" "ITEM,C,8,0;DESCRIPT,C,50,0;I_NUMBER,N,10,2;I_GST,N,12,4;I_AMOUNT,N,14,4;C_NUMBER,N,10,2;C_GST,N,12,4;C_AMOUNT,N,14,4;T_GST,N,12,4;T_AMOUNT,N,14,4"
fi
run zap "$table"
run append "$table" "$export_file"
run struct "$table"
run dump "$table"
run eval "$table" 'UPPER(ITEM) + STR(T_AMOUNT, 12, 2)'
lines="$(grep -c '' "$export_file")"
run delete "$table" 1 "$lines" # the heading line and the totals line
run pack "$table"
run eval "$table" 'STR(RECNO(), 3) + " " + ITEM + " " + TRIM(DESCRIPT)'
