#include "transport/CurlConnection.h"

#include <sys/socket.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>

namespace qf::transport {

namespace {

// "-ERR ..." (POP3) or a 4xx/5xx reply (SMTP): the server's own reason.
bool isRefusal(std::string_view line) {
    return line.starts_with("-ERR") ||
           (line.size() > 3 && (line[0] == '4' || line[0] == '5') && line[1] >= '0' &&
            line[1] <= '9' && line[2] >= '0' && line[2] <= '9');
}

std::optional<std::string> readWholeFile(const char* path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace

CurlConnection::CurlConnection(const ServerAddress& address, const TransferLimits& limits) {
    m_curl = curl_easy_init();
    if (!m_curl) {
        return;
    }
    const std::string url = address.url();
    curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
    if (!address.pinnedIp.empty()) {
        const std::string ip = address.pinnedIp.find(':') == std::string::npos
                                   ? address.pinnedIp
                                   : "[" + address.pinnedIp + "]";
        const std::string entry = address.host + ":" + std::to_string(address.port) + ":" + ip;
        m_pinnedResolve = curl_slist_append(nullptr, entry.c_str());
        curl_easy_setopt(m_curl, CURLOPT_RESOLVE, m_pinnedResolve);
    }
    curl_easy_setopt(m_curl, CURLOPT_PROTOCOLS_STR,
                     address.protocol == MailProtocol::kPop3 ? "pop3,pop3s" : "smtp,smtps");
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_ERRORBUFFER, m_errorBuffer);
    curl_easy_setopt(m_curl, CURLOPT_CONNECTTIMEOUT, limits.connectSeconds);
    curl_easy_setopt(m_curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, limits.replySeconds);
    if (limits.stallSeconds > 0) {
        curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(m_curl, CURLOPT_LOW_SPEED_TIME, limits.stallSeconds);
    }
    // Plain names upgrade when the server offers it; a failed certificate
    // check is an error, never a silent fall-back to clear text.
    curl_easy_setopt(m_curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
    curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(m_curl, CURLOPT_SSL_VERIFYHOST, 2L);
    trustExtraCertificates();
    // Every reply line of the server passes through the header callback.
    curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, &CurlConnection::onServerLines);
    curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, this);
    // Every command line passes through the debug callback (verbose output
    // goes only there, never to the terminal).
    curl_easy_setopt(m_curl, CURLOPT_DEBUGFUNCTION, &CurlConnection::onDebug);
    curl_easy_setopt(m_curl, CURLOPT_DEBUGDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(m_curl, CURLOPT_OPENSOCKETFUNCTION, &CurlConnection::onOpenSocket);
    curl_easy_setopt(m_curl, CURLOPT_OPENSOCKETDATA, this);
}

CurlConnection::~CurlConnection() {
    if (m_curl) {
        curl_easy_cleanup(m_curl);
    }
    curl_slist_free_all(m_pinnedResolve);
}

void CurlConnection::trustExtraCertificates() {
    const char* extraFile = std::getenv(kExtraCaFileVariable);
    if (!extraFile || *extraFile == '\0') {
        return;
    }
    const std::optional<std::string> extra = readWholeFile(extraFile);
    if (!extra || extra->find("-----BEGIN CERTIFICATE-----") == std::string::npos) {
        // Unreadable, or no PEM certificate in it: libcurl refuses TLS with
        // CURLE_SSL_CACERT_BADFILE naming the file when it needs it, and a
        // session that never starts TLS goes on.
        curl_easy_setopt(m_curl, CURLOPT_CAINFO, extraFile);
        return;
    }
    // A CA blob replaces libcurl's own bundle, so the system's comes first:
    // the extra file adds trust, it never takes the system's away.
    std::string bundle;
    char* systemBundle = nullptr;
    curl_easy_getinfo(m_curl, CURLINFO_CAINFO, &systemBundle);
    if (systemBundle) {
        if (std::optional<std::string> system = readWholeFile(systemBundle)) {
            bundle = std::move(*system) + "\n";
        }
    }
    bundle += *extra;
    curl_blob blob{bundle.data(), bundle.size(), CURL_BLOB_COPY};
    curl_easy_setopt(m_curl, CURLOPT_CAINFO_BLOB, &blob);
}

size_t CurlConnection::onServerLines(char* data, size_t size, size_t count, void* self) {
    static_cast<CurlConnection*>(self)->recordServerText({data, size * count});
    return size * count;
}

void CurlConnection::recordServerText(std::string_view text) {
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty()) {
            continue;
        }
        constexpr std::size_t kKeptLength = 1000;  // an endless line is not kept whole
        m_lastReply.assign(line.substr(0, kKeptLength));
        ++m_replyLines;
        if (isRefusal(m_lastReply)) {
            m_lastRefusal = m_lastReply;
        }
    }
}

