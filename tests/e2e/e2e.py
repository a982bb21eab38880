#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end runs of the real Roradaza under Xvfb, one case per call.

Each case copies the program into a fresh folder with its own data files,
runs it under faketime on 29 March 2007, drives it with xdotool and keeps
screenshots. Without a display the script starts itself again under
xvfb-run, so that every case gets a server of its own.

Two desktops: the bare X server, where the last window opened is on top and
holds the keyboard, and the same server under openbox, where the window
manager decides stacking and focus as on a user's desktop. There the keys go
to whatever window holds the focus, as a person's would.

    e2e.py --binary PATH --screenshots DIR --case NAME [--desktop openbox]
"""

import argparse
import glob
import os
import signal
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77
# -noreset: the server must not restart between two short-lived xdotool clients,
# or a program connecting at that moment finds no display.
SCREEN = "-screen 0 1024x768x24 -noreset"
TODAY = "2007-03-29 10:00:00"
TOOLS = ["xdotool", "faketime", "import", "convert", "xwininfo", "dbus-run-session"]

CRLF = b"\r\n"


def database(*records):
    """Roradaza.dat bytes: the count line, then five lines per record."""
    lines = [str(len(records) - 1).encode()]
    for record in records:
        lines.extend(record)
    return CRLF.join(lines) + CRLF


ZOZADEVI = (b"Compleanno di Zozadevi", b"04", b"02", b"05", b"0000")
AFFITTO = (b"Pagare affitto", b"00", b"30", b"03i", b"0000")
PALESTRA = (b"Palestra", b"##", b"Marted\xec;Gioved\xec;", b"00", b"0000")
VISITA = (b"Visita medica", b"03", b"29A", b"02", b"2007")
WORKED_EXAMPLE = database(ZOZADEVI, AFFITTO, PALESTRA, VISITA)

# Nothing here is due on 29 March 2007, nor announced ahead.
QUIET_DAY = database(
    (b"Anniversario di matrimonio", b"06", b"15", b"07", b"0000"),
    (b"Compleanno di Zozadevi", b"07", b"23", b"07", b"0000"),
    (b"Onomastico di Lucia", b"12", b"13", b"05i", b"0000"),
    (b"Riunione di condominio", b"##", b"Luned\xec;", b"", b"0000"),
)

SAINTS_OFF = b"0\r\n1200000\r\n0\r\n"
TRAY_SAINTS_OFF = b"-1\r\n1200000\r\n0\r\n"
TRAY_SAINTS_ON = b"-1\r\n1200000\r\n-1\r\n"
DEFAULT_SETTINGS = b"0\r\n1200000\r\n-1\r\n"

# Client heights of the main window: the full form and the compact one.
EXPANDED_CLIENT = 457
COMPACT_CLIENT = 457 - (503 - 155)

# Seconds a start may take on a loaded machine, a window manager's included.
START = 30

OLD = 946684800  # 1 January 2000: files the program writes get a newer time


class Failed(Exception):
    pass


def log(text):
    print(f"[{time.monotonic():10.2f}] {text}", flush=True)


def check(condition, text):
    if not condition:
        raise Failed(text)
    log(f"ok: {text}")


def run(*command, timeout=10):
    return subprocess.run(command, capture_output=True, text=True, timeout=timeout)


def in_session_bus(script):
    """Runs script again inside a session bus of its own, as every desktop session has one, so that
    nothing the bus starts outlives the run: its exit status, or None when already inside."""
    if os.environ.get("RORADAZA_E2E_BUS"):
        return None
    command = ["dbus-run-session", "--", sys.executable, os.path.abspath(script)] + sys.argv[1:]
    return subprocess.run(command, env=dict(os.environ, RORADAZA_E2E_BUS="1"), timeout=600).returncode


def on_a_desktop(script, missing, screen=SCREEN):
    """Skips the run when tools are missing; otherwise runs script again inside a session bus and an X
    server of its own: its exit status, or None when already there."""
    if missing:
        print(f"skipped: missing {', '.join(missing)}")
        return SKIP
    status = in_session_bus(script)
    if status is not None:
        return status
    if not os.environ.get("DISPLAY"):
        command = ["xvfb-run", "-a", "-s", screen, sys.executable, os.path.abspath(script)] + sys.argv[1:]
        return subprocess.run(command, timeout=240).returncode
    return None


def wait_for(what, predicate, timeout, process=None):
    """Polls until predicate gives something true; fails after timeout seconds,
    or as soon as process (when given) has ended."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if process is not None and process.poll() is not None:
            raise Failed(f"the program ended (status {process.returncode}) while waiting for {what}")
        if time.monotonic() > deadline:
            raise Failed(f"timed out after {timeout} s waiting for {what}")
        time.sleep(0.05)


