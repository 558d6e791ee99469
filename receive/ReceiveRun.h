// The receive run: one POP3 session that fetches every waiting mail, lets the
// transport decode it and expand its attachments, sorts it by sender into one
// of six receiving boxes, appends it there as a MailRecord and only then marks
// it for deletion on the server.
//
// Order of one run (ReceiveSession::run):
//  1. re-read the sorting registrations (ReceiveObserver::onRegistrationsRead;
//     routing still uses the addresses the caller loaded at start);
//  2. when the user chose to keep them, write the ID and password to
//     iniIdPass.ini (NAME, NAME2, NAME3 = "1"); never an empty one;
//  3. no POP3 server, a failed connect, or an empty ID or password end the
//     run (kNoServer / kConnectFailed / kNoAccount); the caller tells the user
//     what to check;
//  4. authenticate; a refusal is reported with the transport's error text;
//  5. when an interrupted run left its journal (see ReceiveJournal.h): mark
//     for deletion, without fetching them, the mails it had stored;
//     then the seen-list (see "Leaving mail on the server" below);
//  6. per mail: status, size, fetch, the work file "0.txt", decoding with
//     attachments, sorting, staging, a journal line, the original (not
//     synced), append;
//  7. sync the journal, the run's originals and each box that took mail,
//     once, then mark the mails stored for deletion; remove the work file;
//  8. close the session (the transport sends the deletions there; when it
//     cannot, the stored mails stay on the server and the user is told);
//     after a close that committed them, the journal is removed; the
//     seen-list is written (and only then, when mail is left on the server,
//     the journal removed);
//  9. when the run succeeded and no mail was stored yet in this program run,
//     ask for the "新着メールなし" notice (ReceiveObserver::onNoNewMail); a
//     failed run never claims there is no new mail.
//
// Data safety: a mail is marked for deletion only after its record is written
// and its box file synced to disk, and its original (the mail as the server
// sent it, store/Originals.h) too. Deletions take effect only when the
// session closes, so one sync per box after the last mail, and one of the
// run's originals together before it, cover every mail of the run. A mail
// that cannot be fetched or stored (full box, full disk, write error, a box
// or an original that cannot be synced), or whose attachments could not all
// be written (-5), stays on the server, and the user is told once per run.
// The attachment folder is created when missing. The work file is
// rewritten for every mail and removed when the last one is done.
//
// Leaving mail on the server (request.keepOnServer, opt-in): a mail the
// seen-list (SeenList.h) names, or that an interrupted run stored, is not
// fetched; it is deleted once it was first stored more than keepDays days
// ago (never when 0); every other mail is fetched and stored as usual and
// left on the server. After the close the seen-list is rewritten with the
// listed mails still on the server and those stored now; until it is on
// disk the journal keeps them, so a kill at any moment neither loses nor
// doubles a mail. A missing, damaged or other account's list is never taken
// for an empty one while the server holds mail: the observer chooses
// (fetch them all again, take every mail now on the server as stored, or
// cancel; the default is to cancel), and the answer is written as the new
// list, readable by its owner, so the question comes once. A server without
// UIDL cannot leave mail safely: the user is told once (the list notes it;
// an unusable list, once per program run) and the run deletes as it does
// with the option off. With the option off, mails a list still names are
// deleted without being fetched again, so turning it off brings no
// duplicates; a damaged list is asked about as with the option on.
//
// A run's journal (ReceiveJournal.h) names mails by UIDL, or without UIDL by
// a digest of the mail as the server sent it; the next run finds their
// records wherever they are now. A box that cannot be synced after its
// records were written keeps its mails on the server and the journal.
//
// The attachment notice ("♪♪♪…") is part of the stored body: a record has no
// other trace of the attachments that were expanded for it, and the mail reads
// the same when its box is opened later as it did right after receiving.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "base/Status.h"
#include "receive/SeenList.h"
#include "settings/AccountFiles.h"
#include "settings/ProgramFolder.h"
#include "store/BoxCatalogue.h"
#include "transport/TransportFault.h"

namespace qf::store {
class MailStore;
}

