#!/usr/bin/env bash
# The viewer as a user starts it: a fresh user, the simulated scope, a real X server.
# Usage: viewer_e2e.sh BUILD_DIR SOURCE_DIR CASE
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib.sh"
build=$1 source=$2 case=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home
mkdir -p "$HOME"
export ASAN_OPTIONS=detect_leaks=0
# The program's own words go with a failure: the log where there is one, and what it wrote on
# stderr (all there is when the log is refused), and whether it still ran.
fail() {
  echo "FAIL: $*"
  [ -f "$log" ] && sed 's/^/  log: /' "$log" | tail -40
  [ -s "$work/out.txt" ] && sed 's/^/  stderr: /' "$work/out.txt" | tail -40
  if [ -n "${pid:-}" ]; then
    if kill -0 "$pid" 2>/dev/null; then echo "  the program still runs"; else echo "  the program has ended"; fi
  fi
  exit 1
}
log=$HOME/Orvex/log.txt

# Starts the program from a program folder in the background; sets $pid.
start() {
  local folder=$1; shift
  (cd / && exec "$folder/orvex" "$@") >"$work/out.txt" 2>&1 &
  pid=$!
}

# Whether the program (not the shell that starts it, which has the script's handlers until its
# exec) has its SIGTERM handler: bit 15 of the caught-signal mask.
catches_term() {
  [ "$(cat "/proc/$1/comm" 2>/dev/null)" = orvex ] &&
    (( 0x$(awk '/^SigCgt:/ {print $2}' "/proc/$1/status" 2>/dev/null || echo 0) & 0x4000 ))
}

# Ends it as a logout would and checks that it went away cleanly.
stop() { end_cleanly "$pid" "$work/out.txt"; }

case $case in
default)
  start "$build" --simulate
  wait_for "Preview refreshCamera() K2200(1) QueryFrame OK!" 60 || fail "the scope was not found"
  [ "$(head -n1 "$log")" = "Frame createGUIControls() Open logFile OK" ] || fail "first log line"
  [ "$(cat "$HOME/Orvex/config.txt")" = "PATH $HOME/Orvex/DCIM" ] || fail "config.txt"
  [ -d "$HOME/Orvex/DCIM" ] || fail "no DCIM folder"
  grep -qxF "Preview refreshCamera() Count(0)" "$log" || fail "search start"
  import -window root "$work/shot.png" || fail "no screenshot"
  stop
  ;;
desk)
  start "$build" "--simulate=$source/sim/scenarios/desk.txt"
  wait_for "Preview refreshCamera() Index(1) QueryFrame OK!" 60 || fail "the named camera was not opened"
  grep -qxF "Preview refreshCamera() Q3400 39HD(1)" "$log" || fail "the name was not recognised"
  stop
  ;;
no-bravik)
  # A program folder without the register library: the viewer runs, device control is absent.
  folder=$work/program
  mkdir -p "$folder"
  cp "$build/orvex" "$build/libscopesim.so" "$folder/"
  cp -r "$build/res" "$folder/"
  start "$folder" --simulate
  wait_for "Preview refreshCamera() haveKelmo(FALSE), Count(2)" 60 || fail "the search did not run without the library"
  stop
  ;;
installed)
  prefix=$work/prefix
  cmake --install "$build" --prefix "$prefix" >/dev/null || fail "install"
  [ -x "$prefix/bin/orvex" ] || fail "no launcher"
  (cd /tmp && exec "$prefix/bin/orvex" --simulate) >"$work/out.txt" 2>&1 &
  pid=$!
  wait_for "Preview refreshCamera() K2200(1) QueryFrame OK!" 60 || fail "the installed program did not find the scope"
  stop
  ;;
bad-scenario)
  printf 'camera "Broken\n' >"$work/bad.txt"
  "$build/orvex" "--simulate=$work/bad.txt" >"$work/out.txt" 2>&1 && fail "a bad scenario was accepted"
  grep -q "bad.txt:1" "$work/out.txt" || { cat "$work/out.txt"; fail "the message does not name the file and line"; }
  [ ! -e "$HOME/Orvex" ] || fail "a bad scenario started the program"
  no_toolkit_complaints "$work/out.txt" || fail "the program printed toolkit warnings"
  "$build/orvex" --help >"$work/out.txt" 2>&1 || fail "--help"
  grep -q -- "--simulate" "$work/out.txt" || fail "--help"
  no_toolkit_complaints "$work/out.txt" || fail "--help printed toolkit warnings"
  ;;
