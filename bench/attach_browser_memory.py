#!/usr/bin/python3
"""Peak memory of the program at start-up and with a page shown in the
attachment browser, on a real X server (Xvfb with openbox, xcb, Mesa's
software OpenGL).

  attach_browser_memory.py PROGRAM [--rounds N] [--start-up-only]

Each round starts PROGRAM (build it with the bench or release preset) on a
fresh program folder, waits for the main window and 3 s more, and reads the
peak resident memory of the process (VmHWM). It then opens the attachment
browser, clicks an HTML page, waits until the page is on the screen and 3 s
more, and reads the peak again, with the resident memory of the web engine's
helper processes beside it. Prints the median of the rounds. A measurement,
not a test: nothing passes or fails. --start-up-only stops after the first
figure, for a build that cannot show a page (one from before the browser
worked on xcb) or to compare start-up alone.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "attachments"))
import attach_browser_xcb_test as xcb  # noqa: E402
from display import Display, px  # noqa: E402


def status_kb(pid, field):
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def descendants(pid):
    children = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as stat:
                parent = int(stat.read().rsplit(")", 1)[1].split()[1])
        except (OSError, IndexError, ValueError):
            continue
        if parent == pid:
            children.append(int(entry))
    return children + [d for child in children for d in descendants(child)]


def one_round(program_path, start_up_only):
    work = tempfile.mkdtemp(prefix="qf-attach-memory-")
    display = Display(work)
    program = None
    try:
        folder = xcb.make_program_folder(work)
        env = dict(display.env, QUILLFERN_FOLDER=folder, QT_QPA_PLATFORM="xcb")
        program = subprocess.Popen([program_path], cwd=folder, env=env,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        main = display.wait_window("Quillfern Ver", timeout=120)
        time.sleep(3)
        start_up = status_kb(program.pid, "VmHWM")
        if start_up_only:
            return start_up, 0, 0, 0

        display.click(display.origin(main), px(xcb.AT_BUTTON[0]), px(xcb.AT_BUTTON[1]))
        browser = display.wait_window("添付ファイル他の確認")
        origin = display.origin(browser)
        display.xdotool("windowactivate", "--sync", browser)
        xcb.wait_until("the browser", lambda: xcb.share(display.pixels(
            *xcb.rect(origin, xcb.FILE_LIST, inset=4)), lambda p: min(p) >= 245) > 0.5, program)
        list_x, list_y, _, _ = xcb.rect((0, 0), xcb.FILE_LIST)
        display.click(origin, list_x + 40, list_y + 10)  # ページ.html, the first row
        frame = xcb.rect(origin, xcb.BROWSER_FRAME, inset=8)
        xcb.wait_until("the page", lambda: xcb.share(
            display.pixels(*frame), lambda p: p == xcb.PAGE_BLUE) > 0.6, program)
        time.sleep(3)
        page = status_kb(program.pid, "VmHWM")
        helpers = descendants(program.pid)
        helper_rss = sum(status_kb(pid, "VmRSS") for pid in helpers)
        return start_up, page, helper_rss, len(helpers)
    finally:
        if program is not None:
            program.kill()
            program.wait()
        display.close()
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("program")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--start-up-only", action="store_true")
    args = parser.parse_args()
    rounds = [one_round(os.path.abspath(args.program), args.start_up_only)
              for _ in range(args.rounds)]
    median = [statistics.median(r[i] for r in rounds) for i in range(4)]
    print("rounds: %d (median)" % args.rounds)
    print("start-up peak, program process        %6.1f MB" % (median[0] / 1024))
    if args.start_up_only:
        return
    print("page shown peak, program process      %6.1f MB" % (median[1] / 1024))
    print("page shown, web engine helpers (RSS)  %6.1f MB in %d processes"
          % (median[2] / 1024, median[3]))


if __name__ == "__main__":
    main()
