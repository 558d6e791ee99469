#include "store/AttachmentIndex.h"

#include <gtest/gtest.h>

#include <fstream>

namespace qf::store {
namespace {

namespace fs = std::filesystem;

// A crash may cut the last line short: it is not read, and the next line
// written after it still stands alone.
TEST(AttachmentIndexTest, TheLastWholeLineOfAKeyCountsAndACutLineNever) {
    const fs::path index = fs::temp_directory_path() / "qf-attachment-index-test";
    fs::remove(index);
    const std::vector<std::string> names{"a.pdf", "b (1).txt"};
    ASSERT_TRUE(noteAttachments(index, "k1", names).isOk());
    ASSERT_TRUE(noteAttachments(index, "k2", {"c.png"}).isOk());
    EXPECT_EQ(attachmentsOf(index, "k1"), names);
    std::ofstream(index, std::ios::app) << "k1\tcut";
    EXPECT_EQ(attachmentsOf(index, "k1"), names);
    ASSERT_TRUE(noteAttachments(index, "k3", {"d.zip"}).isOk());
    EXPECT_EQ(attachmentsOf(index, "k1"), names);
    EXPECT_EQ(attachmentsOf(index, "k3"), std::vector<std::string>{"d.zip"});
    EXPECT_TRUE(attachmentsOf(index, "none").empty());
    fs::remove(index);
    EXPECT_TRUE(attachmentsOf(index, "k1").empty());
}

}  // namespace
}  // namespace qf::store