stalled-unit)
  # The scope's register unit stops answering 20 s into the run (or at its opening on a slow
  # start): the log says so and a logout still ends the program cleanly.
  printf '%s\n' 'camera "Integrated Camera" size 1280x720 scene gradient' \
    'scope "USB Inspection Camera" tube in' 'at 20000 stall "USB Inspection Camera" 3600000' \
    >"$work/stall.txt"
  start "$build" "--simulate=$work/stall.txt"
  wait_for_text "the extension unit does not answer" 120 || fail "the stall was not logged"
  stop
  ;;
file-size-limit)
  # Under a 1 MiB file-size limit a recording stops before the limit, playable, and the
  # program lives on (no SIGXFSZ).
  folder=$build
  mkdir -p "$HOME/Orvex/DCIM"
  (cd / && exec prlimit --fsize=1048576 "$folder/orvex" --simulate) >"$work/out.txt" 2>&1 &
  pid=$!
  wait_for_text "QueryFrame OK" 90 || fail "no camera was opened"
  keys ctrl+r
  wait_for_text "recording stopped: the file-size limit is reached" 90 ||
    fail "the limit did not stop the recording"
  avi=$(ls "$HOME"/Orvex/DCIM/*.avi)
  [ "$(frames_of "$avi")" -gt 0 ] 2>/dev/null || fail "the recording does not play: $(probe "$avi")"
  duration_of "$avi" | grep -qE '^[0-9]+\.[0-9]+$' || fail "no duration: $(probe "$avi")"
  stop
  ;;
killed-recording)
  # A recording whose program is killed is repaired at the next start and plays.
  start "$build" --simulate
  wait_for_text "QueryFrame OK" 90 || fail "no camera was opened"
  keys ctrl+r
  wait_for_file "$HOME/Orvex/DCIM" avi 30 || fail "Ctrl+R started no recording"
  avi=$(ls "$HOME"/Orvex/DCIM/*.avi)
  for ((i = 0; i < 600; i++)); do
    [ "$(stat -c %s "$avi")" -gt 300000 ] && break
    sleep 0.1
  done
  kill -KILL "$pid"
  wait "$pid"
  duration_of "$avi" | grep -qE '^[0-9]+\.[0-9]+$' && fail "the killed recording already had its index"
  start "$build" --simulate
  wait_for_text "repairRecordings() $avi had no index: repaired" 60 || fail "no repair logged"
  wait_for_text "QueryFrame OK" 90 || fail "no camera was opened after the repair"
  [ "$(frames_of "$avi")" -gt 0 ] 2>/dev/null || fail "the repaired recording does not play"
  duration_of "$avi" | grep -qE '^[0-9]+\.[0-9]+$' || fail "no duration: $(probe "$avi")"
  stop
  ;;
hostile-data-folder)
  # log.txt a FIFO nobody reads, a relative storage path: the window still comes, nothing is
  # written outside the data folder, and a kill at any moment ends the program properly.
  mkdir -p "$HOME/Orvex" "$work/launch/a/b"
  mkfifo "$HOME/Orvex/log.txt"
  printf 'PATH ../..\n' >"$HOME/Orvex/config.txt"
  (cd "$work/launch/a/b" && exec "$build/orvex" --simulate) >"$work/out.txt" 2>&1 &
  pid=$!
  poll_for 60 xdotool search --onlyvisible --pid "$pid" >/dev/null || fail "no window"
  keys space || fail "no keys"
  poll_for 30 folder_has "$HOME/Orvex/DCIM" jpg || fail "the snapshot did not go to the default folder"
  [ -z "$(find "$work/launch" -type f)" ] || fail "wrote to the launch folder: $(find "$work/launch" -type f)"
  grep -qF "log.txt: is not a regular file; running without a log file" "$work/out.txt" ||
    fail "no word on stderr: $(cat "$work/out.txt")"
  [ -p "$HOME/Orvex/log.txt" ] || fail "the FIFO was replaced"
  stop
  # A kill once the program runs, while its window is still being built, is handled.
  start "$build" --simulate
  poll_for 60 catches_term "$pid" || fail "SIGTERM is never caught"
  stop
  ;;
*)
  fail "unknown case $case"
  ;;
esac
echo "PASS: $case"
