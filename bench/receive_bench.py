#!/usr/bin/python3
"""Whole-process benchmarks of the receive run and the store tool.

  receive_bench.py [--tool PATH] [--rounds N] [--only receive,delete,list,memory]

receive  `quillfern-box receive`, fetchmail (--bsmtp /dev/null, APOP) and a
         plain POP3 RETR+DELE loop and the pipelined floor (one burst, nothing
         stored: the server's own pace), alternating in one run, on the same local
         Dovecot (tests/servers/mailservers.py) and the same mails: 1,000 of
         2 KB and 200 of 30 KB, ISO-2022-JP, made with Python's email
         library. Prints mails per second (median of the rounds) and ratios.
delete   `quillfern-box delete 6 N` on a box of 10,000 records (323 MB)
         against `cp` of the same file plus its fsync (`sync FILE`).
list     `quillfern-box list 6` of that box against list_reader.c, a minimal
         C reader of the three header fields (built here with cc).
memory   peak resident memory of `quillfern-box receive` of one 30 MB mail
         (a text part and a 22 MB attachment, base64), against the mail.

Every figure is a whole process, timed from its start to its exit. These are
measurements, not tests: nothing here passes or fails.
"""
import argparse
import email.header
import email.mime.application
import email.mime.multipart
import email.mime.text
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SERVERS = os.path.join(ROOT, "tests", "servers", "mailservers.py")
LIST_READER = os.path.join(ROOT, "bench", "list_reader.c")
DATA = "★MAilData"
OTHER_BOX = "kdxdata8.data"
RECORD_BYTES = 32284

LINE = "来週の会議の日程についてご連絡いたします。資料は添付せず本文に記載します。"


def japanese_mail(number, size_bytes):
    """An ISO-2022-JP mail of about size_bytes, as Python's email library
    writes it (7bit body, B-encoded subject)."""
    lines = []
    while len("\n".join(lines).encode("iso-2022-jp")) < size_bytes - 400:
        lines.append(f"{len(lines) + 1:04d} {LINE}")
    message = email.mime.text.MIMEText("\n".join(lines) + "\n", "plain", "iso-2022-jp")
    message["Subject"] = email.header.Header(f"会議の件 その{number}", "iso-2022-jp")
    message["From"] = f"sender{number % 7}@example.jp"
    message["To"] = "qftest@example.jp"
    message["Date"] = "Tue, 08 Dec 2026 10:00:00 +0900"
    message["Message-ID"] = f"<bench-{number}@example.jp>"
    return message.as_bytes()


