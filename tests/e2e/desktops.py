#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The desktops people log on to today, with the real Roradaza.

wayland: the reminder on Qt's wayland platform under weston.

weston runs on its X11 backend inside Xvfb, so that xdotool's keys reach it
through a real seat (the headless backend has no keyboard). weston's debug
protocol gives the stacking of the windows (its scene graph) and the screen's
picture; the program's own Wayland log (WAYLAND_DEBUG) tells which window
holds the keyboard. The worked example's start-up:

- the delete prompt above "Eventi Imminenti", itself above the main window,
  with the keyboard on the prompt;
- after "No", "Eventi Imminenti" above the main window, its lines all seen,
  with the keyboard; Enter presses its "&Ok" and the program counts down and ends.

statusnotifier: the tray of KDE Plasma and GNOME's AppIndicator extension, a
StatusNotifierItem on the session bus (no XEmbed tray host runs): the program
goes there, and the item's activation opens the tray menu, whose "E&sci" ends
it; on X11, and on Wayland (statusnotifier-wayland), where only that tray exists.

    desktops.py --binary PATH --screenshots DIR --case wayland|statusnotifier|statusnotifier-wayland
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import time

import e2e
from e2e import Failed, check, log, run, wait_for

TOOLS = ["dbus-run-session", "weston", "weston-debug", "weston-screenshooter", "xdotool", "faketime", "convert", "xvfb-run"]


def scene():
    """The top-level windows weston shows, top to bottom: (title, (x, y, width, height))."""
    text = run("weston-debug", "scene-graph", timeout=10).stdout
    windows = []
    for match in re.finditer(r"top-level window '([^']*)'[^\n]*\n\s*position: \((-?\d+), (-?\d+)\) -> "
                             r"\((-?\d+), (-?\d+)\)", text):
        x, y, right, bottom = (int(value) for value in match.groups()[1:])
        windows.append((match[1], (x, y, right - x, bottom - y)))
    return windows


def titles():
    return [title for title, _ in scene()]


def keyboard_window(path):
    """The title of the window holding the keyboard, read from the program's Wayland log."""
    surfaces, toplevels, titles_of, focus = {}, {}, {}, None
    with open(path, errors="replace") as file:
        for line in file:
            if match := re.search(r"get_xdg_surface\(new id xdg_surface@(\d+), wl_surface@(\d+)\)", line):
                surfaces[match[1]] = match[2]
            elif match := re.search(r"xdg_surface@(\d+)\.get_toplevel\(new id xdg_toplevel@(\d+)\)", line):
                toplevels[match[2]] = surfaces.get(match[1])
            elif match := re.search(r"xdg_toplevel@(\d+)\.set_title\(\"(.*)\"\)", line):
                titles_of[toplevels.get(match[1])] = match[2]
            elif match := re.search(r"wl_keyboard@\d+\.enter\(\d+, wl_surface@(\d+),", line):
                focus = titles_of.get(match[1], f"wl_surface@{match[1]}")
            elif re.search(r"wl_keyboard@\d+\.leave\(", line):
                focus = None
    return focus


def above(order, upper, lower):
    return upper in order and lower in order and order.index(upper) < order.index(lower)


def weston_shot(case, name):
    """The screen as weston composes it, through its screenshooter."""
    before = set(os.listdir(case.folder))
    subprocess.run(["weston-screenshooter"], cwd=case.folder, capture_output=True, timeout=20)
    new = sorted(set(os.listdir(case.folder)) - before)
    pictures = [name for name in new if name.endswith(".png")]
    check(pictures, f"weston's screenshot {name} taken")
    path = case.shot(name)
    shutil.move(os.path.join(case.folder, pictures[0]), path)
    return path


def start_weston(case):
    """weston on the X server, and the program to run on Qt's wayland platform in it."""
    weston = case.start_helper("weston", "--backend=x11-backend.so", "--use-pixman", "--width=1024", "--height=768",
                               "--socket=wayland-roradaza", "--idle-time=0", "--debug", f"--log={case.path('weston.log')}")
    wait_for("weston", lambda: os.path.exists(os.path.join(case.env["XDG_RUNTIME_DIR"], "wayland-roradaza")), 20,
             weston)
    # Its tools find weston through the environment; the program keeps X11's DISPLAY out of its sight.
    os.environ.update(XDG_RUNTIME_DIR=case.env["XDG_RUNTIME_DIR"], WAYLAND_DISPLAY="wayland-roradaza")
    case.env.pop("DISPLAY")
    case.env.update(QT_QPA_PLATFORM="wayland", WAYLAND_DISPLAY="wayland-roradaza", WAYLAND_DEBUG="client")
    # xdotool's keys reach weston's window on the X server, and weston gives them to its focused window.
    run("xdotool", "mousemove", "1010", "8", timeout=5)


