#include "settings/ProfileFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "settings/TestFolder.h"
#include "store/StoreTestSupport.h"
#include "text/Cp932.h"

namespace qf::settings {
namespace {

using testing::permissionBits;
using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

constexpr std::size_t kBuffer = 256;

std::string repeat(std::string_view piece, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += piece;
    }
    return out;
}

// Reading: how a value is found and what comes back.

TEST(ProfileReadTest, SectionAndKeyIgnoreLetterCase) {
    const std::string file = "[exeIni]\r\nname=taro\r\n";
    EXPECT_EQ(profileValueIn(file, "EXEINI", "NAME", "", kBuffer), "taro");
    EXPECT_EQ(profileValueIn(file, "exeini", "Name", "", kBuffer), "taro");
}

TEST(ProfileReadTest, BlanksAroundNamesAndValuesAreTrimmed) {
    const std::string file = "  [ EXEINI ]  \r\n\tNAME \t=  taro yamada \t\r\n";
    EXPECT_EQ(profileValueIn(file, "EXEINI", "NAME", "", kBuffer), "taro yamada");
}

TEST(ProfileReadTest, OnePairOfMatchingQuotesIsRemoved) {
    const std::string file =
        "[S]\r\nA=\"quoted\"\r\nB='single'\r\nC=\"open\r\nD=\"mixed'\r\nE=\"\r\nF=\"\"x\"\"\r\n";
    EXPECT_EQ(profileValueIn(file, "S", "A", "", kBuffer), "quoted");
    EXPECT_EQ(profileValueIn(file, "S", "B", "", kBuffer), "single");
    EXPECT_EQ(profileValueIn(file, "S", "C", "", kBuffer), "\"open");
    EXPECT_EQ(profileValueIn(file, "S", "D", "", kBuffer), "\"mixed'");
    EXPECT_EQ(profileValueIn(file, "S", "E", "", kBuffer), "\"");
    EXPECT_EQ(profileValueIn(file, "S", "F", "", kBuffer), "\"x\"");
}

TEST(ProfileReadTest, KeyIsLookedUpInItsOwnSectionOnly) {
    const std::string file = "NAME=outside\r\n[OTHER]\r\nNAME=other\r\n[EXEINI]\r\nNAME2=x\r\n";
    EXPECT_EQ(profileValueIn(file, "EXEINI", "NAME", "none", kBuffer), "none");
    EXPECT_EQ(profileValueIn(file, "OTHER", "NAME", "none", kBuffer), "other");
}

TEST(ProfileReadTest, FirstSectionAndFirstKeyOfANameCount) {
    const std::string file = "[S]\r\nK=1\r\nK=2\r\n[S]\r\nK=3\r\nL=4\r\n";
    EXPECT_EQ(profileValueIn(file, "S", "K", "", kBuffer), "1");
    EXPECT_EQ(profileValueIn(file, "S", "L", "", kBuffer), "");
}

TEST(ProfileReadTest, BufferKeepsOneCharacterLessThanItsSize) {
    const std::string file =
        "[S]\r\nA=" + repeat("x", 300) + "\r\nJ=" + text::toCp932(repeat("日本", 200)) + "\r\n";
    EXPECT_EQ(profileValueIn(file, "S", "A", "", kBuffer), repeat("x", 255));
    EXPECT_EQ(profileValueIn(file, "S", "A", "", 4), "xxx");
    EXPECT_EQ(profileValueIn(file, "S", "A", "", 1), "");
    EXPECT_EQ(profileValueIn(file, "S", "A", "", 0), "");
    // Counted in characters: 255 Japanese characters, not 255 bytes.
    EXPECT_EQ(profileValueIn(file, "S", "J", "", kBuffer), repeat("日本", 127) + "日");
}

TEST(ProfileReadTest, DefaultIsGivenForMissingFileSectionOrKey) {
    TempFolder folder;
    EXPECT_EQ(getProfileString(folder / "none.ini", "S", "K", "dflt", kBuffer), "dflt");
    writeBytes(folder / "a.ini", "[S]\r\nK=v\r\n");
    EXPECT_EQ(getProfileString(folder / "a.ini", "T", "K", "dflt", kBuffer), "dflt");
    EXPECT_EQ(getProfileString(folder / "a.ini", "S", "X", "dflt", 3), "df");
    EXPECT_EQ(getProfileString(folder / "a.ini", "S", "K", "dflt", kBuffer), "v");
}

TEST(ProfileReadTest, BracketAsSecondByteOfAKanjiDoesNotEndTheSectionName) {
    // "ゾ" is 0x83 0x5D in CP932; 0x5D is "]".
    const std::string file = text::toCp932("[ゾーン]\r\n表示=はい\r\n");
    EXPECT_EQ(profileValueIn(file, "ゾーン", "表示", "", kBuffer), "はい");
}

// Writing: what the file holds afterwards.

class ProfileWriteTest : public ::testing::Test {
  protected:
    TempFolder folder;
    std::filesystem::path file = folder / "test.ini";
};

TEST_F(ProfileWriteTest, CreatesFileAndSectionWithCrLfLines) {
    ASSERT_TRUE(writeProfileString(file, "EXEINI", "NAME", "taro"));
    EXPECT_EQ(readBytes(file), "[EXEINI]\r\nNAME=taro\r\n");
}

TEST_F(ProfileWriteTest, ChangesOnlyTheLineOfTheKey) {
    const std::string before =
        "; comment line\n"
        "[Other]\r\n"
        "NAME = not this one\r\n"
        "garbage without equals\r\n"
        "[exeini]\n"
        "name  =  old value\n"
        "NAME2=kept\r\n"
        "\r\n"
        "[Last]\r\n"
        "X=1";
    writeBytes(file, before);
    ASSERT_TRUE(writeProfileString(file, "EXEINI", "NAME", "new"));
    std::string expected = before;
    expected.replace(expected.find("name  =  old value"), 18, "name=new");
    EXPECT_EQ(readBytes(file), expected);
}

TEST_F(ProfileWriteTest, NewKeyFollowsTheLastEntryOfItsSection) {
    writeBytes(file, "[EXEINI]\r\nNAME=a\r\n\r\n[Next]\r\nK=v\r\n");
    ASSERT_TRUE(writeProfileString(file, "EXEINI", "NAME3", "1"));
    EXPECT_EQ(readBytes(file), "[EXEINI]\r\nNAME=a\r\nNAME3=1\r\n\r\n[Next]\r\nK=v\r\n");
}

TEST_F(ProfileWriteTest, NewSectionIsAppendedAfterAnUnterminatedLastLine) {
    writeBytes(file, "[Other]\nK=v");
    ASSERT_TRUE(writeProfileString(file, "EXEINI", "NAME", "x"));
    EXPECT_EQ(readBytes(file), "[Other]\nK=v\r\n\r\n[EXEINI]\r\nNAME=x\r\n");
}

TEST_F(ProfileWriteTest, SeveralKeysAreWrittenInOrder) {
    writeBytes(file, "[S]\r\nB=old\r\n");
    ASSERT_TRUE(writeProfileStrings(file, "S", {{"A", "1"}, {"B", "2"}, {"C", "3"}, {"A", "4"}}));
    EXPECT_EQ(readBytes(file), "[S]\r\nB=2\r\nA=4\r\nC=3\r\n");
}

TEST_F(ProfileWriteTest, ValuesReadBackExactlyAsWritten) {
    const std::string values[] = {" leading", "trailing\t", "\"quoted\"",
                                  "'single'", "\"\"",       "in \"the\" middle",
                                  "",         "=equals=",   "社内 メール "};
    for (const std::string& value : values) {
        ASSERT_TRUE(writeProfileString(file, "S", "K", value));
        EXPECT_EQ(getProfileString(file, "S", "K", "dflt", kBuffer), value) << value;
    }
    ASSERT_TRUE(writeProfileString(file, "S", "K", " pass "));
    EXPECT_EQ(readBytes(file), "[S]\r\nK=\" pass \"\r\n");
}

TEST_F(ProfileWriteTest, JapaneseTextIsStoredAsCp932) {
    ASSERT_TRUE(writeProfileString(file, "EXEINI", "NAME2", "仕事用ボックス"));
    EXPECT_EQ(readBytes(file), "[EXEINI]\r\nNAME2=" + text::toCp932("仕事用ボックス") + "\r\n");
    EXPECT_EQ(getProfileString(file, "EXEINI", "NAME2", "", kBuffer), "仕事用ボックス");
}

TEST_F(ProfileWriteTest, UnusableNamesAndValuesAreRefusedAndFileKept) {
    writeBytes(file, "[S]\r\nK=v\r\n");
    const std::vector<std::pair<std::string, ProfileEntry>> bad = {
        {"S]", {"K", "v"}}, {"", {"K", "v"}},    {"S", {"", "v"}},         {"S", {"A=B", "v"}},
        {"S", {" K", "v"}}, {"S", {"[K]", "v"}}, {"S", {"K", "a\r\nB=1"}}, {"S\n", {"K", "v"}},
    };
    for (const auto& [section, entry] : bad) {
        Status status = writeProfileStrings(file, section, {{"OK", "1"}, entry});
        EXPECT_EQ(status.code(), StatusCode::kInvalidArgument) << section << " " << entry.first;
    }
    EXPECT_EQ(readBytes(file), "[S]\r\nK=v\r\n");
}

TEST_F(ProfileWriteTest, UnreadableFileIsNotReplaced) {
    std::filesystem::create_directory(file);
    Status status = writeProfileString(file, "S", "K", "v");
    EXPECT_EQ(status.code(), StatusCode::kIoError);
    EXPECT_TRUE(std::filesystem::is_directory(file));
}

TEST_F(ProfileWriteTest, FailedSyncKeepsTheOldFile) {
    writeBytes(file, "[S]\r\nK=v\r\n");
    store::testing::FaultyFileSystem fs(/*failAt=*/4);  // create, write, flush, then the sync
    Status status = writeProfileStrings(file, "S", {{"K", "w"}}, FileAccess::kKeep, fs);
    EXPECT_EQ(status.code(), StatusCode::kIoError);
    EXPECT_NE(status.message().find("sync"), std::string::npos) << status.message();
    EXPECT_EQ(readBytes(file), "[S]\r\nK=v\r\n");
}

TEST_F(ProfileWriteTest, PermissionsAreKeptOrNarrowedToOwner) {
    writeBytes(file, "[S]\r\n");
    ::chmod(file.c_str(), 0640);
    ASSERT_TRUE(writeProfileString(file, "S", "K", "v"));
    EXPECT_EQ(permissionBits(file), 0640u);
    ASSERT_TRUE(writeProfileString(file, "S", "K", "w", FileAccess::kOwnerOnly));
    EXPECT_EQ(permissionBits(file), 0600u);
    // The same value again still narrows a file that was opened up meanwhile.
    ::chmod(file.c_str(), 0644);
    ASSERT_TRUE(writeProfileString(file, "S", "K", "w", FileAccess::kOwnerOnly));
    EXPECT_EQ(permissionBits(file), 0600u);
}

TEST_F(ProfileWriteTest, WhatTheFileHoldsAlreadyIsNotWrittenAgain) {
    writeBytes(file, "[S]\r\nK=v\r\n");
    ::chmod(file.c_str(), 0600);
    store::testing::FaultyFileSystem fs(/*failAt=*/1);  // any write would fail
    EXPECT_TRUE(writeProfileStrings(file, "S", {{"K", "v"}}, FileAccess::kOwnerOnly, fs));
    EXPECT_FALSE(writeProfileStrings(file, "S", {{"K", "w"}}, FileAccess::kOwnerOnly, fs));
    EXPECT_EQ(readBytes(file), "[S]\r\nK=v\r\n");
}

TEST_F(ProfileWriteTest, WritingThroughASymlinkReplacesItsTarget) {
    const auto target = folder / "real.ini";
    writeBytes(target, "[S]\r\n");
    std::filesystem::create_symlink(target, file);
    ASSERT_TRUE(writeProfileString(file, "S", "K", "v"));
    EXPECT_TRUE(std::filesystem::is_symlink(file));
    EXPECT_EQ(readBytes(target), "[S]\r\nK=v\r\n");
}

}  // namespace
}  // namespace qf::settings
