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
start_viewer() { start "$@" -- "$build/orvex"; }
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
# A counter of node $1 from the device server: ioctls, afterUnplug, streamOns, openFiles.
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
