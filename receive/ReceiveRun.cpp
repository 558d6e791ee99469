#include "receive/ReceiveRun.h"

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>
#include <vector>

#include "receive/MailText.h"
#include "receive/MailTransport.h"
#include "receive/ReceiveJournal.h"
#include "store/BoxCatalogue.h"
#include "store/MailRecord.h"
#include "store/MailStore.h"
#include "text/Cp932.h"
#include "text/FixedField.h"
#include "transport/NMail.h"

namespace qf::receive {

namespace {

// The text buffers' size set at start-up; restored after every mail.
constexpr int kDefaultBufferBytes = 8192;

// Slot 0 … 5 is receiving box 1 … 6 of the catalogue.
int boxOfSlot(int slot) {
    return slot + 1;
}

// Appends the mail to its box and syncs the box file, so that the record is
// on disk before the server may delete the mail. A full box (kFull) or a
// failed write leaves the box as it was.
Result<int> appendDurably(store::MailStore& store, int slot, const StagedMail& mail) {
    const int box = boxOfSlot(slot);
    Result<int> record = store.append(box, {mail.subject, mail.sender, mail.date, mail.body});
    if (!record) {
        return record;
    }
    if (Status synced = store.sync(box); !synced) {
        return synced;
    }
    return record;
}

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
        for (auto* buffer : {&subject, &date, &sender, &header}) {
            buffer->assign(size, '\0');
        }
        m_transport.setOption(transport::kOptionBufferSize, static_cast<int>(size));
    }

    std::vector<char> subject, date, sender, header;

  private:
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

// A mail as the server sent it (raw bytes, cut at NUL).
struct FetchedMail {
    std::string header;
    std::string body;
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
        bool& newMailStored)
        : m_request(request),
          m_observer(observer),
          m_transport(transport),
          m_newMailStored(newMailStored),
          m_ownStore(request.folder.dataFolder().string()),
          m_store(request.store != nullptr ? *request.store : m_ownStore),
          m_journal(request.folder.dataFile(kJournalFileName), request.pop3Server,
                    request.account.id) {}

    ReceiveOutcome execute();

  private:
    // Steps of the session; each returns false when the session must end.
    bool authenticate(int handle);
    bool receiveMail(int handle, int mailNumber);
    // Status, size and fetch; nothing when the session broke.
    std::optional<FetchedMail> fetchMail(int handle, int mailNumber, TextBuffers& texts);
    // The work file and the decoder: the mail's texts, its attachments
    // written, -5/-6 reported; the decoder's result in `decoded`.
    StagedMail decodeMail(const FetchedMail& fetched, TextBuffers& texts, int* decoded);
    bool storeMail(int handle, int mailNumber, int slot, const StagedMail& mail);
    // The unique ids of the waiting mails, and the deletion of those an
    // interrupted run stored (they are not fetched again).
    void recoverInterruptedRun(int handle);
    bool storedEarlier(int mailNumber) const;
    void noteInJournal(int mailNumber, int slot, const StagedMail& mail);
    // The close; the journal goes once the server has committed the deletions.
    void closeSession(int handle, bool loggedIn);
    // Leaves the mail on the server; the user hears about it once, at the end.
    void keepOnServer(const Status& why);
    void reportFetchFailure(int mailNumber);
    void reportCloseFailure();
    void reportStoreFailures();
    void ensureAttachmentFolder();

    const ReceiveRequest& m_request;
    ReceiveObserver& m_observer;
    MailTransport& m_transport;
    bool& m_newMailStored;
    ReceiveOutcome m_outcome;
    store::MailStore m_ownStore;
    store::MailStore& m_store;
    ReceiveJournal m_journal;
    std::vector<std::string> m_uniqueIds;  // by mail number; empty without UIDL
    std::set<int> m_storedEarlier;
    int m_storeFailures = 0;
};

