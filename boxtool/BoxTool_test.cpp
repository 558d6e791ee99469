// Runs the built quillfern-box on box files written here byte by byte from
// the record tables, so the tool is checked against the layout, not against
// the store's own writer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "settings/FolderLock.h"
#include "store/MailStore.h"
#include "store/Originals.h"
#include "store/StoreTestSupport.h"

namespace {

using qf::store::testing::readBytes;
using qf::store::testing::TempFolder;
using qf::store::testing::writeBytes;
using ::testing::HasSubstr;
using ::testing::Not;

std::string padded(const std::string& text, std::size_t width) {
    return text + std::string(width - text.size(), ' ');
}

std::string statusWord(int value) {
    return {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

// MailRecord: Subject 100, Date 90, From 90, Body 32000, CR LF, status.
std::string mailRecord(const std::string& subject, const std::string& date, const std::string& from,
                       const std::string& body) {
    return padded(subject, 100) + padded(date, 90) + padded(from, 90) + padded(body, 32000) +
           "\r\n" + statusWord(1);
}

// SentRecord: Subject 100, To 90, Body 32000, CR LF, Date 90, status.
std::string sentRecord(const std::string& subject, const std::string& to, const std::string& body,
                       const std::string& date) {
    return padded(subject, 100) + padded(to, 90) + padded(body, 32000) + "\r\n" + padded(date, 90) +
           statusWord(1);
}

// KeepRecord: Subject 300, 90 NULs, Body 32000, CR LF, Date 90, From 90, status.
std::string keepRecord(const std::string& subject, const std::string& body, const std::string& date,
                       const std::string& from, int number) {
    return padded(subject, 300) + std::string(90, '\0') + padded(body, 32000) + "\r\n" +
           padded(date, 90) + padded(from, 90) + statusWord(number);
}

struct ToolRun {
    int exitCode;
    std::string out;
    std::string err;
};

class BoxToolTest : public ::testing::Test {
  protected:
    void SetUp() override { std::filesystem::create_directory(m_data); }

    std::string data(const std::string& name) { return m_data + "/" + name; }

    ToolRun run(const std::string& args, const std::string& environment = "") {
        const std::string errFile = m_scratch.file("stderr");
        std::string command = environment + " '" QF_BOX_TOOL "' " + args + " 2>'" + errFile + "'";
        FILE* pipe = ::popen(command.c_str(), "r");
        std::string out;
        char chunk[4096];
        for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
            out.append(chunk, n);
        }
        int status = ::pclose(pipe);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, readBytes(errFile)};
    }

    std::string folderArg() { return "--folder '" + m_program.path() + "'"; }

    void writeOtherBox() {
        // "あ" is 82 A0 in CP932; the third record is torn.
        writeBytes(data("kdxdata8.data"),
                   mailRecord("\x82\xA0 first", "Tue, 8 Dec 2026 09:00:00 +0900", "a@example.jp",
                              "Hello\r\nFrom the start\r\n>From quoted") +
                       mailRecord("second", "date two", "Taro <taro@example.jp>", "Bye") +
                       "torn bytes");
    }

    TempFolder m_program;
    TempFolder m_scratch;
    std::string m_data = m_program.path() + "/★MAilData";
};

TEST_F(BoxToolTest, ListPrintsOneTabSeparatedLinePerWholeRecord) {
    writeOtherBox();
    const std::string before = readBytes(data("kdxdata8.data"));
    ToolRun r = run(folderArg() + " list 6");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "1\t\xE3\x81\x82 first\ta@example.jp\tTue, 8 Dec 2026 09:00:00 +0900\n"
              "2\tsecond\tTaro <taro@example.jp>\tdate two\n");
    EXPECT_EQ(readBytes(data("kdxdata8.data")), before);
}

