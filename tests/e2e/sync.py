#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The two-way sync end to end: the real Roradaza under Xvfb, driven with
xdotool as a person would, and a live Radicale (tests/sync/radicale.py) on a
loopback port, with a second client writing to it by plain HTTP.

One table, one row per call:

    sync.py --binary PATH --screenshots DIR --row NAME

No secret store answers in these runs (the program's session bus is out of
reach), so the password is typed once per run, as such a desktop asks it.
"""

import argparse
import os
import re
import shutil
import sys
import time
import urllib.parse
import uuid
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "sync"))

import e2e  # noqa: E402
from e2e import Failed, check, log, run, screenshot, visible_windows, wait_for  # noqa: E402

USER, PASSWORD = "anna", "segreta"
SYNC_LINE = re.compile(r"^\S+: (Sincronizzato alle .*|Sincronizzazione non riuscita: .*)$")
# Nothing here is due on 29 March 2007: no notification window comes up.
ANNA = (b"Anniversario di Anna", b"06", b"15", b"07", b"0000")
BRUNO = (b"Compleanno di Bruno", b"07", b"23", b"07", b"0000")
NICCOLO = (b"Compleanno di Niccol\xf2", b"10", b"04", b"05i", b"0000")
PALESTRA = (b"Palestra", b"##", b"Luned\xec;", b"", b"0000")


class Machine(e2e.Case):
    """One computer with its own copy of Roradaza and its own folder."""

    def __init__(self, binary, screenshots, name):
        super().__init__(binary, screenshots, name)
        # No desktop secret store: the password is asked once per run.
        self.env["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + os.path.join(self.folder, "no-bus")
        self.password_given = False
        self.window = None

    def records(self):
        """The records of Roradaza.dat as tuples of five byte strings, in file order."""
        lines = self.read("Roradaza.dat").split(e2e.CRLF)
        count = int(lines[0]) + 1
        return [tuple(lines[1 + 5 * i:6 + 5 * i]) for i in range(count)]

    def names(self):
        return sorted(record[0] for record in self.records())

    def sync_lines(self):
        self.output.flush()
        with open(self.output.name, encoding="utf-8", errors="replace") as file:
            return [line.strip() for line in file if SYNC_LINE.match(line.strip())]

    def open(self):
        """Starts the program and keeps it open ("NON chiudere!")."""
        self.password_given = False
        self.start()
        self.window = wait_for("the main window", e2e.main_window, e2e.START, self.process)
        before = e2e.geometry(self.window)
        e2e.focus_and_key(self.window, "Return")
        wait_for("the window to expand",
                 lambda: (lambda g: g and g[3] > before[3])(e2e.geometry(self.window)), 5, self.process)
        time.sleep(0.3)

    def client_top(self):
        place = e2e.geometry(self.window)
        return place[0], place[1] + place[3] - e2e.EXPANDED_CLIENT

    def menu(self, *keys):
        """Funzioni, then the keys of its entries."""
        e2e.open_menu(self, self.window, "alt+f", 'the menu "Funzioni"')
        for key in keys:
            time.sleep(0.3)
            run("xdotool", "key", key)

    def type_into(self, window, text):
        run("xdotool", "windowfocus", str(window))
        time.sleep(0.2)
        run("xdotool", "type", "--delay", "20", text)

    def dismiss_box(self, what, shot=None):
        """A box of the program (captioned as the program, not the main window): its text is seen in a screenshot."""
        box = wait_for(what, lambda: [w for w in visible_windows("Roradaza")
                                      if w != self.window and (e2e.geometry(w) or (0, 0, 417))[2] != 417], 15,
                       self.process)[0]
        time.sleep(0.3)
        if shot:
            screenshot(self.shot(shot))
        e2e.focus_and_key(box, "Return")
        wait_for(f"{what} to close", lambda: e2e.geometry(box) is None, 5, self.process)

    def configure(self, address, user=USER, password=PASSWORD, shot=None, prova=False):
        """Funzioni, Configura, Sincronizzazione: address, user, password, ("Prova",) OK."""
        self.menu("c", "z")
        dialog = wait_for('the window "Sincronizzazione"', lambda: visible_windows("Sincronizzazione"), 10,
                          self.process)[0]
        self.type_into(dialog, address)
        run("xdotool", "key", "Tab")
        run("xdotool", "type", "--delay", "20", user)
        run("xdotool", "key", "Tab")
        run("xdotool", "type", "--delay", "20", password)
        if prova:
            # The list of calendars found opens in the window, which grows to show it.
            height = e2e.geometry(dialog)[3]
            run("xdotool", "key", "alt+r")
            wait_for("the calendars found", lambda: e2e.geometry(dialog)[3] > height + 30, 30, self.process)
        time.sleep(0.3)
        if shot:
            screenshot(self.shot(shot))
        run("xdotool", "key", "Return")
        wait_for('"Sincronizzazione" to close', lambda: e2e.geometry(dialog) is None, 10, self.process)
        self.dismiss_box("the word that no secret store keeps the password")
        self.password_given = True

    def sync_now(self, password=PASSWORD, during=None, timeout=60):
        """"Sincronizza ora", typing the password when asked; gives the line the sync ended with."""
        seen = len(self.sync_lines())
        self.menu("o")
        if not self.password_given:
            prompt = wait_for("the password prompt", lambda: visible_windows("Sincronizzazione"), 10,
                              self.process)[0]
            self.type_into(prompt, password)
            run("xdotool", "key", "Return")
            self.password_given = password == PASSWORD
        if during:
            during()
        return self.wait_sync(seen, timeout)

    def wait_sync(self, seen, timeout=60):
        lines = wait_for("the sync to end", lambda: self.sync_lines()[seen:], timeout, self.process)
        log(f"sync: {lines[0]}")
        return lines[0]

    def close(self):
        e2e.open_menu(self, self.window, "alt+f", 'the menu "Funzioni"')
        run("xdotool", "key", "e")
        self.wait_exit(30)
        self.output.close()

    def rename_first(self, new_name):
        """The first record of the list, renamed in the editor."""
        x, top = self.client_top()
        e2e.click(x + 60, top + 32 + 30)
        time.sleep(0.3)
        e2e.focus_and_key(self.window, "alt+m")
        editor = wait_for("the event editor", lambda: visible_windows("Modifica Evento"), 10, self.process)[0]
        time.sleep(0.3)
        run("xdotool", "key", "ctrl+a")
        run("xdotool", "type", "--delay", "20", new_name)
        run("xdotool", "key", "alt+o")
        wait_for("the editor to close", lambda: e2e.geometry(editor) is None, 10, self.process)

    def delete_first(self):
        x, top = self.client_top()
        e2e.click(x + 60, top + 32 + 30)
        time.sleep(0.3)
        e2e.focus_and_key(self.window, "Delete")
        confirm = wait_for("the delete question", lambda: visible_windows("Confirm"), 10, self.process)[0]
        e2e.focus_and_key(confirm, "Return")
        wait_for("the question to close", lambda: e2e.geometry(confirm) is None, 5, self.process)


# --- the server seen by a second client ---

def server_events(server, calendar):
    """{href: (uid, summary, body)} of every event in the calendar, read by PROPFIND and GET."""
    path = urllib.parse.urlsplit(calendar).path
    status, _, body = server.request(USER, "PROPFIND", path, b"", {"Depth": "1"})
    check(status == 207, f"PROPFIND of the calendar answers 207 (got {status})")
    events = {}
    for href in ElementTree.fromstring(body).iter("{DAV:}href"):
        target = urllib.parse.unquote(href.text)
        if not target.endswith(".ics"):
            continue
        status, _, data = server.request(USER, "GET", target)
        text = data.decode("utf-8")
        unfolded = re.sub(r"\r?\n[ \t]", "", text)
        uid = re.search(r"^UID:(.*)$", unfolded, re.M).group(1).strip()
        summary = re.search(r"^SUMMARY[^:]*:(.*)$", unfolded, re.M).group(1).strip()
        events[target] = (uid, summary, text)
    return events


def summaries(server, calendar):
    return sorted(summary for _, summary, _ in server_events(server, calendar).values())


def uid_of(server, calendar, summary):
    found = [uid for uid, name, _ in server_events(server, calendar).values() if name == summary]
    check(len(found) == 1, f'the server holds "{summary}" once ({len(found)})')
    return found[0]


def phone_event(uid, summary, month, day):
    """An event as a phone's calendar writes it: a yearly all-day event."""
    return ("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Test//Telefono//IT\r\nBEGIN:VEVENT\r\n"
            f"UID:{uid}\r\nDTSTAMP:20070101T000000Z\r\nDTSTART;VALUE=DATE:2006{month:02d}{day:02d}\r\n"
            f"RRULE:FREQ=YEARLY\r\nSUMMARY:{summary}\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")


