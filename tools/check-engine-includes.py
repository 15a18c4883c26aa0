#!/usr/bin/env python3
"""Checks the engines' include structure from their #include "..." lines.

  tools/check-engine-includes.py [ROOT]

A file of an engine may include only from its own engine, from engine/common
and from below the engines (platform/); engine/common includes nothing of
either engine, so the two engines never depend on each other (the Qt side,
engine/qt, sits above both). A header and the source
file of the same name count as one module, and no two modules may include each
other, directly or round about: a circle ties them so that neither can change
or be tested alone. Exit status 1 with one line per fault, 0 when clean.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
SUFFIXES = ('.h', '.hpp', '.c', '.cpp')
# Which folders a file under each engine folder may include from.
ALLOWED = {
    'engine/common': ('engine/common/',),
    'engine/tunnel': ('engine/common/', 'engine/tunnel/', 'platform/'),
    'engine/console': ('engine/common/', 'engine/console/', 'platform/'),
    # The Qt side sits above both engines.
    'engine/qt': ('engine/', 'platform/'),
}


def engine_files(root):
    for folder in ALLOWED:
        base = os.path.join(root, folder)
        if not os.path.isdir(base):
            continue
        for dirpath, _, names in os.walk(base):
            for name in sorted(names):
                if name.endswith(SUFFIXES):
                    yield os.path.relpath(os.path.join(dirpath, name), root).replace(os.sep, '/')


def includes_of(root, path):
    """The quoted includes of path, each as a path from the root."""
    found = []
    with open(os.path.join(root, path), encoding='utf-8', errors='replace') as f:
        for number, line in enumerate(f, 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            target = m.group(1)
            # The tree includes by path from its root; a bare name is the
            # includer's neighbour.
            if not os.path.exists(os.path.join(root, target)):
                near = os.path.normpath(os.path.join(os.path.dirname(path), target)).replace(os.sep, '/')
                if os.path.exists(os.path.join(root, near)):
                    target = near
            found.append((number, target))
    return found


def module(path):
    return os.path.splitext(path)[0]


def cycles(graph):
    """Strongly connected groups of more than one module (Tarjan, iterative)."""
    index, low, on_stack, stack, groups = {}, {}, set(), [], []
    counter = 0
    for start in sorted(graph):
        if start in index:
            continue
        work = [(start, iter(sorted(graph[start])))]
        index[start] = low[start] = counter
        counter += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, it = work[-1]
            advanced = False
            for nxt in it:
                if nxt not in graph:
                    continue
                if nxt not in index:
                    index[nxt] = low[nxt] = counter
                    counter += 1
                    stack.append(nxt)
                    on_stack.add(nxt)
                    work.append((nxt, iter(sorted(graph[nxt]))))
                    advanced = True
                    break
                if nxt in on_stack:
                    low[node] = min(low[node], index[nxt])
            if advanced:
                continue
            work.pop()
            if work:
                parent = work[-1][0]
                low[parent] = min(low[parent], low[node])
            if low[node] == index[node]:
                group = []
                while True:
                    top = stack.pop()
                    on_stack.discard(top)
                    group.append(top)
                    if top == node:
                        break
                if len(group) > 1:
                    groups.append(sorted(group))
    return groups


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), '..'))
    faults = []
    graph = {}
    for path in engine_files(root):
        folder = next(f for f in ALLOWED if path.startswith(f + '/'))
        edges = graph.setdefault(module(path), set())
        for number, target in includes_of(root, path):
            if not os.path.exists(os.path.join(root, target)):
                continue  # a system or library header
            if not target.startswith(ALLOWED[folder]):
                faults.append(f'{path}:{number}: includes {target}, outside what {folder} may use')
            if target.startswith('engine/') and module(target) != module(path):
                edges.add(module(target))
    for group in cycles(graph):
        faults.append('include circle among ' + ', '.join(group) + ' (each reaches the others)')
    for fault in faults:
        print(fault)
    if faults:
        print(f'check-engine-includes: {len(faults)} fault(s)', file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
