#!/usr/bin/env bash
# The unmodified program (no --simulate) on the emulated devices: the rig's cameras as
# /dev/video* nodes, sysfs and udev events as the kernel and udev give them, in private
# namespaces. Exit 77 where namespaces are not available.
# Usage: emu_e2e.sh BUILD_DIR LAUNCHER CONTROL_CLIENT BRAVIK_TOOL CASE
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
build=$1 launcher=$2 ctl_client=$3 tool=$4 case=$5
work=$(mktemp -d)
chmod 755 "$work"
lpid=
trap '[ -n "$lpid" ] && kill "$lpid" 2>/dev/null; rm -rf "$work"' EXIT
export HOME=$work/home
mkdir -p "$HOME"
export ASAN_OPTIONS=detect_leaks=0
log=$HOME/Orvex/log.txt
ctl=$work/control.sock
scope="USB Inspection Camera"
fail() { echo "FAIL: $*"; [ -f "$log" ] && sed 's/^/  log: /' "$log" | tail -40; sed 's/^/  out: /' "$work/out.txt" 2>/dev/null | tail -20; exit 1; }

control() { "$ctl_client" "$ctl" "$@"; }
# Starts PROGRAM ARGS under the launcher (launcher options before --); sets $lpid and $pid.
start() {
  (cd / && exec "$launcher" --control "$ctl" "$@") >"$work/out.txt" 2>&1 &
  lpid=$!
  local i
  for ((i = 0; i < 300; i++)); do
    [ -S "$ctl" ] && break
    kill -0 "$lpid" 2>/dev/null || break
    sleep 0.1
  done
  if ! kill -0 "$lpid" 2>/dev/null; then
    wait "$lpid"
    local rc=$?
    [ "$rc" -eq 77 ] && { cat "$work/out.txt"; exit 77; }
    fail "the launcher ended at once ($rc)"
  fi
  pid=$(control pid | cut -d' ' -f2)
}
# The program of the build, or the Release one that release_keys.sh names.
start_viewer() { start "$@" -- "${ORVEX_PROGRAM_DIR:-$build}/orvex"; }
# Ends the program as a logout would and checks that it went away cleanly.
stop() {
  control quit >/dev/null
  wait "$lpid"
  local rc=$?
  lpid=
  [ "$rc" -eq 0 ] || fail "exit status $rc"
  no_toolkit_complaints "$work/out.txt" || fail "the program printed toolkit warnings"
}
count_lines() { grep -cxF -- "$1" "$log"; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
# Milliseconds from $1 (now_ms) until the log has line $2, or fails after $3 s.
ms_until_line() {
  wait_for "$2" "$3" || return 1
  echo $(($(now_ms) - $1))
}
# A counter of node $1 from the device server: ioctls, afterUnplug, streamOns, busyRefusals,
# noSpace, dequeued, formatSets, format, size, openFiles.
counter() { control counters "$1" | awk -v k="$2" '{ for (i = 2; i < NF; i += 2) if ($i == k) print $(i + 1) }'; }

# The picture area of the window (the middle of the preview, clear of the labels).
picture() {
  local w X Y WIDTH HEIGHT
  w=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n1)
  eval "$(xdotool getwindowgeometry --shell "$w")"
  import -window root -crop "400x300+$((X + 411))+$((Y + 163))" +repage "$1"
}
# The scope's scene, not black and not the grey skin: the pipe's rust makes it warm.
shows_scene() {
  local r b
  read -r r b < <(convert "$1" -format "%[fx:mean.r] %[fx:mean.b]\n" info:)
  awk -v r="$r" -v b="$b" 'BEGIN { exit !(r > 0.08 && r > b + 0.015) }'
}