int CurlConnection::onDebug(CURL*, curl_infotype type, char* data, size_t size, void* self) {
    if (type == CURLINFO_HEADER_OUT) {
        static_cast<CurlConnection*>(self)->recordCommand({data, size});
    }
    return 0;
}

void CurlConnection::recordCommand(std::string_view line) {
    line = line.substr(0, line.find_first_of("\r\n"));
    // After a refusal libcurl says goodbye by itself; the farewell must not
    // hide what was refused.
    if (line.starts_with("QUIT")) {
        return;
    }
    // Only envelope commands are kept whole; the lines after AUTH carry
    // credentials and are never kept at all.
    if (line.starts_with("MAIL FROM:") || line.starts_with("RCPT TO:")) {
        constexpr std::size_t kKeptLength = 600;  // a path is at most 256 bytes
        m_lastCommand.assign(line.substr(0, kKeptLength));
        return;
    }
    static constexpr std::string_view kVerbs[] = {"EHLO", "HELO", "STARTTLS", "AUTH", "DATA",
                                                  "QUIT", "RSET", "NOOP",     "STLS", "CAPA"};
    const std::string_view verb = line.substr(0, line.find(' '));
    m_lastCommand.clear();
    for (std::string_view known : kVerbs) {
        if (verb == known) {
            m_lastCommand.assign(verb);
        }
    }
}

curl_socket_t CurlConnection::onOpenSocket(void*, curlsocktype, curl_sockaddr* address) {
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

void CurlConnection::abandonConnection() {
    curl_socket_t socket = CURL_SOCKET_BAD;
    if (curl_easy_getinfo(m_curl, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK &&
        socket != CURL_SOCKET_BAD) {
        ::shutdown(socket, SHUT_RDWR);  // libcurl still closes it
    }
}

TlsRefusal CurlConnection::tlsRefusal(CURLcode code) const {
    switch (code) {
        case CURLE_PEER_FAILED_VERIFICATION: {
            // OpenSSL's verify result: the chain checked out (X509_V_OK) or
            // only the name did not match (libcurl records 1, "unspecified",
            // when its own host-name check fails; 62/64 are OpenSSL's
            // host and IP mismatches). Anything else is a chain nobody vouches for.
            long verifyResult = 0;
            curl_easy_getinfo(m_curl, CURLINFO_SSL_VERIFYRESULT, &verifyResult);
            const bool nameOnly =
                verifyResult == 0 || verifyResult == 1 || verifyResult == 62 || verifyResult == 64;
            return nameOnly ? TlsRefusal::kNameMismatch : TlsRefusal::kUntrustedCertificate;
        }
        case CURLE_SSL_CACERT_BADFILE:
            return TlsRefusal::kUnusableCaFile;
        case CURLE_SSL_CONNECT_ERROR:
            return TlsRefusal::kHandshakeFailed;
        default:
            return TlsRefusal::kNone;
    }
}

Status CurlConnection::failure(CURLcode code) const {
    std::string detail;
    const bool serverRefused = !m_lastRefusal.empty();
    if (serverRefused) {
        detail = m_lastRefusal;
    } else if (m_errorBuffer[0] != '\0') {
        detail = m_errorBuffer;
    } else {
        detail = curl_easy_strerror(code);
    }
    if (const TlsRefusal refusal = tlsRefusal(code); refusal != TlsRefusal::kNone) {
        return tlsRefused(refusal, detail).withOutsideText(detail);
    }
    // The server's refusal or libcurl's own words: outside text either way.
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT:
            return Status::timedOut(detail).withOutsideText(detail);
        case CURLE_COULDNT_CONNECT:
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_LOGIN_DENIED:
            return Status::refused(detail).withOutsideText(detail);
        default:
            return (serverRefused ? Status::refused(detail) : Status::ioError(detail))
                .withOutsideText(detail);
    }
}

}  // namespace qf::transport
