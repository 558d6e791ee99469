#include "editor/EditorText.h"

#include <gtest/gtest.h>

namespace qf::editor {
namespace {

TEST(EditorTextTest, FindAndFindNextWalkThroughTheMatches) {
    const std::u16string text = u"xxabcxxabc";
    std::int64_t found = findFrom(text, u"abc", 1);
    EXPECT_EQ(found, 3);
    found = findFrom(text, u"abc", findNextStart(found, 3));
    EXPECT_EQ(found, 8);
    found = findFrom(text, u"abc", findNextStart(found, 3));
    EXPECT_EQ(found, 0);
    // After a miss the next search starts at the needle's length.
    EXPECT_EQ(findFrom(text, u"abc", findNextStart(found, 3)), 3);
    EXPECT_EQ(findFrom(text, u"", 1), 0);
}

TEST(EditorTextTest, PositionsGoPast16Bits) {
    std::u16string text(40000, u'あ');
    text.replace(32000, 2, u"目印");
    text.replace(39000, 2, u"目印");
    const std::int64_t first = findFrom(text, u"目印", 1);
    EXPECT_EQ(first, 32001);
    EXPECT_EQ(findFrom(text, u"目印", findNextStart(first, 2)), 39001);
}

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

TEST(EditorTextTest, PaneTextIsWrittenAsCp932WithCrLf) {
    EXPECT_EQ(fileBytesFromText("あ\nb\r\nc\rd"), "\x82\xA0\r\nb\r\nc\r\nd");
}

TEST(EditorTextTest, TogglesAlternateOnAndOff) {
    Toggle t = toggled(0);
    EXPECT_TRUE(t.on);
    t = toggled(t.counter);
    EXPECT_FALSE(t.on);
    EXPECT_EQ(t.counter, 2);
    EXPECT_TRUE(toggled(t.counter).on);
}

}  // namespace
}  // namespace qf::editor