def decode(name):
    return name.decode("cp1252")


# --- the table ---

class World:
    def __init__(self, args, server, proxy):
        self.args, self.server, self.proxy = args, server, proxy
        self.machines = []
        self.calendar = server.calendar_url(USER, "compleanni")
        self.path = urllib.parse.urlsplit(self.calendar).path
        self.through_proxy = proxy.url.rstrip("/") + self.path

    def machine(self, name, *records, address=None, shot=None, prova=False):
        machine = Machine(self.args.binary, self.args.screenshots, f"sync-{self.args.row}-{name}")
        machine.write("Roradaza.dat", e2e.database(*records))
        machine.write("Roradaza.ini", e2e.SAINTS_OFF)
        self.machines.append(machine)
        machine.open()
        machine.configure(address or self.calendar, shot=shot, prova=prova)
        return machine


def first_sync(world):
    # The server's root: "Prova" lists the user's two calendars and the first is taken.
    other = world.server.calendar_url(USER, "lavoro")
    a = world.machine("a", ANNA, NICCOLO, PALESTRA, address=world.server.url, shot="sync-window.png", prova=True)
    line = a.wait_sync(0)
    check("Sincronizzato alle" in line, f"the first sync went through ({line})")
    filled = [url for url in (world.calendar, other) if summaries(world.server, url)]
    check(len(filled) == 1, "one calendar, the one picked, holds the events")
    check(summaries(world.server, filled[0]) == sorted(decode(r[0]) for r in (ANNA, NICCOLO, PALESTRA)),
          "every record is an event on the server")
    a.close()
    check(os.path.exists(a.path("Roradaza.sync")), "the sync's state is kept in Roradaza.sync beside Roradaza.dat")
    for name in os.listdir(a.folder):
        if os.path.isfile(a.path(name)) and name != "Roradaza":
            check(PASSWORD.encode() not in a.read(name), f"the password is written in no file ({name})")


