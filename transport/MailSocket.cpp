#include "transport/MailSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "transport/CurlConnection.h"

namespace qf::transport {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

int pollMilliseconds(Deadline deadline) {
    if (deadline == Deadline::max()) {
        return -1;
    }
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
}

// poll() for one descriptor until the deadline, in short slices while an
// abandon flag can end the wait: > 0 ready, 0 timed out, -1 failed (errno),
// kAbandoned when the flag was set.
constexpr int kAbandoned = -2;
constexpr int kAbandonCheckMs = 50;

int pollUntil(pollfd& poller, Deadline deadline, const std::atomic<bool>* abandon) {
    while (true) {
        if (abandon != nullptr && abandon->load()) {
            return kAbandoned;
        }
        int wait = pollMilliseconds(deadline);
        if (abandon != nullptr && (wait < 0 || wait > kAbandonCheckMs)) {
            wait = kAbandonCheckMs;
        }
        const int ready = ::poll(&poller, 1, wait);
        if (ready != 0 || abandon == nullptr || pollMilliseconds(deadline) == 0) {
            return ready;
        }
    }
}

std::string hostAndPort(const ServerAddress& address) {
    return address.host + ":" + std::to_string(address.port);
}

bool isIpLiteral(const std::string& host) {
    in6_addr any{};
    return inet_pton(AF_INET, host.c_str(), &any) == 1 ||
           inet_pton(AF_INET6, host.c_str(), &any) == 1;
}

// The oldest error OpenSSL queued, or `fallback`; the queue is emptied.
std::string openSslText() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) {
        return {};
    }
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

// A TLS refusal told by OpenSSL's own text, its outside text, or by
// `fallback` when OpenSSL left none; `where` names the server.
Status openSslRefusal(TlsRefusal refusal, std::string_view fallback, std::string_view where = {}) {
    std::string text = openSslText();
    const std::string told = (text.empty() ? std::string(fallback) : text) + std::string(where);
    return tlsRefused(refusal, told).withOutsideText(std::move(text));
}

// A BIO over the socket that writes with MSG_NOSIGNAL: a server that hangs
// up must end a write with an error, never kill the program with SIGPIPE.
int bioWrite(BIO* bio, const char* data, int length) {
    BIO_clear_retry_flags(bio);
    const ssize_t sent = ::send(static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio))),
                                data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        BIO_set_retry_write(bio);
    }
    return static_cast<int>(sent);
}

int bioRead(BIO* bio, char* data, int length) {
    BIO_clear_retry_flags(bio);
    const ssize_t got = ::recv(static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio))),
                               data, static_cast<std::size_t>(length), 0);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        BIO_set_retry_read(bio);
    }
    return static_cast<int>(got);
}

long bioControl(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int bioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

const BIO_METHOD* socketMethod() {
    static BIO_METHOD* method = [] {
        BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "qf socket");
        BIO_meth_set_write(made, bioWrite);
        BIO_meth_set_read(made, bioRead);
        BIO_meth_set_ctrl(made, bioControl);
        BIO_meth_set_create(made, bioCreate);
        return made;
    }();
    return method;
}

// What one read or write on the socket did: moved bytes, or has to wait
// (for the socket to be readable, or writable), or found the connection ended.
struct Step {
    long bytes = 0;
    bool wait = false;
    bool waitForWriting = false;
};

Step socketStep(ssize_t result, bool writing) {
    if (result > 0) {
        return {result, false, false};
    }
    const bool again = result < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
    return {0, again, writing};
}

// TLS may have to read to write and write to read (a handshake message).
Step tlsStep(SSL* ssl, int result) {
    if (result > 0) {
        return {result, false, false};
    }
    const int error = SSL_get_error(ssl, result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        return {0, true, error == SSL_ERROR_WANT_WRITE};
    }
    ERR_clear_error();
    return {};
}

