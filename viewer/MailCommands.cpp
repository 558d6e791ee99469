#include "viewer/MailCommands.h"

#include "store/MailRecord.h"
#include "text/Cp932.h"
#include "text/FixedField.h"

namespace qf::viewer {
namespace {

std::string asStored(std::span<const char> record, const store::ByteRange& field) {
    const std::string_view bytes(record.data() + field.offset, field.lengthBytes);
    return text::fromCp932(text::cutAtNul(bytes));
}

}  // namespace

StoredMail storedMail(const MailStore& store, int box) {
    const store::BoxInfo* info = store::findBox(box);
    const std::span<const char> record = store.currentRecord(box);
    if (info == nullptr || record.empty()) {
        return {};
    }
    const store::RecordLayout& layout = store::layoutOf(info->kind);
    return {asStored(record, layout.subject), asStored(record, layout.fromOrTo),
            asStored(record, layout.date),
            std::string(text::cutAtNul(store.currentFields(box).body))};
}

Status deleteOneMail(MailStore& store, int box, int recordNumber) {
    Result<bool> found = store.readRecord(box, recordNumber);
    if (!found) {
        return found.status();
    }
    if (!found.value()) {
        return Status::notFound("box " + std::to_string(box) + ": no record " +
                                std::to_string(recordNumber));
    }
    return store.deleteRecord(box, recordNumber);
}

}  // namespace qf::viewer
