#include "words/Words.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "text/Utf8.h"
#include "words/RepairWords.h"

namespace qf::ui {
namespace {

// The code points of UTF-8 text (well-formed, as the list is).
std::u32string codePoints(const std::string& text) {
    std::u32string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t c = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length && i + k < text.size(); ++k) {
            c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
        }
        out += c;
        i += static_cast<std::size_t>(length);
    }
    return out;
}

// The first sentence of a message, up to "。", "？" or a line break.
std::u32string firstSentence(const std::string& text) {
    const std::u32string all = codePoints(text);
    return all.substr(0, all.find_first_of(U"。？\n"));
}

// Japanese grammar needs hiragana (particles, endings): a sentence without
// any is a name, a code or a foreign text.
bool isJapaneseSentence(const std::u32string& sentence) {
    return std::any_of(sentence.begin(), sentence.end(),
                       [](char32_t c) { return c >= 0x3041 && c <= 0x309F; });
}

TEST(WordsTest, EveryMessageStartsWithAJapaneseSentence) {
    for (const Wording& row : allWordings()) {
        // A help-bar state ("待機中・・・") is no sentence.
        EXPECT_TRUE(row.box == Box::kStatus || isJapaneseSentence(firstSentence(row.sentence)))
            << row.sentence;
    }
    EXPECT_FALSE(isJapaneseSentence(firstSentence("Failed to connect to 127.0.0.1 port 1")));
}

// What a line of the list can get wrong that the compiler does not see: a
// placeholder words() never fills ("%s", "%0", a lone "%"), a control
// character a message box shows as a box, bytes that are no UTF-8, a title
// over two lines.
bool wellFormed(const Wording& row) {
    const std::string_view sentence = row.sentence;
    for (std::size_t i = 0; i < sentence.size(); ++i) {
        const auto c = static_cast<unsigned char>(sentence[i]);
        const char next = i + 1 < sentence.size() ? sentence[i + 1] : '\0';
        if ((c == '%' && (next < '1' || next > '9')) || (c < 0x20 && c != '\n') || c == 0x7F) {
            return false;
        }
    }
    return text::isValidUtf8(sentence) && text::isValidUtf8(row.title) &&
           std::string_view(row.title).find('\n') == std::string_view::npos;
}

TEST(WordsTest, EveryRowIsWellFormedAndFoundByItsId) {
    for (const Wording& row : allWordings()) {
        EXPECT_TRUE(wellFormed(row)) << row.sentence;
        EXPECT_EQ(&wording(row.id), &row) << row.sentence;
    }
    for (const char* broken :
         {"%sを保存できません", "残り%0件", "100%", "タブ\tです", "\xE3\x81"}) {
        EXPECT_FALSE(wellFormed({Say::kNoSelection, Box::kInform, "", broken})) << broken;
    }
}

TEST(WordsTest, ContextFillsPlaceholdersAndDetailFollowsInBrackets) {
    EXPECT_EQ(words(Say::kReceiveStoreFailed, {"2"}).rfind("2 通のメールを保存できなかった", 0),
              0U);
    const std::string refused = words(Say::kReceiveLoginRefused, {}, "-ERR [AUTH] failed");
    EXPECT_EQ(refused.rfind("POP3サーバーにログインできませんでした。", 0), 0U);
    EXPECT_NE(refused.find("\n（-ERR [AUTH] failed）"), std::string::npos);
    // Missing context leaves the place empty, never the marker.
    EXPECT_EQ(words(Say::kReceiveConnectFailed).find("%1"), std::string::npos);
}

// The brackets hold only what came from outside, and a server's text is
// hostile: no line break or control character survives, a long text is cut
// on a character's edge.
TEST(WordsTest, BracketsHoldOnlyTheOutsideTextMadeSafe) {
    const Status ownFinding = Status::corrupt("box 3: record 7 has no CR LF");
    EXPECT_EQ(words(Say::kMailNotRead, {}, ownFinding), words(Say::kMailNotRead));
    const Status full = systemFailure("/home/u/★MAilData/kdxdata8.data: write", ENOSPC);
    EXPECT_EQ(words(Say::kMailNotDeleted, {}, full),
              words(Say::kMailNotDeleted) + "\n（No space left on device）");

    const std::string hostile =
        words(Say::kReceiveLoginRefused, {}, "-ERR bad\r\n+OK \x1B[2J\xC2\x85 fine\x7F ");
    EXPECT_NE(hostile.find("（-ERR bad +OK [2J fine）"), std::string::npos) << hostile;
    const std::string endless = shownDetail(std::string(kMaxDetailBytes - 1, 'x') + "拒否");
    EXPECT_EQ(endless, std::string(kMaxDetailBytes - 1, 'x') + "…");
    EXPECT_TRUE(text::isValidUtf8(endless));
    EXPECT_EQ(shownDetail(" \r\n "), "");
}

// Each repair says what it did to which file: the box's path, and the file
// it set aside or removed by the name it has beside it.
TEST(WordsTest, EveryRepairNamesItsFilesInAJapaneseSentence) {
    using base::RepairKind;
    const std::string folder = "/home/u/Quillfern/★MAilData/";
    for (int k = 0; k <= static_cast<int>(RepairKind::kLeftoverTemporaryRemoved); ++k) {
        const auto kind = static_cast<RepairKind>(k);
        const std::string text = repairWords({.kind = kind,
                                              .file = folder + "kdxdata8.data",
                                              .temporary = folder + "KDXDATA8.TMP",
                                              .setAside = folder + "kdxdata8.data.torn-1",
                                              .count = 16});
        EXPECT_TRUE(isJapaneseSentence(firstSentence(text))) << text;
        EXPECT_NE(text.find(folder + "kdxdata8.data"), std::string::npos) << text;
        const bool setAside = kind == RepairKind::kTornTailMovedAside ||
                              kind == RepairKind::kDamagedTemporaryKeptAside ||
                              kind == RepairKind::kTemporaryWithMissingMailKeptAside;
        EXPECT_EQ(text.find("kdxdata8.data.torn-1") != std::string::npos, setAside) << text;
        const bool temporary =
            kind != RepairKind::kTornTailMovedAside && kind != RepairKind::kDeletedMarksRemoved;
        EXPECT_EQ(text.find("KDXDATA8.TMP") != std::string::npos, temporary) << text;
    }
    const std::string torn = repairWords({.kind = RepairKind::kTornTailMovedAside,
                                          .file = folder + "kdxdata8.data",
                                          .setAside = folder + "kdxdata8.data.torn-1",
                                          .count = 16});
    EXPECT_NE(torn.find("16 バイト"), std::string::npos) << torn;
}

}  // namespace
}  // namespace qf::ui
