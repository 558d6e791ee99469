#!/usr/bin/env python3
"""Checks who includes whom against the program's floors and link lines.

Floors, bottom to top:
  1 core      Qt-free files anywhere but app/ and boxtool/ (text/, base/,
              store/, settings/, transport/, receive/, ... and Qt-free
              headers of the window folders and of ui/)
  2 kit       ui/ files that use Qt
  3 windows   files of the window folders that use Qt
  4 program   app/ (the program shell), the top floor
  A source file stands on the floor of its own header.
  boxtool/ is a core-only program beside them: it may include core files,
  and nothing outside it includes it.

The rules, for every file, tests included:
  - a file includes files of its own floor and the floors below;
  - nothing outside app/ includes an app/ header, except that a window test
    that starts the whole program includes app/TestApplication.h;
  - a window of one folder includes no window file of another folder: it
    asks ui::WindowEnvironment for other windows by intent, and only app/ and tests
    name a window class to the environment (form<T>() and the like);
  - the target a file is built in links (directly or through the targets it
    links) the target of every header it includes; a header without a
    source file of its own needs what its own includes need;
  - no core target links Qt or a window target, and no part (a folder's
    core, a folder's windows, the window kit) links a part that links it
    back.
Targets and their links are read from the CMake files of each folder; a
source file they do not name is reported too.
Prints every break of a rule and exits 1 when there is one.

  check_floors.py SOURCE_ROOT
"""
import pathlib
import re
import sys

FOLDERS = ["base", "text", "words", "store", "settings", "auth", "addressbook", "transport", "receive",
           "compose", "viewer", "editor", "attachments", "ui", "app", "boxtool", "bench",
           "tests", "fuzz"]
