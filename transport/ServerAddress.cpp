#include "transport/ServerAddress.h"

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
    if (protocol == MailProtocol::kPop3)
        return tls ? "pop3s" : "pop3";
    return tls ? "smtps" : "smtp";
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
        if (close == std::string_view::npos)
            return invalid(text, "unclosed \"[\"");
        host = std::string(text.substr(1, close - 1));
        std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return invalid(text, "text after \"]\"");
            portText = rest.substr(1);
            if (portText.empty())
                return invalid(text, "empty port");
        }
    } else {
        const auto colon = text.find(':');
        if (colon != std::string_view::npos &&
            text.find(':', colon + 1) == std::string_view::npos) {
            host = std::string(text.substr(0, colon));
            portText = text.substr(colon + 1);
            if (portText.empty())
                return invalid(text, "empty port");
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
    if (host.empty())
        return invalid(text, "no host");
    for (char c : host) {
        if (!isHostCharacter(c))
            return invalid(text, "unexpected character in host");
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
    return host == "localhost" || host == "::1" || host.starts_with("127.");
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
        } else {
            return invalid(text, "unsupported scheme");
        }
        schemeGiven = true;
        rest = rest.substr(separator + 3);
        if (!rest.empty() && rest.back() == '/')
            rest.remove_suffix(1);
    }
    if (Status split = splitHostPort(rest, address.host, address.port); !split)
        return split;
    const Ports ports = wellKnownPorts(protocol);
    if (address.port == 0) {
        address.port = address.implicitTls ? ports.tls : ports.plain;
    } else if (!schemeGiven && address.port == ports.tls) {
        address.implicitTls = true;  // "host:995" / "host:465" only ever speak TLS
    }
    return address;
}

}  // namespace qf::transport
