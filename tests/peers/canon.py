"""Turns what each reader sees of a DBF table into one canonical text, so that the readers can
be compared line by line: one line per record, "<flag>\t<v1>|<v2>|...", flag "-" live or "*"
deleted, in record order.

Values by field type: character without trailing blanks; numbers with the field's decimals,
empty when blank; dates YYYYMMDD, empty when blank; logicals T, F or empty; memos with CR
written \\r and LF written \\n.

Usage (run with /usr/bin/python3, which sees Debian's dbf and dbfread modules):
  canon.py ours DUMP.csv STRUCT.txt [OPTIONS]   xbtool dump and struct
  canon.py dbf TABLE                python3-dbf
  canon.py dbfread TABLE            python3-dbfread (live records, then deleted ones)
  canon.py perl RAW STRUCT.txt      records as peer_dump.pl (Perl's XBase) prints them
  canon.py dbview RAW STRUCT.txt    records as dbview -b -d '|' -D prints them
  canon.py pgdbf SQL STRUCT.txt     pgdbf's COPY data (pgdbf leaves deleted records out)
  canon.py expected DUMP.txt        the "ORDER natural" section of a fixture's expected dump
  canon.py struct-dbfread TABLE     the fields as python3-dbfread reads them
  canon.py struct DUMP.txt          the FIELD lines of a fixture's expected dump, as xbtool
                                    struct prints them
--live keeps live records only; --split lists live records, then deleted ones. --fixture reads
a blank number as zero and a blank logical as F, as the fixture dumps show them;
--blank-logical-false reads a blank logical as F (as pgdbf does).
"""

import csv
import datetime
import decimal
import sys


def fields_of(struct_path):
    fields = []
    with open(struct_path, encoding="latin-1") as f:
        for line in f:
            name, ftype, width, decimals = line.split()
            fields.append((name, ftype, int(width), int(decimals)))
    return fields


def number(value, decimals):
    if value is None:
        return ""
    if isinstance(value, (int, float)):
        value = repr(value)
    text = str(value).strip()
    if text == "":
        return ""
    try:
        return format(decimal.Decimal(text), "." + str(decimals) + "f")
    except decimal.InvalidOperation:
        return text


def date(value):
    if value is None:
        return ""
    if isinstance(value, datetime.date):
        return value.strftime("%Y%m%d")
    text = str(value).strip().replace("-", "")
    return text


def logical(value):
    if value is None:
        return ""
    if isinstance(value, bool):
        return "T" if value else "F"
    text = str(value).strip()
    if text in ("1", "T", "t", "Y", "y"):
        return "T"
    if text in ("0", "F", "f", "N", "n"):
        return "F"
    return ""


def memo(value):
    if value is None:
        return ""
    if isinstance(value, bytes):
        value = value.decode("latin-1")
    return value.replace("\r", "\\r").replace("\n", "\\n")


def canonical(field, value, fixture=False, blank_logical_false=False):
    _, ftype, _, decimals = field
    if ftype in ("N", "F"):
        text = number(value, decimals)
        if fixture and text == "":
            text = format(decimal.Decimal(0), "." + str(decimals) + "f")
        return text
    if ftype == "D":
        return date(value)
    if ftype == "L":
        text = logical(value)
        return "F" if (fixture or blank_logical_false) and text == "" else text
    if ftype == "M":
        return memo(value)
    if value is None:
        return ""
    if isinstance(value, bytes):
        value = value.decode("latin-1")
    return str(value).rstrip(" ")


def line(flag, fields, values, fixture=False, blank_logical_false=False):
    return flag + "\t" + "|".join(
        canonical(f, v, fixture, blank_logical_false) for f, v in zip(fields, values))


def select(records, mode):
    if mode == "--live":
        return [r for r in records if r[0] == "-"]
    if mode == "--split":
        return [r for r in records if r[0] == "-"] + [r for r in records if r[0] == "*"]
    return records


def ours(args):
    dump_path, struct_path = args[0], args[1]
    options = args[2:]
    fields = fields_of(struct_path)
    fixture = "--fixture" in options
    mode = next((o for o in options if o in ("--live", "--split")), None)
    with open(dump_path, newline="", encoding="latin-1") as f:
        rows = list(csv.reader(f))
    header = rows[0]
    if header != ["RECNO", "DELETED"] + [f[0] for f in fields]:
        sys.exit("unexpected dump header: %r" % header)
    records = []
    for number_, row in enumerate(rows[1:], start=1):
        if row[0] != str(number_):
            sys.exit("record %d numbered %s" % (number_, row[0]))
        flag = "*" if row[1] == "*" else "-"
        records.append((flag, line(flag, fields, row[2:], fixture,
                                   "--blank-logical-false" in options)))
    return [text for _, text in select(records, mode)]


