// The text NMailGetMessage returns: the last failure of any transport call on
// this thread, as a Japanese sentence a user understands followed by the
// server's or library's own detail.
#pragma once

#include <string>
#include <string_view>

namespace qf::transport {

// sentence: what failed, in Japanese (UTF-8); detail: the server reply or the
// library message (may be empty). Stored as "sentence（detail）".
void setLastError(std::string_view sentence, std::string_view detail = {});
void clearLastError();
// UTF-8; NMailGetMessage converts it to CP932.
const std::string& lastError();

}  // namespace qf::transport
