#!/usr/bin/python3
"""A local OAuth 2.0 provider for the tests: authorization, token and
token-introspection endpoints on 127.0.0.1.

  oauth_provider.py [USER]     prints "PORT" on its first line, then serves

GET  /authorize   the user's consent, given at once: redirects to the
                  loopback redirect_uri with a code (or error=access_denied
                  after /admin/deny), checking client_id and S256
POST /token       authorization_code (the PKCE verifier checked) and
                  refresh_token grants; refresh tokens rotate
POST /introspect  RFC 7662: {"active": true, "username": USER} for a live
                  access token (Dovecot's oauth2 passdb and the SMTP server)
POST /admin/expire   every access token expires now
POST /admin/revoke   every refresh token is refused from now on
POST /admin/deny     the next authorization is declined
GET  /admin/stats    {"refreshes": n, "codes": n}
"""
import base64
import hashlib
import http.server
import json
import secrets
import sys
import time
import urllib.parse

CLIENT_ID = "quillfern-test-client"
USER = sys.argv[1] if len(sys.argv) > 1 else "qftest"
state = {"codes": {}, "access": {}, "refresh": set(), "deny": False,
         "refreshes": 0, "issued_codes": 0}


def challenge_of(verifier):
    digest = hashlib.sha256(verifier.encode()).digest()
    return base64.urlsafe_b64encode(digest).decode().rstrip("=")


def issue(expires_in=3600):
    access, refresh = "at-" + secrets.token_urlsafe(12), "rt-" + secrets.token_urlsafe(12)
    state["access"][access] = time.time() + expires_in
    state["refresh"].add(refresh)
    return {"access_token": access, "refresh_token": refresh, "expires_in": expires_in,
            "token_type": "Bearer"}


class Handler(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def reply(self, code, body, headers=()):
        data = json.dumps(body).encode()
        self.send_response(code)
        for key, value in headers:
            self.send_header(key, value)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def form(self):
        length = int(self.headers.get("Content-Length", "0"))
        return {k: v[0] for k, v in urllib.parse.parse_qs(self.rfile.read(length).decode()).items()}

    def do_GET(self):
        url = urllib.parse.urlparse(self.path)
        query = {k: v[0] for k, v in urllib.parse.parse_qs(url.query).items()}
        if url.path == "/admin/stats":
            return self.reply(200, {"refreshes": state["refreshes"], "codes": state["issued_codes"]})
        if url.path != "/authorize":
            return self.reply(404, {})
        redirect = query.get("redirect_uri", "")
        if (query.get("client_id") != CLIENT_ID or query.get("response_type") != "code"
                or query.get("code_challenge_method") != "S256"
                or not redirect.startswith("http://127.0.0.1:")):
            return self.reply(400, {"error": "invalid_request"})
        if state["deny"]:
            state["deny"] = False
            target = {"error": "access_denied", "state": query.get("state", "")}
        else:
            code = secrets.token_urlsafe(12)
            state["codes"][code] = (query.get("code_challenge", ""), redirect)
            state["issued_codes"] += 1
            target = {"code": code, "state": query.get("state", "")}
        location = redirect + "?" + urllib.parse.urlencode(target)
        self.reply(302, {}, [("Location", location)])

    def do_POST(self):
        url = urllib.parse.urlparse(self.path)
        form = self.form()
        if url.path == "/admin/expire":
            for token in state["access"]:
                state["access"][token] = 0
            return self.reply(200, {})
        if url.path == "/admin/revoke":
            state["refresh"].clear()
            return self.reply(200, {})
        if url.path == "/admin/deny":
            state["deny"] = True
            return self.reply(200, {})
        if url.path == "/introspect":
            live = state["access"].get(form.get("token", ""), 0) > time.time()
            return self.reply(200, {"active": True, "username": USER} if live else {"active": False})
        if url.path != "/token" or form.get("client_id") != CLIENT_ID:
            return self.reply(400, {"error": "invalid_client"})
        grant = form.get("grant_type")
        if grant == "authorization_code":
            challenge, redirect = state["codes"].pop(form.get("code", ""), ("", ""))
            if (not challenge or redirect != form.get("redirect_uri")
                    or challenge_of(form.get("code_verifier", "")) != challenge):
                return self.reply(400, {"error": "invalid_grant"})
            return self.reply(200, issue())
        if grant == "refresh_token":
            token = form.get("refresh_token", "")
            if token not in state["refresh"]:
                return self.reply(400, {"error": "invalid_grant",
                                        "error_description": "refresh token revoked"})
            state["refresh"].discard(token)
            state["refreshes"] += 1
            return self.reply(200, issue())
        return self.reply(400, {"error": "unsupported_grant_type"})


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
