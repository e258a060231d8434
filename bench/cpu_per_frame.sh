#!/usr/bin/env bash
# CPU time per displayed frame: the viewer's live view of the family scope on a still rig
# scene (the rig hands out the bytes of one picture again, so its drawing costs nothing, as a
# real sensor's does), then ffplay showing a 1280 x 960, 16 fps source in a 640 x 480
# window, one after the other under the same Xvfb.
#   bench/cpu_per_frame.sh BUILD_DIR [SECONDS] [DISPLAY_NUMBER]
# Each program runs 5 s first; then its process CPU time (all threads, user + system) is
# divided by the frames it showed in the next SECONDS (default 30). The viewer's frames are
# its painted-frame counter, read from its memory; ffplay's are 16 a second of its clock
# less the frames it dropped (its -stats line).
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
secs=${2:-30}
disp=${3:-98}
warm=5
. "$(dirname "$0")/headless.sh"
start_headless "$disp"

hz=$(getconf CLK_TCK)
source "$(dirname "${BASH_SOURCE[0]}")/painted_frames.sh"
ms_per_frame() { awk -v t="$1" -v hz="$hz" -v f="$2" 'BEGIN { printf "%.2f", t * 1000 / hz / f }'; }

echo 'scope "USB Inspection Camera" scene still' >"$work/still.txt"
"$build/orvex" --simulate="$work/still.txt" >/dev/null 2>&1 &
pid=$!
for _ in $(seq 120); do
    grep -qs "QueryFrame OK" "$work"/*/log.txt && break
    sleep 1
done
grep -qs "QueryFrame OK" "$work"/*/log.txt || { echo "the viewer found no camera" >&2; exit 1; }
sleep $warm
f0=$(painted $pid) c0=$(cpu $pid)
sleep "$secs"
c1=$(cpu $pid) f1=$(painted $pid)
frames=$((f1 - f0))
[ "$frames" -gt 0 ] || { echo "the viewer painted nothing" >&2; exit 1; }
lost=$(camera_losses)
[ -z "$lost" ] || { echo "the viewer lost its camera: $lost" >&2; exit 1; }
echo "viewer: $frames frames in ${secs} s, CPU $(((c1 - c0) * 1000 / hz)) ms," \
     "$(ms_per_frame $((c1 - c0)) $frames) ms per frame"
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=""

# ffplay's status line: "<clock> M-V: ... fd= <dropped> ..." rewritten with \r.
status() { tr '\r' '\n' <"$work/ffplay.txt" | grep 'fd=' | tail -1; }
run_ffplay() { # label, lavfi source
    ffplay -hide_banner -loglevel error -stats -autoexit -an -x 640 -y 480 -f lavfi \
        -i "$2=size=1280x960:rate=16:duration=$((warm + secs + 5))" 2>"$work/ffplay.txt" &
    pid=$!
    sleep $warm
    local s0 s1 c0 c1
    s0=$(status) c0=$(cpu $pid)
    sleep "$secs"
    c1=$(cpu $pid) s1=$(status)
    kill -KILL "$pid" # measured; its own exit at the end of the source may hang in SDL
    wait "$pid" 2>/dev/null || true
    pid=""
    local t0 t1 d0 d1
    t0=$(awk '{ print $1 }' <<<"$s0") t1=$(awk '{ print $1 }' <<<"$s1")
    d0=$(sed 's/.*fd= *\([0-9]*\).*/\1/' <<<"$s0") d1=$(sed 's/.*fd= *\([0-9]*\).*/\1/' <<<"$s1")
    local shown
    shown=$(awk -v a="$t0" -v b="$t1" -v d=$((d1 - d0)) 'BEGIN { printf "%d", (b - a) * 16 - d + 0.5 }')
    echo "ffplay $1: $shown frames in ${secs} s ($((d1 - d0)) dropped), CPU" \
         "$(((c1 - c0) * 1000 / hz)) ms, $(ms_per_frame $((c1 - c0)) "$shown") ms per frame"
}
run_ffplay "testsrc" testsrc
run_ffplay "still colour" color
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
