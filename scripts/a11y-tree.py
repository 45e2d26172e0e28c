#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""Lists the accessible tree (role, name; description, actions, states) of a running program's
window as a screen reader sees it over AT-SPI, and of the popup menus it opens.

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
    if not states.contains(pyatspi.STATE_SHOWING):
        flags.append("hidden")
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


def ListMenus(app_name, seconds, depth):
    """Popup menus are no children of the application in the tree: a screen reader meets them
    by the focus moving onto their items. Lists each menu whose item gains focus within
    `seconds` (open the menu and move onto an item meanwhile)."""
    from gi.repository import GLib

    out, seen = [], set()

    def OnFocus(event):
        item = event.source
        if not event.detail1 or item is None or item.getRoleName() not in ("menu item", "check menu item"):
            return
        if item.getApplication() is None or item.getApplication().name.lower() != app_name.lower():
            return
        menu = item.parent
        if menu is None or hash(menu) in seen:
            return
        seen.add(hash(menu))
        Walk(menu, 0, out, depth)

    pyatspi.Registry.registerEventListener(OnFocus, "object:state-changed:focused")
    GLib.timeout_add(int(seconds * 1000), lambda: pyatspi.Registry.stop() or False)
    pyatspi.Registry.start()
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--app", default="corvix", help="the application's accessible name (any case)")
    parser.add_argument("--window", action="append", required=True,
                        help="a window title to list (repeat for each language)")
    parser.add_argument("--menus", type=float, default=0, metavar="SECONDS",
                        help="then list the popup menus whose items gain focus within SECONDS")
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
                if top.name in args.window:
                    windows.append(top)
        if windows or time.monotonic() > deadline:
            break
        time.sleep(0.5)
    if not windows:
        print(f"no window {args.window} in application {args.app!r}", file=sys.stderr)
        return 1
    out = []
    for window in windows:
        Walk(window, 0, out, args.depth)
    print("\n".join(out), flush=True)
    if args.menus > 0:
        menus = ListMenus(args.app, args.menus, args.depth)
        print("\n".join(menus) if menus else "(no popup menu gained focus)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
