#include "store/MailStore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "base/NotDurable.h"
#include "store/StoreTestSupport.h"

namespace qf::store {
namespace {

using testing::FaultyFileSystem;
using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

constexpr int kOther = 6;
constexpr int kKeep = 10;
constexpr int kSentHistory = 11;

MailFields mail(const std::string& tag) {
    return {"subject " + tag, tag + "@example.jp", "date " + tag, "body of " + tag};
}

class MailStoreTest : public ::testing::Test {
  protected:
    std::string path(const char* name) { return m_folder.file(name); }

    void fill(int box, const std::string& tags) {
        for (char tag : tags) {
            ASSERT_TRUE(m_store.append(box, mail(std::string(1, tag))).isOk());
        }
    }

    std::vector<ListEntry> listing(int box) {
        std::vector<ListEntry> entries;
        Status s = m_store.list(box, [&](const ListEntry& e) { entries.push_back(e); });
        EXPECT_TRUE(s.isOk()) << s.toString();
        return entries;
    }

    std::string subjects(int box) {
        std::string tags;
        for (const ListEntry& e : listing(box)) {
            tags += e.subject.back();
        }
        return tags;
    }

    TempFolder m_folder;
    MailStore m_store{m_folder.path()};
};

TEST_F(MailStoreTest, BoxesMapToTheirFiles) {
    EXPECT_EQ(findBox(1)->fileName, std::string("kdxdata2.data"));
    EXPECT_EQ(findBox(5)->fileName, std::string("kdxdata7.data"));
    EXPECT_EQ(findBox(kOther)->tempName, std::string("KDXDATA8.TMP"));
    EXPECT_EQ(findBox(kKeep)->kind, RecordKind::kKeep);
    EXPECT_EQ(findBox(kSentHistory)->fileName, std::string("kdxdata6.data"));
    EXPECT_EQ(findBox(7), nullptr);
    EXPECT_EQ(dataFolderOf("/opt/q"), "/opt/q/★MAilData");
    EXPECT_EQ(m_store.count(7).status().code(), StatusCode::kInvalidArgument);
    EXPECT_TRUE(m_store.currentRecord(7).empty());
}

TEST_F(MailStoreTest, AbsentBoxIsEmptyAndIsCreatedByTheFirstWrite) {
    EXPECT_EQ(m_store.count(3).value(), 0);
    EXPECT_TRUE(listing(3).empty());
    EXPECT_FALSE(std::filesystem::exists(path("kdxdata4.data")));
    EXPECT_EQ(m_store.append(3, mail("A")).value(), 1);
    EXPECT_EQ(std::filesystem::file_size(path("kdxdata4.data")), 32284u);
}

TEST_F(MailStoreTest, ThreeRecordFileCountsThreeAndAppendsAsFour) {
    writeBytes(path("kdxdata2.data"), std::string(3 * 32284, ' '));
    EXPECT_EQ(m_store.count(1).value(), 3);
    EXPECT_EQ(m_store.append(1, mail("D")).value(), 4);
}

// The receive encodes a record once and appends those bytes; the keep box,
// whose status word is the record's number, takes no record made elsewhere.
TEST_F(MailStoreTest, AnEncodedRecordIsAppendedAsItIsButNotToTheKeepBox) {
    std::vector<char> record(layoutOf(RecordKind::kMail).lengthBytes);
    encodeCp932Record(layoutOf(RecordKind::kMail), mail("A"), 1, record);
    fill(kOther, "Z");
    EXPECT_EQ(m_store.appendRecord(kOther, record).value(), 2);
    EXPECT_EQ(readBytes(path("kdxdata8.data")).substr(record.size()),
              std::string(record.begin(), record.end()));
    EXPECT_EQ(m_store.currentFields(kOther).subject.substr(0, 9), "subject A");
    EXPECT_EQ(m_store.appendRecord(kKeep, record).status().code(), StatusCode::kInvalidArgument);
    EXPECT_EQ(m_store.appendRecord(kOther, std::span(record).first(100)).status().code(),
              StatusCode::kInvalidArgument);
    EXPECT_EQ(m_store.count(kOther).value(), 2);
}

TEST_F(MailStoreTest, BufferStartsAsNulsAndFollowsEveryReadAndWrite) {
    auto buffer = m_store.currentRecord(kOther);
    EXPECT_EQ(buffer.size(), 32284u);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](char c) { return c == '\0'; }));
    EXPECT_EQ(m_store.currentFields(kOther).fromOrTo, std::string(90, '\0'));

    fill(kOther, "AB");
    EXPECT_EQ(m_store.currentFields(kOther).subject, "subject B");  // the last write
    EXPECT_TRUE(m_store.readRecord(kOther, 1).value());
    EXPECT_EQ(m_store.currentFields(kOther).body, "body of A");
    EXPECT_FALSE(m_store.readRecord(kOther, 3).value());
    EXPECT_EQ(m_store.currentFields(kOther).body, "body of A");
    // Each box has its own buffer.
    EXPECT_EQ(m_store.currentFields(1).subject, std::string(100, '\0'));
}

