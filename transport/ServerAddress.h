// The server names the user types in the settings: "host", "host:port",
// "pop3://host[:port]", "pop3s://host[:port]", "pop3+stls://host[:port]"
// (and "smtp://", "smtps://"), turned into what the transport connects to.
//
// Plain names use the protocol's plain port and upgrade with STLS/STARTTLS
// when the server offers it; "pop3+stls://" insists on STLS (a server that
// does not offer it is refused); the "s" schemes and the well-known TLS ports
// (995, 465) use TLS from the first byte. Certificates are always verified.
#pragma once

#include <string>
#include <string_view>

#include "base/Status.h"

namespace qf::transport {

enum class MailProtocol { kPop3, kSmtp };

struct ServerAddress {
    MailProtocol protocol = MailProtocol::kPop3;
    std::string host;  // name or IP literal, without brackets
    int port = 0;
    bool implicitTls = false;
    bool requireStartTls = false;  // POP3 only: STLS or no session
    // An IP literal the host name was resolved to; when set, libcurl
    // connects there and nowhere else (see resolvedForLoopback).
    std::string pinnedIp;

    // "pop3://host:110/", "smtps://[::1]:465/" ...
    std::string url() const;
    // A server where a password sent in clear text never leaves the machine:
    // the host is an address in 127.0.0.0/8 or ::1, or a name pinned to one.
    // A name by itself never counts ("127.evil.example.com" is a name).
    bool isLoopback() const;
};

// The address pinned to what its name resolves to when every address of it
// is a loopback one (so "localhost" counts, and a later answer of the
// resolver cannot lead elsewhere); otherwise `address` as it is.
ServerAddress resolvedForLoopback(const ServerAddress& address);

// Fails with invalidArgument for an empty name, a bad port, another scheme,
// a path, or characters that do not belong in a host name.
Result<ServerAddress> parseServerAddress(std::string_view text, MailProtocol protocol);

}  // namespace qf::transport
