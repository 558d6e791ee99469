// The receive journal: how a run after a crash knows which waiting mails an
// interrupted run already stored. The server removes a mail only when the
// session ends normally, so a run that dies before its close (power cut,
// kill, crash) leaves every mail it stored on the server. Before each record
// is written, a line naming the mail's unique id (UIDL) and the record is
// appended here; the journal is synced with the boxes, before any deletion
// is sent (a kill keeps what was written; a power cut before that sync
// can only bring duplicates, since the server still has every mail); after a close that committed
// the deletions the file is removed. It is not a list of mails seen: a line lives only from one
// store to the close that commits its deletion, or, when mail is left on the
// server, until the seen-list (SeenList.h) that names the mail is on disk.
//
// File "receive.journal" in the data folder, ASCII lines ending in LF (it is
// created and synced, folder entry too, before the first record it covers):
// | line  | content                                                         |
// |-------|-----------------------------------------------------------------|
// | 1     | "quillfern receive journal 4 " and the account key (16 hex)     |
// | 2 …   | box TAB record number TAB fingerprint (16 hex) TAB UIDL (or,    |
// |       | from a server without UIDL, the digest of the mail: mailDigest)  |
// The account key is a hash of the POP3 server and ID, so ids of another
// account are never taken for this one's. A mail is known by its UIDL and
// its record by the fingerprint; the record number only saves a search
// when nothing moved it since. The fingerprint is the first 16 hex digits
// of the digest in the name of the record's original (SHA-256 of its four
// texts, store/Originals.h); a record with a NUL in its texts matches none.
// A line cut short by a crash, or one that does not parse, is ignored.
// Journals of versions 1 to 3 (FNV-1a of every byte up to the line end, of
// those bytes without their trailing spaces and the spaces' count, and
// SHA-256 of them) are still read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "base/FileSystem.h"
#include "base/Status.h"
#include "store/MailRecord.h"

namespace qf::store {
class MailStore;
}

namespace qf::receive {

inline constexpr char kJournalFileName[] = "receive.journal";

// A record an interrupted run stored: the box it is in now and its texts
// (as decodeRecord gives them back), which name its original.
struct StoredRecord {
    int box = 0;
    store::MailFields texts;
};
using StoredRecords = std::map<std::string, StoredRecord>;

class ReceiveJournal {
  public:
    ReceiveJournal(std::filesystem::path file, std::string_view server, std::string_view id,
                   base::FileSystem& fs = base::posixFileSystem());

    // True when an earlier run left a journal (of any account).
    bool exists() const;

    // The UIDLs (or digests) of the mails the interrupted run stored: those
    // whose record is still in a mail box, where it was written or, found
    // by its fingerprint, anywhere else (a delete, a move or a compaction
    // since). A journal of another account gives none and is removed: its
    // mails would come twice, never be lost.
    // `records` gets, by UIDL (or digest), where each of those records is
    // now and its texts: the next run makes sure their originals are whole.
    Result<std::set<std::string>> storedIds(const store::MailStore& store,
                                            StoredRecords* records = nullptr);

    // Creates the journal with its header line when it is missing, durably
    // (its folder entry too): enough for the next run to know this one may
    // not have ended. Called before the first record is written.
    Status begin();

    // Appends the line of the record about to be written as record
    // `recordNumber` of `box`, whose original is named `originalName`.
    Status noteStoring(std::string_view uid, int box, int recordNumber,
                       std::string_view originalName);

    // Syncs what was appended since the last sync (and the folder when the
    // journal was created); nothing to do when nothing was appended.
    Status sync();

    // Removes the journal (and syncs its folder); a missing one is fine.
    Status clear();

  private:
    std::string header() const;
    // Appends `line` after the header (written first when missing).
    Status append(std::string line);
    // The journal opened by the first append and kept open for the run, so
    // that each mail costs one write, not an open, a read and a close.
    Status openForAppending();

    std::unique_ptr<base::File> m_open;
    std::uint64_t m_end = 0;  // where the next line goes, while m_open

    std::string m_file;
    base::FileSystem& m_fs;
    std::uint64_t m_accountKey;
    bool m_unsynced = false;
    bool m_created = false;
};

// The fingerprint of the record whose original is named `originalName`
// (see the journal's format).
std::uint64_t recordFingerprint(std::string_view originalName);

// What names a mail in the journal when the server has no UIDL: a digest of
// the mail as the server sent it ("digest-" and 16 hex digits).
std::string mailDigest(std::string_view header, std::string_view body);

// The account key of a POP3 server and ID, and a 64-bit value as the 16
// lower-case hex digits the journal and the seen-list write.
std::uint64_t accountKey(std::string_view server, std::string_view id);
std::string hex16(std::uint64_t value);

}  // namespace qf::receive
