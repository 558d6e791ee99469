#!/usr/bin/python3
"""Starts and stops the local mail servers of the tests and the demo.

  mailservers.py start ENV_FILE   start a fresh Dovecot POP3 server (APOP on)
                                  and an SMTP server that delivers into the
                                  Maildir Dovecot serves; write ENV_FILE
  mailservers.py stop ENV_FILE    stop exactly the processes started for it

Options of start:
  --smtp-auth  the SMTP server requires AUTH (the POP3 account's user and
               password; with --tls only after STARTTLS, or over smtps)
  --oauth URL  also accept AUTH XOAUTH2 (POP3 and SMTP), asking the token
               introspection endpoint URL (RFC 7662) whether a token is live
  --tls        also speak TLS, with certificates made at start by a throw-away
               CA (tls/ca.pem) for 127.0.0.1 and localhost: POP3 offers STLS
               on its plain port and serves pop3s on a second one, SMTP offers
               STARTTLS on its plain port and serves smtps on a second one.
               Two servers present a certificate made for another name
               (wrong.example.invalid): pop3s when reached by the name
               "localhost", and a third SMTP port (smtps) on 127.0.0.1.
               Every mail that came in over TLS gets a Received line "with
               ESMTPS" (ESMTPSA after AUTH).

Both listen on 127.0.0.1 on free ports picked at start. Everything lives in
a fresh folder /tmp/qf-XXXXXX (short: Dovecot's unix sockets limit its path).
Started as root, the servers run as the user qftest (created when missing),
because Dovecot will not serve mail as root.

The env file holds KEY=VALUE lines: QF_MAIL_HOST, QF_POP3_PORT, QF_SMTP_PORT,
QF_MAIL_USER, QF_MAIL_PASSWORD, QF_MAILDIR, QF_DOVECOT_LOG, QF_SERVER_DIR and
the process ids QF_DOVECOT_PID, QF_SMTP_PID; with --tls also QF_POP3S_PORT,
QF_SMTPS_PORT, QF_SMTPS_WRONG_NAME_PORT and QF_CA_FILE.
"""
import os
import pwd
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import time

HOST = "127.0.0.1"
USER = "qftest"
PASSWORD = "qf-secret-7"
SERVICE_USER = "qftest"
SMTP_SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "smtp_maildir.py")


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind((HOST, 0))
        return s.getsockname()[1]


def service_account():
    """uid and gid the servers run as, creating the test user when root."""
    if os.getuid() != 0:
        return os.getuid(), os.getgid(), pwd.getpwuid(os.getuid()).pw_name
    try:
        entry = pwd.getpwnam(SERVICE_USER)
    except KeyError:
        subprocess.run(["useradd", "--system", "--no-create-home", "--shell",
                        "/usr/sbin/nologin", SERVICE_USER], check=True)
        entry = pwd.getpwnam(SERVICE_USER)
    return entry.pw_uid, entry.pw_gid, SERVICE_USER


WRONG_NAME = "wrong.example.invalid"


def openssl(*args, cwd):
    done = subprocess.run(["openssl", *args], cwd=cwd, capture_output=True, text=True)
    if done.returncode != 0:
        raise RuntimeError("openssl " + args[0] + " failed: " + done.stderr)


def make_certificate(folder, name, subject_alt_names):
    """name.key and name.pem, signed by the CA in folder."""
    with open(os.path.join(folder, name + ".ext"), "w") as f:
        f.write("basicConstraints = critical, CA:FALSE\n"
                "keyUsage = critical, digitalSignature, keyEncipherment\n"
                "extendedKeyUsage = serverAuth\n"
                f"subjectAltName = {subject_alt_names}\n")
    openssl("req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
            "-keyout", name + ".key", "-out", name + ".csr", "-subj", f"/CN={name}", cwd=folder)
    openssl("x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-days", "7", "-sha256", "-extfile", name + ".ext",
            "-out", name + ".pem", cwd=folder)


def make_certificates(folder, uid, gid):
    """A throw-away CA, a server certificate for 127.0.0.1 and localhost and
    one for another name, in folder/tls. The keys are readable by the
    service user only (the SMTP server loads them after dropping root)."""
    tls = os.path.join(folder, "tls")
    os.makedirs(tls)
    openssl("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
            "-keyout", "ca.key", "-out", "ca.pem", "-days", "7", "-sha256",
            "-subj", "/CN=Quillfern test CA",
            "-addext", "basicConstraints = critical, CA:TRUE",
            "-addext", "keyUsage = critical, keyCertSign, cRLSign", cwd=tls)
    make_certificate(tls, "server", "IP:127.0.0.1, DNS:localhost")
    make_certificate(tls, "wrong-name", f"DNS:{WRONG_NAME}")
    os.remove(os.path.join(tls, "ca.key"))  # nothing more is ever signed by it
    for name in os.listdir(tls):
        path = os.path.join(tls, name)
        os.chown(path, uid, gid)
        os.chmod(path, 0o600 if name.endswith(".key") else 0o644)
    os.chown(tls, uid, gid)
    return tls


