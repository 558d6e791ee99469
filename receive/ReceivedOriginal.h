// The original of a fetched mail, kept before its record is appended: the
// record may hold "?" where the mail had a character CP932 lacks, and the
// server loses the mail once the record is synced.
#pragma once

#include <string_view>

#include "base/Status.h"
#include "store/MailStore.h"

namespace qf::receive {

// Keeps `original` for the record that `cp932Fields` will make in `box`,
// durably. A failure means the mail must stay on the server.
Status keepOriginalOf(store::MailStore& store, int box, const store::MailFields& cp932Fields,
                      std::string_view original);

}  // namespace qf::receive
