#!/usr/bin/env bash
# Resident memory of the viewer over a long run on the simulated rig (the webcam and the
# family scope, whose tube and buttons are polled every tick through Bravik).
#   bench/soak_memory.sh BUILD_DIR live|record MINUTES [DISPLAY_NUMBER]
# live: the live view only; record: a recording started with Ctrl+R and kept running.
# Prints one line a sample (seconds, VmRSS kB, RssAnon kB, threads) and a summary of the
# growth after the first minute (start-up, first search and caches settle in that minute),
# then the mappings whose resident size changed since that minute (heap, arenas, libraries).
set -euo pipefail
build=${1:?build folder}
mode=${2:?live or record}
minutes=${3:?minutes}
disp=${4:-97}
. "$(dirname "$0")/headless.sh"
start_headless "$disp"
"$build/orvex" --simulate >/dev/null 2>&1 &
pid=$!
# The first camera search blocks the window; keys wait until it found the scope.
for _ in $(seq 120); do
    grep -qs "QueryFrame OK" "$work"/*/log.txt && break
    sleep 1
done
sleep 2
if [ "$mode" = record ]; then
    wid=$(xdotool search --onlyvisible --pid "$pid" | head -1)
    xdotool mousemove --window "$wid" 400 300 windowfocus "$wid" || true
    xdotool key ctrl+r
    for _ in $(seq 30); do
        [ -n "$(find "$work" -name '*.avi' -print -quit)" ] && break
        sleep 1
    done
    [ -n "$(find "$work" -name '*.avi' -print -quit)" ] || { echo "no recording" >&2; exit 1; }
fi
field() { awk -v k="$1:" '$1 == k { print $2 }' "/proc/$pid/status"; }
end=$((minutes * 60))
first=""
for ((t = 0; t <= end; t += 30)); do
    kill -0 "$pid" 2>/dev/null || { echo "viewer ended early" >&2; exit 1; }
    rss=$(field VmRSS) anon=$(field RssAnon) threads=$(field Threads)
    echo "$t $rss $anon $threads"
    if [ "$t" -ge 60 ] && [ -z "$first" ]; then
        first=$rss firstAnon=$anon
        cp "/proc/$pid/smaps" "$work/smaps.first"
    fi
    last=$rss lastAnon=$anon
    [ "$t" -lt "$end" ] && sleep 30
done
[ -n "$first" ] || { first=$last firstAnon=$lastAnon; }
cp "/proc/$pid/smaps" "$work/smaps.last"
# Mappings keyed by their start address and name: the heap keeps its start as it grows.
rss_by_mapping() {
    awk '/^[0-9a-f]+-[0-9a-f]+ / { split($1, r, "-"); key = r[1] "|" ($6 == "" ? "[anon]" : $6) }
         $1 == "Rss:" { rss[key] += $2 }
         END { for (k in rss) print k, rss[k] }' "$1" | LC_ALL=C sort
}
LC_ALL=C join -a1 -a2 -e0 -o 0,1.2,2.2 <(rss_by_mapping "$work/smaps.first") \
    <(rss_by_mapping "$work/smaps.last") |
    awk '$3 != $2 { split($1, k, "|"); printf "mapping %s %s: %+d kB\n", k[1], k[2], $3 - $2 }'
if [ "$mode" = record ]; then
    # The recording must have run all along: its file keeps growing.
    find "$work" -name '*.avi' -printf 'recording %f %s bytes\n'
fi
# A viewer that lost its camera (a starved capture thread looks like a failed tube) no
# longer does what is measured.
lost=$(camera_losses)
[ -z "$lost" ] || echo "camera lost during the run (the figures after it do not count):" $lost
echo "summary $mode ${minutes} min: RSS $((first / 1024)) MB at 1 min -> $((last / 1024)) MB," \
     "growth $(((last - first) / 1024)) MB ($((last - first)) kB), anonymous $(((lastAnon - firstAnon))) kB"
