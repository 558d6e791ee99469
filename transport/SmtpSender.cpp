#include "transport/SmtpSender.h"

#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>

#include "transport/EnvelopeGate.h"

namespace qf::transport {

namespace {

struct UploadSource {
    const std::string* bytes;
    std::size_t offset = 0;
};

size_t readUpload(char* buffer, size_t size, size_t count, void* userData) {
    auto* source = static_cast<UploadSource*>(userData);
    const std::size_t bytes = std::min(size * count, source->bytes->size() - source->offset);
    // libcurl's upload buffer takes bytes, not a C string.
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
    std::memcpy(buffer, source->bytes->data() + source->offset, bytes);
    source->offset += bytes;
    return bytes;
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
    Status status;
};

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
           '\n' + credentials.user + '\n' + credentials.password + '\n' +
           std::to_string(limits.connectSeconds) + ' ' + std::to_string(limits.replySeconds) + ' ' +
           std::to_string(limits.stallSeconds);
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
        return {CURLE_FAILED_INIT, Status::ioError("libcurl could not start")};
    }
    connection.beginRequest();
    CURL* curl = connection.handle();
    const std::string from = angled(mail.envelopeFrom);
    RecipientList recipients(mail.recipients);
    UploadSource source{&mail.bytes};
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, recipients.get());
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, &readUpload);
    curl_easy_setopt(curl, CURLOPT_READDATA, &source);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(mail.bytes.size()));
    if (auth != Auth::kNone) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, credentials.user.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, credentials.password.c_str());
        if (auth == Auth::kOverTlsOnly) {
            curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
        }
    }
    const CURLcode code = curl_easy_perform(curl);
    Attempt attempt{code, code == CURLE_OK ? Status::ok() : connection.failure(code)};
    if (code != CURLE_OK) {
        kept.connection.reset();  // the next send starts afresh
    }
    return attempt;
}

}  // namespace

void releaseSmtpConnection() {
    KeptConnection& kept = keptConnection();
    std::lock_guard lock(kept.mutex);
    kept.connection.reset();
}

Status sendMail(const ServerAddress& address, const BuiltMail& mail,
                const SmtpCredentials& credentials, const TransferLimits& limits) {
    if (mail.recipients.empty()) {
        return Status::invalidArgument("no recipient");
    }
    // libcurl writes these into its command lines as they are.
    if (auto refusal = checkEnvelope(mail.envelopeFrom, mail.recipients)) {
        return Status::invalidArgument("envelope address refused: " +
                                       printableAddress(refusal->address));
    }
    if (credentials.user.empty()) {
        return attemptSend(address, mail, credentials, limits, Auth::kNone).status;
    }
    // Over a channel that is not TLS the password goes only to this machine,
    // and the connection is pinned to the address that showed it.
    if (address.implicitTls) {
        return attemptSend(address, mail, credentials, limits, Auth::kAnyChannel).status;
    }
    if (const ServerAddress local = resolvedForLoopback(address); local.isLoopback()) {
        return attemptSend(local, mail, credentials, limits, Auth::kAnyChannel).status;
    }
    Attempt attempt = attemptSend(address, mail, credentials, limits, Auth::kOverTlsOnly);
    // No STARTTLS on offer: nothing has been sent yet, so try once more
    // without handing over the password in clear text.
    if (attempt.code == CURLE_USE_SSL_FAILED) {
        return attemptSend(address, mail, credentials, limits, Auth::kNone).status;
    }
    return attempt.status;
}

}  // namespace qf::transport
