#include "store/MailSearch.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "store/BoxCatalogue.h"
#include "store/OriginalSearch.h"
#include "text/Cp932.h"
#include "text/Cp932Folding.h"

namespace qf::store {

namespace {

// How often the progress is told: a run of records of about a megabyte.
constexpr int kProgressRecords = 32;

const text::Cp932Folding& foldingFor(bool sameKana) {
    return sameKana ? text::Cp932Folding::widthCaseAndKana() : text::Cp932Folding::widthAndCase();
}

// The field without its padding: the spaces, and the NULs of a field never
// written, at its end. Most of a body field is padding, so it is skipped a
// word at a time.
std::string_view withoutPadding(std::span<const char> field) {
    constexpr std::uint64_t kSpaces = 0x2020202020202020ULL;
    std::size_t end = field.size();
    while (end >= 8) {
        std::uint64_t word;
        std::memcpy(&word, field.data() + end - 8, 8);
        if (word != kSpaces && word != 0) {
            break;
        }
        end -= 8;
    }
    while (end > 0 && (field[end - 1] == ' ' || field[end - 1] == '\0')) {
        --end;
    }
    return {field.data(), end};
}

std::vector<ByteRange> rangesToSearch(const RecordLayout& layout, unsigned fields) {
    std::vector<ByteRange> ranges;
    const std::pair<SearchField, ByteRange> all[] = {{kSearchSubject, layout.subject},
                                                     {kSearchFromOrTo, layout.fromOrTo},
                                                     {kSearchDate, layout.date},
                                                     {kSearchBody, layout.body}};
    for (const auto& [bit, range] : all) {
        if ((fields & bit) != 0) {
            ranges.push_back(range);
        }
    }
    return ranges;
}

Result<std::vector<const BoxInfo*>> boxesToSearch(const std::vector<int>& numbers) {
    std::vector<const BoxInfo*> boxes;
    if (numbers.empty()) {
        for (const BoxInfo& box : allBoxes()) {
            boxes.push_back(&box);
        }
        return boxes;
    }
    for (int number : numbers) {
        const BoxInfo* box = findBox(number);
        if (box == nullptr) {
            return Status::invalidArgument("there is no box " + std::to_string(number));
        }
        boxes.push_back(box);
    }
    return boxes;
}

SearchHit hitOf(int box, int recordNumber, const RecordLayout& layout,
                std::span<const char> record) {
    auto field = [&](ByteRange range) {
        return listText(record.subspan(range.offset, range.lengthBytes));
    };
    return {box, recordNumber, field(layout.subject), field(layout.fromOrTo), field(layout.date)};
}

// True when a searched field of `record` matches: through the record's
// texts, or (a text no record can hold) through its mail's original.
bool recordMatches(const TextMatcher* matcher, const OriginalSearch* originals, int box,
                   const RecordLayout& layout, const std::vector<ByteRange>& ranges,
                   std::span<const char> record) {
    if (matcher == nullptr) {
        return originals->matches(box, layout, record);
    }
    return std::any_of(ranges.begin(), ranges.end(), [&](const ByteRange& range) {
        return matcher->matches(withoutPadding(record.subspan(range.offset, range.lengthBytes)));
    });
}

// Searches one box into `result`; false when the search was cancelled.
bool searchBox(const std::string& dataFolder, const BoxInfo& box, const TextMatcher* matcher,
               const OriginalSearch* originals, unsigned fields, const SearchControl& control,
               SearchProgress& progress, SearchResult& result) {
    const RecordLayout& layout = layoutOf(box.kind);
    const RecordFile file = boxFile(base::posixFileSystem(), dataFolder, box);
    const std::vector<ByteRange> ranges = rangesToSearch(layout, fields);
    const std::uint64_t startedAt = progress.bytesDone;
    auto shape = file.shape();
    Status read = shape.status();
    if (shape) {
        read = file.forEach([&](int recordNumber, std::span<const char> record) {
            if (control.cancel != nullptr && control.cancel->load(std::memory_order_relaxed)) {
                return Status::cancelled("search stopped");
            }
            if (recordMatches(matcher, originals, box.number, layout, ranges, record)) {
                result.hits.push_back(hitOf(box.number, recordNumber, layout, record));
            }
            progress.bytesDone += layout.lengthBytes;
            if (recordNumber % kProgressRecords == 0 && control.progress) {
                progress.hits = result.hits.size();
                control.progress(progress);
            }
            return Status::ok();
        });
    }
    if (read.code() == StatusCode::kCancelled) {
        result.cancelled = true;
        return false;
    }
    if (!read.isOk()) {
        result.problems.push_back({box.number, 0, read.message(), read.outsideText()});
    } else if (shape.value().tornBytes != 0) {
        result.problems.push_back({box.number,
                                   shape.value().tornBytes,
                                   "torn tail of " + std::to_string(shape.value().tornBytes) +
                                       " bytes after record " +
                                       std::to_string(shape.value().wholeRecords) + " not searched",
                                   {}});
    }
    // A box that could not be read whole still counts as done.
    progress.bytesDone = startedAt + (shape ? shape.value().lengthBytes : 0);
    return true;
}

}  // namespace

Result<TextMatcher> TextMatcher::create(const SearchQuery& query) {
    if (query.text.empty()) {
        return Status::invalidArgument("the search text is empty");
    }
    if (!text::fitsCp932(query.text)) {
        return Status::invalidArgument("the search text holds a character no box can hold");
    }
    std::string needle = text::toCp932(query.text);
    if (!query.exact) {
        needle = foldingFor(query.sameKana).fold(needle);
    }
    return TextMatcher(std::move(needle), query.exact, query.sameKana);
}

TextMatcher::TextMatcher(std::string needle, bool exact, bool sameKana)
    : m_needle(std::move(needle)), m_exact(exact), m_sameKana(sameKana) {
    if (!m_exact) {
        m_filter = AnchorFilter(foldingFor(m_sameKana), m_needle);
    }
}

bool TextMatcher::matches(std::string_view cp932) const {
    if (m_exact) {
        return text::findAligned(cp932, m_needle) != std::string_view::npos;
    }
    if (!m_filter.mayMatch(cp932)) {
        return false;
    }
    // Folded a piece at a time: a match near the start of a long body ends
    // the work there.
    constexpr std::size_t kPieceBytes = 2048;
    const text::Cp932Folding& folding = foldingFor(m_sameKana);
    thread_local std::string folded;
    folded.clear();
    std::size_t searchedUpTo = 0;  // no match starts before this in `folded`
    for (std::size_t done = 0; done < cp932.size();) {
        done += folding.foldPrefix(cp932.substr(done), kPieceBytes, folded);
        if (text::findAligned(folded, m_needle, searchedUpTo) != std::string_view::npos) {
            return true;
        }
        searchedUpTo = folded.size() < m_needle.size() ? 0 : folded.size() - m_needle.size() + 1;
    }
    return false;
}

Result<SearchResult> searchBoxes(const std::string& dataFolder, const SearchQuery& query,
                                 const SearchControl& control) {
    // A text no record can hold is looked for in the originals alone.
    std::optional<OriginalSearch> originals;
    if (!query.text.empty() && !text::fitsCp932(query.text) && control.decodeOriginal) {
        originals.emplace(dataFolder, query.text, query.fields, control.decodeOriginal);
    }
    std::optional<TextMatcher> matcher;
    if (!originals) {
        auto created = TextMatcher::create(query);
        if (!created) {
            return created.status();
        }
        matcher.emplace(std::move(created).value());
    }
    auto boxes = boxesToSearch(query.boxes);
    if (!boxes) {
        return boxes.status();
    }
    SearchProgress progress{0, 0, 0};
    for (const BoxInfo* box : boxes.value()) {
        if (auto size = base::posixFileSystem().size(base::joinPath(dataFolder, box->fileName))) {
            progress.bytesTotal += size.value();
        }
    }
    SearchResult result;
    for (const BoxInfo* box : boxes.value()) {
        if (!searchBox(dataFolder, *box, matcher ? &*matcher : nullptr,
                       originals ? &*originals : nullptr, query.fields, control, progress,
                       result)) {
            break;
        }
    }
    if (control.progress && !result.cancelled) {
        progress.hits = result.hits.size();
        control.progress(progress);
    }
    return result;
}

Result<bool> hitIsCurrent(const std::string& dataFolder, const SearchHit& hit) {
    const BoxInfo* box = findBox(hit.box);
    if (box == nullptr) {
        return Status::invalidArgument("there is no box " + std::to_string(hit.box));
    }
    const RecordLayout& layout = layoutOf(box->kind);
    std::vector<char> record(layout.lengthBytes);
    auto found = boxFile(base::posixFileSystem(), dataFolder, *box).read(hit.recordNumber, record);
    if (!found) {
        return found.status();
    }
    if (!found.value()) {
        return false;
    }
    const SearchHit now = hitOf(hit.box, hit.recordNumber, layout, record);
    return now.subject == hit.subject && now.fromOrTo == hit.fromOrTo && now.date == hit.date;
}

}  // namespace qf::store
