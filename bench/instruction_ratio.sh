#!/bin/sh
# Instructions of the page fill against its four decodes, counted by callgrind: every thread's
# instructions from the start to the end of each timed span, so the machine's load cannot move
# the figure. Prints each span's instructions per run and the ratio. With a third argument the
# profiles are kept in that folder (callgrind_annotate shows where a span's instructions go).
#   bench/instruction_ratio.sh BUILD_DIR [RUNS [PROFILE_DIR]]
set -eu
build=$1
runs=${2:-3}
if [ -n "${3:-}" ]; then
    out=$3
    mkdir -p "$out"
else
    out=$(mktemp -d)
    trap 'rm -rf "$out"' EXIT
fi
# The capture library's idle pool threads spin a while before they sleep; that waiting is
# scheduling, not work, and would make the counts differ from run to run.
OPENCV_THREAD_POOL_ACTIVE_WAIT_WORKER=0 OPENCV_THREAD_POOL_ACTIVE_WAIT_MAIN=0 \
    xvfb-run -a -s "-screen 0 1600x1000x24" valgrind --tool=callgrind \
    --callgrind-out-file="$out/cg.%p" "$build/bench_browse" \
    --benchmark_filter=BM_FillPageOverDecodes --benchmark_min_time=0.01 \
    --benchmark_repetitions="$runs" >"$out/log" 2>&1
# One dump per span (cg.PID.N), of every thread: "desc: Trigger: Client Request: NAME" and its
# "summary:" line.
awk '
    /^desc: Trigger: Client Request:/ { sub(/^desc: Trigger: Client Request: /, ""); span = $0 }
    /^summary:/ && span != "" { n[span]++; sum[span] += $2; list[span] = list[span] " " $2; span = "" }
    END {
        for (s in n) printf "%-12s %d runs, instructions each:%s\n", s, n[s], list[s]
        if (sum["decode four"] > 0)
            printf "fill page / decode four: %.3f\n", sum["fill page"] / sum["decode four"]
    }' "$out"/cg.*
