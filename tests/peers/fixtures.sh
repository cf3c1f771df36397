#!/usr/bin/env bash
# The tables an independent engine wrote (fixtures/peer-xbase): xbtool struct and dump of each
# must give the fields and the records ("ORDER natural") of its expected dump. The expected
# dumps show a blank number as zero and a blank logical as F; canon.py --fixture reads ours so.
source "$(dirname "$0")/common.bash"
fixtures="${XB_FIXTURES_DIR:-$src/../shared/fixtures}/peer-xbase"

count=0
for dbf in "$fixtures"/*.DBF; do
  name="$(basename "$dbf" .DBF)"
  expected="$fixtures/expected/$name.dump.txt"
  if [ -f "$expected.gz" ]; then
    zcat "$expected.gz" >"$work/$name.expected"
  else
    cp "$expected" "$work/$name.expected"
  fi
  cp "$fixtures/$name".* "$work/" # the table with its memo and index files
  table="$work/$name.DBF"
  canon struct "$work/$name.expected" >"$work/$name.struct.expected"
  "$xbtool" struct "$table" >"$work/$name.struct" || true
  check "$name: fields" "$work/$name.struct.expected" "$work/$name.struct"
  canon expected "$work/$name.expected" >"$work/$name.rows.expected"
  if "$xbtool" dump "$table" >"$work/$name.csv"; then
    canon ours "$work/$name.csv" "$work/$name.struct.expected" --fixture >"$work/$name.rows"
  else
    : >"$work/$name.rows"
  fi
  check "$name: records" "$work/$name.rows.expected" "$work/$name.rows"
  count=$((count + 1))
done
[ "$count" -ge 15 ] || { echo "only $count fixture tables found in $fixtures"; exit 1; }
finish
