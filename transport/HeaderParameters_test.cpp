#include "transport/HeaderParameters.h"

#include <gtest/gtest.h>

#include "text/Cp932.h"
#include "text/HeaderEncoding.h"

namespace qf::transport {
namespace {

// Test texts are written in UTF-8 and converted with iconv's CP932, which is
// independent of the hand-written conversions under test.
std::string sjis(std::string_view utf8) {
    return text::toCp932(utf8);
}

TEST(HeaderParameters, Rfc2231SectionsAreJoinedAsBytes) {
    // "あい" in ISO-2022-JP cut inside the escape sequence and inside a character.
    std::string raw =
        "attachment;\r\n filename*0*=ISO-2022-JP''%1B%24B%24;\r\n filename*1*=%22%24%24%1B%28B.txt";
    EXPECT_EQ(headerParameter(raw, "filename"), "あい.txt");
    EXPECT_EQ(headerParameter("attachment; FILENAME*=UTF-8'ja'%E3%81%82.pdf", "filename"),
              "あ.pdf");
    EXPECT_EQ(headerParameter("attachment; filename*0=\"abc\"; filename*1=\"def\"", "filename"),
              "abcdef");
    EXPECT_EQ(headerParameter("attachment; size=3", "filename"), std::nullopt);
}

TEST(HeaderParameters, QuotedValues) {
    // A Shift_JIS trail byte 0x5C (表 = 95 5C) is not a quoting backslash.
    EXPECT_EQ(headerParameter("attachment; filename=\"" + sjis("表.txt") + "\"", "filename"),
              "表.txt");
    EXPECT_EQ(
        headerParameter("text/plain; name=\"=?UTF-8?B?" + text::base64Encode("写真") + "?=.png\"",
                        "name"),
        "写真.png");
    EXPECT_EQ(headerParameter("a; x=\"semi;colon\"; filename=\"q\\\"uote\"", "filename"),
              "q\"uote");
    EXPECT_EQ(headerParameter("text/plain; charset=iso-2022-jp", "charset"), "iso-2022-jp");
}

TEST(HeaderParameters, CutOffValuesEndWhereTheTextEnds) {
    EXPECT_EQ(headerParameter("attachment; filename=\"abc", "filename"), "abc");
    EXPECT_EQ(headerParameter("attachment; filename*0*=UTF-8''a%E3%81", "filename"),
              "a\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(headerParameter("attachment; filename=", "filename"), "");
}

}  // namespace
}  // namespace qf::transport
