#include "transport/Threading.h"

#include <algorithm>
#include <vector>

#include "transport/MailDecoder.h"

namespace qf::transport {

namespace {

// A header line stays under 998 bytes: the oldest ids after the first go.
constexpr std::size_t kMaxReferencesBytes = 900;

bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The ids of a field's text, in order; text between ids (comments, folding)
// is skipped, and an id that is not plain is dropped.
std::vector<std::string> idsIn(std::string_view text) {
    std::vector<std::string> ids;
    std::size_t at = 0;
    while ((at = text.find('<', at)) != std::string_view::npos) {
        const std::size_t end = text.find('>', at);
        if (end == std::string_view::npos) {
            break;
        }
        // An id broken off before its ">" does not swallow the next one.
        if (const std::size_t next = text.find('<', at + 1); next < end) {
            at = next;
            continue;
        }
        const std::string_view id = text.substr(at, end - at + 1);
        if (isPlainMessageId(id)) {
            ids.emplace_back(id);
        }
        at = end + 1;
    }
    return ids;
}

std::string_view fieldValue(std::string_view fieldText) {
    const std::size_t colon = fieldText.find(':');
    return colon == std::string_view::npos ? std::string_view() : fieldText.substr(colon + 1);
}

std::string joined(const std::vector<std::string>& ids) {
    std::string text;
    for (const std::string& id : ids) {
        text += (text.empty() ? "" : " ") + id;
    }
    return text;
}

std::string boundedReferences(std::vector<std::string> ids) {
    while (ids.size() > 2 && joined(ids).size() > kMaxReferencesBytes) {
        ids.erase(ids.begin() + 1);
    }
    return joined(ids);
}

}  // namespace

bool isPlainMessageId(std::string_view id) {
    if (id.size() < 5 || id.size() > 250 || id.front() != '<' || id.back() != '>') {
        return false;
    }
    const std::string_view inside = id.substr(1, id.size() - 2);
    const std::size_t at = inside.find('@');
    if (at == 0 || at == std::string_view::npos || at + 1 == inside.size()) {
        return false;
    }
    return std::all_of(inside.begin(), inside.end(), [](char c) {
        return c > 0x20 && c < 0x7f && c != '<' && c != '>' && c != '"' && c != '\\';
    });
}

ReplyThread replyThreadOf(std::string_view rawMail) {
    std::vector<std::string> messageIds, references, inReplyTo;
    for (const RawHeaderField& field : rawHeaderFields(rawMail)) {
        if (sameName(field.name, "Message-ID")) {
            messageIds = idsIn(fieldValue(field.text));
        } else if (sameName(field.name, "References")) {
            references = idsIn(fieldValue(field.text));
        } else if (sameName(field.name, "In-Reply-To")) {
            inReplyTo = idsIn(fieldValue(field.text));
        }
    }
    if (messageIds.size() != 1) {
        return {};
    }
    if (references.empty() && inReplyTo.size() == 1) {
        references = inReplyTo;
    }
    references.push_back(messageIds.front());
    return {messageIds.front(), boundedReferences(std::move(references))};
}

std::vector<std::string> messageIdsOf(std::string_view references) {
    std::vector<std::string> ids;
    std::size_t at = 0;
    while (at < references.size()) {
        const std::size_t start = references.find_first_not_of(" \t\r\n", at);
        if (start == std::string_view::npos) {
            break;
        }
        const std::size_t end =
            std::min(references.find_first_of(" \t\r\n", start), references.size());
        ids.emplace_back(references.substr(start, end - start));
        at = end;
    }
    return ids;
}

}  // namespace qf::transport
