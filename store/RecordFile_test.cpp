#include "store/RecordFile.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "store/StoreTestSupport.h"

namespace qf::store {
namespace {

using testing::FaultyFileSystem;
using ::testing::HasSubstr;
using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

// Small records keep the files of these tests tiny: 4 payload bytes, CR LF,
// status word.
constexpr RecordFormat kFormat{8, 6, 4, false};

std::string record(char tag, std::int16_t status = 1) {
    std::string bytes(4, tag);
    bytes += "\r\n";
    bytes += static_cast<char>(status & 0xFF);
    bytes += static_cast<char>((status >> 8) & 0xFF);
    return bytes;
}

std::string records(const std::string& tags) {
    std::string bytes;
    for (char tag : tags) {
        bytes += record(tag, tag >= 'a' ? 0 : 1);  // lower case: marked deleted
    }
    return bytes;
}

std::vector<std::string> leftoverNames(const TempFolder& folder, const std::string& prefix) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
        std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0) {
            names.push_back(name);
        }
    }
    return names;
}

class RecordFileTest : public ::testing::Test {
  protected:
    RecordFile file(base::FileSystem& fs = base::posixFileSystem()) {
        return RecordFile(fs, m_folder.file("box.data"), m_folder.file("BOX.TMP"), kFormat);
    }
    std::string box() { return readBytes(m_folder.file("box.data")); }
    void setBox(const std::string& bytes) { writeBytes(m_folder.file("box.data"), bytes); }
    void setTemp(const std::string& bytes) { writeBytes(m_folder.file("BOX.TMP"), bytes); }
    bool tempExists() { return std::filesystem::exists(m_folder.file("BOX.TMP")); }

    std::vector<std::string> all(const RecordFile& f) {
        std::vector<std::string> seen;
        Status s = f.forEach([&](int n, std::span<const char> bytes) {
            EXPECT_EQ(n, static_cast<int>(seen.size()) + 1);
            seen.emplace_back(bytes.begin(), bytes.end());
            return Status::ok();
        });
        EXPECT_TRUE(s.isOk()) << s.toString();
        return seen;
    }

    TempFolder m_folder;
};

TEST_F(RecordFileTest, AbsentAndEmptyFilesHoldNoRecords) {
    RecordFile f = file();
    EXPECT_EQ(f.count().value(), 0);
    EXPECT_TRUE(all(f).empty());
    std::string buffer(8, '?');
    EXPECT_FALSE(f.read(1, buffer).value());
    setBox("");
    EXPECT_EQ(f.count().value(), 0);
    EXPECT_TRUE(all(f).empty());
}

TEST_F(RecordFileTest, CountsWholeRecordsAndAppendsAtCountPlusOne) {
    setBox(records("ABC"));
    RecordFile f = file();
    EXPECT_EQ(f.count().value(), 3);
    ASSERT_TRUE(f.write(4, record('D')).isOk());
    EXPECT_EQ(box(), records("ABCD"));
    ASSERT_TRUE(f.write(2, record('X')).isOk());
    EXPECT_EQ(box(), records("AXCD"));
    EXPECT_EQ(f.write(6, record('Z')).code(), StatusCode::kInvalidArgument);
    EXPECT_EQ(f.write(0, record('Z')).code(), StatusCode::kInvalidArgument);
    EXPECT_EQ(box(), records("AXCD"));
}

TEST_F(RecordFileTest, ReadsRecordNumberNAndNothingPastTheEnd) {
    setBox(records("ABC"));
    std::string buffer(8, '?');
    EXPECT_TRUE(file().read(2, buffer).value());
    EXPECT_EQ(buffer, record('B'));
    EXPECT_FALSE(file().read(4, buffer).value());
    EXPECT_EQ(buffer, record('B'));  // a miss leaves the buffer alone
}

TEST_F(RecordFileTest, StreamsLongFilesInOrder) {
    std::string tags;
    for (int i = 0; i < 100; ++i) {
        tags += static_cast<char>('A' + i % 26);
    }
    setBox(records(tags));
    auto seen = all(file());
    ASSERT_EQ(seen.size(), 100u);
    EXPECT_EQ(seen[99], record(tags[99]));
}

TEST_F(RecordFileTest, TornLastRecordIsNotListedAndNeverOverwritten) {
    const std::string torn = records("AB") + "CCC";
    setBox(torn);
    RecordFile f = file();
    EXPECT_EQ(f.count().value(), 2);
    EXPECT_EQ(f.shape().value().tornBytes, 3u);
    EXPECT_EQ(all(f).size(), 2u);

    Status append = f.write(3, record('D'));
    EXPECT_EQ(append.code(), StatusCode::kCorrupt);
    EXPECT_THAT(append.message(), HasSubstr("3 torn bytes"));
    EXPECT_EQ(f.compact().code(), StatusCode::kCorrupt);
    EXPECT_EQ(box(), torn);

    // A whole record before the tear may still be rewritten in place.
    ASSERT_TRUE(f.write(1, record('a', 0)).isOk());
    EXPECT_EQ(box().substr(8), torn.substr(8));
}

