"""A send with a large attachment over a slow link, in the real program on a
real X server (Xvfb, openbox, xcb): the main window must answer the window
manager's _NET_WM_PING within 100 ms the whole time the mail travels.

The link is a relay in front of the local SMTP sink that passes the
client's bytes on at a fixed rate (a phone's tether, a hotel network). The
compose window is opened by a mailto: link, the attachment path typed into
its attachment line, and the send button clicked.

    python3 send_xcb_test.py PROGRAM [SCREENSHOT_FOLDER]
"""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "xcb"))
from display import Display, px  # noqa: E402
from program import close_main_window  # noqa: E402
from wmping import Pinger  # noqa: E402

SINK = os.path.join(HERE, "..", "tests", "servers", "smtp_maildir.py")
ATTACHMENT_BYTES = 16 * 1024 * 1024
LINK_BYTES_PER_SECOND = 3 * 1024 * 1024
PING_LIMIT = 0.100
# Places in the compose window, in twips (ComposeLayout.h).
SEND_BUTTON = (120 + 750, 120 + 240)
ATTACH_TEXT = (1020 + 1500, 2490 + 2 * 420 + 165)  # below the Cc and Bcc rows


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class SlowLink:
    """Relays one connection at a time to `target`, the client's bytes at
    `rate` bytes a second, the server's as they come."""

    def __init__(self, target, rate):
        self.target = target
        self.rate = rate
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.relayed = 0
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            client, _ = self.listener.accept()
            server = socket.create_connection(self.target)
            threading.Thread(target=self._pump, args=(server, client, None), daemon=True).start()
            threading.Thread(target=self._pump, args=(client, server, self.rate),
                             daemon=True).start()

    def _pump(self, source, sink, rate):
        chunk = 16 * 1024
        try:
            while True:
                data = source.recv(chunk)
                if not data:
                    break
                sink.sendall(data)
                if rate:
                    self.relayed += len(data)
                    time.sleep(len(data) / rate)
        except OSError:
            pass
        finally:
            for s in (sink, source):
                try:
                    s.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass


def delivered(maildir):
    return [os.path.join(maildir, "new", n) for n in os.listdir(os.path.join(maildir, "new"))]


def drive(display, program, maildir, link, shots):
    main = int(display.wait_window("Quillfern Ver", timeout=120))
    compose = display.wait_window("新規作成", timeout=60)
    pinger = Pinger(display.name)
    try:
        if pinger.ping(main) is None:
            raise AssertionError("the main window does not answer _NET_WM_PING at all")
        origin = display.origin(compose)
        display.click(origin, px(ATTACH_TEXT[0]), px(ATTACH_TEXT[1]))
        display.xdotool("type", "--delay", "5", os.path.join(os.path.dirname(maildir),
                                                             "large.bin"))
        time.sleep(0.5)
        display.click(origin, px(SEND_BUTTON[0]), px(SEND_BUTTON[1]))
        started = time.monotonic()
        worst = 0.0
        pings = 0
        shot_taken = False
        while not delivered(maildir):
            if program.poll() is not None:
                raise AssertionError("the program ended (exit %d)" % program.returncode)
            if time.monotonic() - started > 120:
                raise AssertionError("the mail did not arrive within 120 s")
            answer = pinger.ping(main, timeout=30)
            if answer is None:
                raise AssertionError("no answer to _NET_WM_PING for 30 s")
            pings += 1
            worst = max(worst, answer)
            if shots and not shot_taken and link.relayed > ATTACHMENT_BYTES // 2:
                display.screenshot(os.path.join(shots, "sending.png"))
                shot_taken = True
            time.sleep(0.05)
        took = time.monotonic() - started
        print("ok: the mail arrived after %.1f s (%d bytes through the link)"
              % (took, link.relayed))
        print("ok: %d pings during the send, the slowest answered in %.0f ms"
              % (pings, worst * 1000))
        if took < 3:
            raise AssertionError("the send was too quick to show anything (%.1f s)" % took)
        if worst > PING_LIMIT:
            raise AssertionError("the main window took %.0f ms to answer a ping" % (worst * 1000))
        with open(delivered(maildir)[0], "rb") as mail:
            if mail.read().count(b"large.bin") < 1:
                raise AssertionError("the delivered mail holds no attachment")
    finally:
        pinger.close()
    # The sink files the mail before the program reads its last reply: the
    # send has ended when the compose window has closed itself.
    deadline = time.monotonic() + 60
    while display.xdotool("search", "--onlyvisible", "--name", "新規作成"):
        if time.monotonic() > deadline:
            raise AssertionError("the compose window did not close after the send")
        time.sleep(0.2)
    code = close_main_window(display, main, program, timeout=120)
    if code != 0:
        raise AssertionError("the program ended with exit status %d" % code)
    print("ok: the program ended cleanly")


def main():
    program_path = os.path.abspath(sys.argv[1])
    shots = os.path.abspath(sys.argv[2]) if len(sys.argv) > 2 else None
    if shots:
        os.makedirs(shots, exist_ok=True)
    work = tempfile.mkdtemp(prefix="qf-send-xcb-")
    display = program = sink = None
    try:
        maildir = os.path.join(work, "Maildir")
        for part in ("new", "cur", "tmp"):
            os.makedirs(os.path.join(maildir, part))
        with open(os.path.join(work, "large.bin"), "wb") as large:
            large.write(os.urandom(ATTACHMENT_BYTES))
        sink_port = free_port()
        sink = subprocess.Popen(["/usr/bin/python3", SINK, "127.0.0.1", str(sink_port), maildir],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 30
        while True:
            try:
                socket.create_connection(("127.0.0.1", sink_port), timeout=1).close()
                break
            except OSError:
                if time.monotonic() > deadline:
                    raise
                time.sleep(0.2)
        link = SlowLink(("127.0.0.1", sink_port), LINK_BYTES_PER_SECOND)
        folder = os.path.join(work, "program")
        os.makedirs(folder)
        with open(os.path.join(folder, "corvid.ini"), "wb") as ini:
            ini.write(("SMTP=127.0.0.1:%d\r\nPOP3=127.0.0.1:9\r\nMAIL=test@example.jp\r\n"
                       "APOP=0\r\n" % link.port).encode())
        display = Display(work)
        print("display", display.name)
        env = dict(display.env, QUILLFERN_FOLDER=folder, QT_QPA_PLATFORM="xcb")
        with open(os.path.join(work, "quillfern.log"), "wb") as log:
            program = subprocess.Popen(
                [program_path, "mailto:friend@example.jp?subject=large&body=see%20attached"],
                cwd=folder, env=env, stdout=log, stderr=subprocess.STDOUT)
            drive(display, program, maildir, link, shots)
    except Exception:
        if shots and display is not None:
            display.screenshot(os.path.join(shots, "failed.png"))
        log_path = os.path.join(work, "quillfern.log")
        if os.path.exists(log_path):
            with open(log_path, "rb") as log:
                sys.stdout.write(b"".join(log.readlines()[-40:]).decode("utf-8", "replace"))
        raise
    finally:
        for process in (program, sink):
            if process is not None and process.poll() is None:
                process.kill()
                process.wait()
        if display is not None:
            display.close()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