def visible_windows(name, key="--name"):
    result = run("xdotool", "search", "--onlyvisible", key, f"^{name}$")
    return [int(line) for line in result.stdout.split()]


def geometry(window):
    """(x, y, width, height) of a window on the screen, or None once it is gone."""
    result = run("xwininfo", "-id", str(window))
    if result.returncode != 0:
        return None
    values = {}
    for line in result.stdout.splitlines():
        key, _, value = line.strip().partition(":")
        values[key] = value.strip()
    if values.get("Map State") != "IsViewable":
        return None
    return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]), int(values["Width"]),
            int(values["Height"]))


def main_window():
    """The main window while it is mapped (other windows share its name: the tray icon, the menus)."""
    for window in visible_windows("Roradaza"):
        place = geometry(window)
        if place and place[2] == 417:
            return window
    return None


def stacking():
    """The managed windows, bottom to top, as the window manager stacks them."""
    result = run("xprop", "-root", "_NET_CLIENT_LIST_STACKING")
    _, _, ids = result.stdout.partition("#")
    return [int(value.strip(), 16) for value in ids.split(",") if value.strip()]


def frame_top(window):
    """The top of a window's frame: the window manager's title bar lies above the window itself."""
    extents = run("xprop", "-id", str(window), "_NET_FRAME_EXTENTS").stdout.partition("=")[2].split(",")
    return geometry(window)[1] - (int(extents[2]) if len(extents) == 4 else 0)


def active_window():
    result = run("xdotool", "getactivewindow")
    return int(result.stdout) if result.returncode == 0 and result.stdout.strip() else None


def pointer():
    values = dict(field.split(":") for field in run("xdotool", "getmouselocation").stdout.split() if ":" in field)
    return int(values["x"]), int(values["y"])


def screenshot(path, window="root", crop=None):
    command = ["import", "-window", str(window)]
    if crop:
        x, y, width, height = crop
        command += ["-crop", f"{width}x{height}+{x}+{y}", "+repage"]
    run(*command, path)
    check(os.path.getsize(path) > 0, f"screenshot {os.path.basename(path)} taken")


def click(x, y, button=1):
    run("xdotool", "mousemove", str(x), str(y))
    time.sleep(0.1)
    run("xdotool", "click", str(button))


def focus_and_key(window, *keys):
    run("xdotool", "windowfocus", str(window))
    time.sleep(0.2)
    run("xdotool", "key", *keys)


def read_ppm(path, crop):
    """The pixels of part of a PNG, as rows of (r, g, b), through ImageMagick."""
    x, y, width, height = crop
    data = subprocess.run(["convert", path, "-crop", f"{width}x{height}+{x}+{y}", "+repage", "ppm:-"],
                          capture_output=True, timeout=10, check=True).stdout
    fields = data.split(maxsplit=4)
    if fields[0] != b"P6" or fields[3] != b"255":
        raise Failed(f"unexpected picture format from convert: {fields[:4]}")
    width, height, pixels = int(fields[1]), int(fields[2]), fields[4]
    return [[tuple(pixels[(row * width + col) * 3:(row * width + col) * 3 + 3]) for col in range(width)]
            for row in range(height)]


def hue(pixel):
    r, g, b = pixel
    if g > r + 50 and g > b + 50:
        return "green"
    if r > g + 80 and r > b + 80:
        return "red"
    if b > r + 80 and b > g + 80:
        return "blue"
    return None


