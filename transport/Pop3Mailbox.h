// The typed POP3 interface the program receives through: a mailbox on the
// server that logs in, lists, hands over whole mails as bytes and deletes
// on a normal close, every call answering a TransportResult (a value, or a
// TransportFault with the server's or library's own text). Texts are UTF-8.
//
// Pop3Mailbox is abstract so that the receive run's tests can play the
// server; openPop3Mailbox gives the real one (Pop3Session underneath: see
// there for pipelining and why deletions are safe).
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/Status.h"
#include "transport/CurlConnection.h"
#include "transport/Pop3Session.h"
#include "transport/TransportResult.h"

namespace qf::transport {

struct Pop3Account {
    std::string user;
    std::string secret;  // the password, or the OAuth access token for kXOAuth2
    Pop3Login method = Pop3Login::kPlain;
};

class Pop3Mailbox {
  public:
    virtual ~Pop3Mailbox() = default;

    // The number of waiting mails.
    virtual TransportResult<int> login(const Pop3Account& account) = 0;
    // The unique ids (UIDL) of mails 1 … n, index 0 unused; empty when the
    // server offers none, which is no failure.
    virtual TransportResult<std::vector<std::string>> uniqueIds() = 0;
    // The whole mail as the server sent it: CRLF line ends, dot-stuffing
    // removed. The mailbox keeps no copy.
    virtual TransportResult<std::string> fetch(int mailNumber) = 0;
    // The mail will not be fetched (it stays on the server).
    virtual TransportStatus skip(int mailNumber) = 0;
    // Removed from the server only by a close that succeeds.
    virtual TransportStatus markDeleted(int mailNumber) = 0;
    // LOGIN-DELAY in seconds; 0 when the server names none.
    virtual int loginDelaySeconds() const = 0;
    // Commits the deletions and ends the session.
    virtual TransportStatus close() = 0;
    // The server may be presumed to pipeline next time (Pop3Presumption).
    virtual bool mayBePresumedNextTime() const { return false; }
};

// The fault of a failed call: `fault`, unless a time limit ended it, the
// server's certificate was refused or the host name did not resolve, which
// say more about what to do.
TransportError transportError(TransportFault fault, const Status& status);

// The fault of a refused login: a refused token, an unlisted mechanism or a
// greeting without APOP timestamp are told apart from a refused password.
TransportError loginError(const Status& status, Pop3Login method, std::string_view greeting);

// Connects to `server` ("host[:port]" or a mail URL, UTF-8). While `abandon`
// (may be null) is set, the connect and the login give up at their next
// wait (kConnectFailed / kLoginRefused with a cancelled message).
// With `presumed`, a session presumed to pipeline that breaks during the
// login (no reply, a closed connection; not a refusal) is dialled again
// once, asking the server's capabilities first as usual.
TransportResult<std::unique_ptr<Pop3Mailbox>> openPop3Mailbox(
    std::string_view server, const TransferLimits& limits,
    const std::atomic<bool>* abandon = nullptr, Pop3Presumption presumed = {});

// The real mailbox over a session the caller made (the C-style entry points).
std::unique_ptr<Pop3Mailbox> mailboxOver(std::unique_ptr<Pop3Session> session);

}  // namespace qf::transport
