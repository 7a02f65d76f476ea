#!/usr/bin/env bash
# Crash trials: the real program in a real window, a random stream of operations, SIGKILL at
# a random moment (also in the middle of an import or a restore), then the file's integrity,
# every acknowledged change, a whole prefix of the interrupted operation, and a restart.
# The driver is crash_trials.py beside this file; scripts/crash-trials.sh runs 100 trials.
# Usage: crash_trials.sh <staged jotboard executable>
# CRASH_TRIALS (default 5) trials; CRASH_SEED replays a run (each trial prints its own seed);
# CRASH_KEEP=1 keeps the folders of passing trials too.
. "$(dirname "$0")/lib.bash"
e2e_require trayer
e2e_setup crash
# Our own copy of the staged program: the build folder may be rebuilt while the trials run.
cp -r "$(dirname "$E2E_EXE")" "$E2E_TMP/stage" || { echo "FAIL: cannot copy the staged program"; exit 1; }
E2E_EXE="$E2E_TMP/stage/$(basename "$E2E_EXE")"
# Every trial starts from a copy of this folder and its fresh database.
TEMPLATE=$(e2e_make_home template) || exit 1
e2e_start_x 85 tray

args=(--exe "$E2E_EXE" --template "$TEMPLATE" --work "$E2E_TMP" --trials "${CRASH_TRIALS:-5}")
[ -n "${CRASH_SEED:-}" ] && args+=(--seed "$CRASH_SEED")
[ -n "${CRASH_KEEP:-}" ] && args+=(--keep)
python3 "$(dirname "$0")/crash_trials.py" "${args[@]}"
