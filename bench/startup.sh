#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Start-up of Roradaza beside a bare Qt window (the floor):
# bench/startup.sh [--runs R] [--idle S] [N ...]
#
# For each count N of events (0, 10000 and 65535 by default; 0 is no database
# file, so the program holds its sample record), none of them due today nor
# announced ahead:
# - offscreen: the whole-process time of a run that ends by itself after the
#   2.5 s countdown, less 2500 ms (Roradaza's saints option off, so nothing is
#   shown and the countdown starts at once), and the CPU time of the run,
#   which the idle countdown hardly adds to;
# - Xvfb: the time from exec to the "Eventi Imminenti" window mapped (saints
#   on, so it shows the saints line), as the X server tells map_watch (built
#   beside minimal_window; without it, found by polling xdotool), and the CPU
#   time until then;
# with the peak memory of each run (/usr/bin/time's "Maximum resident set
# size"; CPU times come from wait4 on it). The floor is minimal_window,
# measured the same way; medians of R runs (7 by default), taken in turn.
# Then, with trayer as the tray host, Roradaza with 10000 events idles in the
# tray for S seconds (30 by default): its CPU time and context switches over
# that time, and the system calls strace -c -f sees in 10 s.
# No faketime here: with a date in the past, fontconfig finds its caches newer
# than the clock and rebuilds them at every start (about 0.3 s of CPU).
# RORADAZA and MINIMAL_WINDOW name the programs (default: build/bin/ of this
# work tree).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
roradaza=$(realpath -m "${RORADAZA:-$here/../build/bin/Roradaza}")
minimal=$(realpath -m "${MINIMAL_WINDOW:-$here/../build/bin/minimal_window}")
runs=7
idle=30
while [ $# -gt 0 ]; do
    case $1 in
    --runs) runs=$2; shift 2 ;;
    --idle) idle=$2; shift 2 ;;
    -h | --help) sed -n '2,25s/^# \{0,1\}//p' "$0"; exit 0 ;;
    -*) echo "opzione sconosciuta: $1" >&2; exit 2 ;;
    *) break ;;
    esac
done
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(0 10000 65535)

for program in "$roradaza" "$minimal"; do
    if [ ! -x "$program" ]; then
        echo "$program non trovato: compila prima o imposta RORADAZA / MINIMAL_WINDOW" >&2
        exit 1
    fi
done
for tool in /usr/bin/time Xvfb xdotool python3; do
    command -v "$tool" >/dev/null || { echo "manca $tool" >&2; exit 1; }
done

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT

BENCH_DIR=$(dirname "$0") python3 - "$folder" "$roradaza" "$minimal" "$runs" "$idle" "${counts[@]}" <<'EOF'
import datetime, os, shutil, signal, statistics, subprocess, sys, time

folder, roradaza, minimal, runs, idle = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), float(sys.argv[5])
map_watch = os.path.join(os.path.dirname(minimal), "map_watch")
counts = [int(n) for n in sys.argv[6:]]
COUNTDOWN_MS = 2500
sys.path.insert(0, os.environ["BENCH_DIR"])
from events import LENGTH, WEEKDAYS, mix, name

today = datetime.date.today()
# Yearly events keep out of this month and the next (a warning can reach over
# the month's end); monthly ones out of the next nine days; weekly ones out of today.
MONTHS = [m for m in range(1, 13) if m not in (today.month, today.month % 12 + 1)]
MONTH_DAYS = [d for d in range(1, 29) if not today.day <= d <= today.day + 8]
OTHER_DAYS = [WEEKDAYS[i] for i in range(7) if i != today.weekday()]

def records(count):
    """Yearly, specific-year, monthly and weekly events as in bench/generate.h,
    moved off today and its warning periods; some important, some auto-delete."""
    for k in range(count):
        h = mix(k)
        kind = k % 20
        if kind < 14:
            month = MONTHS[h % len(MONTHS)]
            fields = [f"{month:02}", f"{1 + (h >> 4) % LENGTH[month - 1]:02}", f"{(h >> 9) % 15:02}",
                      f"{2020 + (h >> 13) % 11}" if kind >= 12 else "0000"]
        elif kind < 18:
            fields = ["00", f"{MONTH_DAYS[(h >> 4) % len(MONTH_DAYS)]:02}", f"{(h >> 9) % 8:02}", "0000"]
        else:
            days = sorted({(h >> 4) % 6, (h >> 7) % 6})
            fields = ["##", "".join(OTHER_DAYS[i] + ";" for i in days), "00", "0000"]
        if (h >> 27) % 16 == 0:
            fields[1] += "A"
        if (h >> 24) % 8 == 0:
            fields[2] += "i"
        yield [name(k, h)] + fields

