"""Reads the accessibility tree of one process the way a screen reader does, over AT-SPI.

Run with the system python (pyatspi is a Debian package):
    /usr/bin/python3 atspi_probe.py PID
Prints one JSON object: the application's name, its windows (role, name) and every node
under them as [depth, role, name], walked once, breadth-first and bounded.
"""

import json
import sys

import pyatspi

LIMIT = 4000


def main():
    pid = int(sys.argv[1])
    desktop = pyatspi.Registry.getDesktop(0)
    result = {"application": None, "windows": [], "nodes": []}
    for app in desktop:
        if app is None:
            continue
        try:
            if app.get_process_id() != pid:
                continue
        except Exception:
            continue
        result["application"] = app.name
        queue = []
        for window in app:
            if window is None:
                continue
            result["windows"].append([window.getRoleName(), window.name])
            queue.append((1, window))
        while queue and len(result["nodes"]) < LIMIT:
            depth, node = queue.pop(0)
            try:
                result["nodes"].append([depth, node.getRoleName(), node.name])
                for child in node:
                    if child is not None:
                        queue.append((depth + 1, child))
            except Exception:
                continue   # a node that went away while we looked
        break
    print(json.dumps(result, ensure_ascii=False))


if __name__ == "__main__":
    main()
