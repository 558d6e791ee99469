#include "compose/ForwardReply.h"

#include <gtest/gtest.h>

namespace qf::compose {
namespace {

// The header of a mail made by Python's email library (EmailMessage with
// headerregistry.Address for From and To, as_bytes(), CR LF line ends).
constexpr std::string_view kMailWithReplyToAndCc =
    "From: =?utf-8?b?5bGx55SwIOiKseWtkA==?= <hanako@example.jp>\r\n"
    "Reply-To: list@example.jp\r\n"
    "To: me@example.com, =?utf-8?b?6Yi05pyo?= <suzuki@example.jp>\r\n"
    "Cc: Hanako@Example.jp, ME@example.com, \"Sato, Jiro\" <sato@example.org>\r\n"
    "Subject: =?utf-8?b?5Lya6K2w44Gu5Lu2?=\r\n"
    "Date: Tue, 08 Dec 2026 10:00:00 +0900\r\n"
    "MIME-Version: 1.0\r\n"
    "\r\n"
    "body\r\n";

std::vector<std::string> addresses(const std::vector<transport::Mailbox>& boxes) {
    std::vector<std::string> list;
    for (const auto& box : boxes) {
        list.push_back(box.address);
    }
    return list;
}

TEST(ForwardSubjectTest, OnePrefixHoweverOftenForwardedOrAnswered) {
    EXPECT_EQ(forwardSubject("会議の件"), "Fwd: 会議の件");
    EXPECT_EQ(forwardSubject("Fwd: Fwd: x"), "Fwd: x");
    EXPECT_EQ(forwardSubject("FW: x"), "Fwd: x");
    EXPECT_EQ(forwardSubject("fw:x"), "Fwd: x");
    EXPECT_EQ(forwardSubject("転送：x"), "Fwd: x");
    EXPECT_EQ(forwardSubject("Re: Fwd: x"), "Fwd: Re: x");
    EXPECT_EQ(forwardSubject("Re[2]: Re: x"), "Fwd: Re: x");
    // Only prefixes go: a word that starts alike stays.
    EXPECT_EQ(forwardSubject("Forward planning"), "Fwd: Forward planning");
    EXPECT_EQ(forwardSubject("Fwd:"), "Fwd: ");
}

TEST(ReplyAllTest, ReplyToThenToAndCcWithoutOwnAddressOrRepeats) {
    const ReplyAllRecipients all =
        replyAllRecipients(addressesOf(kMailWithReplyToAndCc), {"me@example.com"});
    EXPECT_TRUE(all.toReplyTo);
    // Reply-To stands for From; the same person named in Cc is kept there.
    EXPECT_EQ(addresses(all.recipients),
              (std::vector<std::string>{"list@example.jp", "suzuki@example.jp", "Hanako@Example.jp",
                                        "sato@example.org"}));
    EXPECT_EQ(all.recipients[1].name, "鈴木");
    // A display name with a comma reads back as one mailbox.
    const std::string line = recipientLine(all.recipients);
    EXPECT_EQ(addresses(transport::parseMailboxList(line)), addresses(all.recipients));
}

TEST(ReplyAllTest, WithoutReplyToTheSenderFirstAndAMailToOneselfGoesBackToTheSender) {
    const OriginalAddresses plain =
        addressesOf("From: a@x.jp\r\nTo: me@example.com\r\nCc: <>, b@y.jp\r\n\r\n");
    const ReplyAllRecipients all = replyAllRecipients(plain, {"ME@example.com"});
    EXPECT_FALSE(all.toReplyTo);
    EXPECT_EQ(addresses(all.recipients), (std::vector<std::string>{"a@x.jp", "b@y.jp"}));

    const OriginalAddresses self =
        addressesOf("From: me@example.com\r\nTo: me@example.com\r\n\r\n");
    EXPECT_EQ(addresses(replyAllRecipients(self, {"me@example.com"}).recipients),
              (std::vector<std::string>{"me@example.com"}));
}

}  // namespace
}  // namespace qf::compose
