#!/usr/bin/env bash
# Runs each fuzz target for the given number of seconds on the corpus kept in the
# repository. New inputs go to a work corpus in the build folder, never into the kept one;
# a crash, a leak, a timeout or an out-of-memory stops the run and fails the script, with
# the input saved as <build folder>/artifacts/<target>-crash-... (or leak-, timeout-, oom-).
# Usage: run.sh <folder with the built targets> <seconds> [target...]
# ZVJ_FUZZ_ARGS adds libFuzzer options (e.g. "-runs=10000000" to stop after that many).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
bin=${1:?folder of the fuzz targets}
seconds=${2:-60}
shift 2 || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_exchange_file fuzz_exchange_xml fuzz_sqltext fuzz_icalendar fuzz_multistatus)

# What a target reads with: a finding of either sanitizer is a crash for libFuzzer.
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"
# Only leaks proven to be a library's, each with its proof.
export LSAN_OPTIONS="suppressions=$here/../sanitizers/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export QT_QPA_PLATFORM=offscreen
# Durability checks on in every build: an open transaction at a message box aborts.
export ZVJ_CHECKS=1

status=0
for t in "${targets[@]}"; do
    dict=(-dict="$here/exchange.dict")
    case "$t" in
    fuzz_exchange_file) seeds=("$here/corpus/file") max_len=8192 ;;
    fuzz_exchange_xml) seeds=("$here/corpus/xml") max_len=16384 ;;
    fuzz_sqltext) seeds=("$here/corpus/sqltext") max_len=1024 dict=() ;;
    # The calendars the program writes and those hand-written in other programs' shapes.
    fuzz_icalendar) seeds=("$here/corpus/ics" "$here/../data/icalendar") max_len=16384 dict=(-dict="$here/icalendar.dict") ;;
    # The answers of real servers (Radicale, Xandikos) and of a multiget.
    fuzz_multistatus) seeds=("$here/corpus/multistatus") max_len=16384 dict=(-dict="$here/multistatus.dict") ;;
    *) echo "unknown fuzz target $t" >&2; exit 2 ;;
    esac
    work=$bin/corpus/$t
    mkdir -p "$work" "$bin/artifacts"
    echo "== $t: ${seconds}s on $(find "${seeds[@]}" -type f | wc -l) kept inputs (+$(find "$work" -type f | wc -l) found earlier)"
    # -timeout: one input taking 10 s is a hang; -rss_limit_mb/-malloc_limit_mb: a file
    # that makes the reader allocate gigabytes is a finding too.
    if ! "$bin/$t" -max_total_time="$seconds" "${dict[@]}" -max_len=$max_len \
        -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024 -print_final_stats=1 \
        -artifact_prefix="$bin/artifacts/$t-" ${ZVJ_FUZZ_ARGS:-} "$work" "${seeds[@]}"; then
        echo "FAIL: $t found a problem (input saved under $bin/artifacts/)" >&2
        status=1
    fi
done
exit $status
