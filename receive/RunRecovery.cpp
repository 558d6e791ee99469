// What an interrupted run left: its journal names the mails it stored, and
// this run neither fetches nor stores them again (see ReceiveJournal.h).
#include <string>
#include <utility>
#include <vector>

#include "receive/RunSteps.h"

namespace qf::receive::detail {

void Run::recoverInterruptedRun() {
    const bool interrupted = m_journal.exists();
    // Ids for some mails only are as good as none: every mail needs one.
    transport::TransportResult<std::vector<std::string>> ids = m_mailbox->uniqueIds();
    if (ids && ids.value().size() == static_cast<std::size_t>(m_outcome.waiting) + 1) {
        m_uniqueIds = std::move(ids).value();
    }
    if (!interrupted || m_outcome.waiting == 0) {
        return;
    }
    Result<std::set<std::string>> stored = m_journal.storedIds(m_store, &m_storedRecords);
    if (!stored) {
        // Unreadable: every waiting mail is fetched and stored again.
        if (m_uniqueIds.empty()) {
            m_observer.onMessage({MessageKind::kRecoveryUnavailable, 0, {}});
        }
        return;
    }
    // A power cut may have kept a record and taken its original, not yet
    // synced (or left it cut short): such a mail is fetched again for it.
    std::set<int> originalNotWhole;
    for (int m = 1; m <= m_outcome.waiting && !m_uniqueIds.empty(); ++m) {
        const std::string& id = m_uniqueIds[static_cast<std::size_t>(m)];
        if (!stored.value().contains(id) || originalLooksWhole(id)) {
            continue;
        }
        transport::TransportResult<std::string> fetched = m_mailbox->fetch(m);
        if (!fetched || !originalMadeWhole(id, fetched.value())) {
            originalNotWhole.insert(m);
        }
    }
    // The interrupted run may have been killed before it synced its boxes:
    // the records go to disk before their mails are deleted. Boxes that
    // cannot be synced keep the mails on the server, not fetched again.
    const bool boxesSynced = syncReceivingBoxes();
    m_journalNeeded = m_journalNeeded || !boxesSynced;
    if (m_uniqueIds.empty()) {
        // Known by their digests: each mail is fetched, and one the
        // interrupted run stored is not stored again (receiveMail).
        m_storedDigests.insert(stored.value().begin(), stored.value().end());
        m_deleteDigestMatches = boxesSynced;
        m_recoveringByDigest = true;
        return;
    }
    // Mail left on the server stays there; the seen-list takes it over.
    const bool leaving = m_request.keepOnServer;
    for (int m = 1; m <= m_outcome.waiting; ++m) {
        if (stored.value().contains(m_uniqueIds[static_cast<std::size_t>(m)])) {
            m_storedEarlier.insert(m);
            if (originalNotWhole.contains(m)) {
                m_journalNeeded = true;
                m_outcome.keptOnServer += leaving ? 0 : 1;
            } else if (!leaving && boxesSynced) {
                (void)markForDeletion(m);
            } else if (!leaving) {
                ++m_outcome.keptOnServer;
            }
        }
    }
    m_outcome.recovered = static_cast<int>(m_storedEarlier.size());
    if (m_outcome.recovered > 0) {
        m_observer.onMessage({leaving ? MessageKind::kRecoveredLeft : MessageKind::kRecovered,
                              m_outcome.recovered,
                              {}});
    }
}

bool Run::originalLooksWhole(const std::string& identity) const {
    const auto record = m_storedRecords.find(identity);
    if (record == m_storedRecords.end()) {
        return true;  // deleted since
    }
    auto found = store::Originals(m_store.dataFolder(), m_store.fileSystem())
                     .find(record->second.box, record->second.texts);
    if (!found || !found.value()) {
        return false;
    }
    // A mail from the server ends in its last line's CR LF; a write the cut
    // took the end of ends elsewhere, or in the zeros the file system put in.
    const std::string& bytes = *found.value();
    return !bytes.empty() && bytes.back() == '\n';
}

bool Run::originalMadeWhole(const std::string& identity, std::string_view rawMail) {
    const auto record = m_storedRecords.find(identity);
    if (record == m_storedRecords.end()) {
        return true;  // deleted since
    }
    // Written and synced when missing or cut short; the same bytes stay.
    return store::Originals(m_store.dataFolder(), m_store.fileSystem())
        .keep(record->second.box, record->second.texts, rawMail)
        .isOk();
}

bool Run::syncReceivingBoxes() {
    // Nor may its originals be: those of the receiving boxes are synced
    // first (a pack already on disk costs little), only after a cut-short run.
    const store::Originals originals(m_store.dataFolder(), m_store.fileSystem());
    store::UnsyncedOriginals written;
    for (int slot = 0; slot < kBoxSlotCount; ++slot) {
        written.add(originals.packOf(boxOfSlot(slot)));
    }
    if (!written.sync(m_store.fileSystem())) {
        return false;
    }
    for (int slot = 0; slot < kBoxSlotCount; ++slot) {
        const Status synced = m_store.sync(boxOfSlot(slot));
        if (!synced && synced.code() != StatusCode::kNotFound) {
            return false;
        }
    }
    return true;
}

void Run::reportDigestRecovery() {
    if (m_recoveringByDigest && m_outcome.recovered > 0) {
        m_observer.onMessage({MessageKind::kRecovered, m_outcome.recovered, {}});
    }
}

bool Run::takeStoredDigest(const std::string& identity) {
    const auto found = m_storedDigests.find(identity);
    if (found == m_storedDigests.end()) {
        return false;
    }
    m_storedDigests.erase(found);  // one line covers one mail
    return true;
}

}  // namespace qf::receive::detail
