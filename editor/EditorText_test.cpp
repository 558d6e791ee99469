#include "editor/EditorText.h"

#include <gtest/gtest.h>

namespace qf::editor {
namespace {

TEST(EditorTextTest, NewFileNameKeepsTheFolderOrUsesTheProgramFolder) {
    EXPECT_EQ(newFileName("", "/opt/qf"), "/opt/qf/新規作成.TXT");
    EXPECT_EQ(newFileName("memo.txt", "/opt/qf/"), "/opt/qf/新規作成.TXT");
    EXPECT_EQ(newFileName("/home/u/docs/memo.txt", "/opt/qf"), "/home/u/docs/新規作成.TXT");
    EXPECT_EQ(newFileName("/home/u/新規作成.TXT", "/opt/qf"), std::nullopt);
    EXPECT_EQ(newFileName("/home/u/新規作成.txt", "/opt/qf"), "/home/u/新規作成.TXT")
        << "case-sensitive";
}

TEST(EditorTextTest, FileBytesAreReadAsCp932OrValidUtf8) {
    // "①㈱髙" in CP932 (NEC and IBM extensions), as `printf '①㈱髙\r\nx' |
    // iconv -t CP932` writes it.
    EXPECT_EQ(textFromFileBytes("\x87\x40\x87\x8A\xFB\xFC\r\nx"), "①㈱髙\nx\n");
    EXPECT_EQ(textFromFileBytes("\xEF\xBB\xBF①㈱髙\n\ny\r"), "①㈱髙\n\ny\n");
    EXPECT_EQ(textFromFileBytes(""), "");
    EXPECT_FALSE(isValidUtf8("\x82\xA0"));         // "あ" in CP932
    EXPECT_FALSE(isValidUtf8("\xE3\x81"));         // cut short
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));     // a surrogate
    EXPECT_TRUE(isValidUtf8("\xF0\x9F\x93\xA7"));  // U+1F4E7
}

}  // namespace
}  // namespace qf::editor
