#!/usr/bin/python3
"""An SMTP server for the tests: delivers every accepted mail into a Maildir.

  smtp_maildir.py HOST PORT MAILDIR [--auth USER PASSWORD]
                  [--tls TLS_FOLDER SMTPS_PORT WRONG_NAME_PORT] [--oauth URL]

With --auth the server offers AUTH PLAIN/LOGIN without TLS (it listens on
loopback only) and refuses mail until the client has logged in.

With --tls (certificates server.pem/.key and wrong-name.pem/.key in
TLS_FOLDER) PORT offers STARTTLS, and AUTH only after it; SMTPS_PORT speaks
TLS from the first byte; WRONG_NAME_PORT does too, with the certificate made
for another name. Mail that came over TLS gets a Received line "with ESMTPS"
("ESMTPSA" after AUTH).

With --oauth the server also offers AUTH XOAUTH2 (with the initial
response), asking the token-introspection endpoint URL about the token.
"""
import base64
import json
import os
import socket
import ssl
import sys
import time
import urllib.parse
import urllib.request

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

_counter = 0


class MaildirHandler:
    def __init__(self, maildir, mark_tls=False):
        self.maildir = maildir
        self.mark_tls = mark_tls

    def received_line(self, server, session):
        """The trace line of RFC 3848: how the mail came in."""
        over_tls = session.ssl is not None or (
            server.transport is not None
            and server.transport.get_extra_info("ssl_object") is not None)
        protocol = "ESMTP" + ("S" if over_tls else "") + ("A" if session.authenticated else "")
        return f"Received: from {session.host_name} by {server.hostname} with {protocol}\n"

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
            if self.mark_tls:
                f.write(self.received_line(server, session).encode())
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


class OAuthMaildirHandler(MaildirHandler):
    """Also takes AUTH XOAUTH2, asking the introspection endpoint whether
    the bearer token is live and names the account."""

    def __init__(self, maildir, mark_tls, introspection_url, user):
        super().__init__(maildir, mark_tls)
        self.introspection_url, self.user = introspection_url, user

    async def auth_XOAUTH2(self, server, args):
        try:
            fields = dict(part.split("=", 1) for part in
                          base64.b64decode(args[1]).decode().split("\x01") if "=" in part)
        except (IndexError, ValueError):
            return AuthResult(success=False, handled=False)
        token = fields.get("auth", "").removeprefix("Bearer ")
        data = urllib.parse.urlencode({"token": token}).encode()
        with urllib.request.urlopen(self.introspection_url, data, timeout=10) as answer:
            live = json.load(answer)
        ok = live.get("active") is True and fields.get("user") == live.get("username")
        return AuthResult(success=ok, handled=False, auth_data=fields.get("user"))


def server_context(folder, name):
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(os.path.join(folder, name + ".pem"),
                            os.path.join(folder, name + ".key"))
    return context


def main(argv):
    host, port, maildir = argv[1], int(argv[2]), argv[3]
    auth = {}
    if "--auth" in argv:
        at = argv.index("--auth")
        auth = dict(authenticator=Authenticator(argv[at + 1], argv[at + 2]),
                    auth_required=True, auth_require_tls=False)
    tls = None
    if "--tls" in argv:
        at = argv.index("--tls")
        tls = argv[at + 1], int(argv[at + 2]), int(argv[at + 3])
    handler = MaildirHandler(maildir, mark_tls=tls is not None)
    if "--oauth" in argv:
        user = argv[argv.index("--auth") + 1] if "--auth" in argv else "qftest"
        handler = OAuthMaildirHandler(maildir, tls is not None, argv[argv.index("--oauth") + 1],
                                      user)
        auth.setdefault("auth_require_tls", False)
    controllers = []
    if tls is None:
        controllers.append(Controller(handler, hostname=host, port=port, decode_data=False, **auth))
    else:
        folder, smtps_port, wrong_name_port = tls
        # STARTTLS on the plain port, where AUTH waits for TLS.
        plain_auth = dict(auth, auth_require_tls=True) if auth else {}
        controllers.append(Controller(handler, hostname=host, port=port, decode_data=False,
                                      tls_context=server_context(folder, "server"), **plain_auth))
        # aiosmtpd only counts STARTTLS as TLS for AUTH; on these ports it is TLS throughout.
        for tls_port, name in ((smtps_port, "server"), (wrong_name_port, "wrong-name")):
            controllers.append(Controller(handler, hostname=host, port=tls_port, decode_data=False,
                                          ssl_context=server_context(folder, name), **auth))
    for controller in controllers:
        controller.start()
    print("SMTP listening on " + ", ".join(f"{host}:{c.port}" for c in controllers), flush=True)
    try:
        _sleep_forever()
    finally:
        for controller in controllers:
            controller.stop()


def _sleep_forever():
    while True:
        time.sleep(3600)


if __name__ == "__main__":
    main(sys.argv)
