#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Waits until the front end's status line reads a given text, reading it the way a screen
reader does (AT-SPI): the line's text and its description. Prints every status it sees.

usage: status_line.py EXPECTED [SECONDS]     exit 0 when seen, 1 when not within SECONDS
Needs a session D-Bus, and the program started with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1.
"""
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

APP = "K-VEX-ZEP4-Duvez"


def find(node, role, name):
    if node is None:
        return None
    if node.get_role_name() == role and node.get_name() == name:
        return node
    for i in range(node.get_child_count()):
        hit = find(node.get_child_at_index(i), role, name)
        if hit is not None:
            return hit
    return None


def status_line():
    desktop = Atspi.get_desktop(0)
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_name() == APP:
            return find(app, "text", "Status")
    return None


def main():
    expected = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 30.0
    end = time.monotonic() + seconds
    last = None
    while time.monotonic() < end:
        try:
            line = status_line()
            if line is not None:
                text = Atspi.Text.get_text(line, 0, Atspi.Text.get_character_count(line))
                seen = (text, line.get_description())
                if seen != last:
                    print("status line: text %r, description %r" % seen, flush=True)
                    last = seen
                if seen == (expected, expected):
                    return 0
        except GLib.Error:
            pass  # the program is still starting up or going away
        time.sleep(0.2)
    print("status line never read %r within %.0f s" % (expected, seconds), flush=True)
    return 1


if __name__ == "__main__":
    sys.exit(main())
