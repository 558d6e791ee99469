"""A small POP3 server for the real-display tests: mails behind a link of a
given rate, deletions kept from one session to the next (committed at QUIT,
as a server does), and a log of what each session asked, with times, so a
test can tell when the program connected, what it fetched and when it left.
With `greets` false it accepts and never says a word."""

import socket
import threading
import time


class Pop3Server:
    def __init__(self, mails, rate=None, greets=True):
        """`mails`: the raw mails (bytes); `rate`: bytes a second for RETR
        (None: as fast as the socket takes them)."""
        self.mails = list(mails)
        self.rate = rate
        self.greets = greets
        self.deleted = set()  # indexes into `mails`, committed
        self.log = []  # (monotonic time, session number, verb, argument)
        self.sessions = 0
        self._lock = threading.Lock()
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(4)
        self.port = self.sock.getsockname()[1]
        threading.Thread(target=self._serve, daemon=True).start()

    def left(self):
        """The indexes of the mails still on the server."""
        with self._lock:
            return [i for i in range(len(self.mails)) if i not in self.deleted]

    def events(self, verb=None):
        with self._lock:
            return [e for e in self.log if verb is None or e[2] == verb]

    def fetched(self):
        """The indexes of the mails sent out by RETR, in order, all sessions."""
        return [e[3] for e in self.events("RETR")]

    def _note(self, session, verb, argument=None):
        with self._lock:
            self.log.append((time.monotonic(), session, verb, argument))

    def _serve(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            with self._lock:
                self.sessions += 1
                session = self.sessions
            threading.Thread(target=self._session, args=(conn, session), daemon=True).start()

    def _send_throttled(self, conn, data):
        if not self.rate:
            conn.sendall(data)
            return
        chunk = 64 * 1024
        started = time.monotonic()
        for offset in range(0, len(data), chunk):
            conn.sendall(data[offset:offset + chunk])
            due = started + (offset + chunk) / self.rate
            time.sleep(max(0, due - time.monotonic()))

    def _session(self, conn, session):
        self._note(session, "CONNECT")
        try:
            if not self.greets:
                time.sleep(120)
                return
            self._talk(conn, session)
        except OSError:
            pass
        finally:
            conn.close()
            self._note(session, "CLOSE")

    def _talk(self, conn, session):
        # The maildrop as this session sees it: message n is shown[n - 1].
        shown = self.left()
        marked = set()
        reader = conn.makefile("rb")
        conn.sendall(b"+OK ready\r\n")
        for raw in reader:
            words = raw.strip().split(b" ")
            verb = words[0].upper().decode("ascii", "replace")
            number = int(words[1]) if len(words) > 1 and words[1].isdigit() else None
            index = shown[number - 1] if number and 0 < number <= len(shown) else None
            self._note(session, verb, index)
            if verb == "CAPA":
                conn.sendall(b"+OK\r\nUSER\r\nUIDL\r\n.\r\n")
            elif verb in ("USER", "PASS", "NOOP", "RSET"):
                marked = set() if verb == "RSET" else marked
                conn.sendall(b"+OK\r\n")
            elif verb == "STAT":
                conn.sendall(b"+OK %d %d\r\n"
                             % (len(shown), sum(len(self.mails[i]) for i in shown)))
            elif verb in ("UIDL", "LIST") and number is None:
                lines = b"".join(
                    b"%d %s\r\n" % (n, b"mail-%d" % i if verb == "UIDL" else
                                    str(len(self.mails[i])).encode())
                    for n, i in enumerate(shown, 1))
                conn.sendall(b"+OK\r\n" + lines + b".\r\n")
            elif verb == "RETR" and index is not None:
                self._send_throttled(conn, b"+OK\r\n" + self._stuffed(index) + b".\r\n")
            elif verb == "DELE" and index is not None:
                marked.add(index)
                conn.sendall(b"+OK\r\n")
            elif verb == "QUIT":
                with self._lock:
                    self.deleted |= marked
                conn.sendall(b"+OK\r\n")
                return
            else:
                conn.sendall(b"-ERR\r\n")

    def _stuffed(self, index):
        mail = self.mails[index]
        lines = mail.split(b"\r\n")
        stuffed = b"\r\n".join(b"." + line if line.startswith(b".") else line for line in lines)
        return stuffed if stuffed.endswith(b"\r\n") else stuffed + b"\r\n"