TEST_F(MailStoreTest, KeepRecordsCarryTheirOwnNumberAndNulReservedBytes) {
    fill(kKeep, "AB");
    std::string bytes = readBytes(path("kdxdata10.data"));
    ASSERT_EQ(bytes.size(), 2u * 32574);
    EXPECT_EQ(bytes.substr(32572, 2), std::string("\x01\x00", 2));
    EXPECT_EQ(bytes.substr(32574 + 32572, 2), std::string("\x02\x00", 2));
    EXPECT_EQ(bytes.substr(300, 90), std::string(90, '\0'));
    EXPECT_EQ(bytes.substr(32574 + 300, 90), std::string(90, '\0'));
}

TEST_F(MailStoreTest, DeletingRecordTwoOfFourKeepsTheOthersInOrder) {
    fill(kOther, "ABCD");
    ASSERT_TRUE(m_store.readRecord(kOther, 2).value());
    ASSERT_TRUE(m_store.deleteRecord(kOther, 2).isOk());
    EXPECT_EQ(subjects(kOther), "ACD");
    EXPECT_EQ(m_store.count(kOther).value(), 3);
    EXPECT_FALSE(std::filesystem::exists(path("KDXDATA8.TMP")));
}

TEST_F(MailStoreTest, ThePositionDecidesWhateverTheBufferHolds) {
    fill(kSentHistory, "ABC");
    ASSERT_TRUE(m_store.readRecord(kSentHistory, 3).value());
    ASSERT_TRUE(m_store.deleteRecord(kSentHistory, 1).isOk());
    EXPECT_EQ(subjects(kSentHistory), "BC");
    EXPECT_EQ(m_store.deleteRecord(kSentHistory, 3).code(), StatusCode::kNotFound);
}

TEST_F(MailStoreTest, DeletingTheOnlyRecordLeavesAnEmptyFile) {
    fill(kKeep, "A");
    ASSERT_TRUE(m_store.deleteRecord(kKeep, 1).isOk());
    EXPECT_EQ(std::filesystem::file_size(path("kdxdata10.data")), 0u);
    EXPECT_FALSE(std::filesystem::exists(path("KDXDATA10.TMP")));
}

TEST_F(MailStoreTest, DeleteAllMarksEveryRecordThenCompactsToNothing) {
    fill(3, "ABCDE");
    for (int n = 1; n <= 5; ++n) {
        ASSERT_TRUE(m_store.markDeleted(3, n).isOk());
    }
    ASSERT_TRUE(m_store.compact(3).isOk());
    EXPECT_EQ(std::filesystem::file_size(path("kdxdata4.data")), 0u);
}

TEST_F(MailStoreTest, MovingToTheKeepBoxStoresBeforeItDeletes) {
    fill(kOther, "ABC");
    fill(kKeep, "K");
    EXPECT_EQ(m_store.moveToKeepBox(2).value(), 2);
    EXPECT_EQ(subjects(kOther), "AC");
    EXPECT_EQ(subjects(kKeep), "KB");
    ASSERT_TRUE(m_store.readRecord(kKeep, 2).value());
    EXPECT_EQ(m_store.currentFields(kKeep).body, "body of B");
    EXPECT_EQ(readStatusWord(m_store.currentRecord(kKeep), layoutOf(RecordKind::kKeep).format()),
              2);
    EXPECT_EQ(m_store.moveToKeepBox(3).status().code(), StatusCode::kNotFound);
}

