#include "transport/SmtpSender.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>

#include "transport/EnvelopeGate.h"

namespace qf::transport {

namespace {

// The mail as libcurl reads it, and what became of its end.
struct UploadSource {
    const std::string* bytes;
    const CurlConnection* connection;
    std::chrono::seconds replyLimit;  // zero: none
    std::size_t offset = 0;
    // The server's reply lines so far when the last byte of the mail was
    // handed to libcurl; -1 before that.
    int repliesAtEnd = -1;
    std::chrono::steady_clock::time_point handedOver{};

    bool wholeMailHandedOver() const { return repliesAtEnd >= 0; }
    bool unanswered() const {
        return wholeMailHandedOver() && connection->replyLines() == repliesAtEnd;
    }
    bool replyOverdue() const {
        return unanswered() && replyLimit.count() > 0 &&
               std::chrono::steady_clock::now() - handedOver > replyLimit;
    }
};

size_t readUpload(char* buffer, size_t size, size_t count, void* userData) {
    auto* source = static_cast<UploadSource*>(userData);
    const std::size_t bytes = std::min(size * count, source->bytes->size() - source->offset);
    // libcurl's upload buffer takes bytes, not a C string.
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
    std::memcpy(buffer, source->bytes->data() + source->offset, bytes);
    source->offset += bytes;
    if (source->offset == source->bytes->size() && !source->wholeMailHandedOver()) {
        source->repliesAtEnd = source->connection->replyLines();
        source->handedOver = std::chrono::steady_clock::now();
    }
    return bytes;
}

// libcurl waits for the reply to the mail's end for the reply limit, and
// then, closing the connection, as long again for the reply to its QUIT:
// a silent server held the send for twice the limit. This ends both waits
// once the limit has passed since the mail's end (checked about once a second).
int endOverdueWait(void* userData, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const UploadSource*>(userData)->replyOverdue() ? 1 : 0;
}

constexpr std::string_view kUnconfirmedPrefix = "no reply to the end of the mail: ";

// The failure of a send whose whole mail went out with no reply after it:
// the server may have queued the mail before the connection failed or
// while it kept silent. A failed write is plain failure: the final "." did
// not leave.
Status failureAfterUpload(const UploadSource& source, CURLcode code, Status failure) {
    if (code == CURLE_SEND_ERROR || !source.unanswered()) {
        return failure;
    }
    if (code == CURLE_ABORTED_BY_CALLBACK) {
        return Status::timedOut(std::string(kUnconfirmedPrefix) + "no reply within " +
                                std::to_string(source.replyLimit.count()) + " s");
    }
    std::string detail = std::string(kUnconfirmedPrefix) + failure.message();
    return (failure.code() == StatusCode::kTimedOut ? Status::timedOut(std::move(detail))
                                                    : Status::ioError(std::move(detail)))
        .withOutsideText(failure.outsideText());
}

std::string angled(const std::string& address) {
    return "<" + address + ">";
}

class RecipientList {
  public:
    explicit RecipientList(const std::vector<std::string>& recipients) {
        for (const std::string& recipient : recipients) {
            m_list = curl_slist_append(m_list, angled(recipient).c_str());
        }
    }
    ~RecipientList() { curl_slist_free_all(m_list); }
    RecipientList(const RecipientList&) = delete;
    RecipientList& operator=(const RecipientList&) = delete;
    curl_slist* get() const { return m_list; }

