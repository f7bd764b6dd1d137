#!/usr/bin/env python3
"""Checks that every source folder includes only itself and the folders below it.

    tools/check-layers.py [--graph] [ROOT]

The folders of the program form layers, lowest first (ARCHITECTURE.md says what each holds):

    platform < protocol < diag < dictionary < tables < catalog < link < job < app

A file may include a header of its own folder or of a lower one. Every `#include "..."` that
reaches a higher folder is printed as `file:line: ...` and the check fails (exit status 1),
as it does for a quoted include of tools/ or tests/ from a layer, and for a top-level folder
with C++ sources that is not in the order above. tools/ and tests/ may include anything. The
entry points platform/*/entry/ are exempt: they are the operating system's door into app/.

--graph prints the folder-to-folder include graph (with the number of includes per arrow) and
marks the arrows that run up; the exit status is the same.
"""
import os
import re
import sys

LAYERS = ["platform", "protocol", "diag", "dictionary", "tables", "catalog", "link", "job", "app"]
# Top-level folders outside the layers: they may include anything, nothing in a layer may
# include them.
FREE = {"tools", "tests"}
SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cc", ".cpp", ".inc")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def is_entry_point(path):
    """platform/<os>/entry/... (path relative to the root, '/'-separated)."""
    parts = path.split("/")
    return len(parts) >= 4 and parts[0] == "platform" and parts[2] == "entry"


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
    """Top-level folders holding C++ sources that are neither layers nor free."""
    found = []
    for name in sorted(os.listdir(root)):
        if name.startswith((".", "build")) or name in FREE or name in LAYERS:
            continue
        if os.path.isdir(os.path.join(root, name)) and next(source_files(root, name), None):
            found.append(name)
    return found


def includes(root):
    """Every quoted include from a layer into another top-level folder, as tuples
    (path, line number, folder, included text, target folder)."""
    found = []
    for folder in LAYERS:
        for path in source_files(root, folder):
            with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    match = INCLUDE.match(line)
                    if match:
                        target = target_folder(root, path, match.group(1))
                        if target != folder:
                            found.append((path, number, folder, match.group(1), target))
    return found


def runs_up(folder, target):
    return target in FREE or (target in LAYERS and LAYERS.index(target) > LAYERS.index(folder))


def check(root):
    """(problems, arrows): the problems to print, one line each, and the upward arrows
    ("from -> to") among them; both empty when the tree keeps the layers."""
    problems = ["%s/: C++ sources in a folder that is not in the layer order %s"
                % (name, " < ".join(LAYERS)) for name in unlisted_folders(root)]
    arrows = []
    for path, number, folder, text, target in includes(root):
        if runs_up(folder, target) and not is_entry_point(path):
            why = "which no layer may use" if target in FREE else "which lies above it"
            problems.append('%s:%d: %s/ includes "%s" from %s/, %s'
                            % (path, number, folder, text, target, why))
            if "%s -> %s" % (folder, target) not in arrows:
                arrows.append("%s -> %s" % (folder, target))
    return problems, arrows


def graph(root):
    """Lines "from -> to  count", lowest folder first, arrows that run up marked."""
    edges = {}
    for path, _, folder, _, target in includes(root):
        count, entry_only = edges.get((folder, target), (0, True))
        edges[(folder, target)] = (count + 1, entry_only and is_entry_point(path))
    lines = []
    for (folder, target), (count, entry_only) in sorted(
            edges.items(), key=lambda e: (LAYERS.index(e[0][0]), e[0][1])):
        mark = ""
        if runs_up(folder, target):
            mark = "  UP (entry points, exempt)" if entry_only else "  UP"
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
    order = " < ".join(LAYERS)
    if problems:
        print("layer check failed: %d problem(s), upward arrows: %s; the order is %s"
              % (len(problems), ", ".join(arrows) or "none", order))
        return 1
    print("layer check passed: %s (entry points platform/*/entry/ exempt)" % order)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
