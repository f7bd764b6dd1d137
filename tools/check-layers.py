#!/usr/bin/env python3
"""Checks that every source folder includes only itself and the folders it may use.

    tools/check-layers.py [--graph] [ROOT]

The folders of the program and what each may include (ARCHITECTURE.md says what each holds)
form a graph without cycles, written out in USES below: platform/ and protocol/ use nothing,
link/ only diag/, protocol/ and platform/, app/ sits on top. The simulated scale (scale_sim/)
is a program of its own and uses none of them.

A file may include a header of its own folder or of a folder its folder may use. Every
`#include "..."` that reaches another folder is printed as `file:line: ...` and the check
fails (exit status 1), as it does for a quoted include of tools/ or tests/ from a folder of the
graph, and for a top-level folder with C++ sources that is not in the graph. tools/ and tests/
may include anything. There are no exemptions: the operating system's entry points
(platform/*/entry/) call the program's main function declared in platform/.

--graph prints the folder-to-folder include graph (with the number of includes per arrow) and
marks the arrows the graph does not allow; the exit status is the same.
"""
import os
import re
import sys

# Each folder and the folders it may include (directly).
USES = {
    "platform": [],
    "protocol": [],
    "diag": ["platform"],
    "dictionary": ["diag", "protocol", "platform"],
    "tables": ["dictionary", "diag", "platform"],
    "catalog": ["tables", "dictionary", "diag", "platform"],
    "link": ["diag", "protocol", "platform"],
    "job": ["catalog", "link", "tables", "dictionary", "diag", "protocol", "platform"],
    "app": ["job", "link", "dictionary", "diag", "platform"],
    "scale_sim": [],
}
# Top-level folders outside the graph: they may include anything, nothing in the graph may
# include them.
FREE = {"tools", "tests"}
SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cc", ".cpp", ".inc")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def lowest_first(uses):
    """The folders in an order in which each comes after every folder it uses; raises
    ValueError when the graph has a cycle."""
    order, done, visiting = [], set(), set()

    def visit(folder):
        if folder in done:
            return
        if folder in visiting:
            raise ValueError("the folder graph has a cycle through %s/" % folder)
        visiting.add(folder)
        for used in uses[folder]:
            visit(used)
        visiting.discard(folder)
        done.add(folder)
        order.append(folder)

    for folder in uses:
        visit(folder)
    return order


FOLDERS = lowest_first(USES)


def source_files(root, folder):
    for base, dirs, files in os.walk(os.path.join(root, folder)):
        dirs.sort()
        for name in sorted(files):
            if name.endswith(SOURCE_SUFFIXES):
                full = os.path.join(base, name)
                yield os.path.relpath(full, root).replace(os.sep, "/")


def target_folder(root, including, included):
    """The top-level folder of the file that `#include "included"` in `including` names: the
    including file's own folder is searched first, then the root (the build's include path)."""
    beside = os.path.normpath(os.path.join(os.path.dirname(including), included))
    if os.path.exists(os.path.join(root, beside)):
        resolved = beside
    else:
        resolved = os.path.normpath(included)
    return resolved.replace(os.sep, "/").split("/")[0]


def unlisted_folders(root):
    """Top-level folders holding C++ sources that are neither in the graph nor free."""
    found = []
    for name in sorted(os.listdir(root)):
        if name.startswith((".", "build")) or name in FREE or name in USES:
            continue
        if os.path.isdir(os.path.join(root, name)) and next(source_files(root, name), None):
            found.append(name)
    return found


def includes(root):
    """Every quoted include from a folder of the graph into another top-level folder, as
    tuples (path, line number, folder, included text, target folder)."""
    found = []
    for folder in FOLDERS:
        for path in source_files(root, folder):
            with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    match = INCLUDE.match(line)
                    if match:
                        target = target_folder(root, path, match.group(1))
                        if target != folder:
                            found.append((path, number, folder, match.group(1), target))
    return found


def forbidden(folder, target):
    """The include from `folder` into `target` is not an arrow of the graph."""
    return target in FREE or (target in USES and target not in USES[folder])


def check(root):
    """(problems, arrows): the problems to print, one line each, and the forbidden arrows
    ("from -> to") among them; both empty when the tree keeps to the graph."""
    problems = ["%s/: C++ sources in a folder that is not in the folder graph" % name
                for name in unlisted_folders(root)]
    arrows = []
    for path, number, folder, text, target in includes(root):
        if forbidden(folder, target):
            why = "which no folder of the program may use" if target in FREE else (
                "but %s/ may use only %s" % (folder, ", ".join(
                    "%s/" % used for used in USES[folder]) or "itself"))
            problems.append('%s:%d: %s/ includes "%s" from %s/, %s'
                            % (path, number, folder, text, target, why))
            if "%s -> %s" % (folder, target) not in arrows:
                arrows.append("%s -> %s" % (folder, target))
    return problems, arrows


def graph(root):
    """Lines "from -> to  count", lowest folder first, arrows the graph forbids marked."""
    edges = {}
    for _, _, folder, _, target in includes(root):
        edges[(folder, target)] = edges.get((folder, target), 0) + 1
    lines = []
    for (folder, target), count in sorted(
            edges.items(), key=lambda e: (FOLDERS.index(e[0][0]), e[0][1])):
        mark = "  NOT ALLOWED" if forbidden(folder, target) else ""
        lines.append("%-10s -> %-10s %3d%s" % (folder, target, count, mark))
    return lines


def main(argv):
    args = [a for a in argv if a != "--graph"]
    root = os.path.abspath(args[0] if args else os.path.join(os.path.dirname(__file__), ".."))
    if "--graph" in argv:
        print("\n".join(graph(root)))
    problems, arrows = check(root)
    for line in problems:
        print(line)
    if problems:
        print("layer check failed: %d problem(s), arrows not in the graph: %s"
              % (len(problems), ", ".join(arrows) or "none"))
        return 1
    print("layer check passed: every include follows the folder graph (%s, lowest first)"
          % " ".join(FOLDERS))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
