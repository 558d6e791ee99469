#include "viewer/BoxListing.h"

#include "text/FixedField.h"

namespace qf::viewer {
namespace {

std::string cut(const std::string& text) {
    return std::string(text::cutAtNul(text));
}

ShownMail shownMail(const store::MailFields& fields) {
    return {cut(fields.subject), cut(fields.fromOrTo), cut(fields.date), cut(fields.body)};
}

}  // namespace

BoxListing listBox(MailStore& store, int box) {
    BoxListing listing;
    listing.status = store.createIfMissing(box);
    if (!listing.status.isOk()) {
        return listing;
    }
    listing.status = store.list(box, [&listing](const store::ListEntry& entry) {
        listing.rows.push_back({entry.subject, entry.fromOrTo, entry.date});
    });
    if (listing.status.isOk() && !listing.rows.empty()) {
        listing.last = shownMail(store.currentFields(box));
    }
    return listing;
}

Result<ShownMail> readMail(MailStore& store, int box, int recordNumber) {
    Result<bool> found = store.readRecord(box, recordNumber);
    if (!found.isOk()) {
        return found.status();
    }
    if (!found.value()) {
        return Status::notFound("box " + std::to_string(box) + ": no record " +
                                std::to_string(recordNumber));
    }
    return shownMail(store.currentFields(box));
}

}  // namespace qf::viewer
