// Replacing a small file so that a crash leaves either the old or the new
// contents, never a mix: write a temporary file beside it, flush it, rename it
// over the file, flush the folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "text/Status.h"

namespace qf::settings {

// Replaces `file` with `bytes`. The new file gets `mode` when given; otherwise
// an existing file keeps its permission bits and a new one gets 0666 less the
// umask. When `file` is a symbolic link, the file it points to is replaced.
// On failure (kIoError naming the file and the reason) the old file is
// unchanged and no temporary file is left behind.
Status replaceFileDurably(const std::filesystem::path& file, std::string_view bytes,
                          std::optional<unsigned> mode = std::nullopt);

// The whole file, or kNotFound when it does not exist, or kIoError.
Result<std::string> readWholeFile(const std::filesystem::path& file);

}  // namespace qf::settings
