#include "store/MovedTwice.h"

#include <functional>
#include <string>
#include <unordered_map>

#include "store/BoxCatalogue.h"
#include "store/MailRecord.h"

namespace qf::store {

namespace {

// The mail's four texts as one string; records of both layouts give the
// same for the same mail.
std::string contentOf(RecordKind kind, std::span<const char> record) {
    const MailFields fields = decodeRecord(layoutOf(kind), record);
    return fields.subject + '\0' + fields.fromOrTo + '\0' + fields.date + '\0' + fields.body;
}

}  // namespace

Result<std::vector<SameMail>> mailsInBothBoxes(const MailStore& store) {
    std::vector<SameMail> pairs;
    auto other = store.file(kOtherBox);
    auto keep = store.file(kKeepBox);
    if (!other || !keep) {
        return other ? keep.status() : other.status();
    }
    // Hashes only, so that a large "その他" is not held in memory; a match
    // is read again and compared whole.
    std::unordered_multimap<std::size_t, int> otherRecords;
    Status read = other.value().forEach([&](int n, std::span<const char> record) {
        otherRecords.emplace(std::hash<std::string>{}(contentOf(RecordKind::kMail, record)), n);
        return Status::ok();
    });
    if (!read) {
        return read;
    }
    std::string otherRecord(other.value().format().lengthBytes, '\0');
    read = keep.value().forEach([&](int n, std::span<const char> record) {
        const std::string content = contentOf(RecordKind::kKeep, record);
        const auto [first, last] = otherRecords.equal_range(std::hash<std::string>{}(content));
        for (auto match = first; match != last; ++match) {
            auto got = other.value().read(match->second, std::span<char>(otherRecord));
            if (got && got.value() && contentOf(RecordKind::kMail, otherRecord) == content) {
                pairs.push_back({match->second, n});
                break;
            }
        }
        return Status::ok();
    });
    if (!read) {
        return read;
    }
    return pairs;
}

}  // namespace qf::store