TEST_F(MailStoreTest, AFullKeepBoxRefusesTheMoveAndBoxSixKeepsTheMail) {
    fill(kOther, "AB");
    // A sparse file of 32767 keep records: full without using the disk.
    writeBytes(path("kdxdata10.data"), "");
    std::filesystem::resize_file(path("kdxdata10.data"), 32767ull * 32574);
    EXPECT_EQ(m_store.moveToKeepBox(1).status().code(), StatusCode::kFull);
    EXPECT_EQ(subjects(kOther), "AB");
    EXPECT_EQ(std::filesystem::file_size(path("kdxdata10.data")), 32767ull * 32574);
}

TEST_F(MailStoreTest, ListingShowsHeadersAndLeavesTheLastRecordInTheBuffer) {
    fill(kSentHistory, "AB");
    auto entries = listing(kSentHistory);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].recordNumber, 1);
    EXPECT_EQ(entries[0].fromOrTo, "A@example.jp");  // To, in the send history
    EXPECT_EQ(entries[1].date, "date B");            // read from after the body
    ASSERT_TRUE(m_store.readRecord(kSentHistory, 1).value());
    (void)listing(kSentHistory);
    EXPECT_EQ(m_store.currentFields(kSentHistory).body, "body of B");
}

TEST_F(MailStoreTest, NulFieldsAreListedEmpty) {
    std::string record(32284, '\0');
    record.replace(100, 4, "date");
    record.replace(32280, 4, std::string("\r\n\x01\x00", 4));
    writeBytes(path("kdxdata8.data"), record);
    auto entries = listing(kOther);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].subject, "");
    EXPECT_EQ(entries[0].fromOrTo, "");
    EXPECT_EQ(entries[0].date, "date");
}

TEST_F(MailStoreTest, ReadAllHandsOverEveryRecordThroughTheBuffer) {
    fill(kKeep, "ABC");
    std::string seen;
    Status s = m_store.readAll(kKeep, [&](int n, std::span<const char> record) {
        EXPECT_EQ(record.data(), m_store.currentRecord(kKeep).data());
        seen += decodeRecord(layoutOf(RecordKind::kKeep), record).subject.back();
        EXPECT_EQ(n, static_cast<int>(seen.size()));
        return Status::ok();
    });
    ASSERT_TRUE(s.isOk());
    EXPECT_EQ(seen, "ABC");
}

TEST_F(MailStoreTest, DeletionIsRefusedBeforeMarkingWhenTheBoxIsTorn) {
    fill(kOther, "AB");
    std::string torn = readBytes(path("kdxdata8.data")) + "half a mail";
    writeBytes(path("kdxdata8.data"), torn);
    ASSERT_TRUE(m_store.readRecord(kOther, 1).value());
    EXPECT_EQ(m_store.deleteRecord(kOther, 1).code(), StatusCode::kCorrupt);
    EXPECT_EQ(readBytes(path("kdxdata8.data")), torn);
    EXPECT_EQ(m_store.append(kOther, mail("C")).status().code(), StatusCode::kCorrupt);
}

// A crash before the rename leaves record 2 marked and a copy beside the box.
// Clearing that copy must not renumber the box before record n is marked,
// or the mark lands on the record after the one shown.
TEST_F(MailStoreTest, DeletionAfterAnInterruptedCompactionHitsTheRecordShown) {
    fill(kOther, "ABCD");
    ASSERT_TRUE(m_store.readRecord(kOther, 2).value());
    ASSERT_TRUE(m_store.markDeleted(kOther, 2).isOk());
    std::filesystem::copy_file(path("kdxdata8.data"), path("KDXDATA8.TMP"));

    ASSERT_TRUE(m_store.readRecord(kOther, 3).value());
    ASSERT_TRUE(m_store.deleteRecord(kOther, 3).isOk());
    EXPECT_EQ(subjects(kOther), "AD");
    EXPECT_FALSE(std::filesystem::exists(path("KDXDATA8.TMP")));
}

