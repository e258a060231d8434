#!/usr/bin/env bash
# The viewer on the real V4L2 path, through the emulated devices (no --simulate): CPU per
# painted frame of the family scope's live view (640 x 480 YUYV 30 fps, still scene), then
# frames off and on (time until the painted-frame counter moves again), then an unplug (CPU
# in the 3 s after it, ioctls on the dead node); a 1920 x 1080 camera's dequeued frames per
# second; ffplay on a 640 x 480 YUYV 30 fps rawvideo loop of one frame for comparison.
#   bench/real_path_figures.sh ORVEX_BUILD EMU_BUILD [SECONDS] [DISPLAY_NUMBER]
# ORVEX_BUILD holds orvex and libBravik.so (it may be an older build); EMU_BUILD holds
# orvex_emu_run and orvex_emu_ctl.
set -euo pipefail
build=$(cd "${1:?orvex build folder}" && pwd)
emu=$(cd "${2:?emulation build folder}" && pwd)
secs=${3:-20}
disp=${4:-97}
warm=5
scope="USB Inspection Camera"
. "$(dirname "$0")/headless.sh"
start_headless "$disp"
chmod 755 "$work"
hz=$(getconf CLK_TCK)
source "$(dirname "${BASH_SOURCE[0]}")/painted_frames.sh"
ctl() { "$emu/orvex_emu_ctl" "$work/ctl" "$@"; }
counter() { ctl counters "$1" | awk -v k="$2" '{ for (i = 2; i < NF; i += 2) if ($i == k) print $(i + 1) }'; }
# Starts PROGRAM under the launcher on scenario $1; sets lpid and pid.
launch() {
    local rig=$1
    shift
    (cd / && exec "$emu/orvex_emu_run" --control "$work/ctl" --scenario "$rig" -- "$@") \
        >"$work/out.txt" 2>&1 &
    lpid=$!
    for _ in $(seq 300); do [ -S "$work/ctl" ] && break; sleep 0.1; done
    pid=$(ctl pid | cut -d' ' -f2)
}
finish() { ctl quit >/dev/null 2>&1 || true; wait "$lpid" 2>/dev/null || true; pid=""; rm -rf "$work/Orvex"; }
now() { date +%s%N; }

echo "scope \"$scope\" scene still" >"$work/scope.txt"
launch "$work/scope.txt" "$build/orvex"
for _ in $(seq 120); do grep -qs "QueryFrame OK" "$work/Orvex/log.txt" && break; sleep 1; done
grep -qs "QueryFrame OK" "$work/Orvex/log.txt" || { echo "the viewer found no camera" >&2; exit 1; }
sleep $warm
f0=$(painted "$pid") c0=$(cpu "$pid")
sleep "$secs"
c1=$(cpu "$pid") f1=$(painted "$pid")
echo "viewer: $((f1 - f0)) frames in $secs s, CPU $(((c1 - c0) * 1000 / hz)) ms," \
     "$(awk -v t=$((c1 - c0)) -v hz="$hz" -v f=$((f1 - f0)) 'BEGIN { printf "%.2f", f ? t * 1000 / hz / f : -1 }') ms per frame"

ctl frames "$scope" off >/dev/null
for _ in $(seq 100); do grep -qs "Tube Fail" "$work/Orvex/log.txt" && break; sleep 0.1; done
sleep 1
p0=$(painted "$pid") t0=$(now)
ctl frames "$scope" on >/dev/null
back=none
while [ $(($(now) - t0)) -lt 15000000000 ]; do
    [ "$(painted "$pid")" -gt "$p0" ] && { back=$((($(now) - t0) / 1000000)); break; }
done
echo "frames on: picture painted again after ${back} ms (none: not within 15 s)"

c0=$(cpu "$pid")
ctl unplug "$scope" >/dev/null
sleep 3
c1=$(cpu "$pid")
echo "unplug: CPU $(((c1 - c0) * 1000 / hz)) ms in the 3 s after, $(counter 0 afterUnplug) ioctls on the dead node," \
     "closed $(ctl closed 0)"
finish

echo 'camera "HD Camera" size 1920x1080 fps 30' >"$work/hd.txt"
launch "$work/hd.txt" "$build/orvex"
for _ in $(seq 200); do [ "$(counter 0 dequeued)" -gt 30 ] && break; sleep 0.3; done
sleep $warm
d0=$(counter 0 dequeued)
sleep 10
d1=$(counter 0 dequeued)
echo "1920x1080: $(awk -v d=$((d1 - d0)) 'BEGIN { printf "%.1f", d / 10 }') frames dequeued a second"
finish

ffmpeg -hide_banner -loglevel error -f lavfi -i "testsrc=size=640x480:rate=1" -frames:v 1 \
    -pix_fmt yuyv422 -f rawvideo "$work/frame.yuv"
ffplay -hide_banner -loglevel error -stats -an -x 640 -y 480 -f rawvideo -pixel_format yuyv422 \
    -video_size 640x480 -framerate 30 -stream_loop -1 -i "$work/frame.yuv" 2>"$work/ff.txt" &
pid=$!
status() { tr '\r' '\n' <"$work/ff.txt" | grep 'fd=' | tail -1; }
sleep $warm
s0=$(status) c0=$(cpu $pid)
sleep "$secs"
c1=$(cpu $pid) s1=$(status)
kill -KILL "$pid"
wait "$pid" 2>/dev/null || true
pid=""
shown=$(awk -v a="$(awk '{ print $1 }' <<<"$s0")" -v b="$(awk '{ print $1 }' <<<"$s1")" \
    -v d=$(($(sed 's/.*fd= *\([0-9]*\).*/\1/' <<<"$s1") - $(sed 's/.*fd= *\([0-9]*\).*/\1/' <<<"$s0"))) \
    'BEGIN { printf "%d", (b - a) * 30 - d + 0.5 }')
echo "ffplay rawvideo 640x480 yuyv422 30 fps: $shown frames in $secs s, CPU $(((c1 - c0) * 1000 / hz)) ms," \
     "$(awk -v t=$((c1 - c0)) -v hz="$hz" -v f="$shown" 'BEGIN { printf "%.2f", f ? t * 1000 / hz / f : -1 }') ms per frame"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
