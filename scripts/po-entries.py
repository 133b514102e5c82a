#!/usr/bin/env python3
"""Writes the entries of a dictionary {Russian: English} in .po syntax, sorted by message id;
a translator's aid for adding many entries to po/en.po at once: po-entries.py FILE.py"""
import runpy
import sys


def quoted(text):
    escaped = text.replace("\\", "\\\\").replace('"', '\\"').replace("\t", "\\t")
    lines = escaped.split("\n")
    parts = [line + "\\n" for line in lines[:-1]] + ([lines[-1]] if lines[-1] else [])
    if len(parts) == 1:
        return '"' + parts[0] + '"'
    return '""\n' + "\n".join('"' + part + '"' for part in parts)


def main():
    table = runpy.run_path(sys.argv[1])["T"]
    for russian in sorted(table):
        print("msgid " + quoted(russian))
        print("msgstr " + quoted(table[russian]))
        print()


if __name__ == "__main__":
    main()
