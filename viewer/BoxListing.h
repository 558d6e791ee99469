// What the viewer reads from a box: the rows of its list and one mail shown
// in full.
//
// Listing reads Subject, From (To in the send history) and Date of every
// record and only the last record whole, so a box of many thousand mails
// lists quickly; the last record is left in the box's current-record buffer,
// where the viewer's commands expect the shown mail.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/Status.h"
#include "store/MailStore.h"
#include "transport/Threading.h"

namespace qf::viewer {

using store::MailStore;

// One list row; texts cut at NUL and stripped (UTF-8).
struct ListedMail {
    std::string subject;
    std::string fromOrTo;
    std::string date;
};

// One mail as the fields and the body pane show it: stripped and cut at the
// first NUL, so a field that was never written shows empty. When the mail's
// original is kept (store/Originals.h), subject, sender and body are its
// texts (every character as it was written) and the rest below is filled
// from it; otherwise they are the record's and the rest is empty.
struct ShownMail {
    std::string subject;
    std::string fromOrTo;
    std::string date;
    std::string body;

    int box = 0;
    int recordNumber = 0;
    std::optional<std::string> original{};  // the mail as it came
    std::string to{}, cc{}, replyTo{};      // decoded, from the original
    transport::ReplyThread thread{};        // what a reply to it carries
};

struct BoxListing {
    std::vector<ListedMail> rows;   // record i is row i - 1
    std::optional<ShownMail> last;  // the last record, when the box has one
    Status status;                  // ok, or why the listing stopped early
};

// Lists `box` in file order; a missing box file is created empty first.
BoxListing listBox(MailStore& store, int box);

// Reads record `recordNumber` of `box` into its current-record buffer.
// kNotFound when the box holds no whole record of that number.
Result<ShownMail> readMail(MailStore& store, int box, int recordNumber);

}  // namespace qf::viewer
