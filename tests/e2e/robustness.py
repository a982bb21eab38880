#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The real Roradaza against damaged files and against a second start.

    robustness.py --binary PATH --screenshots DIR --case bad-files --files F...
    robustness.py --binary PATH --screenshots DIR --case one-instance|stale-lock

"bad-files" starts the program once per file, a few at a time, each on an
X server of its own; the other cases start themselves again under xvfb-run
like e2e.py.
"""

import argparse
import glob
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e  # noqa: E402
from e2e import Failed, check, log, visible_windows, wait_for  # noqa: E402

# A Sunday in January 2007 on which none of the files' events is due or announced.
QUIET_TODAY = "2007-01-14 10:00:00"
WORKERS = 3


def launch(case, today, **output):
    """The program itself under libfaketime (the faketime command would stand between it and a kill)."""
    library = (glob.glob("/usr/lib/*/faketime/libfaketime.so.1") + glob.glob("/usr/lib/faketime/libfaketime.so.1"))
    if not library:
        raise Failed("libfaketime.so.1 not found")
    env = dict(case.env, LD_PRELOAD=library[0], FAKETIME="@" + today)
    return subprocess.Popen([case.program], cwd=case.folder, env=env, **output)


def non_empty_lines(data):
    return [line for line in data.replace(b"\r\n", b"\n").replace(b"\r", b"\n").split(b"\n") if line]


def message_boxes():
    """Visible windows titled like the program that are neither its main window nor a tray icon."""
    boxes = []
    for window in visible_windows("Roradaza"):
        place = e2e.geometry(window)
        if place and place[2] != 417 and place[2] > 64:
            boxes.append(window)
    return boxes


def bad_file_case(case, source, answer):
    """One file as Roradaza.dat: a message, a loaded list or the conversion question; never a crash."""
    with open(source, "rb") as file:
        original = file.read()
    case.write("Roradaza.dat", original)
    case.write("Roradaza.ini", e2e.TRAY_SAINTS_OFF)
    case.output = open(case.path("output.log"), "w")
    case.process = launch(case, QUIET_TODAY, stdout=case.output, stderr=subprocess.STDOUT)
    log(f"started with {os.path.basename(source)} ({len(original)} bytes)")

    messages = 0
    asked = False
    deadline = time.monotonic() + 30
    while time.monotonic() < deadline:
        code = case.process.poll()
        if code is not None:
            check(code == 0, f"the program ended with exit code 0 (got {code})")
            break
        if case.written("Roradaza.ini"):
            break  # the save on the way to the tray is done: Roradaza.dat comes first
        if visible_windows("Confirm"):
            asked = True
            time.sleep(0.2)
            e2e.screenshot(case.shot(f"bad-{case.name}-confirm.png"))
            e2e.focus_and_key(visible_windows("Confirm")[0], answer)
            wait_for("the question to close", lambda: not visible_windows("Confirm"), 5)
        elif visible_windows("Warning"):
            e2e.focus_and_key(visible_windows("Warning")[0], "n")
            time.sleep(0.3)
        elif visible_windows("Eventi Imminenti"):
            e2e.focus_and_key(visible_windows("Eventi Imminenti")[0], "Return")
            time.sleep(0.3)
        elif message_boxes():
            box = message_boxes()[0]
            messages += 1
            time.sleep(0.2)
            if messages == 1:
                e2e.screenshot(case.shot(f"bad-{case.name}-message.png"))
            e2e.focus_and_key(box, "Return")
            wait_for("the message to close", lambda: box not in message_boxes(), 5)
        time.sleep(0.05)
    else:
        raise Failed("the program neither saved nor ended within 30 s")

    ended = case.process.poll() is not None
    saved = case.written("Roradaza.ini")
    backup = case.path("Roradaza.dat.bak")
    kept = case.read("Roradaza.dat.bak") if os.path.exists(backup) else None
    now = case.read("Roradaza.dat") if os.path.exists(case.path("Roradaza.dat")) else None
    if asked and answer == "n":
        check(ended, "answering No to the conversion ends the program")
        check(now == original and not case.written("Roradaza.dat") and kept is None and not saved,
              "nothing is written after No")
    else:
        check(not ended and saved, "the program saved on its way to the tray and runs on")
        if kept is not None:
            check(kept == original, "Roradaza.dat.bak holds the original bytes")
            # What a damaged file gave is saved on the way to the tray, not emptied into the sample next time.
            check(asked or now is not None or not non_empty_lines(original)[1:],
                  "the records loaded are saved, not removed")
        elif now != original and asked:
            log("note: the converted file replaced the older one without a kept copy")
        elif now != original:
            # Records may move (name order) and line ends become CR LF, but no text may go.
            check(now is not None and sorted(non_empty_lines(now)[1:]) == sorted(non_empty_lines(original)[1:]),
                  "rewritten without a kept copy, yet every text line of the records is still there")
    leftovers = sorted(set(os.listdir(case.folder)) - {"Roradaza", "Roradaza.dat", "Roradaza.dat.bak", "Roradaza.ini",
                                                         "Roradaza.lock", "home", "runtime", "output.log"})
    check(not leftovers, f"nothing else is written beside the program ({leftovers})")
    if ended:
        check(not os.path.exists(case.path("Roradaza.lock")), "the lock goes with the program")
    outcome = ("asked, " + {"n": "declined" if answer == "n" else "converted", "y": "converted"}[answer]
               if asked else "loaded") + f", {messages} message(s)" + (", kept copy" if kept is not None else "")
    print(f"RESULT {os.path.basename(source)} answer={answer}: {outcome}", flush=True)


# Files that are no files: made at run time in place of Roradaza.dat or Roradaza.ini.
ODD_FILES = ["fifo:Roradaza.dat", "zero:Roradaza.dat", "folder:Roradaza.dat", "large:Roradaza.dat",
             "fifo:Roradaza.ini"]


def odd_file_case(case, odd):
    """A FIFO, a link to /dev/zero, a folder or a file of 40 MB: refused at once with a message. In place
    of Roradaza.dat the program runs on, and the save on the way to the tray leaves it in place with a
    second message; in place of Roradaza.ini the tray option is off, so the program ends after its
    countdown without a save."""
    kind, name = odd.split(":")
    case.write("Roradaza.dat", e2e.QUIET_DAY)
    case.write("Roradaza.ini", e2e.TRAY_SAINTS_OFF)
    target = case.path(name)
    os.remove(target)
    if kind == "fifo":
        os.mkfifo(target)
    elif kind == "zero":
        os.symlink("/dev/zero", target)
    elif kind == "folder":
        os.mkdir(target)
    else:
        with open(target, "wb") as file:
            file.truncate(40 * 1024 * 1024)
    before = os.lstat(target)
    case.output = open(case.path("output.log"), "w")
    case.process = launch(case, QUIET_TODAY, stdout=case.output, stderr=subprocess.STDOUT)
    log(f"started with {name} as {kind}")

    messages, calm, started = 0, None, time.monotonic()
    while time.monotonic() - started < 30:
        code = case.process.poll()
        if code is not None:
            check(name == "Roradaza.ini" and code == 0 and messages == 1,
                  f"the program ended with exit code 0 after one message (got {code} after {messages})")
            break
        boxes = message_boxes()
        if boxes:
            messages += 1
            time.sleep(0.2)
            e2e.screenshot(case.shot(f"bad-{case.name}-message-{messages}.png"))
            e2e.focus_and_key(boxes[0], "Return")
            wait_for("the message to close", lambda: boxes[0] not in message_boxes(), 5)
            calm = None
        elif visible_windows("Eventi Imminenti"):
            e2e.focus_and_key(visible_windows("Eventi Imminenti")[0], "Return")
        elif messages >= 2 and name == "Roradaza.dat":
            calm = calm or time.monotonic()
            if time.monotonic() - calm > 1.5:
                break
        time.sleep(0.1)
    else:
        raise Failed(f"the program did not refuse {name} and its save within 30 s ({messages} message(s))")
    took = time.monotonic() - started
    check(name == "Roradaza.ini" or case.process.poll() is None, "the program runs on")
    after = os.lstat(target)
    check((after.st_mode, after.st_size, after.st_ino) == (before.st_mode, before.st_size, before.st_ino),
          f"{name} is left where and as it was")
    leftovers = sorted(set(os.listdir(case.folder)) - {"Roradaza", "Roradaza.dat", "Roradaza.ini", "Roradaza.lock",
                                                         "home", "runtime", "output.log"})
    check(not leftovers, f"nothing else is written beside the program ({leftovers})")
    print(f"RESULT {odd}: refused, {messages} message(s), {took:.1f} s", flush=True)


def start_xvfb():
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write)] + e2e.SCREEN.split(), pass_fds=(write, ),
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as pipe:
        number = pipe.readline().strip()
    if not number:
        server.kill()
        raise Failed("Xvfb gave no display number")
    return server, f":{number}"


def run_jobs(args, jobs, servers):
    """Runs (file, answer) jobs on the X servers, one at a time on each; gives the result lines and failures."""
    running = {}  # display -> (process, job)
    results, failures = [], []
    pending = list(jobs)
    try:
        while pending or running:
            for _, display in servers:
                if display not in running and pending:
                    source, answer = pending.pop(0)
                    command = [sys.executable, os.path.abspath(__file__), "--binary", args.binary, "--screenshots",
                               args.screenshots, "--case", "bad-file", "--file", source, "--answer", answer]
                    process = subprocess.Popen(command, env=dict(os.environ, DISPLAY=display),
                                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
                    running[display] = (process, (source, answer))
            for display, (process, job) in list(running.items()):
                if process.poll() is None:
                    continue
                output = process.stdout.read()
                del running[display]
                results += [(job[0], line) for line in output.splitlines() if line.startswith("RESULT ")]
                if process.returncode != 0:
                    failures.append((job, output))
            time.sleep(0.1)
    finally:
        for process, _ in running.values():
            process.kill()
    return results, failures


def bad_files(args):
    """Every file, a few at a time, each worker on its own X server; the files the program offers to
    convert are started again and converted."""
    started = time.monotonic()
    servers = [start_xvfb() for _ in range(WORKERS)]
    try:
        results, failures = run_jobs(args, [(source, "n") for source in args.files + ODD_FILES], servers)
        asked = [source for source, line in results if "asked" in line]
        more, more_failures = run_jobs(args, [(source, "y") for source in asked], servers)
    finally:
        for server, _ in servers:
            server.kill()
            server.wait()
    for _, line in sorted(results + more, key=lambda result: result[1]):
        print(line)
    failures += more_failures
    for (source, answer), output in failures:
        print(f"== FAILED: {source} answer={answer}\n{output}")
    print(f"{len(args.files) + len(ODD_FILES) + len(asked)} starts of {len(args.files) + len(ODD_FILES)} files in {time.monotonic() - started:.1f} s, "
          f"{len(failures)} failed")
    return 1 if failures else 0


def program_window(case):
    return wait_for("the main window", e2e.main_window, 15)


def start_second(case, **env):
    """A second start; env changes its environment (None removes a variable)."""
    changed = dict(case.env, **env)
    second = launch(argparse.Namespace(env={k: v for k, v in changed.items() if v is not None}, program=case.program,
                                       folder=case.folder), e2e.TODAY, stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL)
    started = time.monotonic()
    try:
        code = second.wait(10)
    except subprocess.TimeoutExpired:
        second.kill()
        raise Failed("the second start was still running 10 s later")
    took = time.monotonic() - started
    check(code == 0 and took < 5, f"the second start ended with exit code 0 after {took:.1f} s (got {code})")


def come_forward(case, window, **env):
    """A second start on the same folder brings the hidden program back, expanded, and ends."""
    for name in ("Roradaza.dat", "Roradaza.ini"):
        os.utime(case.path(name), (e2e.OLD, e2e.OLD))
    start_second(case, **env)
    check(not case.written("Roradaza.dat") and not case.written("Roradaza.ini"), "the second start writes nothing")
    place = wait_for("the main window to come back", lambda: e2e.geometry(window), 5)
    check(case.running(), "the first program is still running")
    check(e2e.EXPANDED_CLIENT + 10 <= place[3] <= e2e.EXPANDED_CLIENT + 40,
          f"it came forward expanded: 417 by {place[3]} (client {e2e.EXPANDED_CLIENT} under the menu bar)")
    time.sleep(3.5)
    check(case.running() and e2e.geometry(window), "its countdown is stopped: still shown 3.5 s later")


def start_first(case):
    case.output = case.output or open(case.path("output.log"), "w")
    case.process = launch(case, e2e.TODAY, stdout=case.output, stderr=subprocess.STDOUT)
    log(f"started {case.program} (pid {case.process.pid})")


def into_tray(case):
    if not shutil.which("trayer"):
        log("trayer is not installed: skipped")
        return None
    case.start_helper("trayer", "--edge", "top", "--align", "right", "--widthtype", "request", "--height", "32",
                      "--SetDockType", "true", "--transparent", "false", "--expand", "false")
    wait_for("the tray panel", lambda: visible_windows("panel"), 10)
    case.write("Roradaza.dat", e2e.QUIET_DAY)
    case.write("Roradaza.ini", e2e.TRAY_SAINTS_OFF)
    start_first(case)
    window = program_window(case)
    wait_for("the main window to go to the tray", lambda: e2e.geometry(window) is None, 10)
    wait_for("the tray icon", e2e.tray_icon, 5)
    return window


def abandoned_socket(path):
    """A socket as a killed program leaves it: no one listens there, since long before this start."""
    with socket.socket(socket.AF_UNIX) as listener:
        listener.bind(path)
    os.utime(path, (e2e.OLD, e2e.OLD))
    return path


def case_one_instance(case):
    if not shutil.which("trayer"):
        log("trayer is not installed: skipped")
        return e2e.SKIP
    # Left by killed programs of other folders: in the runtime folder, in the user's own folder in /tmp,
    # and straight in /tmp where earlier versions listened.
    own = f"/tmp/roradaza-{os.geteuid()}"
    os.makedirs(own, mode=0o700, exist_ok=True)
    abandoned = [abandoned_socket(os.path.join(folder, f"roradaza-{os.urandom(8).hex()}"))
                 for folder in (case.env["XDG_RUNTIME_DIR"], own)]
    abandoned.append(abandoned_socket(f"/tmp/roradaza-{os.urandom(8).hex()}-{os.geteuid()}"))
    window = into_tray(case)
    if window is None:
        return e2e.SKIP
    check(os.path.exists(case.path("Roradaza.lock")), "the program holds Roradaza.lock in its data folder")
    check(not any(os.path.exists(path) for path in abandoned), "the sockets of killed programs are cleaned up")
    # Started from another shell: another TMPDIR, and no runtime folder at all.
    other = case.path("home/other-tmp")
    os.makedirs(other)
    come_forward(case, window, TMPDIR=other, XDG_RUNTIME_DIR=None)
    e2e.screenshot(case.shot("come-forward.png"), window)

    if os.geteuid() != 0 or subprocess.run(["unshare", "-m", "true"], capture_output=True).returncode != 0:
        log("not root, or no private mounts (unshare -m): the socket folder of another user is not tried")
        return
    # Another user made the socket folder in /tmp first (seen by this start alone, in its own mounts), and
    # there is no runtime folder: the start says it cannot reach the program, instead of waiting for it.
    mount = f'mount -t tmpfs -o uid=65534,gid=65534,mode=0755 tmpfs {own} && exec "$0"'
    second = subprocess.Popen(["unshare", "-m", "sh", "-c", mount, case.program], cwd=case.folder,
                              env={k: v for k, v in case.env.items() if k != "XDG_RUNTIME_DIR"},
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    box = wait_for("the message of a start that finds the socket folder taken", message_boxes, 15, second)[0]
    time.sleep(0.2)
    e2e.screenshot(case.shot("socket-folder-taken.png"))
    e2e.focus_and_key(box, "Return")
    check(second.wait(5) == 1, "that start ends with exit code 1")
    said = second.stdout.read().decode()
    check(own in said and "nobody" in said, f"it names the folder and its owner: {said!r}")
    check(case.running(), "the first program is still running")


def case_stale_lock(case):
    window = into_tray(case)
    if window is None:
        return e2e.SKIP
    icon = e2e.tray_icon()
    case.process.send_signal(signal.SIGKILL)
    case.process.wait(5)
    check(os.path.exists(case.path("Roradaza.lock")), "a killed program leaves Roradaza.lock behind")
    # Its icon lingers in the tray for a moment; the next start's icon must not be taken for it.
    wait_for("the killed program's tray icon to go", lambda: e2e.geometry(icon) is None, 10)
    # Its process id now belongs to another program, which happens to share its name.
    os.makedirs(case.path("home/elsewhere"))
    shutil.copy2(shutil.which("sleep"), case.path("home/elsewhere/Roradaza"))
    other = case.start_helper(case.path("home/elsewhere/Roradaza"), "60")
    with open(case.path("Roradaza.lock")) as file:
        lines = file.read().split("\n")
    with open(case.path("Roradaza.lock"), "w") as file:
        file.write("\n".join([str(other.pid)] + lines[1:]))
    start_first(case)
    window = wait_for("the main window of the next start", e2e.main_window, 15, case.process)
    wait_for("the next start to go to the tray", lambda: e2e.geometry(window) is None, 10)
    wait_for("its tray icon, shown once its save is done", e2e.tray_icon, 5)
    check(case.running(), "the next start took the lock over and runs")
    # The taken-over program answers a further start like any other.
    come_forward(case, window)
    # A program that hangs keeps its folder, and a further start says so.
    case.process.send_signal(signal.SIGSTOP)
    try:
        second = launch(case, e2e.TODAY, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        box = wait_for("the message of a start that finds the program hung", message_boxes, 15, second)[0]
        time.sleep(0.2)
        e2e.screenshot(case.shot("stale-lock-hung.png"))
        e2e.focus_and_key(box, "Return")
        check(second.wait(5) == 1, "that start ends with exit code 1")
        said = second.stdout.read().decode()
        check(f"processo {case.process.pid}" in said, "it names the process that holds the folder")
    finally:
        case.process.send_signal(signal.SIGCONT)


def case_moved_events(case):
    """The program's folder cannot be written (a read-only mount stops root too): the events beside it
    are copied to the user's data folder once, and the user is told where they now live. A data folder
    that cannot be written either is reported, and the program ends."""
    if subprocess.run(["unshare", "-m", "true"], capture_output=True).returncode != 0:
        log("no private mounts here (unshare -m): skipped")
        return e2e.SKIP
    case.write("Roradaza.dat", e2e.QUIET_DAY)
    case.write("Roradaza.ini", e2e.SAINTS_OFF)
    outside = tempfile.mkdtemp(prefix="roradaza-e2e-data-")
    moved = os.path.join(outside, "roradaza")
    mount = 'mount --bind "$0" "$0" && mount -o remount,bind,ro "$0" && exec "$0/Roradaza"'
    library = glob.glob("/usr/lib/*/faketime/libfaketime.so.1")[0]
    try:
        for start in ("blocked", "first", "next", "emptied"):
            if start == "emptied":
                # Every event deleted there: the save removed Roradaza.dat and kept Roradaza.ini.
                with open(os.path.join(moved, "Roradaza.dat"), "rb") as file:
                    check(file.read() == e2e.QUIET_DAY, "Roradaza.dat was copied whole")
                os.remove(os.path.join(moved, "Roradaza.dat"))
            data_home = case.path("home/data") if start == "blocked" else outside
            case.output = open(case.path(f"output-{start}.log"), "w+")
            case.process = subprocess.Popen(["unshare", "-m", "sh", "-c", mount, case.folder], cwd=case.folder,
                                            env=dict(case.env, XDG_DATA_HOME=data_home, LD_PRELOAD=library,
                                                     FAKETIME="@" + QUIET_TODAY),
                                            stdout=case.output, stderr=subprocess.STDOUT)
            if start in ("blocked", "first"):
                box = wait_for("a word on the events", message_boxes, 15, case.process)[0]
                time.sleep(0.2)
                e2e.screenshot(case.shot(f"moved-events-{start}.png"))
                e2e.focus_and_key(box, "Return")
            if start == "blocked":
                check(case.process.wait(10) == 1, "a copy that cannot be made is reported, and the program ends")
            else:
                wait_for("the main window", e2e.main_window, 15, case.process)
                check(not message_boxes(), "no other message")
                case.wait_exit(15)
            case.output.seek(0)
            said = case.output.read()
            check((moved in said) == (start == "first"), f"the {start} start names the new place of the events "
                  "only when they have moved there")
        check(not os.path.exists(os.path.join(moved, "Roradaza.dat")), "the old events did not come back")
        with open(os.path.join(moved, "Roradaza.ini"), "rb") as file:
            check(file.read() == e2e.SAINTS_OFF, "Roradaza.ini was copied whole")
        for name, data in (("Roradaza.dat", e2e.QUIET_DAY), ("Roradaza.ini", e2e.SAINTS_OFF)):
            check(case.read(name) == data and not case.written(name), f"the {name} beside the program is untouched")
    finally:
        shutil.rmtree(outside, ignore_errors=True)


CASES = {"one-instance": case_one_instance, "stale-lock": case_stale_lock, "moved-events": case_moved_events}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--binary", required=True)
    parser.add_argument("--screenshots", required=True)
    parser.add_argument("--case", required=True, choices=sorted(CASES) + ["bad-files", "bad-file"])
    parser.add_argument("--files", nargs="*", default=[])
    parser.add_argument("--file")
    parser.add_argument("--answer", default="n")
    args = parser.parse_args()
    args.binary = os.path.abspath(args.binary)
    args.screenshots = os.path.abspath(args.screenshots)

    missing = [tool for tool in e2e.TOOLS if not shutil.which(tool)]
    if args.case == "bad-files" and not shutil.which("Xvfb"):
        missing.append("Xvfb")
    if args.case in CASES and not os.environ.get("DISPLAY") and not shutil.which("xvfb-run"):
        missing.append("xvfb-run")
    if missing:
        print(f"skipped: missing {', '.join(missing)}")
        return e2e.SKIP
    status = e2e.in_session_bus(__file__)
    if status is not None:
        return status
    os.makedirs(args.screenshots, exist_ok=True)
    if args.case == "bad-files":
        return bad_files(args)
    if args.case in CASES and not os.environ.get("DISPLAY"):
        command = ["xvfb-run", "-a", "-s", e2e.SCREEN, sys.executable, os.path.abspath(__file__)] + sys.argv[1:]
        return subprocess.run(command, timeout=240).returncode

    name = args.case
    if args.file in ODD_FILES:
        name = args.file.replace(":", "-").replace(".", "-")
    elif args.file:
        name = os.path.splitext(os.path.basename(args.file))[0] + "-" + args.answer
    case = e2e.Case(args.binary, args.screenshots, name)
    if args.case == "bad-file" and args.file in ODD_FILES:
        return e2e.run_case(case, name, lambda case: odd_file_case(case, args.file))
    if args.case == "bad-file":
        return e2e.run_case(case, name, lambda case: bad_file_case(case, args.file, args.answer))
    return e2e.run_case(case, name, CASES[args.case])

if __name__ == "__main__":
    sys.exit(main())
