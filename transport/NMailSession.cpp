// The network functions of NMail.h: library start-up and options, the POP3
// session behind a handle, SMTP sending and the last error text.
#include <curl/curl.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>

#include "transport/BufferContract.h"
#include "transport/CurlConnection.h"
#include "transport/EnvelopeGate.h"
#include "transport/GMimeSupport.h"
#include "transport/LastError.h"
#include "transport/MailBuilder.h"
#include "transport/MailDecoder.h"
#include "transport/NMail.h"
#include "transport/Pop3Session.h"
#include "transport/ServerAddress.h"
#include "transport/SmtpSender.h"

namespace qf::transport {

namespace {

constexpr int kFailed = -1;
constexpr int kNoSuchHandle = -2;
constexpr int kDone = 1;

struct OpenSession {
    std::unique_ptr<Pop3Session> session;
    std::map<int, long> reportedSizes;  // what GetMailSize told the caller
    // The header texts of the mail last fetched: status and fetch of one
    // mail decode it once.
    int decodedNumber = 0;
    DecodedHeaders decoded;
};

struct LibraryState {
    std::mutex mutex;
    std::map<int, std::shared_ptr<OpenSession>> sessions;
    int nextHandle = 1;
    TransferLimits limits;
    SmtpCredentials smtpCredentials;
};

LibraryState& state() {
    static LibraryState instance;
    return instance;
}

void ensureCurlInitialized() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

TransferLimits limits() {
    std::lock_guard lock(state().mutex);
    return state().limits;
}

std::shared_ptr<OpenSession> findSession(int handle) {
    std::lock_guard lock(state().mutex);
    const auto found = state().sessions.find(handle);
    if (found == state().sessions.end()) {
        setLastError(TransportFault::kNoSession, "handle " + std::to_string(handle));
        return nullptr;
    }
    return found->second;
}

TransportFault tlsFault(TlsRefusal refusal) {
    switch (refusal) {
        case TlsRefusal::kUntrustedCertificate:
            return TransportFault::kTlsUntrustedCertificate;
        case TlsRefusal::kNameMismatch:
            return TransportFault::kTlsNameMismatch;
        case TlsRefusal::kUnusableCaFile:
            return TransportFault::kTlsUnusableCaFile;
        case TlsRefusal::kHandshakeFailed:
            return TransportFault::kTlsHandshakeFailed;
        case TlsRefusal::kNotOffered:
            return TransportFault::kTlsNotOffered;
        case TlsRefusal::kNone:
            break;
    }
    return TransportFault::kNone;
}

// A refused envelope address: the address is both what the fault is about
// and the only diagnostic there is (no byte went to the server).
int reportEnvelope(const EnvelopeRefusal& refusal) {
    setLastError(envelopeFault(refusal), refusal.address, refusal.address);
    return kFailed;
}

// The failure of a call: `fault`, unless a time limit ended it, the
// server's certificate was refused or the host name did not resolve, which
// say more about what to do.
int report(TransportFault fault, const Status& status, int result = kFailed,
           std::string_view about = {}) {
    if (fault == TransportFault::kDeliveryUnconfirmed) {
        // Whatever ended the wait: the server may hold the mail.
    } else if (const TransportFault tls = tlsFault(tlsRefusalOf(status));
               tls != TransportFault::kNone) {
        fault = tls;
    } else if (status.code() == StatusCode::kTimedOut) {
        fault = TransportFault::kTimedOut;
    } else if (status.code() == StatusCode::kNotFound && fault == TransportFault::kConnectFailed) {
        fault = TransportFault::kServerNotFound;
    }
    setLastError(fault, status.message(), about);
    return result;
}

// The builder refuses a recipient text without an address, and a file to
// attach it cannot read.
int reportBuildFailure(const Status& status, std::string_view recipients) {
    if (status.code() == StatusCode::kInvalidArgument) {
        setLastError(TransportFault::kNoRecipient, recipients, recipients);
        return kFailed;
    }
    return report(TransportFault::kAttachmentUnreadable, status);
}

// Subject, date and sender decoded; the raw header cut to whole lines.
void fillHeaderBuffers(OpenSession& open, int mailNumber, std::string_view rawHeader, char* subject,
                       char* date, char* sender, char* header) {
    const std::size_t capacity = textBufferSize();
    if (open.decodedNumber != mailNumber) {
        open.decoded = decodeHeaders(rawHeader);
        open.decodedNumber = mailNumber;
    }
    const DecodedHeaders& decoded = open.decoded;
    copyUtf8(subject, capacity, decoded.subject);
    copyUtf8(date, capacity, decoded.date);
    copyUtf8(sender, capacity, decoded.sender);
    copyCp932(header, capacity, fitHeader(rawHeader, capacity - 1));
}

}  // namespace

int NMailInitializeWinSock() {
    ensureCurlInitialized();
    ensureGMimeInitialized();
    return 0;
}

int NMailSetOption(int option, int value) {
    std::lock_guard lock(state().mutex);
    LibraryState& library = state();
    if (option == kOptionBufferSize && value > 0) {
        setTextBufferSize(static_cast<std::size_t>(value));
    } else if (option == kOptionBodyBufferSize && value >= 0) {
        setBodyBufferSize(static_cast<std::size_t>(value));
    } else if (option == kOptionConnectTimeout && value >= 0) {
        library.limits.connectSeconds = value;
    } else if (option == kOptionReplyTimeout && value >= 0) {
        library.limits.replySeconds = value;
    } else if (option == kOptionStallTimeout && value >= 0) {
        library.limits.stallSeconds = value;
    } else {
        setLastError(TransportFault::kBadOption,
                     std::to_string(option) + "=" + std::to_string(value));
        return kFailed;
    }
    return 0;
}

int NMailEndWinSock() {
    // Sessions still open end without committing anything they marked.
    releaseSmtpConnection();
    std::lock_guard lock(state().mutex);
    state().sessions.clear();
    return 0;
}

int NMailPop3Connect(const char* server) {
    ensureCurlInitialized();
    Result<ServerAddress> address = parseServerAddress(utf8Argument(server), MailProtocol::kPop3);
    if (!address) {
        return report(TransportFault::kBadServerName, address.status());
    }
    Result<std::unique_ptr<Pop3Session>> session = Pop3Session::connect(address.value(), limits());
    if (!session) {
        return report(TransportFault::kConnectFailed, session.status());
    }
    std::lock_guard lock(state().mutex);
    const int handle = state().nextHandle++;
    auto open = std::make_shared<OpenSession>();
    open->session = std::move(session).value();
    state().sessions[handle] = std::move(open);
    return handle;
}

int NMailPop3Authenticate(int handle, const char* id, const char* password, int apop) {
    const std::shared_ptr<OpenSession> open = findSession(handle);
    if (!open) {
        return kNoSuchHandle;
    }
    const Pop3Login method = apop == kLoginXOAuth2 ? Pop3Login::kXOAuth2
                             : apop != 0           ? Pop3Login::kApop
                                                   : Pop3Login::kPlain;
    Result<int> count = open->session->login(utf8Argument(id), utf8Argument(password), method);
    if (!count && method == Pop3Login::kXOAuth2) {
        TransportFault fault = TransportFault::kLoginRefused;
        if (count.status().message().starts_with(kMechanismNotOffered)) {
            fault = TransportFault::kMechanismNotOffered;
        } else if (count.status().code() == StatusCode::kRefused) {
            fault = TransportFault::kTokenRefused;
        } else if (count.status().code() == StatusCode::kTimedOut) {
            fault = TransportFault::kTimedOut;
        }
        return report(fault, count.status());
    }
    if (!count) {
        const bool noTimestamp = apop != 0 && apopTimestamp(open->session->greeting()).empty();
        return report(noTimestamp ? TransportFault::kApopNotOffered : TransportFault::kLoginRefused,
                      count.status());
    }
    return count.value();
}

int NMailPop3GetMailStatus(int handle, int mailNumber, char* subject, char* date, char* sender,
                           char* header, int) {
    const std::shared_ptr<OpenSession> open = findSession(handle);
    if (!open) {
        return kNoSuchHandle;
    }
    Result<std::string_view> mail = open->session->retrieve(mailNumber);
    if (!mail) {
        return report(TransportFault::kFetchFailed, mail.status());
    }
    fillHeaderBuffers(*open, mailNumber, splitHeaderAndBody(mail.value()).header, subject, date,
                      sender, header);
    return kDone;
}

int NMailPop3GetMailSize(int handle, int mailNumber) {
    const std::shared_ptr<OpenSession> open = findSession(handle);
    if (!open) {
        return kNoSuchHandle;
    }
    Result<long> size = open->session->size(mailNumber);
    if (!size) {
        return report(TransportFault::kFetchFailed, size.status());
    }
    if (size.value() > INT32_MAX - 1) {
        return report(TransportFault::kMailTooLarge,
                      Status::full(std::to_string(size.value()) + " bytes"));
    }
    open->reportedSizes[mailNumber] = size.value();
    return static_cast<int>(size.value());
}

int NMailPop3GetMail(int handle, int mailNumber, char* subject, char* date, char* sender,
                     char* header, char* body, int, int) {
    const std::shared_ptr<OpenSession> open = findSession(handle);
    if (!open) {
        return kNoSuchHandle;
    }
    Result<std::string_view> mail = open->session->retrieve(mailNumber);
    if (!mail) {
        return report(TransportFault::kFetchFailed, mail.status());
    }
    const MailParts parts = splitHeaderAndBody(mail.value());
    // The body buffer holds the size GetMailSize reported, plus its NUL.
    const auto reported = open->reportedSizes.find(mailNumber);
    if (reported != open->reportedSizes.end() &&
        parts.body.size() > static_cast<std::size_t>(reported->second)) {
        return report(TransportFault::kFetchFailed,
                      Status::corrupt("the mail is larger than the size reported before"));
    }
    fillHeaderBuffers(*open, mailNumber, parts.header, subject, date, sender, header);
    if (body) {
        std::copy(parts.body.begin(), parts.body.end(), body);
        body[parts.body.size()] = '\0';
        // The caller holds the mail now; the session's copy can go.
        open->session->releaseRetrieved();
    }
    return kDone;
}

int NMailPop3GetUniqueId(int handle, int mailNumber, char* buffer, int length) {
    const std::shared_ptr<OpenSession> open = findSession(handle);
    if (!open) {
        return kNoSuchHandle;
    }
    if (buffer == nullptr || length <= 0) {
        return report(TransportFault::kNoUniqueId, Status::invalidArgument("no buffer"));
    }
    buffer[0] = '\0';
    if (!open->session->offersUniqueIds()) {
        return 0;
    }
    Result<std::string> id = open->session->uniqueId(mailNumber);
    if (!id) {
        return report(TransportFault::kNoUniqueId, id.status());
    }
    const std::size_t n = std::min(id.value().size(), static_cast<std::size_t>(length - 1));
    std::copy_n(id.value().data(), n, buffer);
    buffer[n] = '\0';
    return kDone;
}

int NMailPop3SkipMail(int handle, int mailNumber) {
    const std::shared_ptr<OpenSession> open = findSession(handle);
    if (!open) {
        return kNoSuchHandle;
    }
    if (Status noted = open->session->skip(mailNumber); !noted) {
        return report(TransportFault::kFetchFailed, noted);
    }
    return kDone;
}

int NMailPop3GetLoginDelay(int handle) {
    const std::shared_ptr<OpenSession> open = findSession(handle);
    return open ? open->session->loginDelaySeconds() : kNoSuchHandle;
}

int NMailPop3DeleteMail(int handle, int mailNumber) {
    const std::shared_ptr<OpenSession> open = findSession(handle);
    if (!open) {
        return kNoSuchHandle;
    }
    if (Status marked = open->session->markDeleted(mailNumber); !marked) {
        return report(TransportFault::kDeleteFailed, marked);
    }
    return kDone;
}

int NMailPop3Close(int handle) {
    std::shared_ptr<OpenSession> open = findSession(handle);
    if (!open) {
        return kNoSuchHandle;
    }
    {
        std::lock_guard lock(state().mutex);
        state().sessions.erase(handle);
    }
    Status closed = open->session->close();
    if (!closed) {
        return report(TransportFault::kCloseFailed, closed);
    }
    return kDone;
}

// The extra-header argument is not used: the program passes none, and the
// builder writes every header field itself.
int NMailSmtpSendMail(const char* server, const char* to, const char* cc, const char* bcc,
                      const char* from, const char* subject, const char* body, const char*,
                      const char* attachments, int) {
    ensureCurlInitialized();
    Result<ServerAddress> address = parseServerAddress(utf8Argument(server), MailProtocol::kSmtp);
    if (!address) {
        return report(TransportFault::kBadServerName, address.status());
    }
    OutgoingMail outgoing{utf8Argument(from), utf8Argument(to), utf8Argument(subject),
                          utf8Argument(body), utf8Argument(attachments)};
    const std::string copies = utf8Argument(cc);
    const std::string blind = utf8Argument(bcc);
    if (auto refusal = checkAddressTexts(outgoing.from, {outgoing.to, copies, blind})) {
        return reportEnvelope(*refusal);
    }
    // Cc is named in its own header; Bcc gets the mail without being named.
    outgoing.cc = copies;
    Result<BuiltMail> built = buildMail(outgoing);
    if (!built) {
        return reportBuildFailure(built.status(), outgoing.to);
    }
    if (!blind.empty()) {
        OutgoingMail blindOnly{outgoing.from, blind, {}, {}, {}};
        Result<BuiltMail> blindRecipients = buildMail(blindOnly);
        if (!blindRecipients) {
            return reportBuildFailure(blindRecipients.status(), blind);
        }
        for (std::string& recipient : blindRecipients.value().recipients) {
            built.value().recipients.push_back(std::move(recipient));
        }
    }
    if (auto refusal = checkEnvelope(built.value().envelopeFrom, built.value().recipients)) {
        return reportEnvelope(*refusal);
    }
    SmtpCredentials credentials;
    {
        std::lock_guard lock(state().mutex);
        credentials = state().smtpCredentials;
    }
    const SmtpResult sent = sendMail(address.value(), built.value(), credentials, limits());
    if (!sent.status) {
        return report(
            sent.fault, sent.status,
            sent.fault == TransportFault::kDeliveryUnconfirmed ? kSendUnconfirmed : kFailed,
            sent.about);
    }
    return kDone;
}

int NMailSetSmtpAuth(const char* id, const char* password) {
    std::lock_guard lock(state().mutex);
    state().smtpCredentials = {utf8Argument(id), utf8Argument(password), {}};
    return kDone;
}

int NMailSetSmtpOAuth(const char* id, const char* accessToken) {
    std::lock_guard lock(state().mutex);
    state().smtpCredentials = {utf8Argument(id), {}, utf8Argument(accessToken)};
    return kDone;
}

int NMailGetErrorCode(int, char* about, int length) {
    if (about && length > 0) {
        copyUtf8(about, static_cast<std::size_t>(length), lastFailure().about);
    }
    return static_cast<int>(lastFailure().fault);
}

int NMailGetMessage(int, char* buffer, int* length) {
    if (!buffer || !length || *length <= 0) {
        return kFailed;
    }
    copyUtf8(buffer, static_cast<std::size_t>(*length), lastFailure().diagnostic);
    *length = static_cast<int>(std::char_traits<char>::length(buffer));
    return *length;
}

}  // namespace qf::transport
