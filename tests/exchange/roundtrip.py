#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""roradaza-check --calendar <(roradaza-check --to-ics --db X) --date D must
print exactly what roradaza-check --db X --date D prints, for random lists of
records such as the editor writes (any two-digit day and advance, markers,
specific years) and random days; the same after another program's parser
(Python's icalendar) wrote the calendar again. Without our own record property
the calendar's rules alone must still announce the same events on the day.

Usage: roundtrip.py RORADAZA_CHECK [LISTS [DAYS [SEED]]]"""

import datetime
import os
import random
import subprocess
import sys
import tempfile

WEEKDAYS = ["Lunedì", "Martedì", "Mercoledì", "Giovedì", "Venerdì", "Sabato", "Domenica"]
WORDS = ["Compleanno di", "Onomastico di", "Pagare", "Esame", "Visita", "Cena da", "Bolletta", "Palestra"]
NAMES = ["Anna", "andrea", "Niccolò", "Zoë", "Élodie", "D'Amico", "Renée €", "Tra noi", "Zeno"]


def two(n):
    return f"{n:02}"


def record(rng):
    name = f"{rng.choice(WORDS)} {rng.choice(NAMES)}"
    if rng.random() < 0.3:
        name = name[0].lower() + name[1:] if rng.random() < 0.1 else name
    year = "0000" if rng.random() < 0.7 else str(rng.randint(2000, 2040))
    important = rng.random() < 0.2
    auto = rng.random() < 0.15
    if rng.random() < 0.2:
        days = [d for d in WEEKDAYS if rng.random() < 0.35] or [rng.choice(WEEKDAYS)]
        day = "".join(d + ";" for d in days) + ("A" if auto else "")
        advance = rng.choice(["", "00", "07"])
        if important:
            advance = (advance or "0") + "i"
        return [name, "##", day, advance, year]
    month = rng.randint(0, 12)
    day = rng.choice([rng.randint(1, 28), rng.randint(29, 31), rng.randint(0, 99)])
    advance = rng.choice([rng.randint(0, 10), rng.randint(0, 99)])
    return [name, two(month), two(day) + ("A" if auto else ""), two(advance) + ("i" if important else ""), year]


def database(records):
    lines = [str(len(records) - 1)] + [field for r in records for field in r]
    return "".join(line + "\r\n" for line in lines).encode("cp1252")


def announced(output):
    """The events announced for the day, named as the editor writes them."""
    days = []
    for line in output.decode("utf-8", "replace").splitlines():
        if line.startswith("OGGI:"):
            text = line[len("OGGI:"):].strip()
            days.append(text[:1].upper() + text[1:])
    return sorted(days)


def icalendar_python():
    """A Python that has the icalendar module, or None."""
    for python in (sys.executable, "/usr/bin/python3"):
        if subprocess.run([python, "-c", "import icalendar"], capture_output=True).returncode == 0:
            return python
    return None


REWRITE = ("import icalendar, sys; "
           "sys.stdout.buffer.write(icalendar.Calendar.from_ical(sys.stdin.buffer.read()).to_ical())")


def main():
    check = sys.argv[1]
    lists = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    days = int(sys.argv[3]) if len(sys.argv) > 3 else 8
    rng = random.Random(int(sys.argv[4]) if len(sys.argv) > 4 else 11)
    compared = 0
    python = icalendar_python()
    with tempfile.TemporaryDirectory() as folder:
        db = os.path.join(folder, "Roradaza.dat")
        for _ in range(lists):
            with open(db, "wb") as f:
                f.write(database([record(rng) for _ in range(rng.randint(1, 80))]))
            for _ in range(days):
                day = datetime.date(2005, 1, 1) + datetime.timedelta(days=rng.randint(0, 30 * 366))
                date = day.strftime("%d/%m/%Y")
                options = f"--date {date} --saints --color=always"
                direct = subprocess.run(["bash", "-c", f'"$0" --db "$1" {options}', check, db],
                                        capture_output=True)
                export = f'"$0" --to-ics --db "$1" --date {date} 2>/dev/null'
                ways = {"": export, "without X-RORADAZA-RECORD": export + " | grep -v '^X-RORADAZA-RECORD'"}
                if python:
                    ways["rewritten by icalendar"] = f'{export} | "{python}" -c "{REWRITE}"'
                for way, calendar in ways.items():
                    through = subprocess.run(["bash", "-c", f'"$0" --calendar <({calendar}) {options}', check, db],
                                             capture_output=True)
                    if way.startswith("without"):
                        same = announced(direct.stdout) == announced(through.stdout)
                    else:
                        same = ((direct.stdout, direct.stderr, direct.returncode) ==
                                (through.stdout, through.stderr, through.returncode))
                    if not same:
                        print(f"differs on {date} for {db} {way}:")
                        print(direct.stdout.decode(), direct.stderr.decode(), direct.returncode)
                        print(through.stdout.decode(), through.stderr.decode(), through.returncode)
                        os.replace(db, os.path.join(tempfile.gettempdir(), "roundtrip-failed.dat"))
                        print("kept as", os.path.join(tempfile.gettempdir(), "roundtrip-failed.dat"))
                        return 1
                    compared += 1
        # The last list's calendar opens in another program's parser.
        exported = subprocess.run([check, "--to-ics", "--db", db], capture_output=True).stdout
        events = exported.count(b"BEGIN:VEVENT")
        parse = ("import icalendar, sys; c = icalendar.Calendar.from_ical(sys.stdin.buffer.read()); "
                 f"assert len(c.walk('VEVENT')) == {events}; print('icalendar:', {events}, 'events read')")
        if python and subprocess.run([python, "-c", parse], input=exported).returncode != 0:
            return 1
    print(f"round trip: {lists} lists, {compared} comparisons ({len(ways)} ways a day), all the same")
    return 0


if __name__ == "__main__":
    sys.exit(main())
