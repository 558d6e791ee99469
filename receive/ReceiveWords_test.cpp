#include "receive/ReceiveWords.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qf::receive {
namespace {

TEST(NewMailCountsTest, NamesTheBoxesThatTookMailInRoutingOrder) {
    const std::array<std::string, kBoxSlotCount> names = {"田中さん", "佐藤さん", "",
                                                          "",         "",         "その他"};
    EXPECT_EQ(newMailCounts({2, 0, 0, 0, 0, 1}, names), "田中さん 2通, その他 1通");
    EXPECT_EQ(newMailCounts({0, 12, 0, 0, 0, 0}, names), "佐藤さん 12通");
    EXPECT_EQ(newMailCounts({}, names), "");
}

// The code chooses the sentence; the server's text follows in brackets.
TEST(ReceiveWordsTest, TheTransportsCodeChoosesTheRow) {
    using transport::TransportFault;
    struct Row {
        ReceiveMessage message;
        ui::Say expected;
    };
    const Row rows[] = {
        {{MessageKind::kAuthenticationFailed, 0, "-ERR no", TransportFault::kLoginRefused},
         ui::Say::kReceiveLoginRefused},
        {{MessageKind::kAuthenticationFailed, 0, "+OK hi", TransportFault::kApopNotOffered},
         ui::Say::kReceiveApopNotOffered},
        {{MessageKind::kAuthenticationFailed, 0, "no SASL", TransportFault::kMechanismNotOffered},
         ui::Say::kReceiveXOAuth2NotOffered},
        {{MessageKind::kAuthenticationFailed, 0, "-ERR [AUTH]", TransportFault::kTokenRefused},
         ui::Say::kReceiveTokenRefused},
        {{MessageKind::kAuthenticationFailed, 0, "no reply", TransportFault::kTimedOut},
         ui::Say::kReceiveTimedOut},
        {{MessageKind::kFetchFailed, 3, "no reply", TransportFault::kTimedOut},
         ui::Say::kReceiveFetchTimedOut},
        {{MessageKind::kFetchFailed, 3, "-ERR gone", TransportFault::kFetchFailed},
         ui::Say::kReceiveFetchFailed},
    };
    for (const Row& row : rows) {
        const ui::Message message = messageOf(row.message, "pop.example.jp");
        EXPECT_EQ(message.id, row.expected) << row.message.detail;
        EXPECT_EQ(message.detail, row.message.detail);
    }
    EXPECT_THAT(ui::words(messageOf(rows[4].message, "pop.example.jp")),
                ::testing::StartsWith("POP3サーバー「pop.example.jp」が時間内に応答しなかった"));

    ReceiveOutcome unreachable;
    unreachable.end = RunEnd::kConnectFailed;
    for (const auto& [fault, expected] :
         {std::pair{TransportFault::kConnectFailed, ui::Say::kReceiveConnectFailed},
          std::pair{TransportFault::kServerNotFound, ui::Say::kReceiveServerNotFound},
          std::pair{TransportFault::kTlsUntrustedCertificate, ui::Say::kReceiveTlsUntrusted},
          std::pair{TransportFault::kTlsNotOffered, ui::Say::kReceiveTlsNotOffered}}) {
        unreachable.fault = fault;
        EXPECT_EQ(startFailureOf(unreachable, "pop.example.jp")->id, expected);
    }
}

}  // namespace
}  // namespace qf::receive
