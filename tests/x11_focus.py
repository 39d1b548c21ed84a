# Prints what has the keyboard focus in the programs on the accessibility
# bus, as assistive technology sees it: "role<TAB>name", one per line. With
# a window's name as its argument, it prints every control of that window
# instead.
import sys

import pyatspi


def walk(node, wanted, found):
    try:
        if wanted(node):
            found.append(f"{node.getRoleName()}\t{node.name}")
        for index in range(node.childCount):
            walk(node.getChildAtIndex(index), wanted, found)
    except Exception:
        # A node that went away while being asked has nothing to report.
        pass


def focused(node):
    return node.getState().contains(pyatspi.STATE_FOCUSED)


desktop = pyatspi.Registry.getDesktop(0)
lines = []
for index in range(desktop.childCount):
    application = desktop.getChildAtIndex(index)
    if len(sys.argv) < 2:
        walk(application, focused, lines)
        continue
    for window in range(application.childCount):
        if application.getChildAtIndex(window).name == sys.argv[1]:
            walk(application.getChildAtIndex(window), lambda node: True, lines)
print("\n".join(lines))
