// The seen-list: the mails a receive run stored and left on the server, by
// the server's unique id (UIDL), with the time each was first stored. With
// "leave mail on the server" on, a run fetches only the mails it does not
// list and deletes a listed mail once it was stored more than the chosen
// number of days ago. It is part of the data, not a cache: losing it would
// bring every mail on the server again, so a run never takes a missing or
// damaged list for an empty one (see ReceiveRun.h).
//
// File "receive.seen" in the data folder, ASCII lines ending in LF, replaced
// whole and durably (written beside, synced, renamed over it):
// | line     | content                                                    |
// |----------|------------------------------------------------------------|
// | 1        | "quillfern seen list 2 " and the account key (16 hex)      |
// | 2 …      | "no-uidl-told": the user was told the server has no UIDL   |
// |          | first stored (seconds since 1970, UTC) TAB UIDL            |
// | last     | "end " and the number of lines between it and line 1      |
// The account key is the journal's (ReceiveJournal.h): a list of another
// account that lists mails is not this account's. Any line that does not
// parse makes the whole list unreadable: a file replaced whole is never
// torn, so such a line means damage; so does a missing or wrong end line,
// which is how a list cut at a line end is told from a short one. A list of
// version 1 (the same without the end line) is still read as it is, and
// written as version 2 the next time. A new list keeps the old one's mode
// with read and write for its owner added.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

#include "base/FileSystem.h"
#include "base/Status.h"

namespace qf::receive {

// UIDL → when the mail was first stored (seconds since 1970, UTC).
using SeenIds = std::map<std::string, std::int64_t>;

struct SeenList {
    SeenIds ids;
    bool noUidlTold = false;

    bool operator==(const SeenList&) const = default;
};

enum class SeenListState {
    kRead,          // read; an empty list of another account counts as read
    kMissing,       // no file
    kUnreadable,    // cannot be read, or damaged
    kOtherAccount,  // lists mails of another POP3 server or ID
};

struct SeenListRead {
    SeenListState state = SeenListState::kMissing;
    SeenList list;        // when kRead
    std::string problem;  // otherwise: the file and what is wrong with it
};

SeenListRead readSeenList(const std::filesystem::path& file, std::uint64_t accountKey,
                          base::FileSystem& fs = base::posixFileSystem());

std::string formatSeenList(const SeenList& list, std::uint64_t accountKey);

// Replaces the file durably; on failure the old file is as it was.
Status writeSeenList(const std::filesystem::path& file, std::uint64_t accountKey,
                     const SeenList& list, base::FileSystem& fs = base::posixFileSystem());

// Writes an empty list unless there is a file already: what choosing "leave
// mail on the server" does, so that the first run after it knows that an
// empty list is right and a later run can tell a lost list from a new one.
// The list is made for the account of the POP3 server `server` and ID `id`.
Status startSeenList(const std::filesystem::path& file, std::string_view server,
                     std::string_view id, base::FileSystem& fs = base::posixFileSystem());

}  // namespace qf::receive
