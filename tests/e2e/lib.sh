# Shell helpers shared by the end-to-end scripts; sourced, after they set $log.

# Waits until the log holds a line (a fixed text), at most $2 seconds.
wait_for() {
  local line=$1 secs=${2:-30} i
  for ((i = 0; i < secs * 10; i++)); do
    [ -f "$log" ] && grep -qxF -- "$line" "$log" && return 0
    sleep 0.1
  done
  return 1
}

# Waits until the log holds a text anywhere in a line, at most $2 seconds.
wait_for_text() {
  local text=$1 secs=${2:-30} i
  for ((i = 0; i < secs * 10; i++)); do
    [ -f "$log" ] && grep -qF -- "$text" "$log" && return 0
    sleep 0.1
  done
  return 1
}

# Waits until a folder holds a file with the extension, at most $3 seconds.
wait_for_file() {
  local dir=$1 ext=$2 secs=${3:-30} i
  for ((i = 0; i < secs * 10; i++)); do
    compgen -G "$dir/*.$ext" >/dev/null && return 0
    sleep 0.1
  done
  return 1
}

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
