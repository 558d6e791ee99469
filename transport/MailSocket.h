// One TCP connection to a mail server, in clear text or TLS (OpenSSL), with
// a read buffer and a time limit on every wait.
//
// The socket is non-blocking: a read or write waits in poll() until its
// deadline, so a server that goes silent, stops reading or trickles bytes
// ends the call in time. Writing never reads: the caller keeps the bytes it
// has in flight small enough for the kernel's buffers (see Pop3Session).
//
// TLS: certificates are verified against the system's CAs plus the PEM file
// named by QUILLFERN_CA_FILE, and the certificate must be made for the host
// name (or IP address) the connection was opened to. A refusal is a Status
// that tlsRefusalOf() recognises.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "base/Status.h"
#include "transport/ServerAddress.h"

struct ssl_st;
struct ssl_ctx_st;

namespace qf::transport {

using Deadline = std::chrono::steady_clock::time_point;
// Seconds from now; 0 means no limit.
Deadline deadlineIn(long seconds);

class MailSocket {
  public:
    // TCP to the address (its pinned IP when it has one) within the deadline.
    // While `abandon` (may be null) is set, every wait ends at once, with
    // kCancelled: the caller gave up on the connection.
    static Result<std::unique_ptr<MailSocket>> connect(const ServerAddress& address,
                                                       Deadline deadline,
                                                       const std::atomic<bool>* abandon = nullptr);
    ~MailSocket();
    MailSocket(const MailSocket&) = delete;
    MailSocket& operator=(const MailSocket&) = delete;

    // The TLS handshake on this connection, checking the certificate against
    // the address's host. Any byte still in the read buffer came before TLS
    // and is dropped: nothing read in clear text passes for protected text.
    Status startTls(Deadline deadline);

    // Bytes read and not yet consumed.
    std::string_view buffered() const { return std::string_view(m_buffer).substr(m_start); }
    void consume(std::size_t bytes);
    // Reads at least one more byte into the buffer, waiting until the deadline.
    Status fill(Deadline deadline);

    Status writeAll(std::string_view bytes, Deadline deadline);
    // True once TLS protects the connection.
    bool secure() const { return m_ssl != nullptr; }
    // The flag that ends every wait (see connect); null: none does.
    void setAbandonFlag(const std::atomic<bool>* abandon) { m_abandon = abandon; }

  private:
    MailSocket(int fd, const ServerAddress& address);
    // Waits until the socket is readable (or writable); kTimedOut after the deadline.
    Status wait(bool forWriting, Deadline deadline, std::string_view what) const;
    Status handshake(Deadline deadline);
    Status handshakeFailure() const;

    int m_fd = -1;
    ServerAddress m_address;
    const std::atomic<bool>* m_abandon = nullptr;
    ssl_ctx_st* m_context = nullptr;
    ssl_st* m_ssl = nullptr;
    std::string m_buffer;
    std::size_t m_start = 0;
};

}  // namespace qf::transport
