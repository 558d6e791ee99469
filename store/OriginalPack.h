// One box's originals in one append-only file, with a cache of its entry
// headers beside it: keeping a mail is then a write at the end of a file
// that is there already, not a new file (a new inode and a new name for the
// journal, which cost more than the rest of a receive together).
//
// "<folder>/pack" starts with a 32-byte file header: "QFPACK01", an 8-byte
// generation that only a rewrite changes, 16 zero bytes. Then the entries,
// each a 128-byte header and the mail:
//     0   8  "QFMAIL01"
//     8  81  the original's name (store/Originals.h)
//    89   1  'L' live, 'D' dropped (its record is gone; its bytes are zeros)
//    96   8  the mail's length in bytes, little-endian
//   104  16  the first 16 bytes of SHA-256 of the mail
//   120   8  the first 8 bytes of SHA-256 of bytes 0–119 of the header
//   128      the mail, as the server sent it
// The other header bytes are zero.
//
// "<folder>/pack.index" holds the same file header ("QFPIDX01", the pack's
// generation), then for each entry, in the pack's order, its header, its
// offset in the pack (8 bytes, little-endian) and the first 8 bytes of
// SHA-256 of those 136 bytes. It is a cache and never synced: opening a box
// reads it instead of one header per mail, and whatever of it does not
// check out is read from the pack again.
//
// Entries are only ever appended. A write that a power cut tore fails its
// checks, and its mail counts as never kept: a scan of the pack looks for
// the next header that checks out, and a mail is given out only when its
// header and its SHA-256 match. Dropping an entry marks it and discards its
// bytes at once (a hole where the file system can); the pack is rewritten
// without the dropped entries once they outnumber the live ones. A file
// whose own header fails is renamed "pack.damaged" (never emptied) and a
// new pack begun.
//
// One process-wide lock guards every pack and the cache of their entries:
// the receive keeps originals on its own thread while the windows read them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/FileSystem.h"
#include "base/Status.h"
#include "store/OriginalPackFormat.h"

namespace qf::store {

struct PackState;

class OriginalPack {
  public:
    OriginalPack(std::string folder, base::FileSystem& fs);

    std::string path() const;
    std::string indexPath() const;
    // Where a rewrite writes the new pack; what a cut-short one left there
    // is removed by recovery.
    std::string rewritePath() const;

    // The distinct mails kept live under `name` whose checks pass, in the
    // order they were kept.
    Result<std::vector<std::string>> mailsNamed(const std::string& name);
    // Every live entry.
    Result<std::vector<PackEntry>> liveEntries();

    // Appends `mail` under `name`, not synced, unless it is there already
    // or the name holds two mails already (ambiguous: a third changes
    // nothing). The folder must exist.
    Status keep(const std::string& name, std::string_view mail);
    // Makes what was appended durable (and writes its index rows).
    Status sync();
    // Writes the index rows of the entries appended since the last write.
    // The index is a cache: this is for speed, never needed for safety.
    void writeIndexRows();

    // Marks the entries dropped and discards their mails, syncs, and
    // rewrites the pack without dropped entries when they outnumber the
    // live ones (removes it when none is live).
    Status drop(const std::vector<PackEntry>& entries);

  private:
    // The pack opened (null when there is none) with what is known of it
    // brought up to date; the caller holds the packs' lock.
    Result<std::unique_ptr<base::File>> load(PackState& state, base::OpenMode mode);
    Result<std::vector<std::string>> mailsNamed(PackState& state, base::File& pack,
                                                const std::string& name);
    Status append(PackState& state, base::File& pack, const std::string& name,
                  std::string_view mail);
    void readIndex(PackState& state, std::uint64_t packSize);
    void scan(PackState& state, base::File& pack, std::uint64_t packSize);
    void writeRows(PackState& state);
    Status startPack(PackState& state, std::unique_ptr<base::File>& pack);
    Status rewrite(PackState& state, base::File& pack);

    std::string m_folder;
    base::FileSystem& m_fs;
};

}  // namespace qf::store
