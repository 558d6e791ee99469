#include "transport/BufferContract.h"

#include <gtest/gtest.h>

#include <vector>

#include "text/Cp932.h"

namespace qf::transport {
namespace {

TEST(CopyToCallerBuffer, CutsAtACharacterBoundaryAndAlwaysEndsInNul) {
    std::vector<char> buffer(6, 'x');
    copyUtf8(buffer.data(), buffer.size(), "あいう");  // 6 CP932 bytes, 5 fit
    EXPECT_EQ(text::fromCp932(buffer.data()), "あい");
    copyUtf8(buffer.data(), buffer.size(), "aあいう");  // "a" + 2 characters = 5 bytes
    EXPECT_EQ(text::fromCp932(buffer.data()), "aあい");
    copyUtf8(buffer.data(), 1, "abc");
    EXPECT_EQ(buffer[0], '\0');
    copyUtf8(nullptr, 10, "abc");  // a null buffer is allowed
    copyUtf8(buffer.data(), 0, "abc");
}

TEST(CopyToCallerBuffer, NullArgumentIsEmpty) {
    EXPECT_EQ(utf8Argument(nullptr), "");
    EXPECT_EQ(utf8Argument(text::toCp932("件名").c_str()), "件名");
}

TEST(SplitHeaderAndBody, HeaderKeepsItsLastLineEndAndLosesTheEmptyLine) {
    MailParts parts = splitHeaderAndBody("A: 1\r\nB: 2\r\n\r\nbody\r\n\r\nmore\r\n");
    EXPECT_EQ(parts.header, "A: 1\r\nB: 2\r\n");
    EXPECT_EQ(parts.body, "body\r\n\r\nmore\r\n");
    parts = splitHeaderAndBody("A: 1\nB: 2\n\nbody\n");
    EXPECT_EQ(parts.header, "A: 1\nB: 2\n");
    EXPECT_EQ(parts.body, "body\n");
    parts = splitHeaderAndBody("A: 1\r\n");
    EXPECT_EQ(parts.header, "A: 1\r\n");
    EXPECT_EQ(parts.body, "");
}

TEST(FitHeader, DropsTraceFieldsBeforeTheFieldsThatDecodeTheMail) {
    // Short enough that it would fit if it were not dropped.
    const std::string received = "Received: from a\r\n\tby b\r\n";
    const std::string essential =
        "From: a@example.jp\r\nSubject: hi\r\nMIME-Version: 1.0\r\nContent-Type: "
        "multipart/mixed;\r\n"
        " boundary=\"b1\"\r\n";
    const std::string header = received + received + essential + "X-Mailer: test\r\n";
    EXPECT_EQ(fitHeader(header, header.size()), header);
    EXPECT_EQ(fitHeader(header, essential.size()), essential);
    // Whole fields only, never a field cut in the middle.
    const std::string fitted = fitHeader(header, essential.size() - 3);
    EXPECT_EQ(fitted.find("boundary"), std::string::npos);
    EXPECT_TRUE(fitted.ends_with("\r\n"));
}

}  // namespace
}  // namespace qf::transport