TEST_F(BoxToolTest, ControlCharactersOfAMailNeverReachTheTerminal) {
    writeBytes(data("kdxdata10.data"),
               keepRecord("\x1B]0;t\x07\x89\xEF", "a\x1B[2J\r\n\tb", "d", "f", 1));  // 会
    ToolRun r = run(folderArg() + " show 10 1");
    EXPECT_EQ(r.out,
              "Record: 1\nSubject:  ]0;t \xE4\xBC\x9A\nFrom: f\nDate: d\nStatus: 1\n\n"
              "a [2J\n\tb\n");
    EXPECT_EQ(run(folderArg() + " list 10").out, "1\t ]0;t \xE4\xBC\x9A\tf\td\n");
}

TEST_F(BoxToolTest, SendHistoryListsToAndTheDateAfterTheBody) {
    writeBytes(data("kdxdata6.data"),
               sentRecord("hi", "to@example.jp", "text", "2026/12/08 10:11:12"));
    ToolRun r = run(folderArg() + " list 11");
    EXPECT_EQ(r.out, "1\thi\tto@example.jp\t2026/12/08 10:11:12\n");
    // An absent box is an empty one.
    EXPECT_EQ(run(folderArg() + " list 1").out, "");
}

TEST_F(BoxToolTest, ShowPrintsTheFieldsAndBody) {
    writeBytes(data("kdxdata10.data"),
               keepRecord("kept 1", "b1", "d1", "f1", 1) +
                   keepRecord("kept 2", "line one\r\nline two", "d2", "f2@example.jp", 2));
    ToolRun r = run(folderArg() + " show 10 2");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "Record: 2\nSubject: kept 2\nFrom: f2@example.jp\nDate: d2\nStatus: 2\n\n"
              "line one\nline two\n");
    for (const char* command : {" show 10 3", " original 10 3", " delete 10 3"}) {
        ToolRun missing = run(folderArg() + command);
        EXPECT_EQ(missing.exitCode, 1) << command;
        EXPECT_EQ(missing.err, "quillfern-box: 箱 10 に 3 番のメールはありません。\n") << command;
    }
}

// A record whose original is kept: `original` writes it byte for byte,
// `show` prints its texts as written, `export --mbox` writes it as it came.
// The other record has none: `original` says so with exit status 1.
TEST_F(BoxToolTest, OriginalShowAndExportUseTheKeptOriginal) {
    writeOtherBox();
    const std::string original =
        "Subject: =?utf-8?b?c2Vjb25kIPCfmIo=?=\r\nFrom: Taro <taro@example.jp>\r\n"
        "To: b@example.jp, c@example.jp\r\n\r\nBye \xF0\x9F\x8D\xBB\r\nFrom the start\r\n";
    qf::store::MailStore mails(m_data);
    ASSERT_TRUE(mails.readRecord(6, 2).value());
    ASSERT_TRUE(qf::store::Originals(m_data).keep(6, mails.currentFields(6), original).isOk());

    ToolRun raw = run(folderArg() + " original 6 2");
    EXPECT_EQ(raw.exitCode, 0) << raw.err;
    EXPECT_EQ(raw.out, original);
    EXPECT_EQ(run(folderArg() + " original 6 1").exitCode, 1);

    ToolRun shown = run(folderArg() + " show 6 2");
    EXPECT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_THAT(shown.out, HasSubstr("Subject: second 😊\n"));
    EXPECT_THAT(shown.out, HasSubstr("To: b@example.jp, c@example.jp\n"));
    EXPECT_THAT(shown.out, HasSubstr("\n\nBye 🍻\nFrom the start\n"));

    ASSERT_EQ(run(folderArg() + " export 6 --mbox '" + m_scratch.file("box.mbox") + "'").exitCode,
              0);
    const std::string mbox = readBytes(m_scratch.file("box.mbox"));
    EXPECT_THAT(
        mbox,
        HasSubstr("\nSubject: =?utf-8?b?c2Vjb25kIPCfmIo=?=\nFrom: Taro <taro@example.jp>\n"
                  "To: b@example.jp, c@example.jp\n\nBye \xF0\x9F\x8D\xBB\n>From the start\n"));
}

