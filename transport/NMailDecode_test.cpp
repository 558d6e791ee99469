#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "text/Cp932.h"
#include "transport/LastError.h"
#include "transport/MimeTestSupport.h"
#include "transport/NMail.h"

namespace qf::transport {
namespace {

using testing::namesIn;
using testing::readBytes;
using testing::sampleMail;
using testing::TempFolder;

// The five buffers of one NMailAttachmentFileFirst call, sized as the
// receive run sizes them.
struct Buffers {
    explicit Buffers(std::size_t mailBytes) : body(mailBytes + 1, ' ') {}
    std::vector<char> subject = std::vector<char>(8192);
    std::vector<char> date = std::vector<char>(8192);
    std::vector<char> sender = std::vector<char>(8192);
    std::vector<char> header = std::vector<char>(8192);
    std::vector<char> body;

    int decode(const std::string& folder, const std::string& mail) {
        return NMailAttachmentFileFirst(0, subject.data(), date.data(), sender.data(),
                                        header.data(), body.data(), folder.c_str(),
                                        (folder + "0.txt").c_str(), mail.c_str(), 0);
    }
};

std::string utf8(const std::vector<char>& buffer) {
    return text::fromCp932(buffer.data());
}

TEST(AttachmentFileFirst, FillsTheBuffersInCp932) {
    TempFolder folder;
    std::string mail = sampleMail("iso2022jp-nec-extensions.eml");
    Buffers buffers(mail.size());
    EXPECT_EQ(buffers.decode(folder.path() + "/", mail), 0);
    EXPECT_EQ(std::string(buffers.subject.data()), text::toCp932("①㈱髙﨑の件"));
    EXPECT_EQ(utf8(buffers.sender), "髙橋 <takahashi@example.jp>");
    EXPECT_EQ(utf8(buffers.date), "Tue, 8 Dec 2026 13:05:00 +0900");
    EXPECT_EQ(utf8(buffers.body), "株式会社①の髙橋です。\r\n№１２ ㈱テスト ｶﾞｷﾞｸﾞ\r\n以上\r\n");
    EXPECT_NE(utf8(buffers.header).find("From: 髙橋 <takahashi@example.jp>\r\n"),
              std::string::npos);
    EXPECT_EQ(NMailAttachmentFileClose(0), 0);
    EXPECT_TRUE(namesIn(folder.path()).empty());
}

TEST(AttachmentFileFirst, HostileNamesLandInsideTheFolder) {
    TempFolder root;
    std::string folder = root.path() + "/添付フォルダ";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    std::ofstream(folder + "/same.txt") << "already here";
    std::string mail = sampleMail("hostile-attachment-names.eml");
    Buffers buffers(mail.size());
    // The program passes a Windows-style folder in CP932.
    EXPECT_EQ(buffers.decode(text::toCp932(folder + "\\"), mail), kAttachmentsWritten);

    std::string longName;
    for (int i = 0; i < 65; ++i) {
        longName += "あ";
    }
    std::set<std::string> expected = {"evil.txt",       "absolute.txt", "windows.txt",
                                      "drive.txt",      "report.pdf",   longName + ".txt",
                                      "attachment.bin", "_bell_.txt",   "表.txt",
                                      "same.txt",       "same(1).txt",  "same(2).txt"};
    EXPECT_EQ(namesIn(folder), expected);
    EXPECT_EQ(namesIn(root.path()), std::set<std::string>{"添付フォルダ"});
    EXPECT_EQ(readBytes(folder + "/same.txt"), "already here");
    EXPECT_EQ(readBytes(folder + "/evil.txt"), "content 0\n");
    EXPECT_EQ(readBytes(folder + "/same(2).txt"), "content 10\n");
}

TEST(AttachmentFileFirst, AnUnwritableFolderGivesMinusFive) {
    TempFolder root;
    std::string notAFolder = root.path() + "/file";
    std::ofstream(notAFolder) << "x";
    std::string mail = sampleMail("rfc2231-name.eml");
    Buffers buffers(mail.size());
    EXPECT_EQ(buffers.decode(notAFolder + "/", mail), kAttachmentCannotBeOpened);
    EXPECT_EQ(lastFailure().fault, TransportFault::kAttachmentNotWritten);
    EXPECT_FALSE(lastFailure().diagnostic.empty());     // the system's reason
    EXPECT_EQ(utf8(buffers.body), "see attached\r\n");  // the mail itself is still decoded
}

// Hand-built hostile shapes: many parts of one name, and multiparts nested deeper
// than any mailer nests them.
std::string manyPartsMail(int parts) {
    std::string mail =
        "From: a@example.jp\r\nSubject: many\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
        "Content-Type: text/plain\r\n\r\nthe text\r\n";
    for (int i = 0; i < parts; ++i) {
        mail +=
            "--b\r\nContent-Type: application/octet-stream\r\n"
            "Content-Disposition: attachment; filename=\"same.bin\"\r\n\r\nx\r\n";
    }
    return mail + "--b--\r\n";
}

std::string deeplyNestedMail(int depth) {
    std::string mail = "From: a@example.jp\r\nSubject: deep\r\nMIME-Version: 1.0\r\n";
    for (int level = 0; level < depth; ++level) {
        mail += "Content-Type: multipart/mixed; boundary=\"b" + std::to_string(level) +
                "\"\r\n\r\n--b" + std::to_string(level) + "\r\n";
    }
    mail += "Content-Type: text/plain\r\n\r\nat the bottom\r\n";
    for (int level = depth - 1; level >= 0; --level) {
        mail += "--b" + std::to_string(level) + "--\r\n";
    }
    return mail;
}

TEST(AttachmentFileFirst, AMailBeyondTheLimitsIsWrittenWholeAsOneFile) {
    struct Row {
        std::string mail;
        TransportFault notice;
        std::string figure;
    };
    const Row rows[] = {{manyPartsMail(1001), TransportFault::kWholeMailTooManyParts, "1001"},
                        {deeplyNestedMail(40), TransportFault::kWholeMailNestedTooDeep, ""}};
    for (const Row& row : rows) {
        TempFolder folder;
        Buffers buffers(row.mail.size());
        EXPECT_EQ(buffers.decode(folder.path() + "/", row.mail), kAttachmentsWritten);
        EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{"未展開メール.eml"});
        EXPECT_EQ(readBytes(folder.path() + "/未展開メール.eml"), row.mail);
        EXPECT_EQ(lastFailure().fault, row.notice);
        EXPECT_EQ(lastFailure().diagnostic, row.figure);
        EXPECT_EQ(lastFailure().about, "未展開メール.eml");
    }
    // The next mail starts without the notice.
    Buffers buffers(100);
    buffers.decode(TempFolder().path() + "/", "Subject: x\r\n\r\nbody\r\n");
    EXPECT_EQ(lastFailure().fault, TransportFault::kNone);
}

TEST(AttachmentFileFirst, BodyIsCutToTheBufferTheCallerHas) {
    TempFolder folder;
    // base64 of a long text decodes to fewer bytes than the mail, except when
    // the mail is cut short by the caller: the buffer is never overrun.
    std::string mail = "Subject: x\r\n\r\n" + std::string(100, 'a') + "\r\n";
    Buffers buffers(mail.size());
    buffers.body.push_back('#');  // sentinel after the buffer the contract promises
    EXPECT_EQ(buffers.decode(folder.path() + "/", mail), 0);
    EXPECT_EQ(std::string(buffers.body.data()), std::string(100, 'a') + "\r\n");
    EXPECT_EQ(buffers.body.back(), '#');
}

}  // namespace
}  // namespace qf::transport
