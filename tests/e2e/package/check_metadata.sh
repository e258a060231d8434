#!/usr/bin/env bash
# The desktop entry and the AppStream metainfo pass their validators without an error.
# Usage: check_metadata.sh DESKTOP_FILE METAINFO_FILE
set -uo pipefail
desktop=$1 metainfo=$2
out=$(desktop-file-validate "$desktop" 2>&1)
rc=$?
echo "$out"
# The validator reports some errors ("will be fatal in the future") with status 0.
[ "$rc" -eq 0 ] && ! grep -q "error:" <<<"$out" || { echo "FAIL: $desktop"; exit 1; }
appstreamcli validate --no-net "$metainfo" || { echo "FAIL: $metainfo"; exit 1; }
grep -q "<launchable type=\"desktop-id\">${desktop##*/}</launchable>" "$metainfo" ||
  { echo "FAIL: the metainfo does not launch ${desktop##*/}"; exit 1; }
echo PASS
