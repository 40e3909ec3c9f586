#!/usr/bin/env python3
"""Fails when the toolkit's modules include one another in a circle of three or more.

A module is a header with its source (window.h and window.cpp); module A depends on B when
one of A's files includes B's header. Modules that reach each other through three or more
modules (a strongly connected set of three or more) make a circle that no file order can
break, so each has to be understood with all the others.
Usage: include_circles.py TOOLKIT_FOLDER
"""
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"toolkit/([A-Za-z0-9_]+)\.h"', re.M)


def modules(folder):
    deps = {}
    for path in sorted(folder.glob("*.[ch]*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        deps.setdefault(path.stem, set()).update(
            m for m in INCLUDE.findall(path.read_text(encoding="utf-8")) if m != path.stem)
    return deps


def strongly_connected(deps):
    """Tarjan's algorithm; yields each strongly connected set of modules."""
    index, low, stack, on_stack, found = {}, {}, [], set(), []

    def visit(v):
        index[v] = low[v] = len(index)
        stack.append(v)
        on_stack.add(v)
        for w in deps.get(v, ()):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on_stack:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            group = []
            while True:
                w = stack.pop()
                on_stack.discard(w)
                group.append(w)
                if w == v:
                    break
            found.append(sorted(group))

    for v in sorted(deps):
        if v not in index:
            visit(v)
    return found


def main():
    deps = modules(pathlib.Path(sys.argv[1]))
    circles = [g for g in strongly_connected(deps) if len(g) >= 3]
    for group in circles:
        print("include circle: " + ", ".join(group))
    print(f"{len(deps)} toolkit modules, {len(circles)} circles of three or more")
    return 1 if circles else 0


if __name__ == "__main__":
    sys.exit(main())
