#!/usr/bin/env python3
"""src/ stands in floors: a folder's C++ sources include only their own folder and the floors
below it, and no files include each other round in a circle. Run with the source tree's root;
it first checks that it catches an upward include and a circle in small made-up trees."""

import os
import re
import sys
import tempfile

# Bottom first. resources holds only the ids shared by windres and the code; its .rc files
# are the resource compiler's input, linked into the module alone, and are not read here.
FLOORS = ["resources", "host", "timecode", "settings", "dv", "text", "render", "ui", "module"]

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def sources(src):
    for folder, _, names in os.walk(src):
        for name in names:
            if name.endswith((".h", ".cpp")):
                path = os.path.join(folder, name)
                yield os.path.relpath(path, src).replace(os.sep, "/")


def includes(src, path):
    """What `path` includes from src/, as paths under src/ (a bare name is its own folder's)."""
    with open(os.path.join(src, path), encoding="utf-8", errors="replace") as f:
        text = f.read()
    for name in INCLUDE.findall(text):
        target = name if "/" in name else os.path.dirname(path) + "/" + name
        if os.path.exists(os.path.join(src, target)):
            yield target


def faults(src):
    """Every upward include, include of a folder with no floor, and include circle, as text."""
    found = []
    graph = {}
    for path in sorted(sources(src)):
        graph[path] = sorted(set(includes(src, path)))
        floor = path.split("/")[0]
        if floor not in FLOORS:
            found.append(f"{path}: folder {floor} has no floor")
            continue
        for target in graph[path]:
            other = target.split("/")[0]
            if other in FLOORS and FLOORS.index(other) > FLOORS.index(floor):
                found.append(f"{path}: includes {target}, a floor above ({other} over {floor})")
    # A circle is an include that leads back to a file still being walked.
    state = {}

    def walk(path, trail):
        state[path] = "open"
        for target in graph.get(path, []):
            if state.get(target) == "open":
                loop = trail[trail.index(target):] + [target]
                found.append("circle: " + " -> ".join(loop))
            elif target not in state:
                walk(target, trail + [target])
        state[path] = "done"

    for path in sorted(graph):
        if path not in state:
            walk(path, [path])
    return found


def made_up_tree(files):
    root = tempfile.mkdtemp(prefix="floors-")
    for path, text in files.items():
        os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
        with open(os.path.join(root, path), "w") as f:
            f.write(text)
    return root


# The check itself must catch what it is there for.
SELF_CASES = [
    # (what, files, a fault's text must contain this, or None for no fault)
    ("a downward include", {"text/A.h": '#include "dv/B.h"\n', "dv/B.h": ""}, None),
    ("an upward include", {"dv/B.h": '#include "text/A.h"\n', "text/A.h": ""}, "a floor above"),
    ("a circle in one folder", {"ui/A.h": '#include "B.h"\n', "ui/B.h": '#include "ui/A.h"\n'}, "circle"),
    ("a folder without a floor", {"extra/A.h": ""}, "has no floor"),
]


def main():
    if len(sys.argv) != 2:
        print("usage: floors_test.py SOURCE_ROOT", file=sys.stderr)
        return 2
    failed = False
    for what, files, expected in SELF_CASES:
        got = faults(made_up_tree(files))
        if expected is None and got or expected is not None and not any(expected in g for g in got):
            print(f"self-check, {what}: expected {expected or 'no fault'}, got {got}")
            failed = True
    for fault in faults(os.path.join(sys.argv[1], "src")):
        print(fault)
        failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