// A non-blocking TCP connection to one resolved address, or -1 with errno set.
int connectOne(const addrinfo& entry, Deadline deadline, const std::atomic<bool>* abandon,
               bool& timedOut) {
    const int fd = ::socket(entry.ai_family, entry.ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK,
                            entry.ai_protocol);
    if (fd < 0) {
        return -1;
    }
    if (::connect(fd, entry.ai_addr, entry.ai_addrlen) != 0) {
        if (errno != EINPROGRESS) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return -1;
        }
        pollfd poller{fd, POLLOUT, 0};
        const int ready = pollUntil(poller, deadline, abandon);
        int error = 0;
        socklen_t length = sizeof error;
        if (ready <= 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 ||
            error != 0) {
            timedOut = ready == 0;
            ::close(fd);
            errno = ready == 0 ? ETIMEDOUT : ready == kAbandoned ? ECANCELED : error;
            return -1;
        }
    }
    // Commands are small and go out in bursts: no waiting for more to send.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

}  // namespace

Deadline deadlineIn(long seconds) {
    return seconds > 0 ? std::chrono::steady_clock::now() + std::chrono::seconds(seconds)
                       : Deadline::max();
}

MailSocket::MailSocket(int fd, const ServerAddress& address) : m_fd(fd), m_address(address) {}

MailSocket::~MailSocket() {
    SSL_free(m_ssl);
    SSL_CTX_free(m_context);
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

Result<std::unique_ptr<MailSocket>> MailSocket::connect(const ServerAddress& address,
                                                        Deadline deadline,
                                                        const std::atomic<bool>* abandon) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string& host = address.pinnedIp.empty() ? address.host : address.pinnedIp;
    const std::string port = std::to_string(address.port);
    if (const int error = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &found); error != 0) {
        const std::string text = gai_strerror(error);
        return Status::notFound("could not resolve host: " + address.host + " (" + text + ")")
            .withOutsideText(text);
    }
    int fd = -1;
    int lastError = 0;
    bool timedOut = false;
    for (const addrinfo* entry = found; entry != nullptr && fd < 0 && !timedOut;
         entry = entry->ai_next) {
        fd = connectOne(*entry, deadline, abandon, timedOut);
        lastError = errno;
    }
    ::freeaddrinfo(found);
    if (fd < 0) {
        const std::string detail = "could not connect to " + hostAndPort(address) + ": ";
        if (timedOut) {
            return Status::timedOut(detail + "no answer in time");
        }
        if (lastError == ECANCELED) {
            return Status::cancelled(detail + "given up");
        }
        const std::string text = systemText(lastError);
        return Status::refused(detail + text).withOutsideText(text);
    }
    auto socket = std::unique_ptr<MailSocket>(new MailSocket(fd, address));
    socket->setAbandonFlag(abandon);
    return socket;
}

Status MailSocket::wait(bool forWriting, Deadline deadline, std::string_view what) const {
    pollfd poller{m_fd, static_cast<short>(forWriting ? POLLOUT : POLLIN), 0};
    while (true) {
        const int ready = pollUntil(poller, deadline, m_abandon);
        if (ready > 0) {
            return Status::ok();
        }
        if (ready == kAbandoned) {
            return Status::cancelled("given up waiting for " + std::string(what) + " from " +
                                     hostAndPort(m_address));
        }
        if (ready == 0) {
            return Status::timedOut("no " + std::string(what) + " from " + hostAndPort(m_address) +
                                    " in time");
        }
        if (errno != EINTR) {
            return systemFailure("poll", errno);
        }
    }
}

void MailSocket::consume(std::size_t bytes) {
    m_start += bytes;
    if (m_start >= m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    }
}

Status MailSocket::fill(Deadline deadline) {
    if (m_start > 0 && m_start >= m_buffer.size() / 2) {
        m_buffer.erase(0, m_start);
        m_start = 0;
    }
    const std::size_t had = m_buffer.size();
    m_buffer.resize(had + kReadChunk);
    char* into = m_buffer.data() + had;
    while (true) {
        const Step step = m_ssl
                              ? tlsStep(m_ssl, SSL_read(m_ssl, into, static_cast<int>(kReadChunk)))
                              : socketStep(::recv(m_fd, into, kReadChunk, 0), false);
        if (step.bytes > 0) {
            m_buffer.resize(had + static_cast<std::size_t>(step.bytes));
            return Status::ok();
        }
        if (!step.wait) {
            m_buffer.resize(had);
            return Status::ioError("the server closed the connection");
        }
        if (Status ready = wait(step.waitForWriting, deadline, "reply"); !ready) {
            m_buffer.resize(had);
            return ready;
        }
    }
}