def edit_and_rename(world):
    a = world.machine("a", ANNA, BRUNO)
    a.wait_sync(0)
    uid = uid_of(world.server, world.calendar, "Anniversario di Anna")
    a.rename_first("Anniversario di Anna e Luca")
    time.sleep(0.3)
    screenshot(a.shot("sync-renamed.png"))
    a.sync_now()
    check(summaries(world.server, world.calendar) == ["Anniversario di Anna e Luca", "Compleanno di Bruno"],
          "the rename replaced the event: the old name is gone from the server")
    check(uid_of(world.server, world.calendar, "Anniversario di Anna e Luca") == uid,
          "the renamed event keeps its UID")
    a.close()
    # Next run: the UID still follows the record, known by its saved fields.
    a.open()
    a.rename_first("Anniversario di Anna e Luca!")
    a.sync_now()
    check(uid_of(world.server, world.calendar, "Anniversario di Anna e Luca!") == uid,
          "renamed again after a restart, it keeps its UID")
    a.close()


def delete_each_way(world):
    a = world.machine("a", ANNA, BRUNO, PALESTRA)
    a.wait_sync(0)
    a.delete_first()  # "Anniversario di Anna"
    a.sync_now()
    check(summaries(world.server, world.calendar) == ["Compleanno di Bruno", "Palestra"],
          "a record deleted here is deleted on the server")
    href = next(h for h, (_, name, _) in server_events(world.server, world.calendar).items() if name == "Palestra")
    status, _, _ = world.server.request(USER, "DELETE", href)
    check(status in (200, 204), f"a second client deletes Palestra on the server ({status})")
    a.sync_now()
    a.close()
    check(a.names() == [BRUNO[0]], "an event deleted on the server is deleted here")


