#!/usr/bin/python3
"""Kills the receive command at random moments and counts what arrived.

  receive-kill-trials.py QUILLFERN_BOX [--trials N] [--mails M] [--seed S] [--keep] [--stop]

Each trial starts from a program folder whose その他 holds three earlier
mails and M fresh mails waiting on the local Dovecot POP3 server
(tests/servers/mailservers.py). The receive command is killed with SIGKILL
at a random moment, up to twice (the second kill lands in the run that
recovers from the first); after each kill the first mail of その他 (an
earlier one) is deleted with `delete 6 1`, as a user tidying the box would,
which moves every record the killed run stored up by one. Then the receive
is run to its end.
After the trial every mail must be in the boxes exactly once, the server
must be empty, and `check` must find nothing. Each mail's subject ends in an
emoji, which its record holds as "?": after a `recover`, every record of the
trial must give its own mail's original (`original BOX N`), none another
mail's, and no original may be left without its record. Prints one line per trial and
a summary; the exit status is 1 when any mail was lost or duplicated.

With --keep, mail is left on the server (corvid.ini KEEP=1): after the
kills every mail must be in the boxes exactly once and still on the server.
Then the seen-list is aged by two days (the test's clock), KEEPDAYS=1 is
set, and the receive is killed once more and run to its end: the server
must be empty and still no mail stored twice.

With --stop, the receive is stopped instead of killed: SIGINT, on which the
command stops after the mail being stored and ends its session as usual
(what it stored is deleted from the server, the rest stays there). The
same counts must hold.

The mails are made with Python's email library: Japanese subjects and
bodies in UTF-8, from three senders (two registered, one sorted to その他).
"""
import argparse
import hashlib
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from email import message_from_bytes
from email.message import EmailMessage
from email.policy import default as default_policy

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SERVERS = os.path.join(ROOT, "tests", "servers", "mailservers.py")
SENDERS = ["tanaka@example.jp", "sato@example.jp", "news@example.com"]
RECEIVING_BOXES = ["1", "2", "3", "4", "5", "6"]


def read_env(path):
    values = {}
    with open(path) as f:
        for line in f:
            key, _, value = line.strip().partition("=")
            values[key] = value
    return values


def write_ini(path, lines):
    text = "[EXEINI]\r\n" + "".join(line + "\r\n" for line in lines)
    with open(path, "wb") as f:
        f.write(text.encode("cp932"))


def write_corvid(root, env, extra=""):
    with open(os.path.join(root, "corvid.ini"), "wb") as f:
        f.write(("SMTP=\r\nPOP3=%s:%s\r\nMAIL=qftest@example.jp\r\nAPOP=1\r\n%s" %
                 (env["QF_MAIL_HOST"], env["QF_POP3_PORT"], extra)).encode("ascii"))


def seen_list(root):
    return os.path.join(root, "★MAilData", "receive.seen")


EARLIER = 3


def make_folder(env, keep=False, tool=None, maildir=None):
    """A program folder; with `tool`, その他 first gets EARLIER mails."""
    root = tempfile.mkdtemp(prefix="qf-kill-")
    data = os.path.join(root, "★MAilData")
    os.makedirs(data)
    write_corvid(root, env)
    write_ini(os.path.join(data, "iniIdPass.ini"),
              ["NAME=" + env["QF_MAIL_USER"], "NAME2=" + env["QF_MAIL_PASSWORD"], "NAME3=1"])
    write_ini(os.path.join(data, "iniIdPass2.ini"),
              ["NAME=tanaka@example.jp", "NAME2=田中さん", "NAME3=sato@example.jp",
               "NAME4=佐藤さん"] + ["NAME%d=" % n for n in range(5, 11)])
    if tool:
        clear_maildir(maildir)
        deliver(maildir, 0, EARLIER, sender="news@example.com", subject="前 %d-%d")
        receive(tool, root)
    if keep:
        write_corvid(root, env, "KEEP=1\r\n")
        # What choosing the option in the settings window writes: an empty
        # list (an empty list of any account is this account's).
        with open(seen_list(root), "w") as f:
            f.write("quillfern seen list 1 %016x\n" % 0)
    return root


def clear_maildir(maildir):
    for sub in ("new", "cur", "tmp"):
        for name in os.listdir(os.path.join(maildir, sub)):
            os.remove(os.path.join(maildir, sub, name))


def messages_in_maildir(maildir):
    return sum(len(os.listdir(os.path.join(maildir, sub))) for sub in ("new", "cur"))


# The mails' subjects; the records hold the emoji as "?".
SUBJECT = "試験 %d-%d \U0001F37B"
RECORD_SUBJECT = "試験 %d-%d ?"


