#include "auth/LoopbackRedirect.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "text/HeaderEncoding.h"

namespace qf::auth {

namespace {

constexpr std::size_t kMaxRequestBytes = 16 * 1024;
constexpr int kPollMillis = 200;

// A query's "+" is a space; the rest is percent-decoding.
std::string percentDecoded(std::string_view text) {
    std::string spaced(text);
    std::replace(spaced.begin(), spaced.end(), '+', ' ');
    return text::decodeHexEscapes(spaced, '%', false);
}

// The page's text is ours, but escaped all the same.
std::string htmlEscaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

void answer(int client, const char* status, const std::string& text) {
    const std::string body = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body><p>" +
                             htmlEscaped(text) + "</p></body></html>";
    const std::string reply = std::string("HTTP/1.1 ") + status +
                              "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                              std::to_string(body.size()) +
                              "\r\nConnection: close\r\nCache-Control: no-store\r\n\r\n" + body;
    std::size_t sent = 0;
    while (sent < reply.size()) {
        const ssize_t n = ::send(client, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return;
        }
        sent += static_cast<std::size_t>(n);
    }
}

// The request target of "GET /path?query HTTP/1.1", read within a few
// seconds; empty when the request is something else.
std::string requestTarget(int client) {
    std::string request;
    char buffer[2048];
    while (request.find("\r\n") == std::string::npos && request.size() < kMaxRequestBytes) {
        pollfd waiting{client, POLLIN, 0};
        if (::poll(&waiting, 1, 5000) <= 0) {
            return {};
        }
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return {};
        }
        request.append(buffer, static_cast<std::size_t>(n));
    }
    const std::string line = request.substr(0, request.find("\r\n"));
    if (!line.starts_with("GET ")) {
        return {};
    }
    const std::size_t end = line.find(' ', 4);
    return end == std::string::npos ? std::string() : line.substr(4, end - 4);
}

}  // namespace

std::string queryValue(const std::string& query, const std::string& name) {
    std::size_t start = 0;
    while (start <= query.size()) {
        std::size_t end = query.find('&', start);
        if (end == std::string::npos) {
            end = query.size();
        }
        const std::string_view pair(query.data() + start, end - start);
        const std::size_t equals = pair.find('=');
        if (percentDecoded(pair.substr(0, equals)) == name) {
            return equals == std::string_view::npos ? std::string()
                                                    : percentDecoded(pair.substr(equals + 1));
        }
        start = end + 1;
    }
    return {};
}

Result<std::unique_ptr<LoopbackRedirect>> LoopbackRedirect::open() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return systemFailure("socket", errno);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        const Status failed = systemFailure("loopback listener", errno);
        ::close(fd);
        return failed;
    }
    return std::unique_ptr<LoopbackRedirect>(new LoopbackRedirect(fd, ntohs(address.sin_port)));
}

LoopbackRedirect::~LoopbackRedirect() {
    ::close(m_socket);
}

std::string LoopbackRedirect::redirectUri() const {
    return "http://127.0.0.1:" + std::to_string(m_port) + "/";
}

Result<std::string> LoopbackRedirect::awaitCode(const std::string& state,
                                                std::chrono::seconds limit,
                                                const std::atomic<bool>& cancelled,
                                                const RedirectPages& pages) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (true) {
        if (cancelled.load()) {
            return Status::cancelled("the sign-in was cancelled");
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return Status::timedOut("no sign-in came back from the browser within " +
                                    std::to_string(limit.count()) + " s");
        }
        pollfd waiting{m_socket, POLLIN, 0};
        if (::poll(&waiting, 1, kPollMillis) <= 0) {
            continue;
        }
        const int client = ::accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;
        }
        const std::string target = requestTarget(client);
        const std::size_t mark = target.find('?');
        const std::string query = mark == std::string::npos ? "" : target.substr(mark + 1);
        // Only the redirect of the sign-in this program started counts.
        if (state.empty() || queryValue(query, "state") != state) {
            answer(client, "404 Not Found", pages.failed);
            ::close(client);
            continue;
        }
        const std::string code = queryValue(query, "code");
        const std::string error = queryValue(query, "error");
        answer(client, "200 OK", code.empty() ? pages.failed : pages.signedIn);
        ::close(client);
        if (code.empty()) {
            const std::string refusal = error.substr(0, 100);  // the provider's own word
            return Status::refused("the provider refused the sign-in: " +
                                   (refusal.empty() ? std::string("no code") : refusal))
                .withOutsideText(refusal);
        }
        return code;
    }
}

}  // namespace qf::auth