def text_lines(rows):
    """Colour of each line of text, top to bottom: bands of rows holding coloured pixels."""
    bands, current = [], None
    for row in rows:
        counts = {}
        for pixel in row:
            colour = hue(pixel)
            if colour:
                counts[colour] = counts.get(colour, 0) + 1
        if counts:
            current = current or {}
            for colour, count in counts.items():
                current[colour] = current.get(colour, 0) + count
        elif current:
            bands.append(max(current, key=current.get))
            current = None
    if current:
        bands.append(max(current, key=current.get))
    return bands


def clear_stale_faketime():
    """The faketime command names a semaphore and a shared memory block after its own pid, and
    refuses to run ("sem_open: File exists") when a killed one left them behind under a pid that
    has come round again. Those of processes no longer alive are removed first."""
    for path in glob.glob("/dev/shm/sem.faketime_sem_*") + glob.glob("/dev/shm/faketime_shm_*"):
        pid = path.rsplit("_", 1)[-1]
        if pid.isdigit() and not os.path.exists(f"/proc/{pid}"):
            try:
                os.unlink(path)
            except OSError:
                pass


class Case:
    def __init__(self, binary, screenshots, name, desktop="bare"):
        self.name = name
        self.desktop = desktop
        self.managed = desktop == "openbox"
        self.screenshots = screenshots
        self.folder = tempfile.mkdtemp(prefix=f"roradaza-e2e-{name}-")
        self.program = os.path.join(self.folder, "Roradaza")
        shutil.copy2(binary, self.program)
        self.home = os.path.join(self.folder, "home")
        runtime = os.path.join(self.folder, "runtime")
        os.makedirs(self.home)
        os.makedirs(runtime, mode=0o700)
        self.env = dict(os.environ, HOME=self.home, XDG_CONFIG_HOME=os.path.join(self.home, ".config"),
                        XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="xcb", LC_ALL="it_IT.UTF-8", LANG="it_IT.UTF-8")
        self.env.pop("SESSION_MANAGER", None)
        self.process = None
        self.helpers = []
        self.output = None

    def path(self, name):
        return os.path.join(self.folder, name)

    def shot(self, name):
        if self.managed:
            stem, extension = os.path.splitext(name)
            name = f"{stem}-{self.desktop}{extension}"
        return os.path.join(self.screenshots, name)

    def start_desktop(self):
        """openbox, when the case runs under it, managing the server before the program starts."""
        if not self.managed:
            return
        self.start_helper("openbox")
        # Its theme is named on the root window once it is loaded, fonts and all;
        # until then openbox maps no window.
        wait_for("openbox to manage the screen", lambda: "_OB_THEME(" in run("xprop", "-root", "_OB_THEME").stdout,
                 START)

    def key(self, window, *keys):
        """Keys as a person presses them: under a window manager to the window
        that holds the focus; on the bare server to the given window."""
        if self.managed:
            time.sleep(0.3)
            run("xdotool", "key", *keys)
        else:
            focus_and_key(window, *keys)

    def check_focus(self, window, what):
        if self.managed:
            wait_for(f"{what} to hold the focus", lambda: active_window() == window, 5)
            check(True, f"{what} holds the keyboard focus")

    def dismiss_notification(self, window, place):
        """"&Ok": under openbox by Enter, which must reach it; on the bare server by a click."""
        if self.managed:
            self.check_focus(window, "the notification window")
            self.key(window, "Return")
        else:
            click(place[0] + 184 + 76, place[1] + 352 + 16)

    def write(self, name, data):
        with open(self.path(name), "wb") as file:
            file.write(data)
        os.utime(self.path(name), (OLD, OLD))

    def read(self, name):
        with open(self.path(name), "rb") as file:
            return file.read()

    def written(self, name):
        return os.path.getmtime(self.path(name)) != OLD

    def start_helper(self, *command):
        helper = subprocess.Popen(command, env=self.env, cwd=self.folder, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        self.helpers.append(helper)
        return helper

    def start(self, preload=False):
        """preload: libfaketime loaded into the program itself, so that signals reach it and not faketime."""
        self.output = open(self.path("output.log"), "w")
        clear_stale_faketime()
        command, env = ["faketime", TODAY, self.program], self.env
        if preload:
            library = glob.glob("/usr/lib/*/faketime/libfaketime.so.1") + glob.glob("/usr/lib/faketime/libfaketime.so.1")
            if not library:
                raise Failed("libfaketime.so.1 not found")
            command, env = [self.program], dict(self.env, LD_PRELOAD=library[0], FAKETIME="@" + TODAY)
        # A session of its own: faketime runs the program as its child, and
        # both must go when the case ends.
        self.process = subprocess.Popen(command, cwd=self.folder, env=env, stdout=self.output,
                                        stderr=subprocess.STDOUT, start_new_session=True)
        self.started = time.monotonic()
        log(f"started {self.program} (pid {self.process.pid})")

    def running(self):
        return self.process.poll() is None

    def wait_exit(self, timeout, status=0):
        try:
            code = self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failed(f"the program was still running {timeout} s later")
        check(code == status, f"the program ended with exit code {status} (got {code})")

    def finish(self, passed):
        if self.process:
            try:
                os.killpg(self.process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        for process in [self.process] + self.helpers:
            if process and process.poll() is None:
                process.kill()
                process.wait(5)
        if self.output:
            self.output.close()
            with open(self.output.name) as file:
                text = file.read().strip()
            if text:
                log("program output:\n" + text)
        if passed:
            shutil.rmtree(self.folder, ignore_errors=True)
        else:
            log(f"files kept in {self.folder}")

    def notification_window(self):
        window = wait_for('"Eventi Imminenti"', lambda: visible_windows("Eventi Imminenti"), START)[0]
        return window, geometry(window)

    def check_notification_lines(self, picture, place, expected, bottom=None):
        # The text box lies at 16, 32 (481 by 313) inside the window; leave its frame out.
        x, y = place[0] + 16 + 3, place[1] + 32 + 3
        height = 313 - 6 if bottom is None else bottom - y
        rows = read_ppm(picture, (x, y, 481 - 6, height))
        lines = text_lines(rows)
        check(lines == expected, f"the notification lines are coloured {expected} (saw {lines})")

    def compact_window(self, name):
        window = wait_for("the compact main window", main_window, 10)
        place = geometry(window)
        check(COMPACT_CLIENT + 10 <= place[3] <= COMPACT_CLIENT + 40,
              f"the main window is compact: 417 by {place[3]} (client {COMPACT_CLIENT} under the menu bar)")
        screenshot(self.shot(name), window)
        return window, place

    def check_autostart(self):
        entry = os.path.join(self.home, ".config", "autostart", "Roradaza.desktop")
        check(os.path.isfile(entry), "the autostart entry Roradaza.desktop exists")
        with open(entry) as file:
            lines = file.read().splitlines()
        execs = [line[len("Exec="):] for line in lines if line.startswith("Exec=")]
        check(len(execs) == 1, "the entry has one Exec= line")
        command = execs[0]
        if command.startswith('"') and command.endswith('"'):
            command = command[1:-1]
        check(os.path.realpath(command) == os.path.realpath(self.program),
              f"Exec= names the copied program ({execs[0]})")


def delete_prompt_case(case, answer):
    """The worked example: four lines and a separator, the delete prompt for "Visita medica"."""
    case.write("Roradaza.dat", WORKED_EXAMPLE)
    case.start()
    window, place = case.notification_window()
    check(place[2:] == (515, 401), f"the notification window is 515 by 401 (got {place[2]} by {place[3]})")
    prompt = wait_for("the delete prompt", lambda: visible_windows("Warning"), 10)[0]
    time.sleep(0.3)
    screenshot(case.shot(f"delete-prompt-{answer}.png"))
    if case.managed:
        order = stacking()
        check(prompt in order and window in order and order.index(prompt) > order.index(window),
              "the delete prompt is stacked above the notification window")
        case.check_focus(prompt, "the delete prompt")
    # Above the prompt: the lines gathered so far, before the separator is added.
    case.check_notification_lines(case.shot(f"delete-prompt-{answer}.png"), place,
                                  ["green", "red", "blue", "blue", "blue"], bottom=frame_top(prompt))

    # Enter answers Yes, the prompt's default: it must reach the prompt the user sees.
    case.key(prompt, "Return" if answer == "y" and case.managed else answer)
    wait_for("the prompt to close", lambda: not visible_windows("Warning"), 10)
    check(visible_windows("Eventi Imminenti") == [window], "the notification window stays open after the prompt")
    time.sleep(0.3)
    picture = case.shot("notification.png" if answer == "n" else "notification-after-yes.png")
    screenshot(picture, crop=place)
    # The saints line, tomorrow (important), two today, the separator, four days ahead.
    case.check_notification_lines(picture, (0, 0) + place[2:], ["green", "red", "blue", "blue", "blue", "blue"])
    check(case.running(), "the program waits for the notification to be dismissed")

    case.dismiss_notification(window, place)
    dismissed = time.monotonic()
    wait_for("the notification window to close", lambda: not visible_windows("Eventi Imminenti"), 5)
    case.compact_window("compact.png" if answer == "n" else "compact-after-yes.png")
    case.wait_exit(10)
    took = time.monotonic() - dismissed
    check(2.0 <= took <= 6.0, f"the program ended {took:.1f} s after OK (countdown of 2.5 s)")

    if answer == "n":
        check(case.read("Roradaza.dat") == WORKED_EXAMPLE and not case.written("Roradaza.dat"),
              "Roradaza.dat is untouched when the prompt is answered No")
        check(not os.path.exists(case.path("Roradaza.ini")), "no Roradaza.ini is written")
    else:
        check(case.read("Roradaza.dat") == database(ZOZADEVI, AFFITTO, PALESTRA),
              "Roradaza.dat holds the three other records, byte for byte")
        check(case.read("Roradaza.ini") == DEFAULT_SETTINGS, "Roradaza.ini holds the default settings")


def case_prompt_no(case):
    delete_prompt_case(case, "n")


def case_prompt_yes(case):
    delete_prompt_case(case, "y")


def case_nothing_due(case):
    case.write("Roradaza.dat", QUIET_DAY)
    case.write("Roradaza.ini", SAINTS_OFF)
    case.start()
    window = wait_for("the main window", main_window, START)
    shown = time.monotonic()
    seen_notification = False
    while case.running() and time.monotonic() - shown < 10:
        seen_notification = seen_notification or bool(visible_windows("Eventi Imminenti"))
        time.sleep(0.05)
    case.wait_exit(1)
    took = time.monotonic() - shown
    check(not seen_notification, "no notification window is shown")
    check(2.0 <= took <= 5.0, f"the program ended by itself {took:.1f} s after showing its window")
    check(case.read("Roradaza.dat") == QUIET_DAY and not case.written("Roradaza.dat"), "Roradaza.dat is untouched")
    check(case.read("Roradaza.ini") == SAINTS_OFF and not case.written("Roradaza.ini"), "Roradaza.ini is untouched")
    leftovers = sorted(set(os.listdir(case.folder)) - {"Roradaza", "Roradaza.dat", "Roradaza.ini", "home", "runtime",
                                                         "output.log"})
    check(not leftovers, f"nothing else is written beside the program ({leftovers})")
    case.check_autostart()
    del window


def case_stop_countdown(case, ending="menu", save_fails=False):
    """"NON chiudere!", then the way out: "&Esci" in the menu, or the end of the session (a signal).
    With save_fails, Roradaza.dat is a folder, so that every save fails for root too; the session
    ends all the same."""
    case.write("Roradaza.dat", QUIET_DAY)
    case.write("Roradaza.ini", SAINTS_OFF)
    case.start(preload=ending != "menu")
    window = wait_for("the main window", main_window, START)
    before = geometry(window)
    if case.managed:
        # Enter presses the window's default button, "NON chiudere!".
        case.check_focus(window, "the main window")
        case.key(window, "Return")
    else:
        # "NON chiudere!" at 24, 416 (241 by 25) of the full form; the compact form is 348 pixels shorter.
        click(before[0] + 24 + 120, before[1] + before[3] - COMPACT_CLIENT + 416 - 348 + 12)
    grown = wait_for("the window to expand", lambda: (lambda g: g if g and g[3] > before[3] else None)(geometry(window)),
                     5)
    check(grown[3] - before[3] == 348, f"the window grows by 348 pixels (from {before[3]} to {grown[3]})")
    check(before[1] - grown[1] == 168, f"the window moves up by 168 pixels (from y {before[1]} to {grown[1]})")
    check(grown[2] == 417, "the window keeps its width of 417")
    time.sleep(0.3)
    screenshot(case.shot("expanded.png"), window)
    time.sleep(3.5)
    check(case.running(), "the countdown stopped: the program is still running 3.5 s later")

    if save_fails:
        os.remove(case.path("Roradaza.dat"))
        os.mkdir(case.path("Roradaza.dat"))
    if ending == "menu":
        open_menu(case, window, "alt+f", 'the menu "Funzioni"')
        screenshot(case.shot("menu-funzioni.png"))
        run("xdotool", "key", "e")
        case.wait_exit(10)
    else:
        if ending == "SIGTERM":
            # The editor of a new event is open: its nameless record must not reach the file.
            click(grown[0] + 112 + 32, grown[1] + grown[3] - EXPANDED_CLIENT + 416 + 12)
            wait_for("the event editor", lambda: visible_windows("Modifica Evento"), 5, case.process)
            time.sleep(0.3)
            screenshot(case.shot("session-end-with-editor.png"))
        case.process.send_signal(getattr(signal, ending))
        # Changes lost at the end of a session are not reported as success.
        case.wait_exit(10, 1 if save_fails else 0)
    if save_fails:
        check(os.path.isdir(case.path("Roradaza.dat")) and not os.listdir(case.path("Roradaza.dat")),
              "the failed saves left Roradaza.dat as it was")
        check(case.read("Roradaza.ini") == SAINTS_OFF and not case.written("Roradaza.ini"), "Roradaza.ini is untouched")
        case.output.flush()
        with open(case.output.name) as file:
            check("Roradaza.dat" in file.read(), "the failed save is reported on the terminal")
        return
    # "NON chiudere!" sets the modified flag, so the way out saves both files.
    check(case.written("Roradaza.dat"), "Roradaza.dat is saved on the way out")
    check(case.read("Roradaza.dat") == QUIET_DAY, "the saved Roradaza.dat holds the same records, byte for byte")
    check(case.read("Roradaza.ini") == SAINTS_OFF and case.written("Roradaza.ini"), "Roradaza.ini is saved")


def tray_icon():
    """The tray icon: a small window named after the program, embedded in trayer's panel."""
    # xdotool does not match the icon's name, only its class.
    for window in visible_windows("Roradaza", "--classname"):
        place = geometry(window)
        if place and place[2] <= 64 and place[3] <= 64:
            return window
    return None


def open_menu(case, window, keys, what):
    """Presses keys (on window, or wherever the keyboard is when window is None) and waits for the menu
    they open: the new window, never a fixed time, since a loaded machine opens it late."""
    existing = set(visible_windows(".*"))
    if window is None:
        run("xdotool", "key", keys)
    else:
        case.key(window, keys)
    return wait_for(what, lambda: [w for w in visible_windows(".*") if w not in existing and geometry(w)], 5)


def open_tray_menu(icon, button, what):
    """Presses the tray icon; the menu that opens, checked to lie beside the pointer, on the screen."""
    x, y, width, height = geometry(icon)
    existing = set(visible_windows(".*"))
    click(x + width // 2, y + height // 2, button)
    menu = wait_for(f"the tray menu after a {what}",
                    lambda: [w for w in visible_windows(".*") if w not in existing and geometry(w)], 5)[0]
    place = geometry(menu)
    at = pointer()
    check(place[2] >= 80 and place[3] >= 60, f"a {what} opens the tray menu, {place[2]} by {place[3]}")
    check(not (place[0] <= at[0] < place[0] + place[2] and place[1] <= at[1] < place[1] + place[3]),
          f"the menu at {place[:2]} is not under the pointer at {at}")
    check(place[0] >= 0 and place[1] >= 0 and place[0] + place[2] <= 1024 and place[1] + place[3] <= 768,
          "the menu lies on the screen")
    return menu


def case_tray(case):
    if not shutil.which("trayer"):
        log("trayer is not installed: skipped")
        return SKIP
    case.start_helper("trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32",
                      "--SetDockType", "true", "--transparent", "false", "--expand", "false")
    # Under openbox the empty panel stays unmapped until it holds an icon.
    wait_for("the tray panel", lambda: run("xdotool", "search", "--name", "^panel$").stdout.strip(), 10)
    case.write("Roradaza.dat", QUIET_DAY)
    case.write("Roradaza.ini", TRAY_SAINTS_ON)
    case.start()
    window = wait_for("the main window", main_window, START)
    # The saints line alone shows the notification window at start-up.
    note, place = case.notification_window()
    case.dismiss_notification(note, place)
    wait_for("the main window to hide", lambda: geometry(window) is None, 10)
    icon = wait_for("the tray icon", tray_icon, 5)
    check(case.running(), "the program stays running in the tray")
    check(case.written("Roradaza.dat") and case.read("Roradaza.dat") == QUIET_DAY,
          "Roradaza.dat is saved on the way to the tray")
    check(case.written("Roradaza.ini") and case.read("Roradaza.ini") == TRAY_SAINTS_ON,
          "Roradaza.ini is saved on the way to the tray")
    os.utime(case.path("Roradaza.dat"), (OLD, OLD))
    os.utime(case.path("Roradaza.ini"), (OLD, OLD))
    time.sleep(0.3)
    screenshot(case.shot("tray.png"))

    # Either button opens the tray menu.
    popup = open_tray_menu(icon, 1, "left press")
    run("xdotool", "key", "Escape")
    wait_for("the tray menu to close", lambda: geometry(popup) is None, 5)
    open_tray_menu(icon, 3, "right press")
    time.sleep(0.3)
    screenshot(case.shot("tray-menu.png"))
    run("xdotool", "key", "c")  # "&Controlla"
    note, place = case.notification_window()
    case.check_focus(note, "the notification window")

    # With the notification window on screen over the hidden, disabled main window.
    popup = open_tray_menu(icon, 1, "left press with a notification open")
    time.sleep(0.3)
    screenshot(case.shot("tray-menu-notification.png"))
    run("xdotool", "key", "Escape")
    wait_for("the tray menu to close", lambda: geometry(popup) is None, 5)
    open_tray_menu(icon, 3, "right press with a notification open")
    run("xdotool", "key", "s")  # "E&sci"
    case.wait_exit(10)
    check(not case.written("Roradaza.dat") and not case.written("Roradaza.ini"),
          '"E&sci" with nothing modified writes nothing more')


def case_no_tray_exit(case, way):
    """A desktop with no tray (openbox, no tray host) and "Riduci a icona" on: the close box, or "&Esci" in the
    menu, ends the program as with the option off, saving what "NON chiudere!" marked as changed."""
    case.write("Roradaza.dat", QUIET_DAY)
    case.write("Roradaza.ini", TRAY_SAINTS_OFF)
    case.start()
    window = wait_for("the main window", main_window, START)
    case.check_focus(window, "the main window")
    case.key(window, "Return")
    wait_for("the window to expand", lambda: (lambda g: g and g[3] > COMPACT_CLIENT + 100)(geometry(window)), 5)
    menus = open_menu(case, window, "alt+f", 'the menu "Funzioni"') + open_menu(case, None, "c", 'the menu "Configura"')
    screenshot(case.shot("configura-no-tray.png"))
    run("xdotool", "key", "Escape", "Escape")
    wait_for("the menus to close", lambda: not set(menus) & set(visible_windows(".*")), 5)
    if way == "close box":
        # openbox's own binding for the window's close box.
        case.key(window, "alt+F4")
    else:
        open_menu(case, window, "alt+f", 'the menu "Funzioni"')
        run("xdotool", "key", "e")
    case.wait_exit(10)
    check(case.read("Roradaza.dat") == QUIET_DAY and case.written("Roradaza.dat"), "Roradaza.dat is saved on the way out")
    check(case.read("Roradaza.ini") == TRAY_SAINTS_OFF, "Roradaza.ini keeps the option on")


def case_scale_2(case):
    """QT_SCALE_FACTOR=2 on a 1280 by 800 screen: the expanded window, title, menu bar and buttons, stays on it."""
    case.env["QT_SCALE_FACTOR"] = "2"
    case.write("Roradaza.dat", QUIET_DAY)
    case.write("Roradaza.ini", SAINTS_OFF)
    case.start()
    window = wait_for("the main window", lambda: (visible_windows("Roradaza") or [None])[0], START)
    case.check_focus(window, "the main window")
    before = geometry(window)
    case.key(window, "Return")
    grown = wait_for("the window to expand",
                     lambda: (lambda g: g if g and g[3] > before[3] else None)(geometry(window)), 5)
    time.sleep(0.5)
    grown = geometry(window)
    screenshot(case.shot("scale-2.png"))
    top = frame_top(window)
    check(top >= 0, f"the title bar is on the screen (frame top {top})")
    check(grown[1] + grown[3] <= 800, f"the window's bottom edge, with its buttons, is on the screen ({grown})")
    check(grown[0] >= 0 and grown[0] + grown[2] <= 1280, f"the window is on the screen across ({grown})")
    case.key(window, "alt+f")
    time.sleep(0.5)
    run("xdotool", "key", "e")
    case.wait_exit(10)


CASES = {
    "prompt-no": case_prompt_no,
    "prompt-yes": case_prompt_yes,
    "nothing-due": case_nothing_due,
    "stop-countdown": case_stop_countdown,
    "session-end-term": lambda case: case_stop_countdown(case, "SIGTERM"),
    "session-end-hup": lambda case: case_stop_countdown(case, "SIGHUP"),
    "session-end-int": lambda case: case_stop_countdown(case, "SIGINT"),
    "save-fails-term": lambda case: case_stop_countdown(case, "SIGTERM", save_fails=True),
    "tray": case_tray,
    "no-tray-close": lambda case: case_no_tray_exit(case, "close box"),
    "no-tray-esci": lambda case: case_no_tray_exit(case, "menu"),
    "scale-2": case_scale_2,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--screenshots", required=True)
    parser.add_argument("--case", required=True, choices=sorted(CASES))
    parser.add_argument("--desktop", default="bare", choices=["bare", "openbox"])
    args = parser.parse_args()

    missing = [tool for tool in TOOLS + (["openbox", "xprop"] if args.desktop == "openbox" else [])
               if not shutil.which(tool)]
    if not os.environ.get("DISPLAY") and not shutil.which("xvfb-run"):
        missing.append("xvfb-run")
    screen = SCREEN.replace("1024x768", "1280x800") if args.case == "scale-2" else SCREEN
    status = on_a_desktop(__file__, missing, screen)
    if status is not None:
        return status

    os.makedirs(args.screenshots, exist_ok=True)
    case = Case(os.path.abspath(args.binary), os.path.abspath(args.screenshots), args.case, args.desktop)
    return run_case(case, args.case, CASES[args.case])


def run_case(case, name, body):
    """Runs body(case): its status, or 1 with a screenshot of the screen when it fails."""
    passed = False
    try:
        case.start_desktop()
        result = body(case)
        passed = True
        return result or 0
    except (Failed, subprocess.TimeoutExpired) as failure:
        log(f"FAILED: {failure}")
        try:
            screenshot(case.shot(f"failure-{name}.png"))
        except Exception:
            pass
        return 1
    finally:
        case.finish(passed)


if __name__ == "__main__":
    sys.exit(main())
