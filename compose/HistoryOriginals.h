// The originals of one send run's history records: each mail as it went.
//
// A single send keeps its mail's original durably before its record is
// written. A batch keeps them unsynced and makes them durable together when
// the run ends, however it ends (its last pass, a stop, the window closing):
// one sync for the whole batch instead of two for each mail, which were most
// of a batch's time.
//
// After a power cut in the middle of a batch, a history record may have
// reached the disk without its original: it then works as a record without
// one, as a record written before originals were kept. It is never shown
// with another mail's original: an original is found by its record's four
// texts, and in one batch only a pass whose record reads the same as an
// earlier one's (the same address twice in the book) makes a second mail
// with those texts. Such a pass first makes the batch's originals durable
// and keeps its own synced, so the twin that marks both records' originals
// as ambiguous is on the disk before its record can be.
#pragma once

#include <cstddef>
#include <string_view>
#include <unordered_set>

#include "base/Status.h"
#include "store/MailStore.h"
#include "store/Originals.h"

namespace qf::compose {

class HistoryOriginals {
  public:
    // `batch`: the originals are synced together when the run ends.
    HistoryOriginals(store::MailStore& store, bool batch);
    ~HistoryOriginals();
    HistoryOriginals(const HistoryOriginals&) = delete;
    HistoryOriginals& operator=(const HistoryOriginals&) = delete;

    // Keeps `sent` as the original of the history record with `fields` (as
    // typed; the record's own texts are worked out here), before that
    // record is appended.
    Status keep(const store::MailFields& fields, std::string_view sent);

    // Makes every original kept so far durable (also run on destruction).
    Status finish();

  private:
    // A collection meanwhile (a delete in the viewer) spares what this run
    // kept before its record is appended.
    store::Originals::WriterHold m_hold;
    store::Originals m_originals;
    base::FileSystem& m_fs;
    bool m_batch;
    store::UnsyncedOriginals m_unsynced;
    // The record texts this run kept an original for, hashed: a batch
    // would otherwise hold its body (up to 32 KB) once for each pass.
    std::unordered_set<std::size_t> m_kept;
};

}  // namespace qf::compose