# Ctrl+R, then waits until the recording ($avi) has grown.
start_recording() {
  keys ctrl+r
  wait_for_file "$HOME/Orvex/DCIM" avi 30 || fail "no recording"
  avi=$(ls "$HOME"/Orvex/DCIM/*.avi)
  poll_for 60 eval '[ "$(stat -c %s "$avi")" -gt 200000 ]' || fail "the recording does not grow"
}
# Waits until the recording has its index, then checks that it plays.
recording_plays() {
  poll_for 30 eval 'duration_of "$avi" | grep -qE "^[0-9]+\.[0-9]+$"' || fail "the recording was not finished"
  [ "$(frames_of "$avi")" -gt 5 ] 2>/dev/null || fail "the recording does not play: $(probe "$avi")"
}

# A camera the tube watch has given up comes back as the tube is pulled and put back.
tube_out_and_in() {
  control tube "$scope" out >/dev/null || fail "tube out"
  wait_for "Preview onTimer() Orvex(1), Tube Output (1, 0)" 30 || fail "the tube is not seen out"
  control tube "$scope" in >/dev/null || fail "tube in"
  poll_for 30 eval '[ "$(count_lines "Preview onTimer() Orvex(1), QueryFrame OK!")" -ge 1 ]' ||
    fail "the camera did not come back"
  poll_for 30 eval 'picture "$work/a.png" && shows_scene "$work/a.png"' || fail "no scene after the stall"
}

case $case in
enumeration)
  # As a user outside the video group: the locked camera keeps its place, says why once, and
  # the others open for the user; metadata nodes are not listed.
  printf '%s\n' 'camera "Integrated Camera" scene gradient' 'camera "Locked Camera" unopenable' \
    "scope \"$scope\" tube in" >"$work/rig.txt"
  chown -R 65534:65534 "$HOME"
  start_viewer --uid 65534 --scenario "$work/rig.txt"
  wait_for "Preview refreshCamera() K2200(2) QueryFrame OK!" 90 || fail "the scope was not opened"
  [ "$(control nodes)" = "ok video0=1 video1=1m video2=2 video3=2m video4=3 video5=3m" ] ||
    fail "nodes: $(control nodes)"
  for line in "DeviceCamCount(3)" "Camera(0) CamName(Integrated Camera)" \
    "Camera(1) CamName(Locked Camera)" "Camera(2) CamName($scope)" \
    "Camera(2) Description(usb-scopesim-1.3)"; do
    grep -qxF "Preview refreshCamera() $line" "$log" || fail "no line: $line"
  done
  [ "$(count_lines "Preview refreshCamera() Camera(1) Permission denied: the user is not in the video group")" = 1 ] ||
    fail "the refusal is not said once"
  stop
  ;;
live)
  # The search finds the scope by its unit and colour bars; its scene is shown, a snapshot
  # and a recording are made of it.
  start_viewer
  wait_for "Preview refreshCamera() K2200(1) QueryFrame OK!" 90 || fail "the scope was not opened"
  grep -qxF "Preview refreshCamera() camera(1) Is K2200" "$log" || fail "not identified by its bars"
  grep -qxF "Preview refreshCamera() camera(0) Not Kelmo" "$log" ||
    grep -qxF "Preview refreshCamera() camera(0) NoQueryFrame" "$log" || fail "the webcam was taken"
  poll_for 30 eval 'picture "$work/a.png" && shows_scene "$work/a.png"' || fail "no scene in the window"
  # Live: the picture moves.
  poll_for 30 eval 'picture "$work/b.png" && [ "$(compare -metric AE -fuzz 3% "$work/a.png" "$work/b.png" null: 2>&1)" -gt 1000 ]' ||
    fail "the picture stands still"
  keys space
  wait_for_file "$HOME/Orvex/DCIM" jpg 30 || fail "no snapshot"
  shows_scene "$(ls "$HOME"/Orvex/DCIM/*.jpg | head -n1)" || fail "the snapshot is not the scene"
  start_recording
  keys ctrl+r
  recording_plays
  stop
  ;;
unplug)
  # Unplugged while recording: the program lets go of the dead node (its capture, and the
  # unit's handle once udev's remove event has come) within a second, without a storm of
  # calls on it, and the recording plays.
  start_viewer
  wait_for "Preview refreshCamera() K2200(1) QueryFrame OK!" 90 || fail "the scope was not opened"
  start_recording
  control unplug "$scope" >/dev/null || fail "unplug"
  poll_for 30 eval 'control closed 2 >"$work/closed.txt"' || fail "the dead node is still open"
  closed_ms=$(cut -d' ' -f2 "$work/closed.txt")
  echo "capture closed ${closed_ms} ms after the unplug"
  [ "$closed_ms" -lt 1000 ] || fail "the dead node was closed only after $closed_ms ms"
  after=$(counter 2 afterUnplug)
  [ "$after" -lt 100 ] || fail "$after calls on the dead node"
  wait_for_text "DBT_DEVICEREMOVECOMPLETE isHandle(1)" 30 || fail "the removal was not taken as the scope's"
  recording_plays
  stop
  ;;
hotplug)
  # Out and back in while a file of the old plug-in is still open: the old file stays dead,
  # the new nodes come with their udev event after their sysfs, and the scope shows again.
  start_viewer
  wait_for "Preview refreshCamera() K2200(1) QueryFrame OK!" 90 || fail "the scope was not opened"
  control hold 2 >/dev/null || fail "hold"
  control unplug "$scope" >/dev/null || fail "unplug"
  wait_for_text "DBT_DEVICEREMOVECOMPLETE isHandle(1)" 30 || fail "no removal"
  control plug "$scope" >/dev/null || fail "plug"
  wait_for_text "DBT_DEVICEARRIVAL isHandle(1)" 30 || fail "no arrival"
  # The held file keeps video2 taken, as the kernel keeps a minor until its last close.
  [ "$(control nodes)" = "ok video0=1 video1=1m video3=2 video4=2m" ] || fail "nodes: $(control nodes)"
  poll_for 60 eval '[ "$(count_lines "Preview refreshCamera() K2200(1) QueryFrame OK!")" -ge 2 ]' ||
    fail "the scope was not opened again"
  poll_for 30 eval 'picture "$work/a.png" && shows_scene "$work/a.png"' || fail "no scene after the replug"
  grep -q "^Frame MSWWindowProc() dbcc_name(.*/video4linux/video3 " "$log" || fail "the arrival is not of video3"
  [ "$(counter 3 streamOns)" -ge 1 ] || fail "the scope is not streamed from video3"
  control release >/dev/null
  stop
  ;;
stall)
  # Frames stop: the tube watch gives the camera up after about a second while the window
  # goes on, its re-open is not refused by a handle of its own; with frames back, a camera
  # lost after a failed re-open comes back as the tube is pulled and put back.
  start_viewer
  wait_for "Preview refreshCamera() K2200(1) QueryFrame OK!" 90 || fail "the scope was not opened"
  t0=$(now_ms)
  control frames "$scope" off >/dev/null || fail "frames off"
  waited=$(ms_until_line "$t0" "Preview onTimer() Orvex(1), Tube Fail" 30) || fail "no Tube Fail"
  echo "Tube Fail ${waited} ms after the frames stopped"
  [ "$waited" -ge 900 ] || fail "Tube Fail after only $waited ms"
  wait_for "Preview onTimer() Orvex(1), NoQueryFrame" 30 || fail "the re-open was not tried"
  [ "$(counter 2 busyRefusals)" = 0 ] || fail "the re-open was refused: $(control counters 2)"
  control frames "$scope" on >/dev/null || fail "frames on"
  tube_out_and_in
  [ "$(counter 2 busyRefusals)" = 0 ] || fail "a re-open was refused: $(control counters 2)"
  stop
  ;;
fullbus)
  # A webcam searched first on the scope's USB 2.0 bus: the scope streams once the search has
  # let the webcam go.
  printf '%s\n' 'camera "Integrated Camera" scene gradient bus 1' "scope \"$scope\" tube in bus 1" >"$work/rig.txt"
  start_viewer --scenario "$work/rig.txt"
  wait_for "Preview refreshCamera() K2200(1) QueryFrame OK!" 90 || fail "the scope was not opened"
  poll_for 30 eval 'picture "$work/a.png" && shows_scene "$work/a.png"' || fail "no scene in the window"
  [ "$(counter 0 openFiles)" = 0 ] || fail "the webcam is still held: $(control counters 0)"
  stop
  ;;
