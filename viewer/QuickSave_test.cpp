#include "viewer/QuickSave.h"

#include <gtest/gtest.h>

#include "store/StoreTestSupport.h"

namespace qf::viewer {
namespace {

using store::testing::readBytes;
using store::testing::TempFolder;

TEST(QuickSaveName, UnsafeCharactersBecomeUnderscores) {
    EXPECT_EQ(quickSaveFileName("Hello"), "Hello.txt");
    EXPECT_EQ(quickSaveFileName(""), ".txt");
    EXPECT_EQ(quickSaveFileName("a/b\\c:d*e?f\"g<h>i|j"), "a_b_c_d_e_f_g_h_i_j.txt");
    EXPECT_EQ(quickSaveFileName(std::string("t\tab\x7f\0z", 7)), "t_ab__z.txt");
    EXPECT_EQ(quickSaveFileName(".."), "...txt");
    EXPECT_EQ(quickSaveFileName("お知らせ／全角"), "お知らせ／全角.txt");
}

TEST(QuickSaveName, LongSubjectIsCutAtACharacterBoundary) {
    std::string subject;
    for (int i = 0; i < 100; ++i) {
        subject += "長";  // three bytes each
    }
    const std::string name = quickSaveFileName(subject);
    EXPECT_LE(name.size(), kMaxQuickSaveNameBytes);
    EXPECT_EQ(name, subject.substr(0, 78 * 3) + ".txt");
}

TEST(QuickSaveWrite, CreatesTheFolderAndReplacesALinkInsteadOfFollowingIt) {
    TempFolder root;
    const std::filesystem::path folder = std::filesystem::path(root.path()) / "■TextQuickSave";
    ASSERT_TRUE(writeQuickSave(folder / "a.txt", "one").isOk());
    EXPECT_EQ(readBytes((folder / "a.txt").string()), "one");

    store::testing::writeBytes(root.file("outside.txt"), "keep");
    std::filesystem::create_symlink(root.file("outside.txt"), folder / "link.txt");
    EXPECT_TRUE(quickSaveExists(folder / "link.txt"));
    ASSERT_TRUE(writeQuickSave(folder / "link.txt", "two").isOk());
    EXPECT_EQ(readBytes(root.file("outside.txt")), "keep");
    EXPECT_FALSE(std::filesystem::is_symlink(folder / "link.txt"));
    EXPECT_EQ(readBytes((folder / "link.txt").string()), "two");
}

}  // namespace
}  // namespace qf::viewer
