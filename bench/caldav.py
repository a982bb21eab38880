#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Fills a local Radicale with COUNT events (written straight into its
storage, as many PUTs would leave them) and runs caldav_timing or caldav_sync
on it under /usr/bin/time -v. With --create the calendar starts empty and the
program writes the COUNT events itself, one request each, as a first sync does.
Usage: bench/caldav.py BUILD/bin/caldav_timing|caldav_sync [COUNT] [--tls] [--create]"""

import base64
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "sync"))
from radicale import Radicale  # noqa: E402


def fill(server, user, name, count):
    folder = os.path.join(server.folder, "storage", "collection-root", user, name)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, ".Radicale.props"), "w", encoding="utf-8") as f:
        json.dump({"tag": "VCALENDAR", "D:displayname": name, "C:supported-calendar-component-set": "VEVENT"}, f)
    for i in range(count):
        month, day = i % 12 + 1, i % 28 + 1
        with open(os.path.join(folder, f"evento-{i}.ics"), "w", encoding="utf-8", newline="") as f:
            f.write("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Roradaza//IT\r\nBEGIN:VEVENT\r\n"
                    f"UID:evento-{i}\r\nDTSTAMP:20260101T000000Z\r\nDTSTART;VALUE=DATE:2026{month:02}{day:02}\r\n"
                    f"RRULE:FREQ=YEARLY\r\nSUMMARY:Compleanno numero {i}\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")


def warm(server, user, name):
    """Radicale keeps a cache of what each event holds, written by each PUT:
    events written straight to its storage make the first request build it
    (minutes at 65 535). One request builds it here, as the PUTs would have."""
    connection = server.connection(timeout=3600)
    credentials = base64.b64encode(f"{user}:{server.users[user]}".encode("utf-8")).decode("ascii")
    connection.request("PROPFIND", f"/{user}/{name}/", headers={"Depth": "0", "Authorization": "Basic " + credentials},
                       body='<?xml version="1.0"?><D:propfind xmlns:D="DAV:"><D:prop><D:sync-token/>'
                            '</D:prop></D:propfind>')
    connection.getresponse().read()
    connection.close()


def main():
    binary = sys.argv[1]
    numbers = [a for a in sys.argv[2:] if a.isdigit()]
    count = int(numbers[0]) if numbers else 65535
    tls = "--tls" in sys.argv
    create = "--create" in sys.argv
    with Radicale(tls=tls, users={"anna": "segreta"}) as server:
        server.calendar_url("anna", "tanti")
        if not create:
            fill(server, "anna", "tanti", count)
            warm(server, "anna", "tanti")
        command = ["/usr/bin/time", "-v", binary, server.url + "anna/tanti/", "anna", "segreta",
                   server.fingerprint or "", "600", str(count if create else 0)]
        return subprocess.call(command)


if __name__ == "__main__":
    sys.exit(main())
