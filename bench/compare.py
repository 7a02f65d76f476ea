#!/usr/bin/env python3
"""Runs two builds of zvbench one after the other on this machine and prints the list
figures side by side, at the usual size and at a large one.

    bench/compare.py BEFORE/zvbench AFTER/zvbench [--sizes 10000x4,50000x4]

Each line of the table is the slowest run of that measure (see bench/ZvBenchFrame.h).
"""
import argparse
import re
import subprocess
import sys

FIGURE = re.compile(r"^(tasks|memos) (\d+): (.+?)\s+([\d.]+) ms \(target ([\d.]+)\)")
START = re.compile(r"start: ([\d.]+) ms from main.*peak resident ([\d.]+) MB; (\d+) ms from exec")


def run(exe, args):
    out = subprocess.run([exe] + args, capture_output=True, text=True, timeout=3000).stdout
    sys.stderr.write(out)
    return out


def figures(exe, top, sub):
    found = {}
    for area in ("tasks", "memos"):
        for line in run(exe, [area, str(top), str(sub)]).splitlines():
            m = FIGURE.match(line)
            if m:
                found[(m.group(1), m.group(3))] = (float(m.group(4)), float(m.group(5)))
    starts = [START.search(line) for line in run(exe, ["start", str(top), str(sub)]).splitlines()]
    starts = [m for m in starts if m]
    if starts:
        found[("program", "start, both trees painted")] = (min(int(m.group(3)) for m in starts), 0)
        found[("program", "peak resident MB")] = (max(float(m.group(2)) for m in starts), 0)
    return found


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("before")
    parser.add_argument("after")
    parser.add_argument("--sizes", default="10000x4,50000x4")
    args = parser.parse_args()
    for size in args.sizes.split(","):
        top, sub = (int(x) for x in size.split("x"))
        before = figures(args.before, top, sub)
        after = figures(args.after, top, sub)
        print(f"\n{top} top-level items with {sub} sub-items each ({top * (sub + 1)} per tree)")
        print(f"| {'measure':<46} | {'target':>7} | {'before':>9} | {'after':>9} |")
        print(f"| {'-' * 46} | {'-' * 7}:| {'-' * 9}:| {'-' * 9}:|")
        for key in sorted(set(before) | set(after), key=lambda k: (k[0], list(after).index(k) if k in after else 0)):
            b = before.get(key, (float("nan"), 0))
            a = after.get(key, (float("nan"), 0))
            target = a[1] or b[1]
            name = f"{key[0]}: {key[1]}"
            print(f"| {name:<46} | {target or '':>7} | {b[0]:>9.1f} | {a[0]:>9.1f} |")


if __name__ == "__main__":
    main()
