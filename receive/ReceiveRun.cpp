#include "receive/ReceiveRun.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>
#include <vector>

#include "base/FileSystem.h"
#include "receive/MailText.h"
#include "receive/MailTransport.h"
#include "receive/ReceiveJournal.h"
#include "receive/ReceiveWords.h"
#include "store/AttachmentIndex.h"
#include "store/BoxCatalogue.h"
#include "store/MailRecord.h"
#include "store/MailStore.h"
#include "text/Cp932.h"
#include "text/FixedField.h"
#include "transport/NMail.h"

namespace qf::receive {

namespace {

// The text buffers' size set at start-up; restored after every mail.
constexpr int kDefaultBufferBytes = transport::kDefaultBufferSize;

std::int64_t secondsSince1970() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Slot 0 … 5 is receiving box 1 … 6 of the catalogue.
int boxOfSlot(int slot) {
    return slot + 1;
}

// An output buffer of the transport, `size` bytes. Its bytes are not filled
// in advance: a buffer as large as a 30 MB mail then costs only the memory
// of what the transport writes into it (the pages never touched are never
// handed out). It starts as the empty text.
class OutputBuffer {
  public:
    explicit OutputBuffer(std::size_t size)
        : m_bytes(new char[std::max<std::size_t>(size, 1)]),
          m_size(std::max<std::size_t>(size, 1)) {
        m_bytes[0] = '\0';
    }

    char* data() { return m_bytes.get(); }
    std::size_t size() const { return m_size; }
    // The text the transport wrote: up to the first NUL.
    std::string_view bytes() const { return {m_bytes.get(), ::strnlen(m_bytes.get(), m_size)}; }

  private:
    std::unique_ptr<char[]> m_bytes;
    std::size_t m_size;
};

std::string textOf(const std::vector<char>& buffer) {
    return text::fromCp932(text::cutAtNul(std::string_view(buffer.data(), buffer.size())));
}

std::string_view bytesOf(const std::vector<char>& buffer) {
    return text::cutAtNul(std::string_view(buffer.data(), buffer.size()));
}

// The subject, date, sender and header buffers of one mail. The transport
// cuts what it writes at the size given with NMailSetOption(1, n); a long
// header cut at 8192 bytes would break the whole-mail text, so each mail gets
// buffers (and that option) as large as the mail itself.
class TextBuffers {
  public:
    TextBuffers(MailTransport& transport, std::size_t sizeBytes) : m_transport(transport) {
        resize(sizeBytes);
    }
    ~TextBuffers() { m_transport.setOption(transport::kOptionBufferSize, kDefaultBufferBytes); }
    TextBuffers(const TextBuffers&) = delete;
    TextBuffers& operator=(const TextBuffers&) = delete;

    // Grows the buffers to at least sizeBytes, emptied.
    void resize(std::size_t sizeBytes) {
        const std::size_t size = std::max<std::size_t>(sizeBytes, kDefaultBufferBytes);
        if (size != subject.size()) {
            for (OutputBuffer* buffer : all()) {
                *buffer = OutputBuffer(1);  // the old ones go before the new ones come
            }
            for (OutputBuffer* buffer : all()) {
                *buffer = OutputBuffer(size);
            }
        }
        for (OutputBuffer* buffer : all()) {
            buffer->data()[0] = '\0';
        }
        m_transport.setOption(transport::kOptionBufferSize, static_cast<int>(size));
    }

    OutputBuffer subject{1}, date{1}, sender{1}, header{1};

  private:
    std::array<OutputBuffer*, 4> all() { return {&subject, &date, &sender, &header}; }

    MailTransport& m_transport;
};

// The body buffer: as many spaces as the mail has bytes, plus one.
std::vector<char> bodyBuffer(std::size_t sizeBytes) {
    std::vector<char> body(sizeBytes + 1, ' ');
    body.back() = '\0';
    return body;
}

std::string transportMessage(MailTransport& transport) {
    std::vector<char> buffer(kDefaultBufferBytes, '\0');
    int length = kDefaultBufferBytes;
    transport.getMessage(buffer.data(), &length);
    buffer.back() = '\0';
    return textOf(buffer);
}

// The code of the transport's last failure, and what it concerns.
struct TransportFailure {
    transport::TransportFault fault;
    std::string about;
};

TransportFailure transportFault(MailTransport& transport) {
    std::vector<char> about(kDefaultBufferBytes, '\0');
    const int code = transport.errorCode(about.data(), static_cast<int>(about.size()) - 1);
    return {static_cast<transport::TransportFault>(code), textOf(about)};
}

// A mail as the server sent it (raw bytes, cut at NUL). The body stays in
// the buffer the transport filled, so a large mail is not held twice.
struct FetchedMail {
    std::string header;
    std::vector<char> bodyBuffer;

