// The server settings file "corvid.ini": SMTP server, POP3 server, the user's
// own address and the APOP choice. It lives in the program folder
// (ProgramFolder::serverSettingsFile()); start-up reads it and the server
// settings window rewrites it whole.
//
// It is a list of lines in CP932, not an INI file:
//
// | line | value                              | held as              | default |
// |------|------------------------------------|----------------------|---------|
// | 1    | "SMTP=" + SMTP server name         | text, ≤ 100 chars    | empty   |
// | 2    | "POP3=" + POP3 server name         | text, ≤ 100 chars    | empty   |
// | 3    | "MAIL=" + own mail address         | text, ≤ 100 chars    | empty   |
// | 4    | "APOP=" + decimal integer (1 = on) | small integer        | 0       |
// | 5    | "CHECK=" + minutes, only when on   | 1 … 1440             | 0 (off) |
// | 6    | "KEEP=1": leave mail on the server | on when not 0        | off     |
// | 7    | "KEEPDAYS=" + days, then delete it | 0 … 32767, 0 = never | 0       |
// | 8    | "NAME=" + the sender's display name | text, ≤ 100 chars    | empty   |
// | 9…   | "SIG=" + one line of the signature  | text, ≤ 500 chars    | none    |
// | last | "QUOTE=1": quote the received text  | on when not 0        | off     |
//
// The signature is its "SIG=" lines in order, joined by line breaks (the
// one key whose lines add up instead of replacing each other).
//
// Every line ends in CR LF when written. On reading, each line is tested by
// its beginning, compared case-sensitively with the keys; any other line is
// ignored and a later line wins over an earlier one with the same key.
// Values are not trimmed. The lines after the first four are written only
// when not at their default (the timed check on, mail left on the server,
// days not 0, a name, a signature, quoting on), so a file without them reads as off and a program
// that knows only the four lines reads the file as before.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "base/FileSystem.h"
#include "base/Status.h"

namespace qf::settings {

// A text value longer than this (in characters) is cut when read.
inline constexpr std::size_t kServerValueMaxChars = 100;
// The longest interval of the timed check: a day.
inline constexpr int kMaxCheckMinutes = 24 * 60;

struct ServerSettings {
    std::string smtp;  // UTF-8
    std::string pop3;  // UTF-8
    std::string mail;  // UTF-8, the sender address of outgoing mail
    int apop = 0;      // 1 = authenticate with APOP; always within -32768..32767
    // Leave received mail on the server (the receive run keeps a list of the
    // mails it stored), deleting each `keepDays` days after it was stored
    // (0: never). keepDays is always within 0..32767.
    bool keepOnServer = false;
    int keepDays = 0;
    // Check for new mail every this many minutes; 0 = no timed check.
    int checkMinutes = 0;
    // The From header's display name and the signature put under a new mail
    // and a reply (LF line ends, no "-- " line); empty for none.
    std::string senderName = {};
    std::string signature = {};
    // The reply window quotes the received text with "> " (remembered choice).
    bool quoteReplies = false;

    bool operator==(const ServerSettings&) const = default;
};

// Reads the file. A missing or unreadable file gives all four settings at
// their defaults (empty texts, APOP 0), the same as a file with no known line.
ServerSettings readServerSettings(const std::filesystem::path& file);

// Parses the bytes of a settings file (CP932). Lines may end in CR LF, LF or
// CR. An "APOP=" value is its leading decimal number (an optional sign, then
// digits), 0 when there is none; a number outside the small-integer range
// -32768..32767 is held at the nearer end of that range. A "CHECK=" value
// is read the same way and held within 0 … kMaxCheckMinutes.
ServerSettings parseServerSettings(std::string_view cp932Bytes);

// The exact bytes writeServerSettings stores: the four lines in the order
// SMTP, POP3, MAIL, APOP, then CHECK when the timed check is on, KEEP=1 when
// mail is left on the server and KEEPDAYS when the days are not 0, each key
// followed directly by its value and CR LF.
// Values are written whole (the reader cuts them); a character CP932 cannot
// hold becomes "?".
std::string formatServerSettings(const ServerSettings& settings);

// Rewrites the file completely and durably (a temporary file beside it,
// flushed and renamed over it). An existing file keeps its permissions.
// Fails with kInvalidArgument, leaving the file untouched, when a value other
// than the signature holds a CR or LF (it would split into lines of its own); kIoError when the
// file cannot be written.
Status writeServerSettings(const std::filesystem::path& file, const ServerSettings& settings,
                           base::FileSystem& fs = base::posixFileSystem());

}  // namespace qf::settings
