#include "viewer/BoxListing.h"

#include "store/Originals.h"
#include "text/FixedField.h"
#include "viewer/OriginalText.h"

namespace qf::viewer {
namespace {

std::string cut(const std::string& text) {
    return std::string(text::cutAtNul(text));
}

// Record n of `box` as its buffer holds it, with its original's texts when
// one is kept. An original that cannot be read leaves the record's texts.
ShownMail shownMail(const MailStore& store, int box, int recordNumber) {
    const store::MailFields fields = store.currentFields(box);
    ShownMail mail{cut(fields.subject), cut(fields.fromOrTo), cut(fields.date), cut(fields.body)};
    mail.box = box;
    mail.recordNumber = recordNumber;
    auto original = store::Originals(store.dataFolder(), store.fileSystem()).find(box, fields);
    if (original && original.value()) {
        applyOriginal(mail, std::move(*original.value()));
    }
    return mail;
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
        listing.last = shownMail(store, box, static_cast<int>(listing.rows.size()));
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
    return shownMail(store, box, recordNumber);
}

}  // namespace qf::viewer
