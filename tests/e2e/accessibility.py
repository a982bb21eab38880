#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What a screen reader finds: the real Roradaza under Xvfb on the AT-SPI bus.

The program runs with Qt's accessibility always on; the tree of its windows
is walked with pyatspi, as Orca would read it, and driven through the
actions a screen reader offers. Every control a person can use must have a
name and the role that says what it is, in the notification window, the main
window expanded by "NON chiudere!" (both event lists), the editor and its
calendar.

    accessibility.py --binary PATH --screenshots DIR
"""

import argparse
import os
import shutil
import subprocess
import sys
import time

import e2e
from e2e import Failed, check, log, wait_for

try:
    import pyatspi
except ImportError:
    pyatspi = None

TOOLS = ["dbus-run-session", "faketime", "xvfb-run", "import"]
BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"

# The roles a person acts on; each such node needs a name. A scroll bar says
# what it is by its place, and a table cell or list item by its text.
INTERACTIVE = {"push button", "toggle button", "check box", "radio button", "combo box", "spin button", "list",
               "tree", "table", "tree table", "progress bar", "menu item", "check menu item", "radio menu item",
               "slider", "page tab", "link"}


def nodes(node, path=()):
    """Every node under node, with the names of its ancestors."""
    try:
        role, name = node.getRoleName(), node.name
    except Exception:
        return
    here = path + (f"{role} '{name}'", )
    yield node, role, name, here
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is not None:
            yield from nodes(child, here)


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and app.name == "Roradaza":
            app.clearCache()
            return app
    return None


def find(role, name, showing=True):
    """The first node of this role and name in the program, shown on the screen unless told otherwise."""
    app = application()
    if app is None:
        return None
    for node, node_role, node_name, _ in nodes(app):
        if node_role == role and node_name == name and (not showing or showing_node(node)):
            return node
    return None


def showing_node(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def editable(node):
    return node.getState().contains(pyatspi.STATE_EDITABLE)


def press(node):
    actions = node.queryAction()
    names = [actions.getName(index) for index in range(actions.nActions)]
    for wanted in ("Press", "press", "click", "Toggle", "toggle"):
        if wanted in names:
            actions.doAction(names.index(wanted))
            return
    raise Failed(f"no press action on {node.name} ({names})")


def check_named(window, what):
    """Every interactive node under window has a name; an editable text too."""
    unnamed = []
    count = 0
    for node, role, name, path in nodes(window):
        if role in INTERACTIVE or (role == "text" and editable(node)):
            count += 1
            if not name.strip():
                unnamed.append(" > ".join(path))
    check(not unnamed, f"{what}: all {count} controls have a name (unnamed: {unnamed})")


def check_roles(expected, what):
    """(role, name) pairs that must be found as shown."""
    missing = [pair for pair in expected if find(*pair) is None]
    check(not missing, f"{what}: {len(expected)} controls with their roles ({'missing ' + str(missing) if missing else 'all found'})")


def case_accessibility(case):
    # Asking for the desktop starts the AT-SPI bus through the session bus, which ends it with the run.
    wait_for("the AT-SPI bus", lambda: pyatspi.Registry.getDesktop(0) is not None, 10)
    case.env.update(QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    case.write("Roradaza.dat", e2e.QUIET_DAY)
    case.write("Roradaza.ini", e2e.DEFAULT_SETTINGS)
    case.start()

    # The saints line alone shows the notification window.
    dialog = wait_for('"Eventi Imminenti" on the AT-SPI bus', lambda: find("dialog", "Eventi Imminenti"), e2e.START,
                      case.process)
    check(True, 'the notification window is a dialog named "Eventi Imminenti"')
    lines = find("text", "Eventi Imminenti")
    check(lines is not None, "its list of lines is a text named Eventi Imminenti")
    text = lines.queryText().getText(0, -1)
    check(text.startswith("Calendario:"), f"the lines are readable ({text[:40]!r}...)")
    check_named(dialog, "the notification window")
    press(wait_for('"Ok"', lambda: find("push button", "Ok"), 5, case.process))

    stop = wait_for('"NON chiudere!" enabled',
                    lambda: (lambda n: n if n and n.getState().contains(pyatspi.STATE_ENABLED) else None)(
                        find("push button", "NON chiudere!")), 5, case.process)
    check_roles([("progress bar", "Auto Chiusura")], "the countdown")
    press(stop)
    wait_for("the event list", lambda: find("tree", "Eventi"), 5, case.process)
    time.sleep(0.3)
    e2e.screenshot(case.shot("accessibility-main.png"))
    main = find("frame", "Roradaza")
    check_roles([("tree", "Eventi"), ("combo box", "Ricerca / Filtro"), ("text", "Ricerca / Filtro"),
                 ("push button", "Aggiungi"), ("push button", "Esci")],
                "the main window")
    check_named(main, "the main window")

    # The filtered list, shown while the filter holds text.
    find("text", "Ricerca / Filtro").queryEditableText().setTextContents("zoz")
    wait_for("the filtered list", lambda: find("tree", "Eventi filtrati"), 5, case.process)
    check(True, 'the filtered list is a tree named "Eventi filtrati"')
    find("text", "Ricerca / Filtro").queryEditableText().setTextContents("")
    wait_for("the whole list", lambda: find("tree", "Eventi"), 5, case.process)

    press(find("push button", "Aggiungi"))
    editor = wait_for("the editor", lambda: find("dialog", "Modifica Evento"), 5, case.process)
    check_roles([("radio button", "Settimanale"), ("radio button", "Annuale"), ("combo box", "Nome Evento"),
                 ("text", "Nome Evento"), ("combo box", "Mese"), ("text", "Giorno"), ("text", "Giorni di anticipo"),
                 ("list", "Giorni della settimana", False), ("check box", "Anno specifico"),
                 ("check box", "Evento Importante!")], "the editor")
    press(find("push button", "Calendario >>"))
    wait_for("the calendar", lambda: find("push button", "Mese successivo"), 5, case.process)
    time.sleep(0.3)
    e2e.screenshot(case.shot("accessibility-editor.png"))
    check_roles([("push button", "Mese precedente"), ("push button", "Mese successivo"),
                 ("table", "Giorni del mese")], "the calendar")
    arrow = find("push button", "Mese precedente")
    check(arrow.description, f"the month arrows, pictures, are described ({arrow.description!r})")
    check_named(editor, "the editor with its calendar")

    press(find("push button", "Annulla"))
    wait_for("the editor to close", lambda: not find("dialog", "Modifica Evento"), 5, case.process)
    press(find("push button", "Esci"))
    case.wait_exit(10)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--screenshots", required=True)
    args = parser.parse_args()
    if pyatspi is None and sys.executable != "/usr/bin/python3" and os.path.exists("/usr/bin/python3"):
        # python3-pyatspi belongs to the system's Python.
        probe = subprocess.run(["/usr/bin/python3", "-c", "import pyatspi"], capture_output=True)
        if probe.returncode == 0:
            os.execv("/usr/bin/python3", ["/usr/bin/python3", os.path.abspath(__file__)] + sys.argv[1:])
    missing = [tool for tool in TOOLS if not shutil.which(tool)]
    if pyatspi is None:
        missing.append("python3-pyatspi")
    if not os.path.exists(BUS_LAUNCHER):
        missing.append("at-spi2-core")
    status = e2e.on_a_desktop(__file__, missing)
    if status is not None:
        return status
    os.makedirs(args.screenshots, exist_ok=True)
    case = e2e.Case(os.path.abspath(args.binary), os.path.abspath(args.screenshots), "accessibility")
    return e2e.run_case(case, "accessibility", case_accessibility)


if __name__ == "__main__":
    sys.exit(main())
