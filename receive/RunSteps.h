// The receive run's state and steps, shared by the files that hold them:
// ReceiveRun.cpp (the session and each mail), LeaveOnServer.cpp (the
// seen-list: which mails stay, which go) and RunRecovery.cpp (what an
// interrupted run left). Internal to the receive run; see ReceiveRun.h.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "receive/MailText.h"
#include "receive/MailTransport.h"
#include "receive/PipeliningMemory.h"
#include "receive/ReceiveJournal.h"
#include "receive/ReceiveRun.h"
#include "receive/SeenList.h"
#include "store/MailStore.h"
#include "store/Originals.h"

namespace qf::receive::detail {

// Slot 0 … 5 is receiving box 1 … 6 of the catalogue.
inline int boxOfSlot(int slot) {
    return slot + 1;
}

// A decoded mail in CP932 bytes: what goes into its record, unconverted.
struct Cp932Mail {
    std::string subject;
    std::string sender;
    std::string date;
    std::string body;
    std::vector<std::string> attachments;  // the files expanded for it
};

// A mail appended to its box in this run, whose deletion waits for the sync
// of that box.
struct StoredMail {
    int mailNumber;
    int slot;
};

class Run {
  public:
    Run(const ReceiveRequest& request, ReceiveObserver& observer, MailTransport& transport,
        bool& newMailStored, bool& noUidlTold);

    ReceiveOutcome execute();

  private:
    // Steps of the session; each returns false when the session must end.
    bool connect();
    bool authenticate();
    transport::Pop3Login loginMethod() const;
    transport::TransportResult<int> loginWithToken();
    void receiveWaitingMails();
    bool receiveMail(int mailNumber);
    bool stopRequested() const;
    // Decodes the fetched mail (header and body cut at NUL, as the identity
    // sees them): its texts, its attachments written; false when the mail
    // stays on the server.
    bool decode(std::string_view header, std::string_view body, Cp932Mail& mail);
    // The texts the observer sees; the body only when it shows mail texts.
    StagedMail stagedTexts(const Cp932Mail& mail) const;
    // The one step that stores a fetched mail: a journal line, the record.
    // `rawMail` is the mail as the server sent it (dot-stuffing removed).
    void storeMail(int mailNumber, int slot, const StagedMail& staged, const Cp932Mail& mail,
                   const std::string& identity, std::string_view rawMail);
    void keepUnsynced(const Status& why);
    // Syncs every box that took mail, once, and then marks the mails stored
    // in a synced box for deletion.
    void deleteStoredMails();
    // The session broke at `mailNumber`, or the run stopped before it: the
    // later mails not stored earlier stay on the server unfetched.
    void countUnfetchedFrom(int mailNumber);
    // The line of the record in m_record, about to be appended to `box`;
    // its original is named `originalName`.
    void noteInJournal(const std::string& identity, int box, const std::string& originalName);
    // The close; the journal goes once the server has committed the deletions.
    // True when the server confirmed the end of the session.
    bool closeSession(bool loggedIn);
    // Leaves the mail on the server; the user hears about it once, at the end.
    void keepOnServer(const Status& why);
    void noteAttachmentsOf(int box, const std::vector<std::string>& names);
    void reportFetchFailure(int mailNumber, const transport::TransportError& error);
    void reportCloseFailure(const transport::TransportError& error);
    void reportStoreFailures();
    // Marks a stored mail for deletion; a refusal is counted and reported
    // once, at the end, and the mail stays on the server.
    bool markForDeletion(int mailNumber);
    void reportDeleteFailures();
    void ensureAttachmentFolder();

    // Interrupted-run recovery (RunRecovery.cpp).
    // The unique ids of the waiting mails, and the deletion of those an
    // interrupted run stored (they are not fetched again).
    void recoverInterruptedRun();
    bool storedEarlier(int mailNumber) const { return m_storedEarlier.contains(mailNumber); }
    // True once per journal line when a mail without UIDL has the digest of
    // one an interrupted run stored.
    bool takeStoredDigest(const std::string& identity);
    // The original of a mail the interrupted run stored, written again (and
    // synced) where a power cut took it or cut it short; false when it could
    // not be: the mail then stays on the server.
    bool originalMadeWhole(const std::string& identity, std::string_view rawMail);
    // False when the stored mail's original is missing or cut short.
    bool originalLooksWhole(const std::string& identity) const;
    void reportDigestRecovery();
    // False when a box or an original could not be synced: its mails stay
    // on the server.
    bool syncReceivingBoxes();

    // Leaving mail on the server (LeaveOnServer.cpp).
    // The seen-list before any mail is fetched: which mails stay, which go.
    // False when the list cannot be used and the observer cancelled.
    bool applySeenList();
    bool chooseAfterLoss();
    void leaveOrDeleteKnownMails();
    // With the option off: a list still naming mails gets them deleted.
    // False when the list is damaged and the observer cancelled.
    bool deleteListedMails();
    void tellNoUidlOnce();
    // The list after the close: what is still on the server, and what came.
    void saveSeenList(bool closeCommitted);

    const std::string& uniqueIdOf(int mailNumber) const {
        return m_uniqueIds[static_cast<std::size_t>(mailNumber)];
    }

    const ReceiveRequest& m_request;
    ReceiveObserver& m_observer;
    MailTransport& m_transport;
    std::unique_ptr<transport::Pop3Mailbox> m_mailbox;
    bool& m_newMailStored;
    bool& m_noUidlTold;  // the no-UIDL notice was shown in this program run
    ReceiveOutcome m_outcome;
    base::FileSystem& m_fs;
    store::MailStore m_ownStore;
    store::MailStore& m_store;
    // A collection elsewhere in the process spares the run's originals.
    store::Originals::WriterHold m_originalsHold;
    store::UnsyncedOriginals m_unsyncedOriginals;
    WorkFile m_workFile;
    std::vector<char> m_record;  // the mail being stored, as its box will hold it
    std::vector<StoredMail> m_storedMails;
    ReceiveJournal m_journal;
    std::vector<std::string> m_uniqueIds;  // by mail number; empty without UIDL
    std::set<int> m_storedEarlier;
    StoredRecords m_storedRecords;               // of the interrupted run, where they are now
    std::multiset<std::string> m_storedDigests;  // without UIDL: what the interrupted run stored
    bool m_deleteDigestMatches = false;          // its boxes are synced: those can go
    bool m_recoveringByDigest = false;
    // A stored mail stays on the server without a seen-list line: the
    // journal must outlive this run.
    bool m_journalNeeded = false;
    std::string m_syncFailure;  // the first box that could not be synced
    std::uint64_t m_accountKey;
    PipeliningMemory m_pipelining;
    std::int64_t m_now;
    bool m_leaving = false;              // mail stays on the server in this run
    bool m_savingSeenList = false;       // the list is rewritten after the close
    bool m_rewriteSeenList = false;      // the user answered about a lost list
    SeenListRead m_seen;                 // the list as read (or as chosen after a loss)
    SeenIds m_stillListed;               // the next list: mails on the server after this run
    std::set<std::string> m_deletedNow;  // listed mails marked for deletion
    int m_storeFailures = 0;
    std::string m_deleteFailure;  // the server's text after the first refusal
};

}  // namespace qf::receive::detail
