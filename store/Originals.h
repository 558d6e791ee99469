// Each mail as it came (its original), kept beside the box that holds its
// record, so that what a record cannot hold (an emoji, 𠮷, é, Hangul, the
// Message-ID and every other header) is not lost.
//
// Layout: one file per mail in "<data folder>/<box file>.originals/", named
//   <key>-<fingerprint>.eml
// where <fingerprint> is SHA-256 (hex) of the record's four texts as the
// record gives them back (subject, From/To, date, body after decodeRecord),
// and <key> the first 16 hex digits of SHA-256 of the first three.
//
// Why the record's own texts, and not its number: delete, delete all, the
// move to the keep box and compaction renumber records and rewrite the box,
// and none of them needs to tell this store anything for a lookup to stay
// right. A record finds only an original whose mail gave exactly its texts,
// so a record is never shown with another mail's original, whatever a crash
// left. The texts are those of the record layout, so a mail moved to the keep
// box (another layout, the same texts) keeps its file name.
//
// Two different mails whose records hold the same texts (only a character
// the record cannot hold tells them apart) share a name: the second is kept
// as "<name>.2.eml" and the name is ambiguous from then on: the record works
// without its original, as one received before originals were kept.
//
// Collection: an original whose key no record of the box has any more is
// removed (collect), after each command that removes records and at
// start-up. The key needs only the listing's fields, so collecting reads
// 280 bytes a record, not the whole box. While a receive session is open in
// the process (a WriterHold lives), an original younger than the grace
// period survives a collection: the receive may have written it and not yet
// appended its record.
#pragma once

#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/FileSystem.h"
#include "base/RepairAction.h"
#include "base/Status.h"
#include "store/MailRecord.h"

namespace qf::store {

class MailStore;

// The name a record's original has; the texts are those decodeRecord gives.
std::string originalName(const MailFields& recordTexts);
// The key part of the name, from the listing's three fields.
std::string originalKey(std::string_view subject, std::string_view fromOrTo, std::string_view date);

// The texts a record written with these CP932 fields (a box's layout) gives
// back: what the receive's original is named after.
MailFields recordTextsOfCp932(const RecordLayout& layout, const MailFields& cp932Fields);
// The same for UTF-8 fields (MailStore::append).
MailFields recordTextsOf(const RecordLayout& layout, const MailFields& fields);

// Originals a receive run wrote without syncing each: they are synced all
// together (the file system at once, else each file, then each folder
// once) before any of their mails is deleted from the server. Until then a power cut may take one
// away, while the server still holds its mail.
class UnsyncedOriginals {
  public:
    void add(std::string path);
    // Syncs the file system they are on (all are in the data folder), or
    // where it cannot, every file added and then every folder they are in;
    // forgets them once all are synced. The first failure is returned.
    Status sync(base::FileSystem& fs);
    bool empty() const { return m_paths.empty(); }

  private:
    std::vector<std::string> m_paths;
};

class Originals {
  public:
    explicit Originals(std::string dataFolder, base::FileSystem& fs = base::posixFileSystem());

    // "<data folder>/<box file>.originals"; empty for an unknown box.
    std::string folderOf(int box) const;

    // Keeps `original` as the original of the record with `recordTexts` in
    // `box`, written and synced (folder included) before it returns ok. What
    // a power cut left of an unsynced write of it (a prefix, zeros) is
    // written whole again.
    Status keep(int box, const MailFields& recordTexts, std::string_view original);
    // The same, not synced: the file (a new one, or the same mail kept
    // earlier and maybe not yet synced) is added to `later`.
    Status keep(int box, const MailFields& recordTexts, std::string_view original,
                UnsyncedOriginals& later);

    // The original of the record with `recordTexts`; nullopt when none is
    // kept or the record's texts are ambiguous.
    Result<std::optional<std::string>> find(int box, const MailFields& recordTexts) const;

    // For a move: the record's original (when there is one) kept in `toBox`
    // too, durably, before the record moves.
    Status copy(int fromBox, int toBox, const MailFields& recordTexts);

    // Held while a receive may be between keeping an original and
    // appending its record, or syncing it: a collection then neither removes
    // a young original nor syncs a folder (which would make the name of an
    // original whose bytes are not yet synced durable).
    class WriterHold {
      public:
        WriterHold();
        ~WriterHold();
        WriterHold(const WriterHold&) = delete;
        WriterHold& operator=(const WriterHold&) = delete;
    };

    // Removes every original of `box` whose key no record of the box has,
    // but, while a WriterHold lives, those younger than `grace`. Returns how
    // many went.
    static constexpr std::chrono::seconds kRunningGrace{120};
    Result<int> collect(MailStore& store, int box,
                        std::chrono::seconds grace = kRunningGrace) const;

    // At start-up, while nothing else writes: temporary files of cut-short
    // writes go, then every box is collected without grace.
    Result<std::vector<base::RepairAction>> recover(MailStore& store) const;

    // Every original of the box: for the store tool's check, sorted.
    std::vector<std::string> fileNames(int box) const;

  private:
    Status keep(int box, const MailFields& recordTexts, std::string_view original,
                UnsyncedOriginals* later);
    std::string pathOf(int box, const std::string& name, bool second) const;

    std::string m_dataFolder;
    base::FileSystem& m_fs;
};

// The original of record `recordNumber` of `box`, read through a store of
// its own, so the program's current-record buffers stay as they are; nullopt
// when none is kept or the record cannot be read.
std::optional<std::string> originalOfRecord(const std::string& dataFolder, int box,
                                            int recordNumber);

}  // namespace qf::store