def prepare(count, settings, label):
    """A folder with a copy of Roradaza, its events and its settings."""
    place = os.path.join(folder, f"{label}-{count}")
    os.makedirs(place)
    shutil.copy2(roradaza, place)
    # No events is no file: a file of one count line would bring up the
    # question about converting an older layout.
    if count:
        events = sorted(records(count), key=lambda r: r[0].casefold())
        lines = [str(count - 1)] + [field for record in events for field in record]
        with open(os.path.join(place, "Roradaza.dat"), "wb") as out:
            out.write("".join(line + "\r\n" for line in lines).encode("cp1252"))
    with open(os.path.join(place, "Roradaza.ini"), "wb") as out:
        out.write(settings)
    return os.path.join(place, os.path.basename(roradaza))

def environment(program, **extra):
    home = os.path.join(folder, "home-" + os.path.basename(os.path.dirname(program)))
    runtime = os.path.join(folder, "runtime")
    os.makedirs(runtime, mode=0o700, exist_ok=True)
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"), XDG_RUNTIME_DIR=runtime)
    env.update(extra)
    return env

MEMORY = os.path.join(folder, "memory")

def start(program, env, timed=True):
    # GNU time for the peak: a child forked from this script would start with
    # the script's own peak, which the kernel carries over into the child's.
    command = ["/usr/bin/time", "-f", "%M", "-o", MEMORY, program] if timed else [program]
    return subprocess.Popen(command, env=env, cwd=os.path.dirname(program),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

def program_pid(process):
    with open(f"/proc/{process.pid}/task/{process.pid}/children") as f:
        return int(f.read().split()[0])

def reap(process, timeout):
    """Waits for the timed process: its CPU time in ms and its peak memory in KiB."""
    deadline = time.monotonic() + timeout
    while True:
        pid, status, usage = os.wait4(process.pid, os.WNOHANG)
        if pid:
            process.returncode = status
            with open(MEMORY) as f:
                peak = int(f.read().split()[-1])
            return (usage.ru_utime + usage.ru_stime) * 1000, peak
        if time.monotonic() > deadline:
            process.kill()
            raise SystemExit(f"{process.args[0]}: ancora in esecuzione dopo {timeout} s")
        time.sleep(0.002)

def offscreen_run(program):
    env = environment(program, QT_QPA_PLATFORM="offscreen")
    begin = time.perf_counter()
    process = start(program, env)
    cpu, peak = reap(process, 60)
    return (time.perf_counter() - begin) * 1000 - COUNTDOWN_MS, cpu, peak

def clock():
    return time.clock_gettime(time.CLOCK_MONOTONIC)

def xvfb_run(program, display):
    env = environment(program, DISPLAY=display, QT_QPA_PLATFORM="xcb")
    watcher = None
    if os.access(map_watch, os.X_OK):
        # Told of the mapping by the X server: no polling beside the program.
        watcher = subprocess.Popen([map_watch, "Eventi Imminenti"], env=env, stdout=subprocess.PIPE, text=True)
        if watcher.stdout.readline().strip() != "ready":
            raise SystemExit("map_watch non parte")
    begin = clock()
    process = start(program, env)
    if watcher:
        try:
            mapped = watcher.communicate(timeout=60)[0].strip()
        except subprocess.TimeoutExpired:
            watcher.kill()
            raise SystemExit(f"{program}: nessuna finestra \"Eventi Imminenti\" entro 60 s")
        shown = (float(mapped) - begin) * 1000
    else:
        search = ["xdotool", "search", "--onlyvisible", "--name", "^Eventi Imminenti$"]
        while subprocess.run(search, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode:
            if clock() - begin > 60 or process.poll() is not None:
                raise SystemExit(f"{program}: nessuna finestra \"Eventi Imminenti\" entro 60 s")
        shown = (clock() - begin) * 1000
    os.kill(program_pid(process), signal.SIGTERM)  # GNU time stays, to write its figure
    cpu, peak = reap(process, 10)
    return shown, cpu, peak

def start_xvfb():
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24", "-noreset",
                               "-nolisten", "tcp"], pass_fds=[write], stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as f:
        return server, ":" + f.readline().strip()

def measure(title, run, subjects, wall_ratio=True):
    results = {name: [] for name, _ in subjects}
    for round in range(runs):
        # In turn, and the other way round every second round.
        for name, program in (subjects if round % 2 == 0 else reversed(subjects)):
            results[name].append(run(program))
    medians = {name: [statistics.median(r[i] for r in rs) for i in range(3)] for name, rs in results.items()}
    floor_ms, floor_cpu, floor_kib = medians["floor"]
    print(f"\n{title} (mediane di {runs} esecuzioni)")
    print(f"{'':16}{'tempo ms':>9}{'× floor':>9}{'CPU ms':>9}{'× floor':>9}{'picco MiB':>11}{'+ MiB':>8}")
    for name, (ms, cpu, kib) in medians.items():
        ratio = f"{ms / floor_ms:9.2f}" if wall_ratio else f"{'-':>9}"
        print(f"{name:16}{ms:9.1f}{ratio}{cpu:9.1f}{cpu / floor_cpu:9.2f}"
              f"{kib / 1024:11.1f}{(kib - floor_kib) / 1024:8.1f}")
    sys.stdout.flush()

def thread_figures(pid):
    """CPU ticks and context switches of each thread of the process."""
    figures = {}
    for task in os.listdir(f"/proc/{pid}/task"):
        with open(f"/proc/{pid}/task/{task}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        switches = 0
        with open(f"/proc/{pid}/task/{task}/status") as f:
            for line in f:
                if "ctxt_switches" in line:
                    switches += int(line.split()[-1])
        figures[task] = (int(fields[11]) + int(fields[12]), switches)
    return figures

def idle_in_tray(display):
    program = prepare(10000, b"-1\r\n1200000\r\n0\r\n", "tray")
    env = environment(program, DISPLAY=display, QT_QPA_PLATFORM="xcb")
    tray = subprocess.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height",
                             "32", "--SetDockType", "true", "--transparent", "false"],
                            env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1)
    process = start(program, env, timed=False)
    try:
        time.sleep(6)  # the countdown, then the way to the tray
        before = thread_figures(process.pid)
        time.sleep(idle)
        after = thread_figures(process.pid)
        common = before.keys() & after.keys()
        ticks = sum(after[t][0] - before[t][0] for t in common)
        switches = sum(after[t][1] - before[t][1] for t in common)
        print(f"\nnel vassoio, inattivo per {idle:.0f} s (10000 eventi, {len(common)} thread):")
        print(f"  tempo CPU (utime+stime) {ticks * 1000 / os.sysconf('SC_CLK_TCK'):.0f} ms, "
              f"cambi di contesto {switches}")
        if shutil.which("strace"):
            trace = subprocess.run(["timeout", "-s", "INT", "10", "strace", "-c", "-f", "-p", str(process.pid)],
                                   capture_output=True, text=True)
            table = [l for l in trace.stderr.splitlines() if l.strip() and not l.startswith("strace: Process")]
            print("  strace -c -f per 10 s: " + ("nessuna chiamata di sistema" if not table else ""))
            for line in table:
                print("    " + line)
    finally:
        process.terminate()
        tray.terminate()
        process.wait(10)
        tray.wait(10)

quiet = b"0\r\n1200000\r\n0\r\n"
saints = b"0\r\n1200000\r\n-1\r\n"
floor = ("floor", minimal)
# The countdown's coarse 500 ms timers may each fire up to 25 ms early or late,
# which swamps the floor's few milliseconds: no ratio of those times.
measure("offscreen: fino all'uscita, meno 2500 ms", offscreen_run,
        [floor] + [(f"Roradaza {n}", prepare(n, quiet, "offscreen")) for n in counts], wall_ratio=False)

server, display = start_xvfb()
try:
    measure(f"Xvfb: fino a \"Eventi Imminenti\" visibile", lambda p: xvfb_run(p, display),
            [floor] + [(f"Roradaza {n}", prepare(n, saints, "xvfb")) for n in counts])
    if idle > 0 and shutil.which("trayer"):
        idle_in_tray(display)
finally:
    server.terminate()
    server.wait(10)
EOF
