// The original of a fetched mail, kept before its record is appended: the
// record may hold "?" where the mail had a character CP932 lacks, and the
// server loses the mail once the record is synced. It is written unsynced;
// the run syncs its originals together before it deletes any mail.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "base/Status.h"
#include "store/MailStore.h"
#include "store/Originals.h"

namespace qf::receive {

// The name the original of `record`, about to be appended to `box`, is
// kept under (store::originalName of its texts); "" for a box without
// originals.
std::string receivedOriginalName(int box, std::span<const char> record);

// Keeps `original` under `name` in `box`, to be synced with `later`. A
// failure means the mail must stay on the server.
Status keepOriginalOf(store::MailStore& store, int box, const std::string& name,
                      std::string_view original, store::UnsyncedOriginals& later);

}  // namespace qf::receive
