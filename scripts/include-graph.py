#!/usr/bin/env python3
"""Draws who includes whom, folder by folder, as a Graphviz graph.

It reads the tree as scripts/check_floors.py does (the same folders, the same
include lines, the same floors) and prints a dot graph: one node per folder
and floor ("viewer" for its Qt-free files, "viewer (windows)" for its window
files), an edge from each node to every node it includes, labelled with
the number of include lines. Edges that go up a floor, and edges of a
cycle between folders, are drawn red. Tests, benchmarks and fuzz targets
are left out unless --tests is given.

  include-graph.py [--tests] [SOURCE_ROOT] > graph.dot
  dot -Tpng graph.dot -o graph.png
"""
import argparse
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import check_floors  # noqa: E402  (beside this script)

SHAPES = {1: "box", 2: "hexagon", 3: "ellipse", 4: "doubleoctagon"}  # by floor
SIDE_FOLDERS = {"bench", "tests", "fuzz"}


def node_of(path, floors):
    folder = path.split("/", 1)[0]
    level = floors[path]
    if level in (2, 3):
        return f"{folder} (windows)" if folder != "ui" else "ui (kit)", level
    return folder, level


def is_side_file(path):
    """Tests, their helpers (TestFolder.h, StoreTestSupport.h …) and benchmarks."""
    name = path.rsplit("/", 1)[-1]
    return path.split("/", 1)[0] in SIDE_FOLDERS or name.endswith("_test.cpp") or "Test" in name


def edges_of(files, floors, with_tests):
    nodes, edges = {}, {}
    for path, text in files.items():
        if not with_tests and is_side_file(path):
            continue
        source, level = node_of(path, floors)
        nodes[source] = level
        for included in check_floors.INCLUDE.findall(text):
            if included not in files or (not with_tests and is_side_file(included)):
                continue
            target, target_level = node_of(included, floors)
            nodes[target] = target_level
            if target != source:
                edges[(source, target)] = edges.get((source, target), 0) + 1
    return nodes, edges


def in_cycle(edges):
    """The edges that lie on a cycle: their target reaches their source."""
    following = {}
    for source, target in edges:
        following.setdefault(source, set()).add(target)

    def reaches(start, goal):
        seen, stack = {start}, [start]
        while stack:
            for nxt in following.get(stack.pop(), ()):
                if nxt == goal:
                    return True
                if nxt not in seen:
                    seen.add(nxt)
                    stack.append(nxt)
        return False

    return {edge for edge in edges if reaches(edge[1], edge[0])}


def dot(nodes, edges):
    cyclic = in_cycle(edges)
    # Includers above what they include: app/ on top, text/ at the bottom.
    lines = ["digraph includes {", "  rankdir=TB; ranksep=0.9;", '  node [fontname="sans-serif"];',
             '  edge [fontname="sans-serif", fontsize=9, color="#666666"];']
    for name, level in sorted(nodes.items()):
        lines.append(f'  "{name}" [shape={SHAPES[level]}];  // {check_floors.NAMES[level]}')
    for (source, target), count in sorted(edges.items()):
        wrong = nodes[target] > nodes[source] and not source.startswith("app")
        colour = ' color="red" fontcolor="red"' if wrong or (source, target) in cyclic else ""
        lines.append(f'  "{source}" -> "{target}" [label="{count}"{colour}];')
    lines.append("}")
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tests", action="store_true", help="count tests and benchmarks too")
    parser.add_argument("root", nargs="?", default=".")
    args = parser.parse_args()
    root = pathlib.Path(args.root).resolve()
    files = check_floors.read_files(root)
    floors = {path: check_floors.floor(path, text) for path, text in files.items()}
    for path in floors:  # a source file stands on the floor of its own header
        header = path[:-4] + ".h"
        if path.endswith(".cpp") and header in floors:
            floors[path] = max(floors[path], floors[header])
    nodes, edges = edges_of(files, floors, args.tests)
    sys.stdout.write(dot(nodes, edges))
    return 0


if __name__ == "__main__":
    sys.exit(main())
