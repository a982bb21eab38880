#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Saves on a full filesystem leave both files exactly as they were.

A small tmpfs is mounted for the test (root only, in a mount namespace of
its own) and filled up, leaving no room or a little; save_once then saves
lists of 1 to 65 535 records and the settings file. A save either says it
failed, naming the file and saying the previous one is whole, with both
files byte for byte as before, or says it succeeded with both files new
and whole.

    full_disk.py --helper PATH
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
SIZES = [1, 10, 360, 512, 5000, 65535]
ROOMS = {"no room": 0, "a little room": 6 * 1024}
OLD_SETTINGS = b"0\r\n1200000\r\n-1\r\n"
NEW_SETTINGS = b"-1\r\n1200000\r\n-1\r\n"


def database(records, suffix=b""):
    lines = [str(records - 1).encode()]
    for k in range(records):
        lines += [b"Evento %05d" % k + suffix, b"%02d" % (k % 12 + 1), b"%02d" % (k % 28 + 1), b"07", b"0000"]
    return b"\r\n".join(lines) + b"\r\n"


def fill(folder, room):
    """Fills the filesystem, then frees about room bytes."""
    filler = os.path.join(folder, "filler")
    with open(filler, "wb", buffering=0) as file:
        block = b"\0" * 65536
        while True:
            try:
                written = file.write(block)
            except OSError:
                if len(block) == 1:
                    break
                block = block[:len(block) // 2]
                continue
            if not written:
                break
    if room:
        os.truncate(filler, max(0, os.path.getsize(filler) - room))


def run_row(helper, folder, records, room, settings_only, damaged=False):
    for name in os.listdir(folder):
        os.remove(os.path.join(folder, name))
    dat, ini = os.path.join(folder, "Roradaza.dat"), os.path.join(folder, "Roradaza.ini")
    # A damaged count line loads every record, and the save first keeps the file as Roradaza.dat.bak.
    old = b"?" + database(records) if damaged else database(records)
    with open(dat, "wb") as file:
        file.write(old)
    with open(ini, "wb") as file:
        file.write(OLD_SETTINGS)
    fill(folder, room)
    helper_run = subprocess.run([helper, "-" if settings_only else dat, ini], capture_output=True, timeout=60)
    message = helper_run.stderr.decode()
    now_dat = None  # a save that removed the file is told as such, not taken for a crash of the test
    if os.path.exists(dat):
        with open(dat, "rb") as file:
            now_dat = file.read()
    with open(ini, "rb") as file:
        now_ini = file.read()
    left = sorted(set(os.listdir(folder)) - {"Roradaza.dat", "Roradaza.ini", "filler"})
    if damaged and left == ["Roradaza.dat.bak"]:
        with open(os.path.join(folder, "Roradaza.dat.bak"), "rb") as file:
            left = [] if file.read() == old else ["Roradaza.dat.bak, not whole"]
    problems = []
    if left:
        problems.append(f"files left behind: {left}")
    new_dat = old if settings_only else database(records, b" (salvato)")
    if helper_run.returncode == 0:
        if now_dat != new_dat or now_ini != NEW_SETTINGS:
            problems.append(f"the save said it succeeded, yet the files are not the new ones "
                            f"(Roradaza.dat {len(now_dat or b'')} bytes, Roradaza.ini {now_ini!r})")
        return "saved", problems
    failed_file = ini if settings_only or "Roradaza.ini" in message else dat
    if failed_file not in message or message.count("rimasto intatto") != 1:
        problems.append(f"the message does not name {failed_file} and say it is whole: {message!r}")
    if failed_file == dat and (now_dat != old or now_ini != OLD_SETTINGS):
        problems.append(f"a failed save changed the files (Roradaza.dat {len(now_dat or b'')} of {len(old)} bytes, "
                        f"Roradaza.ini {now_ini!r})")
    if failed_file == ini and (now_dat != new_dat or now_ini != OLD_SETTINGS):
        problems.append(f"a failed settings save changed Roradaza.ini ({now_ini!r}) or left Roradaza.dat wrong")
    return "refused: " + message.strip().splitlines()[-1], problems


def rename_refused(helper, folder):
    """Roradaza.dat is a mount point, so that the complete new file cannot be renamed over it: the
    message says so, once, and not as a refused access."""
    for name in os.listdir(folder):
        os.remove(os.path.join(folder, name))
    dat, ini = os.path.join(folder, "Roradaza.dat"), os.path.join(folder, "Roradaza.ini")
    old = database(10)
    for path, data in ((dat, old), (ini, OLD_SETTINGS)):
        with open(path, "wb") as file:
            file.write(data)
    if subprocess.run(["mount", "--bind", dat, dat], capture_output=True).returncode != 0:
        return "skipped: cannot bind a file over itself", []
    try:
        message = subprocess.run([helper, dat, ini], capture_output=True, timeout=60).stderr.decode()
    finally:
        subprocess.run(["umount", dat])
    problems = []
    if not message.startswith(f"Cannot replace file {dat}") or message.count("rimasto intatto") != 1:
        problems.append(f"the message does not say that the file could not be replaced, once: {message!r}")
    with open(dat, "rb") as file:
        if file.read() != old:
            problems.append("Roradaza.dat changed")
    if sorted(os.listdir(folder)) != ["Roradaza.dat", "Roradaza.ini"]:
        problems.append(f"files left behind: {os.listdir(folder)}")
    return "refused: " + message.strip(), problems


def inside(args):
    folder = tempfile.mkdtemp(prefix="roradaza-full-")
    mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=4m", "tmpfs", folder], capture_output=True)
    if mounted.returncode != 0:
        print(f"skipped: cannot mount a tmpfs ({mounted.stderr.decode().strip()})")
        os.rmdir(folder)
        return SKIP
    failures = 0
    try:
        for settings_only, damaged in ((False, False), (False, True), (True, False)):
            for room_name, room in ROOMS.items():
                for records in ([1] if settings_only else [1, 5000] if damaged else SIZES):
                    what = "Roradaza.ini alone" if settings_only else f"{records} records"
                    what += ", damaged count line" if damaged else ""
                    outcome, problems = run_row(args.helper, folder, records, room, settings_only, damaged)
                    print(f"{what}, {room_name}: {outcome}")
                    if room == 0 and outcome == "saved":
                        problems.append("a save on a full filesystem said it succeeded")
                    for problem in problems:
                        print(f"FAILED: {problem}")
                    failures += len(problems)
        outcome, problems = rename_refused(args.helper, folder)
        print(f"10 records, rename refused: {outcome}")
        for problem in problems:
            print(f"FAILED: {problem}")
        failures += len(problems)
    finally:
        subprocess.run(["umount", folder])
        os.rmdir(folder)
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--helper", required=True)
    parser.add_argument("--inside", action="store_true")
    args = parser.parse_args()
    if args.inside:
        return inside(args)
    if os.geteuid() != 0 or not shutil.which("unshare"):
        print("skipped: mounting a small tmpfs needs root and unshare")
        return SKIP
    # A mount namespace of its own keeps the tmpfs out of everyone else's sight.
    command = ["unshare", "-m", "--propagation", "private", sys.executable, os.path.abspath(__file__),
               "--inside", "--helper", os.path.abspath(args.helper)]
    result = subprocess.run(command)
    if result.returncode not in (0, 1, SKIP):
        print(f"skipped: cannot make a mount namespace (unshare ended with {result.returncode})")
        return SKIP
    return result.returncode


if __name__ == "__main__":
    sys.exit(main())
