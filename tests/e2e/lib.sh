# Shell helpers shared by the end-to-end scripts; sourced, after they set $log.

# Runs a check ten times a second until it succeeds, at most $1 seconds.
poll_for() {
  local secs=$1 i
  shift
  for ((i = 0; i < secs * 10; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

log_has_line() { [ -f "$log" ] && grep -qxF -- "$1" "$log"; }
log_has_text() { [ -f "$log" ] && grep -qF -- "$1" "$log"; }
folder_has() { compgen -G "$1/*.$2" >/dev/null; }

# Waits until the log holds a line (a fixed text), at most $2 seconds.
wait_for() { poll_for "${2:-30}" log_has_line "$1"; }
# Waits until the log holds a text anywhere in a line, at most $2 seconds.
wait_for_text() { poll_for "${2:-30}" log_has_text "$1"; }
# Waits until a folder holds a file with the extension, at most $3 seconds.
wait_for_file() { poll_for "${3:-30}" folder_has "$1" "$2"; }

# Keys to the program's window through the X server, as a user types them: the pointer over
# the window gives it the keyboard on a server without a window manager.
keys() {
  local w
  w=$(xdotool search --sync --onlyvisible --pid "$pid" 2>/dev/null | head -n1)
  [ -n "$w" ] || return 1
  xdotool mousemove --window "$w" 200 200 && xdotool key "$@"
}

# What ffprobe makes of a video: its decodable frames and the length the index gives.
probe() { ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames:format=duration -of default=nw=1 "$1" 2>&1; }
frames_of() { ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1" 2>/dev/null; }
duration_of() { ffprobe -v error -show_entries format=duration -of csv=p=0 "$1" 2>/dev/null; }

# Ends program $1 as a logout would and checks it went away cleanly: exit status 0 and no
# toolkit warnings in its output file $2 ($3 names it in failures). Needs fail().
end_cleanly() {
  local pid=$1 out=$2 what=${3:-the program} i rc
  kill -TERM "$pid" 2>/dev/null
  for ((i = 0; i < 100; i++)); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null && { kill -KILL "$pid"; fail "$what did not close"; }
  wait "$pid"
  rc=$?
  [ "$rc" -eq 0 ] || { cat "$out"; fail "exit status $rc"; }
  no_toolkit_complaints "$out" || fail "$what printed toolkit warnings"
}

# Toolkit warnings end the program (G_DEBUG) and fail the test when it printed one anyway.
export G_DEBUG=fatal-warnings
# Fails (returns 1, showing them) when the output file $1 holds GLib/GObject/GTK warnings.
no_toolkit_complaints() {
  local found
  found=$(grep -E -- '-(CRITICAL|WARNING) \*\*' "$1")
  [ -z "$found" ] && return 0
  echo "toolkit complaints:"
  echo "$found"
  return 1
}
