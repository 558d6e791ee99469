#!/usr/bin/env python3
"""Runs clang-tidy (the checks of .clang-tidy) over every C++ source of the
project, against the asan build's compile_commands.json, and fails when it
finds anything. Run it after the asan build: window sources need their
generated moc files.

Sources are the .cpp files the asan build describes (it describes the
benchmarks too, without building them); generated files in the build folder
are left out. Headers are checked through the sources that include them, as
far as HeaderFilterRegex in .clang-tidy reaches, and a finding in a header is
reported once however many sources include it. Every project header must be
inside that filter, and no generated one: the script checks that first.

Each source has a key: a hash of what clang-tidy reads for it (its
preprocessed text, and the project files it reads byte for byte, comments
and NOLINT marks included), its compile commands, .clang-tidy and the
clang-tidy version, with the checkout's own folder taken out of all of them,
so that another clone of the same tree on another machine with the same
packages gets the same keys. Two records use it:
  - scripts/tidy-clean.txt (committed): "KEY SOURCE", one line per source
    that had no findings. A source whose key is there is not checked again,
    so a fresh clone (CI) runs clang-tidy only on what changed since the
    record was written. Every run writes the record anew for the sources it
    looked at: commit it with the change.
  - build/asan/tidy-cache/ (this checkout's): each result, findings
    included. Entries no run of the whole tree used are removed.
A changed source, a changed header it reads, another compiler flag or
another clang-tidy gives another key, so neither can answer for it.

  tidy.py [--jobs N] [FILE...]
    FILE...   check these sources only (default: all)
    --jobs N  clang-tidy processes at once (default: the number of cores)
Prints each finding once, a count by check, and exits 1 when there are
findings or clang-tidy fails on a source.
"""
import argparse
import collections
import concurrent.futures
import glob
import hashlib
import json
import os
import pathlib
import re
import resource
import shlex
import shutil
import signal
import subprocess
import sys
import threading
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "asan"
CACHE = BUILD / "tidy-cache"
RECORD = ROOT / "scripts" / "tidy-clean.txt"
# Hex digits of a key the record keeps (128 bits: a source that changed
# does not meet its old key by chance).
RECORD_KEY = 32
# Stands for the checkout's folder in what is hashed.
CHECKOUT = "<checkout>"
# A line marker of the preprocessed text: # LINE "FILE" FLAGS.
LINE_MARKER = re.compile(rb'^# \d+ "((?:[^"\\]|\\.)*)"')
# A finding's first line: where, severity, message, [check,...].
FINDING = re.compile(r"^(.+?):(\d+):(\d+): (warning|error): (.*) \[([^\]]+)\]$")

_lock = threading.Lock()
_running = set()
_stopping = False