ReceiveOutcome Run::execute() {
    const settings::ProgramFolder& folder = m_request.folder;
    m_observer.onRegistrationsRead(settings::readSortingRegistrations(folder.sortingFile()));
    m_outcome.accountSave = settings::saveAccount(folder.accountFile(), m_request.account, true);

    if (m_request.pop3Server.empty()) {
        m_outcome.end = RunEnd::kNoServer;
    } else {
        const int handle = m_transport.connect(text::toCp932(m_request.pop3Server).c_str());
        if (handle == -1) {
            m_outcome.end = RunEnd::kConnectFailed;
        } else {
            bool loggedIn = false;
            if (m_request.account.id.empty() || m_request.account.password.empty()) {
                m_outcome.end = RunEnd::kNoAccount;
            } else if (authenticate(handle)) {
                loggedIn = true;
                ensureAttachmentFolder();
                recoverInterruptedRun(handle);
                for (int m = 1; m <= m_outcome.waiting; ++m) {
                    if (!storedEarlier(m) && !receiveMail(handle, m)) {
                        m_outcome.keptOnServer += m_outcome.waiting - m;
                        break;
                    }
                }
            }
            closeSession(handle, loggedIn);
        }
    }
    reportStoreFailures();
    if (!m_newMailStored) {
        m_outcome.noticeRequested = true;
        m_observer.onNoNewMail();
    }
    return m_outcome;
}