TEST_F(MailStoreTest, CrashDuringADeletionLosesNoOtherMail) {
    for (int failAt = 1;; ++failAt) {
        std::filesystem::remove(path("kdxdata8.data"));
        MailStore setup(m_folder.path());
        for (char tag : std::string("ABC")) {
            ASSERT_TRUE(setup.append(kOther, mail(std::string(1, tag))).isOk());
        }
        FaultyFileSystem fs(failAt, /*crash=*/true);
        MailStore store(m_folder.path(), fs);
        ASSERT_TRUE(store.readRecord(kOther, 2).value());
        (void)store.deleteRecord(kOther, 2);
        if (!fs.failed()) {
            break;
        }
        RecoveryReport report = recoverLeftovers(m_folder.path());
        ASSERT_TRUE(report.status.isOk()) << report.status.toString();
        std::string left = subjects(kOther);
        EXPECT_TRUE(left == "ABC" || left == "AC") << "step " << failAt << ": " << left;
        EXPECT_FALSE(std::filesystem::exists(path("KDXDATA8.TMP")));
    }
}

// A delete that fails at any step (a full disk) leaves no mark behind: the
// mail stays live, and the next delete in the box takes only its own mail.
TEST_F(MailStoreTest, AFailedDeleteLeavesTheMailLiveForGood) {
    for (int failAt = 1;; ++failAt) {
        std::filesystem::remove(path("kdxdata8.data"));
        fill(kOther, "ABCDE");
        FaultyFileSystem fs(failAt);
        MailStore store(m_folder.path(), fs);
        ASSERT_TRUE(store.readRecord(kOther, 2).value());
        Status s = store.deleteRecord(kOther, 2);
        if (!fs.failed()) {
            break;
        }
        ASSERT_FALSE(s.isOk()) << "step " << failAt;
        for (const FileReport& r : checkDataFolder(m_folder.path())) {
            EXPECT_TRUE(r.problems.empty())
                << "step " << failAt << ": " << r.problems.front().message;
        }
        // Done but not durable (only the folder sync after the rename
        // failed) is told apart: a caller must not delete again.
        EXPECT_EQ(base::isNotDurable(s), subjects(kOther) == "ACDE") << "step " << failAt;
        if (subjects(kOther) == "ACDE") {
            continue;
        }
        EXPECT_EQ(subjects(kOther), "ABCDE") << "step " << failAt;
        ASSERT_TRUE(m_store.readRecord(kOther, 5).value());
        ASSERT_TRUE(m_store.deleteRecord(kOther, 5).isOk());
        EXPECT_EQ(subjects(kOther), "ABCD") << "step " << failAt;
    }
}

// A move that fails at any step leaves the keep box without the mail (or,
// when only the last folder sync failed, moved); a repeat moves one copy.
TEST_F(MailStoreTest, RepeatingAFailedMoveKeepsOneCopy) {
    for (int failAt = 1;; ++failAt) {
        std::filesystem::remove(path("kdxdata8.data"));
        std::filesystem::remove(path("kdxdata10.data"));
        fill(kOther, "ABC");
        FaultyFileSystem fs(failAt);
        MailStore store(m_folder.path(), fs);
        Result<int> moved = store.moveToKeepBox(2);
        if (!fs.failed()) {
            ASSERT_TRUE(moved.isOk());
            break;
        }
        ASSERT_FALSE(moved.isOk()) << "step " << failAt;
        EXPECT_EQ(base::isNotDurable(moved.status()), subjects(kOther) == "AC")
            << "step " << failAt;
        if (subjects(kOther) == "ABC") {
            EXPECT_EQ(subjects(kKeep), "") << "step " << failAt;
            ASSERT_TRUE(m_store.moveToKeepBox(2).isOk());
        }
        EXPECT_EQ(subjects(kOther), "AC") << "step " << failAt;
        EXPECT_EQ(subjects(kKeep), "B") << "step " << failAt;
    }
}