namespace qf::receive {

class MailTransport;

// Receiving boxes in routing order: registration 1 … 5, then "その他"; slot
// s is box s + 1 of the box catalogue.
inline constexpr int kBoxSlotCount = store::kReceivingBoxes;
inline constexpr int kOtherSlot = 5;
using SlotCounts = std::array<int, kBoxSlotCount>;

// The box file of a slot: kdxdata2/3/4/5/7.data, then kdxdata8.data.
const char* boxFileName(int slot);

// One decoded mail as it is staged for its record (UTF-8; the body already
// carries the attachment notice when there is one).
struct StagedMail {
    std::string subject;
    std::string sender;
    std::string date;
    std::string body;
};

enum class MessageKind {
    kAuthenticationFailed,      // detail: the transport's error text; fault: why
    kAttachmentCannotBeOpened,  // per mail; the mail stays on the server
    kSplitMailIncomplete,       // per mail
    kFetchFailed,               // the session broke at mail `count`; later mails stay on the
                                // server; fault: why
    kStoreFailed,               // once per run: `count` mails kept on the server; detail: the first
    kCloseFailed,               // the stored mails stay on the server too; detail: the transport's
    kDeleteFailed,              // once per run: `count` stored mails the server would not mark
                                // for deletion; detail: its text
    kRecovered,                 // an interrupted run had stored `count` mails: deleted, not fetched
    kRecoveryUnavailable,  // an interrupted run, and a server without UIDL: duplicates may come
    kRecoveredLeft,        // an interrupted run had stored `count` mails: left, not fetched
    kKeepNeedsUidl,        // mail is to stay on a server without UIDL: deleted as before
    kSeenListNotWritten,   // detail: the store's text; the journal keeps the mails
    kBoxNotSynced,         // `count` mails are in their boxes but a box could not be synced: they
                           // stay on the server and the next run does not store them again
    kWholeMailKept,        // per mail: not taken apart but written whole as one file; fault:
                           // which limit, about: the file's name, detail: the figure
};

// What to do when the seen-list cannot be used and the server holds mail.
enum class SeenListChoice {
    kFetchAll,     // fetch every mail on the server again
    kTreatAsSeen,  // take every mail now on the server as stored (from now on)
    kCancel,       // end the run; nothing is fetched or deleted
};

struct SeenListLoss {
    SeenListState state = SeenListState::kMissing;
    int waiting = 0;      // mails on the server
    std::string problem;  // the file and what is wrong with it
};

// What happened, not yet in words: the caller words it (ui/Words.h).
struct ReceiveMessage {
    ReceiveMessage(MessageKind kind_, int count_ = 0, std::string detail_ = {},
                   transport::TransportFault fault_ = transport::TransportFault::kNone,
                   std::string about_ = {})
        : kind(kind_),
          count(count_),
          detail(std::move(detail_)),
          fault(fault_),
          about(std::move(about_)) {}

