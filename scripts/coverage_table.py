#!/usr/bin/env python3
"""Prints the line and branch coverage of the last test run per source folder.

    coverage_table.py SOURCE_ROOT BUILD_FOLDER

BUILD_FOLDER is a build made with -DZVJ_COVERAGE=ON whose counters hold the unit tests'
run (scripts/jotboard.sh coverage). gcovr reads them; the JSON summary it writes stays in
BUILD_FOLDER/coverage.json.
"""
import json
import os
import subprocess
import sys

# In layer order, bottom up.
FOLDERS = ["store", "platform", "components", "interchange", "frames", "tasks", "memos", "app"]
# Only the end-to-end scripts run the program's entry point and the build's database tool.
LEFT_OUT = ["app/main.cpp", "store/tools/"]


def gcovr_summary(root, build):
    summary = os.path.join(build, "coverage.json")
    command = ["gcovr", "--root", root, "--object-directory", build, "-j", "2",
               "--exclude-throw-branches", "--json-summary", summary]
    for folder in FOLDERS:
        command += ["--filter", folder + "/"]
    for path in LEFT_OUT:
        command += ["--exclude", path.replace(".", r"\.") + ("" if path.endswith("/") else "$")]
    # The end-to-end scripts' counters lie inside the build folder (scripts/jotboard.sh):
    # gcovr would search them too.
    command += ["--exclude-directories", os.path.join(build, "e2e-coverage").replace(".", r"\.") + "$"]
    # Only this build's counters: searched from the root, gcovr would also take those of any
    # other build folder in the tree (a sanitizer build beside a plain one) and add their
    # branches to these, giving figures of neither.
    command += [build]
    # gcovr 5.2 can hang once a worker has failed to parse a file: a bound turns that into a
    # failure CI reports instead of a run that never ends.
    subprocess.run(command, cwd=root, check=True, stdout=subprocess.DEVNULL, timeout=20 * 60)
    with open(summary, encoding="utf-8") as f:
        return json.load(f)["files"]


def percent(covered, total):
    return f"{100.0 * covered / total:5.1f} %" if total else "    - "


def main():
    root, build = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    sums = {folder: [0, 0, 0, 0] for folder in FOLDERS}  # lines covered, total; branches
    for entry in gcovr_summary(root, build):
        s = sums.get(entry["filename"].split("/", 1)[0])
        if s is None:
            continue
        s[0] += entry["line_covered"]
        s[1] += entry["line_total"]
        s[2] += entry["branch_covered"]
        s[3] += entry["branch_total"]
    total = [sum(s[i] for s in sums.values()) for i in range(4)]

    print("Coverage of the unit tests per source folder. Left out: the end-to-end scripts, and")
    print(f"with them {' and '.join(LEFT_OUT)}, which only they run; the branches the compiler")
    print("adds for exceptions (gcovr --exclude-throw-branches).")
    print()
    print(f"  {'folder':<14}{'lines':>21}{'branches':>23}")
    for name, s in [(f + "/", sums[f]) for f in FOLDERS] + [("total", total)]:
        print(f"  {name:<14}{s[0]:>7} /{s[1]:>6}  {percent(s[0], s[1])}"
              f"{s[2]:>8} /{s[3]:>6}  {percent(s[2], s[3])}")


if __name__ == "__main__":
    main()
