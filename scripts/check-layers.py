#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Refuses an include from a lower floor of the front end to a higher one.

Each folder is a floor; a file may include headers of its own folder and of the floors below,
never of a floor above or of another folder on its own floor (so no two folders include each
other). The run-time includes nothing of the product, and its Qt Core part nothing of its
panel part. Prints every offending include; exit status 1 when there is one.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent

# Floor of each folder, from the bottom. Folders on one floor may not include each other.
FLOORS = {
    "runtime": 0,
    "panel": 1,
    "link": 2,
    "params": 3,
    "live": 4,
    "branding": 4,
    "recorder": 5,
    "app": 6,
    "ctl": 6,
}
# The run-time's files that need no more of Qt than Core and SerialPort.
RUNTIME_CORE = {"event_loop", "files", "os_line", "os_line_portable", "serial", "timing"}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def folder_of(path):
    rel = path.relative_to(ROOT).parts
    if rel[0] == "runtime":
        return "runtime"
    if rel[0] == "src" and len(rel) > 2:
        return rel[1]
    return None


def main():
    files = sorted(p for d in ("runtime", "src") for p in (ROOT / d).rglob("*") if p.suffix in (".cpp", ".h"))
    faults = []
    for path in files:
        here = folder_of(path)
        if here not in FLOORS:
            faults.append(f"{path.relative_to(ROOT)}: folder '{here}' has no floor")
            continue
        for name in INCLUDE.findall(path.read_text(encoding="utf-8")):
            there = name.split("/")[0] if "/" in name else here
            if there not in FLOORS:
                continue  # a header of a library outside the front end
            if there == here:
                if here == "runtime" and path.stem in RUNTIME_CORE and pathlib.Path(name).stem not in RUNTIME_CORE:
                    faults.append(f"{path.relative_to(ROOT)}: Qt Core part includes panel part \"{name}\"")
                continue
            if FLOORS[there] >= FLOORS[here]:
                faults.append(f"{path.relative_to(ROOT)}: {here} (floor {FLOORS[here]}) includes "
                              f"\"{name}\" of {there} (floor {FLOORS[there]})")
    for f in faults:
        print(f)
    print(f"{len(files)} files checked, {len(faults)} includes against the floors")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
