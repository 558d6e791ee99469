#include "store/MailSearch.h"

#include <gtest/gtest.h>

#include "store/MailStore.h"
#include "store/Originals.h"
#include "store/StoreTestSupport.h"
#include "tests/support/SampleMails.h"
#include "text/Cp932.h"
#include "transport/MailDecoder.h"

namespace qf::store {
namespace {

// ---- Matching rules: one named row per rule --------------------------------

struct MatchRow {
    const char* name;
    std::string query;  // UTF-8
    std::string text;   // CP932 bytes as a box holds them
    bool exact;
    bool sameKana;
    bool found;
};

std::string cp932(const char* utf8) {
    return text::toCp932(utf8);
}

class MatchingRule : public ::testing::TestWithParam<MatchRow> {};

TEST_P(MatchingRule, FindsWhatAJapaneseReaderExpects) {
    const MatchRow& row = GetParam();
    SearchQuery query;
    query.text = row.query;
    query.exact = row.exact;
    query.sameKana = row.sameKana;
    auto matcher = TextMatcher::create(query);
    ASSERT_TRUE(matcher.isOk()) << matcher.status().toString();
    EXPECT_EQ(matcher.value().matches(row.text), row.found);
}

// 父 is 0x95 0x83 and 表 is 0x95 0x5C: their trail bytes look like the start of
// ソ (0x83 0x5C) and like a backslash.
INSTANTIATE_TEST_SUITE_P(
    Rules, MatchingRule,
    ::testing::Values(
        MatchRow{"FullWidthLatin", "abc", cp932("ＡＢＣ商事"), false, false, true},
        MatchRow{"FullWidthQuery", "ＡＢＣ", cp932("xabcx"), false, false, true},
        MatchRow{"FullWidthDigits", "123", cp932("注文番号１２３"), false, false, true},
        MatchRow{"IdeographicSpace", "田中 太郎", cp932("田中　太郎様"), false, false, true},
        MatchRow{"UpperAndLowerCase", "quillfern", cp932("About QUILLFERN"), false, false, true},
        MatchRow{"GreekCase", "αβ", cp932("ΑΒΓ"), false, false, true},
        MatchRow{"HalfWidthKanaWithDakuten", "ガッコウ", cp932("ｶﾞｯｺｳ"), false, false, true},
        MatchRow{"HalfWidthQuery", "ｶﾞｯｺｳ", cp932("学校ガッコウ"), false, false, true},
        MatchRow{"HandakutenIsNotPlainKana", "ハン", cp932("ﾊﾟﾝ"), false, false, false},
        MatchRow{"HalfWidthHandakuten", "パン", cp932("ﾊﾟﾝ屋"), false, false, true},
        MatchRow{"KanaDistinctByDefault", "がっこう", cp932("ガッコウ"), false, false, false},
        MatchRow{"KanaSameWhenAsked", "がっこう", cp932("ｶﾞｯｺｳ"), false, true, true},
        MatchRow{"TrailByteNeverStartsAMatch", "ソ", cp932("父\\"), false, false, false},
        MatchRow{"TrailByteExact", "ソ", cp932("父\\"), true, false, false},
        MatchRow{"BackslashNotInsideKanji", "\\", cp932("表示"), false, false, false},
        MatchRow{"SoAfterKanji", "ソ", cp932("父ソ"), true, false, true},
        MatchRow{"SingleKanjiAnywhere", "会", cp932("打ち合わせは会議室で"), false, false, true},
        MatchRow{"SingleKanjiAfterLeadRun", "議", cp932("宴会議事録"), true, false, true},
        MatchRow{"NecSelectedIbmForm", "髙", std::string("\xEE\xE0") + cp932("橋さん"), false,
                 false, true},
        MatchRow{"NecRow13Form", "∵", std::string("\x87\x9A"), false, false, true},
        // Past the quick filters: a run kept as it is, one of several forms
        // far into the text, and a match across two folded pieces.
        MatchRow{"RunOfUnfoldedCharacters", "会議室の予約", cp932("明日の会議室の予約を"), false,
                 false, true},
        MatchRow{"LatinAmongJapanese", "quillfern",
                 cp932("いつもお世話になっております。ＱｕｉＬＬＦＥＲＮの件"), false, false, true},
        MatchRow{"AcrossFoldedPieces", "abc", std::string(2046, 'x') + cp932("ＡＢＣ"), false,
                 false, true},
        MatchRow{"ExactKeepsWidth", "ABC", cp932("ＡＢＣ"), true, false, false},
        MatchRow{"ExactKeepsCase", "abc", cp932("ABC"), true, false, false},
        MatchRow{"ExactFindsBytes", "会議", cp932("定例会議"), true, false, true}),
    [](const ::testing::TestParamInfo<MatchRow>& row) { return std::string(row.param.name); });

TEST(TextMatcherTest, RefusesAnEmptyTextAndOneNoBoxCanHold) {
    EXPECT_EQ(TextMatcher::create({}).status().code(), StatusCode::kInvalidArgument);
    SearchQuery emoji;
    emoji.text = "会議😀";
    EXPECT_EQ(TextMatcher::create(emoji).status().code(), StatusCode::kInvalidArgument);
}

// ---- Searching the box files -----------------------------------------------

class SearchBoxesTest : public ::testing::Test {
  protected:
    int append(int box, MailFields fields) {
        auto n = m_store.append(box, fields);
        EXPECT_TRUE(n.isOk());
        return n.isOk() ? n.value() : 0;
    }
    SearchResult search(SearchQuery query, const SearchControl& control = {}) {
        auto result = searchBoxes(m_folder.path(), query, control);
        EXPECT_TRUE(result.isOk()) << result.status().toString();
        return result.isOk() ? std::move(result).value() : SearchResult{};
    }
    static SearchQuery queryFor(const char* text) {
        SearchQuery query;
        query.text = text;
        return query;
    }

