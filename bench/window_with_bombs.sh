#!/usr/bin/env bash
# Time to the window and peak resident memory of the program with hostile pictures in its
# storage folder: the files given are copied into a fresh user's DCIM, the program starts on
# the simulated scope, slot 1 is opened (key 1), and the program is ended as a logout would.
# Usage (under xvfb-run): bench/window_with_bombs.sh BUILD_DIR FILE...
set -uo pipefail
build=$1; shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home ASAN_OPTIONS=detect_leaks=0
mkdir -p "$HOME/Orvex/DCIM"
cp "$@" "$HOME/Orvex/DCIM/"
t0=$(date +%s.%N)
/usr/bin/time -v -o "$work/time.txt" "$build/orvex" --simulate >"$work/out.txt" 2>&1 &
tpid=$!
for ((i = 0; i < 1200; i++)); do
  w=$(xdotool search --onlyvisible --name . 2>/dev/null | head -n1)
  [ -n "$w" ] && break
  sleep 0.05
done
echo "window visible after $(echo "$(date +%s.%N) - $t0" | bc) s"
for ((i = 0; i < 1200; i++)); do
  grep -q "QueryFrame OK!" "$HOME/Orvex/log.txt" 2>/dev/null && break
  sleep 0.05
done
echo "camera's first frame after $(echo "$(date +%s.%N) - $t0" | bc) s"
xdotool mousemove --window "$w" 200 200 key 1
sleep 3
echo "after key 1: $(tail -n1 "$HOME/Orvex/log.txt")"
kill -TERM "$(pgrep -P "$tpid" orvex)"
wait "$tpid"
grep -E "Maximum resident|Elapsed" "$work/time.txt"
