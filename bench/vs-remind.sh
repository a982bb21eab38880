#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times the terminal check side by side with remind on the same generated
# events: bench/vs-remind.sh [--advance99] [--runs R] N [DD/MM/YYYY]
#
# The N events are those of bench/generate.h without the important and
# auto-delete markers (yearly, in one specific year, monthly, weekly), written
# once as a Roradaza.dat and once as a remind script. --advance99 gives every
# yearly event 99 days of advance. The two programs run alternately, R times
# each (11 by default); the medians of the whole-process times are printed
# with their ratio, beside each program's median peak memory. RORADAZA_CHECK
# names the check program to time (default: build/bin/roradaza-check here).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
check=${RORADAZA_CHECK:-$here/../build/bin/roradaza-check}
advance=-1
runs=11
while [ $# -gt 0 ]; do
    case $1 in
    --advance99) advance=99; shift ;;
    --runs) runs=$2; shift 2 ;;
    -h | --help) sed -n '3,12s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -*) echo "opzione sconosciuta: $1" >&2; exit 2 ;;
    *) break ;;
    esac
done
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "uso: $0 [--advance99] [--runs R] N [GG/MM/AAAA]" >&2
    exit 2
fi
count=$1
# Mid-month by default: a monthly event early next month is announced by
# remind but not by the check, which rolls over only dated events.
day=${2:-14/03/2025}

if ! command -v remind >/dev/null; then
    echo "remind manca: lo installo" >&2
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq >&2
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends remind >&2
fi
if [ ! -x "$check" ]; then
    echo "$check non trovato: compila prima roradaza-check o imposta RORADAZA_CHECK" >&2
    exit 1
fi

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT

python3 - "$count" "$advance" "$folder" "$(dirname "$0")" <<'EOF'
import sys

count, advance, folder = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
sys.path.insert(0, sys.argv[4])
from events import WEEKDAYS, database, records

REMIND_WEEKDAYS = ["Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"]
REMIND_MONTHS = ["Jan", "Feb", "Mar", "Apr", "May", "Jun",
                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"]

dat = []
rem = []
for kind, (n, month, day, adv, year) in records(count, advance):
    dat.append([n, month, day, adv, year])
    if kind == "yearly":
        when = f"{int(day)} {REMIND_MONTHS[int(month) - 1]}" + (f" {year}" if year != "0000" else "")
        rem.append(f"REM {when} +{int(adv)} MSG {n} %b")
    elif kind == "monthly":
        rem.append(f"REM {int(day)} +{int(adv)} MSG {n} %b")
    else:
        days = [i for i, weekday in enumerate(WEEKDAYS) if weekday + ";" in day]
        rem.append(f"REM {' '.join(REMIND_WEEKDAYS[i] for i in days)} MSG {n} %b")

with open(f"{folder}/Roradaza.dat", "wb") as out:
    out.write(database(dat))
with open(f"{folder}/events.rem", "w", encoding="utf-8") as out:
    out.write("".join(line + "\n" for line in rem))
EOF

IFS=/ read -r dd mm yyyy <<<"$day"
iso=$yyyy-$mm-$dd
rcheck=("$check" --no-saints --color=never --db "$folder/Roradaza.dat" --date "$day")
rremind=(remind -q -g "$folder/events.rem" "$iso")

# Reminders for the day: the check's lines less its "-" separator; remind's
# non-empty lines less its "Reminders for ..." heading.
ours=$("${rcheck[@]}" | grep -cv '^-$' || true)
theirs=$("${rremind[@]}" | grep -c . || true)
theirs=$((theirs > 0 ? theirs - 1 : 0))
echo "$count eventi, $day$([ "$advance" -ge 0 ] && echo ", anticipo annuale $advance giorni")"
echo "promemoria: roradaza-check $ours, remind $theirs"

python3 - "$runs" "${#rcheck[@]}" "${rcheck[@]}" "${rremind[@]}" <<'EOF'
import os, statistics, subprocess, sys, time

runs, split = int(sys.argv[1]), int(sys.argv[2])
commands = {"roradaza-check": sys.argv[3:3 + split], "remind": sys.argv[3 + split:]}
times = {label: [] for label in commands}
peaks = {label: [] for label in commands}
for run in range(runs):
    # Alternate, and swap who goes first each round, so that neither
    # always runs on a cache warmed by the other.
    order = list(commands) if run % 2 == 0 else list(reversed(commands))
    for label in order:
        start = time.perf_counter()
        child = subprocess.Popen(commands[label], stdout=subprocess.DEVNULL)
        # The child's own peak resident memory, in KiB.
        _, _, usage = os.wait4(child.pid, 0)
        times[label].append((time.perf_counter() - start) * 1000)
        peaks[label].append(usage.ru_maxrss / 1024)
ours = statistics.median(times["roradaza-check"])
theirs = statistics.median(times["remind"])
for label, median in (("roradaza-check", ours), ("remind", theirs)):
    spread = f"{min(times[label]):.1f}..{max(times[label]):.1f}"
    print(f"{label:15} mediana {median:8.1f} ms  ({runs} esecuzioni, {spread} ms), "
          f"memoria di picco {statistics.median(peaks[label]):.1f} MiB")
print(f"rapporto roradaza-check / remind: {ours / theirs:.3f}")
EOF
