// Replacing a whole small file so that a crash leaves either the old or the
// new contents, never a mix: write a temporary file beside it, sync it,
// rename it over the file, sync the folder. Every step goes through the
// file-system seam, so each can be failed in a test.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/FileSystem.h"
#include "base/RepairAction.h"
#include "base/Status.h"

namespace qf::base {

struct ReplaceOptions {
    // The new file's permission bits. Without them an existing file keeps
    // its own and a new one gets `newFilePermissions`.
    std::optional<unsigned> permissions;
    // For a symbolic link: replace the file it points to, or the link itself.
    bool followLink = true;
    // The bits of a file that did not exist: the owner's alone, as the
    // program's own files hold mail and settings; nullopt gives 0666 less
    // the umask (a document the user saves where they choose).
    std::optional<unsigned> newFilePermissions = kPrivateFileMode;
};

// Replaces `path` with `bytes`. When writing, syncing or renaming fails
// (kIoError naming the file and the reason) the old file is unchanged and no
// temporary file is left behind. When only the folder's sync fails, the new
// contents are in place but may not survive a power cut (NotDurable.h).
Status replaceFileDurably(const std::string& path, std::string_view bytes,
                          const ReplaceOptions& options = {}, FileSystem& fs = posixFileSystem());

// The same, but neither the file nor its folder is synced: for many files
// written together and then synced at once (syncFile each, then each folder
// once). A killed process never leaves a part of the file under `path`'s
// name; a power cut before those syncs may leave it torn, empty or gone.
Status replaceFileUnsynced(const std::string& path, std::string_view bytes,
                           const ReplaceOptions& options = {}, FileSystem& fs = posixFileSystem());

// Makes the bytes of the file at `path` durable (fsync).
Status syncFile(const std::string& path, FileSystem& fs = posixFileSystem());

// The temporary files that replacements cut short by a crash left in
// `folder` ("<file>.tmp-<process id>"), as paths, sorted; only those whose
// file name part `isOurs` accepts (the caller's own files, never a file of
// that shape that someone else put there).
std::vector<std::string> leftoverTemporaries(const std::string& folder,
                                             const std::function<bool(std::string_view)>& isOurs);

// Removes what leftoverTemporaries() finds and syncs the folder; one
// kLeftoverTemporaryRemoved action per file removed. The old file beside
// each is whole, so nothing is lost. Only while no replacement runs (under
// the folder's lock).
Result<std::vector<RepairAction>> removeLeftoverTemporaries(
    const std::string& folder, const std::function<bool(std::string_view)>& isOurs,
    FileSystem& fs = posixFileSystem());

// The whole file, or kNotFound when it does not exist, or kIoError.
Result<std::string> readWholeFile(const std::string& path, FileSystem& fs = posixFileSystem());

}  // namespace qf::base
