#!/usr/bin/env python3
"""The include check on a small made-up tree: a sound tree passes, and each
kind of wrong include or link it is there to refuse is refused."""
import contextlib
import io
import pathlib
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import check_floors  # noqa: E402

QT = "#include <QWidget>\n"

SOUND_TREE = {
    "text/CMakeLists.txt": "qf_core_library(qf_text SOURCES Status.cpp)\n",
    "text/Status.h": "#pragma once\n",
    "text/Status.cpp": '#include "text/Status.h"\n',
    "ui/CMakeLists.txt": "add_library(qf_ui STATIC WindowEnvironment.cpp)\n"
                         "target_link_libraries(qf_ui PUBLIC Qt6::Widgets qf_text)\n"
                         "add_library(qf_ui_testing STATIC TestControls.h)\n",
    "ui/WindowEnvironment.h": QT + '#include "text/Status.h"\n',
    "ui/WindowEnvironment.cpp": '#include "ui/WindowEnvironment.h"\n',
    "ui/TestControls.h": QT,
    "compose/CMakeLists.txt": "qf_core_library(qf_compose SOURCES Reply.cpp LINKS qf_text)\n"
                              "qf_window_library(qf_compose_windows SOURCES ReplyWindow.cpp"
                              " LINKS qf_compose)\n",
    "compose/Reply.h": '#include "text/Status.h"\n',
    "compose/Reply.cpp": '#include "compose/Reply.h"\n',
    "compose/ReplyWindow.h": QT + '#include "compose/Reply.h"\n',
    "compose/ReplyWindow.cpp": '#include "compose/ReplyWindow.h"\n#include "ui/WindowEnvironment.h"\n',
    "viewer/CMakeLists.txt": "qf_window_library(qf_viewer_windows SOURCES ViewerWindow.cpp)\n"
                             "qf_qt_test(ViewerWindow_test SOURCES ViewerWindow_test.cpp"
                             " LINKS quillfern_windows_testing)\n",
    "viewer/ViewerWindow.h": QT,
    "viewer/ViewerWindow.cpp": '#include "viewer/ViewerWindow.h"\n'
                            '#include "ui/WindowEnvironment.h"\n',
    "viewer/ViewerWindow_test.cpp": QT + '#include "app/TestApplication.h"\n'
                                      '#include "viewer/ViewerWindow.h"\n',
    "app/CMakeLists.txt": "add_library(quillfern_windows STATIC MainWindow.cpp)\n"
                          "target_link_libraries(quillfern_windows PUBLIC qf_viewer_windows"
                          " qf_compose_windows)\n"
                          "add_library(quillfern_windows_testing INTERFACE TestApplication.h)\n"
                          "target_link_libraries(quillfern_windows_testing INTERFACE"
                          " quillfern_windows qf_ui_testing)\n",
    "app/MainWindow.h": QT,
    "app/MainWindow.cpp": '#include "app/MainWindow.h"\n#include "compose/ReplyWindow.h"\n'
                        "void open() { env.form<ReplyWindow>(); }\n",
    "app/TestApplication.h": '#include "app/MainWindow.h"\n',
}


class CheckFloorsTest(unittest.TestCase):
    def wrong_lines(self, changes):
        with tempfile.TemporaryDirectory() as folder:
            root = pathlib.Path(folder)
            for path, text in {**SOUND_TREE, **changes}.items():
                (root / path).parent.mkdir(parents=True, exist_ok=True)
                (root / path).write_text(text, encoding="utf-8")
            sys.argv = ["check_floors.py", folder]
            out = io.StringIO()
            with contextlib.redirect_stdout(out):
                failed = check_floors.main()
            lines = out.getvalue().splitlines()[:-1]
            self.assertEqual(failed, 1 if lines else 0)
            return lines

    def assertRefused(self, changes, *words):
        lines = self.wrong_lines(changes)
        self.assertTrue(any(all(w in line for w in words) for line in lines), lines)

    def test_sound_tree_passes(self):
        self.assertEqual(self.wrong_lines({}), [])

    def test_sideways_window_include_is_refused(self):
        planted = SOUND_TREE["viewer/ViewerWindow.cpp"] + '#include "compose/ReplyWindow.h"\n'
        self.assertRefused({"viewer/ViewerWindow.cpp": planted}, "viewer/ViewerWindow.cpp",
                           "another folder's windows")
        self.assertRefused({"viewer/ViewerWindow.cpp": planted}, "qf_viewer_windows does not link")

    def test_window_asking_for_a_window_by_class_is_refused(self):
        planted = SOUND_TREE["viewer/ViewerWindow.cpp"] + "void f() { env.showForm<ReplyWindow>(); }\n"
        self.assertRefused({"viewer/ViewerWindow.cpp": planted}, "by its class")

    def test_test_including_app_beyond_the_test_application_is_refused(self):
        planted = SOUND_TREE["viewer/ViewerWindow_test.cpp"] + '#include "app/MainWindow.h"\n'
        self.assertRefused({"viewer/ViewerWindow_test.cpp": planted}, "app/MainWindow.h",
                           "top floor")

    def test_core_including_a_window_is_refused(self):
        planted = SOUND_TREE["compose/Reply.cpp"] + '#include "compose/ReplyWindow.h"\n'
        self.assertRefused({"compose/Reply.cpp": planted}, "a floor above")

    def test_folders_linking_each_other_are_refused(self):
        cycle = "qf_core_library(qf_text SOURCES Status.cpp LINKS qf_compose)\n"
        self.assertRefused({"text/CMakeLists.txt": cycle}, "links text/ (core) back")

    def test_source_in_no_target_is_refused(self):
        self.assertRefused({"compose/Stray.cpp": '#include "text/Status.h"\n'}, "no target")


if __name__ == "__main__":
    unittest.main()
