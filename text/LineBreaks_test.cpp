#include "text/LineBreaks.h"

#include <gtest/gtest.h>

namespace qf::text {
namespace {

// The rule, one character at a time.
std::string byCharacter(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            out += "\r\n";
            i += text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
        } else {
            out += text[i];
        }
    }
    return out;
}

// Every text of up to eight characters made of 'a', CR and LF: each way
// breaks can follow one another, at the start, the middle and the end.
TEST(LineBreaksTest, AgreesWithTheRuleOnEveryShortText) {
    const char alphabet[] = {'a', '\r', '\n'};
    for (int length = 0; length <= 8; ++length) {
        int combinations = 1;
        for (int i = 0; i < length; ++i) {
            combinations *= 3;
        }
        for (int n = 0; n < combinations; ++n) {
            std::string text;
            for (int i = 0, k = n; i < length; ++i, k /= 3) {
                text += alphabet[k % 3];
            }
            const std::string crLf = byCharacter(text);
            ASSERT_EQ(withCrLf(text), crLf) << "text of " << length << ", #" << n;
            std::string lf;
            for (char c : crLf) {
                if (c != '\r') {
                    lf += c;
                }
            }
            ASSERT_EQ(withLf(text), lf) << "text of " << length << ", #" << n;
        }
    }
}

TEST(LineBreaksTest, AppendsAfterWhatIsThere) {
    std::string out = "x";
    appendWithCrLf(out, "一\n二\r\n三");
    EXPECT_EQ(out, "x一\r\n二\r\n三");
}

}  // namespace
}  // namespace qf::text
