#include "transport/Addresses.h"

#include <gtest/gtest.h>

#include "transport/EnvelopeGate.h"
#include "transport/MimeTestSupport.h"

namespace qf::transport {
namespace {

std::vector<std::string> addressesIn(const std::string& text) {
    std::vector<std::string> addresses;
    for (const Mailbox& mailbox : parseMailboxList(text)) {
        addresses.push_back(mailbox.address);
    }
    return addresses;
}

std::string fromOf(const std::string& sample) {
    const std::string mail = testing::sampleMail(sample);
    const std::size_t end = mail.find("\r\n");
    return mail.substr(6, end - 6);  // after "From: "
}

struct Shape {
    std::string sample;  // tests/data/mail/, see SOURCES.md there
    std::string stored;
    std::vector<std::string> readBack;  // what a reply to the stored text goes to
};

// The three ways a decoded From used to add recipients, and the whole-address
// word that used to smuggle SMTP commands.
class HostileFrom : public ::testing::TestWithParam<Shape> {};

TEST_P(HostileFrom, IsStoredAsTheRealSenderOnly) {
    const Shape& shape = GetParam();
    const std::string stored = decodeAddressHeader(fromOf(shape.sample));
    EXPECT_EQ(stored, shape.stored);
    EXPECT_EQ(addressesIn(stored), shape.readBack);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, HostileFrom,
    ::testing::Values(
        // The encoded-word is the bare address: it stays as written, and no
        // reader finds a domain in it.
        Shape{"hostile-from-smuggled-commands.eml",
              "=?utf-8?b?Ig0KUkNQVCBUTzo8ZXZpbEBldmlsLmV4YW1wbGU+"
              "DQpEQVRBDQoNCnNtdWdnbGVkDQouDQoiQHguanA=?=",
              {"=?utf-8?b?Ig0KUkNQVCBUTzo8ZXZpbEBldmlsLmV4YW1wbGU+"
               "DQpEQVRBDQoNCnNtdWdnbGVkDQouDQoiQHguanA=?="}},
        Shape{"hostile-from-comma-in-name.eml",
              "\"evil5@evil.example,\" <victim@example.jp>",
              {"victim@example.jp"}},
        Shape{"hostile-from-word-in-angle.eml",
              "Sender <=?utf-8?b?eEB5Pg0KUkNQVCBUTzo8ZXZpbEBldmlsLmV4YW1wbGU=?=>",
              {"=?utf-8?b?eEB5Pg0KUkNQVCBUTzo8ZXZpbEBldmlsLmV4YW1wbGU=?="}},
        Shape{"hostile-from-crlf-in-name.eml",
              "\"Mallory  RCPT TO:<evil@evil.example>\" <victim@example.jp>",
              {"victim@example.jp"}}),
    [](const ::testing::TestParamInfo<Shape>& row) {
        std::string name = row.param.sample.substr(13, row.param.sample.size() - 17);
        std::erase(name, '-');
        return name;
    });

TEST(HostileFrom, AddressesNoReaderFindsAreRefusedAtTheGate) {
    for (const char* sample :
         {"hostile-from-smuggled-commands.eml", "hostile-from-word-in-angle.eml"}) {
        for (const std::string& address : addressesIn(decodeAddressHeader(fromOf(sample)))) {
            EXPECT_NE(envelopeAddressFault(address), AddressFault::kNone) << address;
        }
    }
}

TEST(ReceivedAddresses, EverydayFromsAreStoredAsTheyAlwaysWere) {
    const std::pair<std::string, std::string> cases[] = {
        {"=?UTF-8?B?6Yi05pyo?= <suzuki@example.jp>", "鈴木 <suzuki@example.jp>"},
        {"tanaka@example.jp (Tanaka Taro)", "tanaka@example.jp (Tanaka Taro)"},
        {"\x1B$B;3K\\0lO:\x1B(B <yamamoto@example.jp>", "山本一郎 <yamamoto@example.jp>"},
        {"\"Bob, Jr.\" <bob@example.com>", "\"Bob, Jr.\" <bob@example.com>"},
        {"J. Smith <j@example.com>", "J. Smith <j@example.com>"},
        {"team: a@example.jp, b@example.jp;", "team: a@example.jp, b@example.jp;"},
        // Without angle brackets the words before the address are its name;
        // the brackets are added, since no reader would find it otherwise.
        {"Big Bug bb@bug.com", "Big Bug <bb@bug.com>"},
    };
    for (const auto& [raw, stored] : cases) {
        EXPECT_EQ(decodeAddressHeader(raw), stored);
    }
    EXPECT_EQ(addressesIn(decodeAddressHeader("Big Bug bb@bug.com")),
              std::vector<std::string>{"bb@bug.com"});
    const std::vector<Mailbox> two = parseReceivedAddresses("a@example.jp b@example.jp");
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1].address, "b@example.jp");
}

