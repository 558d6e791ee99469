// Searching for what only a mail's original holds. A search text with a
// character CP932 lacks (an emoji, 𠮷, é, Hangul) can never be in a record:
// the receive stored "?" for such a character. It is matched, exactly (no
// folding), against the decoded texts of the originals of the records that
// hold "?" in a searched field; no other original is read, so a search
// that finds nothing there costs what it did.
//
// The store links no mail decoder (the store tool's listing loads no MIME
// library): whoever searches passes one in (SearchControl::decodeOriginal).
#pragma once

#include <functional>
#include <span>
#include <string>

#include "store/MailRecord.h"

namespace qf::store {

// The texts of an original a search looks in, decoded to UTF-8 as the
// viewer shows them.
struct OriginalTexts {
    std::string subject;
    std::string sender;
    std::string body;
};

using OriginalDecoder = std::function<OriginalTexts(const std::string& original)>;

class OriginalSearch {
  public:
    // `text`: the UTF-8 search text; `fields`: a set of SearchField bits.
    OriginalSearch(std::string dataFolder, std::string text, unsigned fields,
                   OriginalDecoder decode);

    // True when the original kept for `record` of `box` holds the text in
    // a searched field; false when none is kept.
    bool matches(int box, const RecordLayout& layout, std::span<const char> record) const;

  private:
    std::string m_dataFolder;
    std::string m_text;
    unsigned m_fields;
    OriginalDecoder m_decode;
};

}  // namespace qf::store
