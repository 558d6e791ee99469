#include "receive/ReceiveRun.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string_view>
#include <utility>
#include <vector>

#include "base/FileSystem.h"
#include "receive/ReceiveWords.h"
#include "receive/ReceivedOriginal.h"
#include "receive/RunSteps.h"
#include "store/AttachmentIndex.h"
#include "store/BoxCatalogue.h"
#include "store/MailRecord.h"
#include "text/Cp932.h"
#include "text/FixedField.h"
#include "transport/BufferContract.h"

namespace qf::receive {

namespace detail {

namespace {

std::int64_t secondsSince1970() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Sets the flag for as long as the run lasts, even when a callback throws.
class RunningFlag {
  public:
    explicit RunningFlag(bool& flag) : m_flag(flag) { m_flag = true; }
    ~RunningFlag() { m_flag = false; }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

  private:
    bool& m_flag;
};

transport::TransportFault tokenFault(const Status& status) {
    return status.code() == StatusCode::kNotFound || status.code() == StatusCode::kRefused
               ? transport::TransportFault::kTokenRefused
               : transport::TransportFault::kLoginRefused;
}

}  // namespace

Run::Run(const ReceiveRequest& request, ReceiveObserver& observer, MailTransport& transport,
         bool& newMailStored, bool& noUidlTold)
    : m_request(request),
      m_observer(observer),
      m_transport(transport),
      m_newMailStored(newMailStored),
      m_noUidlTold(noUidlTold),
      m_fs(request.fileSystem != nullptr ? *request.fileSystem : base::posixFileSystem()),
      m_ownStore(request.folder.dataFolder().string(), m_fs),
      m_store(request.store != nullptr ? *request.store : m_ownStore),
      m_workFile(request.folder.workFile()),
      m_journal(request.folder.dataFile(kJournalFileName), request.pop3Server, request.account.id,
                m_fs),
      m_accountKey(accountKey(request.pop3Server, request.account.id)),
      m_pipelining(request.folder.dataFile(kPipeliningFileName), request.pop3Server,
                   request.account.id, m_fs),
      m_now(request.clock ? request.clock() : secondsSince1970()) {}

ReceiveOutcome Run::execute() {
    const settings::ProgramFolder& folder = m_request.folder;
    m_observer.onRegistrationsRead(settings::readSortingRegistrations(folder.sortingFile()));
    // Only a whole password account is written back: an empty ID or password
    // comes from a file that could not be read, never from a choice to keep
    // it; an OAuth account's token is kept by its own access.
    if (m_request.keepAccount && !m_request.accessToken && !m_request.account.id.empty() &&
        !m_request.account.password.empty()) {
        m_outcome.accountSave =
            m_request.saveAccount
                ? m_request.saveAccount(m_request.account)
                : settings::saveAccount(folder.accountFile(), m_request.account, true, m_fs);
    }
    if (connect()) {
        bool loggedIn = false;
        const bool oauth = static_cast<bool>(m_request.accessToken);
        if (m_request.account.id.empty() || (!oauth && m_request.account.password.empty())) {
            m_outcome.end = RunEnd::kNoAccount;
        } else if (authenticate()) {
            loggedIn = true;
            ensureAttachmentFolder();
            recoverInterruptedRun();
            if (applySeenList()) {
                receiveWaitingMails();
                m_workFile.remove();
                deleteStoredMails();
                reportDigestRecovery();
            }
        }
        m_outcome.loginDelaySeconds = std::max(0, m_mailbox->loginDelaySeconds());
        m_pipelining.learn(m_mailbox->mayBePresumedNextTime());
        const bool committed = closeSession(loggedIn);
        if (m_savingSeenList) {
            saveSeenList(committed);
        }
    }
    reportStoreFailures();
    reportDeleteFailures();
    if (m_outcome.succeeded() && !m_newMailStored) {
        m_outcome.noticeRequested = true;
        m_observer.onNoNewMail();
    }
    return m_outcome;
}

bool Run::stopRequested() const {
    return m_request.stop != nullptr && m_request.stop->load();
}

bool Run::connect() {
    if (m_request.pop3Server.empty()) {
        m_outcome.end = RunEnd::kNoServer;
        return false;
    }
    m_transport.presume({m_pipelining.remembers(), loginMethod()});
    auto mailbox = m_transport.connect(m_request.pop3Server, m_request.stop);
    if (!mailbox) {
        // A connect given up for a stop is no failure to tell.
        m_outcome.end = stopRequested() ? RunEnd::kStopped : RunEnd::kConnectFailed;
        m_outcome.serverMessage = mailbox.error().message;
        m_outcome.fault = mailbox.error().fault;
        return false;
    }
    m_mailbox = std::move(mailbox).value();
    return true;
}

// An OAuth login whose token the server refuses asks once for a fresh one
// (the session stays open after the refusal).
transport::TransportResult<int> Run::loginWithToken() {
    transport::TransportResult<int> waiting =
        transport::TransportError{transport::TransportFault::kLoginRefused, {}, {}};
    for (const bool refused : {false, true}) {
        Result<std::string> token = m_request.accessToken(refused);
        if (!token) {
            return transport::TransportError{
                tokenFault(token.status()), token.status().outsideText(), {}};
        }
        waiting = m_mailbox->login(
            {m_request.account.id, std::move(token).value(), transport::Pop3Login::kXOAuth2});
        if (waiting || waiting.error().fault != transport::TransportFault::kTokenRefused) {
            return waiting;
        }
    }
    return waiting;
}

transport::Pop3Login Run::loginMethod() const {
    if (m_request.accessToken) {
        return transport::Pop3Login::kXOAuth2;
    }
    return m_request.apop != 0 ? transport::Pop3Login::kApop : transport::Pop3Login::kPlain;
}

bool Run::authenticate() {
    const transport::TransportResult<int> waiting =
        m_request.accessToken
            ? loginWithToken()
            : m_mailbox->login({m_request.account.id, m_request.account.password, loginMethod()});
    if (!waiting && stopRequested()) {
        m_outcome.end = RunEnd::kStopped;
        return false;
    }
    if (!waiting) {
        m_outcome.end = RunEnd::kAuthenticationFailed;
        m_outcome.serverMessage = waiting.error().message;
        m_outcome.fault = waiting.error().fault;
        m_observer.onMessage(
            {MessageKind::kAuthenticationFailed, 0, m_outcome.serverMessage, m_outcome.fault});
        return false;
    }
    m_outcome.waiting = waiting.value();
    return true;
}

// A stop takes effect between two mails: the one being stored is stored
// whole, and the rest stay on the server for the next run.
void Run::receiveWaitingMails() {
    for (int m = 1; m <= m_outcome.waiting; ++m) {
        if (storedEarlier(m)) {
            continue;
        }
        if (stopRequested()) {
            m_outcome.end = RunEnd::kStopped;
            countUnfetchedFrom(m);
            return;
        }
        if (!receiveMail(m)) {
            countUnfetchedFrom(m + 1);
            return;
        }
    }
}

bool Run::receiveMail(int mailNumber) {
    m_observer.onProgress(mailNumber, m_outcome.waiting);
    transport::TransportResult<std::string> fetched = m_mailbox->fetch(mailNumber);
    if (!fetched) {
        reportFetchFailure(mailNumber, fetched.error());
        return false;
    }
    const std::string& rawMail = fetched.value();
    // The texts stop at a NUL, as they always have: the identity of a mail
    // without UIDL in the journal is made of them.
    const transport::MailParts parts = transport::splitHeaderAndBody(rawMail);
    const std::string_view header = text::cutAtNul(parts.header);
    const std::string_view body = text::cutAtNul(parts.body);
    // Without UIDL a mail is known by its digest.
    const std::string identity =
        m_uniqueIds.empty() ? mailDigest(header, body) : uniqueIdOf(mailNumber);
    if (takeStoredDigest(identity)) {
        if (!originalMadeWhole(identity, rawMail)) {
            m_journalNeeded = true;
            ++m_outcome.keptOnServer;
        } else if (m_deleteDigestMatches) {
            (void)markForDeletion(mailNumber);
        } else {
            ++m_outcome.keptOnServer;
        }
        ++m_outcome.recovered;
        return true;
    }
    if (m_observer.wantsMailTexts()) {
        m_observer.onRawText(text::fromCp932(body));
    }
    Cp932Mail mail;
    if (!decode(header, body, mail)) {
        return true;
    }
    const StagedMail staged = stagedTexts(mail);
    storeMail(mailNumber, slotForSender(staged.sender, m_request.routingAddresses), staged, mail,
              identity, rawMail);
    return true;
}

bool Run::decode(std::string_view header, std::string_view body, Cp932Mail& mail) {
    Result<std::string> passed = m_workFile.passThrough(header, body);
    // Without a usable work file the decoder still gets the same text.
    const std::string mailText = passed ? std::move(passed).value() : wholeMailLines(header, body);
    // Paths are UTF-8 here; nothing turns a character CP932 lacks into "?".
    transport::TransportResult<transport::ReceivedMail> decoded =
        m_transport.expand(mailText, m_request.folder.attachmentFolder().string());
    if (!decoded) {
        // An attachment that could not be written exists only on the server:
        // the mail stays there, as one that could not be stored does.
        m_observer.onMessage({MessageKind::kAttachmentCannotBeOpened, 0, {}});
        m_observer.onRawText("");
        keepOnServer(
            Status::ioError(decoded.error().message).withOutsideText(decoded.error().message));
        return false;
    }
    const transport::ReceivedMail& received = decoded.value();
    std::string wholeMailNotice;
    if (received.expansion == transport::Expansion::kSplitPartKept) {
        m_observer.onMessage({MessageKind::kSplitMailIncomplete, 0, {}});
    } else if (transport::isWholeMailNotice(received.keptWhole.fault)) {
        const ReceiveMessage notice{MessageKind::kWholeMailKept, 0, received.keptWhole.message,
                                    received.keptWhole.fault, received.keptWhole.about};
        // The body says so too: the stored mail reads the same when its box
        // is opened later, and has no other trace of the file.
        wholeMailNotice = text::toCp932(ui::words(messageOf(notice))) + "\r\n\r\n";
        m_observer.onMessage(notice);
    }
    const std::size_t fromBytes = store::layoutOf(store::RecordKind::kMail).fromOrTo.lengthBytes;
    mail = {text::toCp932(received.headers.subject),
            senderForField(text::toCp932(received.headers.sender), fromBytes),
            text::toCp932(received.headers.date), wholeMailNotice + received.body,
            received.writtenFiles};
    if (mentionsAttachment(body)) {
        static const std::string notice =
            text::toCp932(ui::words(ui::Say::kReceiveAttachmentNotice));
        mail.body += "\r\n";
        mail.body += notice;
    }
    return true;
}

// The body as its record keeps it: a mail of megabytes is not handed to the
// viewer whole, only to be cut when it is stored.
StagedMail Run::stagedTexts(const Cp932Mail& mail) const {
    const std::string_view body(mail.body);
    return {
        text::fromCp932(mail.subject), text::fromCp932(mail.sender), text::fromCp932(mail.date),
        m_observer.wantsMailTexts()
            ? text::fromCp932(body.substr(0, text::cp932PrefixLength(body, store::kBodyFieldBytes)))
            : std::string()};
}

// The record and the original are written here but synced only once per
// run, before any of the mails is marked for deletion (deleteStoredMails).
void Run::storeMail(int mailNumber, int slot, const StagedMail& staged, const Cp932Mail& mail,
                    const std::string& identity, std::string_view rawMail) {
    m_observer.onRawText("");
    m_observer.onMailStaged(slot, staged);
    const int box = boxOfSlot(slot);
    // The record takes the transport's bytes as they are: converting them to
    // UTF-8 and back would only cost time. One encoding serves the
    // original's name (and through it the journal line) and the box.
    const store::RecordLayout& layout = store::layoutOf(store::findBox(box)->kind);
    m_record.resize(layout.lengthBytes);
    store::encodeCp932Record(layout, {mail.subject, mail.sender, mail.date, mail.body}, 1,
                             m_record);
    const std::string originalName = receivedOriginalName(box, m_record);
    noteInJournal(identity, box, originalName);
    // The original first: a record never lacks one the server could still give.
    const Status kept = keepOriginalOf(m_store, box, originalName, rawMail, m_unsyncedOriginals);
    Result<int> record = kept ? m_store.appendRecord(box, m_record) : Result<int>(kept);
    if (!record) {
        keepOnServer(record.status());
        return;
    }
    noteAttachmentsOf(boxOfSlot(slot), mail.attachments);
    m_newMailStored = true;
    ++m_outcome.stored;
    ++m_outcome.storedPerSlot[static_cast<std::size_t>(slot)];
    m_outcome.newestSlot = slot;
    m_storedMails.push_back({mailNumber, slot});
    m_observer.onMailStored(slot, record.value());
}

// The record just appended is the box's current one: its key finds the
// files again when the mail is forwarded. An index that cannot be written
// only costs the forward its attachments; the mail is stored.
void Run::noteAttachmentsOf(int box, const std::vector<std::string>& names) {
    if (names.empty()) {
        return;
    }
    const store::RecordLayout& layout = store::layoutOf(store::findBox(box)->kind);
    (void)store::noteAttachments(m_request.folder.dataFile(store::kAttachmentIndexFile),
                                 store::attachmentKey(m_store.currentRecord(box), layout), names);
}

void Run::countUnfetchedFrom(int mailNumber) {
    for (int m = mailNumber; m <= m_outcome.waiting; ++m) {
        m_outcome.keptOnServer += storedEarlier(m) ? 0 : 1;
    }
}

// Without the line a crash before the close means this mail comes twice;
// it is stored all the same, so a journal that cannot be written loses nothing.
void Run::noteInJournal(const std::string& identity, int box, const std::string& originalName) {
    (void)m_journal.begin();
    Result<int> count = m_store.count(box);
    if (count) {
        (void)m_journal.noteStoring(identity, box, count.value() + 1, originalName);
    }
}

void Run::keepOnServer(const Status& why) {
    ++m_outcome.keptOnServer;
    ++m_storeFailures;
    if (m_outcome.storeFailure.isOk()) {
        m_outcome.storeFailure = why;
    }
}

void Run::reportFetchFailure(int mailNumber, const transport::TransportError& error) {
    m_outcome.end = RunEnd::kSessionFailed;
    ++m_outcome.keptOnServer;
    m_outcome.serverMessage = error.message;
    m_outcome.fault = error.fault;
    m_observer.onMessage(
        {MessageKind::kFetchFailed, mailNumber, m_outcome.serverMessage, m_outcome.fault});
}

// The server commits deletions only when the session ends normally, so the
// mails stored in this run are still there and will be fetched again.
void Run::reportCloseFailure(const transport::TransportError& error) {
    m_outcome.end = RunEnd::kSessionFailed;
    m_outcome.serverMessage = error.message;
    m_outcome.fault = error.fault;
    m_observer.onMessage({MessageKind::kCloseFailed, 0, m_outcome.serverMessage, m_outcome.fault});
}

void Run::reportStoreFailures() {
    if (m_outcome.notSynced > 0) {
        m_observer.onMessage({MessageKind::kBoxNotSynced, m_outcome.notSynced, m_syncFailure});
    }
    if (m_outcome.storeFailure.isOk()) {
        return;
    }
    m_observer.onMessage(
        {MessageKind::kStoreFailed, m_storeFailures, m_outcome.storeFailure.outsideText()});
}

void Run::ensureAttachmentFolder() {
    // A missing folder would make every attachment fail; a folder that cannot
    // be made shows up as the per-mail "cannot open" message.
    (void)base::makePrivateFolders(m_request.folder.attachmentFolder().string());
}

}  // namespace detail

const char* boxFileName(int slot) {
    const store::BoxInfo* box =
        slot >= 0 && slot < kBoxSlotCount ? store::findBox(detail::boxOfSlot(slot)) : nullptr;
    return box != nullptr ? box->fileName : "";
}

bool ReceiveOutcome::succeeded() const {
    return end == RunEnd::kCompleted && keptOnServer == 0;
}

ReceiveOutcome ReceiveSession::run(const ReceiveRequest& request, ReceiveObserver& observer) {
    NetworkTransport transport;
    return run(request, observer, transport);
}

ReceiveOutcome ReceiveSession::run(const ReceiveRequest& request, ReceiveObserver& observer,
                                   MailTransport& transport) {
    if (m_running) {
        ReceiveOutcome refused;
        refused.end = RunEnd::kAlreadyRunning;
        return refused;
    }
    detail::RunningFlag running(m_running);
    return detail::Run(request, observer, transport, m_newMailStored, m_noUidlTold).execute();
}

}  // namespace qf::receive