// The stored text is what a CP932 record gives back: ¥ and ‾ in their
// full-width forms, so that no backslash is born to escape a quote (the first
// row used to add evil20 to a reply); a name
// some readers would take for an address is quoted; an address CP932 cannot
// hold is kept as a name only.
TEST(ReceivedAddresses, StoredTextReadsTheSameAfterCp932) {
    const std::pair<std::string, std::string> cases[] = {
        {"=?utf-8?b?YcKlIiwgZXZpbDIwQGV2aWwuZXhhbXBsZSwgImI=?= <v@example.jp>",
         "a￥\", evil20@evil.example, \"b <v@example.jp>"},
        {"=?utf-8?b?wqU=?= <v@example.jp>", "￥ <v@example.jp>"},
        {"\"x\xE2\x80\xBE\" <v@example.jp>", "\"x￣\" <v@example.jp>"},
        {"=?utf-8?b?IlJDUFQgVE86PGV2aWxAZXZpbC5leGFtcGxlPiJAZXhhbXBsZS5qcA==?= <v@example.jp>",
         "\"\\\"RCPT TO:<evil@evil.example>\\\"@example.jp\" <v@example.jp>"},
        {"<v\xE2\x80\xBE@example.jp>, w@example.jp", "\"v￣@example.jp\" <>, w@example.jp"},
    };
    for (const auto& [raw, stored] : cases) {
        EXPECT_EQ(decodeAddressHeader(raw), stored) << raw;
        EXPECT_EQ(asStoredText(stored), stored);
    }
}

TEST(ReceivedAddresses, OnlyDisplayNamesAreDecoded) {
    // "表" in Shift_JIS ends in "\", which must not escape the closing quote.
    auto mailboxes = parseReceivedAddresses(
        "\"\x95\x5C\" <a@example.jp>, =?UTF-8?B?ZXZpbEBldmlsLmV4YW1wbGU=?=@x.jp,\r\n"
        " (comment <c@x.jp>) group: <m@example.jp> ;, =?UTF-8?B?Ij4i?= <q@example.jp>");
    ASSERT_EQ(mailboxes.size(), 4u);
    EXPECT_EQ(mailboxes[0].name, "表");
    EXPECT_EQ(mailboxes[0].address, "a@example.jp");
    EXPECT_EQ(mailboxes[1].address, "=?UTF-8?B?ZXZpbEBldmlsLmV4YW1wbGU=?=@x.jp");
    EXPECT_EQ(mailboxes[2].address, "m@example.jp");
    EXPECT_EQ(mailboxes[3].name, "\">\"");
    // A name of quotes and specials is written so that it reads back whole.
    EXPECT_EQ(formatMailbox(mailboxes[3]), "\"\\\">\\\"\" <q@example.jp>");
    EXPECT_EQ(addressesIn(formatMailbox(mailboxes[3])), std::vector<std::string>{"q@example.jp"});
    // An escape that starts no ISO-2022-JP run hides nothing after it.
    mailboxes = parseReceivedAddresses("\"\x1B[2J\" <a@example.jp>, b@example.jp");
    ASSERT_EQ(mailboxes.size(), 2u);
    EXPECT_EQ(mailboxes[0].name, "[2J");
    EXPECT_EQ(mailboxes[1].address, "b@example.jp");
}

TEST(ReceivedAddresses, ControlCharactersBecomeSpaces) {
    EXPECT_EQ(controlsToSpaces("a\r\nb\x1B[2Jc\x7F\xC2\x9B"
                               "d日本"),
              "a  b [2Jc  d日本");
}

}  // namespace
}  // namespace qf::transport
