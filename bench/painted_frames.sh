# Sourced by the bench scripts, after they set $build: the viewer's CPU time and its
# painted-frame counter, read from outside the process.

# utime + stime of all threads, in clock ticks (fields 14 and 15; the name has no blanks).
cpu() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# A counter's offset in the program (a PIE: its symbol + the load address), empty without it.
symbol_offset() { nm "$build/orvex" | awk -v s="$1" '$3 == s { print $1 }'; }
offset=$(symbol_offset g_FramesPainted)
[ -n "$offset" ] || { echo "no frame counter in $build/orvex" >&2; exit 1; }
# The summed age at paint of the painted frames, in ms; empty in a program without it.
age_offset=$(symbol_offset g_FrameAgeMsTotal)

# PID OFFSET: the 64-bit counter at OFFSET in the process's memory.
read_counter() {
    python3 - "$1" "$2" <<'PY'
import os, sys
pid, off = int(sys.argv[1]), int(sys.argv[2], 16)
exe = os.readlink(f"/proc/{pid}/exe")
for line in open(f"/proc/{pid}/maps"):
    f = line.split()
    if len(f) >= 6 and f[5] == exe and int(f[2], 16) == 0:
        base = int(f[0].split("-")[0], 16)
        break
with open(f"/proc/{pid}/mem", "rb") as m:
    m.seek(base + off)
    print(int.from_bytes(m.read(8), "little"))
PY
}
painted() { read_counter "$1" "$offset"; }
aged() { read_counter "$1" "$age_offset"; }