def run(cmd, cwd):
    """Runs cmd, returning (exit status, stdout, stderr); children are ended
    with this script when it is stopped (scripts/test.sh stops it when the
    tests fail)."""
    with _lock:
        if _stopping:
            raise SystemExit(1)
        proc = subprocess.Popen(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        _running.add(proc)
    try:
        out, err = proc.communicate()
    finally:
        with _lock:
            _running.discard(proc)
    return proc.returncode, out, err


def stop(signum, _frame):
    global _stopping
    with _lock:
        _stopping = True
        for proc in _running:
            proc.kill()
    os._exit(128 + signum)


def header_filter_problems():
    """Project headers HeaderFilterRegex leaves out, and generated headers it
    lets in: either means the filter no longer fits the tree."""
    text = (ROOT / ".clang-tidy").read_text()
    found = re.search(r"^HeaderFilterRegex:\s*'(.*)'\s*$", text, re.M)
    if not found or not found.group(1):
        return ["no HeaderFilterRegex in .clang-tidy"]
    header_filter = re.compile(found.group(1))
    tracked = subprocess.run(["git", "ls-files", "*.h"], cwd=ROOT, capture_output=True, text=True,
                             check=True).stdout.split()
    problems = [f"{name}: a project header HeaderFilterRegex leaves out" for name in tracked
                if not header_filter.search(str(ROOT / name))]
    problems += [f"{name}: a generated header HeaderFilterRegex lets in"
                 for name in glob.glob(str(ROOT / "build" / "**" / "*.h"), recursive=True)
                 if header_filter.search(name)]
    return problems


def sources(database, wanted):
    """The project's sources and their compile commands (a source built in
    several targets has several)."""
    commands = collections.defaultdict(list)
    for entry in database:
        path = pathlib.Path(entry["directory"], entry["file"]).resolve()
        if ROOT in path.parents and (ROOT / "build") not in path.parents:
            commands[path].append(entry)
    if wanted:
        paths = {pathlib.Path(name).resolve() for name in wanted}
        missing = paths - commands.keys()
        if missing:
            sys.exit("tidy: not in " + str(BUILD / "compile_commands.json") + ": " +
                     " ".join(sorted(str(p) for p in missing)))
        commands = {p: commands[p] for p in paths}
    return dict(sorted(commands.items()))


def preprocessor_command(entry):
    """The entry's compile command turned into one that writes the
    preprocessed text to stdout, with clang where there is one (what
    clang-tidy parses), else the build's compiler."""
    args = entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])
    out, skip = [], False
    for arg in args[1:]:
        if skip:
            skip = False
        elif arg == "-o":
            skip = True
        elif arg not in ("-c", "-Werror"):
            out.append(arg)
    clang = shutil.which("clang++")
    if clang:
        return [clang, "-Wno-unknown-warning-option", *out, "-E", "-o", "-"]
    return [args[0], *out, "-E", "-o", "-"]


def tool_version():
    """clang-tidy's version lines, without the host CPU it also names."""
    out = subprocess.run(["clang-tidy", "--version"], capture_output=True, text=True, check=True).stdout
    return "\n".join(line.strip() for line in out.splitlines() if "version" in line).encode()


def cache_key(entries, salt, root=ROOT):
    """The hash of what clang-tidy would read for one source, the same in
    any checkout of the tree, or None when the source does not preprocess
    (clang-tidy then says why)."""
    digest = hashlib.sha256(salt)
    folder = str(root).encode()
    for entry in entries:
        status, text, _ = run(preprocessor_command(entry), entry["directory"])
        if status != 0:
            return None
        digest.update(json.dumps(entry, sort_keys=True).replace(str(root), CHECKOUT).encode())
        # The preprocessed text holds no comments, so the project files
        # (not the generated ones) go in as they are; the line markers,
        # which name files by where the checkout is, do not.
        project = set()
        for line in text.splitlines():
            marker = LINE_MARKER.match(line)
            if not marker:
                digest.update(line.replace(folder, CHECKOUT.encode()) + b"\n")
                continue
            path = pathlib.Path(os.path.normpath(os.path.join(entry["directory"], marker.group(1).decode())))
            if root in path.parents and root / "build" not in path.parents and path.is_file():
                project.add(path)
        for path in sorted(project):
            digest.update(str(path.relative_to(root)).encode() + b"\0")
            digest.update(path.read_bytes() + b"\0")
    return digest.hexdigest()


def read_record():
    """The committed record of sources known clean: source -> key."""
    record = {}
    if RECORD.exists():
        for line in RECORD.read_text().splitlines():
            if line and not line.startswith("#"):
                key, name = line.split(" ", 1)
                record[name] = key
    return record


def write_record(record):
    text = ("# Sources clang-tidy found clean, by key (scripts/tidy.py writes this file).\n" +
            "".join(f"{record[name]} {name}\n" for name in sorted(record)))
    if not RECORD.exists() or RECORD.read_text() != text:
        RECORD.write_text(text)


