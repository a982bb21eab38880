#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the real Roradaza in the tray for a long time and watches it:
#   bench/soak.sh [--passes N] [--day-passes D] [--binary PATH] [--keep]
#
# The program is copied into a temporary folder with 65 535 generated events
# (bench/generate.h without the markers, so no delete prompt waits for an
# answer) and a Roradaza.ini that minimises to the tray and checks every
# 200 ms. It runs under Xvfb with trayer as the tray host, from 29 March 2007
# under libfaketime; every D ticks (20 by default) the script moves the
# program's calendar on by one day while its timers keep real time, so that
# the once-a-day guard lets exactly one full pass a day through. The run ends
# after N ticks of the automatic check (2000 by default, about 7 minutes) and
# fails when the program dies, when its memory grows, or when the
# notification window is shown more often than once a day. RORADAZA names the
# program (default: build/bin/Roradaza). (A fast libfaketime clock, "x21600",
# would be simpler but makes Qt's timers spin with zero timeouts.)
#
# How it measures:
# - Ticks: every tick of the automatic check starts a pass, and on this one
#   thread the program otherwise sleeps in poll(); strace follows that call,
#   and a poll of the main thread that ends by timeout is one tick (nothing
#   else in the tray wakes by timeout).
# - Full passes: each one finds reminders among the 65 535 events and shows
#   the notification window "Eventi Imminenti"; the script sees it with
#   xdotool and dismisses it with its OK button, as a person would.
# - Memory: VmRSS from /proc/PID/status every few seconds.
# Exit status: 0 passed, 1 failed, 77 when a tool is missing.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
SCREEN="-screen 0 1024x768x24 -noreset"
missing=()
for tool in python3 xdotool xwininfo strace xvfb-run dbus-run-session; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
faketime_lib=$(ls /usr/lib/*/faketime/libfaketime.so.1 2>/dev/null | head -n 1 || true)
[ -n "$faketime_lib" ] || missing+=(libfaketime)
if [ ${#missing[@]} -gt 0 ]; then
    echo "saltato: mancano ${missing[*]}"
    exit 77
fi
# A session bus of its own, as every desktop session has one; nothing it
# starts outlives the run.
if [ -z "${RORADAZA_E2E_BUS:-}" ]; then
    RORADAZA_E2E_BUS=1 exec dbus-run-session -- "$0" "$@"
fi
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "$SCREEN" "$0" "$@"
fi

passes=2000
day_passes=20
binary=${RORADAZA:-$here/../build/bin/Roradaza}
keep=0
while [ $# -gt 0 ]; do
    case $1 in
    --passes) passes=$2; shift 2 ;;
    --day-passes) day_passes=$2; shift 2 ;;
    --binary) binary=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    -h | --help) sed -n '2,27s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "opzione sconosciuta: $1" >&2; exit 2 ;;
    esac
done
if [ ! -x "$binary" ]; then
    echo "$binary non trovato: compila prima Roradaza o imposta RORADAZA" >&2
    exit 1
fi

exec python3 - "$binary" "$passes" "$day_passes" "$keep" "$faketime_lib" "$(dirname "$0")" <<'EOF'
import os, re, shutil, subprocess, sys, tempfile, time

binary, passes, day_passes, keep, faketime_lib, bench = sys.argv[1:]
sys.path.insert(0, bench)
sys.path.insert(0, os.path.join(bench, "..", "tests", "e2e"))
import events
# The window helpers of the end-to-end tests.
from e2e import Failed, click, geometry, main_window, run
from e2e import wait_for as e2e_wait_for
from e2e import visible_windows as visible
passes, day_passes, keep = int(passes), int(day_passes), keep == "1"
COUNT = 65535
INTERVAL = 0.2


def log(text):
    print(f"[{time.monotonic() - T0:7.1f} s] {text}", flush=True)


T0 = time.monotonic()


def wait_for(what, predicate, timeout):
    return e2e_wait_for(what, predicate, timeout, program)


def tray_icon():
    for window in visible("Roradaza", "--classname"):
        place = geometry(window)
        if place and place[2] <= 64 and place[3] <= 64:
            return window
    return None


def notification():
    """The notification window while it is shown, with its place."""
    for window in visible("Eventi Imminenti"):
        place = geometry(window)
        if place:
            return window, place
    return None


def dismiss(place):
    # The OK button lies at 184, 352 (153 by 33) in the window.
    click(place[0] + 184 + 76, place[1] + 352 + 16)


def traced_program():
    """The pid of the program under strace, once it runs the copied binary.

    strace forks short-lived children of its own to test ptrace before it
    starts the program, so a child of strace is not yet the program."""
    for child in run("pgrep", "-P", str(program.pid)).stdout.split():
        try:
            if os.path.realpath(f"/proc/{child}/exe") == os.path.realpath(f"{folder}/Roradaza"):
                return int(child)
        except OSError:
            pass
    return None


def rss_kb():
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    raise Failed("no VmRSS")


# A wait of the main thread with a timeout that ran out (the polls with a
# zero timeout that follow an event are not ticks). Clicking the OK button
# starts a few short timers of its own, so wake-ups closer than 150 ms to the
# last tick are left out: LoopCheck ticks are 200 ms apart, 5 % either way.
TICK = re.compile(r"^(\d+\.\d+) poll\(.*, [1-9][0-9]*\) = 0 \(Timeout\)$")


class Ticks:
    """Counts the ticks of the automatic check in the main thread's trace as it grows."""

    def __init__(self, path):
        self.trace = open(path, errors="replace")
        self.count = 0
        self.last = 0.0
        self.partial = ""

    def __call__(self):
        text = self.partial + self.trace.read()
        lines = text.split("\n")
        self.partial = lines.pop()
        for line in lines:
            match = TICK.match(line)
            if match and float(match[1]) - self.last >= 0.15:
                self.count += 1
                self.last = float(match[1])
        return self.count


def database():
    """bench/generate.h with the markers off: yearly, in one year, monthly, weekly."""
    return events.database([fields for _, fields in events.records(COUNT)])


folder = tempfile.mkdtemp(prefix="roradaza-soak-")
home, runtime = f"{folder}/home", f"{folder}/runtime"
os.makedirs(home)
os.makedirs(runtime, mode=0o700)
shutil.copy2(binary, f"{folder}/Roradaza")
with open(f"{folder}/Roradaza.dat", "wb") as out:
    out.write(database())
with open(f"{folder}/Roradaza.ini", "wb") as out:
    out.write(b"-1\r\n200\r\n-1\r\n")  # to the tray, every 200 ms, name days on

env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=f"{home}/.config", XDG_RUNTIME_DIR=runtime,
           QT_QPA_PLATFORM="xcb", LC_ALL="it_IT.UTF-8", LANG="it_IT.UTF-8")
env.pop("SESSION_MANAGER", None)
helpers = []
program = None
pid = None
passed = False
try:
    if shutil.which("trayer"):
        helpers.append(subprocess.Popen(
            ["trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32",
             "--SetDockType", "true", "--transparent", "false", "--expand", "false"],
            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        deadline = time.monotonic() + 10
        while not visible("panel") and time.monotonic() < deadline:
            time.sleep(0.05)
    else:
        log("trayer manca: senza vassoio il programma si riduce a icona")

    # The program's calendar: 29 March 2007 at 10:00, plus one day per
    # advance; libfaketime reads the offset again every second. The monotonic
    # clock of the timers is left alone.
    clock = f"{folder}/clock"
    first_day = int(time.mktime((2007, 3, 29, 10, 0, 0, 0, 0, -1)))
    day = 0

    def set_day(number):
        with open(f"{clock}.new", "w") as out:
            out.write(f"{first_day + number * 86400 - int(time.time()):+d}\n")
        os.replace(f"{clock}.new", clock)

    set_day(0)
    output = open(f"{folder}/output.log", "w")
    program = subprocess.Popen(
        ["strace", "-ff", "-qq", "-ttt", "-e", "trace=poll,ppoll", "-e", "signal=none", "-o", f"{folder}/trace",
         "-E", f"LD_PRELOAD={faketime_lib}", "-E", f"FAKETIME_TIMESTAMP_FILE={clock}",
         "-E", "FAKETIME_CACHE_DURATION=1", "-E", "FAKETIME_DONT_FAKE_MONOTONIC=1", f"{folder}/Roradaza"],
        cwd=folder, env=env, stdout=output, stderr=subprocess.STDOUT)
    started = time.monotonic()
    pid = wait_for("the program to start", traced_program, 20)
    ticks = Ticks(wait_for("the trace", lambda: os.path.exists(f"{folder}/trace.{pid}") and f"{folder}/trace.{pid}", 10))
    log(f"Roradaza pid {pid}, {COUNT} eventi, LoopCheck 200 ms, un giorno ogni {day_passes} passaggi")

    window, place = wait_for('"Eventi Imminenti" at start-up', notification, 120)
    log(f"avvio: finestra degli avvisi dopo {time.monotonic() - started:.1f} s")
    dismiss(place)
    main = wait_for("the main window", main_window, 10)
    wait_for("the main window to hide after its countdown", lambda: geometry(main) is None, 15)
    if helpers:
        wait_for("the tray icon", tray_icon, 10)
    # While the window counted down, LoopCheck ran full passes (the guard only
    # holds them back in the tray), and their notification may still be open.
    left = notification()
    if left:
        dismiss(left[1])
        wait_for("the notification window to close", lambda: not notification(), 10)
        log("chiusa la finestra degli avvisi rimasta dal conto alla rovescia")
    in_tray = time.monotonic()
    ticks_at_tray = ticks()
    log("nel vassoio")

    samples = []  # (ticks, seconds in the tray, VmRSS kB)
    shown = 0
    limit = in_tray + passes * INTERVAL * 3 + 60
    next_sample = in_tray
    count = 0
    while True:
        if program.poll() is not None:
            raise Failed(f"the program ended while in the tray (status {program.returncode})")
        now = time.monotonic()
        count = ticks() - ticks_at_tray
        # A new day, but not in the last stretch, whose full pass would go unseen.
        if count >= (day + 1) * day_passes and count + day_passes <= passes:
            day += 1
            set_day(day)
        if now >= next_sample or count >= passes:
            samples.append((count, now - in_tray, rss_kb()))
            next_sample = now + 5
            if len(samples) % 6 == 1:
                log(f"{count} passaggi, VmRSS {samples[-1][2]} kB, finestra degli avvisi {shown} volte")
            if count >= passes:
                break
            if now > limit:
                raise Failed(f"only {count} ticks in {now - in_tray:.0f} s")
        found = notification()
        if found:
            shown += 1
            log(f"finestra degli avvisi al passaggio {count}, giorno {day}")
            dismiss(found[1])
            wait_for("the notification window to close", lambda: not notification(), 10)
        time.sleep(0.1)
    elapsed = time.monotonic() - in_tray

    # Quit from the tray menu, as a person would ("E&sci").
    if helpers:
        icon = tray_icon()
        x, y, width, height = geometry(icon)
        existing = set(visible(".*"))
        click(x + width // 2, y + height // 2, 3)
        # The menu opens when it opens (later with a session bus): keys before then are lost.
        wait_for("the tray menu", lambda: [w for w in visible(".*") if w not in existing and geometry(w)], 10)
        run("xdotool", "key", "s")
    try:
        program.wait(30)
    except subprocess.TimeoutExpired:
        raise Failed('the program did not end from "E&sci"')
    if program.returncode != 0:
        raise Failed(f"the program ended with status {program.returncode}")

    # Memory: the first samples include the first full passes in the tray.
    rss = [s[2] for s in samples]
    settled = samples[len(samples) // 5:]
    xs, ys = [s[0] for s in settled], [s[2] for s in settled]
    mx, my = sum(xs) / len(xs), sum(ys) / len(ys)
    var = sum((x - mx) ** 2 for x in xs)
    slope = sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / var * 1000 if var else 0.0
    print(f"passaggi (tick di LoopCheck) nel vassoio: {count} in {elapsed:.0f} s "
          f"({elapsed / max(count, 1) * 1000:.0f} ms l'uno)")
    print(f"giorni trascorsi nel vassoio: {day}; passaggi completi (finestra degli avvisi): {shown}")
    print(f"VmRSS: primo {rss[0]} kB, ultimo {rss[-1]} kB, massimo {max(rss)} kB, minimo {min(rss)} kB; "
          f"pendenza dopo il primo quinto {slope:+.1f} kB ogni 1000 passaggi ({len(samples)} campioni)")
    failures = []
    # Each new day lets one pass through: the start-up day had its pass before the tray.
    if shown > day:
        failures.append(f"the notification window was shown {shown} times in {day} new days")
    if shown < day:
        failures.append(f"only {shown} full passes in {day} new days: the guard held passes back")
    # Flat: under 2 MB from the settled start to the end, and on a long run
    # under 1 MB per 1000 passes (a short run is too noisy for a slope).
    if count >= 1000 and slope > 1024:
        failures.append(f"memory grows by {slope:.0f} kB per 1000 passes")
    if max(ys) - settled[0][2] > 2048:
        failures.append(f"memory grew from {settled[0][2]} to {max(ys)} kB")
    if failures:
        raise Failed("; ".join(failures))
    print("soak: superato")
    passed = True
except Failed as failure:
    print(f"soak: FALLITO: {failure}", flush=True)
    try:
        with open(f"{folder}/output.log", errors="replace") as log_file:
            tail = log_file.read()[-2000:]
        if tail.strip():
            print("ultime righe del programma e di strace:\n" + tail, flush=True)
    except OSError:
        pass
    try:
        run("import", "-window", "root", f"{folder}/failure.png")
    except Exception:
        pass
finally:
    # Killing strace would leave the traced program running: end it first.
    if pid and program and program.poll() is None:
        try:
            os.kill(pid, 9)
        except ProcessLookupError:
            pass
    for process in [program] + helpers:
        if process and process.poll() is None:
            process.kill()
            process.wait(5)
    if passed and not keep:
        shutil.rmtree(folder, ignore_errors=True)
    else:
        print(f"file conservati in {folder}")
sys.exit(0 if passed else 1)
EOF
