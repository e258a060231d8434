#!/usr/bin/env bash
# The viewer on the real V4L2 path, through the emulated devices (no --simulate), each run:
#  live    the family scope's live view (640 x 480 YUYV 30 fps, still scene): CPU per
#          painted frame, frames painted a second, mean frame age at paint; then an unplug
#          from that live view: CPU in the 3 s after it, ioctls on the dead node in those 3 s,
#          time until the node's last close;
#  resume  the scope again: frames off until Tube Fail, then on: time until a frame is painted;
#  1080p   a 1920 x 1080 MJPEG camera: frames dequeued and painted a second;
#  ffplay  ffplay's V4L2 input on the same scope node through the same emulation: CPU per
#          frame shown (dequeued less dropped), paced by the camera's time stamps (-sync
#          video: on its default external clock it drops nearly every frame here).
# Then one line per figure: median, lowest and highest over the runs.
#   bench/real_path_figures.sh ORVEX_BUILD EMU_BUILD [RUNS] [SECONDS] [DISPLAY_NUMBER]
# ORVEX_BUILD holds orvex and libBravik.so (it may be an older build); EMU_BUILD holds
# orvex_emu_run and orvex_emu_ctl.
set -euo pipefail
build=$(cd "${1:?orvex build folder}" && pwd)
emu=$(cd "${2:?emulation build folder}" && pwd)
runs=${3:-3}
secs=${4:-10}
disp=${5:-97}
warm=5
scope="USB Inspection Camera"
. "$(dirname "$0")/headless.sh"
start_headless "$disp"
chmod 755 "$work"
hz=$(getconf CLK_TCK)
source "$(dirname "${BASH_SOURCE[0]}")/painted_frames.sh"
ctl() { "$emu/orvex_emu_ctl" "$work/ctl" "$@"; }
counter() { ctl counters "$1" | awk -v k="$2" '{ for (i = 2; i < NF; i += 2) if ($i == k) print $(i + 1) }'; }
# The capture node of the rig's only device (its metadata node is marked "m").
capture_node() { ctl nodes | tr ' ' '\n' | sed -n 's/^video\([0-9]*\)=[0-9]*$/\1/p' | head -1; }
now() { date +%s%N; }
ms() { echo $((($(now) - $1) / 1000000)); }
div() { awk -v a="$1" -v b="$2" -v p="${3:-2}" 'BEGIN { if (b > 0) printf "%.*f", p, a / b; else print "none" }'; }
# Starts PROGRAM under the launcher on scenario $1; sets lpid and pid.
launch() {
    local rig=$1
    shift
    rm -f "$work/ctl"
    (cd / && exec "$emu/orvex_emu_run" --control "$work/ctl" --scenario "$rig" -- "$@") \
        >"$work/out.txt" 2>&1 &
    lpid=$!
    for _ in $(seq 300); do [ -S "$work/ctl" ] && break; sleep 0.1; done
    pid=$(ctl pid | cut -d' ' -f2)
}
finish() {
    ctl quit >/dev/null 2>&1 || kill "$lpid" 2>/dev/null || true
    wait "$lpid" 2>/dev/null || true
    pid="" lpid=""
    rm -rf "$work/Orvex"
}
lpid=""
trap '[ -z "$lpid" ] || finish; stop_headless' EXIT
wait_log() {
    for _ in $(seq "$2"); do grep -qsF "$1" "$work/Orvex/log.txt" && return 0; sleep 0.5; done
    echo "not in the viewer's log: $1" >&2
    return 1
}
# NAME VALUE: one figure of this run, kept for the summary.
note() { echo "$2" >>"$work/fig.$1"; }

echo "scope \"$scope\" scene still" >"$work/scope.txt"
echo 'camera "N5 HD" size 1920x1080 fps 30 scene still' >"$work/hd.txt"
dropped() { tr '\r' '\n' <"$work/out.txt" | sed -n 's/.*fd= *\([0-9]*\).*/\1/p' | tail -1; }
ffplay_args=("$(command -v ffplay)" -hide_banner -loglevel error -stats -an -sync video -x 640 -y 480
    -f v4l2 -input_format yuyv422 -video_size 640x480 -framerate 30)

