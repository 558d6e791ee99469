#include "viewer/BoxListing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

#include "settings/TestFolder.h"
#include "store/MailRecord.h"

namespace qf::viewer {
namespace {

class BoxListingTest : public ::testing::Test {
  protected:
    std::string dataFolder() const { return m_folder.path(); }

    void appendMails(int box, int count) {
        for (int i = 1; i <= count; ++i) {
            const std::string n = std::to_string(i);
            ASSERT_TRUE(m_store
                            .append(box, {"件名" + n, "from" + n + "@example.jp", "date " + n,
                                          "本文 " + n + "\r\nline two"})
                            .isOk());
        }
    }

    settings::testing::TempFolder m_folder;
    MailStore m_store{dataFolder()};
};

TEST_F(BoxListingTest, ListsEveryRecordInFileOrderAndShowsTheLast) {
    appendMails(4, 5);
    const BoxListing listing = listBox(m_store, 4);
    ASSERT_TRUE(listing.status.isOk()) << listing.status.toString();
    ASSERT_EQ(listing.rows.size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(listing.rows[i].subject, "件名" + std::to_string(i + 1));
        EXPECT_EQ(listing.rows[i].fromOrTo, "from" + std::to_string(i + 1) + "@example.jp");
    }
    ASSERT_TRUE(listing.last.has_value());
    EXPECT_EQ(listing.last->subject, "件名5");
    EXPECT_EQ(listing.last->body, "本文 5\r\nline two");
    EXPECT_EQ(m_store.currentFields(4).subject, "件名5") << "the last record is the current one";
}

TEST_F(BoxListingTest, MissingBoxIsCreatedEmptyAndListsNothing) {
    const BoxListing listing = listBox(m_store, 10);
    EXPECT_TRUE(listing.status.isOk());
    EXPECT_TRUE(listing.rows.empty());
    EXPECT_FALSE(listing.last.has_value());
    EXPECT_TRUE(std::filesystem::exists(m_folder / "kdxdata10.data"));
    EXPECT_EQ(std::filesystem::file_size(m_folder / "kdxdata10.data"), 0u);
}

TEST_F(BoxListingTest, SendHistoryListsTheRecipient) {
    ASSERT_TRUE(m_store.append(11, {"送った", "to@example.jp", "2026/12/08 10:00:00", "b"}).isOk());
    const BoxListing listing = listBox(m_store, 11);
    ASSERT_EQ(listing.rows.size(), 1u);
    EXPECT_EQ(listing.rows[0].fromOrTo, "to@example.jp");
    EXPECT_EQ(listing.rows[0].date, "2026/12/08 10:00:00");
    EXPECT_EQ(listing.last->fromOrTo, "to@example.jp");
}

TEST_F(BoxListingTest, NeverWrittenFieldsShowEmpty) {
    // A record whose Subject and Date bytes are all NUL, as a field that was
    // never written holds them.
    const store::RecordLayout& layout = store::layoutOf(store::RecordKind::kMail);
    std::vector<char> record(layout.lengthBytes);
    store::encodeRecord(layout, {"x", "a@example.jp", "d", "body"}, 1, record);
    std::fill_n(record.begin() + std::ptrdiff_t(layout.subject.offset), layout.subject.lengthBytes,
                '\0');
    std::fill_n(record.begin() + std::ptrdiff_t(layout.date.offset), layout.date.lengthBytes, '\0');
    std::ofstream(m_folder / "kdxdata8.data", std::ios::binary)
        .write(record.data(), std::streamsize(record.size()));

    const BoxListing listing = listBox(m_store, 6);
    ASSERT_EQ(listing.rows.size(), 1u);
    EXPECT_EQ(listing.rows[0].subject, "");
    EXPECT_EQ(listing.rows[0].fromOrTo, "a@example.jp");
    EXPECT_EQ(listing.last->subject, "");
    EXPECT_EQ(listing.last->date, "");
    EXPECT_EQ(listing.last->body, "body");
}

TEST_F(BoxListingTest, ReadMailTakesTheRecordByNumberIntoTheBuffer) {
    appendMails(3, 5);
    Result<ShownMail> mail = readMail(m_store, 3, 3);
    ASSERT_TRUE(mail.isOk()) << mail.status().toString();
    EXPECT_EQ(mail.value().subject, "件名3");
    EXPECT_EQ(mail.value().body, "本文 3\r\nline two");
    EXPECT_EQ(m_store.currentFields(3).subject, "件名3");

    Result<ShownMail> missing = readMail(m_store, 3, 6);
    ASSERT_FALSE(missing.isOk());
    EXPECT_EQ(missing.status().code(), StatusCode::kNotFound);
    EXPECT_EQ(m_store.currentFields(3).subject, "件名3") << "a failed read leaves the buffer";
}

}  // namespace
}  // namespace qf::viewer
