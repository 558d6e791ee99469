// Mail as real senders write it (tests/data/mail/, see SOURCES.md there),
// received through the run from the real local POP3 server: what the stored
// record holds and which files the attachment folder gets.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>

#include "receive/ReceiveRun.h"
#include "receive/ReceiveTestSupport.h"
#include "store/BoxCatalogue.h"
#include "store/MailStore.h"
#include "store/Originals.h"
#include "tests/support/MailServers.h"
#include "transport/MimeTestSupport.h"
#include "transport/NMail.h"

namespace qf::receive {
namespace {

using testing::ProgramFolderFixture;
using testing::RecordingObserver;
using transport::testing::readBytes;

std::string samplePath(const std::string& name) {
    const char* root = std::getenv("QF_SOURCE_DIR");
    return std::string(root ? root : ".") + "/tests/data/mail/" + name;
}

struct Sample {
    std::vector<std::string> files;  // delivered and received one run each, in order
    std::string subject, sender, date;
    std::string bodyStart;    // the stored body begins with this
    std::string fileName{};   // the one file expected in the attachment folder, if any
    std::string fileBytes{};  // its content; a name of a sample file when it starts with "@"
};

void PrintTo(const Sample& sample, std::ostream* out) {
    *out << sample.files.front();
}

// The split mail's sender is the one registration; the other four are empty
// and would take a mail whose sender is empty.
constexpr int kSplitSenderSlot = 0;

class ReceivedSample : public ::testing::TestWithParam<Sample> {
  protected:
    static void SetUpTestSuite() {
        transport::NMailInitializeWinSock();
        transport::NMailSetOption(transport::kOptionBufferSize, 8192);
    }

    ReceivedSample() : servers(qf::testing::MailServers::fromEnvironment()) {
        servers.clearMaildir();
        request.folder = box.folder();
        request.pop3Server = servers.pop3Server();
        request.account = {servers.user, servers.password};
        request.routingAddresses = {"split@example.jp", "", "", "", ""};
    }

