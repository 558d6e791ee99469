#include "transport/EnvelopeGate.h"

#include <gtest/gtest.h>

namespace qf::transport {
namespace {

TEST(EnvelopeGate, TakesMailboxesAndRefusesEverythingElse) {
    const std::string longLocal(65, 'a');
    const std::string longDomain = std::string(250, 'd') + ".jp";
    const std::pair<std::string, AddressFault> cases[] = {
        {"tanaka@example.jp", AddressFault::kNone},
        {"first.last+tag@mail.example.co.jp", AddressFault::kNone},
        {"\"a b\"@example.jp", AddressFault::kNone},
        {"user@[192.0.2.1]", AddressFault::kNone},
        {"用户@例え.jp", AddressFault::kNone},
        {"\"\r\nRCPT TO:<evil@evil.example>\r\n\"@x.jp", AddressFault::kControlCharacter},
        {"victim@example.jp\r\nDATA", AddressFault::kControlCharacter},
        {std::string("a\0b@example.jp", 14), AddressFault::kControlCharacter},
        {"a\tb@example.jp", AddressFault::kControlCharacter},
        {"a\xC2\x85@example.jp", AddressFault::kControlCharacter},
        {longLocal + "@example.jp", AddressFault::kTooLong},
        {"a@" + longDomain, AddressFault::kTooLong},
        {"tanaka", AddressFault::kMalformed},
        {"", AddressFault::kMalformed},
        {"x@y>", AddressFault::kMalformed},
        {"<x@y", AddressFault::kMalformed},
        {"\"unbalanced@example.jp", AddressFault::kMalformed},
        {"\"a\\\"@example.jp", AddressFault::kMalformed},
        {"a b@example.jp", AddressFault::kMalformed},
        {".a@example.jp", AddressFault::kMalformed},
        {"a@-example.jp", AddressFault::kMalformed},
        {"a@example..jp", AddressFault::kMalformed},
        {"a@[192.0.2.1]]", AddressFault::kMalformed},
        {"=?utf-8?b?eEB5Pg0KUkNQVCBUTzo8ZXZpbEBldmlsLmV4YW1wbGU=?=", AddressFault::kMalformed},
        {"\xE3\x81@example.jp", AddressFault::kMalformed},  // a cut UTF-8 character
    };
    for (const auto& [address, fault] : cases) {
        EXPECT_EQ(envelopeAddressFault(address), fault) << printableAddress(address);
    }
}

TEST(EnvelopeGate, NamesTheFirstBadAddressOfTheEnvelope) {
    EXPECT_FALSE(checkEnvelope("me@example.jp", {"a@example.jp", "b@example.jp"}));
    EXPECT_FALSE(checkEnvelope("", {"a@example.jp"}));  // the null reverse-path
    auto refusal = checkEnvelope("me@example.jp", {"a@example.jp", "b@x\r\nQUIT", "c"});
    ASSERT_TRUE(refusal);
    EXPECT_FALSE(refusal->sender);
    EXPECT_EQ(refusal->address, "b@x\r\nQUIT");
    EXPECT_EQ(refusal->fault, AddressFault::kControlCharacter);
    refusal = checkEnvelope("me@example.jp>", {"a@example.jp"});
    ASSERT_TRUE(refusal);
    EXPECT_TRUE(refusal->sender);
}

TEST(EnvelopeGate, RefusesAddressTextsWithControlCharactersBeforeAnyParse) {
    EXPECT_FALSE(checkAddressTexts("me@example.jp", {"a@example.jp, B <b@example.jp>", ""}));
    // An old stored From: a parser would read x@y and a group holding evil.
    auto refusal =
        checkAddressTexts("me@example.jp", {"a@example.jp", "x@y>\r\nRCPT TO:<evil@evil.example>"});
    ASSERT_TRUE(refusal);
    EXPECT_FALSE(refusal->sender);
    EXPECT_EQ(refusal->address, "x@y>\r\nRCPT TO:<evil@evil.example>");
    EXPECT_TRUE(checkAddressTexts("me@example.jp\n", {"a@example.jp"})->sender);
}

TEST(EnvelopeGate, ShowsControlCharactersAndCutsLongAddresses) {
    EXPECT_EQ(printableAddress("\"\r\nRCPT\x01\xC2\x9B\"@日本.jp"),
              "\"\\r\\nRCPT\\x01\\xC2\\x9B\"@日本.jp");
    EXPECT_EQ(printableAddress(std::string(100, 'a'), 80), std::string(80, 'a') + "…");
}

}  // namespace
}  // namespace qf::transport