    MessageKind kind;
    int count = 0;       // the mail number or number of mails the kind speaks of
    std::string detail;  // the server's, the OS's or a library's own text, maybe empty
    // The transport's code (NMailGetErrorCode) and what it concerns, for the
    // kinds that come from a transport call.
    transport::TransportFault fault = transport::TransportFault::kNone;
    std::string about;
};

// How the windows (or the command-line tool) follow a run. Every callback runs
// on the caller's thread, inside ReceiveSession::run; all have empty defaults.
class ReceiveObserver {
  public:
    virtual ~ReceiveObserver() = default;
    virtual void onRegistrationsRead(const settings::SortingRegistrations& /*registrations*/) {}
    // Before each mail is fetched: mail `mailNumber` of `mailCount` (from 1).
    virtual void onProgress(int /*mailNumber*/, int /*mailCount*/) {}
    // The raw body text of the mail being fetched; "" once it is staged.
    virtual void onRawText(const std::string& /*text*/) {}
    // False: onRawText gets only the "" and the staged mail comes without
    // its body; the run then skips converting each mail's texts for them.
    virtual bool wantsMailTexts() const { return true; }
    // Per-mail notes and failures; the run goes on unless the kind says not.
    virtual void onMessage(const ReceiveMessage& /*message*/) {}
    // The decoded mail, about to be written to the box of `slot`.
    virtual void onMailStaged(int /*slot*/, const StagedMail& /*mail*/) {}
    // The mail is in its box as record `recordNumber`: count it. (The box is
    // synced after the last mail, before any deletion.)
    virtual void onMailStored(int /*slot*/, int /*recordNumber*/) {}
    // No mail was stored yet in this program run: show the notice.
    virtual void onNoNewMail() {}
    // Mail is left on the server but the seen-list cannot be used: ask.
    virtual SeenListChoice onSeenListLost(const SeenListLoss& /*loss*/) {
        return SeenListChoice::kCancel;
    }
};

// What the caller holds: the settings loaded at start and the account of the
// ID/password window.
struct ReceiveRequest {
    settings::ProgramFolder folder{""};
    std::string pop3Server;  // UTF-8, as in corvid.ini
    int apop = 0;            // non-zero: authenticate with APOP
    settings::Account account;
    // True when the user chose to keep the ID and password in iniIdPass.ini:
    // only then does the run write them there.
    bool keepAccount = false;
    // Keeps the account when keepAccount is set (the keyring, say); null:
    // NAME, NAME2 and NAME3 of iniIdPass.ini.
    std::function<Status(const settings::Account&)> saveAccount;
    // An OAuth account: the access token the login (AUTH XOAUTH2) uses in
    // place of the password; `refused`: the server refused the last one, so
    // a fresh one is wanted. Null for a password account.
    std::function<Result<std::string>(bool refused)> accessToken;
    // Sender addresses of registrations 1 … 5 as loaded at start, matched
    // against each sender as slotForSender says.
    std::array<std::string, settings::kSortingRegistrationCount> routingAddresses;
    // The store whose current-record buffers the writes should fill (the
    // viewer's); null: a store of the folder's own for this run.
    store::MailStore* store = nullptr;
    // Leave mail on the server (corvid.ini KEEP, KEEPDAYS).
    bool keepOnServer = false;
    int keepDays = 0;  // delete a mail this many days after it was stored; 0: never
    // Seconds since 1970 (UTC); null: the system clock.
    std::function<std::int64_t()> clock;
    // Where the run's own store, the journal and the account file are
    // written; null: the real file system (tests put faults in between).
    base::FileSystem* fileSystem = nullptr;
    // Set (from any thread) to stop the run: before the login it gives up
    // the connection; after it, the run stops before the next mail, ending
    // as usual (the mails stored are synced and deleted). Null: never.
    const std::atomic<bool>* stop = nullptr;
};

enum class RunEnd {
    kCompleted,             // every waiting mail was handled (maybe none)
    kNoServer,              // no POP3 server set
    kConnectFailed,         // the server could not be reached
    kNoAccount,             // empty ID or password
    kAuthenticationFailed,  // the server refused the login (or no access token came:
                            // fault kTokenRefused when the user must sign in again)
    kSessionFailed,         // a fetch failed, or the session did not end normally; the
                            // mails not yet deleted stay on the server
    kAlreadyRunning,        // a run was in progress; nothing was done
    kCancelled,             // the seen-list could not be used and no choice went on
    kStopped,               // stopped on request (ReceiveRequest::stop); the mails not
                            // stored stay on the server
};

struct ReceiveOutcome {
    RunEnd end = RunEnd::kCompleted;
    int waiting = 0;  // mails the server reported
    int stored = 0;
    int keptOnServer = 0;      // waiting mails not stored, so not deleted
    int recovered = 0;         // waiting mails an interrupted run had stored, not fetched again
    bool leaving = false;      // mail was left on the server in this run (option on, UIDL offered)
    int leftOnServer = 0;      // mails stored earlier and left on the server (not fetched)
    int deletedAfterDays = 0;  // mails stored earlier, deleted now that their days are over
    // Stored mails the server refused to mark for deletion (counted in
    // keptOnServer too): the journal keeps them for the next run.
    int deleteFailed = 0;
    // Stored mails whose box could not be synced (counted in keptOnServer
    // too): written, maybe not yet durable; the journal keeps them.
    int notSynced = 0;
    SlotCounts storedPerSlot{};
    int newestSlot = -1;  // the slot of the last mail stored; -1 when none was
    // The least time between two logins the server asked for (LOGIN-DELAY);
    // empty when the run did not reach the server.
    std::optional<int> loginDelaySeconds;
    Status storeFailure;        // the first failed store, ok when none failed
    Status accountSave;         // writing iniIdPass.ini, when the account is kept
    Status seenListSave;        // writing the seen-list, when the run rewrote it
    std::string serverMessage;  // the transport's text after a failed connect, a refusal or
                                // a broken session
    transport::TransportFault fault = transport::TransportFault::kNone;  // and its code
    bool noticeRequested = false;

    // True when the run did all it was asked: reached the server, logged in
    // and stored every waiting mail.
    bool succeeded() const;
};

// The new-mail flag and the running guard: one object lives as long as the
// program (or the tool's command) and runs any number of receive runs.
class ReceiveSession {
  public:
    bool isRunning() const { return m_running; }
    // True once a mail was stored in this program run; never reset.
    bool newMailStored() const { return m_newMailStored; }

    // Runs one receive run over the network (NetworkTransport). A call made
    // while a run is in progress (from inside a callback) returns
    // kAlreadyRunning at once.
    ReceiveOutcome run(const ReceiveRequest& request, ReceiveObserver& observer);
    // The same through another transport (tests).
    ReceiveOutcome run(const ReceiveRequest& request, ReceiveObserver& observer,
                       MailTransport& transport);

  private:
    bool m_running = false;
    bool m_newMailStored = false;
    bool m_noUidlTold = false;
};

}  // namespace qf::receive
