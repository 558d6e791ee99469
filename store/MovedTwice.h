// A move from "その他" to the keep box appends the mail to the keep box,
// durably, before "その他" loses it: a crash in between leaves the mail in
// both boxes (never in neither). Nothing marks such a pair, so it is found
// by content: the same subject, sender, date and body in both boxes.
#pragma once

#include <vector>

#include "base/Status.h"
#include "store/MailStore.h"

namespace qf::store {

struct SameMail {
    int otherRecord;  // record number in "その他"
    int keepRecord;   // record number in the keep box
};

// Every mail of the keep box that "その他" holds too, in keep-box order.
Result<std::vector<SameMail>> mailsInBothBoxes(const MailStore& store);

}  // namespace qf::store
