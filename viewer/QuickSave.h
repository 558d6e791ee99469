// Saving the shown mail as a text file in the quick-save folder, named after
// its subject with ".txt".
//
// The subject becomes a file name that stays inside the folder and is valid
// on every system the folder may be copied to: each character a file name
// cannot hold here or on Windows (/ \ : * ? " < > |, NUL and the control
// characters) becomes "_", and a name longer than kMaxQuickSaveNameBytes
// UTF-8 bytes is cut at a character boundary before ".txt". The limit leaves
// room below the file system's 255 bytes for the temporary name the durable
// write uses beside the file. An empty subject gives ".txt".
//
// The folder is created when it is missing. The file is written beside and
// renamed into place, so a failed save leaves the old file or none; a
// symbolic link of that name is replaced, never followed out of the folder.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/FileSystem.h"
#include "base/Status.h"

namespace qf::viewer {

inline constexpr std::size_t kMaxQuickSaveNameBytes = 239;

// The file name the subject (UTF-8) is saved under.
std::string quickSaveFileName(std::string_view subject);

// The file's path in `folder`.
std::filesystem::path quickSavePath(const std::filesystem::path& folder, std::string_view subject);

// True when anything (a file, a folder, a link) has the file's name.
bool quickSaveExists(const std::filesystem::path& path);

// Creates the folder when missing and replaces the file with `bytes`.
Status writeQuickSave(const std::filesystem::path& path, std::string_view bytes,
                      base::FileSystem& fs = base::posixFileSystem());

}  // namespace qf::viewer
