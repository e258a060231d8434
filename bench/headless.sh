# Sourced by the bench scripts: a private home and an Xvfb display for one viewer run.
#   start_headless DISPLAY_NUMBER   sets work (the home folder) and DISPLAY; on exit the
#                                   process in $pid (if any), the X server and the home go.
start_headless() {
    work=$(mktemp -d)
    export HOME=$work XDG_CONFIG_HOME=$work/.config DISPLAY=:$1
    Xvfb ":$1" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
    xpid=$!
    trap stop_headless EXIT
    for _ in $(seq 50); do xdpyinfo -display ":$1" >/dev/null 2>&1 && break; sleep 0.1; done
}

stop_headless() {
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
    kill "$xpid" 2>/dev/null || true
    rm -rf "$work"
}

# Lines of the viewer's log that say it lost its camera (empty while it never did).
camera_losses() {
    grep -hE "Tube Fail|Orvex\([0-9]+\), (NoQueryFrame|No Camera)" "$work"/*/log.txt 2>/dev/null ||
        true
}