def deliver(maildir, trial, count, sender=None, subject=SUBJECT):
    owner = os.stat(maildir)
    for n in range(1, count + 1):
        mail = EmailMessage()
        mail["From"] = sender or SENDERS[n % len(SENDERS)]
        mail["To"] = "qftest@example.jp"
        mail["Subject"] = subject % (trial, n)
        mail["Date"] = "Mon, 7 Dec 2026 10:00:00 +0900"
        mail.set_content("本文 %d 通目です。\n" % n + "日本語の行。\n" * 40, charset="utf-8")
        name = "%d.%d.%d.kill" % (time.time(), trial, n)
        temporary = os.path.join(maildir, "tmp", name)
        with open(temporary, "wb") as f:
            f.write(mail.as_bytes())
        os.chown(temporary, owner.st_uid, owner.st_gid)
        os.rename(temporary, os.path.join(maildir, "new", name))


STOP_SIGNAL = signal.SIGKILL


def receive(tool, folder, kill_after=None):
    """Runs the receive command; kills (or stops) it after kill_after seconds
    when given."""
    process = subprocess.Popen([tool, "--folder", folder, "receive"],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if kill_after is None:
        out, err = process.communicate()
        return process.returncode, out.decode("utf-8", "replace") + err.decode("utf-8", "replace")
    try:
        out, err = process.communicate(timeout=kill_after)
        return process.returncode, out.decode("utf-8", "replace") + err.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        process.send_signal(STOP_SIGNAL)
        out, err = process.communicate()
        status = -9 if STOP_SIGNAL == signal.SIGKILL else process.returncode
        return status, out.decode("utf-8", "replace") + err.decode("utf-8", "replace")


def age_seen_list(folder, seconds):
    """Moves every first-stored time back: the clock the trial can set."""
    with open(seen_list(folder)) as f:
        lines = f.read().splitlines()
    aged = [lines[0]]
    for line in lines[1:]:
        stamp, tab, uid = line.partition("\t")
        aged.append("%d\t%s" % (int(stamp) - seconds, uid) if tab else line)
    with open(seen_list(folder), "w") as f:
        f.write("\n".join(aged) + "\n")


def killed_then_whole(tool, folder, rng, span, times):
    """Kills the receive `times` times at random moments within `span`
    seconds, then runs it to its end; the kill moments, the recovered count
    and the last run."""
    kills = []
    recovered = 0
    for _ in range(times):
        moment = rng.uniform(0.0, span)
        status, output = receive(tool, folder, kill_after=moment)
        stopped = status == -9 or (STOP_SIGNAL != signal.SIGKILL and "中止" in output)
        kills.append("%.2fs%s" % (moment, "" if stopped or STOP_SIGNAL != signal.SIGKILL
                                  else " (ended first)"))
        recovered += sum(int(n) for n in re.findall(r"保存済みだった (\d+) 通", output))
        # Tidying the box before the next run: every later record moves up.
        subprocess.run([tool, "--folder", folder, "delete", "6", "1"], capture_output=True)
    status, output = receive(tool, folder)
    recovered += sum(int(n) for n in re.findall(r"保存済みだった (\d+) 通", output))
    return kills, recovered, status, output


def subjects_in_boxes(tool, folder):
    """The subjects of the trial's own mails (the earlier ones left out)."""
    subjects = []
    for box in RECEIVING_BOXES:
        listed = subprocess.run([tool, "--folder", folder, "list", box],
                                capture_output=True, text=True)
        for line in listed.stdout.splitlines():
            fields = line.split("\t")
            if len(fields) >= 2 and fields[1].startswith("試験"):
                subjects.append(fields[1])
    return subjects


def originals_check(tool, folder):
    """After a recover: records of the trial's mails without their original,
    records given another mail's original, and originals left without a
    record (the data folder's originals less the records that have one)."""
    subprocess.run([tool, "--folder", folder, "recover"], capture_output=True)
    missing = wrong = with_original = 0
    for box in RECEIVING_BOXES:
        listed = subprocess.run([tool, "--folder", folder, "list", box],
                                capture_output=True, text=True)
        for line in listed.stdout.splitlines():
            number, subject = line.split("\t")[:2]
            got = subprocess.run([tool, "--folder", folder, "original", box, number],
                                 capture_output=True)
            if got.returncode != 0:
                missing += int(subject.startswith("試験"))
                continue
            with_original += 1
            mail = message_from_bytes(got.stdout, policy=default_policy)
            if str(mail["Subject"]).replace("\U0001F37B", "?") != subject:
                wrong += 1
    data = os.path.join(folder, "★MAilData")
    kept = sum(live_originals(os.path.join(data, d, "pack"))
               for d in os.listdir(data) if d.endswith(".originals"))
    return missing, wrong, kept - with_original


def live_originals(pack_path):
    """The live entries of a pack of originals whose mail checks out (the
    layout is described in store/OriginalPack.h), read here on its own so
    that the count does not rest on the program's reader."""
    try:
        with open(pack_path, "rb") as f:
            pack = f.read()
    except FileNotFoundError:
        return 0
    live, at = 0, 32
    while at + 128 <= len(pack):
        header = pack[at:at + 128]
        length = int.from_bytes(header[96:104], "little")
        whole = (header[:8] == b"QFMAIL01" and at + 128 + length <= len(pack) and
                 hashlib.sha256(header[:120]).digest()[:8] == header[120:128])
        if not whole:
            at = pack.find(b"QFMAIL01", at + 1)  # past a torn write
            at = len(pack) if at < 0 else at
            continue
        mail = pack[at + 128:at + 128 + length]
        live += header[89:90] == b"L" and hashlib.sha256(mail).digest()[:16] == header[104:120]
        at += 128 + length
    return live


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tool")
    parser.add_argument("--trials", type=int, default=30)
    parser.add_argument("--mails", type=int, default=200)
    parser.add_argument("--seed", type=int, default=int(time.time()))
    parser.add_argument("--keep", action="store_true", help="leave mail on the server")
    parser.add_argument("--stop", action="store_true",
                        help="stop the receive with SIGINT instead of killing it")
    args = parser.parse_args()
    global STOP_SIGNAL
    if args.stop:
        STOP_SIGNAL = signal.SIGINT
    rng = random.Random(args.seed)

    env_dir = tempfile.mkdtemp(prefix="qf-kill-env-")
    env_file = os.path.join(env_dir, "mailservers.env")
    subprocess.run([sys.executable, SERVERS, "start", env_file], check=True)
    env = read_env(env_file)
    maildir = env["QF_MAILDIR"]
    totals = {"lost": 0, "duplicated": 0, "unclean": 0, "recovered": 0,
              "no original": 0, "wrong original": 0, "orphans": 0}
    try:
        # How long one whole run takes, so the kills spread over it.
        folder = make_folder(env)
        clear_maildir(maildir)
        deliver(maildir, 0, args.mails)
        started = time.monotonic()
        receive(args.tool, folder)
        full_run = time.monotonic() - started
        shutil.rmtree(folder)
        print("seed %d; one run of %d mails takes %.2f s" % (args.seed, args.mails, full_run))

        for trial in range(1, args.trials + 1):
            folder = make_folder(env, args.keep, args.tool, maildir)
            clear_maildir(maildir)
            deliver(maildir, trial, args.mails)
            kills, recovered, status, output = killed_then_whole(
                args.tool, folder, rng, full_run, rng.choice([1, 2]))
            expected = {RECORD_SUBJECT % (trial, n) for n in range(1, args.mails + 1)}
            wrong_on_server = 0
            if args.keep:
                subjects = subjects_in_boxes(args.tool, folder)
                wrong_on_server = args.mails - messages_in_maildir(maildir)
                lost_or_doubled = (len(expected - set(subjects)) +
                                   len(subjects) - len(set(subjects)))
                # Past their days now: the next runs delete them, killed or not.
                age_seen_list(folder, 2 * 24 * 60 * 60)
                write_corvid(folder, env, "KEEP=1\r\nKEEPDAYS=1\r\n")
                # Nothing is fetched now: the run is a few round trips and the DELEs.
                more_kills, more_recovered, status, more_output = killed_then_whole(
                    args.tool, folder, rng, full_run / 8, 1)
                kills += ["then " + kill for kill in more_kills]
                recovered += more_recovered
                output += more_output
                if lost_or_doubled:
                    print("before the deletions: %d lost or duplicated" % lost_or_doubled)
                    wrong_on_server += lost_or_doubled
            subjects = subjects_in_boxes(args.tool, folder)
            lost = len(expected - set(subjects))
            duplicated = len(subjects) - len(set(subjects))
            left_on_server = messages_in_maildir(maildir) + wrong_on_server
            check = subprocess.run([args.tool, "--folder", folder, "check"],
                                   capture_output=True, text=True)
            no_original, wrong_original, orphans = originals_check(args.tool, folder)
            totals["no original"] += no_original
            totals["wrong original"] += wrong_original
            totals["orphans"] += orphans
            unclean = (check.returncode != 0 or left_on_server != 0 or status != 0 or
                       no_original or wrong_original or orphans)
            totals["lost"] += lost
            totals["duplicated"] += duplicated
            totals["unclean"] += int(unclean)
            totals["recovered"] += recovered
            print("trial %2d: killed at %-24s stored %3d, lost %d, duplicated %d, recovered %3d, "
                  "left on server %d, last run %d, check %s; originals: %d missing, %d wrong, "
                  "%d orphaned" %
                  (trial, ", ".join(kills), len(subjects), lost, duplicated, recovered,
                   left_on_server, status, "clean" if check.returncode == 0 else "PROBLEM",
                   no_original, wrong_original, orphans))
            if unclean:
                print(check.stdout + check.stderr + output)
            shutil.rmtree(folder)
    finally:
        subprocess.run([sys.executable, SERVERS, "stop", env_file])
        shutil.rmtree(env_dir, ignore_errors=True)
    print("%d trials of %d mails: %d lost, %d duplicated, %d recovered without refetching, "
          "%d trials not clean; originals: %d records without, %d with another mail's, "
          "%d without a record" % (args.trials, args.mails, totals["lost"],
                                   totals["duplicated"], totals["recovered"], totals["unclean"],
                                   totals["no original"], totals["wrong original"],
                                   totals["orphans"]))
    return 1 if totals["lost"] or totals["duplicated"] or totals["unclean"] else 0


if __name__ == "__main__":
    sys.exit(main())
