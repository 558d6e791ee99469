#include "transport/CurlConnection.h"

#include <sys/socket.h>

namespace qf::transport {

namespace {

// "-ERR ..." (POP3) or a 4xx/5xx reply (SMTP): the server's own reason.
bool isRefusal(std::string_view line) {
    return line.starts_with("-ERR") ||
           (line.size() > 3 && (line[0] == '4' || line[0] == '5') && line[1] >= '0' &&
            line[1] <= '9' && line[2] >= '0' && line[2] <= '9');
}

}  // namespace

CurlConnection::CurlConnection(const ServerAddress& address, const TransferLimits& limits) {
    m_curl = curl_easy_init();
    if (!m_curl)
        return;
    const std::string url = address.url();
    curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
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
    // Every reply line of the server passes through the header callback.
    curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, &CurlConnection::onServerLines);
    curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(m_curl, CURLOPT_OPENSOCKETFUNCTION, &CurlConnection::onOpenSocket);
    curl_easy_setopt(m_curl, CURLOPT_OPENSOCKETDATA, this);
}

CurlConnection::~CurlConnection() {
    if (m_curl)
        curl_easy_cleanup(m_curl);
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
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        constexpr std::size_t kKeptLength = 1000;  // an endless line is not kept whole
        m_lastReply.assign(line.substr(0, kKeptLength));
        if (m_greeting.empty())
            m_greeting = m_lastReply;
        if (isRefusal(m_lastReply))
            m_lastRefusal = m_lastReply;
    }
}

curl_socket_t CurlConnection::onOpenSocket(void* self, curlsocktype, curl_sockaddr* address) {
    auto* connection = static_cast<CurlConnection*>(self);
    if (connection->m_oneSocketOnly && connection->m_socketsOpened > 0)
        return CURL_SOCKET_BAD;
    ++connection->m_socketsOpened;
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
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
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT:
            return Status::timedOut(detail);
        case CURLE_COULDNT_CONNECT:
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_LOGIN_DENIED:
            return Status::refused(detail);
        default:
            return serverRefused ? Status::refused(detail) : Status::ioError(detail);
    }
}

}  // namespace qf::transport
