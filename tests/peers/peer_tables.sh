#!/usr/bin/env bash
# Tables the peers write, read by us: python3-dbf writes a dBASE III table and a FoxPro table
# with an FPT memo, Perl's XBase a dBASE III table. xbtool must see the fields and the values the
# writer put there, deleted records included.
source "$(dirname "$0")/common.bash"

"$python" - "$work" <<'EOT'
import datetime, sys
import dbf

work = sys.argv[1]
long_memo = "abcdefghij" * 60
rows = [
    ("A1", -1.5, 0.1234, datetime.date(2024, 2, 29), True, "short memo"),
    None,  # a blank record
    ("Comma, inside", 12345.67, -0.0001, datetime.date(1752, 9, 14), False, "line1\r\nline2"),
    # python3-dbf drops the leading blanks itself
    ("  lead", -99999.99, 99999.9999, datetime.date(2038, 1, 19), True, ""),
    ('Quote "q"', 0, 0, datetime.date(2000, 1, 1), False, long_memo),
]
for kind, name in (("db3", "PY_DB3"), ("fp", "PY_FP")):
    spec = "CODE C(14); QTY N(10,2); GST N(12,4); WHEN D; FLAG L"
    if kind == "fp":
        spec += "; NOTE M"
    table = dbf.Table("%s/%s.DBF" % (work, name), spec, dbf_type=kind)
    table.open(dbf.READ_WRITE)
    for row in rows:
        if row is None:
            table.append()
        else:
            table.append(row if kind == "fp" else row[:5])
    dbf.delete(table[2])
    dbf.delete(table[4])
    table.close()
EOT

perl -MXBase -e '
  my $t = XBase->create(name => "$ARGV[0]/PL_DB3.dbf",
    field_names => ["CODE", "QTY", "GST", "WHEN", "FLAG"],
    field_types => ["C", "N", "N", "D", "L"],
    field_lengths => [14, 10, 12, 8, 1], field_decimals => [0, 2, 4, 0, 0]) or die XBase->errstr;
  $t->set_record(0, "A1", -1.5, 0.1234, "20240229", 1) or die $t->errstr;
  $t->set_record(1, "B2", 0, -12.3456, "19991231", 0) or die $t->errstr;
  $t->set_record(2, "Comma, inside", 12345.67, -0.0001, "17520914", 1) or die $t->errstr;
  $t->delete_record(1) or die $t->errstr;
  $t->close;' "$work"
mv "$work/PL_DB3.dbf" "$work/PL_DB3.DBF"

for name in PY_DB3 PY_FP PL_DB3; do
  table="$work/$name.DBF"
  "$xbtool" struct "$table" >"$work/struct"
  canon struct-dbfread "$table" >"$work/peer.struct"
  check "$name: fields" "$work/peer.struct" "$work/struct"
  "$xbtool" dump "$table" >"$work/dump.csv"
  canon ours "$work/dump.csv" "$work/struct" >"$work/ours"
  canon dbf "$table" >"$work/dbf"
  check "$name: values as python3-dbf reads them" "$work/dbf" "$work/ours"
  perl "$peers/peer_dump.pl" "$table" >"$work/perl.raw"
  canon perl "$work/perl.raw" "$work/struct" >"$work/perl"
  check "$name: values as Perl XBase reads them" "$work/perl" "$work/ours"
done

# The values themselves, not only the peers' agreement (blank numbers as zero, logicals as F).
canon ours "$work/dump.csv" "$work/struct" --fixture >"$work/ours.fixture"
printf '%s\n' '-	A1|-1.50|0.1234|20240229|T' '*	B2|0.00|-12.3456|19991231|F' \
  '-	Comma, inside|12345.67|-0.0001|17520914|T' >"$work/expected"
check "PL_DB3: values" "$work/expected" "$work/ours.fixture"
"$xbtool" dump "$work/PY_FP.DBF" >"$work/dump.csv"
"$xbtool" struct "$work/PY_FP.DBF" >"$work/struct"
canon ours "$work/dump.csv" "$work/struct" --fixture >"$work/ours.fixture"
cat >"$work/expected" <<EOT
-	A1|-1.50|0.1234|20240229|T|short memo
-	|0.00|0.0000||F|
*	Comma, inside|12345.67|-0.0001|17520914|F|line1\r\nline2
-	lead|-99999.99|99999.9999|20380119|T|
*	Quote "q"|0.00|0.0000|20000101|F|$(printf 'abcdefghij%.0s' {1..60})
EOT
check "PY_FP: values" "$work/expected" "$work/ours.fixture"
finish
