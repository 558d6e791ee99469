#include "transport/ServerAddress.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <charconv>

#include "text/FixedField.h"

namespace qf::transport {

namespace {

struct Ports {
    int plain, tls;
};

Ports wellKnownPorts(MailProtocol protocol) {
    return protocol == MailProtocol::kPop3 ? Ports{110, 995} : Ports{25, 465};
}

std::string_view schemeName(MailProtocol protocol, bool tls) {
    if (protocol == MailProtocol::kPop3) {
        return tls ? "pop3s" : "pop3";
    }
    return tls ? "smtps" : "smtp";
}

// 127.0.0.0/8 or ::1 (also as ::ffff:127.x.y.z), written as an address.
bool isLoopbackLiteral(const std::string& host) {
    in_addr v4{};
    if (inet_pton(AF_INET, host.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    in6_addr v6{};
    if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
        if (IN6_IS_ADDR_V4MAPPED(&v6)) {
            return v6.s6_addr[12] == 127;
        }
        return IN6_IS_ADDR_LOOPBACK(&v6);
    }
    return false;
}

bool isHostCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_' || c == ':';
}

Status invalid(std::string_view text, std::string_view why) {
    return Status::invalidArgument("server name \"" + std::string(text) +
                                   "\": " + std::string(why));
}

// Splits "host", "host:port", "[v6]" and "[v6]:port"; port 0 when absent.
Status splitHostPort(std::string_view text, std::string& host, int& port) {
    std::string_view portText;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string_view::npos) {
            return invalid(text, "unclosed \"[\"");
        }
        host = std::string(text.substr(1, close - 1));
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                return invalid(text, "text after \"]\"");
            }
            portText = rest.substr(1);
            if (portText.empty()) {
                return invalid(text, "empty port");
            }
        }
    } else {
        const auto colon = text.find(':');
        if (colon != std::string_view::npos &&
            text.find(':', colon + 1) == std::string_view::npos) {
            host = std::string(text.substr(0, colon));
            portText = text.substr(colon + 1);
            if (portText.empty()) {
                return invalid(text, "empty port");
            }
        } else {
            host = std::string(text);  // a name, or a bare IPv6 literal
        }
    }
    port = 0;
    if (!portText.empty()) {
        const auto [end, error] =
            std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (error != std::errc() || end != portText.data() + portText.size() || port < 1 ||
            port > 65535) {
            return invalid(text, "bad port");
        }
    }
    if (host.empty()) {
        return invalid(text, "no host");
    }
    for (char c : host) {
        if (!isHostCharacter(c)) {
            return invalid(text, "unexpected character in host");
        }
    }
    return Status::ok();
}

}  // namespace

std::string ServerAddress::url() const {
    std::string url(schemeName(protocol, implicitTls));
    url += "://";
    url += host.find(':') == std::string::npos ? host : "[" + host + "]";
    url += ":" + std::to_string(port) + "/";
    return url;
}

bool ServerAddress::isLoopback() const {
    return isLoopbackLiteral(pinnedIp.empty() ? host : pinnedIp);
}

ServerAddress resolvedForLoopback(const ServerAddress& address) {
    if (isLoopbackLiteral(address.host)) {
        return address;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.host.c_str(), nullptr, &hints, &found) != 0) {
        return address;
    }
    std::string first;
    bool allLoopback = found != nullptr;
    for (const addrinfo* entry = found; entry != nullptr && allLoopback; entry = entry->ai_next) {
        char text[INET6_ADDRSTRLEN] = {};
        const void* raw = entry->ai_family == AF_INET
                              ? static_cast<const void*>(
                                    &reinterpret_cast<sockaddr_in*>(entry->ai_addr)->sin_addr)
                              : static_cast<const void*>(
                                    &reinterpret_cast<sockaddr_in6*>(entry->ai_addr)->sin6_addr);
        allLoopback = (entry->ai_family == AF_INET || entry->ai_family == AF_INET6) &&
                      inet_ntop(entry->ai_family, raw, text, sizeof text) != nullptr &&
                      isLoopbackLiteral(text);
        if (first.empty()) {
            first = text;
        }
    }
    freeaddrinfo(found);
    ServerAddress pinned = address;
    if (allLoopback) {
        pinned.pinnedIp = first;
    }
    return pinned;
}

Result<ServerAddress> parseServerAddress(std::string_view text, MailProtocol protocol) {
    std::string_view rest = text::stripSpaces(text);
    ServerAddress address;
    address.protocol = protocol;
    bool schemeGiven = false;
    if (const auto separator = rest.find("://"); separator != std::string_view::npos) {
        const std::string_view scheme = rest.substr(0, separator);
        if (scheme == schemeName(protocol, false)) {
            address.implicitTls = false;
        } else if (scheme == schemeName(protocol, true)) {
            address.implicitTls = true;
        } else if (protocol == MailProtocol::kPop3 && scheme == "pop3+stls") {
            address.requireStartTls = true;
        } else {
            return invalid(text, "unsupported scheme");
        }
        schemeGiven = true;
        rest = rest.substr(separator + 3);
        if (!rest.empty() && rest.back() == '/') {
            rest.remove_suffix(1);
        }
    }
    if (Status split = splitHostPort(rest, address.host, address.port); !split) {
        return split;
    }
    const Ports ports = wellKnownPorts(protocol);
    if (address.port == 0) {
        address.port = address.implicitTls ? ports.tls : ports.plain;
    } else if (!schemeGiven && address.port == ports.tls) {
        address.implicitTls = true;  // "host:995" / "host:465" only ever speak TLS
    }
    return address;
}

}  // namespace qf::transport
