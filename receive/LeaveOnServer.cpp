// Leaving mail on the server (ReceiveRequest::keepOnServer): the seen-list
// decides which waiting mails stay, which go after their days, and which
// are new; a list that cannot be used is asked about (see ReceiveRun.h).
#include <filesystem>
#include <string>

#include "receive/RunSteps.h"

namespace qf::receive::detail {

bool Run::applySeenList() {
    const std::filesystem::path file = m_request.folder.seenListFile();
    const bool haveIds = !m_uniqueIds.empty();
    if (!m_request.keepOnServer) {
        if (haveIds && m_fs.exists(file.string())) {
            return deleteListedMails();
        }
        return true;
    }
    m_seen = readSeenList(file, m_accountKey, m_fs);
    if (!haveIds) {
        // Nothing on the server, or a server without UIDL: nothing is left
        // there in this run. A missing list can start now, with nothing lost.
        m_savingSeenList = m_outcome.waiting == 0 && m_seen.state == SeenListState::kMissing;
        if (m_outcome.waiting > 0) {
            tellNoUidlOnce();
        }
        return true;
    }
    m_leaving = true;
    m_outcome.leaving = true;
    if (m_seen.state != SeenListState::kRead && !chooseAfterLoss()) {
        return false;
    }
    m_savingSeenList = true;
    leaveOrDeleteKnownMails();
    return true;
}

bool Run::chooseAfterLoss() {
    const SeenListChoice choice =
        m_observer.onSeenListLost({m_seen.state, m_outcome.waiting, m_seen.problem});
    if (choice == SeenListChoice::kCancel) {
        m_outcome.end = RunEnd::kCancelled;
        return false;
    }
    m_seen = {SeenListState::kRead, {}, {}};
    // The answer is kept: the list is written anew (readable, whole) after
    // the close, so the question comes once.
    m_rewriteSeenList = true;
    if (choice == SeenListChoice::kTreatAsSeen) {
        for (int m = 1; m <= m_outcome.waiting; ++m) {
            m_seen.list.ids[uniqueIdOf(m)] = m_now;
        }
    }
    return true;
}

void Run::leaveOrDeleteKnownMails() {
    const std::int64_t keepSeconds = std::int64_t{m_request.keepDays} * 24 * 60 * 60;
    for (int m = 1; m <= m_outcome.waiting; ++m) {
        const std::string& uid = uniqueIdOf(m);
        const auto listed = m_seen.list.ids.find(uid);
        if (listed == m_seen.list.ids.end() && !storedEarlier(m)) {
            continue;  // new: fetched
        }
        // Stored by an interrupted run, it counts from now.
        const std::int64_t firstStored = listed != m_seen.list.ids.end() ? listed->second : m_now;
        m_storedEarlier.insert(m);
        m_stillListed[uid] = firstStored;
        if (keepSeconds > 0 && m_now - firstStored > keepSeconds) {
            if (markForDeletion(m)) {
                m_deletedNow.insert(uid);
                ++m_outcome.deletedAfterDays;
            }
        } else {
            (void)m_mailbox->skip(m);
            ++m_outcome.leftOnServer;
        }
    }
}

bool Run::deleteListedMails() {
    m_seen = readSeenList(m_request.folder.seenListFile(), m_accountKey, m_fs);
    // A damaged list may name mails stored before the option was turned
    // off: fetching them all again would store them twice, so the user
    // chooses, as with the option on.
    if (m_seen.state == SeenListState::kUnreadable && m_outcome.waiting > 0 && !chooseAfterLoss()) {
        return false;
    }
    if (m_seen.state != SeenListState::kRead || (m_seen.list.ids.empty() && !m_rewriteSeenList)) {
        return true;
    }
    m_savingSeenList = true;
    for (int m = 1; m <= m_outcome.waiting; ++m) {
        const std::string& uid = uniqueIdOf(m);
        const auto listed = m_seen.list.ids.find(uid);
        if (listed == m_seen.list.ids.end() || storedEarlier(m)) {
            continue;
        }
        m_storedEarlier.insert(m);
        m_stillListed[uid] = listed->second;
        if (markForDeletion(m)) {
            m_deletedNow.insert(uid);
        }
    }
    return true;
}

void Run::tellNoUidlOnce() {
    // A list that cannot be read cannot remember it: once per program run.
    if (m_seen.list.noUidlTold || m_noUidlTold) {
        return;
    }
    m_noUidlTold = true;
    m_observer.onMessage({MessageKind::kKeepNeedsUidl, 0, {}});
    // An unusable list is left for a server with UIDL to ask about.
    if (m_seen.state == SeenListState::kRead || m_seen.state == SeenListState::kMissing) {
        m_seen.list.noUidlTold = true;
        (void)writeSeenList(m_request.folder.seenListFile(), m_accountKey, m_seen.list, m_fs);
    }
}

void Run::saveSeenList(bool closeCommitted) {
    SeenList next{m_stillListed, m_seen.list.noUidlTold};
    if (closeCommitted) {
        for (const std::string& uid : m_deletedNow) {
            next.ids.erase(uid);
        }
    } else if (!m_leaving) {
        return;  // the listed mails may still be on the server: the list stays
    }
    if (next == m_seen.list && m_seen.state == SeenListState::kRead && !m_leaving &&
        !m_rewriteSeenList) {
        return;
    }
    const Status written = writeSeenList(m_request.folder.seenListFile(), m_accountKey, next, m_fs);
    m_outcome.seenListSave = written;
    if (!written) {
        m_observer.onMessage({MessageKind::kSeenListNotWritten, 0, written.outsideText()});
        return;
    }
    // The list holds every mail the journal names now.
    if (m_leaving && !m_journalNeeded) {
        (void)m_journal.clear();
    }
}

}  // namespace qf::receive::detail
