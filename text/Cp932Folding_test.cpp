#include "text/Cp932Folding.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "text/Cp932.h"

namespace qf::text {
namespace {

std::string folded(const char* utf8, bool kana = false) {
    const Cp932Folding& folding =
        kana ? Cp932Folding::widthCaseAndKana() : Cp932Folding::widthAndCase();
    return fromCp932(folding.fold(toCp932(utf8)));
}

TEST(Cp932FoldingTest, FoldsToOneFormAndStaysCp932) {
    EXPECT_EQ(folded("ＡＢＣ１２３ Quill　ｶﾞｯｺｳﾊﾟﾝｳﾞ｢ﾃｽﾄ｣"),
              "abc123 quill ガッコウパンヴ「テスト」");
    EXPECT_EQ(folded("Ⅲ髙ΣЁ￥"), "ⅲ髙σё\\");
    EXPECT_EQ(folded("ひらがなゝカナ", true), "ヒラガナヽカナ");
    // A sound mark after a kana that takes none stays a mark of its own.
    EXPECT_EQ(folded("ｱﾞ"), "ア゛");
}

TEST(Cp932FoldingTest, SourcesAreEveryFormThatFoldsToACharacter) {
    const Cp932Folding& folding = Cp932Folding::widthCaseAndKana();
    std::vector<std::string> sources;
    for (const std::string& source : folding.sourcesOf(toCp932("ガ"))) {
        sources.push_back(fromCp932(source));
    }
    std::sort(sources.begin(), sources.end());
    EXPECT_EQ(sources, (std::vector<std::string>{"が", "ガ", "ｶﾞ"}));
    EXPECT_EQ(folding.sourcesOf("q").size(), 4u);  // q Q ｑ Ｑ
}

TEST(Cp932FoldingTest, AMatchStartsOnlyWhereACharacterStarts) {
    const std::string text = toCp932("父\\ソ");  // 95 83 5C 83 5C
    EXPECT_FALSE(startsCharacter(text, 1));
    EXPECT_TRUE(startsCharacter(text, 2));
    EXPECT_EQ(findAligned(text, toCp932("ソ")), 3u);
    EXPECT_EQ(findAligned(toCp932("表"), "\\"), std::string_view::npos);
}

}  // namespace
}  // namespace qf::text