  private:
    curl_slist* m_list = nullptr;
};

enum class Auth { kNone, kOverTlsOnly, kAnyChannel };

struct Attempt {
    CURLcode code;
    SmtpResult result;
};

// "RCPT TO:<a@b> SMTPUTF8" → "a@b".
std::string pathOf(std::string_view command) {
    const std::size_t open = command.find('<');
    const std::size_t close = command.rfind('>');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
        return {};
    }
    return std::string(command.substr(open + 1, close - open - 1));
}

// What a failed attempt failed with, told by libcurl's code and the command
// the server answered last.
SmtpResult classified(CURLcode code, const CurlConnection& connection, Status failure,
                      bool bearer) {
    SmtpResult result{std::move(failure), TransportFault::kSendFailed, {}};
    const std::string& command = connection.lastCommand();
    if (mayHaveBeenDelivered(result.status)) {
        result.fault = TransportFault::kDeliveryUnconfirmed;
    } else if (result.status.code() == StatusCode::kTimedOut) {
        result.fault = TransportFault::kTimedOut;
    } else if (code == CURLE_COULDNT_RESOLVE_HOST) {
        result.fault = TransportFault::kServerNotFound;
    } else if (code == CURLE_COULDNT_CONNECT) {
        result.fault = TransportFault::kConnectFailed;
    } else if (bearer && (code == CURLE_USE_SSL_FAILED ||
                          (code == CURLE_LOGIN_DENIED && !command.starts_with("AUTH")))) {
        // No TLS, or no XOAUTH2 among the server's mechanisms: nothing was tried.
        result.fault = TransportFault::kMechanismNotOffered;
    } else if (bearer && code == CURLE_LOGIN_DENIED) {
        result.fault = TransportFault::kTokenRefused;
    } else if (code == CURLE_LOGIN_DENIED || result.status.message().starts_with("530")) {
        // 530: the server wants a login first (none was offered, or no TLS for it).
        result.fault = TransportFault::kLoginRefused;
    } else if (command.starts_with("RCPT TO:")) {
        result.fault = TransportFault::kRecipientRefused;
        result.about = pathOf(command);
    } else if (command.starts_with("MAIL FROM:")) {
        result.fault = TransportFault::kSenderRefused;
        result.about = pathOf(command);
    }
    return result;
}

// The connection of the last successful send stays open for the next send
// with the same server, limits, credentials and mode: a batch makes one call
// per mail, and libcurl then reuses its SMTP session instead of connecting,
// reading the greeting and saying EHLO for every mail. A failed send drops it,
// and so does a pause long enough for a server to hang up on an idle client.
constexpr std::chrono::seconds kKeepIdle{30};

struct KeptConnection {
    std::mutex mutex;
    std::string key;
    std::unique_ptr<CurlConnection> connection;
    std::chrono::steady_clock::time_point lastUse;
};

KeptConnection& keptConnection() {
    static KeptConnection kept;
    return kept;
}

std::string connectionKey(const ServerAddress& address, const SmtpCredentials& credentials,
                          const TransferLimits& limits, Auth auth) {
    return address.url() + '\n' + address.pinnedIp + '\n' + std::to_string(static_cast<int>(auth)) +
           '\n' + credentials.user + '\n' + credentials.password + '\n' + credentials.bearerToken +
           '\n' + std::to_string(limits.connectSeconds) + ' ' +
           std::to_string(limits.replySeconds) + ' ' + std::to_string(limits.stallSeconds);
}

Attempt attemptSend(const ServerAddress& address, const BuiltMail& mail,
                    const SmtpCredentials& credentials, const TransferLimits& limits, Auth auth) {
    KeptConnection& kept = keptConnection();
    std::lock_guard lock(kept.mutex);
    const std::string key = connectionKey(address, credentials, limits, auth);
    const auto now = std::chrono::steady_clock::now();
    if (!kept.connection || kept.key != key || now - kept.lastUse > kKeepIdle) {
        kept.connection = std::make_unique<CurlConnection>(address, limits);
        kept.key = key;
    }
    kept.lastUse = now;
    CurlConnection& connection = *kept.connection;
    if (!connection.valid()) {
        kept.connection.reset();
        return {CURLE_FAILED_INIT,
                {Status::ioError("libcurl could not start"), TransportFault::kSendFailed, {}}};
    }
    connection.beginRequest();
    CURL* curl = connection.handle();
    const std::string from = angled(mail.envelopeFrom);
    RecipientList recipients(mail.recipients);
    UploadSource source{&mail.bytes, &connection, std::chrono::seconds(limits.replySeconds)};
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, &readUpload);
    curl_easy_setopt(curl, CURLOPT_READDATA, &source);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(mail.bytes.size()));
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &endOverdueWait);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &source);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    if (auth != Auth::kNone) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, credentials.user.c_str());
        if (credentials.bearerToken.empty()) {
            curl_easy_setopt(curl, CURLOPT_PASSWORD, credentials.password.c_str());
        } else {
            curl_easy_setopt(curl, CURLOPT_XOAUTH2_BEARER, credentials.bearerToken.c_str());
            curl_easy_setopt(curl, CURLOPT_LOGIN_OPTIONS, "AUTH=XOAUTH2");
            curl_easy_setopt(curl, CURLOPT_SASL_IR, 1L);
        }
        if (auth == Auth::kOverTlsOnly) {
            curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        }
    }
    const CURLcode code = curl_easy_perform(curl);
    // `source` ends here; a kept connection's QUIT must not call back into it.
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 1L);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, nullptr);
    if (code == CURLE_OK) {
        return {code, {}};
    }
    SmtpResult failed =
        classified(code, connection, failureAfterUpload(source, code, connection.failure(code)),
                   !credentials.bearerToken.empty());
    if (failed.status.code() == StatusCode::kTimedOut) {
        connection.abandonConnection();
    }
    kept.connection.reset();  // the next send starts afresh
    return {code, std::move(failed)};
}

}  // namespace

