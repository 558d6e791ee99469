#include "settings/ServerSettings.h"

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

class ServerSettingsFileTest : public ::testing::Test {
  protected:
    TempFolder folder;
    std::filesystem::path file = folder / "corvid.ini";
};

TEST_F(ServerSettingsFileTest, WritesFourCrLfLinesInFixedOrder) {
    ServerSettings settings{"smtp.example.jp", "pop.example.jp", "taro@example.jp", 1};
    ASSERT_TRUE(writeServerSettings(file, settings));
    EXPECT_EQ(readBytes(file),
              "SMTP=smtp.example.jp\r\n"
              "POP3=pop.example.jp\r\n"
              "MAIL=taro@example.jp\r\n"
              "APOP=1\r\n");
    EXPECT_EQ(readServerSettings(file), settings);
}

TEST_F(ServerSettingsFileTest, LeaveOnServerFollowsTheFourLines) {
    ServerSettings settings{"smtp.example.jp", "pop.example.jp", "taro@example.jp", 0, true, 30};
    ASSERT_TRUE(writeServerSettings(file, settings));
    EXPECT_EQ(readBytes(file),
              "SMTP=smtp.example.jp\r\nPOP3=pop.example.jp\r\nMAIL=taro@example.jp\r\n"
              "APOP=0\r\nKEEP=1\r\nKEEPDAYS=30\r\n");
    EXPECT_EQ(readServerSettings(file), settings);
    // Off, the days are still remembered for the next time it is chosen.
    settings.keepOnServer = false;
    EXPECT_EQ(formatServerSettings(settings),
              "SMTP=smtp.example.jp\r\nPOP3=pop.example.jp\r\nMAIL=taro@example.jp\r\n"
              "APOP=0\r\nKEEPDAYS=30\r\n");
}

TEST_F(ServerSettingsFileTest, TimedCheckIsAFifthLineWrittenOnlyWhenOn) {
    ServerSettings settings{"smtp.example.jp", "pop.example.jp", "taro@example.jp", 1};
    settings.checkMinutes = 5;
    ASSERT_TRUE(writeServerSettings(file, settings));
    EXPECT_EQ(readBytes(file),
              "SMTP=smtp.example.jp\r\n"
              "POP3=pop.example.jp\r\n"
              "MAIL=taro@example.jp\r\n"
              "APOP=1\r\n"
              "CHECK=5\r\n");
    EXPECT_EQ(readServerSettings(file), settings);
    EXPECT_EQ(parseServerSettings("CHECK=99999\r\n").checkMinutes, kMaxCheckMinutes);
    EXPECT_EQ(parseServerSettings("CHECK=-3\r\n").checkMinutes, 0);
    EXPECT_EQ(parseServerSettings("CHECK=\r\nAPOP=1").checkMinutes, 0);
}

TEST_F(ServerSettingsFileTest, NameSignatureAndQuotingFollowTheOtherLines) {
    ServerSettings settings{"smtp.example.jp", "pop.example.jp", "taro@example.jp", 0};
    settings.checkMinutes = 5;
    settings.senderName = "山田 太郎";
    // An empty line inside the signature and a line that looks like a key.
    settings.signature = "山田\n\nAPOP=1 ソ\\";
    settings.quoteReplies = true;
    ASSERT_TRUE(writeServerSettings(file, settings));
    EXPECT_EQ(readBytes(file),
              "SMTP=smtp.example.jp\r\nPOP3=pop.example.jp\r\n"
              "MAIL=taro@example.jp\r\nAPOP=0\r\nCHECK=5\r\n"
              "NAME=" +
                  text::toCp932("山田 太郎") +
                  "\r\n"
                  "SIG=" +
                  text::toCp932("山田") +
                  "\r\nSIG=\r\n"
                  "SIG=" +
                  text::toCp932("APOP=1 ソ\\") + "\r\nQUOTE=1\r\n");
    EXPECT_EQ(readServerSettings(file), settings);
    // A name cannot break into a line of its own; the file stays as it was.
    settings.senderName = "a\rb";
    EXPECT_EQ(writeServerSettings(file, settings).code(), StatusCode::kInvalidArgument);
    EXPECT_EQ(readServerSettings(file).senderName, "山田 太郎");
}

TEST_F(ServerSettingsFileTest, StoresTextInCp932) {
    ServerSettings settings{"", "", "山田<yamada@example.jp>", 0};
    ASSERT_TRUE(writeServerSettings(file, settings));
    EXPECT_EQ(readBytes(file), "SMTP=\r\nPOP3=\r\nMAIL=" +
                                   text::toCp932("山田<yamada@example.jp>") + "\r\nAPOP=0\r\n");
    EXPECT_EQ(readServerSettings(file).mail, "山田<yamada@example.jp>");
}

TEST_F(ServerSettingsFileTest, MissingFileGivesDefaults) {
    EXPECT_EQ(readServerSettings(file), ServerSettings{});
}

