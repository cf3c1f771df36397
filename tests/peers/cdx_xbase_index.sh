#!/bin/bash
# Index files written by our engine, read by an independent reader (Perl's XBase::Index):
# every tag lists the same entries in the same order, and seeks land on the same entries.
# Usage: cdx_xbase_index.sh BIN_DIR SOURCE_DIR
set -euo pipefail
bin=$1
src=$2
if ! perl -MXBase::Index -e 1 2>/dev/null; then
  echo "Perl XBase::Index (libdbd-xbase-perl) is not installed" >&2
  exit 1
fi
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
XB_CDX_PEER_OUT=$out "$bin/engine_tests" --gtest_filter='CdxPeerExport.*' >"$out/gtest.log" 2>&1 ||
  { cat "$out/gtest.log"; exit 1; }
perl "$src/tests/peers/cdx_xbase_index.pl" "$out"