def case_wayland(case):
    start_weston(case)
    case.write("Roradaza.dat", e2e.WORKED_EXAMPLE)
    case.start()

    order = wait_for("the delete prompt", lambda: (lambda t: t if "Warning" in t else None)(titles()), e2e.START,
                     case.process)
    log(f"weston stacks, top to bottom: {order}")
    check(above(order, "Warning", "Eventi Imminenti") and above(order, "Eventi Imminenti", "Roradaza"),
          "the prompt lies above the notification window, and that above the main window")
    wait_for("the prompt to hold the keyboard", lambda: keyboard_window(case.path("output.log")) == "Warning", 10)
    check(True, "the prompt holds the keyboard")
    time.sleep(0.5)
    weston_shot(case, "wayland-delete-prompt.png")

    run("xdotool", "key", "n")
    wait_for("the prompt to close", lambda: "Warning" not in titles(), 10, case.process)
    wait_for("the notification window to hold the keyboard",
             lambda: keyboard_window(case.path("output.log")) == "Eventi Imminenti", 10, case.process)
    check(True, "the notification window holds the keyboard")
    windows = scene()
    order = [title for title, _ in windows]
    check(above(order, "Eventi Imminenti", "Roradaza"), f"the notification window lies above the main window ({order})")
    place = dict(windows)["Eventi Imminenti"]
    check(place[2:] == (515, 401), f"the notification window is 515 by 401 ({place})")
    time.sleep(0.5)
    picture = weston_shot(case, "wayland-notification.png")
    # Nothing of the program covers its lines: all six are seen in their colours.
    case.check_notification_lines(picture, place, ["green", "red", "blue", "blue", "blue", "blue"])

    run("xdotool", "key", "Return")
    wait_for("Enter to close the notification window", lambda: "Eventi Imminenti" not in titles(), 5, case.process)
    check(True, 'Enter pressed "&Ok"')
    time.sleep(0.5)
    weston_shot(case, "wayland-countdown.png")
    case.wait_exit(10)
    check(case.read("Roradaza.dat") == e2e.WORKED_EXAMPLE, "Roradaza.dat is untouched after No")
    # The protocol log is read above; it is too long to print.
    open(case.path("output.log"), "w").close()


def bus_call(service, path, interface, method, *args):
    """A method of an object on the session bus, through python3-dbus in the system's Python."""
    script = ("import dbus, sys; o = dbus.SessionBus().get_object(sys.argv[1], sys.argv[2]); "
              "print(o.get_dbus_method(sys.argv[4], sys.argv[3])(*[dbus.Int32(int(a)) for a in sys.argv[5:]]))")
    result = subprocess.run(["/usr/bin/python3", "-c", script, service, path, interface, method, *map(str, args)],
                            capture_output=True, text=True, timeout=20)
    if result.returncode != 0:
        raise Failed(f"{interface}.{method} on {service}: {result.stderr.strip()}")
    return result.stdout.strip()


def case_statusnotifier(case, wayland=False):
    items = case.path("items.log")
    watcher = case.start_helper("/usr/bin/python3", os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                                 "statusnotifier.py"), items)
    wait_for("the StatusNotifierWatcher", lambda: os.path.exists(items), 10, watcher)
    if wayland:
        start_weston(case)
    case.write("Roradaza.dat", e2e.QUIET_DAY)
    case.write("Roradaza.ini", e2e.TRAY_SAINTS_ON)
    case.start()
    if wayland:
        wait_for('"Eventi Imminenti"', lambda: "Eventi Imminenti" in titles(), e2e.START, case.process)
        wait_for("the notification window to hold the keyboard",
                 lambda: keyboard_window(case.path("output.log")) == "Eventi Imminenti", 10, case.process)
        run("xdotool", "key", "Return")
        wait_for("the windows to hide", lambda: not titles(), 15, case.process)
    else:
        window = wait_for("the main window", e2e.main_window, e2e.START, case.process)
        note, place = case.notification_window()
        case.dismiss_notification(note, place)
        wait_for("the main window to hide", lambda: e2e.geometry(window) is None, 10, case.process)
    item = wait_for("the program's item to register", lambda: open(items).read().split(), 10, case.process)[0]
    check(case.running(), f"the program stays running, its icon an item of the tray ({item})")
    service, _, path = item.partition("/")
    path = "/" + path if path else "/StatusNotifierItem"
    if wayland:
        bus_call(service, path, "org.kde.StatusNotifierItem", "Activate", 500, 300)
        # Wayland gives no place: the compositor puts the menu where it likes, as a window of its own.
        menu = wait_for("the tray menu", lambda: scene(), 5, case.process)
        check(True, f"activating the item opens the tray menu ({menu})")
        wait_for("the tray menu to hold the keyboard", lambda: keyboard_window(case.path("output.log")) is not None,
                 5, case.process)
        time.sleep(0.3)
        weston_shot(case, "statusnotifier-wayland-menu.png")
    else:
        existing = set(e2e.visible_windows(".*"))
        bus_call(service, path, "org.kde.StatusNotifierItem", "Activate", 500, 300)
        menu = wait_for("the tray menu", lambda: [w for w in e2e.visible_windows(".*") if w not in existing
                                                  and e2e.geometry(w)], 5, case.process)[0]
        check(True, f"activating the item opens the tray menu ({e2e.geometry(menu)})")
        time.sleep(0.3)
        e2e.screenshot(case.shot("statusnotifier-menu.png"))
    run("xdotool", "key", "s")  # "E&sci"
    case.wait_exit(10)
    if wayland:
        open(case.path("output.log"), "w").close()


CASES = {"wayland": case_wayland, "statusnotifier": case_statusnotifier,
         "statusnotifier-wayland": lambda case: case_statusnotifier(case, wayland=True)}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--screenshots", required=True)
    parser.add_argument("--case", required=True, choices=sorted(CASES))
    args = parser.parse_args()
    missing = [tool for tool in TOOLS if not shutil.which(tool)]
    if args.case.startswith("statusnotifier") and subprocess.run(["/usr/bin/python3", "-c", "import dbus, gi"],
                                                        capture_output=True).returncode != 0:
        missing.append("python3-dbus")
    status = e2e.on_a_desktop(__file__, missing)
    if status is not None:
        return status
    os.makedirs(args.screenshots, exist_ok=True)
    case = e2e.Case(os.path.abspath(args.binary), os.path.abspath(args.screenshots), args.case)
    return e2e.run_case(case, args.case, CASES[args.case])


if __name__ == "__main__":
    sys.exit(main())
