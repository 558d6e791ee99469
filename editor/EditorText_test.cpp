#include "editor/EditorText.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/support/TempFolder.h"

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

TEST(EditorTextTest, ReadTextFileReportsItsStepsStopsWhenToldAndRefusesAPipe) {
    const qf::testing::TempFolder folder("qf-editor-read");
    const std::string bytes(9u << 20, 'x');  // three steps
    std::ofstream((folder / "big.txt").string(), std::ios::binary) << bytes;
    std::vector<std::uint64_t> steps;
    const auto read = readTextFile((folder / "big.txt").string(), [&](auto done, auto size) {
        EXPECT_EQ(size, bytes.size());
        steps.push_back(done);
        return true;
    });
    ASSERT_TRUE(read.isOk()) << read.status().message();
    EXPECT_EQ(read.value(), bytes);
    EXPECT_EQ(steps, (std::vector<std::uint64_t>{4u << 20, 8u << 20, 9u << 20}));

    const auto stopped =
        readTextFile((folder / "big.txt").string(), [](auto, auto) { return false; });
    EXPECT_EQ(stopped.status().code(), StatusCode::kCancelled);
    ASSERT_EQ(::mkfifo((folder / "pipe.txt").c_str(), 0600), 0);
    EXPECT_EQ(readTextFile((folder / "pipe.txt").string(), [](auto, auto) { return true; })
                  .status()
                  .code(),
              StatusCode::kInvalidArgument);
    EXPECT_EQ(readTextFile((folder / "gone.txt").string(), [](auto, auto) { return true; })
                  .status()
                  .code(),
              StatusCode::kIoError);
}

}  // namespace
}  // namespace qf::editor
