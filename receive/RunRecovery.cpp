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
    Result<std::set<std::string>> stored = m_journal.storedIds(m_store);
    if (!stored) {
        // Unreadable: every waiting mail is fetched and stored again.
        if (m_uniqueIds.empty()) {
            m_observer.onMessage({MessageKind::kRecoveryUnavailable, 0, {}});
        }
        return;
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
            if (!leaving && boxesSynced) {
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

bool Run::syncReceivingBoxes() {
    // Nor may its originals be: those of the receiving boxes are synced
    // first (a file already on disk costs little), only after a cut-short run.
    const store::Originals originals(m_store.dataFolder(), m_store.fileSystem());
    store::UnsyncedOriginals written;
    for (int slot = 0; slot < kBoxSlotCount; ++slot) {
        for (const std::string& name : originals.fileNames(boxOfSlot(slot))) {
            written.add(base::joinPath(originals.folderOf(boxOfSlot(slot)), name));
        }
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