    qf::testing::MailServers servers;
    ProgramFolderFixture box;
    ReceiveRequest request;
    RecordingObserver observer;
    ReceiveSession session;
};

TEST_P(ReceivedSample, IsStoredAsTheSenderWroteIt) {
    const Sample& sample = GetParam();
    for (const std::string& file : sample.files) {
        servers.deliver(readBytes(samplePath(file)));
        ASSERT_TRUE(session.run(request, observer).succeeded());
    }
    EXPECT_EQ(servers.messagesInMaildir(), 0u);
    const int slot = sample.sender == "split@example.jp" ? kSplitSenderSlot : kOtherSlot;
    const auto stored = box.mailsIn(slot);
    ASSERT_EQ(stored.size(), sample.files.size());
    const testing::StoredMail& mail = stored.back();
    EXPECT_EQ(mail.subject, sample.subject);
    EXPECT_EQ(mail.from, sample.sender);
    EXPECT_EQ(mail.date, sample.date);
    EXPECT_THAT(mail.body, ::testing::StartsWith(sample.bodyStart));

    std::set<std::string> files;
    for (const auto& entry :
         std::filesystem::directory_iterator(request.folder.attachmentFolder())) {
        if (entry.is_regular_file()) {
            files.insert(entry.path().filename().string());
        }
    }
    if (sample.fileName.empty()) {
        EXPECT_TRUE(files.empty()) << *files.begin();
        return;
    }
    EXPECT_EQ(files, std::set<std::string>{sample.fileName});
    const std::string expected = sample.fileBytes.rfind('@', 0) == 0
                                     ? readBytes(samplePath(sample.fileBytes.substr(1)))
                                     : sample.fileBytes;
    EXPECT_EQ(readBytes(request.folder.attachmentFolder() / sample.fileName), expected);
}

class ReceivedOriginal : public ReceivedSample {};

// What CP932 lacks (emoji, 𠮷, é, Hangul) is "?" in the record, and the
// original kept beside the box is the mail byte for byte as the server sent
// it (Maildir keeps LF; the POP3 server sends the sample's CRLF again).
TEST_F(ReceivedOriginal, IsKeptAsTheServerSentIt) {
    const std::string sample = readBytes(samplePath("utf8-emoji-and-beyond-cp932.eml"));
    servers.deliver(sample);
    ASSERT_TRUE(session.run(request, observer).succeeded());
    EXPECT_EQ(servers.messagesInMaildir(), 0u);
    store::MailStore store(box.folder().dataFolder().string());
    ASSERT_TRUE(store.readRecord(store::kOtherBox, 1).value());
    const store::MailFields texts = store.currentFields(store::kOtherBox);
    EXPECT_THAT(texts.subject, ::testing::HasSubstr("?"));
    auto original = store::Originals(store.dataFolder()).find(store::kOtherBox, texts);
    ASSERT_TRUE(original.isOk() && original.value().has_value());
    EXPECT_EQ(*original.value(), sample);
}

INSTANTIATE_TEST_SUITE_P(
    RealSenders, ReceivedSample,
    ::testing::Values(
        Sample{{"raw-iso2022jp-header.eml"},
               "会議の件について",
               "山本一郎 <yamamoto@example.jp>",
               "Wed, 2 Dec 2026 09:15:00 +0900",
               "来週の会議は三階で行います。"},
        Sample{{"us-ascii-label-on-iso2022jp.eml"},
               "お知らせ：停電",
               "経理部 <keiri@example.jp>",
               "Thu, 3 Dec 2026 11:00:00 +0900",
               "計画停電のお知らせです。"},
        Sample{{"iso2022jp-jisx0212.eml"},
               "髙﨑さんの件",
               "takahashi@example.jp",
               "Fri, 4 Dec 2026 16:20:00 +0900",
               "髙﨑です。ⅰ、ⅱ、ⅲの順に￤区切りで書きます。?は常用外。"},
        Sample{{"iso2022jp2-multilingual.eml"},
               "韓国語：??? 中文 Ελληνικ?",
               "multi@example.jp",
               "Sat, 5 Dec 2026 08:00:00 +0900",
               "日本語と???、中文?体、Fran?ais (caf?)、Ελληνικ?。"},
        Sample{{"pre-mime-iso2022jp.eml"},
               "昔のメール",
               "kobayashi@example.jp",
               "Mon, 12 Jun 1995 10:30:00 +0900",
               "MIME ヘッダのない JIS のメールです。\r\n二行目もあります。"},
        Sample{{"pre-mime-shift-jis.eml"},
               "シフトJISのまま",
               "nakamura@example.jp",
               "Mon, 12 Jun 1995 10:30:00 +0900",
               "MIME ヘッダのない シフトJIS のメールです。"},
        Sample{{"euc-jp-labelled-shift-jis.eml"},
               "label",
               "euc@example.jp",
               "Sun, 6 Dec 2026 12:00:00 +0900",
               "こんにちは。よろしくおねがいします。\r\nありがとうございました。またあした。"},
        Sample{{"shift-jis-half-width-kana.eml"},
               "ﾊﾝｶｸ ｶﾀｶﾅ",
               "kana@example.jp",
               "Sun, 06 Dec 2026 12:30:00 +0900",
               "ｱｲｳｴ ｶｷｸｹ ｻｼｽｾ ﾀﾁﾂﾃ ﾅﾆﾇﾈ\r\nｺﾝﾆﾁ ﾃﾞｽｶ"},
        Sample{{"ks-c-5601-1987.eml"},
               "????? 會議",
               "kim@example.kr",
               "Mon, 7 Dec 2026 10:00:00 +0900",
               "?????. 會議? 月曜日???."},
        Sample{{"gb2312-with-gbk-characters.eml"},
               "会?通知 ?",
               "wang@example.cn",
               "Mon, 7 Dec 2026 11:00:00 +0800",
               "会?在三楼。朱?基"},
        Sample{{"iso-8859-8-i.eml"},
               "????",
               "cohen@example.il",
               "Mon, 7 Dec 2026 12:00:00 +0200",
               "????, Hebrew text."},
        Sample{{"q-word-ending-in-equals.eml"},
               "日本語",
               "q@example.jp",
               "Tue, 8 Dec 2026 09:00:00 +0900",
               "Q"},
        Sample{{"filename-on-folded-line.eml"},
               "folded name",
               "fold@example.jp",
               "Tue, 08 Dec 2026 12:00:00 +0900",
               "see the file",
               "report 2026.dat",
               "folded file content\n"},
        Sample{{"first-line-blanks.eml"},
               "first line blank",
               "blank@example.jp",
               "Tue, 08 Dec 2026 13:00:00 +0900",
               "body after a blank first line",
               "blank.txt",
               "blank line file\n"},
        Sample{{"two-content-types.eml"},
               "two types",
               "twice@example.jp",
               "Tue, 8 Dec 2026 14:00:00 +0900",
               "最初の Content-Type が正しい。<b>タグ</b>は文字のまま。"},
        Sample{{"inline-text-with-file-name.eml"},
               "memo",
               "memo@example.jp",
               "Tue, 08 Dec 2026 10:00:00 +0900",
               "メモの本文です。",
               "メモ.txt",
               "メモの本文です。\n"},
        Sample{{"html-title-in-body.eml"},
               "html title",
               "html@example.jp",
               "Tue, 08 Dec 2026 11:00:00 +0900",
               "本文です。"},
        Sample{{"split-mail-1-of-3.eml", "split-mail-2-of-3.eml", "split-mail-3-of-3.eml"},
               "split sample",
               "split@example.jp",
               "Wed, 9 Dec 2026 08:01:00 +0900",
               "",
               "split-mail.data",
               "@split-mail.data"},
        Sample{{"date-jst-zone.eml"},
               "date-jst-zone.eml",
               "date@example.jp",
               "Fri, 1 Mar 2024 09:01:00 JST",
               "date"},
        Sample{{"date-without-zone.eml"},
               "date-without-zone.eml",
               "date@example.jp",
               "Fri, 1 Mar 2024 09:01:00",
               "date"}));

}  // namespace
}  // namespace qf::receive
