# Shared by the peer tests (sourced, not a test itself). Arguments of every peer test: the
# directory of the built programs and the source directory.
set -euo pipefail
bin="$1"
src="$2"
xbtool="$bin/xbtool"
peers="$src/tests/peers"
python=/usr/bin/python3 # Debian's modules (dbf, dbfread) are visible to this one
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0

canon() { "$python" "$peers/canon.py" "$@"; }

# check NAME EXPECTED ACTUAL: the two files must be equal.
check() {
  if diff -u --label "$1 (expected)" --label "$1 (actual)" "$2" "$3"; then
    echo "ok: $1"
  else
    echo "FAILED: $1"
    failures=$((failures + 1))
  fi
}

finish() {
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
  fi
}
