// One libcurl easy handle set up the way every mail transfer here wants it:
// time limits, certificate checks, close-on-exec sockets and a record of the
// server's own reply lines (libcurl's error buffer is often empty when the
// server refuses something, and the user should read the server's words).
//
// Certificates are verified against the system's CA store, plus the PEM file
// named by the environment variable QUILLFERN_CA_FILE when it is set (a
// private or test CA). There is no way to switch verification off.
#pragma once

#include <curl/curl.h>

#include <string>
#include <string_view>

#include "base/Status.h"
#include "transport/ConnectionTerms.h"
#include "transport/ServerAddress.h"
#include "transport/TransportFault.h"

namespace qf::transport {

class CurlConnection {
  public:
    CurlConnection(const ServerAddress& address, const TransferLimits& limits);
    ~CurlConnection();
    CurlConnection(const CurlConnection&) = delete;
    CurlConnection& operator=(const CurlConnection&) = delete;

    CURL* handle() const { return m_curl; }
    bool valid() const { return m_curl != nullptr; }

    // The last SMTP command sent in this request before any QUIT: the
    // envelope commands whole ("MAIL FROM:<…>", "RCPT TO:<…>"), others by
    // their verb, so a refusal names what was refused. Never a credential.
    const std::string& lastCommand() const { return m_lastCommand; }
    // The last line the server sent, and how many lines it sent in this request.
    const std::string& lastReply() const { return m_lastReply; }
    int replyLines() const { return m_replyLines; }
    // Call before each request, so a failure names this request's cause.
    void beginRequest() {
        m_lastReply.clear();
        m_replyLines = 0;
        m_lastRefusal.clear();
        m_lastCommand.clear();
        m_errorBuffer[0] = '\0';
    }

    // Shuts the socket of a connection left open after a failed transfer, so
    // that closing it does not wait once more, for the reply to a goodbye
    // (QUIT), on a server that has stopped answering.
    void abandonConnection();

    // A Status for a failed transfer: the server's refusal line when it sent
    // one, libcurl's own message otherwise; time-outs get kTimedOut; a TLS
    // refusal is kRefused and recognised by tlsRefusalOf.
    Status failure(CURLcode code) const;

  private:
    static size_t onServerLines(char* data, size_t size, size_t count, void* self);
    static int onDebug(CURL* handle, curl_infotype type, char* data, size_t size, void* self);
    void recordCommand(std::string_view line);
    static curl_socket_t onOpenSocket(void* self, curlsocktype purpose, curl_sockaddr* address);
    void recordServerText(std::string_view text);
    void trustExtraCertificates();
    TlsRefusal tlsRefusal(CURLcode code) const;

    CURL* m_curl = nullptr;
    curl_slist* m_pinnedResolve = nullptr;  // CURLOPT_RESOLVE of a pinned address
    std::string m_lastReply;
    int m_replyLines = 0;
    // The last "-ERR"/4xx/5xx line of the request: after a refusal libcurl
    // logs out by itself, and the farewell must not hide the reason.
    std::string m_lastRefusal;
    std::string m_lastCommand;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};
};

}  // namespace qf::transport
