// Text helpers of the receive run that need no server: the whole-mail text
// built from a fetched header and body, the work file it passes through, and
// sorting by sender.
#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "base/Status.h"
#include "settings/AccountFiles.h"

namespace qf::receive {

// The lines of `text` (ending in CR LF, LF or CR), each followed by CR LF.
// A last line without a line end still counts; no line is added after it.
std::string joinLinesCrLf(std::string_view text);

// The header, an empty line and the body, every line ending in CR LF. Line
// breaks at the header's end are dropped first, so the header and the body
// are always parted by exactly one empty line, whether or not the transport
// handed the header over with its closing empty line.
std::string wholeMailLines(std::string_view header, std::string_view body);

// The work file "0.txt" of one receive run. Each mail's whole text
// (wholeMailLines) is written into it, replacing the one before; the text
// written is what the decoder gets. The file is made anew at the first mail
// (the user's alone; a link or a file left in its place is removed, never
// followed) and rewritten in place for every other one (creating and
// removing a file per mail costs more than writing the mail), and removed by
// remove() or when the object goes.
class WorkFile {
  public:
    explicit WorkFile(std::filesystem::path path) : m_path(std::move(path)) {}
    ~WorkFile() { remove(); }
    WorkFile(const WorkFile&) = delete;
    WorkFile& operator=(const WorkFile&) = delete;

    // The text as written. Fails with kIoError naming the file; the caller
    // can then use wholeMailLines directly, which gives the same text.
    Result<std::string> passThrough(std::string_view header, std::string_view body);
    void remove();

  private:
    Status open();

    std::filesystem::path m_path;
    int m_fd = -1;
    long long m_length = 0;  // of the text last written
};

// The address a registration names when it is one bare address, alone or in
// angle brackets ("tanaka@example.jp", "<tanaka@example.jp>"), trimmed of
// spaces; nullopt for any other text (a name with an address, a word).
std::optional<std::string_view> bareAddressOf(std::string_view registration);

// The slot (0 … 4) of the first registration that matches `sender`; 5
// ("その他") when none does. A registration matches when, trimmed of spaces
// at both ends, it equals `sender` exactly (case-sensitive, sender
// untrimmed), and a bare address (bareAddressOf) also matches every sender
// that names that address, whatever the display name: the local part as
// written, the domain without regard to case.
int slotForSender(std::string_view sender,
                  const std::array<std::string, settings::kSortingRegistrationCount>& addresses);

// The sender text (CP932) as the From field of `fieldBytes` can keep it.
// Text that fits is returned as it is; otherwise the mailboxes that fit
// whole (with their names where those fit too), so that a cut never turns
// an address into another one. When not even the first address fits, the
// text's start as a quoted name with an empty address ("…" <>).
std::string senderForField(std::string_view cp932Sender, std::size_t fieldBytes);

// True when the raw text mentions an attachment: the word "attachment",
// case-sensitive, as MIME parts carry it in Content-Disposition.
bool mentionsAttachment(std::string_view rawText);

}  // namespace qf::receive
