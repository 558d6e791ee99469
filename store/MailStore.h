// The mail store: the eight box files of a data folder and one
// current-record buffer per box.
//
// Current-record buffer: every read of a record fills its box's buffer and
// every write writes it; it holds the last record read or written until the
// next one (the viewer's move, delete and reply commands take their mail
// from it). It starts as NUL bytes and is never saved. A read that finds no
// whole record, and a compaction, leave it as it is.
//
// Boxes are given by their catalogue numbers (1-6, 10, 11); any other number
// gives kInvalidArgument. A missing box file is an empty box, created when
// something is written. See RecordFile for the torn-tail and crash rules.
#pragma once

#include <array>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "base/FileSystem.h"
#include "store/BoxCatalogue.h"
#include "store/MailRecord.h"
#include "store/RecordFile.h"

namespace qf::store {

// One row of a box listing, each text cut at NUL and stripped.
struct ListEntry {
    int recordNumber;
    std::string subject;
    std::string fromOrTo;
    std::string date;
};

class MailStore {
  public:
    explicit MailStore(std::string dataFolder, base::FileSystem& fs = base::posixFileSystem());

    const std::string& dataFolder() const { return m_dataFolder; }
    base::FileSystem& fileSystem() const { return m_fs; }

    Result<RecordFile> file(int box) const;
    Result<int> count(int box) const;

    // Reads record n into the box's buffer; false when there is no whole record n.
    Result<bool> readRecord(int box, int recordNumber);

    // The box's buffer (empty for an unknown box) and its decoded texts.
    std::span<const char> currentRecord(int box) const;
    MailFields currentFields(int box) const;

    // Reads records 1, 2, ... in order, each into the buffer, and hands each
    // to `visit` as it comes.
    Status readAll(int box, const RecordFile::RecordVisitor& visit);

    // The listing: Subject, From (To in the send history) and Date of every
    // record, read without the bodies, then the last record whole into the
    // buffer, where a loaded list leaves it.
    Status list(int box, const std::function<void(const ListEntry&)>& visit);
    // The listing's rows alone: every buffer stays as it is.
    Status listHeaders(int box, const std::function<void(const ListEntry&)>& visit) const;

    // Stores a mail at the append position (count + 1) and returns that
    // record number. Status word 1, or the record number in the keep box.
    Result<int> append(int box, const MailFields& fields);
    // append for a record the caller encoded (encodeCp932Record, status word
    // 1): the receive encodes each mail's once, for its journal line, its
    // original's name and the box. Not for the keep box.
    Result<int> appendRecord(int box, std::span<const char> record);

    // Sets the buffer's status word to 0 and writes the buffer as record n
    // (REQUIRES: the caller read record n first; whatever the buffer holds,
    // record n is what gets marked).
    Status markDeleted(int box, int recordNumber);
    Status compact(int box);
    // Removes record n (and any record an earlier crash left marked): the
    // box is compacted without it. Any failure leaves the box as it was,
    // except a failed folder sync after the compacted box took its place.
    Status deleteRecord(int box, int recordNumber);

    // Empties the box: an empty copy replaces it. A failure, or a crash,
    // leaves the box whole or empty, never a part of it.
    Status deleteAll(int box);

    // Moves record n of box 6 ("その他") into the keep box and returns its
    // number there. The keep box gets the mail, durably, before box 6 loses
    // it: a failure leaves the mail in box 6 only (the keep box's copy is
    // taken back), a crash at worst in both.
    Result<int> moveToKeepBox(int recordNumber);

    // Each command above that removes records then removes the originals
    // (store/Originals.h) no record of the box has any more; the move first
    // keeps the mail's original with the keep box, durably. A collection
    // that fails leaves orphans for the next one, never a record without
    // its original.

    // Makes what was written to the box durable.
    Status sync(int box);
    Status createIfMissing(int box);

  private:
    Result<std::size_t> slotOf(int box) const;
    // kNotFound when the file has no whole record n.
    static Status requireRecord(const RecordFile& records, int recordNumber);
    // Writes the record `fill` puts in the box's buffer (given the layout
    // and the status word) at the append position.
    using RecordFiller = std::function<void(const RecordLayout&, std::int16_t, std::span<char>)>;
    Result<int> appendWith(int box, const RecordFiller& fill);
    void collectOriginals(int box);

    std::string m_dataFolder;
    base::FileSystem& m_fs;
    std::array<std::vector<char>, 8> m_buffers;
};

}  // namespace qf::store
