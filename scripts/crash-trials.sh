#!/usr/bin/env bash
# Crash trials by hand: the real program in a private X server, a random stream of
# operations, SIGKILL at a random moment, then the checks of tests/e2e/crash_trials.py.
# Usage: scripts/crash-trials.sh [TRIALS] [--seed SEED] [--exe STAGED_EXECUTABLE] [--keep]
#   TRIALS defaults to 100; the executable to build/jotboard/jotboard (a copy is used, so a
#   rebuild may run meanwhile); --seed replays a run (each trial prints its own seed: replay
#   one with --seed THAT 1); --keep keeps the folders of passing trials too.
# The last line reads like "100 trials, 0 changes lost, integrity ok"; the exit status is 0
# only when every trial passed.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
trials=100
seed=
keep=
exe=$root/build/jotboard/jotboard
while [ $# -gt 0 ]; do
    case $1 in
        --seed) seed=$2; shift 2 ;;
        --exe) exe=$2; shift 2 ;;
        --keep) keep=1; shift ;;
        -h|--help) sed -n '2,9p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
        [0-9]*) trials=$1; shift ;;
        *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
done

export ZVJ_MKDB=${ZVJ_MKDB:-$root/build/store/zvmkdb}
export ZVJ_SCHEMA=${ZVJ_SCHEMA:-$root/resources/schema.sql}
export CRASH_TRIALS=$trials
[ -n "$seed" ] && export CRASH_SEED=$seed
[ -n "$keep" ] && export CRASH_KEEP=1

summary='^[0-9]+ trials, [0-9]+ changes lost, integrity '
log=$(mktemp /tmp/jotboard-crash-trials.XXXXXX)
bash "$root/tests/e2e/crash_trials.sh" "$exe" 2>&1 | tee "$log" | grep --line-buffered -Ev "$summary"
rc=${PIPESTATUS[0]}
# The summary comes last, after the work folder's name.
grep -E "$summary" "$log" | tail -1
rm -f "$log"
[ "$rc" -eq 77 ] && echo "skipped (see above)"
exit "$rc"