def dovecot_tls_config(tls, pop3s_port):
    """ssl settings and the pop3s listener; by the name localhost the client
    gets the certificate made for another name."""
    return f"""
ssl = yes
ssl_cert = <{tls}/server.pem
ssl_key = <{tls}/server.key
ssl_dh = </usr/share/dovecot/dh.pem
local_name localhost {{
  ssl_cert = <{tls}/wrong-name.pem
  ssl_key = <{tls}/wrong-name.key
}}
""", f"""  inet_listener pop3s {{
    address = {HOST}
    port = {pop3s_port}
    ssl = yes
  }}"""


def dovecot_oauth_config(folder, introspection_url):
    """The extra mechanism and the passdb asking the introspection endpoint."""
    with open(os.path.join(folder, "oauth2.conf.ext"), "w") as f:
        f.write(f"introspection_mode = post\nintrospection_url = {introspection_url}\n"
                "force_introspection = yes\nusername_attribute = username\n"
                "active_attribute = active\nactive_value = true\n")
    return f"""passdb {{
  driver = oauth2
  mechanisms = xoauth2
  args = {folder}/oauth2.conf.ext
}}
"""


def dovecot_config(folder, port, uid, gid, user_name, tls=None, pop3s_port=0, oauth=None):
    internal = "dovecot" if os.getuid() == 0 else user_name
    login = "dovenull" if os.getuid() == 0 else user_name
    if tls:
        ssl_settings, pop3s_listener = dovecot_tls_config(tls, pop3s_port)
    else:
        ssl_settings = "ssl = no\n"
        pop3s_listener = "  inet_listener pop3s {\n    port = 0\n  }"
    return f"""
protocols = pop3
listen = {HOST}
base_dir = {folder}/run
state_dir = {folder}/state
log_path = {folder}/dovecot.log
info_log_path = {folder}/dovecot.log
{ssl_settings}disable_plaintext_auth = no
auth_mechanisms = plain apop{" xoauth2" if oauth else ""}
auth_verbose = yes
auth_failure_delay = 0
default_internal_user = {internal}
default_internal_group = {internal}
default_login_user = {login}
first_valid_uid = 1
first_valid_gid = 1
mail_location = maildir:{folder}/Maildir
pop3_uidl_format = %08Xu%08Xv
{dovecot_oauth_config(folder, oauth) if oauth else ""}passdb {{
  driver = passwd-file
  args = scheme=PLAIN {folder}/passwd
}}
userdb {{
  driver = static
  args = uid={uid} gid={gid} home={folder}/home
}}
service pop3-login {{
  inet_listener pop3 {{
    address = {HOST}
    port = {port}
  }}
{pop3s_listener}
}}
service anvil {{
  unix_listener anvil-auth-penalty {{
    mode = 0
  }}
}}
"""