Status MailSocket::writeAll(std::string_view bytes, Deadline deadline) {
    while (!bytes.empty()) {
        const Step step =
            m_ssl ? tlsStep(m_ssl, SSL_write(m_ssl, bytes.data(), static_cast<int>(bytes.size())))
                  : socketStep(::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), true);
        if (step.bytes > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(step.bytes));
        } else if (!step.wait) {
            return Status::ioError("the server closed the connection");
        } else if (Status ready = wait(step.waitForWriting, deadline, "room to send"); !ready) {
            return ready;
        }
    }
    return Status::ok();
}

Status MailSocket::startTls(Deadline deadline) {
    // Replies a man in the middle slipped in behind the server's go-ahead
    // would otherwise be read as the first replies inside TLS.
    consume(buffered().size());
    m_context = SSL_CTX_new(TLS_client_method());
    if (!m_context) {
        return openSslRefusal(TlsRefusal::kHandshakeFailed, "no TLS context");
    }
    SSL_CTX_set_min_proto_version(m_context, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(m_context);
    // The extra file adds trust; the system's CAs stay trusted beside it.
    if (const char* extra = std::getenv(kExtraCaFileVariable); extra && *extra) {
        if (SSL_CTX_load_verify_locations(m_context, extra, nullptr) != 1) {
            std::string text = openSslText();
            const std::string told = text.empty() ? "no certificate in it" : text;
            return tlsRefused(TlsRefusal::kUnusableCaFile, std::string(extra) + ": " + told)
                .withOutsideText(std::move(text));
        }
    }
    SSL_CTX_set_verify(m_context, SSL_VERIFY_PEER, nullptr);
    m_ssl = SSL_new(m_context);
    if (!m_ssl) {
        return openSslRefusal(TlsRefusal::kHandshakeFailed, "no TLS session");
    }
    SSL_set_mode(m_ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    const std::string& host = m_address.host;
    if (isIpLiteral(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl), host.c_str());
    } else {
        SSL_set_hostflags(m_ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        SSL_set1_host(m_ssl, host.c_str());
        SSL_set_tlsext_host_name(m_ssl, host.c_str());
    }
    BIO* bio = BIO_new(socketMethod());
    if (!bio) {
        return openSslRefusal(TlsRefusal::kHandshakeFailed, "no socket BIO");
    }
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(m_fd)));
    SSL_set_bio(m_ssl, bio, bio);
    return handshake(deadline);
}

Status MailSocket::handshake(Deadline deadline) {
    while (true) {
        const int result = SSL_connect(m_ssl);
        if (result == 1) {
            return Status::ok();
        }
        const int error = SSL_get_error(m_ssl, result);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            return handshakeFailure();
        }
        if (Status ready = wait(error == SSL_ERROR_WANT_WRITE, deadline, "TLS handshake"); !ready) {
            return ready;
        }
    }
}

Status MailSocket::handshakeFailure() const {
    const long verified = SSL_get_verify_result(m_ssl);
    const std::string where = " (" + hostAndPort(m_address) + ")";
    if (verified == X509_V_ERR_HOSTNAME_MISMATCH || verified == X509_V_ERR_IP_ADDRESS_MISMATCH) {
        ERR_clear_error();
        return tlsRefused(TlsRefusal::kNameMismatch,
                          "the server's certificate is not made for " + m_address.host + where)
            .withOutsideText(X509_verify_cert_error_string(verified));
    }
    if (verified != X509_V_OK) {
        ERR_clear_error();
        const std::string text = X509_verify_cert_error_string(verified);
        return tlsRefused(TlsRefusal::kUntrustedCertificate,
                          "certificate verify failed: " + text + where)
            .withOutsideText(text);
    }
    return openSslRefusal(TlsRefusal::kHandshakeFailed, "the connection ended during the handshake",
                          where);
}

}  // namespace qf::transport