def large_mail(size_bytes):
    """One mail of about size_bytes: a Japanese text part and a binary
    attachment in base64 (4 bytes of mail for every 3 of the file)."""
    message = email.mime.multipart.MIMEMultipart()
    message["Subject"] = email.header.Header("大きな添付ファイル", "iso-2022-jp")
    message["From"] = "big@example.jp"
    message["To"] = "qftest@example.jp"
    message["Date"] = "Tue, 08 Dec 2026 10:00:00 +0900"
    message.attach(email.mime.text.MIMEText(LINE + "\n", "plain", "iso-2022-jp"))
    payload = random.Random(30).randbytes(size_bytes * 3 // 4 - 2000)
    part = email.mime.application.MIMEApplication(payload, "octet-stream")
    part.add_header("Content-Disposition", "attachment", filename="data.bin")
    message.attach(part)
    return message.as_bytes()


class Servers:
    def __init__(self, work):
        self.env_file = os.path.join(work, "servers.env")
        subprocess.run([sys.executable, SERVERS, "start", self.env_file], check=True,
                       stdout=subprocess.DEVNULL)
        self.env = {}
        with open(self.env_file) as f:
            for line in f:
                key, _, value = line.strip().partition("=")
                self.env[key] = value
        self.maildir = self.env["QF_MAILDIR"]
        st = os.stat(self.maildir)
        self.owner = (st.st_uid, st.st_gid)

    def stop(self):
        subprocess.run([sys.executable, SERVERS, "stop", self.env_file], check=False,
                       stdout=subprocess.DEVNULL)

    def fill(self, mails):
        """Leaves the mails in new/ the way a delivery agent does."""
        for sub in ("new", "cur"):
            folder = os.path.join(self.maildir, sub)
            for name in os.listdir(folder):
                os.remove(os.path.join(folder, name))
        for i, raw in enumerate(mails):
            name = f"{time.time_ns()}.{i}.bench"
            temporary = os.path.join(self.maildir, "tmp", name)
            with open(temporary, "wb") as f:
                f.write(raw.replace(b"\r\n", b"\n"))
            os.chown(temporary, *self.owner)
            os.rename(temporary, os.path.join(self.maildir, "new", name))

    def waiting(self):
        return sum(len(os.listdir(os.path.join(self.maildir, sub))) for sub in ("new", "cur"))


def run_process(argv, env=None):
    """Seconds from start to exit and the peak resident memory in bytes."""
    errors_file = tempfile.TemporaryFile()
    start = time.perf_counter()
    pid = os.posix_spawnp(argv[0], argv, env if env is not None else os.environ,
                          file_actions=[(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0),
                                        (os.POSIX_SPAWN_DUP2, errors_file.fileno(), 2)])
    _, status, usage = os.wait4(pid, 0)
    seconds = time.perf_counter() - start
    errors_file.seek(0)
    errors = errors_file.read().decode(errors="replace")
    errors_file.close()
    return seconds, usage.ru_maxrss * 1024, os.waitstatus_to_exitcode(status), errors


def write_ini(path, lines):
    text = "[EXEINI]\r\n" + "".join(line + "\r\n" for line in lines)
    with open(path, "wb") as f:
        f.write(text.encode("cp932"))


def program_folder(work, servers):
    folder = os.path.join(work, "program")
    os.makedirs(os.path.join(folder, DATA), exist_ok=True)
    env = servers.env
    with open(os.path.join(folder, "corvid.ini"), "wb") as f:
        f.write(f"SMTP={env['QF_MAIL_HOST']}:{env['QF_SMTP_PORT']}\r\n"
                f"POP3={env['QF_MAIL_HOST']}:{env['QF_POP3_PORT']}\r\n"
                f"MAIL=qftest@example.jp\r\nAPOP=1\r\n".encode())
    write_ini(os.path.join(folder, DATA, "iniIdPass.ini"),
              [f"NAME={env['QF_MAIL_USER']}", f"NAME2={env['QF_MAIL_PASSWORD']}", "NAME3=1"])
    write_ini(os.path.join(folder, DATA, "iniIdPass2.ini"),
              ["NAME=sender1@example.jp", "NAME2=一", "NAME3=sender2@example.jp", "NAME4=二"] +
              [f"NAME{i}=" for i in range(5, 11)])
    return folder


def empty_boxes(folder):
    data = os.path.join(folder, DATA)
    for name in os.listdir(data):
        path = os.path.join(data, name)
        if name.endswith(".originals"):
            shutil.rmtree(path)  # the mails as they came, beside their box
        elif name.startswith("kdxdata"):
            os.remove(path)
    shutil.rmtree(os.path.join(folder, "添付フォルダ"), ignore_errors=True)


def fetchmail_rc(work, servers):
    home = os.path.join(work, "fetchmail")
    os.makedirs(home, exist_ok=True)
    rc = os.path.join(home, "fetchmailrc")
    env = servers.env
    with open(rc, "w") as f:
        f.write(f"poll {env['QF_MAIL_HOST']} service {env['QF_POP3_PORT']} protocol APOP\n"
                f"  user \"{env['QF_MAIL_USER']}\" password \"{env['QF_MAIL_PASSWORD']}\""
                " no keep fetchall\n")
    os.chmod(rc, 0o600)
    return home, rc


# The least a client can do: APOP and STAT, then every RETR, every DELE and
# QUIT in one burst, reading the replies without looking at them (nothing
# stored). The server's own pace is the ceiling of every client.
FLOOR_CLIENT = r"""
import hashlib, socket, sys
host, port, user, password = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
s = socket.create_connection((host, port))
s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
f = s.makefile("rb")
greeting = f.readline()
stamp = greeting[greeting.index(b"<"):greeting.index(b">") + 1]
digest = hashlib.md5(stamp + password.encode()).hexdigest()
s.sendall(f"APOP {user} {digest}\r\nSTAT\r\n".encode())
if not f.readline().startswith(b"+OK"):
    sys.exit("login refused")
count = int(f.readline().split()[1])
burst = "".join(f"RETR {n}\r\n" for n in range(1, count + 1))
burst += "".join(f"DELE {n}\r\n" for n in range(1, count + 1)) + "QUIT\r\n"
s.sendall(burst.encode())
while f.read(1 << 16):
    pass
"""


PLAIN_LOOP = r"""
import poplib, sys
pop = poplib.POP3(sys.argv[1], int(sys.argv[2]))
pop.apop(sys.argv[3], sys.argv[4])
count, _ = pop.stat()
for n in range(1, count + 1):
    pop.retr(n)
    pop.dele(n)
pop.quit()
"""


def receive_benchmark(args, work, servers):
    folder = program_folder(work, servers)
    home, rc = fetchmail_rc(work, servers)
    env = servers.env
    fetchmail_env = dict(os.environ, FETCHMAILHOME=home, HOME=home)
    contenders = {
        "quillfern-box receive": lambda: run_process(
            [args.tool, "--folder", folder, "receive"]),
        "fetchmail": lambda: run_process(
            # A lock of its own: another fetchmail on the machine (as root
            # they share /var/run/fetchmail.pid) must not make it give up.
            ["fetchmail", "--nosyslog", "--silent", "-f", rc, "--bsmtp", "/dev/null",
             "--pidfile", os.path.join(home, "fetchmail.pid")],
            env=fetchmail_env),
        "plain POP3 loop": lambda: run_process(
            [sys.executable, "-c", PLAIN_LOOP, env["QF_MAIL_HOST"], env["QF_POP3_PORT"],
             env["QF_MAIL_USER"], env["QF_MAIL_PASSWORD"]]),
        "pipelined floor": lambda: run_process(
            [sys.executable, "-c", FLOOR_CLIENT, env["QF_MAIL_HOST"], env["QF_POP3_PORT"],
             env["QF_MAIL_USER"], env["QF_MAIL_PASSWORD"]]),
    }
    print("== receive (mails per second, median of %d rounds)" % args.rounds)
    for label, count, size in (("1,000 × 2 KB ISO-2022-JP", 1000, 2048),
                               ("200 × 30 KB ISO-2022-JP", 200, 30 * 1024)):
        mails = [japanese_mail(i, size) for i in range(1, count + 1)]
        rates = {name: [] for name in contenders}
        for _ in range(args.rounds):
            for name, start in contenders.items():
                empty_boxes(folder)
                servers.fill(mails)
                seconds, _, code, errors = start()
                left = servers.waiting()
                if left != 0 or code not in (0, 1):
                    print(f"   {name}: exit {code}, {left} mails left: {errors.strip()[:300]}")
                rates[name].append(count / seconds)
        median = {name: statistics.median(values) for name, values in rates.items()}
        ours = median["quillfern-box receive"]
        print(f"{label}:")
        for name, rate in median.items():
            print(f"   {name:24s} {rate:8.0f} mails/s   (rounds: " +
                  ", ".join(f"{r:.0f}" for r in rates[name]) + ")")
        print(f"   ratio to fetchmail {ours / median['fetchmail']:.2f}, "
              f"to the plain loop {ours / median['plain POP3 loop']:.2f}, "
              f"to the pipelined floor {ours / median['pipelined floor']:.2f}")
        # The machine's speed drifts between rounds; the contenders of one
        # round ran seconds apart, so their ratio within the round is steadier.
        paired = [a / b for a, b in zip(rates["quillfern-box receive"], rates["fetchmail"])]
        print(f"   ratio to fetchmail within each round: median {statistics.median(paired):.2f} "
              "(" + ", ".join(f"{r:.2f}" for r in paired) + ")")


def record(number):
    """A MailRecord as the program writes it (CP932 fields, status word 1)."""
    def field(text, width):
        raw = text.encode("cp932")[:width]
        return raw + b" " * (width - len(raw))
    body = field((f"{number} " + LINE + "\r\n") * 300, 32000)
    return (field(f"会議の件 その{number}", 100) + field("Tue, 08 Dec 2026 10:00:00 +0900", 90) +
            field(f"sender{number % 7}@example.jp", 90) + body + b"\r\n" + b"\x01\x00")


def large_box(work):
    folder = os.path.join(work, "store")
    os.makedirs(os.path.join(folder, DATA), exist_ok=True)
    path = os.path.join(folder, DATA, OTHER_BOX)
    with open(path, "wb") as f:
        for n in range(1, 10001):
            f.write(record(n))
    return folder, path


def delete_benchmark(args, work):
    folder, box = large_box(work)
    copy = box + ".copy"
    ours, cp = [], []
    for round_number in range(args.rounds):
        seconds, _, code, errors = run_process(
            [args.tool, "--folder", folder, "delete", "6", str(5000 - round_number)])
        if code != 0:
            print("   delete failed:", errors.strip()[:300])
        ours.append(seconds)
        start = time.perf_counter()
        subprocess.run(["cp", box, copy], check=True)
        subprocess.run(["sync", copy], check=True)
        cp.append(time.perf_counter() - start)
        os.remove(copy)
    size = os.path.getsize(box)
    print(f"== delete one record of a {size // RECORD_BYTES}-record box ({size / 1e6:.0f} MB), "
          f"median of {args.rounds}")
    print(f"   quillfern-box delete  {statistics.median(ours):.3f} s   (rounds: " +
          ", ".join(f"{s:.3f}" for s in ours) + ")")
    print(f"   cp + fsync            {statistics.median(cp):.3f} s   (rounds: " +
          ", ".join(f"{s:.3f}" for s in cp) + ")")
    print(f"   ratio {statistics.median(ours) / statistics.median(cp):.2f}")
    return folder


def list_benchmark(args, work, folder):
    reader = os.path.join(work, "list_reader")
    subprocess.run(["cc", "-O2", "-o", reader, LIST_READER], check=True)
    box = os.path.join(folder, DATA, OTHER_BOX)
    ours, theirs = [], []
    for _ in range(args.rounds * 5):
        ours.append(run_process([args.tool, "--folder", folder, "list", "6"])[0])
        theirs.append(run_process([reader, box])[0])
    print(f"== list of a {os.path.getsize(box) // RECORD_BYTES}-record box, "
          f"median of {len(ours)}")
    print(f"   quillfern-box list    {statistics.median(ours) * 1000:.1f} ms")
    print(f"   minimal C reader      {statistics.median(theirs) * 1000:.1f} ms")
    print(f"   ratio {statistics.median(ours) / statistics.median(theirs):.2f}")


# Runs its arguments and prints their peak resident memory in bytes. The
# kernel counts in a process's peak that of the image it replaced at exec, so
# the command is started from this small process rather than from the
# benchmark, which holds the 30 MB mail it made.
PEAK_OF_CHILD = r"""
import os, sys
pid = os.posix_spawnp(sys.argv[1], sys.argv[1:], os.environ,
                      file_actions=[(os.POSIX_SPAWN_OPEN, 1, os.devnull, os.O_WRONLY, 0)])
_, status, usage = os.wait4(pid, 0)
print(usage.ru_maxrss * 1024, os.waitstatus_to_exitcode(status))
"""


def peak_memory(argv):
    done = subprocess.run([sys.executable, "-c", PEAK_OF_CHILD, *argv], capture_output=True,
                          text=True)
    peak, code = done.stdout.split()
    return int(peak), int(code), done.stderr


def memory_benchmark(args, work, servers):
    folder = program_folder(work, servers)
    mail = large_mail(30 * 1000 * 1000)
    peaks = []
    for _ in range(args.rounds):
        empty_boxes(folder)
        servers.fill([mail])
        peak, code, errors = peak_memory([args.tool, "--folder", folder, "receive"])
        if code != 0 or servers.waiting() != 0:
            print("   receive failed:", errors.strip()[:300])
        peaks.append(peak)
    peak = statistics.median(peaks)
    print(f"== receive one mail of {len(mail) / 1e6:.1f} MB")
    print(f"   peak resident memory {peak / 1e6:.0f} MB = {peak / len(mail):.2f} × the mail")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[1])
    parser.add_argument("--tool", default=os.path.join(ROOT, "build", "bench", "boxtool",
                                                       "quillfern-box"))
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--only", default="receive,delete,list,memory")
    args = parser.parse_args()
    wanted = set(args.only.split(","))
    # Dovecot serves as the test user; the folder must be reachable for it.
    work = tempfile.mkdtemp(prefix="qf-bench-")
    os.chmod(work, 0o755)
    servers = Servers(work) if wanted & {"receive", "memory"} else None
    try:
        if "receive" in wanted:
            receive_benchmark(args, work, servers)
        if wanted & {"delete", "list"}:
            folder = delete_benchmark(args, work) if "delete" in wanted else large_box(work)[0]
            if "list" in wanted:
                list_benchmark(args, work, folder)
        if "memory" in wanted:
            memory_benchmark(args, work, servers)
    finally:
        if servers:
            servers.stop()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