def wait_for_greeting(port, pid_process, timeout=20.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if pid_process.poll() is not None:
            return False
        try:
            with socket.create_connection((HOST, port), timeout=1) as s:
                if s.recv(512):
                    return True
        except OSError:
            time.sleep(0.05)
    return False


def wait_for_tls_greeting(port, pid_process, ca_file, timeout=20.0):
    """Like wait_for_greeting on a port that speaks TLS from the first byte,
    checking the certificate the way a client does."""
    context = ssl.create_default_context(cafile=ca_file)
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if pid_process.poll() is not None:
            return False
        try:
            with socket.create_connection((HOST, port), timeout=1) as raw:
                with context.wrap_socket(raw, server_hostname=HOST) as s:
                    if s.recv(512):
                        return True
        except OSError:
            time.sleep(0.05)
    return False


def drop_to(uid, gid):
    def change():
        if os.getuid() == 0:
            os.setgid(gid)
            os.setuid(uid)
    return change


def start(env_file, smtp_auth, tls, oauth=None):
    stop(env_file)  # fresh every time
    uid, gid, user_name = service_account()
    folder = tempfile.mkdtemp(prefix="qf-", dir="/tmp")
    for sub in ("run", "state", "home", "Maildir/new", "Maildir/cur", "Maildir/tmp"):
        os.makedirs(os.path.join(folder, sub), exist_ok=True)
    with open(os.path.join(folder, "passwd"), "w") as f:
        f.write(f"{USER}:{{PLAIN}}{PASSWORD}::::::\n")
    pop3_port, smtp_port = free_port(), free_port()
    try:
        tls_folder = make_certificates(folder, uid, gid) if tls else None
    except (OSError, RuntimeError) as error:
        sys.stderr.write(f"cannot make the test certificates: {error}\n")
        shutil.rmtree(folder, ignore_errors=True)
        return 1
    tls_ports = {}
    if tls:
        tls_ports = {"QF_POP3S_PORT": free_port(), "QF_SMTPS_PORT": free_port(),
                     "QF_SMTPS_WRONG_NAME_PORT": free_port()}
    config = os.path.join(folder, "dovecot.conf")
    with open(config, "w") as f:
        f.write(dovecot_config(folder, pop3_port, uid, gid, user_name, tls_folder,
                               tls_ports.get("QF_POP3S_PORT", 0), oauth))
    os.chmod(folder, 0o755)
    for root, dirs, files in os.walk(os.path.join(folder, "Maildir")):
        os.chown(root, uid, gid)
    os.chown(os.path.join(folder, "home"), uid, gid)

    log = open(os.path.join(folder, "dovecot-stderr.log"), "w")
    dovecot = subprocess.Popen(["dovecot", "-F", "-c", config], stdout=log, stderr=log,
                               start_new_session=True)
    smtp_args = ["/usr/bin/python3", SMTP_SERVER, HOST, str(smtp_port),
                 os.path.join(folder, "Maildir")]
    if smtp_auth:
        smtp_args += ["--auth", USER, PASSWORD]
    if oauth:
        smtp_args += ["--oauth", oauth]
    if tls:
        smtp_args += ["--tls", tls_folder, str(tls_ports["QF_SMTPS_PORT"]),
                      str(tls_ports["QF_SMTPS_WRONG_NAME_PORT"])]
    smtp_log = open(os.path.join(folder, "smtp.log"), "w")
    smtp = subprocess.Popen(smtp_args, stdout=smtp_log, stderr=smtp_log,
                            preexec_fn=drop_to(uid, gid), start_new_session=True)

    values = {
        "QF_MAIL_HOST": HOST, "QF_POP3_PORT": pop3_port, "QF_SMTP_PORT": smtp_port,
        "QF_MAIL_USER": USER, "QF_MAIL_PASSWORD": PASSWORD,
        "QF_MAILDIR": os.path.join(folder, "Maildir"),
        "QF_DOVECOT_LOG": os.path.join(folder, "dovecot.log"),
        "QF_SERVER_DIR": folder, "QF_DOVECOT_PID": dovecot.pid, "QF_SMTP_PID": smtp.pid,
    }
    if tls:
        values.update(tls_ports)
        values["QF_CA_FILE"] = os.path.join(tls_folder, "ca.pem")
    with open(env_file, "w") as f:
        for key, value in values.items():
            f.write(f"{key}={value}\n")
    started = wait_for_greeting(pop3_port, dovecot) and wait_for_greeting(smtp_port, smtp)
    if started and tls:
        ca_file = values["QF_CA_FILE"]
        started = (wait_for_tls_greeting(tls_ports["QF_POP3S_PORT"], dovecot, ca_file)
                   and wait_for_tls_greeting(tls_ports["QF_SMTPS_PORT"], smtp, ca_file))
    if not started:
        sys.stderr.write("mail servers did not start; logs in " + folder + "\n")
        for name in ("dovecot-stderr.log", "dovecot.log", "smtp.log"):
            path = os.path.join(folder, name)
            if os.path.exists(path):
                sys.stderr.write(open(path).read())
        stop(env_file)
        return 1
    print(f"POP3 {HOST}:{pop3_port}  SMTP {HOST}:{smtp_port}  folder {folder}")
    if tls:
        print(f"POP3S {HOST}:{tls_ports['QF_POP3S_PORT']}  SMTPS {HOST}:"
              f"{tls_ports['QF_SMTPS_PORT']}  CA {values['QF_CA_FILE']}")
    return 0


def read_env(env_file):
    values = {}
    try:
        with open(env_file) as f:
            for line in f:
                key, _, value = line.strip().partition("=")
                values[key] = value
    except FileNotFoundError:
        pass
    return values


def stop_process(pid):
    """Stops the process group this script started for pid, if still there."""
    try:
        if os.getpgid(pid) != pid:  # not ours: the id was reused
            return
        os.killpg(pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    for _ in range(100):
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return
        time.sleep(0.05)
    try:
        os.killpg(pid, signal.SIGKILL)
    except ProcessLookupError:
        pass


def stop(env_file):
    values = read_env(env_file)
    for key in ("QF_SMTP_PID", "QF_DOVECOT_PID"):
        if values.get(key, "").isdigit():
            stop_process(int(values[key]))
    folder = values.get("QF_SERVER_DIR", "")
    if folder.startswith("/tmp/qf-") and os.path.isdir(folder):
        shutil.rmtree(folder, ignore_errors=True)
    if os.path.exists(env_file):
        os.remove(env_file)
    return 0


def main(argv):
    if len(argv) < 3 or argv[1] not in ("start", "stop"):
        sys.stderr.write(__doc__)
        return 2
    if argv[1] == "start":
        oauth = argv[argv.index("--oauth") + 1] if "--oauth" in argv[3:] else None
        return start(argv[2], "--smtp-auth" in argv[3:], "--tls" in argv[3:], oauth)
    return stop(argv[2])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
