#include "base/DurableWrite.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>
#include <vector>

#include "base/FileSystem.h"
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

// A file that only notes which stretches it was asked to write back.
class WritebackNotes final : public File {
  public:
    Result<std::size_t> readAt(std::uint64_t, std::span<char>) override { return std::size_t{0}; }
    Status writeAt(std::uint64_t, std::span<const char>) override { return Status::ok(); }
    Status flush() override { return Status::ok(); }
    Status sync() override { return Status::ok(); }
    Result<std::uint64_t> size() override { return std::uint64_t{0}; }
    Status truncate(std::uint64_t) override { return Status::ok(); }
    void startWriteback(std::uint64_t offset, std::uint64_t length) override {
        asked.emplace_back(offset, length);
    }
    std::vector<std::pair<std::uint64_t, std::uint64_t>> asked;
};

// Appends hand each stretch to the disk once, when they complete it.
TEST(WritebackTest, EachCompletedStretchIsStartedOnceByTheAppendThatEndsIt) {
    constexpr std::uint64_t kStretch = kWritebackStretchBytes;
    WritebackNotes file;
    startWritebackOfCompletedStretches(file, 0, kStretch - 1);
    EXPECT_TRUE(file.asked.empty());
    startWritebackOfCompletedStretches(file, kStretch - 1, 1);  // ends the first exactly
    startWritebackOfCompletedStretches(file, kStretch, 10);
    startWritebackOfCompletedStretches(file, kStretch + 10, 3 * kStretch);  // past three more
    using Asked = std::vector<std::pair<std::uint64_t, std::uint64_t>>;
    EXPECT_EQ(file.asked, (Asked{{0, kStretch}, {kStretch, 3 * kStretch}}));
}

}  // namespace
}  // namespace qf::base
