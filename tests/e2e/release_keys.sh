#!/usr/bin/env bash
# Runs an end-to-end key test against the optimised program: the folder ORVEX_RELEASE_BIN
# names (or the folder of the program it names), else the Release build scripts/run makes,
# brought up to date with the sources first. Skips (77) where there is none.
# Usage: release_keys.sh SOURCE_DIR COMMAND...
set -uo pipefail
source=$1
shift
if [ -n "${ORVEX_RELEASE_BIN:-}" ]; then
  dir=$ORVEX_RELEASE_BIN
  [ -f "$dir" ] && dir=$(dirname "$dir")
else
  dir=$source/build
  cache=$dir/CMakeCache.txt
  if [ ! -f "$cache" ] || ! grep -qx "CMAKE_BUILD_TYPE:STRING=Release" "$cache"; then
    echo "SKIP: no Release build in $dir (./scripts/run makes it)"
    exit 77
  fi
  out=$(mktemp)
  trap 'rm -f "$out"' EXIT
  cmake --build "$dir" -j2 --target orvex skin scopesim Bravik >"$out" 2>&1 ||
    { tail -30 "$out"; echo "FAIL: the Release build"; exit 1; }
fi
[ -x "$dir/orvex" ] || { echo "SKIP: no program in $dir"; exit 77; }
echo "program under test: $dir/orvex"
ORVEX_PROGRAM_DIR=$dir "$@"