TEST_F(BoxToolTest, CheckReportsProblemsAndChangesNothing) {
    writeBytes(data("kdxdata2.data"), mailRecord("s", "d", "f", "b"));
    EXPECT_EQ(run(folderArg() + " check").exitCode, 0);

    writeOtherBox();
    writeBytes(data("KDXDATA2.TMP"), "");
    writeBytes(data("iniIdPass.ini.tmp-4242"), "password");  // a settings write cut short
    const std::string box = readBytes(data("kdxdata8.data"));
    ToolRun r = run(folderArg() + " check");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.out, HasSubstr("kdxdata8.data: 2 通"));
    EXPECT_THAT(r.out, HasSubstr("問題: 末尾に、書き込みの途中で切れたレコード（10 バイト、2 番"));
    EXPECT_THAT(r.out, HasSubstr("一時ファイル " + data("KDXDATA2.TMP") + " があります"));
    EXPECT_THAT(r.out, HasSubstr("一時ファイル " + data("iniIdPass.ini.tmp-4242") + " があります"));
    EXPECT_THAT(r.out, HasSubstr("問題が 3 件見つかりました"));
    EXPECT_THAT(r.out, Not(HasSubstr("torn record")));
    EXPECT_EQ(readBytes(data("kdxdata8.data")), box);
    EXPECT_TRUE(std::filesystem::exists(data("KDXDATA2.TMP")));
    EXPECT_TRUE(std::filesystem::exists(data("iniIdPass.ini.tmp-4242")));
}

TEST_F(BoxToolTest, RecoverRepairsWhatCheckFound) {
    writeOtherBox();
    std::filesystem::create_directory(m_program.path() + "/■TextQuickSave");
    const std::string quickSave = m_program.path() + "/■TextQuickSave/hello.txt.tmp-31";
    const std::string usersOwn = m_program.path() + "/notes.txt.tmp-31";
    writeBytes(quickSave, "half");
    writeBytes(usersOwn, "not ours");
    ToolRun r = run(folderArg() + " recover");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("kdxdata8.data.torn-"));
    // The removed temporary file by name, beside the whole file it was for.
    EXPECT_THAT(r.out, HasSubstr("hello.txt.tmp-31"));
    EXPECT_THAT(r.out, HasSubstr(m_program.path() + "/■TextQuickSave/hello.txt "));
    EXPECT_FALSE(std::filesystem::exists(quickSave));
    EXPECT_TRUE(std::filesystem::exists(usersOwn));
    ToolRun checked = run(folderArg() + " check");
    EXPECT_EQ(checked.exitCode, 0) << "a file set aside is no problem of the box";
    EXPECT_THAT(checked.out, HasSubstr("退避したファイル: kdxdata8.data.torn-"));
    EXPECT_THAT(checked.out, HasSubstr("メールは含まれていない"));
}

// A move to the keep box cut short by a crash leaves the mail in both boxes:
// check and recover say which records, and it is no problem of a file.
TEST_F(BoxToolTest, CheckAndRecoverNameAMailInBothBoxes) {
    writeBytes(data("kdxdata8.data"),
               mailRecord("other", "d0", "o@example.jp", "b0") + mailRecord("s", "d", "f", "b"));
    writeBytes(data("kdxdata10.data"), keepRecord("s", "b", "d", "f", 1));
    const std::string note = "箱 6 の 2 番と箱 10 の 1 番は同じメールです";
    ToolRun checked = run(folderArg() + " check");
    EXPECT_EQ(checked.exitCode, 0) << checked.out;
    EXPECT_THAT(checked.out, HasSubstr(note));
    EXPECT_THAT(run(folderArg() + " recover").out, HasSubstr(note));
}

TEST_F(BoxToolTest, DeleteRemovesOneRecordAndCompacts) {
    writeBytes(data("kdxdata2.data"), mailRecord("A", "d", "f", "b") +
                                          mailRecord("B", "d", "f", "b") +
                                          mailRecord("C", "d", "f", "b"));
    ToolRun r = run(folderArg() + " delete 1 2");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readBytes(data("kdxdata2.data")),
              mailRecord("A", "d", "f", "b") + mailRecord("C", "d", "f", "b"));
    EXPECT_FALSE(std::filesystem::exists(data("KDXDATA2.TMP")));
    EXPECT_EQ(run(folderArg() + " delete 1 3").exitCode, 1);
}

