#include "store/OriginalSearch.h"

#include <algorithm>

#include "store/BoxCatalogue.h"
#include "store/MailSearch.h"
#include "store/Originals.h"

namespace qf::store {

OriginalSearch::OriginalSearch(std::string dataFolder, std::string text, unsigned fields,
                               OriginalDecoder decode)
    : m_dataFolder(std::move(dataFolder)),
      m_text(std::move(text)),
      m_fields(fields),
      m_decode(std::move(decode)) {}

bool OriginalSearch::matches(int box, const RecordLayout& layout,
                             std::span<const char> record) const {
    const std::pair<SearchField, ByteRange> searched[] = {{kSearchSubject, layout.subject},
                                                          {kSearchFromOrTo, layout.fromOrTo},
                                                          {kSearchBody, layout.body}};
    const bool replaced = std::any_of(std::begin(searched), std::end(searched), [&](auto field) {
        const auto bytes = record.subspan(field.second.offset, field.second.lengthBytes);
        return (m_fields & field.first) != 0 &&
               std::find(bytes.begin(), bytes.end(), '?') != bytes.end();
    });
    if (!replaced) {
        return false;
    }
    auto original = Originals(m_dataFolder).find(box, decodeRecord(layout, record));
    if (!original || !original.value()) {
        return false;
    }
    const OriginalTexts mail = m_decode(*original.value());
    const bool history = box == kSendHistoryBox;
    const std::pair<SearchField, const std::string*> texts[] = {
        {kSearchSubject, &mail.subject},
        {kSearchFromOrTo, history ? nullptr : &mail.sender},
        {kSearchBody, &mail.body}};
    return std::any_of(std::begin(texts), std::end(texts), [&](auto text) {
        return (m_fields & text.first) != 0 && text.second != nullptr &&
               text.second->find(m_text) != std::string::npos;
    });
}

}  // namespace qf::store