def check(path, entries, salt, recorded):
    """(clang-tidy's exit status, its findings text, its error text, where
    the result came from: "record", "cache" or "" for clang-tidy, the key)
    for one source; `recorded` is its key in the record."""
    key = cache_key(entries, salt)
    kept = CACHE / f"{key}.json" if key else None
    if key and key[:RECORD_KEY] == recorded:
        if kept.exists():
            kept.touch()  # kept for when the record no longer names the source
        return 0, "", "", "record", key
    if kept and kept.exists():
        result = json.loads(kept.read_text())
        kept.touch()  # still in use: kept when the cache is pruned
        return result["status"], result["out"], "", "cache", key
    status, out, err = run(["clang-tidy", "-p", str(BUILD), "--quiet", str(path)], ROOT)
    out, err = out.decode(errors="replace"), err.decode(errors="replace")
    # Exit 1 is a finished check with findings; anything else (a crash, a
    # killed process) is not a result worth keeping.
    if kept and status in (0, 1):
        # Written whole or not at all: another run may be reading the cache.
        partial = kept.with_suffix(f".{os.getpid()}.partial")
        partial.write_text(json.dumps({"status": status, "out": out}))
        os.replace(partial, kept)
    return status, out, err, "", key


def name(path):
    """A source as the record names it: relative to the checkout."""
    return str(path.relative_to(ROOT))


def findings(out):
    """The findings in clang-tidy's output: first line -> the whole text
    (notes and the source lines shown)."""
    found, current = {}, None
    for line in out.splitlines():
        if FINDING.match(line):
            # A source built in several targets repeats its findings.
            current = None if line in found else line
            if current:
                found[current] = []
        elif current:
            found[current].append(line)
    return {first: "\n".join([first, *rest]) for first, rest in found.items()}


def main():
    parser = argparse.ArgumentParser(description="clang-tidy over the project's C++ sources")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("files", nargs="*")
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    database_file = BUILD / "compile_commands.json"
    if not database_file.exists():
        sys.exit(f"tidy: no {database_file}; configure the asan preset first")
    problems = header_filter_problems()
    if problems:
        print("\n".join(f"tidy: {p}" for p in problems))
        sys.exit(1)

    todo = sources(json.loads(database_file.read_text()), args.files)
    salt = tool_version() + (ROOT / ".clang-tidy").read_bytes()
    CACHE.mkdir(parents=True, exist_ok=True)
    record = read_record()
    # A run of the whole tree forgets sources that are gone.
    new_record = {} if not args.files else dict(record)
    started, started_at = time.monotonic(), time.time()
    all_findings, failures, origins = {}, [], collections.Counter()
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        futures = {pool.submit(check, path, entries, salt, record.get(name(path))): path
                   for path, entries in todo.items()}
        for future in concurrent.futures.as_completed(futures):
            status, out, err, origin, key = future.result()
            path = futures[future]
            origins[origin] += 1
            found = findings(out)
            new_record.pop(name(path), None)
            if status == 0 and not found and key:
                new_record[name(path)] = key[:RECORD_KEY]
            all_findings.update((k, v) for k, v in found.items() if k not in all_findings)
            if status != 0 and not found:
                failures.append(f"{path.relative_to(ROOT)}: clang-tidy exit {status}\n{out}{err}")
    write_record(new_record)
    if not args.files:
        # What this run neither read nor wrote belongs to older sources.
        for entry in CACHE.glob("*.json"):
            if entry.stat().st_mtime < started_at - 1:
                entry.unlink()

    for first in sorted(all_findings):
        print(all_findings[first].replace(f"{ROOT}/", ""))
    for failure in failures:
        print(failure)
    by_check = collections.Counter(FINDING.match(first).group(6).split(",")[0] for first in all_findings)
    summary = ", ".join(f"{name} {count}" for name, count in sorted(by_check.items()))
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    print(f"tidy: {len(todo)} sources ({origins['record']} known clean from {RECORD.relative_to(ROOT)}, "
          f"{origins['cache']} from the cache) in "
          f"{time.monotonic() - started:.0f} s ({children.ru_utime + children.ru_stime:.0f} s of CPU): "
          f"{len(all_findings)} findings" +
          (f" ({summary})" if summary else "") + (f", {len(failures)} sources failed" if failures else ""))
    sys.exit(1 if all_findings or failures else 0)


if __name__ == "__main__":
    main()