bool mayHaveBeenDelivered(const Status& status) {
    return !status.isOk() && status.message().starts_with(kUnconfirmedPrefix);
}

void releaseSmtpConnection() {
    KeptConnection& kept = keptConnection();
    std::lock_guard lock(kept.mutex);
    kept.connection.reset();
}

SmtpResult sendMail(const ServerAddress& address, const BuiltMail& mail,
                    const SmtpCredentials& credentials, const TransferLimits& limits) {
    if (mail.recipients.empty()) {
        return {Status::invalidArgument("no recipient"), TransportFault::kNoRecipient, {}};
    }
    // libcurl writes these into its command lines as they are.
    if (auto refusal = checkEnvelope(mail.envelopeFrom, mail.recipients)) {
        return {Status::invalidArgument("envelope address refused: " +
                                        printableAddress(refusal->address)),
                refusal->sender ? TransportFault::kSenderMalformed
                                : TransportFault::kRecipientMalformed,
                refusal->address};
    }
    if (credentials.user.empty()) {
        return attemptSend(address, mail, credentials, limits, Auth::kNone).result;
    }
    // A token goes over TLS only, loopback included, and never falls back
    // to sending without a login.
    if (!credentials.bearerToken.empty()) {
        return attemptSend(address, mail, credentials, limits,
                           address.implicitTls ? Auth::kAnyChannel : Auth::kOverTlsOnly)
            .result;
    }
    // Over a channel that is not TLS the password goes only to this machine,
    // and the connection is pinned to the address that showed it.
    if (address.implicitTls) {
        return attemptSend(address, mail, credentials, limits, Auth::kAnyChannel).result;
    }
    if (const ServerAddress local = resolvedForLoopback(address); local.isLoopback()) {
        return attemptSend(local, mail, credentials, limits, Auth::kAnyChannel).result;
    }
    Attempt attempt = attemptSend(address, mail, credentials, limits, Auth::kOverTlsOnly);
    // No STARTTLS on offer: nothing has been sent yet, so try once more
    // without handing over the password in clear text.
    if (attempt.code == CURLE_USE_SSL_FAILED) {
        return attemptSend(address, mail, credentials, limits, Auth::kNone).result;
    }
    return attempt.result;
}

}  // namespace qf::transport
