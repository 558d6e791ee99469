// Text helpers of the receive run that need no server: the whole-mail text
// built from a fetched header and body, the work file it passes through, and
// sorting by sender.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <string_view>

#include "settings/AccountFiles.h"
#include "text/Status.h"

namespace qf::receive {

// The lines of `text` (ending in CR LF, LF or CR), each followed by CR LF.
// A last line without a line end still counts; no line is added after it.
std::string joinLinesCrLf(std::string_view text);

// The header, an empty line and the body, every line ending in CR LF. Line
// breaks at the header's end are dropped first, so the header and the body
// are always parted by exactly one empty line, whether or not the transport
// handed the header over with its closing empty line.
std::string wholeMailLines(std::string_view header, std::string_view body);

// Writes wholeMailLines' lines into the work file (replacing it), reads the
// file back line by line and returns the lines joined with CR LF: the text
// the decoder gets. Fails with kIoError naming the file; the caller can then
// use wholeMailLines directly, which gives the same text.
Result<std::string> passThroughWorkFile(const std::filesystem::path& workFile,
                                        std::string_view header, std::string_view body);

// The slot (0 … 4) of the first registration whose address, trimmed of spaces
// at both ends, equals `sender` exactly (case-sensitive, sender untrimmed);
// 5 ("その他") when none does.
int slotForSender(std::string_view sender,
                  const std::array<std::string, settings::kSortingRegistrationCount>& addresses);

// True when the raw text mentions an attachment: the word "attachment",
// case-sensitive, as MIME parts carry it in Content-Disposition.
bool mentionsAttachment(std::string_view rawText);

}  // namespace qf::receive