xustall)
  # The scope's unit stops answering for 5 s: each request gives up after Bravik's own wait,
  # the silence and the unit's return are logged, and the picture comes back.
  export BRAVIK_DEBUG=1
  start_viewer
  wait_for "Preview refreshCamera() K2200(1) QueryFrame OK!" 90 || fail "the scope was not opened"
  control stall "$scope" 5000 >/dev/null || fail "stall"
  poll_for 30 grep -qF "wait timeout!!" "$work/out.txt" || fail "no time-out"
  wait_for "IOControlBox poll() the extension unit does not answer" 30 || fail "the silence is not logged"
  wait_for "IOControlBox the extension unit answers again" 60 || fail "the unit's return is not logged"
  # The silence held up the ticks past the re-open's wait for a frame: as after a stall, the
  # camera comes back with the tube pulled and put back.
  tube_out_and_in
  stop
  ;;
em28xx)
  # On a kernel without register debugging the bridge's registers cannot be reached: said
  # once, and the camera's video is still shown.
  start_viewer --scenario "$(dirname "${BASH_SOURCE[0]}")/../../../sim/scenarios/em28xx.txt"
  wait_for "Preview refreshCamera() K1100(1) QueryFrame OK!" 90 || fail "the camera was not opened"
  poll_for 30 eval 'picture "$work/a.png" && picture "$work/b.png" && [ "$(compare -metric AE -fuzz 3% "$work/a.png" "$work/b.png" null: 2>&1)" -gt 1000 ]' ||
    fail "no live picture"
  [ "$(count_lines "Preview InitEM2800Prop() bridge registers need a kernel built with CONFIG_VIDEO_ADV_DEBUG")" = 1 ] ||
    fail "the missing registers are not said once"
  stop
  ;;
