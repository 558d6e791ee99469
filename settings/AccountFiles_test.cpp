#include "settings/AccountFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "settings/TestFolder.h"
#include "text/Cp932.h"

namespace qf::settings {
namespace {

using testing::permissionBits;
using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

class AccountFileTest : public ::testing::Test {
  protected:
    TempFolder folder;
    std::filesystem::path file = folder / "iniIdPass.ini";
};

TEST_F(AccountFileTest, KeepWritesIdPasswordAndFlagIntoNewOwnerOnlyFile) {
    ASSERT_TRUE(saveAccount(file, Account{"taro", "s3cret"}, true));
    EXPECT_EQ(readBytes(file), "[EXEINI]\r\nNAME=taro\r\nNAME2=s3cret\r\nNAME3=1\r\n");
    EXPECT_EQ(permissionBits(file), 0600u);
    EXPECT_EQ(readAccount(file), (Account{"taro", "s3cret"}));
}

TEST_F(AccountFileTest, NotKeepingLeavesTheStoredIdAndNoPassword) {
    ASSERT_TRUE(saveAccount(file, Account{"taro", "s3cret"}, true));
    ASSERT_TRUE(saveAccount(file, Account{"jiro", "other"}, false));
    EXPECT_EQ(readBytes(file), "[EXEINI]\r\nNAME=taro\r\nNAME2=\r\nNAME3=0\r\n");
    EXPECT_EQ(readAccount(file), (Account{"taro", ""}));
}

TEST_F(AccountFileTest, AnyWriteTightensAReadableFileToOwnerOnly) {
    writeBytes(file, "[EXEINI]\r\nNAME=taro\r\nNAME2=s3cret\r\n");
    ::chmod(file.c_str(), 0644);
    ASSERT_TRUE(saveAccount(file, Account{}, false));
    EXPECT_EQ(permissionBits(file), 0600u);
}

TEST_F(AccountFileTest, MissingFileReadsAsEmptyAccount) {
    EXPECT_EQ(readAccount(file), Account{});
}

// A file that cannot be read is an error, never an empty account that a
// later write would put in its place; a whole one is read in one go.
TEST_F(AccountFileTest, AnUnreadableFileIsAnErrorNotAnEmptyAccount) {
    std::filesystem::create_directory(file);
    EXPECT_FALSE(readAccountFile(file).isOk());
    std::filesystem::remove(file);
    EXPECT_TRUE(readAccountFile(file).isOk());
    ASSERT_TRUE(saveAccount(file, {"id", "pw"}, true).isOk());
    const Result<StoredAccount> read = readAccountFile(file);
    ASSERT_TRUE(read.isOk());
    EXPECT_EQ(read.value().account, (Account{"id", "pw"}));
    EXPECT_TRUE(read.value().kept);
}

TEST_F(AccountFileTest, PasswordWithBlanksAndQuotesSurvives) {
    const Account account{"taro@example.jp", " \"pass word\" "};
    ASSERT_TRUE(saveAccount(file, account, true));
    EXPECT_EQ(readAccount(file), account);
}

TEST_F(AccountFileTest, LongIdIsCutByTheBuffer) {
    ASSERT_TRUE(saveAccount(file, Account{std::string(300, 'i'), "p"}, true));
    EXPECT_EQ(readAccount(file).id, std::string(255, 'i'));
}

class SortingFileTest : public ::testing::Test {
  protected:
    TempFolder folder;
    std::filesystem::path file = folder / "iniIdPass2.ini";
};

TEST_F(SortingFileTest, WritesAllTenKeysAsTyped) {
    SortingRegistrations registrations;
    registrations[0] = {"boss@example.jp", "上司"};
    registrations[2] = {" <friend@example.jp> ", "友人"};
    ASSERT_TRUE(writeSortingRegistrations(file, registrations));
    EXPECT_EQ(readBytes(file),
              "[EXEINI]\r\n"
              "NAME=boss@example.jp\r\n"
              "NAME2=" +
                  text::toCp932("上司") +
                  "\r\n"
                  "NAME3=\r\n"
                  "NAME4=\r\n"
                  "NAME5=\" <friend@example.jp> \"\r\n"
                  "NAME6=" +
                  text::toCp932("友人") +
                  "\r\n"
                  "NAME7=\r\nNAME8=\r\nNAME9=\r\nNAME10=\r\n");
}

TEST_F(SortingFileTest, ReadsEachRegistrationFromItsOwnKeysStripped) {
    const std::string longAddress = "a.very.long.sender.address.for.testing@mail.example.co.jp";
    writeBytes(file,
               "[EXEINI]\r\n"
               "NAME=" +
                   longAddress +
                   "\r\n"
                   "NAME3=b@x.jp\r\n"
                   "NAME4=\"  " +
                   text::toCp932("取引先") +
                   "  \"\r\n"
                   "NAME10=" +
                   text::toCp932("家族") + "\r\n");
    SortingRegistrations read = readSortingRegistrations(file);
    EXPECT_EQ(read[0], (SortingRegistration{longAddress, ""}));
    EXPECT_EQ(read[1], (SortingRegistration{"b@x.jp", "取引先"}));
    EXPECT_EQ(read[2], SortingRegistration{});
    EXPECT_EQ(read[3], SortingRegistration{});
    EXPECT_EQ(read[4], (SortingRegistration{"", "家族"}));
}

TEST_F(SortingFileTest, RoundTripKeepsOtherContentOfTheFile) {
    writeBytes(file, "; written by hand\r\n[EXEINI]\r\nNAME=old@x.jp\r\nEXTRA=kept\r\n");
    SortingRegistrations registrations;
    registrations[4] = {"last@x.jp", "最後"};
    ASSERT_TRUE(writeSortingRegistrations(file, registrations));
    EXPECT_EQ(readSortingRegistrations(file), registrations);
    const std::string bytes = readBytes(file);
    EXPECT_EQ(bytes.rfind("; written by hand\r\n[EXEINI]\r\nNAME=\r\nEXTRA=kept\r\nNAME2=", 0), 0u);
}

TEST_F(SortingFileTest, MissingFileGivesFiveEmptyRegistrations) {
    EXPECT_EQ(readSortingRegistrations(file), SortingRegistrations{});
}

}  // namespace
}  // namespace qf::settings
