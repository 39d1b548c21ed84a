# Prints what has the keyboard focus in the programs on the accessibility
# bus, as assistive technology sees it: "role<TAB>name", one per line.
import pyatspi


def focused(node, found):
    try:
        if node.getState().contains(pyatspi.STATE_FOCUSED):
            found.append(f"{node.getRoleName()}\t{node.name}")
        for index in range(node.childCount):
            focused(node.getChildAtIndex(index), found)
    except Exception:
        # A node that went away while being asked has no focus to report.
        pass


desktop = pyatspi.Registry.getDesktop(0)
lines = []
for index in range(desktop.childCount):
    focused(desktop.getChildAtIndex(index), lines)
print("\n".join(lines))
