#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Check the layout of saints.txt, the Italian name-day table.

Usage: check-saints.py [path]   (default: saints.txt next to this script)
Prints "ok" and exits 0, or lists the problems and exits 1.
"""

import os
import sys

MONTHS = [
    ("GENNAIO", 31), ("FEBBRAIO", 29), ("MARZO", 31), ("APRILE", 30),
    ("MAGGIO", 31), ("GIUGNO", 30), ("LUGLIO", 31), ("AGOSTO", 31),
    ("SETTEMBRE", 30), ("OTTOBRE", 31), ("NOVEMBRE", 30), ("DICEMBRE", 31),
]

# (month number, day) -> exact text of the row
FIXED = {
    (1, 1): "Maria Madre di Dio",
    (2, 1): "Brigida, Veridiana, Brigida",
    (3, 1): "Albino, Alba, Ugo, Ermes, Ermete",
    (4, 1): "Dora, Irene, Ugo, Doriana",
    (5, 1): "Brunella, Giuseppe",
    (6, 1): "Giustino, Lia, Graziano, Lia",
    (7, 1): "Ester, Carolina",
    (8, 1): "Alfonso",
    (9, 1): "Egidio, Giosu\u00e8",
    (10, 1): "Teresa, Ariel, Ariele, Remigio",
    (12, 1): "Eligio, Natalia, Natalina, Mariano",
    (2, 14): "Valentino, Valentina",
    (3, 19): "Giuseppe, Giuseppina, Pino, Pina, Sibilla, Quartilla",
    (6, 29): "Pietro, Paolo, Paola, Piera, Piero, Pierina, Pieruccia",
    (8, 15): "Assunta, Tarcisio, Tarcisia",
    (10, 2): "===",
    (10, 4): "Francesco, Francesca, Berenice, Nice, Petronio, Petronia",
    (11, 2): "Tobia",
    (12, 26): "Stefano",
}

ALL_SAINTS_START = "Cassandra, Allegra, Altea, Amina, Arabella, "
ALL_SAINTS_LEN = 951
TOTAL_LINES = 12 + sum(n for _, n in MONTHS)


def check(path):
    problems = []
    try:
        raw = open(path, "rb").read()
    except OSError as e:
        return ["cannot read %s: %s" % (path, e)]

    if raw.startswith(b"\xef\xbb\xbf"):
        problems.append("file starts with a BOM")
    if b"\r" in raw:
        problems.append("file contains CR characters (LF line ends only)")
    if not raw.endswith(b"\n"):
        problems.append("file does not end with LF")
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as e:
        return problems + ["not valid UTF-8: %s" % e]

    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    if len(lines) != TOTAL_LINES:
        problems.append("expected %d lines, found %d" % (TOTAL_LINES, len(lines)))

    for i, line in enumerate(lines, 1):
        if line == "":
            problems.append("line %d is empty" % i)
        if line != line.rstrip(" \t"):
            problems.append("line %d has trailing blanks" % i)
        if line != line.lstrip(" \t"):
            problems.append("line %d has leading blanks" % i)
        for ch in line:
            try:
                ch.encode("cp1252")
            except UnicodeEncodeError:
                problems.append("line %d: character %r (U+%04X) not in cp1252"
                                % (i, ch, ord(ch)))

    # walk the sections
    rows = {}  # (month, day) -> (line number, text)
    pos = 0
    for m, (name, days) in enumerate(MONTHS, 1):
        marker = "@" + name
        if pos >= len(lines):
            problems.append("missing section %s" % marker)
            break
        if lines[pos] != marker:
            problems.append("line %d: expected marker %s, found %r"
                            % (pos + 1, marker, lines[pos][:40]))
        pos += 1
        for d in range(1, days + 1):
            if pos >= len(lines):
                problems.append("section %s ends early at day %d" % (marker, d))
                break
            line = lines[pos]
            if line.startswith("@"):
                problems.append("line %d: day %d of %s begins with '@'"
                                % (pos + 1, d, marker))
                break
            rows[(m, d)] = (pos + 1, line)
            pos += 1
    if pos < len(lines):
        problems.append("extra lines after @DICEMBRE from line %d" % (pos + 1))

    for i, line in enumerate(lines, 1):
        if line.startswith("@") and line[1:] not in [n for n, _ in MONTHS]:
            problems.append("line %d begins with '@' but is no marker" % i)

    # day lines: list format and repeats
    for (m, d), (ln, line) in sorted(rows.items()):
        if (m, d) in FIXED or line == "===":
            continue
        names = line.split(", ")
        if any(n == "" or n != n.strip() or "," in n for n in names):
            problems.append("line %d: badly separated list %r" % (ln, line[:60]))
        if len(set(names)) != len(names):
            problems.append("line %d: a name repeats" % ln)

    for (m, d), want in sorted(FIXED.items()):
        if (m, d) not in rows:
            continue
        ln, got = rows[(m, d)]
        if got != want:
            problems.append("line %d (%d/%d): expected %r, found %r"
                            % (ln, d, m, want, got))

    if (11, 1) in rows:
        ln, ns = rows[(11, 1)]
        if len(ns) != ALL_SAINTS_LEN:
            problems.append("line %d (1/11): %d characters, expected %d"
                            % (ln, len(ns), ALL_SAINTS_LEN))
        if not ns.startswith(ALL_SAINTS_START):
            problems.append("line %d (1/11): wrong beginning" % ln)
        if ns.endswith(",") or ns.endswith(" "):
            problems.append("line %d (1/11): does not end with a name" % ln)
        names = ns.split(", ")
        if len(set(names)) != len(names):
            problems.append("line %d (1/11): a name repeats" % ln)
        longer = sorted(l2 for (m, d), (l2, other) in rows.items()
                        if (m, d) != (11, 1) and len(other) >= len(ns))
        if longer:
            problems.append("1/11 is not the longest line; not shorter: lines %s"
                            % ", ".join(map(str, longer[:10])))

    if (10, 2) in rows:
        short = sorted(l2 for (m, d), (l2, other) in rows.items()
                       if (m, d) != (10, 2) and len(other) <= 3)
        if short:
            problems.append("lines not longer than 3 characters: %s"
                            % ", ".join(map(str, short[:10])))

    return problems


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "saints.txt")
    problems = check(path)
    if problems:
        for p in problems:
            print(p)
        return 1
    print("ok")
    return 0


if __name__ == "__main__":
    sys.exit(main())
