"""Typing into an open compose window while the timed check receives, on a
real X server (Xvfb with openbox, the xcb platform, the real program): every
key lands in the body, in order.

The program's folder turns the timed check on at its shortest interval (one
minute); its POP3 server hands out one mail of a few megabytes over a slow
link, so the check's run lasts seconds. The test types numbered lines, ASCII
and Japanese, into the body from before the check connects until after it
has left the server, then reads the body back through the clipboard (select
all, copy, xclip) and compares it with what was typed. The server's log
proves that the check ran while the keys went in, and the box file that it
stored the mail. Meanwhile the program is asked for the clipboard (a word
copied from the subject) every 50 ms: keys held back while the check works
would arrive late, though in order, so each answer must come within 500 ms.

    python3 timed_check_xcb_test.py PROGRAM [DISPLAY_NUMBER [SCREENSHOT_FOLDER]]
"""

import os
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "xcb"))
from display import px  # noqa: E402
from pop3server import Pop3Server  # noqa: E402
from program import box_records, make_program_folder, run_test, start_program  # noqa: E402

NEW_BUTTON = (1620 + 600, 1140 + 540)  # Label5 in twips (MainLayout: row 0, column 0)
# Middles of controls of the compose window, in twips (ComposeLayout.h).
SUBJECT = (1020 + 2940, 1650 + 2 * 420 + 165)  # SubjectText
BODY = (120 + 3390, 4170 + 2 * 420 + 1725)  # BodyText
LINK_BYTES_PER_SECOND = 1024 * 1024
MAIL_BYTES = 4 * 1024 * 1024
# The first check comes one minute after the start; typing begins a little
# before it is due.
TYPING_STARTS_AFTER = 40
TYPING_LIMIT = 150
KEY_DELAY_MS = 25
# xdotool's key presses compete for the cores with the program: a sanitized
# build answers in up to 160 ms while only the keys arrive. A check held on
# the window thread holds them for seconds.
LONGEST_ANSWER_MS = float(os.environ.get("QF_LONGEST_TYPING_ANSWER_MS", "500"))


def mail():
    line = b"z" * 998 + b"\r\n"
    return (b"From: far@example.jp\r\nTo: me@example.jp\r\nSubject: timed\r\n"
            b"Date: Wed, 9 Dec 2026 10:00:00 +0900\r\n\r\n" + line * (MAIL_BYTES // len(line)))


def chunk(number):
    """A numbered line, every third one Japanese: a key lost, doubled or
    out of order shows in the text read back."""
    if number % 3 == 2:
        return "%03d 受信中も、打った文字は順に本文に入ります。\n" % number
    return "%03d the quick brown fox jumps over the lazy dog; 0123456789 <>?!\n" % number


class ClipboardProbe:
    """Asks the program for the clipboard's text every 50 ms on a thread of
    its own, as long as the typing lasts: only the program's event loop
    answers, so the longest wait is the longest the keys had to wait."""

    def __init__(self, display, expected):
        self.display = display
        self.expected = expected
        self.asks = self.answered = 0
        self.longest_ms = 0.0
        self.longest_at = 0.0
        self._done = threading.Event()
        self._thread = threading.Thread(target=self._ask, daemon=True)
        self._thread.start()

    def _ask(self):
        while not self._done.is_set():
            started = time.monotonic()
            got = self.display.clipboard()
            waited = (time.monotonic() - started) * 1000
            if waited > self.longest_ms:
                self.longest_ms, self.longest_at = waited, started
            self.asks += 1
            self.answered += got == self.expected
            self._done.wait(max(0, 0.05 - (time.monotonic() - started)))

    def stop(self):
        self._done.set()
        self._thread.join()


def type_during_check(display, server):
    """Types lines until the check has come and gone: what was typed, and
    the moments the typing began and ended."""
    typed = []
    began = time.monotonic()
    while True:
        closed = server.events("CLOSE")
        if closed and closed[0][0] < time.monotonic() - 1 and len(typed) >= 2:
            break
        if time.monotonic() - began > TYPING_LIMIT:
            raise AssertionError("no timed check came and went in %d s of typing"
                                 % TYPING_LIMIT)
        line = chunk(len(typed))
        display.xdotool("type", "--delay", KEY_DELAY_MS, line.rstrip("\n"), timeout=120)
        display.xdotool("key", "Return")  # a typed "\n" is no Return to the program
        typed.append(line)
    return "".join(typed), began, time.monotonic()


def drive(display, program_path, folder, server, shots):
    program, main, origin = start_program(display, program_path, folder, "typing")
    started = time.monotonic()
    try:
        display.map_characters("".join(chunk(n) for n in range(3)))
        display.click(origin, px(NEW_BUTTON[0]), px(NEW_BUTTON[1]))
        compose = display.wait_window("新規作成")
        display.xdotool("windowactivate", "--sync", compose)
        # A word copied from the subject: the program owns the clipboard.
        display.click(display.origin(compose), px(SUBJECT[0]), px(SUBJECT[1]))
        display.xdotool("type", "probe")
        display.xdotool("key", "ctrl+a", "ctrl+c")
        display.click(display.origin(compose), px(BODY[0]), px(BODY[1]))
        time.sleep(max(0, started + TYPING_STARTS_AFTER - time.monotonic()))
        if server.events("CONNECT"):
            raise AssertionError("the timed check came before the typing began")
        probe = ClipboardProbe(display, "probe")
        try:
            typed, began, ended = type_during_check(display, server)
        finally:
            probe.stop()
        if shots:
            display.screenshot(os.path.join(shots, "typed-during-check.png"))
        connected = server.events("CONNECT")[0][0]
        left = server.events("CLOSE")[0][0]
        print("typed %d characters over %.1f s; the check connected %.1f s in and left %.1f s in"
              % (len(typed), ended - began, connected - began, left - began))
        print("%d clipboard asks while typing, %d answered, the longest wait %.0f ms, %.1f s in"
              % (probe.asks, probe.answered, probe.longest_ms, probe.longest_at - began))
        if not (began < connected < left < ended):
            raise AssertionError("the check did not run while the keys went in")
        if probe.answered != probe.asks or probe.longest_ms > LONGEST_ANSWER_MS:
            raise AssertionError("the program kept the keys waiting while it checked")
        if server.fetched() != [0] or server.left() or box_records(folder) != 1:
            raise AssertionError("the check did not store its mail once (%d records)"
                                 % box_records(folder))
        display.xdotool("key", "ctrl+a", "ctrl+c")
        time.sleep(0.5)
        body = display.clipboard()
        if body != typed:
            at = next((i for i, (a, b) in enumerate(zip(body or "", typed)) if a != b),
                      min(len(body or ""), len(typed)))
            raise AssertionError("the body differs from what was typed at character %d:\n"
                                 "  typed: %r\n  body:  %r" % (at, typed[at:at + 60],
                                                              (body or "")[at:at + 60]))
        print("ok: all %d characters landed in the body, in order" % len(typed))
    finally:
        program.kill()
        program.wait()


def trials(display, program_path, work, shots):
    server = Pop3Server([mail()], rate=LINK_BYTES_PER_SECOND)
    folder = make_program_folder(work, server.port, b"CHECK=1\r\n")
    drive(display, program_path, folder, server, shots)


if __name__ == "__main__":
    run_test("timed-check-xcb", trials)