# Programs and test folders: their targets are no floor of the design.
NOT_FLOORS = {"app", "boxtool", "bench", "tests", "fuzz"}
WHOLE_PROGRAM_TEST_HEADER = "app/TestApplication.h"
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z]+/[^"]+)"', re.M)
QT_INCLUDE = re.compile(r'^\s*#\s*include\s+<Q', re.M)
# A window asking the environment for another window by its class.
FORM_BY_CLASS = re.compile(r'\b(?:form|showForm|existingForm)<')
NAMES = {1: "core", 2: "window kit", 3: "windows", 4: "program"}

# CMake commands that make or link targets; arguments with one level of
# nested parentheses (generator expressions).
COMMAND = re.compile(
    r'\b(qf_core_library|qf_window_library|qf_test|qf_qt_test|qf_fuzz_target|add_library|'
    r'add_executable|target_link_libraries|list|set)\s*\(((?:[^()]|\([^()]*\))*)\)')
KEYWORDS = {"SOURCES", "LINKS", "PRIVATE_LINKS", "LABELS", "FIXTURES", "ENVIRONMENT",
            "TIMEOUT", "PUBLIC", "PRIVATE", "INTERFACE", "STATIC", "SHARED", "MODULE",
            "APPEND"}


class Target:
    def __init__(self, name, folder, kind):
        self.name, self.folder, self.kind = name, folder, kind
        self.sources = set()
        self.links = set()


def read_files(root):
    files = {}
    for folder in FOLDERS:
        for path in (root / folder).rglob("*"):
            if path.suffix in (".h", ".cpp") and path.is_file():
                files[path.relative_to(root).as_posix()] = path.read_text(encoding="utf-8")
    return files


def floor(path, text):
    top = path.split("/", 1)[0]
    if top == "app":
        return 4
    if top == "boxtool":
        return 1
    if not QT_INCLUDE.search(text):
        return 1
    return 2 if top == "ui" else 3


def tokens_of(arguments, variables):
    out = []
    for token in arguments.split():
        token = token.replace("${CMAKE_CURRENT_LIST_DIR}/", "")
        token = token.replace("${CMAKE_CURRENT_SOURCE_DIR}/", "")
        whole = re.fullmatch(r"\$\{(\w+)\}", token)
        if whole:
            out.extend(variables.get(whole.group(1), []))
        elif "$" not in token and '"' not in token:
            out.append(token)
    return out


def sections(tokens):
    """Splits qf_* helper arguments at their keywords: {keyword: [values]}."""
    found = {"": []}
    current = ""
    for token in tokens:
        if token in KEYWORDS:
            current = token
            found.setdefault(current, [])
        else:
            found[current].append(token)
    return found


def read_targets(root):
    targets = {}
    for folder in FOLDERS:
        variables = {}
        cmake_files = sorted((root / folder).glob("*.cmake")) + [root / folder / "CMakeLists.txt"]
        for cmake in cmake_files:
            if not cmake.is_file():
                continue
            text = re.sub(r"(^|\s)#[^\n]*", r"\1", cmake.read_text(encoding="utf-8"))
            for command, arguments in COMMAND.findall(text):
                add_command(targets, folder, command, tokens_of(arguments, variables), variables)
    return targets


def add_command(targets, folder, command, tokens, variables):
    if not tokens:
        return
    name, rest = tokens[0], tokens[1:]
    if command in ("list", "set"):
        values = [t for t in rest if t not in KEYWORDS]
        key = values.pop(0) if command == "list" and values else name
        if command == "list":
            variables.setdefault(key, []).extend(values)
        else:
            variables[name] = values
        return
    if command == "target_link_libraries":
        if name in targets:
            targets[name].links.update(t for t in rest if t not in KEYWORDS)
        return
    kinds = {"qf_core_library": "core", "qf_window_library": "windows", "qf_test": "test",
             "qf_qt_test": "test", "qf_fuzz_target": "test"}
    target = Target(name, folder, kinds.get(command, "other"))
    if command == "qf_fuzz_target":
        target.name = name + "_regression_test"
        target.sources = {f"{folder}/FuzzRegression_test.cpp", f"{folder}/{rest[0]}"}
        target.links = {rest[1]}
    elif command.startswith("qf_"):
        parts = sections(rest)
        target.sources = {f"{folder}/{s}" for s in parts.get("SOURCES", [])}
        target.links = set(parts.get("LINKS", []) + parts.get("PRIVATE_LINKS", []))
        if command == "qf_window_library":
            target.links.add("qf_ui")
        if command == "qf_qt_test":
            target.links.add("qf_ui_testing")
    else:
        target.sources = {f"{folder}/{s}" for s in rest if s.endswith((".cpp", ".h"))}
    targets[target.name] = target


def reach(targets):
    """Every target each target links, directly or through others."""
    reached = {}
    for name in targets:
        seen, stack = set(), [name]
        while stack:
            for linked in targets[stack.pop()].links:
                if linked in targets and linked not in seen:
                    seen.add(linked)
                    stack.append(linked)
        reached[name] = seen
    return reached


def owners_of(targets):
    owners = {}
    for target in targets.values():
        for source in target.sources:
            owners.setdefault(source, set()).add(target.name)
            if source.endswith(".cpp"):
                owners.setdefault(source[:-4] + ".h", set()).add(target.name)
    return owners


def link_needs(path, files, owners, memo, visiting=frozenset()):
    """The target sets an includer of `path` must link one of each."""
    if path in owners:
        return [frozenset(owners[path])]
    if path in memo:
        return memo[path]
    needs = []
    for included in INCLUDE.findall(files.get(path, "")):
        if included in files and included not in visiting:
            needs.extend(link_needs(included, files, owners, memo, visiting | {path}))
    memo[path] = needs
    return needs


def include_rule_breaks(files, floors):
    wrong = []
    for path, text in sorted(files.items()):
        top = path.split("/", 1)[0]
        is_test = path.endswith("_test.cpp")
        if not is_test and top not in NOT_FLOORS and top != "ui" and FORM_BY_CLASS.search(text):
            wrong.append(f"{path}: asks for a window by its class: ask by intent"
                         " (ui::WindowIntents)")
        for included in INCLUDE.findall(text):
            if included not in files:
                continue
            where = included.split("/", 1)[0]
            if where == "boxtool" and top != "boxtool":
                wrong.append(f"{path}: includes {included}: only boxtool/ uses the store tool")
            elif where == "app" and top not in ("app", "bench"):
                if not (is_test and included == WHOLE_PROGRAM_TEST_HEADER):
                    wrong.append(f"{path}: includes {included}: app/ is the top floor"
                                 f" (a window test may include {WHOLE_PROGRAM_TEST_HEADER})")
            elif where != "app" and floors[included] > floors[path]:
                wrong.append(f"{path} ({NAMES[floors[path]]}): includes {included}"
                             f" ({NAMES[floors[included]]}), a floor above")
            elif (not is_test and top not in NOT_FLOORS and floors[path] == 3 and floors[included] == 3
                  and where != top):
                wrong.append(f"{path}: includes {included}: a window asks"
                             " ui::WindowEnvironment for another folder's windows")
    return wrong


def link_rule_breaks(files, targets):
    wrong = []
    owners = owners_of(targets)
    reached = reach(targets)
    memo = {}
    for path, text in sorted(files.items()):
        # A source file the CMake files do not name would go unchecked.
        if path.endswith(".cpp") and path not in owners:
            wrong.append(f"{path}: is built in no target of the CMake files")
        for name in sorted(owners.get(path, ())):
            for included in INCLUDE.findall(text):
                if included not in files:
                    continue
                for need in link_needs(included, files, owners, memo):
                    if name not in need and not (reached[name] & need):
                        wrong.append(f"{path}: includes {included}, but {name} does not link "
                                     + " or ".join(sorted(need)))
    return wrong


def target_rule_breaks(targets):
    wrong = []
    reached = reach(targets)
    for target in sorted(targets.values(), key=lambda t: t.name):
        if target.kind != "core":
            continue
        for linked in sorted(target.links | reached[target.name]):
            if linked.startswith("Qt6::") or (linked in targets
                                              and targets[linked].kind == "windows"):
                wrong.append(f"{target.name} (core) links {linked}")
    # Parts that link each other, through any of their targets but tests. A
    # part is a folder's core or its windows (the window kit of ui/ is one
    # part): a folder's windows may stand on the kit that stands on the
    # folder's core, but no part links a part that links it back.
    def part(target):
        return f"{target.folder}/ ({'windows' if target.kind == 'windows' else 'core'})" \
            if target.folder != "ui" else "ui/"
    edges = {}
    for target in targets.values():
        if target.kind == "test" or target.folder in NOT_FLOORS:
            continue
        for linked in target.links:
            if linked in targets and part(targets[linked]) != part(target):
                edges.setdefault(part(target), set()).add(part(targets[linked]))
    for start in sorted(edges):
        for other in sorted(edges[start]):
            seen, stack = {other}, [other]
            while stack:
                current = stack.pop()
                if start in edges.get(current, ()):
                    wrong.append(f"{start} links {other}, which links {start} back")
                    break
                for nxt in edges.get(current, ()):
                    if nxt not in seen:
                        seen.add(nxt)
                        stack.append(nxt)
    return wrong


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    files = read_files(root)
    floors = {path: floor(path, text) for path, text in files.items()}
    # A source file stands on the floor of its own header.
    for path in floors:
        header = path[:-4] + ".h"
        if path.endswith(".cpp") and header in floors:
            floors[path] = max(floors[path], floors[header])
    targets = read_targets(root)
    wrong = (include_rule_breaks(files, floors) + link_rule_breaks(files, targets)
             + target_rule_breaks(targets))
    for line in wrong:
        print(line)
    print(f"{len(files)} files and {len(targets)} targets checked, {len(wrong)} wrong")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