TEST_F(ServerSettingsFileTest, ValueWithLineBreakIsRefusedAndFileKept) {
    writeBytes(file, "POP3=pop.example.jp\r\n");
    ServerSettings settings{"smtp.example.jp\r\nAPOP=1", "pop", "", 0};
    Status status = writeServerSettings(file, settings);
    EXPECT_EQ(status.code(), StatusCode::kInvalidArgument);
    EXPECT_EQ(readBytes(file), "POP3=pop.example.jp\r\n");
}

TEST_F(ServerSettingsFileTest, RewriteKeepsPermissionsAndLeavesNoTemporaryFile) {
    writeBytes(file, "POP3=old\r\n");
    ::chmod(file.c_str(), 0640);
    ASSERT_TRUE(writeServerSettings(file, ServerSettings{"s", "p", "m", 0}));
    EXPECT_EQ(permissionBits(file), 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(ServerSettingsFileTest, FailedReplaceLeavesTheOldEntryAndNoTemporaryFile) {
    std::filesystem::create_directories(file / "inside");
    Status status = writeServerSettings(file, ServerSettings{"s", "p", "m", 1});
    EXPECT_EQ(status.code(), StatusCode::kIoError);
    EXPECT_TRUE(std::filesystem::is_directory(file / "inside"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(ServerSettingsFileTest, MissingFolderIsAnIoError) {
    Status status = writeServerSettings(folder / "no-such-folder" / "corvid.ini", ServerSettings{});
    EXPECT_EQ(status.code(), StatusCode::kIoError);
    EXPECT_NE(status.message().find("no-such-folder"), std::string::npos);
}

TEST(ServerSettingsParseTest, ValuesAreCutToHundredCharacters) {
    const std::string ascii(150, 'a');
    EXPECT_EQ(parseServerSettings("SMTP=" + ascii + "\r\n").smtp, std::string(100, 'a'));

    // Characters, not bytes: 150 double-byte characters keep 100 of them.
    std::string kanji;
    for (int i = 0; i < 150; ++i) {
        kanji += "漢";
    }
    std::string expected;
    for (int i = 0; i < 100; ++i) {
        expected += "漢";
    }
    EXPECT_EQ(parseServerSettings("MAIL=" + text::toCp932(kanji)).mail, expected);
}

TEST(ServerSettingsParseTest, KeysAreMatchedCaseSensitivelyAtLineStart) {
    ServerSettings s = parseServerSettings(
        "smtp=lower.example.jp\r\n"
        " POP3=indented.example.jp\r\n"
        "Mail=mixed@example.jp\r\n"
        "SMTP\r\n"
        "[section]\r\n");
    EXPECT_EQ(s, ServerSettings{});
}

TEST(ServerSettingsParseTest, LeaveOnServerLinesAreReadByTheirWholeKey) {
    EXPECT_FALSE(parseServerSettings("KEEP=0\r\nKEEPDAYS=\r\n").keepOnServer);
    const ServerSettings kept = parseServerSettings("KEEPDAYS=7\r\nKEEP=1\r\nkeep=0\r\n");
    EXPECT_TRUE(kept.keepOnServer);
    EXPECT_EQ(kept.keepDays, 7);
    EXPECT_EQ(parseServerSettings("KEEPDAYS=-3\r\n").keepDays, 0);
    EXPECT_EQ(parseServerSettings("KEEPDAYS=99999999\r\n").keepDays, 32767);
}

TEST(ServerSettingsParseTest, LaterLineWinsAndValuesAreNotTrimmed) {
    ServerSettings s = parseServerSettings(
        "SMTP=first\r\n"
        "POP3= pop.example.jp \r\n"
        "SMTP=second\r\n"
        "APOP=1\r\n"
        "APOP=0\r\n");
    EXPECT_EQ(s.smtp, "second");
    EXPECT_EQ(s.pop3, " pop.example.jp ");
    EXPECT_EQ(s.apop, 0);
}

TEST(ServerSettingsParseTest, AcceptsLfAndLoneCrAndMissingLastNewline) {
    ServerSettings s = parseServerSettings("SMTP=a\nPOP3=b\rMAIL=c\r\nAPOP=1");
    EXPECT_EQ(s, (ServerSettings{"a", "b", "c", 1}));
}

struct ApopCase {
    const char* name;
    const char* value;
    int expected;
};

class ApopValueTest : public ::testing::TestWithParam<ApopCase> {};

TEST_P(ApopValueTest, ReadsLeadingNumber) {
    EXPECT_EQ(parseServerSettings(std::string("APOP=") + GetParam().value).apop,
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ApopValueTest,
    ::testing::Values(ApopCase{"One", "1", 1}, ApopCase{"Zero", "0", 0}, ApopCase{"Empty", "", 0},
                      ApopCase{"Letters", "yes", 0}, ApopCase{"NumberThenText", "12abc", 12},
                      ApopCase{"Negative", "-1", -1}, ApopCase{"LeadingSpace", " 1", 0},
                      ApopCase{"TooLargeIsHeldAtMax", "99999999999999999999", 32767},
                      ApopCase{"TooSmallIsHeldAtMin", "-40000", -32768}),
    [](const ::testing::TestParamInfo<ApopCase>& row) { return row.param.name; });

}  // namespace
}  // namespace qf::settings