TEST_F(RecordFileTest, RecoveryMovesTheTornTailAsideThenAppendsWork) {
    setBox(records("AB") + "CCC");
    RecordFile f = file();
    auto actions = f.recover();
    ASSERT_TRUE(actions.isOk()) << actions.status().toString();
    ASSERT_EQ(actions.value().size(), 1u);
    auto aside = leftoverNames(m_folder, "box.data.torn-");
    ASSERT_EQ(aside.size(), 1u);
    const base::RepairAction& moved = actions.value()[0];
    EXPECT_EQ(moved.kind, base::RepairKind::kTornTailMovedAside);
    EXPECT_EQ(moved.file, m_folder.file("box.data"));
    EXPECT_EQ(moved.setAside, m_folder.file(aside[0]));
    EXPECT_EQ(moved.count, 3u);
    EXPECT_EQ(readBytes(m_folder.file(aside[0])), "CCC");
    EXPECT_EQ(box(), records("AB"));
    EXPECT_TRUE(f.write(3, record('D')).isOk());

    // Appends that a power cut tore: records whose end never reached the
    // disk (zeros, no CR LF) before the torn tail go aside with it.
    const std::string cut = std::string("CC") + std::string(6, '\0') + "DD";
    setBox(records("AB") + cut);
    ASSERT_TRUE(f.recover().isOk());
    EXPECT_EQ(box(), records("AB"));
    const std::string earlier = aside[0];
    aside = leftoverNames(m_folder, "box.data.torn-");
    ASSERT_EQ(aside.size(), 2u);
    EXPECT_EQ(readBytes(m_folder.file(aside[aside[0] == earlier ? 1 : 0])), cut);
}

TEST_F(RecordFileTest, ATornTailThatCannotBeMovedStaysInTheBoxAndLeavesNoPartCopy) {
    for (int failAt = 1;; ++failAt) {
        for (const std::string& name : leftoverNames(m_folder, "box.data.torn-")) {
            std::filesystem::remove(m_folder.file(name));
        }
        setBox(records("AB") + "CCC");
        FaultyFileSystem fs(failAt);
        if (file(fs).recover().isOk()) {
            break;
        }
        const auto aside = leftoverNames(m_folder, "box.data.torn-");
        for (const std::string& name : aside) {
            EXPECT_EQ(readBytes(m_folder.file(name)), "CCC") << "failure at step " << failAt;
        }
        // The bytes are in the box, or whole beside it.
        EXPECT_TRUE(box() == records("AB") + "CCC" || (box() == records("AB") && !aside.empty()))
            << "failure at step " << failAt;
    }
}

TEST_F(RecordFileTest, FullFileRefusesAppendAndKeepsEveryRecord) {
    std::string full;
    for (int i = 0; i < kMaxRecords; ++i) {
        full += record('A');
    }
    setBox(full);
    Status s = file().write(kMaxRecords + 1, record('Z'));
    EXPECT_EQ(s.code(), StatusCode::kFull);
    EXPECT_THAT(s.message(), HasSubstr("32767"));
    EXPECT_EQ(box().size(), full.size());
    EXPECT_TRUE(file().write(kMaxRecords, record('B')).isOk());
}

TEST_F(RecordFileTest, FailedAppendIsCutBackToTheOldLength) {
    setBox(records("AB"));
    FaultyFileSystem fs(/*failAt=*/2);  // 1: open for writing, 2: the write
    EXPECT_EQ(file(fs).write(3, record('C')).code(), StatusCode::kIoError);
    EXPECT_EQ(box(), records("AB"));
}

TEST_F(RecordFileTest, CompactionDropsDeletedRecordsInOrderAndLeavesNoTemp) {
    setBox(records("AbCdE"));
    ASSERT_TRUE(file().compact().isOk());
    EXPECT_EQ(box(), records("ACE"));
    EXPECT_FALSE(tempExists());
    // Status words are copied unchanged; nothing is renumbered.
    setBox(record('A', 7) + record('b', 0) + record('C', 9));
    ASSERT_TRUE(file().compact().isOk());
    EXPECT_EQ(box(), record('A', 7) + record('C', 9));
}

TEST_F(RecordFileTest, CompactingTheOnlyDeletedRecordLeavesAnEmptyFile) {
    setBox(records("a"));
    ASSERT_TRUE(file().compact().isOk());
    EXPECT_TRUE(std::filesystem::exists(m_folder.file("box.data")));
    EXPECT_EQ(box(), "");
    EXPECT_FALSE(tempExists());
}

