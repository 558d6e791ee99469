// Searching the boxes: every record of the chosen boxes is read from its box
// file and its fields are matched as CP932 bytes, without an index that
// could go stale.
//
// Matching (TextMatcher):
// - folded (the default): width, case and the NEC/IBM codes are folded on
//   both sides, ひらがな ≡ カタカナ when asked (see text/Cp932Folding.h);
// - exact: the query's CP932 bytes as they are.
// Either way a match starts where a character starts: ソ (0x83 0x5C) is not
// found through the 0x5C that ends another character, and a single kanji is
// found wherever it stands.
//
// A text with a character CP932 lacks (an emoji, 𠮷, é) is found only in
// the mails' originals, where a record holds "?" for it (OriginalSearch.h),
// when the caller gives a decoder for them.
//
// A torn box file is searched up to its last whole record; the result names
// the box and the bytes left unsearched. A box that cannot be read is named
// too, and the other boxes are still searched.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Status.h"
#include "store/AnchorFilter.h"
#include "store/MailRecord.h"
#include "store/OriginalSearch.h"

namespace qf::store {

// Where to look: a set of these bits.
enum SearchField : unsigned {
    kSearchSubject = 1,
    kSearchFromOrTo = 2,  // From, or To in the send history
    kSearchDate = 4,
    kSearchBody = 8,
    kSearchAllFields = 15,
};

struct SearchQuery {
    std::string text;  // UTF-8, used as it is (not stripped)
    unsigned fields = kSearchAllFields;
    bool exact = false;      // no folding: the text's CP932 bytes
    bool sameKana = false;   // ひらがな ≡ カタカナ (folded search only)
    std::vector<int> boxes;  // catalogue numbers; empty: all eight
};

// Matches one query against CP932 fields.
class TextMatcher {
  public:
    // kInvalidArgument when the text is empty or holds a character that no
    // box can hold (CP932 has no code for it).
    static Result<TextMatcher> create(const SearchQuery& query);

    bool matches(std::string_view cp932) const;

  private:
    TextMatcher(std::string needle, bool exact, bool sameKana);

    std::string m_needle;  // CP932, folded unless exact
    bool m_exact;
    bool m_sameKana;
    AnchorFilter m_filter;  // fields it rules out are not folded
};

// One record that matched, with its listing texts (cut at NUL, stripped).
struct SearchHit {
    int box;
    int recordNumber;
    std::string subject;
    std::string fromOrTo;
    std::string date;
};

// A box that was not searched whole: torn, or unreadable from some point.
struct SearchProblem {
    int box;
    std::uint64_t unsearchedBytes;  // of a torn tail; 0 for a read failure
    std::string message;
    std::string outsideText;  // the OS's text of a read failure, maybe empty
};

struct SearchProgress {
    std::uint64_t bytesDone;
    std::uint64_t bytesTotal;
    std::size_t hits;
};

struct SearchResult {
    std::vector<SearchHit> hits;  // in catalogue order, then record order
    std::vector<SearchProblem> problems;
    bool cancelled = false;
};

struct SearchControl {
    // Called after every run of records read (about a megabyte), on the
    // searching thread.
    std::function<void(const SearchProgress&)> progress;
    // Set from any thread: the search stops after the record it is in, and
    // the result holds the hits found so far with `cancelled` set.
    const std::atomic<bool>* cancel = nullptr;
    // Decodes a kept original, for a text no record can hold; without it
    // such a text is refused as TextMatcher refuses it.
    OriginalDecoder decodeOriginal;
};

// Searches the boxes of the data folder. Fails only for a query that
// TextMatcher refuses (and no decoder of originals takes) or an unknown box; a box that cannot be
// read is a problem of the result.
Result<SearchResult> searchBoxes(const std::string& dataFolder, const SearchQuery& query,
                                 const SearchControl& control = {});

// True when record `hit.recordNumber` of the box still lists as the hit did
// (a delete since the search renumbers the later records).
Result<bool> hitIsCurrent(const std::string& dataFolder, const SearchHit& hit);

}  // namespace qf::store