mjpeg1080)
  # A 1080p model: YUYV cannot reach 15 fps on the bus, so the stream is MJPEG, drained at
  # the camera's 30 fps (5/6 of it: a loaded machine may hold the thread back for a moment).
  printf '%s\n' 'camera "N5 HD" size 1920x1080 fps 30 scene still' >"$work/rig.txt"
  start_viewer --scenario "$work/rig.txt"
  wait_for "Preview refreshCamera() Index(0) QueryFrame OK!" 90 || fail "the camera was not opened"
  [ "$(counter 0 format) $(counter 0 size)" = "MJPG 1920x1080" ] || fail "format: $(control counters 0)"
  d0=$(counter 0 dequeued) t0=$(now_ms)
  sleep 3
  d1=$(counter 0 dequeued) t1=$(now_ms)
  rate=$(((d1 - d0) * 1000 / (t1 - t0)))
  echo "$rate frames a second dequeued"
  [ "$rate" -ge 25 ] || fail "only $rate of the camera's 30 frames a second dequeued"
  stop
  ;;
bravik)
  # The tool on the scope's unit through uvcvideo, without --simulate: the list, the unit
  # from the descriptors, and the tube sensor as the rig has it.
  run_tool() {
    (cd / && exec "$launcher" "$@") >"$work/out.txt" 2>&1
    local rc=$?
    [ "$rc" -eq 77 ] && { cat "$work/out.txt"; exit 77; }
    return "$rc"
  }
  run_tool -- "$tool" list || fail "list"
  grep -qxF '* 05e3:0510  USB\VID_05E3&PID_0510\/dev/video2' "$work/out.txt" || fail "list: $(cat "$work/out.txt")"
  run_tool -- "$tool" units || fail "units"
  grep -qxF "unit 4 {5E5D360B-E45F-4581-9B0B-374669BA05D4} controls 5 bmControls 0x1f" "$work/out.txt" ||
    fail "units: $(cat "$work/out.txt")"
  run_tool -- "$tool" read A16D16 7A 0 || fail "read"
  [ "$(cat "$work/out.txt")" = 0x5a10 ] || fail "tube in: $(cat "$work/out.txt")"
  printf '%s\n' "scope \"$scope\" tube out" >"$work/rig.txt"
  run_tool --scenario "$work/rig.txt" -- "$tool" read A16D16 7A 0 || fail "read"
  [ "$(cat "$work/out.txt")" = 0xffff ] || fail "tube out: $(cat "$work/out.txt")"
  ;;
*)
  fail "unknown case $case"
  ;;
esac
echo "PASS: $case"