// The program (or a running receive) holds the folder's lock; the commands
// that change a box must not write beside it.
TEST_F(BoxToolTest, DeleteAndRecoverAreRefusedWhileTheFolderIsInUse) {
    writeOtherBox();
    const std::string box = readBytes(data("kdxdata8.data"));
    {
        auto held = qf::settings::FolderLock::acquire(data(".lock"));
        ASSERT_TRUE(held.isOk());
        for (const char* command : {" delete 6 1", " recover"}) {
            ToolRun r = run(folderArg() + command);
            EXPECT_EQ(r.exitCode, 1) << command;
            EXPECT_THAT(r.err, HasSubstr("別のQuillfernが使用中")) << command;
            // The lock's own English stays out of the sentence.
            EXPECT_THAT(r.err, Not(HasSubstr("in use by another"))) << command;
            EXPECT_TRUE(readBytes(data("kdxdata8.data")) == box) << command;
        }
        EXPECT_EQ(run(folderArg() + " list 6").exitCode, 0) << "reading needs no lock";
    }
    EXPECT_EQ(run(folderArg() + " recover").exitCode, 0);
    EXPECT_EQ(run(folderArg() + " delete 6 1").exitCode, 0);
}

TEST_F(BoxToolTest, ExportWritesAnMboxrdFileAndRefusesToOverwrite) {
    writeOtherBox();
    const std::string mbox = m_scratch.file("out.mbox");
    ToolRun r = run(folderArg() + " export 6 --mbox '" + mbox + "'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const std::string written = readBytes(mbox);
    EXPECT_THAT(written, HasSubstr("From a@example.jp Tue Dec  8 00:00:00 2026\n"
                                   "From: a@example.jp\n"
                                   "Subject: =?UTF-8?B?44GCIGZpcnN0?=\n"
                                   "Date: Tue, 8 Dec 2026 09:00:00 +0900\n"));
    EXPECT_THAT(written, HasSubstr("\n\nHello\n>From the start\n>>From quoted\n\n"));
    EXPECT_THAT(written, HasSubstr("From taro@example.jp Thu Jan  1 00:00:00 1970\n"));
    EXPECT_THAT(written, HasSubstr("Content-Type: text/plain; charset=UTF-8\n"));

    writeBytes(mbox, "keep me");
    ToolRun again = run(folderArg() + " export 6 --mbox '" + mbox + "'");
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_THAT(again.err, HasSubstr(mbox + " は既にあります。置き換えるときは --force"));
    EXPECT_EQ(readBytes(mbox), "keep me");
    EXPECT_EQ(run(folderArg() + " export 6 --force --mbox '" + mbox + "'").exitCode, 0);
    EXPECT_EQ(readBytes(mbox), written);
    EXPECT_FALSE(std::filesystem::exists(mbox + ".partial"));
}

TEST_F(BoxToolTest, SearchPrintsOneLineAHitAndNamesATornBox) {
    writeOtherBox();  // box 6 ends in a torn record
    // Box 2: a full-width "ＡＢ" (82 60 82 61) and an escape sequence in the subject.
    writeBytes(data("kdxdata3.data"),
               mailRecord("\x82\x60\x82\x61 \x1B[31mred", "d", "f", "Second body"));
    ToolRun r = run(folderArg() + " search SECOND");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out,
              "2\t1\t\xEF\xBC\xA1\xEF\xBC\xA2  [31mred\tf\td\n"
              "6\t2\tsecond\tTaro <taro@example.jp>\tdate two\n");
    EXPECT_EQ(r.err,
              "quillfern-box: 箱 6 のファイルは末尾の 10 バイトが壊れているため、その手前まで検索"
              "しました。\n");

    ToolRun folded = run(folderArg() + " search ab --box 2");
    EXPECT_EQ(folded.exitCode, 0) << folded.err;
    EXPECT_THAT(folded.out, HasSubstr("2\t1\t"));
    EXPECT_EQ(run(folderArg() + " search AB --exact --box 2").out, "");
    EXPECT_EQ(run(folderArg() + " search Second --exact --box 2").out.substr(0, 4), "2\t1\t");
}

