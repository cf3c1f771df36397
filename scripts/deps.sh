#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, where they are missing.
# Usage: scripts/deps.sh build|test
set -euo pipefail

build_pkgs=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev)
test_pkgs=(locales python3 python3-dbf python3-dbfread libdbd-xbase-perl libtime-parsedate-perl dbview pgdbf)

pkgs=("${build_pkgs[@]}")
if [ "${1:-build}" = test ]; then pkgs+=("${test_pkgs[@]}"); fi

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
