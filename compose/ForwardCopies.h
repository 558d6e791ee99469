// Copies of forwarded mails that earlier builds left beside the drafts as
// "forward-<time>-<pid>-<n>.eml" (a forward as attachment attached that file;
// the mail now travels inside its draft).
#pragma once

#include <filesystem>
#include <string_view>

namespace qf::compose {

bool isForwardCopyName(std::string_view fileName);

// Removes, from `folder` itself, each regular file named as such a copy that
// no file of the folder names (an unsent draft still attaching it), and
// makes the removals durable. A symbolic link is neither followed nor
// removed, the folder included; a folder that cannot be read is left as it
// is. The number of files removed.
int removeForwardCopies(const std::filesystem::path& folder);

}  // namespace qf::compose