def py_dbf(args):
    import dbf

    table = dbf.Table(args[0])
    table.open(dbf.READ_ONLY)
    fields = []
    for name in table.field_names:
        info = table.field_info(name)
        fields.append((name.upper(), chr(info.field_type), info.length, info.decimal))
    out = []
    for record in table:
        flag = "*" if dbf.is_deleted(record) else "-"
        out.append(line(flag, fields, list(record)))
    table.close()
    return out


def py_dbfread(args):
    import dbfread

    table = dbfread.DBF(args[0], load=True, char_decode_errors="strict", encoding="latin-1")
    fields = [(f.name, f.type, f.length, f.decimal_count) for f in table.fields]
    out = [line("-", fields, list(r.values())) for r in table.records]
    out += [line("*", fields, list(r.values())) for r in table.deleted]
    return out


def unescape(text):
    if text == "\\N":
        return None
    out, i = [], 0
    while i < len(text):
        c = text[i]
        if c == "\\" and i + 1 < len(text):
            nxt = text[i + 1]
            out.append({"r": "\r", "n": "\n", "t": "\t", "\\": "\\"}.get(nxt, nxt))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def raw(path, struct_path, escaped):
    """perl: "<flag>\t<v1>\t...", values escaped with backslashes, \\N for undefined.
    dbview: "<flag>|<v1>|...|<vn>|", values as stored. The flag is "*" or blank."""
    fields = fields_of(struct_path)
    out = []
    with open(path, newline="", encoding="latin-1") as f:
        for text in f.read().split("\n"):
            if text == "":
                continue
            if escaped:
                parts = [unescape(p) for p in text.split("\t")]
            else:
                parts = text.split("|")
                if parts[-1] == "":
                    parts = parts[:-1]
            if len(parts) != len(fields) + 1:
                sys.exit("%d values in %r" % (len(parts), text))
            flag = "*" if (parts[0] or "").strip() == "*" else "-"
            out.append(line(flag, fields, parts[1:]))
    return out


def perl(args):
    return raw(args[0], args[1], escaped=True)


def dbview(args):
    return raw(args[0], args[1], escaped=False)


def pgdbf(args):
    fields = fields_of(args[1])
    out, copying = [], False
    with open(args[0], newline="", encoding="latin-1") as f:
        for text in f.read().split("\n"):
            if text.startswith("\\COPY"):
                copying = True
            elif text == "\\.":
                copying = False
            elif copying:
                parts = [unescape(p) for p in text.split("\t")]
                out.append(line("-", fields, parts))
    return out


def expected_fields(path):
    fields = []
    with open(path, encoding="latin-1") as f:
        for text in f:
            if text.startswith("FIELD "):
                name, ftype, width, decimals = text[6:].rstrip("\n").split(",")
                fields.append((name, ftype, int(width), int(decimals)))
    return fields


def expected(args):
    fields = expected_fields(args[0])
    out, inside = [], False
    with open(args[0], newline="", encoding="latin-1") as f:
        for text in f.read().split("\n"):
            if text == "ORDER natural":
                inside = True
            elif inside and (text.startswith("ORDER ") or text == ""):
                break
            elif inside:
                recno, flag, values = text.split("\t", 2)
                parts = values.split("|")
                if len(parts) != len(fields):
                    sys.exit("cannot split record %s of %s" % (recno, args[0]))
                # The fixture already writes memos with \r and \n; undo it before re-escaping.
                parts = [unescape(p) if f[1] == "M" else p for f, p in zip(fields, parts)]
                out.append(line(flag, fields, parts, fixture=True))
    return out


def struct_dbfread(args):
    import dbfread

    table = dbfread.DBF(args[0], load=False)
    return ["%s %s %d %d" % (f.name, f.type, f.length, f.decimal_count) for f in table.fields]


def struct(args):
    return ["%s %s %d %d" % f for f in expected_fields(args[0])]


def main():
    commands = {"ours": ours, "dbf": py_dbf, "dbfread": py_dbfread, "perl": perl,
                "dbview": dbview, "pgdbf": pgdbf, "expected": expected, "struct": struct,
                "struct-dbfread": struct_dbfread}
    if len(sys.argv) < 3 or sys.argv[1] not in commands:
        sys.exit(__doc__)
    out = sys.stdout
    for text in commands[sys.argv[1]](sys.argv[2:]):
        out.write(text + "\n")


if __name__ == "__main__":
    main()
