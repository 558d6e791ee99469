#include "editor/HeaderLines.h"

#include <gtest/gtest.h>

namespace qf::editor {
namespace {

TEST(HeaderLines, PaneTextEndsWithTheBodyAndFileBytesEndEveryLineWithCrLf) {
    const HeaderFields fields{"Hello", "a", "b", "x"};
    EXPECT_EQ(headerLinesText(fields), "Subject:  Hello\r\nFrom:  a\r\nDate:  b\r\nBody:  x");
    EXPECT_EQ(headerLinesFileBytes(fields),
              "Subject:  Hello\r\nFrom:  a\r\nDate:  b\r\nBody:  x\r\n");
}

TEST(HeaderLines, FileBytesAreCp932AndTheBodyKeepsItsLinesAsCrLf) {
    // "件名" and "本文" in CP932.
    const HeaderFields fields{"\xE4\xBB\xB6\xE5\x90\x8D", "a", "b",
                              "1\n\xE6\x9C\xAC\xE6\x96\x87\r\n3\r4"};
    EXPECT_EQ(headerLinesFileBytes(fields),
              "Subject:  \x8C\x8F\x96\xBC\r\nFrom:  a\r\nDate:  b\r\n"
              "Body:  1\r\n\x96\x7B\x95\xB6\r\n3\r\n4\r\n");
}

}  // namespace
}  // namespace qf::editor
