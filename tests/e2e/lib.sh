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
