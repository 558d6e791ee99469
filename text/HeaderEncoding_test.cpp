#include "text/HeaderEncoding.h"

#include <gtest/gtest.h>

namespace qf::text {
namespace {

// Letters and digits are ASCII ones only: a byte that is a letter in some
// locale's single-byte charset (é in Latin-1) is escaped all the same.
TEST(PercentEncode, KeepsAsciiLettersDigitsAndTheGivenBytesOnly) {
    EXPECT_EQ(percentEncode("aZ9-._~ /%\xC3\xA9", "-._~"), "aZ9-._~%20%2F%25%C3%A9");
    EXPECT_EQ(percentEncode("\xE9!", ""), "%E9%21");
    EXPECT_EQ(percentEncode("", "x"), "");
}

}  // namespace
}  // namespace qf::text
