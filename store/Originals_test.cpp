#include "store/Originals.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "store/MailStore.h"
#include "store/StoreTestSupport.h"

namespace qf::store {
namespace {

using testing::TempFolder;

// tests/data/mail/utf8-emoji-and-beyond-cp932.eml (made by Python's email
// library, see SOURCES.md there): emoji, 𠮷, é and Hangul in Subject and body.
std::string sample() {
    const char* root = std::getenv("QF_SOURCE_DIR");
    std::ifstream in(
        std::string(root ? root : ".") + "/tests/data/mail/utf8-emoji-and-beyond-cp932.eml",
        std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class OriginalsTest : public ::testing::Test {
  protected:
    // Stores mail `tag` as the receive does: the original, then the record.
    // Its record holds "?" where the original has what CP932 lacks.
    void receive(int box, const std::string& tag) {
        const std::string original = tagged(tag);
        const MailFields fields{"ランチ? " + tag, tag + "@example.jp", "date " + tag, "body ?"};
        ASSERT_TRUE(m_originals.keep(box, recordTexts(box, fields), original).isOk());
        ASSERT_TRUE(m_store.append(box, fields).isOk());
    }
    std::string tagged(const std::string& tag) const { return "X-Tag: " + tag + "\r\n" + m_sample; }
    static MailFields recordTexts(int box, const MailFields& fields) {
        const RecordLayout& layout = layoutOf(findBox(box)->kind);
        std::vector<char> record(layout.lengthBytes);
        encodeRecord(layout, fields, 1, record);
        return decodeRecord(layout, record);
    }
    // Record n's original, "" when none.
    std::string originalOf(int box, int n) {
        EXPECT_TRUE(m_store.readRecord(box, n).value());
        auto found = m_originals.find(box, m_store.currentFields(box));
        EXPECT_TRUE(found.isOk());
        return found.value().value_or("");
    }

    TempFolder m_folder;
    MailStore m_store{m_folder.path()};
    Originals m_originals{m_folder.path()};
    std::string m_sample = sample();
};

// Byte-equal originals follow their records through delete one, a move to
// the keep box, a compaction and delete all; what no record has goes.
TEST_F(OriginalsTest, EachRecordKeepsItsOwnOriginalThroughEveryCommand) {
    ASSERT_FALSE(m_sample.empty());
    for (const char* tag : {"A", "B", "C", "D"}) {
        receive(kOtherBox, tag);
    }
    ASSERT_TRUE(m_store.deleteRecord(kOtherBox, 2).isOk());  // B
    EXPECT_EQ(originalOf(kOtherBox, 1), tagged("A"));
    EXPECT_EQ(originalOf(kOtherBox, 2), tagged("C"));
    EXPECT_EQ(m_originals.keptNames(kOtherBox).size(), 3u);

    ASSERT_EQ(m_store.moveToKeepBox(2).value(), 1);  // C
    EXPECT_EQ(originalOf(kKeepBox, 1), tagged("C"));
    EXPECT_EQ(originalOf(kOtherBox, 2), tagged("D"));
    EXPECT_EQ(m_originals.keptNames(kOtherBox).size(), 2u);

    ASSERT_TRUE(m_store.readRecord(kOtherBox, 1).value());
    ASSERT_TRUE(m_store.markDeleted(kOtherBox, 1).isOk());
    ASSERT_TRUE(m_store.compact(kOtherBox).isOk());
    EXPECT_EQ(originalOf(kOtherBox, 1), tagged("D"));
    EXPECT_EQ(m_originals.keptNames(kOtherBox).size(), 1u);

    ASSERT_TRUE(m_store.deleteAll(kOtherBox).isOk());
    EXPECT_TRUE(m_originals.keptNames(kOtherBox).empty());
    EXPECT_EQ(originalOf(kKeepBox, 1), tagged("C"));
}

// Two mails whose records are alike (only what CP932 lacks differs) must not
// lend each other their originals: neither record shows one. The same mail
// fetched twice is one original.
TEST_F(OriginalsTest, RecordsThatCannotBeToldApartShowNoOriginal) {
    const MailFields fields{"今日のランチ?", "a@example.jp", "date", "?"};
    const MailFields texts = recordTexts(1, fields);
    ASSERT_TRUE(m_originals.keep(1, texts, "Subject: =?utf-8?b?8J+Yig==?=\r\n\r\n").isOk());
    ASSERT_TRUE(m_originals.keep(1, texts, "Subject: =?utf-8?b?8J+Yig==?=\r\n\r\n").isOk());
    EXPECT_TRUE(m_originals.find(1, texts).value().has_value());
    ASSERT_TRUE(m_originals.keep(1, texts, "Subject: =?utf-8?b?8J+Nuw==?=\r\n\r\n").isOk());
    EXPECT_FALSE(m_originals.find(1, texts).value().has_value());
}

// What a power cut left of an unsynced original (cut short, or zeros where
// its data never reached the disk) is not given out, and keeping the mail
// again makes it whole.
TEST_F(OriginalsTest, AnOriginalCutShortIsKeptWholeWhenKeptAgain) {
    const MailFields texts = recordTexts(1, {"件名?", "a@example.jp", "date", "?"});
    const std::string original = tagged("a");
    const std::string pack = m_originals.packOf(1);
    const std::vector<std::function<void(std::string&)>> cuts = {
        [&](std::string& bytes) { bytes.resize(bytes.size() - original.size() / 2); },
        [&](std::string& bytes) {
            bytes.replace(bytes.size() - original.size(), original.size(), original.size(), '\0');
        }};
    for (const auto& cut : cuts) {
        ASSERT_TRUE(m_originals.keep(1, texts, original).isOk());
        std::string bytes = testing::readBytes(pack);
        cut(bytes);
        testing::writeBytes(pack, bytes);
        EXPECT_FALSE(m_originals.find(1, texts).value().has_value());
        ASSERT_TRUE(m_originals.keep(1, texts, original).isOk());
        EXPECT_EQ(m_originals.find(1, texts).value().value_or(""), original);
        EXPECT_EQ(m_originals.keptNames(1).size(), 1u);
    }
}

// The pack alone is enough: without its index, and past a write a power cut
// tore in the middle, every whole original is found.
TEST_F(OriginalsTest, APackIsReadWithoutItsIndexAndPastATornWrite) {
    receive(kOtherBox, "A");
    const std::string pack = m_originals.packOf(kOtherBox);
    const std::string torn = testing::readBytes(pack).substr(32, 200);
    testing::writeBytes(pack, testing::readBytes(pack) + torn);
    receive(kOtherBox, "B");
    TempFolder copy;
    std::filesystem::copy(m_folder.path(), copy.path(), std::filesystem::copy_options::recursive);
    std::filesystem::remove(copy.path() + "/" + pack.substr(m_folder.path().size() + 1) + ".index");
    MailStore store(copy.path());
    const Originals originals(copy.path());
    for (int n : {1, 2}) {
        ASSERT_TRUE(store.readRecord(kOtherBox, n).value());
        EXPECT_EQ(originals.find(kOtherBox, store.currentFields(kOtherBox)).value(),
                  tagged(n == 1 ? "A" : "B"));
    }
}

// A pack whose own header fails (damaged) is set aside whole, not emptied,
// and the next mail begins a new one.
TEST_F(OriginalsTest, APackWithADamagedHeaderIsSetAsideWhole) {
    const MailFields texts = recordTexts(1, {"s", "a@example.jp", "d", "b"});
    ASSERT_TRUE(m_originals.keep(1, texts, m_sample).isOk());
    std::string damaged = testing::readBytes(m_originals.packOf(1));
    damaged[0] = 'X';
    TempFolder later;  // read as a process started afterwards reads it
    Originals originals(later.path());
    std::filesystem::create_directories(originals.folderOf(1));
    testing::writeBytes(originals.packOf(1), damaged);
    ASSERT_TRUE(originals.keep(1, texts, tagged("new")).isOk());
    EXPECT_EQ(testing::readBytes(originals.packOf(1) + ".damaged"), damaged);
    EXPECT_EQ(originals.find(1, texts).value().value_or(""), tagged("new"));
}

// A record without an original (stored before originals were kept) reads as
// before; a collection at start-up removes originals of records never stored.
TEST_F(OriginalsTest, RecordsWithoutOriginalsAndOrphansAtStartUp) {
    ASSERT_TRUE(m_store.append(1, {"old", "o@example.jp", "d", "b"}).isOk());
    EXPECT_EQ(originalOf(1, 1), "");
    receive(1, "A");
    {
        const Originals::WriterHold receiving;
        ASSERT_TRUE(m_originals.keep(1, {"never stored", "n@example.jp", "d", "b"}, "x").isOk());
        ASSERT_EQ(m_originals.collect(m_store, 1).value(), 0) << "a running receive's wait";
    }
    ASSERT_TRUE(recoverLeftovers(m_folder.path()).status.isOk());
    EXPECT_EQ(m_originals.keptNames(1).size(), 1u);
    EXPECT_EQ(originalOf(1, 2), tagged("A"));
}

// Unsynced originals are synced when the run says, each folder once.
TEST_F(OriginalsTest, UnsyncedOriginalsAreSyncedTogether) {
    struct CountingFolders final : testing::ForwardingFileSystem {
        Status syncFolder(const std::string& folder) override {
            folders.push_back(folder);
            return real().syncFolder(folder);
        }
        std::vector<std::string> folders;
    } fs;
    Originals originals(m_folder.path(), fs);
    UnsyncedOriginals later;
    const MailFields texts = recordTexts(kOtherBox, {"s", "a@example.jp", "d", "b"});
    ASSERT_TRUE(originals.keep(kOtherBox, texts, m_sample, later).isOk());
    ASSERT_TRUE(originals.keep(kOtherBox, texts, m_sample, later).isOk());
    ASSERT_TRUE(originals.keep(1, texts, m_sample, later).isOk());
    EXPECT_TRUE(fs.folders.empty()) << "nothing is synced before sync()";
    ASSERT_TRUE(later.sync(fs).isOk());
    EXPECT_EQ(fs.folders,
              (std::vector<std::string>{originals.folderOf(1), originals.folderOf(kOtherBox)}));
    EXPECT_TRUE(later.empty());
    EXPECT_EQ(originals.find(kOtherBox, texts).value(), m_sample);
}

}  // namespace
}  // namespace qf::store
