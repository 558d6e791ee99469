// The editor's rules on text that need no window: searching by 1-based
// position, the name of a new file, the bytes of a text file read or
// written, and the font toggles.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/Status.h"
#include "text/Utf8.h"

namespace qf::editor {

// The name New gives the file it creates.
inline constexpr std::string_view kNewFileName = "新規作成.TXT";

// Searches `text` for `needle` from the 1-based position `start` (below 1
// counts as 1), exact and case-sensitive. Returns the 1-based position of
// the match, or 0. Positions are UTF-16 units, as the pane counts them, and
// are not limited to 16 bits. An empty needle finds nothing.
std::int64_t findFrom(std::u16string_view text, std::u16string_view needle, std::int64_t start);

// Where Find next starts: the first character after the last match, or the
// needle's length when the last search found nothing (position 0).
constexpr std::int64_t findNextStart(std::int64_t lastFound, std::size_t needleLength) {
    return lastFound + static_cast<std::int64_t>(needleLength);
}

// The name of the file New creates, or nothing when the current name already
// names such a file (New then does nothing). The file goes into the folder
// of the current file, or into the program folder when the current name has
// no folder (the program never depends on the folder it was started from).
std::optional<std::string> newFileName(std::string_view currentFile,
                                       std::string_view programFolder);

// A text file's bytes as the pane's text: UTF-8 when the bytes are valid
// UTF-8 (a leading byte-order mark dropped), else CP932. Every line is
// followed by "\n", whichever line end (CR LF, LF or CR) the file used.
std::string textFromFileBytes(std::string_view bytes);

// Open reads a file larger than this only when the user agrees: the pane
// takes a while to take in that much text.
inline constexpr std::uint64_t kLargeFileBytes = 16u * 1024 * 1024;

// What Open finds at a path before it reads: whether anything is there,
// whether it is a regular file (a folder, a pipe or a device is never read:
// a pipe can wait for ever, /dev/zero never ends) and its size in bytes.
struct FileToOpen {
    bool exists = false;
    bool regular = false;
    std::uint64_t sizeBytes = 0;
};
FileToOpen inspectFileToOpen(const std::string& path);

// Reads the regular file at `path` whole, a few megabytes at a time, and
// asks `keepGoing(bytesRead, sizeBytes)` after each step: false ends the
// read with kCancelled. What is not a regular file is refused at once
// (kInvalidArgument), never waited on; kIoError names a failed read.
Result<std::string> readTextFile(
    const std::string& path,
    const std::function<bool(std::uint64_t bytesRead, std::uint64_t sizeBytes)>& keepGoing);

// The pane's text (UTF-8) as a file's bytes: CP932, line breaks as CR LF.
std::string fileBytesFromText(std::string_view utf8);

// True when every sequence of `bytes` is well-formed UTF-8.
using text::isValidUtf8;

// A font toggle: an odd counter switches the attribute off and becomes 2, an
// even one switches it on and becomes 1.
struct Toggle {
    bool on = false;
    int counter = 0;
};
constexpr Toggle toggled(int counter) {
    return counter % 2 != 0 ? Toggle{false, 2} : Toggle{true, 1};
}

}  // namespace qf::editor
