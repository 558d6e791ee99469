#include "compose/Drafts.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "compose/ForwardCopies.h"

namespace qf::compose {
namespace {

namespace fs = std::filesystem;

class DraftFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("qf-drafts-" + newDraftName());
        m_folder = draftFolder(m_root);
    }
    void TearDown() override { fs::remove_all(m_root); }

    static unsigned mode(const fs::path& path) {
        struct stat info {};
        ::stat(path.c_str(), &info);
        return info.st_mode & 0777U;
    }

    fs::path m_root;
    fs::path m_folder;
};

const Draft kDraft{DraftKind::kForward, "a@x.jp, 鈴木 <b@y.jp>", "Fwd: 会議",
                   "/home/u/添付フォルダ/a.pdf", "一行目\n\n  二行目 \n最後に改行なし"};

TEST(DraftFormatTest, RoundTripsAndKeepsFieldsOnOneLine) {
    EXPECT_EQ(parseDraft(formatDraft(kDraft)).value(), kDraft);
    Draft broken = kDraft;
    broken.subject = "a\r\nkind: reply";
    const Draft read = parseDraft(formatDraft(broken)).value();
    EXPECT_EQ(read.subject, "a  kind: reply");
    EXPECT_EQ(read.kind, DraftKind::kForward);
}

TEST(DraftFormatTest, AFileThatIsNotWholeIsNoDraft) {
    const std::string text = formatDraft(kDraft);
    EXPECT_FALSE(parseDraft(text.substr(0, text.size() - 1)).isOk());
    EXPECT_FALSE(parseDraft(text + "x").isOk());
    EXPECT_FALSE(parseDraft(text.substr(0, 30)).isOk());
    EXPECT_FALSE(parseDraft("").isOk());
}

TEST_F(DraftFolderTest, SavedPrivateListedInOrderAndRemoved) {
    EXPECT_TRUE(listDrafts(m_folder).empty());  // no folder yet
    const std::string first = newDraftName();
    const std::string second = newDraftName();
    ASSERT_TRUE(saveDraft(m_folder, second, kDraft).isOk());
    Draft other = kDraft;
    other.body = "older";
    ASSERT_TRUE(saveDraft(m_folder, first, other).isOk());
    EXPECT_EQ(mode(m_folder), 0700U);
    EXPECT_EQ(mode(m_folder / first), 0600U);
    // What is not a whole draft is listed as such, never as a draft.
    std::ofstream(m_folder / (first + ".tmp-123")) << "half";
    std::ofstream(m_folder / "draft-9-torn.txt") << formatDraft(kDraft).substr(0, 40);

    const std::vector<StoredDraft> listed = listDrafts(m_folder);
    ASSERT_EQ(listed.size(), 3U);
    EXPECT_EQ(listed[0].draft.value().body, "older");
    EXPECT_EQ(listed[1].draft.value(), kDraft);
    EXPECT_FALSE(listed[2].draft.isOk());

    EXPECT_TRUE(removeDraft(listed[0].path).isOk());
    EXPECT_TRUE(removeDraft(listed[0].path).isOk());  // already gone
    EXPECT_EQ(listDrafts(m_folder).size(), 2U);
}

// A mail forwarded whole lives in the draft itself: no copy beside it.
TEST(DraftFormatTest, AForwardedMailTravelsInTheDraftWhole) {
    Draft forward = kDraft;
    forward.attachedMailName = "会議.eml";
    forward.attachedMail = std::string("From: a@x.jp\r\nSubject: x\r\n\r\nbody\0\r\n", 35);
    const std::string text = formatDraft(forward);
    EXPECT_EQ(parseDraft(text).value(), forward);
    EXPECT_FALSE(parseDraft(text.substr(0, text.size() - 3)).isOk());
    EXPECT_EQ(parseDraft(formatDraft(kDraft)).value().attachedMail, "");
}

// Copies earlier builds left: only that exact name, only in the folder
// itself, only regular files, never one a draft (whole or not) still names.
TEST_F(DraftFolderTest, OldForwardCopiesGoUnlessADraftNamesThem) {
    const auto write = [](const fs::path& path, const std::string& bytes) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    };
    const fs::path outside = m_root / "outside.eml";
    write(outside, "kept");
    write(m_folder / "forward-1765000000000000-41-0.eml", "old copy");
    write(m_folder / "forward-1765000000000001-41-1.eml", "attached by a draft");
    Draft old = kDraft;
    old.attachments = (m_folder / "forward-1765000000000001-41-1.eml").string();
    ASSERT_TRUE(saveDraft(m_folder, newDraftName(), old).isOk());
    write(m_folder / "forward-1765000000000002-41-2.eml", "named by a torn draft");
    write(m_folder / "draft-1-1-1.txt",
          "Quillfern draft 1\nattachments: forward-1765000000000002-41-2.eml");
    const char* others[] = {"forward-1-2.eml", "forward-1-2-3.eml.bak", "xforward-1-2-3.eml",
                            "forward-a-2-3.eml", "sub/forward-1-2-3.eml"};
    for (const char* name : others) {
        write(m_folder / name, "not a copy");
    }
    fs::create_symlink(outside, m_folder / "forward-3-3-3.eml");
    fs::create_directory(m_folder / "forward-4-4-4.eml");

    EXPECT_EQ(removeForwardCopies(m_folder), 1);
    EXPECT_FALSE(fs::exists(m_folder / "forward-1765000000000000-41-0.eml"));
    EXPECT_TRUE(fs::exists(m_folder / "forward-1765000000000001-41-1.eml"));
    EXPECT_TRUE(fs::exists(m_folder / "forward-1765000000000002-41-2.eml"));
    for (const char* name : others) {
        EXPECT_TRUE(fs::exists(m_folder / name)) << name;
    }
    EXPECT_TRUE(fs::is_symlink(m_folder / "forward-3-3-3.eml"));
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_TRUE(fs::is_directory(m_folder / "forward-4-4-4.eml"));

    // A drafts folder that is a link is not entered.
    const fs::path linked = m_root / "linked";
    write(m_root / "real" / "forward-5-5-5.eml", "elsewhere");
    fs::create_directory_symlink(m_root / "real", linked);
    EXPECT_EQ(removeForwardCopies(linked), 0);
    EXPECT_TRUE(fs::exists(m_root / "real" / "forward-5-5-5.eml"));
}

}  // namespace
}  // namespace qf::compose
