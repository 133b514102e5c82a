#!/usr/bin/env python3
"""Checks the layer rule of src/: every #include "folder/..." of a source file points to its own
folder or to a folder on a lower line of the layer list. Prints each include that breaks the rule
(file:line) and each folder missing from the list; exit 1 when there is any.
Usage: check_layers.py SRC_DIR LAYERS_FILE
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.M)
SOURCES = (".h", ".hpp", ".cpp", ".cc")


def read_layers(path):
    ranks = {}
    with open(path, encoding="utf-8") as listing:
        lines = [line.split("#")[0].split() for line in listing]
    for rank, folders in enumerate(line for line in lines if line):
        for folder in folders:
            ranks[folder] = rank
    return ranks


def breaches(src, ranks):
    found = []
    for folder in sorted(os.listdir(src)):
        if not os.path.isdir(os.path.join(src, folder)):
            continue
        if folder not in ranks:
            found.append("%s: folder not in the layer list" % os.path.join(src, folder))
            continue
        for root, _, files in os.walk(os.path.join(src, folder)):
            for name in sorted(files):
                if name.endswith(SOURCES):
                    found += file_breaches(os.path.join(root, name), folder, ranks)
    return found


def file_breaches(path, folder, ranks):
    text = open(path, encoding="utf-8", errors="replace").read()
    found = []
    for match in INCLUDE.finditer(text):
        target = match.group(1)
        if target == folder or target not in ranks or ranks[target] < ranks[folder]:
            continue
        line = text.count("\n", 0, match.start()) + 1
        found.append("%s:%d: %s includes %s, which is not below it" % (path, line, folder, target))
    return found


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    found = breaches(sys.argv[1], read_layers(sys.argv[2]))
    for breach in found:
        print(breach)
    if found:
        sys.exit(1)
    print("Every include points to its own layer or a lower one.")


if __name__ == "__main__":
    main()