def added_on_server(world):
    a = world.machine("a", ANNA)
    a.wait_sync(0)
    status = world.server.put_event(USER, "compleanni", "telefono-1",
                                    phone_event("telefono-1", "Compleanno di Zoe", 5, 17))
    check(status in (201, 204), f"a second client adds an event by PUT ({status})")
    a.sync_now()
    a.close()
    check(b"Compleanno di Zoe" in a.names(), "the phone's event became a record")
    zoe = next(r for r in a.records() if r[0] == b"Compleanno di Zoe")
    check(zoe[1:3] == (b"05", b"17"), f"on 17 May ({zoe})")

    # A meeting every third day cannot become a record: it is listed, and left on the server.
    odd = phone_event("telefono-3", "Riunione ogni tre giorni", 5, 2).replace("FREQ=YEARLY", "FREQ=DAILY;INTERVAL=3")
    world.server.put_event(USER, "compleanni", "telefono-3", odd)
    a.open()
    seen = len(a.sync_lines())
    a.menu("o")
    prompt = wait_for("the password prompt", lambda: visible_windows("Sincronizzazione"), 10, a.process)[0]
    a.type_into(prompt, PASSWORD)
    run("xdotool", "key", "Return")
    window = wait_for("the list of events left on the server",
                      lambda: visible_windows("Sincronizzazione: da decidere"), 60, a.process)[0]
    time.sleep(0.3)
    screenshot(a.shot("sync-left-on-server.png"))
    e2e.focus_and_key(window, "Return")
    a.wait_sync(seen)
    a.close()
    check(b"Riunione ogni tre giorni" not in a.names(), "the event that cannot be a record is not in the list")
    check("Riunione ogni tre giorni" in summaries(world.server, world.calendar), "and it is still on the server")


def conflict(world):
    a = world.machine("a", ANNA)
    a.wait_sync(0)
    href, (uid, _, body) = next(iter(server_events(world.server, world.calendar).items()))
    changed = re.sub(r"SUMMARY[^:\r\n]*:[^\r\n]*", "SUMMARY:Anniversario di Anna (dal telefono)", body)
    status, _, _ = world.server.request(USER, "PUT", href, changed, {"Content-Type": "text/calendar"})
    check(status in (201, 204), f"a second client changes the event ({status})")
    a.rename_first("Anniversario di Anna (dal PC)")
    seen = len(a.sync_lines())
    a.menu("o")
    window = wait_for("the conflict window", lambda: visible_windows("Sincronizzazione: da decidere"), 60,
                      a.process)[0]
    time.sleep(0.5)
    screenshot(a.shot("sync-conflict.png"))
    e2e.focus_and_key(window, "Return")  # decide later: both are kept
    a.wait_sync(seen)
    check(summaries(world.server, world.calendar) == ["Anniversario di Anna (dal telefono)"],
          "the server keeps its version")
    a.close()
    check(a.names() == [b"Anniversario di Anna (dal PC)"], "the list keeps the local version")

    # Next run: asked for, the choice comes back; the server's version is kept, under the same UID.
    a.open()
    seen = len(a.sync_lines())
    a.menu("o")
    prompt = wait_for("the password prompt", lambda: visible_windows("Sincronizzazione"), 10, a.process)[0]
    a.type_into(prompt, PASSWORD)
    run("xdotool", "key", "Return")
    window = wait_for("the conflict window again", lambda: visible_windows("Sincronizzazione: da decidere"), 60,
                      a.process)[0]
    e2e.focus_and_key(window, "alt+s")
    time.sleep(0.3)
    screenshot(a.shot("sync-conflict-server-chosen.png"))
    e2e.focus_and_key(window, "Return")
    a.wait_sync(seen)
    a.close()
    check(a.names() == [b"Anniversario di Anna (dal telefono)"], "the list took the server's version")
    check(uid_of(world.server, world.calendar, "Anniversario di Anna (dal telefono)") == uid,
          "one event on the server, with its UID")


