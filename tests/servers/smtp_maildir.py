#!/usr/bin/python3
"""An SMTP server for the tests: delivers every accepted mail into a Maildir.

  smtp_maildir.py HOST PORT MAILDIR [--auth USER PASSWORD]

With --auth the server offers AUTH PLAIN/LOGIN without TLS (it listens on
loopback only) and refuses mail until the client has logged in.
"""
import os
import socket
import sys
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

_counter = 0


class MaildirHandler:
    def __init__(self, maildir):
        self.maildir = maildir

    async def handle_DATA(self, server, session, envelope):
        global _counter
        _counter += 1
        name = f"{time.time_ns()}.P{os.getpid()}Q{_counter}.{socket.gethostname()}"
        data = envelope.original_content or envelope.content
        if isinstance(data, str):
            data = data.encode("utf-8")
        data = data.replace(b"\r\n", b"\n")  # Maildir files use LF line ends
        temporary = os.path.join(self.maildir, "tmp", name)
        with open(temporary, "wb") as f:
            f.write(b"Return-Path: <" + envelope.mail_from.encode() + b">\n")
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
        os.rename(temporary, os.path.join(self.maildir, "new", name))
        return "250 Message accepted for delivery"


class Authenticator:
    def __init__(self, user, password):
        self.user, self.password = user.encode(), password.encode()

    def __call__(self, server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and auth_data.login == self.user
              and auth_data.password == self.password)
        return AuthResult(success=ok, handled=False)  # False: the server sends 535 itself


def main(argv):
    host, port, maildir = argv[1], int(argv[2]), argv[3]
    options = {}
    if "--auth" in argv:
        at = argv.index("--auth")
        options = dict(authenticator=Authenticator(argv[at + 1], argv[at + 2]),
                       auth_required=True, auth_require_tls=False)
    controller = Controller(MaildirHandler(maildir), hostname=host, port=port,
                            decode_data=False, **options)
    controller.start()
    print(f"SMTP listening on {host}:{port}", flush=True)
    try:
        _sleep_forever()
    finally:
        controller.stop()


def _sleep_forever():
    while True:
        time.sleep(3600)


if __name__ == "__main__":
    main(sys.argv)
