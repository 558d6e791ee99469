#include "addressbook/AddressBookFile.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/NotDurable.h"
#include "store/BoxCatalogue.h"
#include "store/StoreTestSupport.h"

namespace qf::addressbook {
namespace {

using store::testing::FaultyFileSystem;
using store::testing::readBytes;
using store::testing::TempFolder;

const std::string kIdeographicSpaceCp932 = "\x81\x40";

class AddressBookFileTest : public ::testing::Test {
  protected:
    std::string fileBytes() { return readBytes(m_folder.file("kdxdata.data")); }

    void registerThree() {
        for (const char* name : {"one", "two", "three"}) {
            ASSERT_TRUE(m_book.registerEntry(name, std::string(name) + "@example.jp").isOk());
        }
    }

    std::vector<std::string> names() {
        std::vector<std::string> result;
        auto entries = m_book.list();
        for (const AddressEntry& e : entries.value()) {
            result.push_back(e.name.substr(0, e.name.find("\u3000")));
        }
        return result;
    }

    TempFolder m_folder;
    AddressBookFile m_book{m_folder.path()};
};

TEST_F(AddressBookFileTest, ThreeCharacterNameIsPaddedWithIdeographicSpaces) {
    ASSERT_EQ(m_book.registerEntry("\xE5\xB1\xB1\xE7\x94\xB0\xE5\xA4\xAA", "a@example.jp").value(),
              1);  // 山田太
    std::string golden = "\x8E\x52\x93\x63\x91\xBE";
    for (int i = 0; i < 27; ++i) {
        golden += kIdeographicSpaceCp932;
    }
    golden += std::string(90 - golden.size(), ' ');
    golden += std::string("\r\n\x01\x00", 4);
    golden += "a@example.jp" + std::string(78, ' ');
    EXPECT_EQ(fileBytes(), golden);
}

TEST_F(AddressBookFileTest, ThirtyCharacterNameGetsNoPaddingAndLongTextIsCut) {
    const std::string thirty(30, 'n');
    const std::string longAddress(100, 'a');
    ASSERT_TRUE(m_book.registerEntry(thirty, longAddress).isOk());
    std::string bytes = fileBytes();
    ASSERT_EQ(bytes.size(), 184u);
    EXPECT_EQ(bytes.substr(0, 90), thirty + std::string(60, ' '));
    EXPECT_EQ(bytes.substr(94), std::string(90, 'a'));
}

TEST_F(AddressBookFileTest, ReadGivesTheNameWithItsIdeographicPadding) {
    registerThree();
    auto entry = m_book.read(2).value();
    ASSERT_TRUE(entry.has_value());
    std::string expected = "two";
    for (int i = 0; i < 27; ++i) {
        expected += "\u3000";
    }
    EXPECT_EQ(entry->name, expected);
    EXPECT_EQ(entry->address, "two@example.jp");
    EXPECT_FALSE(m_book.read(4).value().has_value());
}

TEST_F(AddressBookFileTest, DeletingTheSecondOfThreeClosesTheGap) {
    registerThree();
    ASSERT_TRUE(m_book.deleteEntry(2).isOk());
    EXPECT_EQ(fileBytes().size(), 2u * 184);
    EXPECT_EQ(names(), (std::vector<std::string>{"one", "three"}));
    EXPECT_EQ(m_book.list().value()[1].recordNumber, 2);
    EXPECT_FALSE(std::filesystem::exists(m_folder.file("KDXDATA.TMP")));
}

TEST_F(AddressBookFileTest, CompactionWithNothingMarkedKeepsTheSameBytes) {
    registerThree();
    std::string before = fileBytes();
    ASSERT_TRUE(m_book.compact().isOk());
    EXPECT_EQ(fileBytes(), before);
}

TEST_F(AddressBookFileTest, EmptyOrMissingFileListsNothing) {
    EXPECT_EQ(m_book.count().value(), 0);
    EXPECT_TRUE(m_book.list().value().empty());
    ASSERT_TRUE(m_book.createIfMissing().isOk());
    EXPECT_TRUE(std::filesystem::exists(m_folder.file("kdxdata.data")));
    EXPECT_TRUE(m_book.list().value().empty());
}

TEST_F(AddressBookFileTest, EmptyNameAndAddressAreRegisteredUnchanged) {
    ASSERT_TRUE(m_book.registerEntry("", "").isOk());
    auto entry = m_book.read(1).value();
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->address, "");
    std::string thirtySpaces;
    for (int i = 0; i < 30; ++i) {
        thirtySpaces += kIdeographicSpaceCp932;
    }
    EXPECT_EQ(fileBytes().substr(0, 90), thirtySpaces + std::string(30, ' '));
}

// A deletion that cannot finish must not start: the entry would stay in the
// file marked, and the next deletion would drop it unasked.
TEST_F(AddressBookFileTest, DeletionIsRefusedBeforeMarkingWhenTheFileIsTorn) {
    registerThree();
    const std::string torn = fileBytes() + "half an entry";
    store::testing::writeBytes(m_folder.file("kdxdata.data"), torn);
    EXPECT_EQ(m_book.deleteEntry(2).code(), StatusCode::kCorrupt);
    EXPECT_TRUE(fileBytes() == torn);
}

TEST_F(AddressBookFileTest, CrashDuringADeletionLosesNoOtherEntry) {
    for (int failAt = 1;; ++failAt) {
        std::filesystem::remove(m_folder.file("kdxdata.data"));
        registerThree();
        FaultyFileSystem fs(failAt, /*crash=*/true);
        (void)AddressBookFile(m_folder.path(), fs).deleteEntry(2);
        if (!fs.failed()) {
            break;
        }
        ASSERT_TRUE(store::recoverLeftovers(m_folder.path()).status.isOk());
        auto left = names();
        EXPECT_TRUE(left == (std::vector<std::string>{"one", "two", "three"}) ||
                    left == (std::vector<std::string>{"one", "three"}))
            << "step " << failAt;
        EXPECT_FALSE(std::filesystem::exists(m_folder.file("KDXDATA.TMP")));
    }
}

// A register that fails at any step either left no entry (a failure, to
// be tried again) or left it in the book, told as done but not durable, so
// that a second 登録 does not add it twice.
TEST_F(AddressBookFileTest, ARegisterIsFailedOnlyWhenTheEntryIsNotInTheBook) {
    for (int failAt = 1;; ++failAt) {
        std::filesystem::remove(m_folder.file("kdxdata.data"));
        FaultyFileSystem fs(failAt);
        const Result<int> written = AddressBookFile(m_folder.path(), fs).registerEntry("a", "b");
        if (!fs.failed()) {
            break;
        }
        ASSERT_FALSE(written.isOk()) << "step " << failAt;
        EXPECT_EQ(base::isNotDurable(written.status()), names().size() == 1u) << "step " << failAt;
    }
}

}  // namespace
}  // namespace qf::addressbook
