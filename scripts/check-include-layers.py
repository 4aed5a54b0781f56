#!/usr/bin/env python3
"""Fails when a library under src/ includes a header of a library above it.

Usage: check-include-layers.py SRC_DIR LIBRARY...
The libraries are given lowest first. A library is a folder of SRC_DIR with its
own CMakeLists.txt, named by its path ("editor", "editor/ui"); a file belongs
to the deepest library folder that holds it.
"""
import pathlib
import re
import sys

src = pathlib.Path(sys.argv[1])
rank = {name: i for i, name in enumerate(sys.argv[2:])}


def library(path):
    parts = pathlib.PurePosixPath(path).parts[:-1]
    for n in range(len(parts), 0, -1):
        if "/".join(parts[:n]) in rank:
            return "/".join(parts[:n])
    return None


faults = []
folders = {p.parent.relative_to(src).as_posix() for p in src.rglob("CMakeLists.txt")}
faults += [f"{name}: a library missing from the order" for name in sorted(folders - rank.keys())]
for file in sorted(src.rglob("*")):
    if file.suffix not in (".h", ".cpp", ".inc"):
        continue
    name = file.relative_to(src).as_posix()
    here = library(name)
    for number, line in enumerate(file.read_text(encoding="utf-8").splitlines(), 1):
        m = re.match(r'\s*#\s*include\s+"([^"]+)"', line)
        there = library(m[1]) if m and (src / m[1]).is_file() else None
        if here and there and rank[there] > rank[here]:
            faults.append(f"{name}:{number}: {here} includes {m[1]} from {there}, above it")
print("\n".join(faults) or f"{len(rank)} libraries, every include points down the order")
sys.exit(1 if faults else 0)
