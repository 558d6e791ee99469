#include "transport/AttachmentNames.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "transport/MimeTestSupport.h"

namespace qf::transport {
namespace {

using testing::readBytes;
using testing::TempFolder;

TEST(SafeAttachmentName, StripsEveryWayOutOfTheFolder) {
    EXPECT_EQ(safeAttachmentName("../../x.txt", ""), "x.txt");
    EXPECT_EQ(safeAttachmentName("/etc/passwd", ""), "passwd");
    EXPECT_EQ(safeAttachmentName("..\\..\\win.ini", ""), "win.ini");
    EXPECT_EQ(safeAttachmentName("C:\\x.txt", ""), "x.txt");
    EXPECT_EQ(safeAttachmentName("C:x.txt", ""), "x.txt");
    EXPECT_EQ(safeAttachmentName("dir/..", "text/plain"), "attachment.txt");
    EXPECT_EQ(safeAttachmentName(".", "image/png"), "attachment.png");
    EXPECT_EQ(safeAttachmentName("", "application/x-unknown"), "attachment.bin");
    EXPECT_EQ(safeAttachmentName("  .hidden. ", ""), "hidden");
}

TEST(SafeAttachmentName, CleansCharactersAndKeepsJapanese) {
    EXPECT_EQ(safeAttachmentName(std::string("report.pdf\0.exe", 15), ""), "report.pdf");
    EXPECT_EQ(safeAttachmentName("a\x01"
                                 "b\x7F?c|d.txt",
                                 ""),
              "a_b__c_d.txt");
    EXPECT_EQ(safeAttachmentName("表示①.txt", ""), "表示①.txt");
    EXPECT_EQ(safeAttachmentName("bad\xFF\xFEutf8.txt", ""), "bad__utf8.txt");
}

TEST(SafeAttachmentName, LongNamesAreCutAtACharacterAndKeepTheirExtension) {
    std::string stem;
    for (int i = 0; i < 300; ++i) {
        stem += "あ";
    }
    std::string name = safeAttachmentName(stem + ".docx", "");
    EXPECT_LE(name.size(), kMaxAttachmentNameBytes);
    EXPECT_EQ(name.size(), 65 * 3 + 5u);
    EXPECT_EQ(name.substr(name.size() - 5), ".docx");
    EXPECT_EQ(name.substr(0, 3), "あ");
}

TEST(WriteAttachment, NeverReplacesAFileOrFollowsALink) {
    TempFolder folder;
    std::ofstream(folder.path() + "/a.txt") << "old";
    std::ofstream(folder.path() + "/a(1).txt") << "older";
    TempFolder outside;
    std::string target = outside.path() + "/target";
    std::ofstream(target) << "keep";
    ASSERT_EQ(::symlink(target.c_str(), (folder.path() + "/link").c_str()), 0);

    auto first = writeAttachment(folder.path(), "../a.txt", "", "new");
    ASSERT_TRUE(first) << first.status().toString();
    EXPECT_EQ(first.value(), "a(2).txt");
    auto second = writeAttachment(folder.path(), "link", "", "evil");
    ASSERT_TRUE(second);
    EXPECT_EQ(second.value(), "link(1)");

    EXPECT_EQ(readBytes(folder.path() + "/a.txt"), "old");
    EXPECT_EQ(readBytes(folder.path() + "/a(2).txt"), "new");
    EXPECT_EQ(readBytes(target), "keep");
}

TEST(WriteAttachment, OneWriterNumbersSameNamesPastFilesAlreadyThere) {
    TempFolder folder;
    std::ofstream(folder.path() + "/same.bin") << "old";
    std::ofstream(folder.path() + "/same(2).bin") << "old";
    AttachmentWriter writer(folder.path());
    std::vector<std::string> names;
    for (int i = 0; i < 4; ++i) {
        auto written = writer.write("same.bin", "", std::to_string(i));
        ASSERT_TRUE(written);
        names.push_back(written.value());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"same(1).bin", "same(3).bin", "same(4).bin",
                                               "same(5).bin"}));
    EXPECT_EQ(readBytes(folder.path() + "/same(2).bin"), "old");
    EXPECT_EQ(readBytes(folder.path() + "/same(5).bin"), "3");
}

TEST(WriteAttachment, AMissingFolderIsAnError) {
    TempFolder folder;
    auto written = writeAttachment(folder.path() + "/missing", "a.txt", "", "x");
    ASSERT_FALSE(written);
    EXPECT_EQ(written.status().code(), StatusCode::kIoError);
    EXPECT_NE(written.status().message().find("missing"), std::string::npos);
}

}  // namespace
}  // namespace qf::transport
