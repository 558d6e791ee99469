// What a file shown in the attachment browser may reach on disk, decided
// without a window. Built into the browser window and into the web view's
// module alike, so it uses nothing but the C library.
#pragma once

#include <string>

namespace qf::attachments {

// True when `path` is `folder` itself or lies below it, both taken as the
// file system resolves them: links followed, "." and ".." gone, so that
// neither a link nor "../" leads out. A path that does not exist (or cannot
// be resolved) lies nowhere.
bool liesWithin(const std::string& folder, const std::string& path);

// The folder part of `path`: everything before its last "/" ("/" for a file
// in the root folder).
std::string folderOf(const std::string& path);

// Opens a regular file (or a link to one) for reading and returns its
// descriptor, or -1 for anything else: a pipe, a device or a folder is
// refused without waiting on it. The caller closes the descriptor.
int openRegularFile(const std::string& path);

}  // namespace qf::attachments
