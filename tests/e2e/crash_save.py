#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A save of 65 535 records killed with SIGKILL at random moments.

save_once loads Roradaza.dat, renames every record and saves once. Each run
starts from the old file and is killed at a random moment over the measured
save; afterwards Roradaza.dat must be the old file or the new one, byte for
byte, and nothing beside it may look like data to a later start.

    crash_save.py --helper PATH [--runs 200]
"""

import argparse
import os
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

RECORDS = 65535


def old_database():
    lines = [str(RECORDS - 1).encode()]
    for k in range(RECORDS):
        lines += [b"Evento %05d" % k, b"%02d" % (k % 13), b"%02d" % (k % 28 + 1), b"07", b"0000"]
    return b"\r\n".join(lines) + b"\r\n"


def start(helper, data):
    return subprocess.Popen([helper, data], stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--helper", required=True)
    parser.add_argument("--runs", type=int, default=200)
    parser.add_argument("--seed", type=int, default=None)
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else random.randrange(1 << 30)
    rng = random.Random(seed)
    print(f"seed {seed}")

    folder = tempfile.mkdtemp(prefix="roradaza-crash-")
    data = os.path.join(folder, "Roradaza.dat")
    old = old_database()
    failures = []
    try:
        # The new file and the save's duration, from runs left to finish.
        durations = []
        new = None
        for _ in range(5):
            with open(data, "wb") as file:
                file.write(old)
            helper = start(args.helper, data)
            out, err = helper.communicate(timeout=30)
            if helper.returncode != 0:
                print(f"FAILED: save_once ended with {helper.returncode}: {err.decode()}")
                return 1
            durations.append(int(out.split()[-1]) / 1e6)
            with open(data, "rb") as file:
                saved = file.read()
            if new is not None and saved != new:
                print("FAILED: two whole saves wrote different files")
                return 1
            new = saved
        if new == old or not new.startswith(b"65534\r\nEvento 00000 (salvato)\r\n"):
            print("FAILED: the save did not write the renamed list")
            return 1
        save = sorted(durations)[len(durations) // 2]
        print(f"old file {len(old)} bytes, new file {len(new)} bytes, save takes {save * 1000:.1f} ms (median of 5)")

        counts = {"old": 0, "new": 0}
        before_end = 0  # kills that came before the save said it was done
        strays = set()
        started = time.monotonic()
        for run in range(args.runs):
            for name in os.listdir(folder):
                os.remove(os.path.join(folder, name))
            with open(data, "wb") as file:
                file.write(old)
            helper = start(args.helper, data)
            line = helper.stdout.readline()
            if not line.startswith(b"saving"):
                failures.append(f"run {run}: save_once said {line!r}")
                helper.kill()
                helper.wait()
                continue
            time.sleep(rng.uniform(0, save * 1.2))
            helper.send_signal(signal.SIGKILL)
            rest, _ = helper.communicate(timeout=10)
            if not rest.startswith(b"saved"):
                before_end += 1
            with open(data, "rb") as file:
                left = file.read()
            if left == old:
                counts["old"] += 1
            elif left == new:
                counts["new"] += 1
            else:
                failures.append(f"run {run}: Roradaza.dat is neither file ({len(left)} bytes)")
            others = sorted(set(os.listdir(folder)) - {"Roradaza.dat"})
            strays.update(others)
            for name in others:
                # The program opens Roradaza.dat alone: only the save's own temporary may be left.
                if not name.startswith("Roradaza.dat.") or name.endswith(".bak"):
                    failures.append(f"run {run}: unexpected file {name}")
        took = time.monotonic() - started
        print(f"{args.runs} kills in {took:.1f} s: {before_end} before the save was done, "
              f"Roradaza.dat left old {counts['old']} times, new {counts['new']} times")
        print(f"files left beside Roradaza.dat: {sorted(strays) if strays else 'none'}")
        if counts["old"] == 0 or counts["new"] == 0:
            failures.append("the kills never landed on one side of the save: the timing is off")
    finally:
        shutil.rmtree(folder, ignore_errors=True)

    for failure in failures[:20]:
        print(f"FAILED: {failure}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
