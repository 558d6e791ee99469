// What the viewer's commands do to the box files, apart from the window:
// the texts of the current-record buffer as stored, and deleting one mail.
#pragma once

#include <string>

#include "base/Status.h"
#include "store/MailStore.h"

namespace qf::viewer {

using store::MailStore;

// The fields of a box's current-record buffer as stored: full field width
// with the padding spaces, cut at the first NUL (a buffer that never held a
// record gives empty texts). The body is stripped, as the pane shows it.
struct StoredMail {
    std::string subject;
    std::string fromOrTo;  // From, or To in the send history
    std::string date;
    std::string body;
};
StoredMail storedMail(const MailStore& store, int box);

// Deletes record `recordNumber` of `box`: the record is read into the
// box's buffer first, so exactly that record is marked whatever the buffer
// held, then the box is compacted. kNotFound when there is no such record.
Status deleteOneMail(MailStore& store, int box, int recordNumber);

}  // namespace qf::viewer
