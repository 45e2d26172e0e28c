#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""Lists the accessible tree (role, name; description, actions, states) of a running program's
window as a screen reader sees it over AT-SPI, and of the popup menus it has open.

Run the program with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 in the same D-Bus session, e.g.
    dbus-run-session -- sh -c 'QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 build/corvix & ...;
                               scripts/a11y-tree.py --app corvix --window "Compare With Device"'
Needs python3-pyatspi and at-spi2-core (scripts/deps.sh installs them)."""

import argparse
import sys
import time

import pyatspi

# States worth hearing about; "enabled" is said by its absence ("disabled").
SHOWN_STATES = [
    (pyatspi.STATE_FOCUSED, "focused"),
    (pyatspi.STATE_SELECTED, "selected"),
    (pyatspi.STATE_CHECKED, "checked"),
]


def Describe(node):
    parts = [f"{node.getRoleName()}: {node.name!r}"]
    if node.description:
        parts.append(f"description={node.description!r}")
    try:
        action = node.queryAction()
        names = [action.getName(i) for i in range(action.nActions)]
        keys = [action.getKeyBinding(i) for i in range(action.nActions)]
        if names:
            parts.append("actions=" + ",".join(names))
        if any(keys):
            parts.append("keys=" + ",".join(k for k in keys if k))
    except NotImplementedError:
        pass
    states = node.getState()
    flags = [label for state, label in SHOWN_STATES if states.contains(state)]
    if not states.contains(pyatspi.STATE_ENABLED) and not states.contains(pyatspi.STATE_SENSITIVE):
        flags.append("disabled")
    if flags:
        parts.append("[" + ",".join(flags) + "]")
    return "  ".join(parts)


def Walk(node, depth, out, max_depth):
    out.append("  " * depth + Describe(node))
    if depth >= max_depth:
        return
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            Walk(child, depth + 1, out, max_depth)


def FindApp(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name.lower() == name.lower():
            return app
    return None


def IsOpenMenu(node):
    if node.getRoleName() not in ("window", "popup menu", "menu"):
        return False
    if not node.getState().contains(pyatspi.STATE_SHOWING):
        return False
    return node.getRoleName() != "window" or any(
        node.getChildAtIndex(i) is not None and node.getChildAtIndex(i).getRoleName() in ("menu", "popup menu")
        for i in range(node.childCount))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--app", default="corvix", help="the application's accessible name (any case)")
    parser.add_argument("--window", action="append", required=True,
                        help="a window title to list (repeat for each language)")
    parser.add_argument("--menus", action="store_true", help="also list the popup menus that are open")
    parser.add_argument("--wait", type=float, default=20, help="seconds to wait for the window")
    parser.add_argument("--depth", type=int, default=12)
    args = parser.parse_args()

    deadline = time.monotonic() + args.wait
    while True:
        app = FindApp(args.app)
        windows = []
        if app is not None:
            for i in range(app.childCount):
                top = app.getChildAtIndex(i)
                if top is None:
                    continue
                if top.name in args.window or (args.menus and IsOpenMenu(top)):
                    windows.append(top)
        if any(w.name in args.window for w in windows) or time.monotonic() > deadline:
            break
        time.sleep(0.5)
    if not windows:
        print(f"no window {args.window} in application {args.app!r}", file=sys.stderr)
        return 1
    out = []
    for window in windows:
        Walk(window, 0, out, args.depth)
    print("\n".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
