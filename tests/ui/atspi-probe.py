#!/usr/bin/python3
"""Looks at a running program through AT-SPI, as a screen reader would.

    atspi-probe.py PID [set NAME TEXT]...

Finds the application of process PID on the accessibility bus, lists every control it has
(role, name, and whether it shows and is enabled), then for each "set" gives the editable text named NAME the contents TEXT through
the EditableText interface, which needs no keyboard focus, and reads the text back. Prints one
JSON object: {"controls": [{"role", "name", "usable"}...], "sets": [{"name", "asked", "now"}...]}.
Exits 2 when the application never appears on the bus, 3 when no single usable field has the
name.
"""
import json
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


def find_application(pid):
    # The program's accessibility bridge registers once its window is up: look for a while.
    for _ in range(300):
        desktop = Atspi.get_desktop(0)
        for index in range(desktop.get_child_count()):
            application = desktop.get_child_at_index(index)
            if application is not None and application.get_process_id() == pid:
                return application
        time.sleep(0.1)
    return None


def walk(node, depth=0):
    if node is None or depth > 64:
        return
    yield node
    for index in range(node.get_child_count()):
        yield from walk(node.get_child_at_index(index), depth + 1)


def usable(node):
    states = node.get_state_set()
    return states.contains(Atspi.StateType.SHOWING) and states.contains(Atspi.StateType.ENABLED)


def editable_named(application, name):
    """The one editable text named NAME that shows and is enabled (hidden areas share names)."""
    found = [node for node in walk(application)
             if node.get_name() == name and node.get_editable_text_iface() is not None
             and usable(node)]
    return found[0] if len(found) == 1 else None


def set_text(application, name, text):
    node = editable_named(application, name)
    if node is None:
        print(f"no single usable editable text named {name!r}", file=sys.stderr)
        sys.exit(3)
    Atspi.EditableText.set_text_contents(node, text)
    return {"name": name, "asked": text, "now": Atspi.Text.get_text(node, 0, -1)}


def main(arguments):
    pid = int(arguments[0])
    application = find_application(pid)
    if application is None:
        print(f"no application of process {pid} on the accessibility bus", file=sys.stderr)
        return 2
    controls = [{"role": node.get_role_name(), "name": node.get_name(), "usable": usable(node)}
                for node in walk(application)]
    sets = []
    rest = arguments[1:]
    while len(rest) >= 3 and rest[0] == "set":
        sets.append(set_text(application, rest[1], rest[2]))
        rest = rest[3:]
    json.dump({"controls": controls, "sets": sets}, sys.stdout, ensure_ascii=False)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
