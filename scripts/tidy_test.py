#!/usr/bin/env python3
"""The clang-tidy runner's cache key and its reading of clang-tidy's output:
a kept result must not outlive a change to any header its source reads, and a
header's finding seen through several sources is one finding."""
import json
import pathlib
import shutil
import sys
import tempfile
import unittest
import unittest.mock

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import tidy  # noqa: E402


class CacheKeyTest(unittest.TestCase):
    def setUp(self):
        folder = tempfile.TemporaryDirectory()
        self.addCleanup(folder.cleanup)
        self.root = pathlib.Path(folder.name)
        (self.root / "text").mkdir()
        (self.root / "text/Words.h").write_text("inline int words() { return 1; }\n")
        (self.root / "text/Other.h").write_text("inline int other() { return 2; }\n")
        (self.root / "Main.cpp").write_text('#include "text/Words.h"\nint main() { return words(); }\n')
        self.entry = {"directory": str(self.root), "file": "Main.cpp",
                      "command": f"/usr/bin/c++ -I{self.root} -std=c++20 -o Main.o -c Main.cpp"}

    def key(self, salt=b"clang-tidy 14"):
        return tidy.cache_key([self.entry], salt, self.root)

    def test_key_follows_what_the_source_reads(self):
        before = self.key()
        self.assertEqual(before, self.key())
        (self.root / "text/Other.h").write_text("inline int other() { return 3; }\n")
        self.assertEqual(before, self.key(), "a header the source does not include")
        (self.root / "text/Words.h").write_text("inline int words() { return 2; }\n")
        self.assertNotEqual(before, self.key(), "an included header changed")
        self.assertNotEqual(self.key(), self.key(b"clang-tidy 15"), "the tool or .clang-tidy changed")

    def test_compile_command_is_part_of_the_key(self):
        before = self.key()
        self.entry["command"] = self.entry["command"].replace("-std=c++20", "-std=c++20 -DQF_EXTRA")
        self.assertNotEqual(before, self.key())

    def test_key_is_the_same_in_another_checkout_and_sees_comments(self):
        before = self.key()
        with tempfile.TemporaryDirectory() as other:
            moved = pathlib.Path(other, "elsewhere")
            shutil.copytree(self.root, moved)
            entry = json.loads(json.dumps(self.entry).replace(str(self.root), str(moved)))
            self.assertEqual(before, tidy.cache_key([entry], b"clang-tidy 14", moved))
        # A NOLINT mark taken away changes no preprocessed text.
        (self.root / "text/Words.h").write_text("inline int words() { return 1; }  // NOLINT\n")
        self.assertNotEqual(before, self.key())

    def test_source_that_does_not_preprocess_has_no_key(self):
        (self.root / "Main.cpp").write_text('#include "text/Missing.h"\n')
        self.assertIsNone(self.key())


class RecordTest(unittest.TestCase):
    setUp = CacheKeyTest.setUp

    def test_a_recorded_source_is_clean_only_while_its_key_holds(self):
        record_file = self.root / "tidy-clean.txt"
        with unittest.mock.patch.object(tidy, "RECORD", record_file), \
                unittest.mock.patch.object(tidy, "run", wraps=tidy.run) as run:
            tidy.write_record({"Main.cpp": tidy.cache_key([self.entry], b"v")[:tidy.RECORD_KEY]})
            recorded = tidy.read_record()["Main.cpp"]
            self.assertEqual(tidy.check(self.root / "Main.cpp", [self.entry], b"v", recorded)[3], "record")
            self.assertFalse(any(call.args[0][0] == "clang-tidy" for call in run.call_args_list))
            (self.root / "Main.cpp").write_text('#include "text/Words.h"\nint main() { return 0; }\n')
            self.assertNotEqual(tidy.cache_key([self.entry], b"v")[:tidy.RECORD_KEY], recorded)


class FindingsTest(unittest.TestCase):
    def test_finding_repeated_in_one_output_is_kept_once_with_its_lines(self):
        finding = "/p/text/Words.h:2:11: error: statement should be inside braces [readability-braces-around-statements,-warnings-as-errors]"
        out = "\n".join([finding, "    if (a)", "          ^", finding, "    if (a)", "          ^",
                         "/p/Main.cpp:1:1: warning: other [bugprone-x]"])
        found = tidy.findings(out)
        self.assertEqual(list(found), [finding, "/p/Main.cpp:1:1: warning: other [bugprone-x]"])
        self.assertEqual(found[finding], "\n".join([finding, "    if (a)", "          ^"]))

    def test_text_before_any_finding_is_no_finding(self):
        self.assertEqual(tidy.findings("3 warnings generated.\nError while processing x.cpp.\n"), {})


if __name__ == "__main__":
    unittest.main()
