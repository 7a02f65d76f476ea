#!/usr/bin/env python3
"""The layout is the architecture: each folder is a layer, and a file may include only the
headers of its own layer and of the layers below it, always by the layer's name
("store/ZvDb.h"). Prints every include that breaks the rule; exits 1 when there is one.

Usage: check_layers.py <project root>
"""
import os
import re
import sys

# Bottom up. Layers on one rank (tasks, memos) do not see each other.
ORDER = [["store"], ["platform"], ["components"], ["interchange"], ["frames"], ["tasks", "memos"], ["sync"],
         ["app"]]
RANK = {layer: rank for rank, layers in enumerate(ORDER) for layer in layers}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def main(root):
    own = {name: layer for layer in RANK if os.path.isdir(os.path.join(root, layer))
           for name in os.listdir(os.path.join(root, layer)) if name.endswith(".h")}
    problems = []
    for layer in RANK:
        folder = os.path.join(root, layer)
        for dirpath, _, files in os.walk(folder):
            for f in sorted(files):
                if not f.endswith((".cpp", ".h")):
                    continue
                path = os.path.join(dirpath, f)
                text = open(path, encoding="utf-8").read()
                for header in INCLUDE.findall(text):
                    where = os.path.relpath(path, root)
                    if "/" not in header:
                        if header in own:
                            problems.append("%s: \"%s\" does not name its layer (\"%s/%s\")" % (
                                where, header, own[header], header))
                        continue
                    used = header.split("/", 1)[0]
                    if used not in RANK:
                        continue
                    if used != layer and RANK[used] >= RANK[layer]:
                        problems.append("%s: includes %s, which is not below %s/" % (where, header, layer))
    for p in problems:
        print(p)
    print("%d include(s) against the layer order" % len(problems))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
