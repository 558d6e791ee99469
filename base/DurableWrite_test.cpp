#include "base/DurableWrite.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "store/StoreTestSupport.h"

namespace qf::base {
namespace {

using store::testing::FaultyFileSystem;

std::size_t filesIn(const std::string& folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++count;
    }
    return count;
}

// Each step of a replacement fails in turn: create, write, flush, sync,
// rename, folder sync. Until the rename the old file is whole and no
// temporary file stays; a failed folder sync is reported, not swallowed.
TEST(DurableWriteTest, EveryFailedStepIsReportedAndKeepsTheOldFileWhole) {
    bool renamed = false;
    for (int failAt = 1;; ++failAt) {
        testing::TempFolder folder;
        const std::string file = folder.file("settings.ini");
        testing::writeBytes(file, "old contents");
        FaultyFileSystem fs(failAt);
        Status s = replaceFileDurably(file, "new contents", {}, fs);
        if (!fs.failed()) {
            ASSERT_TRUE(s.isOk()) << s.toString();
            EXPECT_TRUE(renamed) << "the folder sync never failed";
            break;
        }
        EXPECT_EQ(s.code(), StatusCode::kIoError) << "step " << failAt;
        EXPECT_NE(s.message().find("injected failure"), std::string::npos) << s.message();
        // What the user sees is the OS's text, the not-durable rename's too.
        EXPECT_EQ(s.outsideText(), "No space left on device") << "step " << failAt;
        EXPECT_EQ(filesIn(folder.path()), 1u) << "a temporary file stayed, step " << failAt;
        const std::string now = testing::readBytes(file);
        if (now == "new contents") {
            renamed = true;  // only the folder sync after the rename may fail so
        } else {
            EXPECT_EQ(now, "old contents") << "step " << failAt;
            EXPECT_FALSE(renamed) << "the old file came back after the rename";
        }
    }
}

TEST(DurableWriteTest, KeepsOrSetsPermissionsAndReplacesALinkOnlyWhenAsked) {
    testing::TempFolder folder;
    const std::string target = folder.file("real");
    const std::string link = folder.file("link");
    testing::writeBytes(target, "old");
    std::filesystem::permissions(target, std::filesystem::perms(0640));
    std::filesystem::create_symlink(target, link);

    ASSERT_TRUE(replaceFileDurably(link, "followed"));
    EXPECT_EQ(testing::readBytes(target), "followed");
    EXPECT_EQ(posixFileSystem().permissions(target).value(), 0640u);

    ASSERT_TRUE(replaceFileDurably(link, "own", {0600, /*followLink=*/false}));
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    EXPECT_EQ(testing::readBytes(target), "followed");
    EXPECT_EQ(posixFileSystem().permissions(link).value(), 0600u);
}

TEST(DurableWriteTest, ReadingTellsAMissingFileFromItsContents) {
    testing::TempFolder folder;
    EXPECT_EQ(readWholeFile(folder.file("none")).status().code(), StatusCode::kNotFound);
    const std::string big(200 * 1024, 'x');  // more than one read
    testing::writeBytes(folder.file("big"), big);
    EXPECT_EQ(readWholeFile(folder.file("big")).value(), big);
}

}  // namespace
}  // namespace qf::base
