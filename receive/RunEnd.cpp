// The end of a receive run: what it stored made durable together, then each
// mail marked for deletion (or noted to be left on the server), and the
// session closed, which is when the server deletes them.
#include <array>
#include <functional>
#include <vector>

#include "base/FileSystem.h"
#include "receive/RunSteps.h"

namespace qf::receive::detail {

void Run::deleteStoredMails() {
    // The journal, the originals and the boxes go to disk together, and no
    // mail is deleted before all of them are there. A journal that cannot be
    // synced only risks duplicates; originals that cannot be keep every
    // mail of the run on the server (a record whose original a power cut
    // took is mended by the next run, which fetches it again).
    std::vector<std::function<Status()>> syncs = {
        [this] { return m_journal.sync(); },
        [this] { return m_unsyncedOriginals.sync(m_store.fileSystem()); }};
    std::array<std::size_t, kBoxSlotCount> syncOfSlot{};
    for (int slot = 0; slot < kBoxSlotCount; ++slot) {
        if (m_outcome.storedPerSlot[static_cast<std::size_t>(slot)] > 0) {
            syncOfSlot[static_cast<std::size_t>(slot)] = syncs.size();
            syncs.emplace_back([this, slot] { return m_store.sync(boxOfSlot(slot)); });
        }
    }
    const std::vector<Status> done = base::runSyncs(m_store.fileSystem(), syncs);
    const Status& originalsSynced = done[1];
    std::array<Status, kBoxSlotCount> synced;
    for (int slot = 0; slot < kBoxSlotCount; ++slot) {
        if (m_outcome.storedPerSlot[static_cast<std::size_t>(slot)] > 0) {
            synced[static_cast<std::size_t>(slot)] =
                done[syncOfSlot[static_cast<std::size_t>(slot)]];
        }
    }
    for (const StoredMail& mail : m_storedMails) {
        const Status& boxSynced =
            originalsSynced ? synced[static_cast<std::size_t>(mail.slot)] : originalsSynced;
        if (boxSynced && m_leaving) {
            m_stillListed[uniqueIdOf(mail.mailNumber)] = m_now;
        } else if (boxSynced) {
            (void)markForDeletion(mail.mailNumber);
        } else {
            keepUnsynced(boxSynced);
        }
    }
}

// In the box, but maybe not on disk: the server keeps its copy, and the
// journal stays so that the next run does not store the mail again.
void Run::keepUnsynced(const Status& why) {
    ++m_outcome.keptOnServer;
    ++m_outcome.notSynced;
    m_journalNeeded = true;
    if (m_syncFailure.empty()) {
        m_syncFailure = why.outsideText();
    }
}

bool Run::closeSession(bool loggedIn) {
    // Only here does the transport send the deletions: every mail marked so
    // far is already synced to its box file.
    if (transport::TransportStatus closed = m_mailbox->close(); !closed) {
        // Mail left on the server loses nothing by it; mail to be deleted stays.
        if ((!m_leaving && (m_outcome.stored > 0 || m_outcome.recovered > 0)) ||
            !m_deletedNow.empty()) {
            reportCloseFailure(closed.error());
        }
        return false;
    }
    // A close before the login commits nothing; the journal is still needed.
    // So it is for mails the server would not mark: the next run deletes
    // them by their UIDL instead of storing them twice. Mail left on the
    // server is in the journal until the seen-list holds it.
    if (loggedIn && m_outcome.deleteFailed == 0 && !m_leaving && !m_journalNeeded) {
        (void)m_journal.clear();
    }
    return true;
}

bool Run::markForDeletion(int mailNumber) {
    transport::TransportStatus marked = m_mailbox->markDeleted(mailNumber);
    if (marked) {
        return true;
    }
    ++m_outcome.deleteFailed;
    ++m_outcome.keptOnServer;
    if (m_deleteFailure.empty()) {
        m_deleteFailure = marked.error().message;
    }
    return false;
}

void Run::reportDeleteFailures() {
    if (m_outcome.deleteFailed == 0) {
        return;
    }
    m_observer.onMessage({MessageKind::kDeleteFailed, m_outcome.deleteFailed, m_deleteFailure});
}

}  // namespace qf::receive::detail
