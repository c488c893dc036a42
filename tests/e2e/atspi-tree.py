#!/usr/bin/env python3
"""Prints what a screen reader finds of one application over AT-SPI, as JSON: its frames
with their names, every list with its items (name and whether selected) and every combo box
with the names of the labels it is labelled by. Prints nothing and exits 1 while the
application is not there.

    atspi-tree.py APPLICATION_NAME
"""
import json
import sys

import pyatspi


def labels_of(accessible):
    names = []
    for relation in accessible.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            names += [relation.getTarget(i).name for i in range(relation.getNTargets())]
    return names


def items_of(accessible):
    items = []
    for i in range(accessible.childCount):
        item = accessible.getChildAtIndex(i)
        if item is None:
            continue
        items.append({"role": item.getRoleName(), "name": item.name,
                      "selected": item.getState().contains(pyatspi.STATE_SELECTED)})
    return items


def walk(accessible, found, depth=0):
    role = accessible.getRole()
    if role == pyatspi.ROLE_FRAME:
        found["frames"].append(accessible.name)
    elif role == pyatspi.ROLE_LIST:
        found["lists"].append({"name": accessible.name, "items": items_of(accessible)})
        return
    elif role == pyatspi.ROLE_COMBO_BOX:
        found["combos"].append({"name": accessible.name, "labelledBy": labels_of(accessible)})
        return
    if depth > 12:
        return
    for i in range(accessible.childCount):
        child = accessible.getChildAtIndex(i)
        if child is not None:
            walk(child, found, depth + 1)


def main():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        application = desktop.getChildAtIndex(i)
        if application is not None and application.name == sys.argv[1]:
            found = {"frames": [], "lists": [], "combos": []}
            walk(application, found)
            print(json.dumps(found))
            return 0
    return 1


if __name__ == "__main__":
    sys.exit(main())
