#include "receive/MailText.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/HostileSenders.h"
#include "tests/support/TempFolder.h"
#include "text/Cp932.h"
#include "transport/Addresses.h"

namespace qf::receive {
namespace {

TEST(JoinLinesCrLf, EveryKindOfLineEndBecomesCrLf) {
    EXPECT_EQ(joinLinesCrLf("a\r\nb\nc\rd"), "a\r\nb\r\nc\r\nd\r\n");
    EXPECT_EQ(joinLinesCrLf("a\r\n\r\n\nb\r\n"), "a\r\n\r\n\r\nb\r\n");
    EXPECT_EQ(joinLinesCrLf(""), "");
}

TEST(WholeMailLines, HeaderAndBodyArePartedByExactlyOneEmptyLine) {
    const std::string expected = "From: a@example.jp\r\nSubject: x\r\n\r\nbody\r\n";
    EXPECT_EQ(wholeMailLines("From: a@example.jp\r\nSubject: x", "body"), expected);
    EXPECT_EQ(wholeMailLines("From: a@example.jp\r\nSubject: x\r\n\r\n", "body\r\n"), expected);
    EXPECT_EQ(wholeMailLines("From: a@example.jp\nSubject: x\n", "body"), expected);
}

TEST(WholeMailLines, EmptyLinesInsideTheBodyAreKept) {
    EXPECT_EQ(wholeMailLines("A: 1", "\r\none\r\n\r\ntwo"), "A: 1\r\n\r\n\r\none\r\n\r\ntwo\r\n");
}

class WorkFileTest : public ::testing::Test {
  protected:
    qf::testing::TempFolder m_folder{"qf-workfile"};
};

// One work file serves the whole run: each mail replaces the one before,
// also a longer one, and the file is gone when the run is done.
TEST_F(WorkFileTest, EachMailReplacesTheLastAndTheFileGoesAtTheEnd) {
    const auto workFile = m_folder / "0.txt";
    std::ofstream(workFile) << "an earlier mail that must be replaced, and longer than this one";
    const auto fileBytes = [&workFile] {
        std::ifstream in(workFile, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    {
        WorkFile file(workFile);
        const Result<std::string> text = file.passThrough("A: 1\n", "x\ny");
        ASSERT_TRUE(text.isOk());
        EXPECT_EQ(text.value(), "A: 1\r\n\r\nx\r\ny\r\n");
        EXPECT_EQ(fileBytes(), text.value());
        const Result<std::string> next = file.passThrough("B: 2", "");
        ASSERT_TRUE(next.isOk());
        EXPECT_EQ(next.value(), "B: 2\r\n\r\n");
        EXPECT_EQ(fileBytes(), next.value());
    }
    EXPECT_FALSE(std::filesystem::exists(workFile));
}

TEST_F(WorkFileTest, AMissingFolderIsAnIoErrorNamingTheFile) {
    const auto workFile = m_folder / "absent" / "0.txt";
    WorkFile file(workFile);
    const Result<std::string> text = file.passThrough("A: 1", "x");
    ASSERT_FALSE(text.isOk());
    EXPECT_EQ(text.status().code(), StatusCode::kIoError);
    EXPECT_NE(text.status().message().find(workFile.string()), std::string::npos);
}

struct SortingCase {
    const char* name;
    std::array<std::string, 5> addresses;
    std::string sender;
    int slot;
};

class SlotForSender : public ::testing::TestWithParam<SortingCase> {};

TEST_P(SlotForSender, PicksTheFirstMatch) {
    EXPECT_EQ(slotForSender(GetParam().sender, GetParam().addresses), GetParam().slot);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SlotForSender,
    ::testing::Values(
        SortingCase{
            "SecondRegistration", {"a@example.jp", "b@example.jp", "", "", ""}, "b@example.jp", 1},
        SortingCase{"FifthRegistrationGoesToSlotFour",
                    {"x", "x", "x", "x", "e@example.jp"},
                    "e@example.jp",
                    4},
        SortingCase{"NoMatchIsOther", {"a@example.jp", "b", "c", "d", "e"}, "z@example.jp", 5},
        SortingCase{"ABareAddressMatchesWhateverTheName",
                    {"x", "a@example.jp", "c", "d", "e"},
                    "山田 <a@example.jp>",
                    1},
        SortingCase{"ABareAddressInBracketsMatchesToo",
                    {"<a@example.jp>", "b", "c", "d", "e"},
                    "\"Yamada, Taro\" <a@EXAMPLE.jp>",
                    0},
        SortingCase{"ANameInTheRegistrationStaysAWholeTextMatch",
                    {"山田 <a@example.jp>", "b", "c", "d", "e"},
                    "a@example.jp",
                    5},
        SortingCase{"AnAddressInTheDisplayNameDoesNotMatch",
                    {"a@example.jp", "b", "c", "d", "e"},
                    "\"a@example.jp\" <evil@evil.example>",
                    5},
        SortingCase{"RegisteredAddressIsTrimmed",
                    {"  a@example.jp ", "b", "c", "d", "e"},
                    "a@example.jp",
                    0},
        SortingCase{"WholeTextsAreComparedUntrimmed", {"a b", "c", "d", "e", "f"}, " a b", 5},
        SortingCase{
            "TheLocalPartsCaseMatters", {"a@example.jp", "b", "c", "d", "e"}, "A@example.jp", 5},
        SortingCase{"EmptyRegistrationMatchesEmptySender", {"a", "b", "", "d", ""}, "", 2},
        SortingCase{
            "FirstOfTwoEqualRegistrationsWins", {"a", "s@x.jp", "s@x.jp", "d", "e"}, "s@x.jp", 1}),
    [](const ::testing::TestParamInfo<SortingCase>& row) { return row.param.name; });

// The From field holds 90 bytes: a cut must never leave another address.
TEST(SenderForField, ACutThatWouldChangeTheAddressKeepsTheAddressOnly) {
    const std::string name(80, 'N');
    EXPECT_EQ(senderForField(name + " <victim@example.jp>", 90), "victim@example.jp");
    EXPECT_EQ(senderForField("\"<evil@evil.example>" + name + "\" <victim@example.jp>", 90),
              "victim@example.jp");
    EXPECT_EQ(senderForField("taro@example.jp (" + name + ")", 90), "taro@example.jp");
    EXPECT_EQ(senderForField("Taro <taro@example.jp>", 90), "Taro <taro@example.jp>");
    // Two mailboxes: the one that fits whole, never a piece of the other.
    const std::string second = std::string(60, 'a') + "@evil.example";
    EXPECT_EQ(senderForField("Taro <taro@example.jp>, " + second, 90), "Taro <taro@example.jp>");
    // Not even one address fits: its start as a name, which no reply takes.
    EXPECT_EQ(senderForField(std::string(80, 'b') + "@evil.example", 30),
              "\"" + std::string(25, 'b') + "\" <>");
}

// What Python's email.utils.getaddresses finds in each text: its addresses
// parted by tabs, a line per text.
std::vector<std::string> addressesPythonFinds(const std::vector<std::string>& texts) {
    const qf::testing::TempFolder folder;
    const std::filesystem::path input = std::filesystem::path(folder.path()) / "stored.txt";
    {
        std::ofstream out(input, std::ios::binary);
        for (const std::string& text : texts) {
            out << text << "\n";
        }
    }
    const std::string command =
        "/usr/bin/python3 -c 'import sys, email.utils\n"
        "for line in sys.stdin.buffer.read().decode().splitlines():\n"
        "    found = [a for _, a in email.utils.getaddresses([line]) if a]\n"
        "    sys.stdout.buffer.write((\"\\t\".join(found) + \"\\n\").encode())' < " +
        input.string();
    std::vector<std::string> lines;
    FILE* python = ::popen(command.c_str(), "r");
    std::string output;
    for (char buffer[4096]; python && ::fgets(buffer, sizeof buffer, python);) {
        output += buffer;
    }
    EXPECT_TRUE(python && ::pclose(python) == 0);
    for (std::size_t start = 0, end; (end = output.find('\n', start)) != std::string::npos;
         start = end + 1) {
        lines.push_back(output.substr(start, end - start));
    }
    return lines;
}

// A stored sender, once in CP932 and back, reads as the same addresses to
// Python's reader as to ours, whatever the From field held.
TEST(SenderForField, PythonsReaderFindsWhatOursFinds) {
    std::vector<std::string> stored;
    std::vector<std::string> ours;
    for (const qf::testing::HostileSender& row : qf::testing::hostileSenders()) {
        const std::string cp932 =
            senderForField(text::toCp932(transport::decodeAddressHeader(row.from)), 90);
        stored.push_back(text::fromCp932(cp932));
        std::string found;
        for (const transport::Mailbox& mailbox : transport::parseMailboxList(stored.back())) {
            found += (found.empty() ? "" : "\t") + mailbox.address;
        }
        ours.push_back(found);
    }
    EXPECT_EQ(addressesPythonFinds(stored), ours);
}

TEST(MentionsAttachment, IsCaseSensitive) {
    EXPECT_TRUE(mentionsAttachment("Content-Disposition: attachment; filename=a.txt"));
    EXPECT_FALSE(mentionsAttachment("Content-Disposition: ATTACHMENT"));
    EXPECT_FALSE(mentionsAttachment("本文だけ"));
}

}  // namespace
}  // namespace qf::receive
