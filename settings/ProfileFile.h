// A small INI ("private profile") layer with the semantics of the Windows
// profile-string functions, for the account and sorting-registration files.
//
// File layout (CP932 bytes; lines end in CR LF, LF or CR when read, CR LF when
// written by this layer):
//
// | line                      | meaning                                          |
// |---------------------------|--------------------------------------------------|
// | "[" name "]"              | starts section `name` (spaces/tabs around it are |
// |                           | ignored; anything after "]" too)                 |
// | key "=" value             | an entry of the current section; key and value   |
// |                           | are trimmed of spaces and tabs at both ends      |
// | anything else             | kept as it is, never interpreted                 |
//
// Semantics:
// - Section and key names are compared without regard to ASCII letter case.
//   The first section of a name and the first key of a name in it count.
// - A value read is trimmed of spaces and tabs at both ends; then, when it is
//   at least two characters long and starts and ends with the same quote
//   character (" or '), that one pair of quotes is removed, as Windows does.
// - A read is cut by the caller's buffer: a buffer of N characters returns at
//   most N - 1 characters (characters of the text, not bytes).
// - Writing creates the file and the section when missing. Only the line of
//   the written key changes (the key keeps the spelling found in the file);
//   a new key goes after the last non-blank line of its section, a new section
//   at the end of the file. Every other byte of the file is kept.
// - So that a written value reads back as written, a value that would lose
//   something on reading (spaces or tabs at either end, or a matching pair of
//   quotes around it) is written inside double quotes. Such a file reads the
//   same under the Windows functions.
// - Writes are durable (temporary file beside it, flushed, renamed over it)
//   and keep the file's permissions unless FileAccess::kOwnerOnly is asked.
//
// Names and values are UTF-8 in this interface; a character CP932 cannot hold
// is written as "?".
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/FileSystem.h"
#include "base/Status.h"

namespace qf::settings {

// Who may read a file this layer writes.
enum class FileAccess {
    kKeep,       // an existing file keeps its mode; a new one is the owner's alone (0600)
    kOwnerOnly,  // the file ends up with mode 0600, new or not (files holding a password)
};

// One key and the value to write for it.
using ProfileEntry = std::pair<std::string, std::string>;

// The value of `key` in `section`, or `defaultValue` when the file, the section
// or the key is missing or the file cannot be read. The result (value or
// default) holds at most bufferChars - 1 characters; bufferChars 0 gives "".
std::string getProfileString(const std::filesystem::path& file, std::string_view section,
                             std::string_view key, std::string_view defaultValue,
                             std::size_t bufferChars);

// Writes one key (see writeProfileStrings).
Status writeProfileString(const std::filesystem::path& file, std::string_view section,
                          std::string_view key, std::string_view value,
                          FileAccess access = FileAccess::kKeep);

// Writes every entry into `section` with one rewrite of the file, in order (a
// key named twice ends with the later value).
// Fails with kInvalidArgument, leaving the file untouched, when the section
// name is empty or holds "]", a key is empty or holds "=", or any text holds a
// CR or LF; with kIoError when the file cannot be read or written.
Status writeProfileStrings(const std::filesystem::path& file, std::string_view section,
                           const std::vector<ProfileEntry>& entries,
                           FileAccess access = FileAccess::kKeep,
                           base::FileSystem& fs = base::posixFileSystem());

// The same operations on the bytes of a file, for callers that hold them.
std::string profileValueIn(std::string_view cp932Bytes, std::string_view section,
                           std::string_view key, std::string_view defaultValue,
                           std::size_t bufferChars);
// REQUIRES: the entries passed the checks writeProfileStrings makes.
std::string withProfileEntries(std::string_view cp932Bytes, std::string_view section,
                               const std::vector<ProfileEntry>& entries);

}  // namespace qf::settings