    testing::TempFolder m_folder;
    MailStore m_store{m_folder.path()};
};

TEST_F(SearchBoxesTest, FindsEveryBoxInCatalogueOrderWithTheListTexts) {
    append(kOtherBox, {"ご案内", "news@example.jp", "Mon, 7 Dec 2026", "定例会議のお知らせ"});
    append(1, {"別件", "tanaka@example.jp", "Tue, 8 Dec 2026", "こんにちは"});
    append(1, {"会議の件", "tanaka@example.jp", "Tue, 8 Dec 2026", "本文"});
    append(kSendHistoryBox, {"Re: 会議", "sato@example.jp", "", "了解です"});
    append(kKeepBox, {"保管", "x@example.jp", "d", "何もなし"});

    SearchResult result = search(queryFor("会議"));
    ASSERT_EQ(result.hits.size(), 3u);
    EXPECT_EQ(result.hits[0].box, 1);
    EXPECT_EQ(result.hits[0].recordNumber, 2);
    EXPECT_EQ(result.hits[0].subject, "会議の件");
    EXPECT_EQ(result.hits[0].fromOrTo, "tanaka@example.jp");
    EXPECT_EQ(result.hits[0].date, "Tue, 8 Dec 2026");
    EXPECT_EQ(result.hits[1].box, kOtherBox);
    EXPECT_EQ(result.hits[2].box, kSendHistoryBox);
    EXPECT_EQ(result.hits[2].fromOrTo, "sato@example.jp");  // the To of a sent mail
    EXPECT_TRUE(result.problems.empty());
    EXPECT_FALSE(result.cancelled);
}

// A text no record can hold is found in the original of a record that has
// "?" for it, in the fields searched; a record without one is not matched.
TEST_F(SearchBoxesTest, ATextNoRecordCanHoldIsFoundInTheOriginal) {
    const std::string original = qf::testing::kMailBeyondCp932;
    const MailFields fields{qf::testing::kSubjectBeyondCp932Kept, "a@example.jp",
                            "Tue, 08 Dec 2026 10:00:00 +0900", qf::testing::kBodyBeyondCp932Kept};
    append(kOtherBox, {"ランチ?", "b@example.jp", "d", "no original"});
    append(kOtherBox, fields);
    ASSERT_TRUE(Originals(m_folder.path())
                    .keep(kOtherBox, recordTextsOf(layoutOf(RecordKind::kMail), fields), original)
                    .isOk());

    SearchControl decoding;
    decoding.decodeOriginal = [](const std::string& mail) {
        transport::DecodedMail decoded = transport::decodeMail(mail);
        return OriginalTexts{decoded.headers.subject, decoded.headers.sender, decoded.body};
    };
    for (const char* text : {"ランチ😊", "𠮷野家", "café🍻"}) {
        const SearchResult result = search(queryFor(text), decoding);
        ASSERT_EQ(result.hits.size(), 1u) << text;
        EXPECT_EQ(result.hits[0].recordNumber, 2) << text;
    }
    SearchQuery subjectOnly = queryFor("café");
    subjectOnly.fields = kSearchSubject;
    EXPECT_TRUE(search(subjectOnly, decoding).hits.empty());
    // Without a decoder (the store tool) such a text is refused, not missed.
    EXPECT_EQ(searchBoxes(m_folder.path(), queryFor("café")).status().code(),
              StatusCode::kInvalidArgument);
}

TEST_F(SearchBoxesTest, LooksOnlyInTheChosenFieldsAndBoxes) {
    append(1, {"件名", "tanaka@example.jp", "Tue, 8 Dec 2026", "tanaka さんへ"});
    append(kKeepBox, {"件名", "tanaka@example.jp", "Tue, 8 Dec 2026", "本文"});

    SearchQuery body = queryFor("tanaka");
    body.fields = kSearchBody;
    ASSERT_EQ(search(body).hits.size(), 1u);

    SearchQuery sender = queryFor("TANAKA");
    sender.fields = kSearchFromOrTo;
    sender.boxes = {kKeepBox};
    SearchResult result = search(sender);
    ASSERT_EQ(result.hits.size(), 1u);
    EXPECT_EQ(result.hits[0].box, kKeepBox);

    SearchQuery date = queryFor("DEC");
    date.fields = kSearchDate | kSearchSubject;
    EXPECT_EQ(search(date).hits.size(), 2u);

    SearchQuery unknownBox = queryFor("x");
    unknownBox.boxes = {7};
    EXPECT_EQ(searchBoxes(m_folder.path(), unknownBox).status().code(),
              StatusCode::kInvalidArgument);
}

TEST_F(SearchBoxesTest, TornBoxIsSearchedUpToTheTearAndSaysSo) {
    append(2, {"見積もり", "a@example.jp", "d", "見積もりです"});
    append(2, {"請求", "b@example.jp", "d", "見積もりの請求"});
    const std::string path = m_folder.path() + "/kdxdata3.data";
    std::string bytes = testing::readBytes(path);
    bytes += cp932("見積もり") + std::string(100, ' ');  // half a record written
    testing::writeBytes(path, bytes);

    SearchResult result = search(queryFor("見積"));
    ASSERT_EQ(result.hits.size(), 2u);
    ASSERT_EQ(result.problems.size(), 1u);
    EXPECT_EQ(result.problems[0].box, 2);
    EXPECT_EQ(result.problems[0].unsearchedBytes, cp932("見積もり").size() + 100);
}

TEST_F(SearchBoxesTest, ReportsProgressToTheEndAndStopsWhenCancelled) {
    for (int i = 0; i < 40; ++i) {
        append(kOtherBox, {"お知らせ", "n@example.jp", "d", "本文"});
    }
    std::vector<SearchProgress> seen;
    SearchControl control;
    control.progress = [&](const SearchProgress& p) { seen.push_back(p); };
    SearchResult all = search(queryFor("お知らせ"), control);
    EXPECT_EQ(all.hits.size(), 40u);
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.back().bytesDone, seen.back().bytesTotal);
    EXPECT_EQ(seen.back().hits, 40u);

    std::atomic<bool> cancel{false};
    SearchControl stopping;
    stopping.progress = [&](const SearchProgress&) { cancel = true; };
    stopping.cancel = &cancel;
    SearchResult stopped = search(queryFor("お知らせ"), stopping);
    EXPECT_TRUE(stopped.cancelled);
    EXPECT_EQ(stopped.hits.size(), 32u);  // the first run of records, then stop
}

TEST_F(SearchBoxesTest, HitIsNoLongerCurrentAfterADeleteRenumbers) {
    append(kOtherBox, {"一通目", "a@example.jp", "d", "x"});
    append(kOtherBox, {"二通目", "b@example.jp", "d", "x"});
    SearchResult result = search(queryFor("二通目"));
    ASSERT_EQ(result.hits.size(), 1u);
    EXPECT_TRUE(hitIsCurrent(m_folder.path(), result.hits[0]).value());

    ASSERT_TRUE(m_store.readRecord(kOtherBox, 1).isOk());
    ASSERT_TRUE(m_store.deleteRecord(kOtherBox, 1).isOk());
    EXPECT_FALSE(hitIsCurrent(m_folder.path(), result.hits[0]).value());
}

}  // namespace
}  // namespace qf::store
