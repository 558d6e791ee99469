#include "compose/MailtoLink.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qf::compose {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

MailtoLink parsed(std::string_view link) {
    Result<MailtoLink> result = parseMailtoLink(link);
    EXPECT_TRUE(result) << link << ": " << result.status().message();
    return result ? result.value() : MailtoLink{};
}

TEST(MailtoLinkTest, FillsEveryFieldFromPercentEncodedUtf8) {
    const MailtoLink link = parsed(
        "MailTo:tanaka@example.jp?Subject=%E4%BC%9A%E8%AD%B0%E3%81%AE%E4%BB%B6+1"
        "&body=%E3%81%93%E3%82%93%E3%81%AB%E3%81%A1%E3%81%AF%0D%0A2%E8%A1%8C%E7%9B%AE");
    EXPECT_THAT(link.to, ElementsAre("tanaka@example.jp"));
    EXPECT_EQ(link.subject, "会議の件+1");  // "+" stays a plus
    EXPECT_EQ(link.body, "こんにちは\n2行目");
}

TEST(MailtoLinkTest, SeveralAddressesAndCopiesKeepTheirFields) {
    const MailtoLink link = parsed(
        "mailto:a@example.jp,%20b@example.jp?to=c@example.jp&cc=d@example.jp%2Ce@example.jp"
        "&bcc=hidden@example.jp&in-reply-to=%3Cx@y%3E");
    EXPECT_THAT(link.to, ElementsAre("a@example.jp", "b@example.jp", "c@example.jp"));
    EXPECT_THAT(link.cc, ElementsAre("d@example.jp", "e@example.jp"));
    EXPECT_THAT(link.bcc, ElementsAre("hidden@example.jp"));
    EXPECT_EQ(joinedAddressLine(link.cc), "d@example.jp, e@example.jp");
}

TEST(MailtoLinkTest, EmptyAndBareLinksGiveAnEmptyMail) {
    for (std::string_view bare : {"mailto:", "mailto:?", "mailto:?subject", "mailto:,,"}) {
        const MailtoLink link = parsed(bare);
        EXPECT_THAT(link.to, IsEmpty()) << bare;
        EXPECT_EQ(link.subject, "") << bare;
    }
}

TEST(MailtoLinkTest, FirstSubjectWinsAndControlsCannotSplitIt) {
    const MailtoLink link = parsed("mailto:a@example.jp?subject=A%0D%0ABcc:%20x@evil&subject=B");
    EXPECT_EQ(link.subject, "A  Bcc: x@evil");
}

TEST(MailtoLinkTest, BodyKeepsTabsAndLineBreaksButDropsOtherControls) {
    EXPECT_EQ(parsed("mailto:?body=a%09b%0Dc%00d%1Be%0A").body, "a\tb\ncde\n");
}

TEST(MailtoLinkTest, HostileOrBrokenLinksAreRefusedWithTheirFault) {
    struct Case {
        std::string link;
        std::string fault;
    };
    const Case cases[] = {
        {"http://example.jp/", "mailto:"},
        {"mailto:a@example.jp%0D%0ARCPT%20TO:%3Cx@evil%3E", "control character"},
        {"mailto:a@example.jp?cc=b@example.jp%0A", "control character"},
        {"mailto:a@example.jp?subject=%E4%BC", "UTF-8"},
        {"mailto:a@example.jp?subject=%82%A0", "UTF-8"},  // CP932, not UTF-8
        {"mailto:a@example.jp?body=100%", "hex digits"},
        {"mailto:a@example.jp?body=%zz", "hex digits"},
        {"mailto:?body=" + std::string(kMailtoLinkMaxBytes, 'x'), "too long"},
    };
    for (const Case& c : cases) {
        Result<MailtoLink> link = parseMailtoLink(c.link);
        ASSERT_FALSE(link) << c.link.substr(0, 60);
        EXPECT_EQ(link.status().code(), StatusCode::kInvalidArgument);
        EXPECT_NE(link.status().message().find(c.fault), std::string::npos)
            << link.status().message();
    }
}

}  // namespace
}  // namespace qf::compose