def failure_row(world, kind):
    """A sync that fails leaves Roradaza.dat byte for byte as it was, and says why, once."""
    a = world.machine("a", ANNA, address=world.through_proxy)
    a.wait_sync(0)
    a.close()
    os.utime(a.path("Roradaza.dat"), (e2e.OLD, e2e.OLD))
    before = a.read("Roradaza.dat")
    # A change on the server for the sync to bring, were it to go through.
    world.server.put_event(USER, "compleanni", "telefono-2", phone_event("telefono-2", "Compleanno di Ugo", 2, 3))
    a.open()
    password = PASSWORD
    during = None
    expected = {"401": "(401)", "507": "(507)", "stopped": "Il server non risponde", "slow": "in tempo"}[kind]
    if kind == "401":
        password = "sbagliata"
    elif kind == "507":
        a.rename_first("Anniversario di Anna (da inviare)")
        world.proxy.fail(507, methods=("PUT",))
    elif kind == "stopped":
        world.proxy.delay(3)
        during = lambda: (time.sleep(1), world.server.stop())  # noqa: E731
    elif kind == "slow":
        world.proxy.delay(600)

        def during():
            # Never blocking: the caption says so, and the menus open while the server keeps silent.
            caption = wait_for("the caption to tell of the sync",
                               lambda: "sincronizzazione in corso" in run("xdotool", "getwindowname",
                                                                          str(a.window)).stdout, 10, a.process)
            check(caption, "the caption says a sync is under way")
            screenshot(a.shot("sync-in-progress.png"))
            menu = e2e.open_menu(a, a.window, "alt+f", 'the menu "Funzioni" during the sync')
            run("xdotool", "key", "Escape")
            wait_for("the menu to close", lambda: not set(menu) & set(visible_windows(".*")), 5)
    line = a.sync_now(password, during, timeout=300 if kind == "slow" else 60)
    check(expected in line and "non riuscita" in line, f"the failure is named ({line})")
    a.dismiss_box("the failure's box", shot=f"sync-failure-{kind}.png")
    check(not a.written("Roradaza.dat") and a.read("Roradaza.dat") == before,
          "Roradaza.dat is byte for byte as before the sync")
    world.proxy.clear()
    if kind == "stopped":
        world.server.start()
    a.close()


def two_folders(world):
    # One program at a time on the one display, as two computers would each show their own.
    a = world.machine("a", ANNA, PALESTRA)
    a.wait_sync(0)
    a.close()
    b = world.machine("b", BRUNO, NICCOLO)
    b.wait_sync(0)
    b.close()
    a.open()
    a.sync_now()
    a.close()
    check(a.names() == b.names() == sorted(r[0] for r in (ANNA, BRUNO, NICCOLO, PALESTRA)),
          f"both folders hold the same four records ({a.names()} / {b.names()})")
    check(sorted(a.records()) == sorted(b.records()), "record for record, byte for byte")


ROWS = {
    "first-sync": first_sync,
    "edit-rename": edit_and_rename,
    "delete-each-way": delete_each_way,
    "added-on-server": added_on_server,
    "conflict": conflict,
    "stopped": lambda world: failure_row(world, "stopped"),
    "401": lambda world: failure_row(world, "401"),
    "507": lambda world: failure_row(world, "507"),
    "slow": lambda world: failure_row(world, "slow"),
    "two-folders": two_folders,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--screenshots", required=True)
    parser.add_argument("--row", required=True, choices=sorted(ROWS))
    args = parser.parse_args()
    missing = [tool for tool in e2e.TOOLS + ["radicale"] if not shutil.which(tool)]
    if not os.environ.get("DISPLAY") and not shutil.which("xvfb-run"):
        missing.append("xvfb-run")
    status = e2e.on_a_desktop(__file__, missing)
    if status is not None:
        return status
    import radicale as fixture
    os.makedirs(args.screenshots, exist_ok=True)
    world = None
    passed = False
    try:
        with fixture.Radicale(tls=False, users={USER: PASSWORD}) as server, fixture.FaultProxy(server) as proxy:
            world = World(args, server, proxy)
            ROWS[args.row](world)
            passed = True
    except (Failed, OSError, RuntimeError) as failure:
        log(f"FAILED: {failure}")
        try:
            screenshot(os.path.join(args.screenshots, f"failure-sync-{args.row}.png"))
        except Exception:
            pass
    finally:
        for machine in world.machines if world else []:
            machine.finish(passed)
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