    std::string_view body() const { return bytesOf(bodyBuffer); }
};

// A decoded mail in the CP932 bytes the transport wrote: what goes into its
// record, unconverted.
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

class Run {
  public:
    Run(const ReceiveRequest& request, ReceiveObserver& observer, MailTransport& transport,
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
          m_journal(request.folder.dataFile(kJournalFileName), request.pop3Server,
                    request.account.id, m_fs),
          m_accountKey(accountKey(request.pop3Server, request.account.id)),
          m_now(request.clock ? request.clock() : secondsSince1970()) {}

    ReceiveOutcome execute();

  private:
    // Steps of the session; each returns false when the session must end.
    bool authenticate(int handle);
    int loginWithToken(int handle);
    bool receiveMail(int handle, int mailNumber);
    // Status, size and fetch; nothing when the session broke.
    std::optional<FetchedMail> fetchMail(int handle, int mailNumber, TextBuffers& texts);
    // The work file and the decoder: the mail's texts, its attachments
    // written, -5/-6 reported; the decoder's result in `decoded`.
    // The fetched mail is released once the decoder has its text.
    Cp932Mail decodeMail(FetchedMail fetched, TextBuffers& texts, int* decoded);
    // The texts the observer sees; the body only when it shows mail texts.
    StagedMail stagedTexts(const Cp932Mail& mail) const;
    void storeMail(int mailNumber, int slot, const StagedMail& staged, const Cp932Mail& mail,
                   const std::string& identity);
    void noteAttachmentsOf(int box, const std::vector<std::string>& names);
    // True once per journal line when a mail without UIDL has the digest of
    // one an interrupted run stored.
    bool takeStoredDigest(const std::string& identity);
    void keepUnsynced(const Status& why);
    void reportDigestRecovery();
    // Syncs every box that took mail, once, and then marks the mails stored
    // in a synced box for deletion.
    void deleteStoredMails(int handle);
    // The unique ids of the waiting mails, and the deletion of those an
    // interrupted run stored (they are not fetched again).
    void recoverInterruptedRun(int handle);
    bool storedEarlier(int mailNumber) const;
    // The session broke at `mailNumber`: the later mails not stored earlier
    // stay on the server unfetched.
    void countUnfetchedAfter(int mailNumber);
    // False when a box could not be synced: its mails are fetched again.
    bool syncReceivingBoxes();
    // The seen-list before any mail is fetched: which mails stay, which go.
    // False when the list cannot be used and the observer cancelled.
    bool applySeenList(int handle);
    bool chooseAfterLoss();
    void leaveOrDeleteKnownMails(int handle);
    // With the option off: a list still naming mails gets them deleted.
    // False when the list is damaged and the observer cancelled.
    bool deleteListedMails(int handle);
    void tellNoUidlOnce();
    // The list after the close: what is still on the server, and what came.
    void saveSeenList(bool closeCommitted);
    const std::string& uniqueIdOf(int mailNumber) const {
        return m_uniqueIds[static_cast<std::size_t>(mailNumber)];
    }
    void noteInJournal(const std::string& identity, int slot, const Cp932Mail& mail);
    // The close; the journal goes once the server has committed the deletions.
    // True when the server confirmed the end of the session.
    bool closeSession(int handle, bool loggedIn);
    // Leaves the mail on the server; the user hears about it once, at the end.
    void keepOnServer(const Status& why);
    void reportFetchFailure(int mailNumber);
    void reportCloseFailure();
    void reportStoreFailures();
    // Marks a stored mail for deletion; a refusal is counted and reported
    // once, at the end, and the mail stays on the server.
    bool markForDeletion(int handle, int mailNumber);
    void reportDeleteFailures();
    void ensureAttachmentFolder();

    const ReceiveRequest& m_request;
    ReceiveObserver& m_observer;
    MailTransport& m_transport;
    bool& m_newMailStored;
    bool& m_noUidlTold;  // the no-UIDL notice was shown in this program run
    ReceiveOutcome m_outcome;
    base::FileSystem& m_fs;
    store::MailStore m_ownStore;
    store::MailStore& m_store;
    WorkFile m_workFile;
    std::vector<StoredMail> m_storedMails;
    ReceiveJournal m_journal;
    std::vector<std::string> m_uniqueIds;  // by mail number; empty without UIDL
    std::set<int> m_storedEarlier;
    std::multiset<std::string> m_storedDigests;  // without UIDL: what the interrupted run stored
    bool m_deleteDigestMatches = false;          // its boxes are synced: those can go
    bool m_recoveringByDigest = false;
    // A stored mail stays on the server without a seen-list line: the
    // journal must outlive this run.
    bool m_journalNeeded = false;
    std::string m_syncFailure;  // the first box that could not be synced
    std::uint64_t m_accountKey;
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

    if (m_request.pop3Server.empty()) {
        m_outcome.end = RunEnd::kNoServer;
    } else {
        const int handle = m_transport.connect(text::toCp932(m_request.pop3Server).c_str());
        if (handle == -1) {
            m_outcome.end = RunEnd::kConnectFailed;
            m_outcome.serverMessage = transportMessage(m_transport);
            m_outcome.fault = transportFault(m_transport).fault;
        } else {
            bool loggedIn = false;
            const bool oauth = static_cast<bool>(m_request.accessToken);
            if (m_request.account.id.empty() || (!oauth && m_request.account.password.empty())) {
                m_outcome.end = RunEnd::kNoAccount;
            } else if (authenticate(handle)) {
                loggedIn = true;
                ensureAttachmentFolder();
                recoverInterruptedRun(handle);
                if (applySeenList(handle)) {
                    for (int m = 1; m <= m_outcome.waiting; ++m) {
                        if (!storedEarlier(m) && !receiveMail(handle, m)) {
                            countUnfetchedAfter(m);
                            break;
                        }
                    }
                    m_workFile.remove();
                    deleteStoredMails(handle);
                    reportDigestRecovery();
                }
            }
            m_outcome.loginDelaySeconds = std::max(0, m_transport.loginDelay(handle));
            const bool committed = closeSession(handle, loggedIn);
            if (m_savingSeenList) {
                saveSeenList(committed);
            }
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

// An OAuth login whose token the server refuses asks once for a fresh one
// (the session stays open after the refusal).
int Run::loginWithToken(int handle) {
    const std::string id = text::toCp932(m_request.account.id);
    for (const bool refused : {false, true}) {
        Result<std::string> token = m_request.accessToken(refused);
        if (!token) {
            m_outcome.serverMessage = token.status().message();
            m_outcome.fault = token.status().code() == StatusCode::kNotFound ||
                                      token.status().code() == StatusCode::kRefused
                                  ? transport::TransportFault::kTokenRefused
                                  : transport::TransportFault::kLoginRefused;
            return -1;
        }
        const int waiting = m_transport.authenticate(handle, id.c_str(), token.value().c_str(),
                                                     transport::kLoginXOAuth2);
        if (waiting >= 0 ||
            transportFault(m_transport).fault != transport::TransportFault::kTokenRefused) {
            return waiting;
        }
    }
    return -1;
}

bool Run::authenticate(int handle) {
    const int waiting =
        m_request.accessToken
            ? loginWithToken(handle)
            : m_transport.authenticate(handle, text::toCp932(m_request.account.id).c_str(),
                                       text::toCp932(m_request.account.password).c_str(),
                                       m_request.apop != 0 ? -1 : 0);
    if (waiting < 0 && m_outcome.fault == transport::TransportFault::kNone) {
        m_outcome.serverMessage = transportMessage(m_transport);
        m_outcome.fault = transportFault(m_transport).fault;
    }
    if (waiting < 0) {
        m_outcome.end = RunEnd::kAuthenticationFailed;
        m_observer.onMessage(
            {MessageKind::kAuthenticationFailed, 0, m_outcome.serverMessage, m_outcome.fault});
        return false;
    }
    m_outcome.waiting = waiting;
    return true;
}

bool Run::receiveMail(int handle, int mailNumber) {
    m_observer.onProgress(mailNumber, m_outcome.waiting);
    TextBuffers texts(m_transport, kDefaultBufferBytes);
    std::optional<FetchedMail> fetched = fetchMail(handle, mailNumber, texts);
    if (!fetched) {
        reportFetchFailure(mailNumber);
        return false;
    }
    // Without UIDL a mail is known by its digest.
    const std::string identity =
        m_uniqueIds.empty() ? mailDigest(fetched->header, fetched->body()) : uniqueIdOf(mailNumber);
    if (takeStoredDigest(identity)) {
        if (m_deleteDigestMatches) {
            (void)markForDeletion(handle, mailNumber);
        } else {
            ++m_outcome.keptOnServer;
        }
        ++m_outcome.recovered;
        return true;
    }
    if (m_observer.wantsMailTexts()) {
        m_observer.onRawText(text::fromCp932(fetched->body()));
    }
    const bool withNotice = mentionsAttachment(fetched->body());
    int decoded = 0;
    Cp932Mail mail = decodeMail(std::move(*fetched), texts, &decoded);
    if (decoded == transport::kAttachmentCannotBeOpened) {
        // An attachment that could not be written exists only on the server:
        // the mail stays there, as one that could not be stored does.
        m_observer.onRawText("");
        keepOnServer(Status::ioError(transportMessage(m_transport)));
        return true;
    }
    if (withNotice) {
        static const std::string notice = text::toCp932(kAttachmentNotice);
        mail.body += "\r\n";
        mail.body += notice;
    }
    const StagedMail staged = stagedTexts(mail);
    storeMail(mailNumber, slotForSender(staged.sender, m_request.routingAddresses), staged, mail,
              identity);
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

std::optional<FetchedMail> Run::fetchMail(int handle, int mailNumber, TextBuffers& texts) {
    m_transport.getMailStatus(handle, mailNumber, texts.subject.data(), texts.date.data(),
                              texts.sender.data(), texts.header.data());
    const int size = m_transport.getMailSize(handle, mailNumber);
    if (size < 0) {
        return std::nullopt;
    }
    const auto sizeBytes = static_cast<std::size_t>(size);
    texts.resize(sizeBytes + 1);
    std::vector<char> body = bodyBuffer(sizeBytes);
    if (m_transport.getMail(handle, mailNumber, texts.subject.data(), texts.date.data(),
                            texts.sender.data(), texts.header.data(), body.data()) < 0) {
        return std::nullopt;
    }
    return FetchedMail{std::string(texts.header.bytes()), std::move(body)};
}

Cp932Mail Run::decodeMail(FetchedMail fetched, TextBuffers& texts, int* decoded) {
    const settings::ProgramFolder& folder = m_request.folder;
    Result<std::string> passed = m_workFile.passThrough(fetched.header, fetched.body());
    // Without a usable work file the decoder still gets the same text.
    const std::string mailText =
        passed ? std::move(passed).value() : wholeMailLines(fetched.header, fetched.body());
    fetched = {};

    texts.resize(mailText.size() + 1);
    // Room for a whole record body even when the decoded text outgrows this
    // mail's text: the part that completes a split mail brings the rest.
    const std::size_t bodyCapacity = std::max(mailText.size() + 1, store::kBodyFieldBytes + 1);
    OutputBuffer decodedBody(bodyCapacity);
    m_transport.setOption(transport::kOptionBodyBufferSize, static_cast<int>(bodyCapacity));
    // Paths travel as CP932 like every other text of the transport calls.
    const std::string attachmentFolder = text::toCp932(folder.attachmentFolder().string() + "/");
    const std::string workFile = text::toCp932(folder.workFile().string());
    *decoded = m_transport.attachmentFileFirst(
        texts.subject.data(), texts.date.data(), texts.sender.data(), texts.header.data(),
        decodedBody.data(), attachmentFolder.c_str(), workFile.c_str(), mailText.c_str());
    m_transport.attachmentFileClose();
    m_transport.setOption(transport::kOptionBodyBufferSize, 0);
    std::string wholeMailNotice;
    if (*decoded == transport::kAttachmentCannotBeOpened) {
        m_observer.onMessage({MessageKind::kAttachmentCannotBeOpened, 0, {}});
    } else if (*decoded == transport::kSplitMailIncomplete) {
        m_observer.onMessage({MessageKind::kSplitMailIncomplete, 0, {}});
    } else if (TransportFailure kept = transportFault(m_transport);
               transport::isWholeMailNotice(kept.fault)) {
        const ReceiveMessage notice{MessageKind::kWholeMailKept, 0, transportMessage(m_transport),
                                    kept.fault, std::move(kept.about)};
        // The body says so too: the stored mail reads the same when its box
        // is opened later, and has no other trace of the file.
        wholeMailNotice = text::toCp932(ui::words(messageOf(notice))) + "\r\n\r\n";
        m_observer.onMessage(notice);
    }
    const std::size_t fromBytes = store::layoutOf(store::RecordKind::kMail).fromOrTo.lengthBytes;
    return {std::string(texts.subject.bytes()), senderForField(texts.sender.bytes(), fromBytes),
            std::string(texts.date.bytes()), wholeMailNotice + std::string(decodedBody.bytes()),
            m_transport.writtenAttachments()};
}

StagedMail Run::stagedTexts(const Cp932Mail& mail) const {
    return {text::fromCp932(mail.subject), text::fromCp932(mail.sender), text::fromCp932(mail.date),
            m_observer.wantsMailTexts() ? text::fromCp932(mail.body) : std::string()};
}

// The record is written here but synced only once per box, before any of
// the box's mails is marked for deletion (deleteStoredMails).
void Run::storeMail(int mailNumber, int slot, const StagedMail& staged, const Cp932Mail& mail,
                    const std::string& identity) {
    m_observer.onRawText("");
    m_observer.onMailStaged(slot, staged);
    noteInJournal(identity, slot, mail);
    // The record takes the transport's bytes as they are: converting them to
    // UTF-8 and back would only cost time.
    Result<int> record =
        m_store.appendCp932(boxOfSlot(slot), {mail.subject, mail.sender, mail.date, mail.body});
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

void Run::deleteStoredMails(int handle) {
    // The journal goes to disk with the boxes: its lines were written before
    // their records, and a journal that cannot be synced only risks duplicates.
    (void)m_journal.sync();
    std::array<Status, kBoxSlotCount> synced;
    for (int slot = 0; slot < kBoxSlotCount; ++slot) {
        if (m_outcome.storedPerSlot[static_cast<std::size_t>(slot)] > 0) {
            synced[static_cast<std::size_t>(slot)] = m_store.sync(boxOfSlot(slot));
        }
    }
    for (const StoredMail& mail : m_storedMails) {
        const Status& boxSynced = synced[static_cast<std::size_t>(mail.slot)];
        if (boxSynced && m_leaving) {
            m_stillListed[uniqueIdOf(mail.mailNumber)] = m_now;
        } else if (boxSynced) {
            (void)markForDeletion(handle, mail.mailNumber);
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
        m_syncFailure = why.message();
    }
}

void Run::recoverInterruptedRun(int handle) {
    const bool interrupted = m_journal.exists();
    std::vector<char> id(128, '\0');
    for (int m = 1; m <= m_outcome.waiting; ++m) {
        if (m_transport.uniqueId(handle, m, id.data(), static_cast<int>(id.size())) != 1) {
            m_uniqueIds.clear();
            break;
        }
        m_uniqueIds.resize(static_cast<std::size_t>(m) + 1);
        m_uniqueIds.back() = bytesOf(id);
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
                (void)markForDeletion(handle, m);
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
    for (int slot = 0; slot < kBoxSlotCount; ++slot) {
        const Status synced = m_store.sync(boxOfSlot(slot));
        if (!synced && synced.code() != StatusCode::kNotFound) {
            return false;
        }
    }
    return true;
}

bool Run::storedEarlier(int mailNumber) const {
    return m_storedEarlier.contains(mailNumber);
}

void Run::countUnfetchedAfter(int mailNumber) {
    for (int m = mailNumber + 1; m <= m_outcome.waiting; ++m) {
        m_outcome.keptOnServer += storedEarlier(m) ? 0 : 1;
    }
}

// Without the line a crash before the close means this mail comes twice;
// it is stored all the same, so a journal that cannot be written loses nothing.
void Run::noteInJournal(const std::string& identity, int slot, const Cp932Mail& mail) {
    (void)m_journal.begin();
    const int box = boxOfSlot(slot);
    Result<int> count = m_store.count(box);
    if (count) {
        (void)m_journal.noteStoring(identity, box, count.value() + 1,
                                    {mail.subject, mail.sender, mail.date, mail.body});
    }
}

bool Run::applySeenList(int handle) {
    const std::filesystem::path file = m_request.folder.seenListFile();
    const bool haveIds = !m_uniqueIds.empty();
    if (!m_request.keepOnServer) {
        if (haveIds && m_fs.exists(file.string())) {
            return deleteListedMails(handle);
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
    leaveOrDeleteKnownMails(handle);
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

void Run::leaveOrDeleteKnownMails(int handle) {
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
            if (markForDeletion(handle, m)) {
                m_deletedNow.insert(uid);
                ++m_outcome.deletedAfterDays;
            }
        } else {
            (void)m_transport.skipMail(handle, m);
            ++m_outcome.leftOnServer;
        }
    }
}

bool Run::deleteListedMails(int handle) {
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
        if (markForDeletion(handle, m)) {
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
        m_observer.onMessage({MessageKind::kSeenListNotWritten, 0, written.message()});
        return;
    }
    // The list holds every mail the journal names now.
    if (m_leaving && !m_journalNeeded) {
        (void)m_journal.clear();
    }
}

bool Run::closeSession(int handle, bool loggedIn) {
    // Only here does the transport send the deletions: every mail marked so
    // far is already synced to its box file.
    if (m_transport.close(handle) < 0) {
        // Mail left on the server loses nothing by it; mail to be deleted stays.
        if ((!m_leaving && (m_outcome.stored > 0 || m_outcome.recovered > 0)) ||
            !m_deletedNow.empty()) {
            reportCloseFailure();
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

bool Run::markForDeletion(int handle, int mailNumber) {
    if (m_transport.deleteMail(handle, mailNumber) >= 0) {
        return true;
    }
    ++m_outcome.deleteFailed;
    ++m_outcome.keptOnServer;
    if (m_deleteFailure.empty()) {
        m_deleteFailure = transportMessage(m_transport);
    }
    return false;
}

void Run::reportDeleteFailures() {
    if (m_outcome.deleteFailed == 0) {
        return;
    }
    m_observer.onMessage({MessageKind::kDeleteFailed, m_outcome.deleteFailed, m_deleteFailure});
}

void Run::keepOnServer(const Status& why) {
    ++m_outcome.keptOnServer;
    ++m_storeFailures;
    if (m_outcome.storeFailure.isOk()) {
        m_outcome.storeFailure = why;
    }
}

void Run::reportFetchFailure(int mailNumber) {
    m_outcome.end = RunEnd::kSessionFailed;
    ++m_outcome.keptOnServer;
    m_outcome.serverMessage = transportMessage(m_transport);
    m_outcome.fault = transportFault(m_transport).fault;
    m_observer.onMessage(
        {MessageKind::kFetchFailed, mailNumber, m_outcome.serverMessage, m_outcome.fault});
}

// The server commits deletions only when the session ends normally, so the
// mails stored in this run are still there and will be fetched again.
void Run::reportCloseFailure() {
    m_outcome.end = RunEnd::kSessionFailed;
    m_outcome.serverMessage = transportMessage(m_transport);
    m_outcome.fault = transportFault(m_transport).fault;
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
        {MessageKind::kStoreFailed, m_storeFailures, m_outcome.storeFailure.message()});
}

void Run::ensureAttachmentFolder() {
    // A missing folder would make every attachment fail; a folder that cannot
    // be made shows up as the per-mail "cannot open" message.
    (void)base::makePrivateFolders(m_request.folder.attachmentFolder().string());
}

}  // namespace

const char* boxFileName(int slot) {
    const store::BoxInfo* box =
        slot >= 0 && slot < kBoxSlotCount ? store::findBox(boxOfSlot(slot)) : nullptr;
    return box != nullptr ? box->fileName : "";
}

bool ReceiveOutcome::succeeded() const {
    return end == RunEnd::kCompleted && keptOnServer == 0;
}

ReceiveOutcome ReceiveSession::run(const ReceiveRequest& request, ReceiveObserver& observer) {
    NMailTransport transport;
    return run(request, observer, transport);
}

ReceiveOutcome ReceiveSession::run(const ReceiveRequest& request, ReceiveObserver& observer,
                                   MailTransport& transport) {
    if (m_running) {
        ReceiveOutcome refused;
        refused.end = RunEnd::kAlreadyRunning;
        return refused;
    }
    RunningFlag running(m_running);
    return Run(request, observer, transport, m_newMailStored, m_noUidlTold).execute();
}

}  // namespace qf::receive
