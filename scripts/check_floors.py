#!/usr/bin/env python3
"""Checks who includes whom against the program's floors.

Floors, bottom to top:
  1 core      Qt-free files anywhere but app/ and boxtool/ (text/, store/,
              settings/, transport/, receive/, ... and Qt-free headers of
              the window folders and of ui/, such as ui/Twips.h)
  2 kit       ui/ files that use Qt
  3 windows   files of the window folders that use Qt
  4 program   app/ (the program shell), the top floor
  A source file stands on the floor of its own header.
  boxtool/ is a core-only program beside them: it may include core files,
  and nothing outside it includes it.

A file may include files of its own floor and the floors below; nothing
outside app/ includes an app/ header, except window tests that start the
whole program (files ending in _test.cpp). Prints every wrong include and
exits 1 when there is one.

  check_floors.py SOURCE_ROOT
"""
import pathlib
import re
import sys

FOLDERS = ["text", "store", "settings", "addressbook", "transport", "receive", "compose",
           "viewer", "editor", "attachments", "ui", "app", "boxtool", "bench", "tests"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z]+/[^"]+)"', re.M)
QT_INCLUDE = re.compile(r'^\s*#\s*include\s+<Q', re.M)
NAMES = {1: "core", 2: "window kit", 3: "windows", 4: "program"}


def floor(path: str, text: str) -> int:
    top = path.split("/", 1)[0]
    if top == "app":
        return 4
    if top == "boxtool":
        return 1
    if not QT_INCLUDE.search(text):
        return 1
    return 2 if top == "ui" else 3


def main() -> int:
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    files = {}
    for folder in FOLDERS:
        for path in (root / folder).rglob("*"):
            if path.suffix in (".h", ".cpp") and path.is_file():
                files[path.relative_to(root).as_posix()] = path.read_text(encoding="utf-8")
    floors = {path: floor(path, text) for path, text in files.items()}
    # A source file stands on the floor of its own header.
    for path in floors:
        header = path[:-4] + ".h"
        if path.endswith(".cpp") and header in floors:
            floors[path] = max(floors[path], floors[header])
    wrong = []
    for path, text in sorted(files.items()):
        top = path.split("/", 1)[0]
        is_test = path.endswith("_test.cpp")
        for included in INCLUDE.findall(text):
            if included not in files:
                continue
            where = included.split("/", 1)[0]
            if where == "boxtool" and top != "boxtool":
                wrong.append(f"{path}: includes {included}: only boxtool/ uses the store tool")
            elif where == "app" and top not in ("app", "bench") and not is_test:
                wrong.append(f"{path}: includes {included}: app/ is the top floor")
            elif where != "app" and floors[included] > floors[path] and not is_test:
                wrong.append(f"{path} ({NAMES[floors[path]]}): includes {included}"
                             f" ({NAMES[floors[included]]}), a floor above")
    for line in wrong:
        print(line)
    print(f"{len(files)} files checked, {len(wrong)} wrong includes")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
