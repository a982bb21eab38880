#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the README's pictures in docs/screenshots/ by running the real program
# under Xvfb and driving it with xdotool, as the end-to-end tests do:
#   scripts/screenshots.sh [BUILD_DIR]     (default build/, built when missing)
#
# avvio.png     the notification window at start-up (it covers the compact window)
# compatta.png  the compact window counting down once the reminders are read
# finestra.png  the expanded window with the event list
# editor.png    the event editor on the chosen event
# vassoio.png   the tray menu, with trayer as the tray host
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
for tool in xvfb-run xdotool xwininfo faketime trayer import convert python3; do
    command -v "$tool" >/dev/null || { echo "manca $tool: installalo (scripts/setup.sh)" >&2; exit 1; }
done
[ -x "$dir/bin/Roradaza" ] || scripts/build.sh "$dir"
mkdir -p docs/screenshots

xvfb-run -a -s "-screen 0 1024x768x24 -noreset" python3 - "$dir/bin/Roradaza" docs/screenshots <<'EOF'
import os, subprocess, sys, time

sys.path.insert(0, "tests/e2e")
import e2e
from e2e import check, click, focus_and_key, geometry, main_window, run, screenshot, tray_icon, visible_windows, wait_for

binary, out = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
EVENTS = e2e.database(
    (b"Anniversario di matrimonio", b"06", b"15", b"07", b"0000"),
    (b"Bolletta della luce", b"00", b"31", b"05", b"0000"),
    (b"Cena da Lucia", b"04", b"03", b"07", b"0000"),
    e2e.ZOZADEVI,
    (b"Esame di guida", b"03", b"29", b"00i", b"2007"),
    (b"Onomastico di Marco", b"04", b"25", b"03", b"0000"),
    e2e.AFFITTO,
    e2e.PALESTRA,
    (b"Riunione di condominio", b"##", b"Luned\xec;", b"00", b"0000"),
    (b"Telefonare alla nonna", b"##", b"Domenica;", b"00", b"0000"),
)
work = os.path.join(out, ".work")
case = e2e.Case(binary, work, "screenshots")


def union(*places, margin=12):
    left = max(min(p[0] for p in places) - margin, 0)
    top = max(min(p[1] for p in places) - margin, 0)
    right = min(max(p[0] + p[2] for p in places) + margin, 1024)
    bottom = min(max(p[1] + p[3] for p in places) + margin, 768)
    return left, top, right - left, bottom - top


def keep(name, source):
    """A small copy of the picture: no metadata, at most 256 colours when that stays sharp."""
    target = os.path.join(out, name)
    subprocess.run(["convert", source, "-strip", "-define", "png:compression-level=9", target], check=True)
    small = target + ".8.png"
    subprocess.run(["convert", source, "-strip", "-dither", "None", "-colors", "256", f"PNG8:{small}"], check=True)
    if os.path.getsize(small) < os.path.getsize(target):
        os.replace(small, target)
    else:
        os.remove(small)
    e2e.log(f"{name}: {os.path.getsize(target) // 1024} kB")


os.makedirs(work, exist_ok=True)
passed = False
try:
    case.start_helper("trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32",
                      "--SetDockType", "true", "--transparent", "false", "--expand", "false")
    wait_for("the tray panel", lambda: visible_windows("panel"), 10)
    case.write("Roradaza.dat", EVENTS)
    case.write("Roradaza.ini", b"-1\r\n1200000\r\n-1\r\n")  # to the tray, name days on
    case.start()

    notice, notice_place = case.notification_window()
    main = wait_for("the main window", main_window, 10)
    time.sleep(0.5)
    shot = os.path.join(work, "avvio.png")
    screenshot(shot, notice)
    keep("avvio.png", shot)

    click(notice_place[0] + 184 + 76, notice_place[1] + 352 + 16)
    wait_for("the notification window to close", lambda: not visible_windows("Eventi Imminenti"), 5)
    time.sleep(0.9)  # two ticks of the 2.5 s countdown
    shot = os.path.join(work, "compatta.png")
    screenshot(shot, main)
    keep("compatta.png", shot)
    before = geometry(main)
    # "NON chiudere!" at 24, 416 of the full form; the compact form is 348 pixels shorter.
    click(before[0] + 24 + 120, before[1] + before[3] - e2e.COMPACT_CLIENT + 416 - 348 + 12)
    wait_for("the window to expand", lambda: (geometry(main) or before)[3] > before[3], 5)
    place = geometry(main)
    client_top = place[1] + place[3] - e2e.EXPANDED_CLIENT
    # The seventh row of the list sorted by name, "Palestra", weekly.
    click(place[0] + 100, client_top + 32 + 24 + 5 * 17 + 8)
    time.sleep(0.5)
    shot = os.path.join(work, "finestra.png")
    screenshot(shot, main)
    keep("finestra.png", shot)

    click(place[0] + 24 + 36, client_top + 416 + 12)  # "&Modifica"
    editor = wait_for('"Modifica Evento"', lambda: visible_windows("Modifica Evento"), 10)[0]
    time.sleep(0.5)
    shot = os.path.join(work, "editor.png")
    screenshot(shot, editor)
    keep("editor.png", shot)
    focus_and_key(editor, "Escape")
    wait_for("the editor to close", lambda: not visible_windows("Modifica Evento"), 5)

    focus_and_key(main, "alt+f")
    time.sleep(0.5)
    run("xdotool", "key", "e")  # "&Esci": to the tray
    icon = wait_for("the tray icon", tray_icon, 10)
    existing = set(visible_windows(".*"))
    x, y, width, height = geometry(icon)
    click(x + width // 2, y + height // 2, 3)
    menu = wait_for("the tray menu", lambda: [w for w in visible_windows(".*") if w not in existing and geometry(w)],
                    5)[0]
    time.sleep(0.5)
    panel = geometry(visible_windows("panel")[0])
    shot = os.path.join(work, "vassoio.png")
    screenshot(shot, crop=union(panel, geometry(menu), margin=8))
    keep("vassoio.png", shot)
    run("xdotool", "key", "s")  # "E&sci"
    case.wait_exit(10)
    passed = True
except (e2e.Failed, subprocess.TimeoutExpired) as failure:
    e2e.log(f"FAILED: {failure}")
finally:
    case.finish(passed)
    for name in os.listdir(work):
        os.remove(os.path.join(work, name))
    os.rmdir(work)
sys.exit(0 if passed else 1)
EOF
ls -l docs/screenshots