TEST_F(RecordFileTest, CompactionReplacesOnlyARedundantLeftoverTemp) {
    setBox(records("AbC"));
    setTemp(records("A"));  // a partial copy of the box
    ASSERT_TRUE(file().compact().isOk());
    EXPECT_EQ(box(), records("AC"));
    EXPECT_FALSE(tempExists());

    setTemp(records("Q"));  // mail the box does not hold
    Status s = file().compact();
    EXPECT_EQ(s.code(), StatusCode::kRefused);
    EXPECT_EQ(readBytes(m_folder.file("BOX.TMP")), records("Q"));
    EXPECT_EQ(box(), records("AC"));
}

// An I/O error at any step of a compaction leaves every live record in the
// box and no temporary file behind, whether the copies run in the kernel or
// through the buffer loop.
TEST_F(RecordFileTest, IoErrorAtEveryCompactionStepLosesNothing) {
    const std::string before = records("AbCdEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMN");
    for (bool kernelCopy : {true, false}) {
        for (int failAt = 1;; ++failAt) {
            setBox(before);
            FaultyFileSystem fs(failAt);
            Status s = file(kernelCopy ? fs : fs.withoutKernelCopy()).compact();
            if (!fs.failed()) {
                ASSERT_TRUE(s.isOk());
                EXPECT_GT(failAt, 3) << "the injection never reached the compaction";
                break;
            }
            EXPECT_FALSE(s.isOk()) << "step " << failAt << " failed but was reported as success";
            std::string after = box();
            EXPECT_TRUE(after == before ||
                        after == records("ACEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMN"))
                << "step " << failAt << ", kernel copy " << kernelCopy;
            EXPECT_FALSE(tempExists()) << "step " << failAt << ", kernel copy " << kernelCopy;
        }
    }
}

// A crash at any step (nothing runs after it) is repaired by recover(): every
// live record is in the box, in order, and the temporary file is gone.
TEST_F(RecordFileTest, CrashAtEveryCompactionStepIsRecovered) {
    const std::string before = records("AbCdEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMN");
    const std::string compacted = records("ACEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMN");
    for (bool kernelCopy : {true, false}) {
        for (int failAt = 1;; ++failAt) {
            setBox(before);
            FaultyFileSystem fs(failAt, /*crash=*/true);
            (void)file(kernelCopy ? fs : fs.withoutKernelCopy()).compact();
            if (!fs.failed()) {
                break;
            }
            const std::string step =
                "step " + std::to_string(failAt) + ", kernel copy " + std::to_string(kernelCopy);
            auto actions = file().recover();
            ASSERT_TRUE(actions.isOk()) << step << ": " << actions.status().toString();
            std::string after = box();
            EXPECT_TRUE(after == before || after == compacted) << step;
            EXPECT_FALSE(tempExists()) << step;
            EXPECT_TRUE(leftoverNames(m_folder, "BOX.TMP.").empty()) << step;
            EXPECT_TRUE(file().compact().isOk());
            EXPECT_EQ(box(), compacted) << step;
        }
    }
}

// Each run of live records between deleted ones is one copy, also when the
// buffer loop splits a run larger than its buffer.
TEST_F(RecordFileTest, CompactionCopiesEveryRunWhole) {
    std::string before;
    std::string compacted;
    for (int i = 0; i < 140'000; ++i) {  // 1.1 MB: a run longer than one buffer
        const char tag = static_cast<char>('A' + i % 26);
        const bool deleted = i == 7 || i == 139'999;
        before += record(deleted ? 'x' : tag, deleted ? 0 : 1);
        compacted += deleted ? "" : record(tag);
    }
    for (bool kernelCopy : {true, false}) {
        setBox(before);
        FaultyFileSystem fs(/*failAt=*/0);
        ASSERT_TRUE(file(kernelCopy ? fs : fs.withoutKernelCopy()).compact().isOk());
        EXPECT_TRUE(box() == compacted) << "kernel copy " << kernelCopy;
    }
}

TEST_F(RecordFileTest, RecoveryRestoresAMissingBoxFromItsTemp) {
    setTemp(records("AbC"));  // the old order had deleted the box already
    auto actions = file().recover();
    ASSERT_TRUE(actions.isOk());
    EXPECT_EQ(actions.value().front().kind, base::RepairKind::kRestoredFromTemporary);
    EXPECT_EQ(actions.value().front().temporary, m_folder.file("BOX.TMP"));
    EXPECT_EQ(box(), records("AC"));
    EXPECT_FALSE(tempExists());
}