// Stopped at any step, by a failure or a crash, delete all leaves the box
// whole or empty; recover says when it was left whole.
TEST_F(MailStoreTest, DeleteAllCompletesOrLeavesTheBoxWhole) {
    for (bool crash : {false, true}) {
        bool toldWhole = false;
        for (int failAt = 1;; ++failAt) {
            std::filesystem::remove(path("kdxdata4.data"));
            fill(3, "ABCDE");
            FaultyFileSystem fs(failAt, crash);
            MailStore store(m_folder.path(), fs);
            Status s = store.deleteAll(3);
            if (!fs.failed()) {
                ASSERT_TRUE(s.isOk());
                break;
            }
            RecoveryReport report = recoverLeftovers(m_folder.path());
            ASSERT_TRUE(report.status.isOk()) << report.status.toString();
            const std::string left = subjects(3);
            EXPECT_TRUE(left == "ABCDE" || left.empty()) << "step " << failAt << ": " << left;
            for (const base::RepairAction& action : report.actions) {
                toldWhole =
                    toldWhole || (action.kind == base::RepairKind::kDeletionNotDone &&
                                  action.file == path("kdxdata4.data") && action.count == 5);
            }
        }
        EXPECT_EQ(toldWhole, crash);
    }
}

TEST_F(MailStoreTest, CheckReportsAStatusWordNoLiveRecordHas) {
    fill(kOther, "ABC");
    fill(kKeep, "KLM");
    std::string box = readBytes(path("kdxdata8.data"));
    box.replace(32284 + 32282, 2, std::string("\xff\x7f", 2));
    writeBytes(path("kdxdata8.data"), box);
    std::string keep = readBytes(path("kdxdata10.data"));
    keep.replace(2 * 32574 + 32572, 2, std::string("\x02\x00", 2));  // record 3 says 2
    keep.replace(32574 + 32572, 2, std::string("\xff\x7f", 2));      // a later number: fine
    writeBytes(path("kdxdata10.data"), keep);
    std::vector<std::string> found;
    for (const FileReport& r : checkDataFolder(m_folder.path())) {
        for (const FileProblem& problem : r.problems) {
            found.push_back(std::filesystem::path(r.path).filename().string() + ": " +
                            problem.message);
        }
    }
    ASSERT_EQ(found.size(), 2u);
    EXPECT_THAT(found[0], ::testing::StartsWith("kdxdata8.data: record 2 with a status word"));
    EXPECT_THAT(found[1], ::testing::StartsWith("kdxdata10.data: record 3 with a status word"));
    EXPECT_EQ(subjects(kOther), "ABC");
}

TEST_F(MailStoreTest, StartUpRecoveryAndCheckCoverTheWholeFolder) {
    fill(kOther, "AB");
    fill(kKeep, "K");
    std::filesystem::copy_file(path("kdxdata8.data"), path("KDXDATA8.TMP"));
    std::string entry(184, ' ');
    entry.replace(90, 4, std::string("\r\n\x01\x00", 4));
    writeBytes(path("kdxdata.data"), entry + std::string(16, ' '));  // a torn address book

    auto reports = checkDataFolder(m_folder.path());
    ASSERT_EQ(reports.size(), 9u);
    std::vector<std::string> damaged;
    for (const FileReport& r : reports) {
        if (!r.problems.empty()) {
            damaged.push_back(std::filesystem::path(r.path).filename().string());
        }
    }
    EXPECT_EQ(damaged, (std::vector<std::string>{"kdxdata8.data", "kdxdata.data"}));

    RecoveryReport report = recoverLeftovers(m_folder.path());
    ASSERT_TRUE(report.status.isOk());
    ASSERT_EQ(report.actions.size(), 2u);
    EXPECT_EQ(report.actions[0].kind, base::RepairKind::kRedundantTemporaryRemoved);
    EXPECT_EQ(report.actions[0].temporary, path("KDXDATA8.TMP"));
    EXPECT_EQ(report.actions[1].kind, base::RepairKind::kTornTailMovedAside);
    EXPECT_EQ(report.actions[1].file, path("kdxdata.data"));
    EXPECT_EQ(report.actions[1].count, 16u);
    EXPECT_EQ(subjects(kOther), "AB");
    for (const FileReport& r : checkDataFolder(m_folder.path())) {
        EXPECT_TRUE(r.problems.empty()) << r.path;
    }
}

}  // namespace
}  // namespace qf::store