bool Run::authenticate(int handle) {
    const int waiting = m_transport.authenticate(
        handle, text::toCp932(m_request.account.id).c_str(),
        text::toCp932(m_request.account.password).c_str(), m_request.apop != 0 ? -1 : 0);
    if (waiting < 0) {
        m_outcome.end = RunEnd::kAuthenticationFailed;
        m_outcome.serverMessage = transportMessage(m_transport);
        m_observer.onMessage(
            {MessageKind::kAuthenticationFailed, kErrorTitle, m_outcome.serverMessage});
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
    m_observer.onRawText(text::fromCp932(fetched->body));
    int decoded = 0;
    StagedMail mail = decodeMail(*fetched, texts, &decoded);
    if (decoded == transport::kAttachmentCannotBeOpened) {
        // An attachment that could not be written exists only on the server:
        // the mail stays there, as one that could not be stored does.
        m_observer.onRawText("");
        keepOnServer(Status::ioError(transportMessage(m_transport)));
        return true;
    }
    if (mentionsAttachment(fetched->body)) {
        mail.body += "\r\n";
        mail.body += kAttachmentNotice;
    }
    const int slot = slotForSender(mail.sender, m_request.routingAddresses);
    return storeMail(handle, mailNumber, slot, mail);
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
    return FetchedMail{std::string(bytesOf(texts.header)), std::string(bytesOf(body))};
}

StagedMail Run::decodeMail(const FetchedMail& fetched, TextBuffers& texts, int* decoded) {
    const settings::ProgramFolder& folder = m_request.folder;
    Result<std::string> passed =
        passThroughWorkFile(folder.workFile(), fetched.header, fetched.body);
    // Without a usable work file the decoder still gets the same text.
    const std::string mailText =
        passed ? std::move(passed).value() : wholeMailLines(fetched.header, fetched.body);

    texts.resize(mailText.size() + 1);
    // Room for a whole record body even when the decoded text outgrows this
    // mail's text: the part that completes a split mail brings the rest.
    const std::size_t bodyCapacity = std::max(mailText.size() + 1, store::kBodyFieldBytes + 1);
    std::vector<char> decodedBody(bodyCapacity, '\0');
    m_transport.setOption(transport::kOptionBodyBufferSize, static_cast<int>(bodyCapacity));
    // Paths travel as CP932 like every other text of the transport calls.
    const std::string attachmentFolder = text::toCp932(folder.attachmentFolder().string() + "/");
    const std::string workFile = text::toCp932(folder.workFile().string());
    *decoded = m_transport.attachmentFileFirst(
        texts.subject.data(), texts.date.data(), texts.sender.data(), texts.header.data(),
        decodedBody.data(), attachmentFolder.c_str(), workFile.c_str(), mailText.c_str());
    m_transport.attachmentFileClose();
    m_transport.setOption(transport::kOptionBodyBufferSize, 0);
    if (*decoded == transport::kAttachmentCannotBeOpened) {
        m_observer.onMessage(
            {MessageKind::kAttachmentCannotBeOpened, "", kAttachmentCannotBeOpenedText});
    } else if (*decoded == transport::kSplitMailIncomplete) {
        m_observer.onMessage({MessageKind::kSplitMailIncomplete, "", kSplitMailIncompleteText});
    }
    std::error_code ignored;
    std::filesystem::remove(folder.workFile(), ignored);
    return {textOf(texts.subject), textOf(texts.sender), textOf(texts.date), textOf(decodedBody)};
}

bool Run::storeMail(int handle, int mailNumber, int slot, const StagedMail& mail) {
    m_observer.onRawText("");
    m_observer.onMailStaged(slot, mail);
    noteInJournal(mailNumber, slot, mail);
    Result<int> record = appendDurably(m_store, slot, mail);
    if (!record) {
        keepOnServer(record.status());
        return true;
    }
    m_newMailStored = true;
    ++m_outcome.stored;
    ++m_outcome.storedPerSlot[static_cast<std::size_t>(slot)];
    m_observer.onMailStored(slot, record.value());
    m_transport.deleteMail(handle, mailNumber);
    return true;
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
    if (m_uniqueIds.empty()) {
        m_observer.onMessage({MessageKind::kRecoveryUnavailable, "", kRecoveryUnavailableText});
        return;
    }
    Result<std::set<std::string>> stored = m_journal.storedIds(m_store);
    if (!stored) {
        // Unreadable: every waiting mail is fetched and stored again.
        return;
    }
    for (int m = 1; m <= m_outcome.waiting; ++m) {
        if (stored.value().contains(m_uniqueIds[static_cast<std::size_t>(m)])) {
            m_storedEarlier.insert(m);
            m_transport.deleteMail(handle, m);
        }
    }
    m_outcome.recovered = static_cast<int>(m_storedEarlier.size());
    if (m_outcome.recovered > 0) {
        m_observer.onMessage({MessageKind::kRecovered, "",
                              "前回の受信は途中で終わっていました。そのとき保存済みだった " +
                                  std::to_string(m_outcome.recovered) +
                                  " 通のメールは、もう一度受信せずにサーバーから削除します。"});
    }
}

bool Run::storedEarlier(int mailNumber) const {
    return m_storedEarlier.contains(mailNumber);
}

// Without the line a crash before the close means this mail comes twice;
// it is stored all the same, so a journal that cannot be written loses nothing.
void Run::noteInJournal(int mailNumber, int slot, const StagedMail& mail) {
    if (m_uniqueIds.empty()) {
        // Without ids the next run can only tell the user it may bring duplicates.
        (void)m_journal.begin();
        return;
    }
    const int box = boxOfSlot(slot);
    Result<int> count = m_store.count(box);
    if (count) {
        (void)m_journal.noteStoring(m_uniqueIds[static_cast<std::size_t>(mailNumber)], box,
                                    count.value() + 1,
                                    {mail.subject, mail.sender, mail.date, mail.body});
    }
}

void Run::closeSession(int handle, bool loggedIn) {
    // Only here does the transport send the deletions: every mail marked so
    // far is already synced to its box file.
    if (m_transport.close(handle) < 0) {
        if (m_outcome.stored > 0 || m_outcome.recovered > 0) {
            reportCloseFailure();
        }
        return;
    }
    // A close before the login commits nothing; the journal is still needed.
    if (loggedIn) {
        (void)m_journal.clear();
    }
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
    m_observer.onMessage({MessageKind::kFetchFailed, kErrorTitle,
                          std::to_string(mailNumber) +
                              " 通目のメールを受信できませんでした。このメールから後は"
                              "サーバーに残してあります。\n" +
                              m_outcome.serverMessage});
}

// The server commits deletions only when the session ends normally, so the
// mails stored in this run are still there and will be fetched again.
void Run::reportCloseFailure() {
    m_outcome.end = RunEnd::kSessionFailed;
    m_outcome.serverMessage = transportMessage(m_transport);
    m_observer.onMessage({MessageKind::kCloseFailed, kErrorTitle, m_outcome.serverMessage});
}

void Run::reportStoreFailures() {
    if (m_outcome.storeFailure.isOk()) {
        return;
    }
    m_observer.onMessage({MessageKind::kStoreFailed, "",
                          std::to_string(m_storeFailures) +
                              " 通のメールを保存できなかったため、サーバーに残しました。\n" +
                              m_outcome.storeFailure.message()});
}

void Run::ensureAttachmentFolder() {
    // A missing folder would make every attachment fail; a folder that cannot
    // be made shows up as the per-mail "cannot open" message.
    std::error_code ignored;
    std::filesystem::create_directories(m_request.folder.attachmentFolder(), ignored);
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
    return Run(request, observer, transport, m_newMailStored).execute();
}

}  // namespace qf::receive
