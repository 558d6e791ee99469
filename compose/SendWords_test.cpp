#include "compose/SendWords.h"

#include <gtest/gtest.h>

namespace qf::compose {
namespace {

using transport::TransportFault;

TEST(SendWordsTest, TheCodeChoosesTheRowAndWhatItNames) {
    // A closed port names the server; libcurl's text follows in brackets.
    ui::Message message = sendFailureMessage(
        {TransportFault::kConnectFailed, "Failed to connect to 127.0.0.1 port 1", {}, false},
        "127.0.0.1:1");
    EXPECT_EQ(ui::words(message), ui::words(ui::Say::kSendConnectFailed, {"127.0.0.1:1"},
                                            "Failed to connect to 127.0.0.1 port 1"));

    // The server refused the recipient: the address, then its reply.
    message = sendFailureMessage(
        {TransportFault::kRecipientRefused, "550 5.1.1 unknown", "a@example.jp", false}, "smtp");
    EXPECT_EQ(message.id, ui::Say::kSendRecipientRefused);
    EXPECT_EQ(message.context, std::vector<std::string>{"a@example.jp"});
    EXPECT_EQ(message.detail, "550 5.1.1 unknown");

    // Refused before any byte went out: the address is all there is to say.
    message = sendFailureMessage(
        {TransportFault::kSenderControlCharacter, "me@x\\r\\n", "me@x\\r\\n", false}, "smtp");
    EXPECT_EQ(message.id, ui::Say::kSendSenderHasControlCharacter);
    EXPECT_EQ(message.detail, "");

    EXPECT_EQ(
        sendFailureMessage({TransportFault::kDeliveryUnconfirmed, "no reply", {}, false}, "").id,
        ui::Say::kSendUnconfirmed);
    EXPECT_EQ(sendFailureMessage({TransportFault::kSendFailed, "", {}, true}, "").id,
              ui::Say::kAddressBookNotRead);
    // No SMTP server set: say so, not that "「」" was not found.
    EXPECT_EQ(sendFailureMessage({TransportFault::kBadServerName, "empty", {}, false}, " ").id,
              ui::Say::kSendNoServer);
}

}  // namespace
}  // namespace qf::compose
