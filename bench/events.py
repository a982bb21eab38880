# SPDX-License-Identifier: GPL-3.0-or-later
"""The generated events of the benchmarks, as bench/generate.h makes them.

Record k depends only on k. Of every 20 records, 14 are yearly (the last two
of those in one year, 2020 to 2030), 4 monthly and 2 weekly. The benchmark
scripts share this one generator, so that they measure the same events.
"""

M = 0xFFFFFFFF

WHAT = ["Compleanno di", "Onomastico di", "Anniversario di", "Pagare", "Visita da",
        "Telefonare a", "Esame con", "Cena da", "Riunione con", "Regalo per"]
FIRST = ["Andrea", "anna", "Niccolò", "Zoë", "Luca", "Chiara",
         "Élodie", "Giulia", "Federica", "Mattia", "Beatrice", "Ettore"]
LAST = ["Rossi", "Bianchi", "D'Amico", "Esposito", "Ferrari", "Galli",
        "Lombardi", "Ricci", "Marinò", "Bruno", "De Luca", "Conti"]
LENGTH = [31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31]
WEEKDAYS = ["Lunedì", "Martedì", "Mercoledì", "Giovedì", "Venerdì", "Sabato", "Domenica"]


def mix(x):
    x ^= x >> 16
    x = (x * 0x7FEB352D) & M
    x ^= x >> 15
    x = (x * 0x846CA68B) & M
    x ^= x >> 16
    return x


def name(k, h=None):
    """The name of record k, from its own hash unless one is given."""
    g = mix(k ^ 0x9E3779B9) if h is None else h
    return f"{WHAT[g % 10]} {FIRST[(g >> 4) % 12]} {LAST[(g >> 8) % 12]} {k}"


def records(count, advance=-1):
    """(kind, fields) for each record, markers off: kind is "yearly", "monthly"
    or "weekly"; fields are name, month, day, advance and year. A yearly
    event's advance is `advance` when it is 0 or more."""
    for k in range(count):
        h, kind = mix(k), k % 20
        if kind < 14:
            month = 1 + h % 12
            day = 1 + (h >> 4) % LENGTH[month - 1]
            warn = advance if advance >= 0 else (h >> 9) % 15
            year = 2020 + (h >> 13) % 11 if kind >= 12 else 0
            yield "yearly", [name(k), f"{month:02}", f"{day:02}", f"{warn:02}", f"{year:04}"]
        elif kind < 18:
            yield "monthly", [name(k), "00", f"{1 + (h >> 4) % 28:02}", f"{(h >> 9) % 8:02}", "0000"]
        else:
            one, two, both = (h >> 4) % 7, (h >> 7) % 7, (h >> 10) % 2 == 0
            days = "".join(WEEKDAYS[i] + ";" for i in range(7) if i == one or (i == two and both))
            yield "weekly", [name(k), "##", days, "00", "0000"]


def database(fields):
    """The bytes of a Roradaza.dat holding these records, in this order."""
    lines = [str(len(fields) - 1)] + [text for record in fields for text in record]
    return "".join(line + "\r\n" for line in lines).encode("cp1252")
