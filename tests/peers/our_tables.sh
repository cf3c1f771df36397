#!/usr/bin/env bash
# Tables we write, read by the independent peers: python3-dbf, python3-dbfread, Perl's XBase,
# pgdbf and (for the dBASE III table without memo; it reads no other) dbview. Every peer must
# see the same fields and the same values as we do, deleted records included.
source "$(dirname "$0")/common.bash"

# Character text with a comma, a doubled quote and leading blanks; numbers negative, zero and at
# the width limit; the first and last dates a field can hold; every logical letter; a line of
# empty values.
printf '%s\r\n' \
  '"A1",-1.5,0.1234,20240229,T' \
  '"B2",0,-12.3456,19991231,F' \
  ',,,,' \
  '"Comma, inside",12345.67,-0.0001,17520914,Y' \
  '"  lead",-999999.99,99999.9999,20380119,N' \
  '"Quote ""q""",1,1,20000101,T' >"$work/rows.csv"
long_memo="$(printf 'abcdefghij%.0s' {1..60})" # 600 bytes: several memo blocks

# What the table must hold, blank numbers read as zero and blank logicals as F.
cat >"$work/expected" <<EOT
-	A1|-1.50|0.1234|20240229|T|short memo
*	B2|0.00|-12.3456|19991231|F|
-	|0.00|0.0000||F|
-	Comma, inside|12345.67|-0.0001|17520914|T|line1\r\nline2
*	  lead|-999999.99|99999.9999|20380119|F|
-	Quote "q"|1.00|1.0000|20000101|T|$long_memo
EOT

for kind in MEMO PLAIN; do
  table="$work/T_$kind.DBF"
  spec="CODE,C,14,0;QTY,N,10,2;GST,N,12,4;WHEN,D,8,0;FLAG,L,1,0"
  expected="$work/expected"
  if [ "$kind" = MEMO ]; then
    spec="$spec;NOTE,M,10,0"
  else
    sed 's/|[^|]*$//' "$work/expected" >"$work/expected.plain"
    expected="$work/expected.plain"
  fi
  "$xbtool" create "$table" "$spec"
  "$xbtool" append "$table" "$work/rows.csv"
  if [ "$kind" = MEMO ]; then
    "$xbtool" replace "$table" 1 NOTE "short memo"
    "$xbtool" replace "$table" 4 NOTE $'line1\r\nline2'
    "$xbtool" replace "$table" 6 NOTE "$long_memo"
  fi
  "$xbtool" delete "$table" 2 5
  "$xbtool" struct "$table" >"$work/struct"
  "$xbtool" dump "$table" >"$work/dump.csv"

  canon ours "$work/dump.csv" "$work/struct" --fixture >"$work/ours.fixture"
  check "$kind: our own reading" "$expected" "$work/ours.fixture"

  canon ours "$work/dump.csv" "$work/struct" >"$work/ours"
  canon ours "$work/dump.csv" "$work/struct" --split >"$work/ours.split"
  canon ours "$work/dump.csv" "$work/struct" --live --blank-logical-false >"$work/ours.pgdbf"

  canon dbf "$table" >"$work/dbf"
  check "$kind: python3-dbf" "$work/ours" "$work/dbf"
  canon dbfread "$table" >"$work/dbfread"
  check "$kind: python3-dbfread" "$work/ours.split" "$work/dbfread"
  canon struct-dbfread "$table" >"$work/dbfread.struct"
  check "$kind: python3-dbfread fields" "$work/struct" "$work/dbfread.struct"
  perl "$peers/peer_dump.pl" "$table" >"$work/perl.raw"
  canon perl "$work/perl.raw" "$work/struct" >"$work/perl"
  check "$kind: Perl XBase" "$work/ours" "$work/perl"
  memo_args=()
  [ "$kind" = MEMO ] && memo_args=(-m "$work/T_$kind.FPT")
  pgdbf -P "${memo_args[@]}" "$table" >"$work/pgdbf.sql"
  canon pgdbf "$work/pgdbf.sql" "$work/struct" >"$work/pgdbf"
  check "$kind: pgdbf" "$work/ours.pgdbf" "$work/pgdbf"
  if [ "$kind" = PLAIN ]; then
    dbview -b -d '|' -D "$table" >"$work/dbview.raw"
    canon dbview "$work/dbview.raw" "$work/struct" >"$work/dbview"
    check "$kind: dbview" "$work/ours" "$work/dbview"
  fi
done
finish
