#!/usr/bin/python3
"""Kills the program while a mail is being typed and checks the draft.

  draft-kill-trials.py PROGRAM [--display :N] [--trials N] [--seed S]

PROGRAM is the built quillfern. Each trial starts it on a fresh program
folder with a mailto: link, so the compose window opens, clicks into the
body and types words with xdotool at a steady pace for a random time, then
kills the program with SIGKILL. It is started again: the draft must be
offered (the "下書き" question comes up), and the draft file must be whole
(its body length as its header says) and hold exactly what was typed up to
some moment, missing at most the last few seconds of typing, never more.
The program's windows go on the display given (Xvfb with openbox, started
here when nothing runs there yet). Prints one line per trial; the exit status is 1 when a trial failed.
"""
import argparse
import os
import shutil
import random
import signal
import subprocess
import sys
import tempfile
import time

# The longest a change may wait before it is on disk (the saver's longest
# wait), and the time a slow (sanitized) build may take to write it.
LONGEST_WAIT = 4.0
SLACK = 2.0
CHUNK = "word "  # typed in one xdotool call


def start_display(display):
    """Xvfb and openbox on `display`, unless a display runs there already."""
    if subprocess.run(["xdotool", "getdisplaygeometry"], env=dict(os.environ, DISPLAY=display),
                      capture_output=True).returncode == 0:
        return []
    xvfb = subprocess.Popen(["Xvfb", display, "-screen", "0", "1366x768x24", "-nolisten", "tcp"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    time.sleep(1.5)
    env = dict(os.environ, DISPLAY=display)
    wm = subprocess.Popen(["openbox"], env=env, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL)
    time.sleep(1.0)
    return [xvfb, wm]


def xdotool(display, *args):
    return subprocess.run(["xdotool", *args], env=dict(os.environ, DISPLAY=display),
                          capture_output=True, text=True).stdout.strip()


def wait_window(display, name, seconds):
    end = time.time() + seconds
    while time.time() < end:
        found = xdotool(display, "search", "--onlyvisible", "--name", name)
        if found:
            return found.split()[0]
        time.sleep(0.3)
    return None


def start_program(program, folder, display, link=None):
    env = dict(os.environ, DISPLAY=display, QUILLFERN_FOLDER=folder, QT_QPA_PLATFORM="xcb",
               ASAN_OPTIONS="detect_leaks=0")
    args = [program] + ([link] if link else [])
    return subprocess.Popen(args, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def read_draft(path):
    """The body of a whole draft file, or None when it is not whole."""
    data = open(path, "rb").read()
    head, sep, body = data.partition(b"\n\n")
    lines = head.split(b"\n")
    if not sep or lines[0] != b"Quillfern draft 1":
        return None
    length = [l for l in lines if l.startswith(b"body-bytes: ")]
    if len(length) != 1 or int(length[0][len(b"body-bytes: "):]) != len(body):
        return None
    return body.decode("utf-8")


def trial(number, program, display, rng):
    folder = tempfile.mkdtemp(prefix="qf-draft-kill-")
    try:
        return typed_then_killed(number, program, display, rng, folder)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def typed_then_killed(number, program, display, rng, folder):
    proc = start_program(program, folder, display, "mailto:kill%d@example.jp?subject=trial" % number)
    window = wait_window(display, "新規作成", 30)
    if window is None:
        proc.kill()
        return False, "the compose window did not open"
    xdotool(display, "windowactivate", "--sync", window)
    xdotool(display, "mousemove", "--window", window, "234", "393", "click", "1")
    time.sleep(0.5)
    typed = ""
    stamps = []  # (time the chunk was typed, text typed up to it)
    typing_for = rng.uniform(1.0, 12.0)
    pauses = rng.random() < 0.5  # half the trials pause now and then
    start = time.time()
    while time.time() - start < typing_for:
        xdotool(display, "type", "--delay", "40", CHUNK)
        typed += CHUNK
        stamps.append((time.time(), typed))
        if pauses and rng.random() < 0.15:
            time.sleep(rng.uniform(0.5, 3.0))
    time.sleep(rng.uniform(0.0, 3.0))
    killed_at = time.time()
    proc.send_signal(signal.SIGKILL)
    proc.wait()

    # What was typed long enough before the kill must be on disk.
    must_have = ""
    for stamp, text in stamps:
        if stamp <= killed_at - LONGEST_WAIT - SLACK:
            must_have = text
    drafts = os.path.join(folder, "★MAilData", "drafts")
    files = sorted(f for f in os.listdir(drafts) if f.startswith("draft-")) if os.path.isdir(drafts) else []
    proc = start_program(program, folder, display)
    offered = wait_window(display, "下書き", 30) is not None
    proc.send_signal(signal.SIGKILL)
    proc.wait()
    if not files:
        ok = must_have == ""
        return ok, "no draft; %d characters had to be kept" % len(must_have)
    if len(files) != 1:
        return False, "%d draft files" % len(files)
    body = read_draft(os.path.join(drafts, files[0]))
    if body is None:
        return False, "the draft is not whole"
    if not typed.startswith(body) or not body.startswith(must_have):
        return False, "draft of %d characters; typed %d, had to keep %d" % (
            len(body), len(typed), len(must_have))
    if not offered:
        return False, "the draft was not offered at the restart"
    return True, "typed %d, kept %d (had to keep %d), offered" % (len(typed), len(body), len(must_have))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--display", default=":137")
    parser.add_argument("--trials", type=int, default=20)
    parser.add_argument("--seed", type=int, default=None)
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else int(time.time())
    rng = random.Random(seed)
    print("seed %d" % seed)
    helpers = start_display(args.display)
    failed = 0
    try:
        for number in range(1, args.trials + 1):
            ok, what = trial(number, os.path.abspath(args.program), args.display, rng)
            failed += 0 if ok else 1
            print("trial %2d: %s: %s" % (number, "ok" if ok else "FAILED", what), flush=True)
    finally:
        for helper in helpers:
            helper.kill()
    print("%d passed, %d failed" % (args.trials - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
