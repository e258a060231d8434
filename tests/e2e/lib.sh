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
