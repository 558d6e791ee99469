#include "transport/SplitMail.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <vector>

#include "store/StoreTestSupport.h"
#include "transport/LastError.h"
#include "transport/MailDecoder.h"
#include "transport/MimeTestSupport.h"
#include "transport/NMail.h"

namespace qf::transport {
namespace {

using testing::namesIn;
using testing::readBytes;
using testing::TempFolder;
using testing::withCrLf;

// Decodes `mail` as the receive run does; `body` (when given) receives the
// decoded body from a buffer of `bodyCapacity` bytes (0: the mail's size + 1).
int decodeInto(const std::string& folder, const std::string& mail, std::string* subject = nullptr,
               std::string* body = nullptr, std::size_t bodyCapacity = 0) {
    std::vector<char> s(8192), d(8192), f(8192), h(8192);
    std::vector<char> decoded(std::max(bodyCapacity, mail.size() + 1));
    int result = NMailAttachmentFileFirst(0, s.data(), d.data(), f.data(), h.data(), decoded.data(),
                                          (folder + "/").c_str(), "", mail.c_str(), 0);
    NMailAttachmentFileClose(0);
    if (subject) {
        *subject = s.data();
    }
    if (body) {
        *body = decoded.data();
    }
    return result;
}

// A file of `size` bytes that no two positions of which look alike for long.
std::string sampleData(std::size_t size) {
    std::string data;
    for (std::size_t i = 0; i < size; ++i) {
        data += static_cast<char>((i * 7 + i / 251) % 256);
    }
    return data;
}

std::string partial(const std::string& params, const std::string& body = "chunk\r\n") {
    return "Subject: split\r\nMIME-Version: 1.0\r\nContent-Type: message/partial; " + params +
           "\r\n\r\n" + body;
}

class SplitMailTest : public ::testing::Test {
  protected:
    TempFolder m_folder;
};

TEST_F(SplitMailTest, ThreeMpackPartsInAnyOrderAcrossCalls) {
    TempFolder work;
    std::string data = sampleData(4000);
    std::ofstream(work.path() + "/data.bin", std::ios::binary) << data;
    std::string command = "cd '" + work.path() + "' && mpack -s subj -m 1500 -o part data.bin";
    ASSERT_EQ(std::system(command.c_str()), 0) << "mpack is needed (scripts/setup.sh)";
    ASSERT_TRUE(namesIn(work.path()).count("part.03"));
    ASSERT_FALSE(namesIn(work.path()).count("part.04"));

    // Each call stands for a separate receive run: only the disk connects them.
    std::string subject;
    EXPECT_EQ(decodeInto(m_folder.path(), withCrLf(readBytes(work.path() + "/part.03"))),
              kSplitMailIncomplete);
    EXPECT_EQ(decodeInto(m_folder.path(), withCrLf(readBytes(work.path() + "/part.01"))),
              kSplitMailIncomplete);
    EXPECT_EQ(decodeInto(m_folder.path(), withCrLf(readBytes(work.path() + "/part.01"))),
              kSplitMailIncomplete);  // fetched twice: kept once
    EXPECT_FALSE(namesIn(m_folder.path()).count("data.bin"));
    EXPECT_EQ(decodeInto(m_folder.path(), withCrLf(readBytes(work.path() + "/part.02")), &subject),
              kAttachmentsWritten);

    EXPECT_EQ(subject, "subj");
    EXPECT_EQ(readBytes(m_folder.path() + "/data.bin"), data);
    // The kept parts are gone once the mail is whole.
    EXPECT_TRUE(namesIn(m_folder.path() + "/.split-mail").empty());
}

TEST_F(SplitMailTest, PartsStayKeptUntilTheReassembledAttachmentIsWritten) {
    TempFolder work;
    std::string data = sampleData(4000);
    std::ofstream(work.path() + "/data.bin", std::ios::binary) << data;
    std::string command = "cd '" + work.path() + "' && mpack -s subj -m 1500 -o part data.bin";
    ASSERT_EQ(std::system(command.c_str()), 0) << "mpack is needed (scripts/setup.sh)";
    EXPECT_EQ(decodeInto(m_folder.path(), withCrLf(readBytes(work.path() + "/part.01"))),
              kSplitMailIncomplete);
    EXPECT_EQ(decodeInto(m_folder.path(), withCrLf(readBytes(work.path() + "/part.02"))),
              kSplitMailIncomplete);
    const std::string last = withCrLf(readBytes(work.path() + "/part.03"));

    // A file-size limit below the attachment's size makes its write fail (for
    // root too); the parts are small enough to be kept under it.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 3600;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const int failed = decodeInto(m_folder.path(), last);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    EXPECT_EQ(failed, kAttachmentCannotBeOpened) << lastFailure().diagnostic;
    // The caller keeps the last part on the server; the others must survive.
    EXPECT_FALSE(namesIn(m_folder.path() + "/.split-mail").empty());

    EXPECT_EQ(decodeInto(m_folder.path(), last), kAttachmentsWritten);
    EXPECT_EQ(readBytes(m_folder.path() + "/data.bin"), data);
    EXPECT_TRUE(namesIn(m_folder.path() + "/.split-mail").empty());
}

TEST_F(SplitMailTest, CompletedMailFillsTheLargerBodyBufferTheCallerGives) {
    std::string text(3000, 'x');
    std::string inner = "Subject: long\r\nContent-Type: text/plain\r\n\r\n" + text + "\r\n";
    std::string first = partial("id=\"l@x\"; number=1; total=2", inner.substr(0, 2900));
    std::string second = partial("id=\"l@x\"; number=2; total=2", inner.substr(2900));
    ASSERT_EQ(decodeInto(m_folder.path(), first), kSplitMailIncomplete);

    std::string body;
    ASSERT_EQ(NMailSetOption(kOptionBodyBufferSize, 4000), 0);
    EXPECT_EQ(decodeInto(m_folder.path(), second, nullptr, &body, 4000), 0);
    ASSERT_EQ(NMailSetOption(kOptionBodyBufferSize, 0), 0);
    EXPECT_EQ(body, text + "\r\n");  // not cut to the last part's size
}

TEST_F(SplitMailTest, AbsurdPartsAreRefused) {
    const char* refused[] = {
        "id=\"a@x\"; number=1; total=101",  // more parts than we keep
        "id=\"a@x\"; number=0; total=2",    // numbers start at 1
        "id=\"a@x\"; number=3; total=2",    // beyond the total
        "number=1; total=2",                // no id
    };
    for (const char* params : refused) {
        EXPECT_EQ(decodeInto(m_folder.path(), partial(params)), -1) << params;
        EXPECT_EQ(lastFailure().fault, TransportFault::kSplitMailNotKept);
        EXPECT_NE(lastFailure().diagnostic.find("split mail"), std::string::npos)
            << lastFailure().diagnostic;
    }
    EXPECT_EQ(decodeInto(m_folder.path(), partial("id=\"b@x\"; number=1; total=3")),
              kSplitMailIncomplete);
    EXPECT_EQ(decodeInto(m_folder.path(), partial("id=\"b@x\"; number=2; total=2")), -1);
}

TEST_F(SplitMailTest, PartsOfOtherMailsAreNotMixedIn) {
    // Ids that clean to the same folder name still get folders of their own.
    EXPECT_NE(splitMailKey("a/b@x"), splitMailKey("a_b@x"));
    EXPECT_EQ(splitMailKey("../../etc").find('/'), std::string::npos);
    auto first =
        keepSplitPart(m_folder.path(), {"a/b@x", 1, 2}, partial("id=\"a/b@x\"; number=1; total=2"));
    ASSERT_TRUE(first);
    EXPECT_FALSE(first.value());
    auto other =
        keepSplitPart(m_folder.path(), {"a_b@x", 2, 2}, partial("id=\"a_b@x\"; number=2; total=2"));
    ASSERT_TRUE(other);
    EXPECT_FALSE(other.value());
}

// Each write, sync and rename of keeping a part fails in turn: the call
// fails, so the receive run keeps the mail on the server, and the part
// fetched again on the next run completes the set.
TEST_F(SplitMailTest, AFailedWriteIsReportedAndTheNextRunCompletesTheSet) {
    const std::string inner = "Subject: whole\r\n\r\nfirst half, second half\r\n";
    const std::string first = partial("id=\"d@x\"; number=1; total=2", inner.substr(0, 30));
    const std::string second = partial("id=\"d@x\"; number=2; total=2", inner.substr(30));
    for (int failAt = 1;; ++failAt) {
        TempFolder folder;
        store::testing::FaultyFileSystem fs(failAt);
        auto kept = keepSplitPart(folder.path(), {"d@x", 1, 2}, first, fs);
        if (!fs.failed()) {
            ASSERT_TRUE(kept) << kept.status().toString();
            break;
        }
        EXPECT_EQ(kept.status().code(), StatusCode::kIoError) << "step " << failAt;
        ASSERT_TRUE(keepSplitPart(folder.path(), {"d@x", 2, 2}, second));
        auto whole = keepSplitPart(folder.path(), {"d@x", 1, 2}, first);
        ASSERT_TRUE(whole) << "step " << failAt << ": " << whole.status().toString();
        EXPECT_TRUE(whole.value()) << "step " << failAt;
    }
}

TEST_F(SplitMailTest, ReassembledMailIsDecoded) {
    std::string inner =
        "Subject: =?ISO-2022-JP?B?GyRCSiwzZBsoQg==?=\r\nContent-Type: text/plain; "
        "charset=ISO-2022-JP\r\n\r\n\x1B$B$\"$$$&\x1B(B\r\n";
    std::string first = partial("id=\"c@x\"; number=1; total=2", inner.substr(0, 40));
    std::string second = partial("id=\"c@x\"; number=2; total=2", inner.substr(40));
    auto kept = keepSplitPart(m_folder.path(), {"c@x", 2, 2}, second);
    ASSERT_TRUE(kept);
    auto whole = keepSplitPart(m_folder.path(), {"c@x", 1, 2}, first);
    ASSERT_TRUE(whole) << whole.status().toString();
    ASSERT_TRUE(whole.value());
    DecodedMail mail = decodeMail(*whole.value());
    EXPECT_EQ(mail.headers.subject, "分割");
    EXPECT_EQ(mail.body, "あいう\r\n");
}

}  // namespace
}  // namespace qf::transport
