// Parts of split mail (message/partial) kept on disk until the whole set has
// arrived, across receive runs, then put together again.
//
// Layout under the attachment folder:
//
// | path                          | content                                        |
// |-------------------------------|------------------------------------------------|
// | .split-mail/                  | work folder of all incomplete split mails      |
// | .split-mail/<key>/            | one split mail; key = id with unsafe bytes "_" |
// |                               | plus a hash of the exact id                    |
// | .split-mail/<key>/<n>.part    | part n (from 1): the mail text as received     |
// | .split-mail/<key>/total       | number of parts, decimal, once a part tells it |
//
// Every file is written beside its final name, flushed and renamed, so a
// part that the server has already deleted is never half on disk.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/FileSystem.h"
#include "base/Status.h"
#include "transport/MailDecoder.h"

namespace qf::transport {

inline constexpr int kMaxSplitParts = 100;

// Keeps `rawPart`, the whole text of part `info.number` of split mail
// `info.id`. When the set is complete, returns the reassembled mail (the
// parts stay kept until releaseSplitMail); otherwise nullopt.
// Fails, keeping nothing, for an absurd part: empty id, a number below 1 or
// above the total, a total over kMaxSplitParts or unlike an earlier part's;
// and for an I/O error or a set that cannot be reassembled (kept parts stay).
Result<std::optional<std::string>> keepSplitPart(const std::string& attachmentFolder,
                                                 const PartialInfo& info, std::string_view rawPart,
                                                 base::FileSystem& fs = base::posixFileSystem());

// Removes the kept parts of split mail `id`, once the reassembled mail has
// been handed on.
void releaseSplitMail(const std::string& attachmentFolder, std::string_view id);

// The folder name `id` is kept under (below .split-mail/).
std::string splitMailKey(std::string_view id);

}  // namespace qf::transport
