#include "compose/Greetings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace qf::compose {
namespace {

constexpr std::string_view kIdeographicSpace = "\xE3\x80\x80";

TEST(FortuneDrawTest, MapsTheEdgesOfTheUnitInterval) {
    EXPECT_EQ(fortuneNumber(0.0f), 1);
    EXPECT_EQ(fortuneNumber(0.5f), 7);
    // The largest float below 1 still lands on the last text, not past it.
    EXPECT_EQ(fortuneNumber(std::nextafter(1.0f, 0.0f)), 12);
    // A faulty source cannot index outside the table.
    EXPECT_EQ(fortuneNumber(1.0f), 12);
    EXPECT_EQ(fortuneNumber(-0.5f), 1);
    EXPECT_EQ(fortuneNumber(std::nanf("")), 1);
}

TEST(FortuneDrawTest, EveryTextComesUpOverALongRun) {
    // An even sweep of the interval, as a fair source would give over many sends.
    std::array<int, 12> seen{};
    const int draws = 12000;
    for (int i = 0; i < draws; ++i) {
        float x = static_cast<float>(i) / static_cast<float>(draws);
        ++seen[static_cast<std::size_t>(fortuneNumber(x) - 1)];
    }
    for (int hits : seen) {
        EXPECT_NEAR(hits, draws / 12.0, 2);
    }
}

TEST(FortuneDrawTest, TimerSeededSourceStaysBelowOneAndReachesEveryText) {
    UnitFloatSource source = timerSeededSource();
    std::set<int> numbers;
    for (int i = 0; i < 5000; ++i) {
        float x = source();
        ASSERT_GE(x, 0.0f);
        ASSERT_LT(x, 1.0f);
        numbers.insert(fortuneNumber(x));
    }
    EXPECT_EQ(numbers.size(), 12u);
}

TEST(FortuneParagraphTest, BodyThenHeaderThenTextWithNothingAfter) {
    std::string body = appendFortune("abc", [] { return 0.0f; });
    std::string expected =
        "abc\r\n\r\n" + std::string(kFortuneHeader) + "\r\n\r\n" + std::string(kFortuneTexts[0]);
    EXPECT_EQ(body, expected);
    // Text 7 keeps its trailing ideographic space.
    std::string seventh = appendFortune("", [] { return 0.5f; });
    EXPECT_TRUE(seventh.ends_with(std::string("ニンマリ！") + std::string(kIdeographicSpace)));
}

TEST(FortuneParagraphTest, TextsCarryTheirWeights) {
    int daikichi = 0, chukichi = 0, kichi = 0, kyo = 0;
    for (std::string_view text : kFortuneTexts) {
        daikichi += text.starts_with("大吉：");
        chukichi += text.starts_with("中吉：");
        kichi += text.starts_with("吉：");
        kyo += text.starts_with("凶：");
    }
    EXPECT_EQ(daikichi, 3);
    EXPECT_EQ(chukichi, 5);
    EXPECT_EQ(kichi, 2);
    EXPECT_EQ(kyo, 2);
    // The header's two gaps are ideographic spaces, not ASCII ones.
    EXPECT_EQ(kFortuneHeader.find(' '), std::string_view::npos);
    EXPECT_NE(kFortuneHeader.find(std::string("★★★") + std::string(kIdeographicSpace)),
              std::string_view::npos);
}

}  // namespace
}  // namespace qf::compose