for run in $(seq "$runs"); do
    echo "run $run of $runs"
    # live view, then an unplug from it
    launch "$work/scope.txt" "$build/orvex"
    wait_log "QueryFrame OK" 240
    node=$(capture_node)
    sleep $warm
    f0=$(painted "$pid") a0=${age_offset:+$(aged "$pid")} c0=$(cpu "$pid") t0=$(now)
    sleep "$secs"
    c1=$(cpu "$pid") f1=$(painted "$pid") a1=${age_offset:+$(aged "$pid")} t=$(ms "$t0")
    cpf=$(div $(((c1 - c0) * 1000 / hz)) $((f1 - f0)))
    fps=$(div $(((f1 - f0) * 1000)) "$t" 1)
    age=$([ -n "$age_offset" ] && div $((a1 - a0)) $((f1 - f0)) 1 || echo none)
    echo "  live: $((f1 - f0)) frames in $t ms, $cpf ms CPU a frame, age at paint $age ms"
    note cpf "$cpf"; note fps "$fps"; note age "$age"
    d0=$(counter "$node" afterUnplug) c0=$(cpu "$pid") t0=$(now)
    ctl unplug "$scope" >/dev/null
    sleep 3
    c1=$(cpu "$pid") d1=$(counter "$node" afterUnplug)
    closed=none
    while [ "$(ms "$t0")" -lt 10000 ]; do
        r=$(ctl closed "$node")
        [ "${r%% *}" = ok ] && { closed=${r#ok }; break; }
        sleep 0.1
    done
    echo "  unplug: CPU $(((c1 - c0) * 1000 / hz)) ms in 3 s, $((d1 - d0)) ioctls on video$node," \
         "last close after ${closed} ms (none: open 10 s on)"
    note ucpu $(((c1 - c0) * 1000 / hz)); note dead $((d1 - d0)); note closed "$closed"
    finish

    # frames stop until the tube fails, then come back
    launch "$work/scope.txt" "$build/orvex"
    wait_log "QueryFrame OK" 240
    sleep 2
    ctl frames "$scope" off >/dev/null
    wait_log "Tube Fail" 40
    sleep 1
    p0=$(painted "$pid") t0=$(now)
    ctl frames "$scope" on >/dev/null
    back=none
    while [ "$(ms "$t0")" -lt 15000 ]; do
        [ "$(painted "$pid")" -gt "$p0" ] && { back=$(ms "$t0"); break; }
    done
    echo "  frames on: painted again after $back ms (none: not within 15 s)"
    note back "$back"
    finish

    # 1080p MJPEG
    launch "$work/hd.txt" "$build/orvex"
    wait_log "QueryFrame OK" 240
    node=$(capture_node)
    fmt="$(counter "$node" format) $(counter "$node" size)"
    sleep $warm
    d0=$(counter "$node" dequeued) f0=$(painted "$pid") t0=$(now)
    sleep "$secs"
    d1=$(counter "$node" dequeued) f1=$(painted "$pid") t=$(ms "$t0")
    hdd=$(div $(((d1 - d0) * 1000)) "$t" 1) hdp=$(div $(((f1 - f0) * 1000)) "$t" 1)
    echo "  1080p ($fmt): $hdd frames dequeued, $hdp painted a second"
    note hdd "$hdd"; note hdp "$hdp"
    finish

    # ffplay on the scope's node
    launch "$work/scope.txt" "${ffplay_args[@]}" /dev/video0
    node=$(capture_node)
    for _ in $(seq 100); do [ "$(counter $node dequeued)" -gt 30 ] && break; sleep 0.3; done
    sleep $warm
    d0=$(counter $node dequeued) x0=$(dropped) c0=$(cpu "$pid") t0=$(now)
    sleep "$secs"
    c1=$(cpu "$pid") d1=$(counter $node dequeued) x1=$(dropped) t=$(ms "$t0")
    shown=$((d1 - d0 - ${x1:-0} + ${x0:-0}))
    ffc=$(div $(((c1 - c0) * 1000 / hz)) "$shown")
    echo "  ffplay: $shown frames shown in $t ms ($((d1 - d0)) dequeued), $ffc ms CPU a frame"
    [ "$shown" -gt 0 ] || sed 's/\r/\n/g' "$work/out.txt" | tail -5 >&2
    note ffc "$ffc"; note ffps "$(div $((shown * 1000)) "$t" 1)"
    finish
done

# Median, lowest, highest of a figure's runs; runs without it are counted apart.
#   summary FIGURE WHAT UNIT [WHAT A RUN WITHOUT IT MEANS]
summary() {
    sort -g "$work/fig.$1" | awk -v what="$2" -v unit="${3:+ $3}" -v without="${4:-}" '
        $1 == "none" { none++; next }
        { v[n++] = $1 }
        END {
            if (n) printf "%s: median %s%s (%s to %s, %d runs)", what,
                (n % 2 ? v[(n - 1) / 2] : (v[n / 2 - 1] + v[n / 2]) / 2), unit, v[0], v[n - 1], n
            else printf "%s: none", what
            if (none) printf ", %d runs %s", none, without ? without : "without"
            print ""
        }'
}
echo "summary, $build:"
summary cpf "CPU per painted frame, live view" ms
summary fps "frames painted a second, live view" ""
summary age "frame age at paint" ms
summary ffc "ffplay CPU per frame shown, V4L2 input" ms
summary ffps "ffplay frames shown a second" ""
summary back "picture painted again after frames on" ms "not within 15 s"
summary ucpu "CPU in the 3 s after an unplug" ms
summary dead "ioctls on the dead node in those 3 s" ""
summary closed "dead node's last close after the unplug" ms "still open 10 s on"
summary hdd "1920x1080 MJPEG frames dequeued a second" ""
summary hdp "1920x1080 MJPEG frames painted a second" ""
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
