#!/bin/sh
# Runs every libFuzzer program BUILD_DIR/bin/fuzz_<target> for SECONDS each,
# FUZZ_JOBS (default 2) at a time, each from a copy of its seed corpus
# (fuzz/corpus/<target>) kept under BUILD_DIR/fuzz-work/<target>. Crash,
# timeout, leak and out-of-memory inputs land in BUILD_DIR/fuzz-artifacts/.
# Prints executions per second and in total for each target; exits non-zero
# if any target failed. The readers' own messages are hidden unless
# VQ_FUZZ_VERBOSE is set. FUZZ_TARGETS="obj stl" limits the run; FUZZ_SEED=N
# makes the mutations repeatable (a longer run with the same seed goes over
# every input a shorter one tried first).
#
#   sh tools/run-fuzz.sh build-fuzz 25
set -u
if [ $# -ne 2 ]; then
    echo "usage: $0 BUILD_DIR SECONDS" >&2
    exit 2
fi
build=$(cd "$1" && pwd) || exit 2
seconds=$2
src=$(cd "$(dirname "$0")/.." && pwd)
jobs=${FUZZ_JOBS:-2}
work=$build/fuzz-work
artifacts=$build/fuzz-artifacts
logs=$build/fuzz-logs
mkdir -p "$work" "$artifacts" "$logs"

targets=${FUZZ_TARGETS:-}
if [ -z "$targets" ]; then
    for bin in "$build"/bin/fuzz_*; do
        [ -x "$bin" ] || continue
        targets="$targets ${bin##*/fuzz_}"
    done
fi
if [ -z "$targets" ]; then
    echo "run-fuzz: no fuzz_* programs in $build/bin (configure with CC=clang CXX=clang++ -DVQ_FUZZ=ON)" >&2
    exit 1
fi

mask=3
[ -n "${VQ_FUZZ_VERBOSE:-}" ] && mask=0

# One target: fresh working corpus from the seeds (plus what earlier runs
# found), then libFuzzer with its final statistics. The outer time limit
# catches a run that hangs in libFuzzer's own timeout report.
run_one() {
    t=$1
    mkdir -p "$work/$t" "$artifacts/$t"
    [ -d "$src/fuzz/corpus/$t" ] && cp -f "$src/fuzz/corpus/$t"/* "$work/$t"/ 2>/dev/null
    seed=""
    [ -n "${FUZZ_SEED:-}" ] && seed="-seed=$FUZZ_SEED"
    dict=""
    [ -f "$src/fuzz/dict/$t.dict" ] && dict="-dict=$src/fuzz/dict/$t.dict"
    # From the logs folder: what a target's children leave in the working
    # folder (a forked reader's report, say) stays out of the source tree.
    cd "$logs" || return
    ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0} \
    UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$src/tools/lsan.supp:print_suppressions=0} \
    timeout -k 10 $((seconds + 120)) "$build/bin/fuzz_$t" -max_total_time="$seconds" -max_len=1048576 -timeout=5 \
        -rss_limit_mb=2048 -malloc_limit_mb=2048 -print_final_stats=1 -close_fd_mask=$mask \
        -artifact_prefix="$artifacts/$t/" $seed $dict "$work/$t" >"$logs/$t.log" 2>&1
    echo $? >"$logs/$t.rc"
}

running=0
for t in $targets; do
    run_one "$t" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait
        running=0
    fi
done
wait

failed=0
printf '%-16s %12s %14s %8s  %s\n' target "exec/s" executions rc result
for t in $targets; do
    log=$logs/$t.log
    rc=$(cat "$logs/$t.rc" 2>/dev/null || echo 1)
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    result=ok
    if [ "$rc" != 0 ]; then
        failed=1
        result=$(grep -m1 -E '^==[0-9]+==ERROR|^SUMMARY|ALARM: working on the last Unit|out-of-memory|fuzz: check failed|runtime error' "$log" \
            | cut -c1-100)
        [ -n "$result" ] || result="failed (see $log)"
    fi
    printf '%-16s %12s %14s %8s  %s\n' "$t" "${rate:-?}" "${execs:-?}" "$rc" "$result"
done
if [ "$failed" != 0 ]; then
    echo "run-fuzz: failures above; inputs in $artifacts, logs in $logs" >&2
    ls -R "$artifacts" >&2
fi
exit $failed
