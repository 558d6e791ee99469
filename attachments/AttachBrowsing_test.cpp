#include "attachments/AttachBrowsing.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "attachments/FileReach.h"
#include "tests/support/TempFolder.h"

namespace qf::attachments {
namespace {

TEST(ChosenFilePath, RootFolderSeparatorIsNotDoubled) {
    EXPECT_EQ(chosenFilePath("/", "photo.bmp"), "/photo.bmp");
    EXPECT_EQ(chosenFilePath("/media/usb", "写真.bmp"), "/media/usb/写真.bmp");
    EXPECT_EQ(chosenFilePath("/home/user/添付フォルダ/", "a.html"),
              "/home/user/添付フォルダ/a.html");
}

TEST(ShownFileName, Utf8AsItIsShiftJisAsCp932OtherBytesReplaced) {
    EXPECT_EQ(shownFileName("案内.txt"), "案内.txt");
    EXPECT_EQ(shownFileName("\x88\xC4\x93\xE0.txt"), "案内.txt");
    EXPECT_EQ(shownFileName("a\xFF\x80"
                            "b"),
              "a\uFFFD\uFFFDb");
}

class FolderOnDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        std::filesystem::create_directories(m_root / "page" / "page_files");
        std::filesystem::create_directories(m_root / "other");
    }
    std::string at(const std::string& relative) const { return (m_root / relative).string(); }
    void write(const std::string& relative) const { std::ofstream(at(relative)) << "x"; }

    qf::testing::TempFolder m_root{"qf-attach"};
};

// Every regular file whatever its name's bytes, not a pipe, a folder or a
// hidden file; a link to a file is a file.
TEST_F(FolderOnDisk, ListsRegularFilesByShownNameWhateverTheirBytes) {
    write("page/b.txt");
    write("page/\x88\xC4\x93\xE0.txt");
    write("page/.hidden");
    write("page/A.html");
    ASSERT_EQ(::mkfifo(at("page/pipe.png").c_str(), 0600), 0);
    std::filesystem::create_symlink(at("other/x"), at("page/dangling"));
    write("other/linked");
    std::filesystem::create_symlink(at("other/linked"), at("page/link.txt"));
    const std::vector<ListedFile> files = listFiles(at("page"));
    std::vector<std::string> shown;
    for (const ListedFile& file : files) {
        shown.push_back(file.shownName);
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"A.html", "b.txt", "link.txt", "案内.txt"}));
    EXPECT_EQ(files.back().name, "\x88\xC4\x93\xE0.txt");
    EXPECT_TRUE(listFiles(at("missing")).empty());
}

TEST_F(FolderOnDisk, OnlyTheFolderAndBelowLieWithinNotByLinkOrDots) {
    write("page/pic.png");
    write("page/page_files/pic.png");
    write("other/secret.txt");
    std::filesystem::create_symlink(at("other/secret.txt"), at("page/link.txt"));
    EXPECT_TRUE(liesWithin(at("page"), at("page/pic.png")));
    EXPECT_TRUE(liesWithin(at("page"), at("page/page_files/pic.png")));
    EXPECT_FALSE(liesWithin(at("page"), at("other/secret.txt")));
    EXPECT_FALSE(liesWithin(at("page"), at("page/../other/secret.txt")));
    EXPECT_FALSE(liesWithin(at("page"), at("page/link.txt")));
    EXPECT_FALSE(liesWithin(at("page"), at("page/missing.png")));
    EXPECT_FALSE(liesWithin(at("pa"), at("page/pic.png")));  // a prefix is no folder
    EXPECT_EQ(folderOf(at("page/pic.png")), at("page"));
    EXPECT_EQ(folderOf("/pic.png"), "/");
}

// A pipe is refused at once, not waited on.
TEST_F(FolderOnDisk, OpensRegularFilesOnly) {
    write("page/a.txt");
    ASSERT_EQ(::mkfifo(at("page/pipe.txt").c_str(), 0600), 0);
    const int fd = openRegularFile(at("page/a.txt"));
    EXPECT_GE(fd, 0);
    ::close(fd);
    EXPECT_EQ(openRegularFile(at("page/pipe.txt")), -1);
    EXPECT_EQ(openRegularFile(at("page")), -1);
    EXPECT_EQ(openRegularFile(at("page/missing")), -1);
}

// Only a ".pdf" that begins as a PDF file does is one (the engine shows
// such a file in its viewer, which runs script).
TEST_F(FolderOnDisk, PdfFileByItsNameAndItsFirstBytes) {
    std::ofstream(at("page/a.PDF")) << "%PDF-1.4\n";
    std::ofstream(at("page/b.pdf")) << "<html><script>";
    std::ofstream(at("page/c.html")) << "%PDF-1.4\n";
    EXPECT_TRUE(isPdfFile(at("page/a.PDF")));
    EXPECT_FALSE(isPdfFile(at("page/b.pdf")));
    EXPECT_FALSE(isPdfFile(at("page/c.html")));
    EXPECT_FALSE(isPdfFile(at("page/missing.pdf")));
}

TEST(ExplanationText, KeepsHalfWidthStopsAndTheirTrailingSpaces) {
    const std::string_view text = explanationText();
    EXPECT_TRUE(text.starts_with("■ドライブ（上）、"));
    EXPECT_NE(text.find("再び表示されます｡ \nＨＴＭＬ"), std::string_view::npos);
    EXPECT_NE(text.find("（EXE等）「ファイルのダウンロード」"), std::string_view::npos);
    EXPECT_TRUE(text.ends_with("感染を防止します｡ "));
}

TEST(ScrollingName, ReachesThePictureIn300TicksThenCyclesIn180) {
    int top = kNameOpeningTop;
    int ticks = 0;
    for (; top != kPictureTop; ++ticks) {
        top = nextNameTop(top);
    }
    EXPECT_EQ(ticks, 300);
    top = nextNameTop(top);
    EXPECT_EQ(top, kNameRestartTop);
    for (ticks = 0; top != kPictureTop; ++ticks) {
        top = nextNameTop(top);
    }
    EXPECT_EQ(ticks, 180);
}

}  // namespace
}  // namespace qf::attachments