TEST_F(RecordFileTest, RecoveryFinishesAnOldOrderRebuildCutShort) {
    setTemp(records("AbCDE"));
    setBox(records("AC") + "DD");  // rebuilt from the temp up to half of D
    auto actions = file().recover();
    ASSERT_TRUE(actions.isOk());
    ASSERT_EQ(actions.value().size(), 2u);
    EXPECT_EQ(actions.value()[0].kind, base::RepairKind::kCompactionFinished);
    EXPECT_EQ(actions.value()[1].kind, base::RepairKind::kDeletedMarksRemoved);
    EXPECT_EQ(actions.value()[1].count, 1u);
    EXPECT_EQ(box(), records("ACDE"));
    EXPECT_FALSE(tempExists());
}

TEST_F(RecordFileTest, RecoveryKeepsATempWithOtherMailAside) {
    setBox(records("AB"));
    setTemp(records("XY"));
    auto actions = file().recover();
    ASSERT_TRUE(actions.isOk());
    auto kept = leftoverNames(m_folder, "BOX.TMP.kept-");
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(actions.value().front().kind, base::RepairKind::kTemporaryWithMissingMailKeptAside);
    EXPECT_EQ(actions.value().front().setAside, m_folder.file(kept[0]));
    EXPECT_EQ(readBytes(m_folder.file(kept[0])), records("XY"));
    EXPECT_EQ(box(), records("AB"));
}

// Bytes that are not records of this file never become the box.
TEST_F(RecordFileTest, RecoveryKeepsATempThatFailsTheRecordChecksAside) {
    const std::string garbage = "not a record file at all";
    for (bool boxExists : {false, true}) {
        std::filesystem::remove(m_folder.file("box.data"));
        if (boxExists) {
            setBox(records("A"));
        }
        setTemp(records("A") + garbage);
        auto actions = file().recover();
        ASSERT_TRUE(actions.isOk()) << boxExists;
        EXPECT_EQ(actions.value().front().kind, base::RepairKind::kDamagedTemporaryKeptAside);
        EXPECT_EQ(box(), boxExists ? records("A") : "");
        EXPECT_FALSE(tempExists());
        for (const std::string& kept : leftoverNames(m_folder, "BOX.TMP.kept-")) {
            EXPECT_EQ(readBytes(m_folder.file(kept)), records("A") + garbage);
            std::filesystem::remove(m_folder.file(kept));
        }
    }
}

TEST_F(RecordFileTest, RecoveryFinishesAnInterruptedDeletion) {
    setBox(records("AbC"));
    auto actions = file().recover();
    ASSERT_TRUE(actions.isOk());
    ASSERT_EQ(actions.value().size(), 1u);
    EXPECT_EQ(actions.value()[0].kind, base::RepairKind::kDeletedMarksRemoved);
    EXPECT_EQ(actions.value()[0].count, 1u);
    EXPECT_EQ(box(), records("AC"));
    EXPECT_TRUE(file().inspect().value().problems.empty());

    // Zeroed records (no CR LF) are no marks of a deletion: left alone.
    const std::string zeroed = records("A") + std::string(2 * kFormat.lengthBytes, '\0');
    setBox(zeroed);
    ASSERT_TRUE(file().recover().isOk());
    EXPECT_EQ(box(), zeroed);
}

TEST_F(RecordFileTest, RecoveryOfACleanFileDoesNothing) {
    setBox(records("AB"));
    auto actions = file().recover();
    ASSERT_TRUE(actions.isOk());
    EXPECT_TRUE(actions.value().empty());
    EXPECT_EQ(box(), records("AB"));
}

TEST_F(RecordFileTest, InspectionReportsEveryKindOfDamageWithoutChangingAnything) {
    std::string bad = record('A') + record('b', 0) + "CCCC..\x01";
    bad += '\0';
    bad += "DD";
    setBox(bad);
    setTemp(records("A"));
    auto report = file().inspect();
    ASSERT_TRUE(report.isOk());
    const auto& problems = report.value().problems;
    ASSERT_EQ(problems.size(), 4u);
    EXPECT_EQ(problems[0].kind, FileProblemKind::kTornTail);
    EXPECT_THAT(problems[0].message, HasSubstr("torn record of 2 bytes"));
    EXPECT_EQ(problems[1].kind, FileProblemKind::kMarkedDeleted);
    EXPECT_EQ(problems[1].records, std::vector<int>{2});
    EXPECT_EQ(problems[2].kind, FileProblemKind::kNoLineEnd);
    EXPECT_EQ(problems[2].records, std::vector<int>{3});
    EXPECT_EQ(problems[3].kind, FileProblemKind::kRedundantTemporary);
    EXPECT_EQ(problems[3].file, m_folder.file("BOX.TMP"));
    EXPECT_EQ(box(), bad);
    EXPECT_TRUE(tempExists());

    setBox(records("AB"));
    std::filesystem::remove(m_folder.file("BOX.TMP"));
    EXPECT_TRUE(file().inspect().value().problems.empty());
}

}  // namespace
}  // namespace qf::store
