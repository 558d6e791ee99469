// Each mail as it came (its original), kept beside the box that holds its
// record, so that what a record cannot hold (an emoji, 𠮷, é, Hangul, the
// Message-ID and every other header) is not lost.
//
// Layout: "<data folder>/<box file>.originals/pack", one append-only file
// per box (store/OriginalPack.h), each mail in it under the name
//   <key>-<fingerprint>
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
// box (another layout, the same texts) keeps its name.
//
// Two different mails whose records hold the same texts (only a character
// the record cannot hold tells them apart) share a name: the name is
// ambiguous from then on and the record works without its original, as one
// received before originals were kept.
//
// Collection: an original whose key no record of the box has any more is
// dropped (collect), after each command that removes records and at
// start-up. The key needs only the listing's fields, so collecting reads
// 280 bytes a record, not the whole box. While a receive or a send is running
// in the process (a WriterHold lives), what it kept survives a collection:
// it may have kept an original and not yet appended its record.
//
// Folders of the earlier layout (a file "<name>.eml" per mail, "<name>.2.eml"
// for the second of an ambiguous name) are moved into the pack at start-up.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
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
// The first 64 bits of the texts' digest in an original's name (what the
// receive journal knows a record by); 0 for a text that is not a name.
std::uint64_t originalNameFingerprint(std::string_view name);

// The texts a record written with these UTF-8 fields (a box's layout) gives
// back (MailStore::append).
MailFields recordTextsOf(const RecordLayout& layout, const MailFields& fields);

// Originals a run kept without syncing each: their packs are synced
// together (each pack once, then each folder once) before any of their mails
// is deleted from the server. Until then a power cut may take one away,
// while the server still holds its mail.
class UnsyncedOriginals {
  public:
    // `created`: the pack is new, so its folder is synced too.
    void add(const std::string& packPath, bool created = false);
    // Syncs every pack added and then the folder of each new one; forgets
    // them once all are synced. The first failure is returned.
    Status sync(base::FileSystem& fs);
    bool empty() const { return m_paths.empty(); }

  private:
    std::map<std::string, bool> m_paths;  // pack, and whether it is new
};

class Originals {
  public:
    explicit Originals(std::string dataFolder, base::FileSystem& fs = base::posixFileSystem());

    // "<data folder>/<box file>.originals"; empty for an unknown box.
    std::string folderOf(int box) const;
    // The pack file of the box's originals (which may not exist).
    std::string packOf(int box) const;

    // Keeps `original` as the original of the record with `recordTexts` in
    // `box`, written and synced before it returns ok. What a power cut left
    // of an unsynced write of it fails the pack's checks: it is kept again.
    Status keep(int box, const MailFields& recordTexts, std::string_view original);
    // The same, not synced: the pack is added to `later` (also when it holds
    // the mail already: a run cut short may not have synced it).
    Status keep(int box, const MailFields& recordTexts, std::string_view original,
                UnsyncedOriginals& later);
    // The same under the name originalName gave for the record's texts.
    Status keepNamed(int box, const std::string& name, std::string_view original,
                     UnsyncedOriginals& later);

    // The original of the record with `recordTexts`; nullopt when none is
    // kept or the record's texts are ambiguous.
    Result<std::optional<std::string>> find(int box, const MailFields& recordTexts) const;

    // For a move: the record's original (when there is one) kept in `toBox`
    // too, durably, before the record moves.
    Status copy(int fromBox, int toBox, const MailFields& recordTexts);

    // Held while a receive or a send may be between keeping an original and
    // appending its record: a collection then keeps what was kept meanwhile.
    class WriterHold {
      public:
        WriterHold();
        ~WriterHold();
        WriterHold(const WriterHold&) = delete;
        WriterHold& operator=(const WriterHold&) = delete;
    };

    // Drops every original of `box` whose key no record of the box has,
    // but, while a WriterHold lives, none kept meanwhile. Returns how many
    // went.
    Result<int> collect(MailStore& store, int box) const;

    // At start-up, while nothing else writes: what a rewrite cut short left
    // goes, folders of the earlier layout move into their pack, then every
    // box is collected.
    Result<std::vector<base::RepairAction>> recover(MailStore& store) const;

    // The name of each original of the box that checks out (a name twice
    // when two mails share it), sorted.
    std::vector<std::string> keptNames(int box) const;

  private:
    Status keep(int box, const std::string& name, std::string_view original,
                UnsyncedOriginals* later);
    Result<std::vector<base::RepairAction>> recoverFolder(MailStore& store, int box) const;
    Status moveEarlierLayout(int box) const;

    std::string m_dataFolder;
    base::FileSystem& m_fs;
};

// The original of record `recordNumber` of `box`, read through a store of
// its own, so the program's current-record buffers stay as they are; nullopt
// when none is kept or the record cannot be read.
std::optional<std::string> originalOfRecord(const std::string& dataFolder, int box,
                                            int recordNumber);

}  // namespace qf::store