// Listing starts without the network and MIME libraries; only receive
// (a program of its own) loads them.
TEST_F(BoxToolTest, ListingLoadsNoNetworkLibrary) {
    writeOtherBox();
    ToolRun r = run(folderArg() + " list 6", "LD_DEBUG=files");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_THAT(r.err, HasSubstr("libc.so"));  // the loader did report
    for (const char* library : {"libcurl", "libgmime", "libgnutls"}) {
        EXPECT_THAT(r.err, Not(HasSubstr(library)));
    }
}

TEST_F(BoxToolTest, BadArgumentsGetUsageAndExitTwo) {
    for (const char* args :
         {"", "list", "list 7", "list 6 7", "show 6", "show 6 0", "frobnicate", "export 6",
          "check --force", "search", "list 6 --exact", "search x --box 9", "--folder",
          "list 6 --bogus", "check --lost-seen-list fetch-all", "receive --lost-seen-list all",
          "receive --lost-seen-list"}) {
        ToolRun r = run(folderArg() + " " + args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_THAT(r.err, HasSubstr("Usage: quillfern-box")) << args;
    }
    ToolRun help = run("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_THAT(help.out, HasSubstr("QUILLFERN_FOLDER"));
}

TEST_F(BoxToolTest, FolderComesFromTheEnvironmentWithoutTheOption) {
    writeBytes(data("kdxdata3.data"), mailRecord("env", "d", "f", "b"));
    ToolRun r = run("list 2", "QUILLFERN_FOLDER='" + m_program.path() + "'");
    EXPECT_EQ(r.out, "1\tenv\tf\td\n");
    ToolRun missing = run("--folder '" + m_scratch.path() + "' list 2");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_THAT(missing.err, HasSubstr("メールボックスのフォルダ " + m_scratch.path()));
}

// Where the system refused, its own text follows the sentence in brackets;
// the store's diagnostic ("I/O error: <path>: …") never reaches the terminal.
TEST_F(BoxToolTest, SystemFailuresShowTheSystemsTextInBrackets) {
    std::filesystem::create_symlink("kdxdata3.data", data("kdxdata3.data"));  // box 2 loops
    const std::string loop = "\n（Too many levels of symbolic links）\n";
    ToolRun searched = run(folderArg() + " search x");
    EXPECT_EQ(searched.exitCode, 1);
    EXPECT_EQ(
        searched.err,
        "quillfern-box: 箱 2 を最後まで読めなかったため、読めたところまで検索しました。" + loop);
    ToolRun checked = run(folderArg() + " check");
    EXPECT_EQ(checked.exitCode, 1);
    EXPECT_THAT(checked.out, HasSubstr("問題: ファイルを読めないため、確かめられませんでした。"));
    EXPECT_THAT(checked.out, HasSubstr(loop));

    ToolRun exported = run(folderArg() + " export 6 --mbox '" + m_scratch.path() + "/no/box.mbox'");
    EXPECT_EQ(exported.exitCode, 1);
    EXPECT_THAT(exported.err, HasSubstr("箱 6 を " + m_scratch.path() + "/no/box.mbox に書き出せ"));
    EXPECT_THAT(exported.err, HasSubstr("\n（No such file or directory）\n"));
    for (const ToolRun& r : {searched, checked, exported}) {
        EXPECT_THAT(r.out + r.err, Not(HasSubstr("I/O error"))) << r.err;
        EXPECT_THAT(r.out + r.err, Not(HasSubstr("cannot"))) << r.out;
    }
}

}  // namespace
