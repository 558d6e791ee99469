// A scripted TCP server on 127.0.0.1 for what real servers get wrong: it
// accepts connections on a free port and runs a script per connection that
// reads client lines and sends canned, stalled, cut or endless replies.
// Every wait is bounded, so a test that goes wrong still ends. It keeps
// every byte any client sent, as it arrived.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace qf::testing {

class ScriptedConnection {
  public:
    using LineObserver = std::function<void(const std::string&)>;
    using BytesObserver = std::function<void(std::string_view)>;
    ScriptedConnection(int socket, std::atomic<bool>& stopping, LineObserver observer,
                       BytesObserver bytesObserver = {})
        : m_socket(socket),
          m_stopping(stopping),
          m_observer(std::move(observer)),
          m_bytesObserver(std::move(bytesObserver)) {}

    // False once the peer has closed or the server is stopping.
    bool send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(m_socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent <= 0) {
                return false;
            }
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
        return !m_stopping;
    }

    // One line without its line end; empty on close or after `timeout`.
    std::string readLine(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (true) {
            if (const auto end = m_pending.find('\n'); end != std::string::npos) {
                std::string line = m_pending.substr(0, end);
                m_pending.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                m_observer(line);
                return line;
            }
            if (m_stopping || std::chrono::steady_clock::now() > deadline) {
                return {};
            }
            pollfd poller{m_socket, POLLIN, 0};
            if (::poll(&poller, 1, 50) <= 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t received = ::recv(m_socket, buffer, sizeof buffer, 0);
            if (received <= 0) {
                m_closed = true;
                return {};
            }
            m_pending.append(buffer, static_cast<std::size_t>(received));
            if (m_bytesObserver) {
                m_bytesObserver({buffer, static_cast<std::size_t>(received)});
            }
        }
    }

    // Waits up to `timeout` (a stall) or until the client goes away.
    void stall(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!m_stopping && std::chrono::steady_clock::now() < deadline) {
            pollfd poller{m_socket, POLLIN, 0};
            if (::poll(&poller, 1, 50) > 0) {
                char buffer[4096];
                if (::recv(m_socket, buffer, sizeof buffer, 0) <= 0) {
                    return;
                }
            }
        }
    }

    bool stopping() const { return m_stopping; }
    // The peer has closed the connection.
    bool closed() const { return m_closed; }

  private:
    int m_socket;
    std::atomic<bool>& m_stopping;
    LineObserver m_observer;
    BytesObserver m_bytesObserver;
    std::string m_pending;
    bool m_closed = false;
};

class ScriptedServer {
  public:
    using Script = std::function<void(ScriptedConnection&)>;

    explicit ScriptedServer(Script script) : m_script(std::move(script)) {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(m_listener, 8) != 0 ||
            ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("scripted server: cannot listen on 127.0.0.1");
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }

    ~ScriptedServer() {
        m_stopping = true;
        m_thread.join();
        ::close(m_listener);
    }

    int port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
    int connections() const { return m_connections; }

    // Every line any client sent, in order.
    std::vector<std::string> linesReceived() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

    // Every byte any client sent, in order, line ends and all.
    std::string bytesReceived() const {
        std::lock_guard lock(m_mutex);
        return m_bytes;
    }

  private:
    void serve() {
        while (!m_stopping) {
            pollfd poller{m_listener, POLLIN, 0};
            if (::poll(&poller, 1, 50) <= 0) {
                continue;
            }
            const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0) {
                continue;
            }
            ++m_connections;
            // Lines are recorded as they are read, before any reply goes out.
            ScriptedConnection connection(
                client, m_stopping,
                [this](const std::string& line) {
                    std::lock_guard lock(m_mutex);
                    m_lines.push_back(line);
                },
                [this](std::string_view bytes) {
                    std::lock_guard lock(m_mutex);
                    m_bytes.append(bytes);
                });
            m_script(connection);
            ::close(client);
        }
    }

    Script m_script;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_connections{0};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
    std::string m_bytes;
    std::thread m_thread;
};

// An SMTP server that greets, takes every command and refuses every recipient.
inline void refuseEveryRecipient(ScriptedConnection& c) {
    c.send("220 scripted ESMTP\r\n");
    for (std::string line = c.readLine(); !line.empty(); line = c.readLine()) {
        if (line.starts_with("RCPT")) {
            c.send("550 5.7.1 Relaying denied for this address\r\n");
        } else if (line.starts_with("QUIT")) {
            c.send("221 bye\r\n");
            return;
        } else {
            c.send("250 ok\r\n");
        }
    }
}

// An SMTP server that takes any number of mails on one connection, refusing
// the recipients `refused` names (none when it is empty).
inline void takeMail(ScriptedConnection& c,
                     const std::function<bool(const std::string& rcptLine)>& refused = {}) {
    c.send("220 scripted ESMTP\r\n");
    for (std::string line = c.readLine(); !line.empty(); line = c.readLine()) {
        if (line.starts_with("RCPT") && refused && refused(line)) {
            c.send("550 5.1.1 no such user\r\n");
        } else if (line == "DATA") {
            c.send("354 go ahead\r\n");
            for (std::string data = c.readLine(); data != "."; data = c.readLine()) {
                if (data.empty() && c.stopping()) {
                    return;
                }
            }
            c.send("250 queued\r\n");
        } else if (line.starts_with("QUIT")) {
            c.send("221 bye\r\n");
            return;
        } else {
            c.send("250 ok\r\n");
        }
    }
}

// An SMTP sink: takes every command as a server would, one reply per line,
// and every mail. What a client smuggled into a command line arrives here
// as commands of its own.
inline void acceptEveryMail(ScriptedConnection& c) {
    c.send("220 sink ESMTP\r\n");
    // A kept connection may idle for long between two mails.
    constexpr std::chrono::minutes kIdle{5};
    while (true) {
        const std::string line = c.readLine(kIdle);
        if (c.closed() || c.stopping()) {
            return;
        }
        if (line.starts_with("QUIT")) {
            c.send("221 bye\r\n");
            return;
        }
        if (line.starts_with("DATA")) {
            c.send("354 go ahead\r\n");
            for (std::string data = c.readLine(kIdle); data != "." && !c.stopping() && !c.closed();
                 data = c.readLine(kIdle)) {
            }
        }
        c.send(line.empty() ? "500 empty command\r\n" : "250 ok\r\n");
    }
}

// The command lines of an SMTP session as a server reads them from `bytes`:
// lines ended by CR LF, the mail text between DATA and its "." left out,
// each EHLO without its argument.
inline std::vector<std::string> smtpCommands(std::string_view bytes) {
    std::vector<std::string> commands;
    bool inData = false;
    for (std::size_t start = 0; start < bytes.size();) {
        std::size_t end = bytes.find("\r\n", start);
        end = end == std::string_view::npos ? bytes.size() : end;
        std::string line(bytes.substr(start, end - start));
        start = end + 2;
        if (inData) {
            inData = line != ".";
            continue;
        }
        inData = line == "DATA";
        commands.push_back(line.starts_with("EHLO ") ? "EHLO" : line);
    }
    return commands;
}

}  // namespace qf::testing
