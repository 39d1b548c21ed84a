# Prints what has the keyboard focus in the programs on the accessibility
# bus, as assistive technology sees it: "role<TAB>name", one per line; with a
# window's name (not empty) as its argument, every control of that window.
import sys

import pyatspi


def walk(node, found, every):
    try:
        if every or node.getState().contains(pyatspi.STATE_FOCUSED):
            found.append(f"{node.getRoleName()}\t{node.name}")
        for index in range(node.childCount):
            walk(node.getChildAtIndex(index), found, every)
    except Exception:
        # A node that went away while being asked has nothing to report.
        pass


wanted = sys.argv[1] if len(sys.argv) > 1 else ""
desktop = pyatspi.Registry.getDesktop(0)
lines = []
for application in (desktop.getChildAtIndex(index) for index in range(desktop.childCount)):
    for window in (application.getChildAtIndex(index) for index in range(application.childCount)):
        if not wanted or window.name == wanted:
            walk(window, lines, bool(wanted))
print("\n".join(lines))
