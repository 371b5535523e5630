#!/usr/bin/env python3
"""Checks the include lines of the client's folders against their layers.

A file may include its own folder and the folders it is allowed to see (the
same graph the top CMakeLists.txt links); no group of files may include each
other in a circle. Prints every offence and exits 1 when there is one.
"""
import os
import re
import sys

# What each folder may include besides itself: the targets' link graph.
ALLOWED = {
    "shell": set(),
    "net": {"shell"},
    "api": {"net", "shell"},
    "update": {"api", "net", "shell"},
    "ui": {"shell"},
    "panels": {"ui", "api", "net", "shell", "update"},
    "app": {"panels", "update", "ui", "api", "net", "shell"},
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def collect(root):
    files = {}
    for folder in ALLOWED:
        base = os.path.join(root, folder)
        if not os.path.isdir(base):
            continue
        for dirpath, _, names in os.walk(base):
            for name in sorted(names):
                if not name.endswith((".h", ".cpp", ".rc", ".rc.in")):
                    continue
                path = os.path.join(dirpath, name)
                rel = os.path.relpath(path, root).replace(os.sep, "/")
                with open(path, encoding="utf-8", errors="replace") as f:
                    files[rel] = INCLUDE.findall(f.read())
    return files


def layer_offences(files):
    out = []
    for rel, includes in sorted(files.items()):
        folder = rel.split("/", 1)[0]
        for inc in includes:
            target = inc.split("/", 1)[0] if "/" in inc else folder
            if target != folder and target in ALLOWED and target not in ALLOWED[folder]:
                out.append(f"{rel}: includes {inc} ({folder} may not see {target})")
    return out


def circles(files):
    # Depth-first search over the project's own includes.
    graph = {rel: [i for i in incs if i in files] for rel, incs in files.items()}
    state, stack, found = {}, [], []

    def visit(node):
        state[node] = 1
        stack.append(node)
        for nxt in graph[node]:
            if state.get(nxt) == 1:
                found.append(stack[stack.index(nxt):] + [nxt])
            elif nxt not in state:
                visit(nxt)
        stack.pop()
        state[node] = 2

    for node in sorted(graph):
        if node not in state:
            visit(node)
    return [" -> ".join(c) for c in found]


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    files = collect(os.path.abspath(root))
    problems = layer_offences(files) + [f"include circle: {c}" for c in circles(files)]
    for p in problems:
        print(p)
    print(f"layers: {len(files)} files checked, {len(problems)} offences")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
