// One POP3 session on one server connection (MailSocket: clear text, STLS
// or TLS from the first byte).
//
// Call order: connect, login, then per mail retrieve/size and markDeleted,
// finally close. Any failed request ends the session: every later request
// fails at once, and nothing is ever sent on a second connection.
//
// Pipelining: when the server's capabilities list PIPELINING, commands go
// out without waiting for the replies before them, in a bounded window
// (at most kWindowCommands commands and kWindowBytes bytes of them in
// flight, so the kernel's buffers always hold them and a write never waits
// on a server that is busy sending). The login sends UIDL and LIST with it;
// retrieve(m) keeps RETRs for the next listed mails (but those skipped or
// marked for deletion) in flight, so the server
// sends mail m + 1 while the caller stores mail m; close sends the DELEs and
// QUIT in bursts. The replies come back in order and are read one at a time:
// the session holds one mail at most, whatever the number of mails waiting.
// Without PIPELINING every command waits for the reply to the one before.
//
// A server known from an earlier session to pipeline (Pop3Presumption) is
// not asked for its capabilities before the login: CAPA goes out in the
// login's burst, ahead of the login itself, and its answer counts from
// there on (a server that no longer pipelines gets one command at a time
// for the rest of the session). Only where no clear-text password could
// go out before STLS: an APOP login, or TLS from the first byte.
//
// Deleting is safe by construction: markDeleted only notes the number; close
// sends the DELE commands and then QUIT, the moment the server commits them.
// A session that ends any other way (a refused DELE included) sends no QUIT
// and so removes nothing from the server, and the caller can make its copies
// durable before it calls close.
#pragma once

#include <atomic>
#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "base/Status.h"
#include "transport/CurlConnection.h"
#include "transport/MailSocket.h"
#include "transport/TransportFault.h"

namespace qf::transport {

// kXOAuth2: SASL AUTH XOAUTH2 (RFC 5034) with an OAuth 2.0 access token in
// place of the password; only over TLS.
enum class Pop3Login { kPlain, kApop, kXOAuth2 };

// The message of a login that failed because the server does not list the
// SASL mechanism asked for (told apart from a refused token).
inline constexpr std::string_view kMechanismNotOffered = "mechanism not offered: ";

// What an earlier session learnt of the server: it listed PIPELINING (and
// the session needed no STLS to see it).
struct Pop3Presumption {
    bool pipelining = false;
    Pop3Login method = Pop3Login::kPlain;  // the login the caller will use
};

class Pop3Session {
  public:
    // Connects, reads the greeting and the server's capabilities (and
    // switches to TLS with STLS when the server offers it; an address that
    // requires STLS is refused when the server does not offer it).
    // While `abandon` (may be null) is set, the connect and the login end
    // at their next wait with kCancelled; once logged in the session no
    // longer looks at it (its caller stops between mails).
    // With `presumed` the capabilities are asked with the login instead.
    static Result<std::unique_ptr<Pop3Session>> connect(const ServerAddress& address,
                                                        const TransferLimits& limits,
                                                        const std::atomic<bool>* abandon = nullptr,
                                                        Pop3Presumption presumed = {});

    // USER/PASS, or APOP with the greeting's timestamp (a greeting without
    // one is refused, never answered with a plain login), or AUTH XOAUTH2
    // with `password` as the access token (refused before anything is sent
    // when the connection is not TLS or the server's SASL capability does
    // not list XOAUTH2: the message then starts with kMechanismNotOffered);
    // then UIDL (asked whatever CAPA said) and LIST. The number of waiting
    // mails.
    Result<int> login(std::string_view user, std::string_view password, Pop3Login method);

    // The whole mail as the server sends it (CRLF line ends, dot-stuffing
    // removed). The last mail fetched is kept, so status, size and fetch of
    // one mail cost one RETR.
    // The view stays valid until the next retrieve of another mail.
    Result<std::string_view> retrieve(int mailNumber);
    // Drops the kept mail once the caller has its own copy, so that a large
    // mail is not held twice; a later retrieve fetches it again.
    void releaseRetrieved();
    // retrieve, handing the mail over instead of keeping it.
    Result<std::string> take(int mailNumber);
    // The size of the fetched mail when it has been fetched, else the size
    // the server lists for it.
    Result<long> size(int mailNumber);

    // The server's unique id of the mail (UIDL), listed for every mail with
    // one command at the login. kRefused when the server refused UIDL.
    Result<std::string> uniqueId(int mailNumber);
    bool offersUniqueIds() const { return m_offersUniqueIds; }

    // The caller will not fetch the mail: no RETR goes ahead for it.
    Status skip(int mailNumber);
    // The least time in seconds the server wants between two logins
    // (LOGIN-DELAY, RFC 2449); 0 when it names none. A server that says the
    // delay depends on the user is asked again after the login.
    int loginDelaySeconds() const { return m_loginDelaySeconds; }

    Status markDeleted(int mailNumber);
    // DELE for each marked mail in ascending order, then QUIT. A refused
    // DELE ends the session without QUIT: the server commits none of them,
    // and every mail stays on the server.
    Status close();

    bool alive() const { return !m_failed; }
    // Ends the connection at once (no QUIT: nothing is deleted).
    void hangUp() {
        m_failed = true;
        m_socket.reset();
    }
    const std::string& greeting() const { return m_greeting; }
    bool pipelining() const { return m_pipelining; }
    // The session began by presuming PIPELINING (Pop3Presumption).
    bool presumed() const { return m_presumed; }
    // What the next session to this server may presume: the server listed
    // PIPELINING, and neither STLS nor an offer of it (a server that offers
    // STLS is asked first each time, so nothing goes out before it).
    bool mayBePresumedNextTime() const {
        return m_capabilitiesRead && m_pipelining && !m_upgradedByStls && !m_offersStls;
    }

    static constexpr std::size_t kWindowCommands = 256;
    static constexpr std::size_t kWindowBytes = 16 * 1024;
    // What a one-line reply may carry besides its status line.
    static constexpr std::size_t kNoBody = 0;

  private:
    enum class Reply { kLine, kMultiLine };
    struct Expected {
        std::string verb;  // names the command in error texts
        Reply reply;
        std::size_t maxBytes;  // of a multi-line body
        std::size_t lineBytes;
        int mailNumber;  // of a RETR
    };

    Pop3Session(std::unique_ptr<MailSocket> socket, const TransferLimits& limits);
    Status negotiate(const ServerAddress& address, Deadline deadline, Pop3Presumption presumed);
    void takeCapabilities(std::string_view offered);
    // The deferred CAPA's answer, read ahead of the login's replies.
    Status awaitDeferredCapabilities();
    Result<std::string> capabilities(Deadline deadline);
    void noteLoginDelay(std::string_view capabilities);
    Status askLoginDelayOfUser();
    Status authenticateXOAuth2(std::string_view user, std::string_view token);

    // Queues a command; it goes out with the next flush.
    void queue(const std::string& line, Reply reply, std::size_t maxBytes, int mailNumber = 0);
    Status flush();
    bool windowHasRoom() const;
    // A full window is refilled once it is half empty, not a command at a
    // time: each write wakes the server, and a thousand one-line writes
    // cost more than the rest of a local receive.
    bool windowHalfEmpty() const;
    // The reply to the oldest command in flight: the status line, or the
    // body of a multi-line reply with dot-stuffing removed. A "-ERR" is
    // kRefused with the server's line and leaves the session usable; every
    // other failure ends it.
    Result<std::string> awaitReply(Deadline statusDeadline);
    Result<std::string> awaitReply();
    Result<std::string> command(const std::string& line, Reply reply, std::size_t maxBytes);
    Result<std::string> readStatusLine(Deadline deadline);
    Status readBody(std::string& out, std::size_t maxBytes, const std::string& verb);

    // Keeps RETRs in flight for the listed mails from m_nextPrefetch on.
    Status prefetch();
    // Reads and drops the replies in flight before the RETR of mailNumber.
    Status skipRepliesBeforeRetrieve(int mailNumber);
    Status drainReplies();
    // `queued`: UIDL and LIST went out with the login.
    Status loadListings(bool queued);
    Status checkMailNumber(int mailNumber) const;
    Status fail(Status status);

    std::unique_ptr<MailSocket> m_socket;
    TransferLimits m_limits;
    std::string m_greeting;
    bool m_pipelining = false;
    bool m_presumed = false;
    bool m_capabilitiesDeferred = false;
    bool m_capabilitiesRead = false;
    bool m_upgradedByStls = false;
    bool m_offersStls = false;
    bool m_failed = false;
    bool m_loggedIn = false;
    bool m_offersUniqueIds = false;
    bool m_offersXOAuth2 = false;
    int m_loginDelaySeconds = 0;
    bool m_loginDelayPerUser = false;
    std::map<int, std::string> m_uniqueIds;
    int m_mailCount = 0;
    std::map<int, long> m_listedSizes;
    std::set<int> m_marked;
    std::set<int> m_skipped;
    std::deque<Expected> m_inFlight;
    std::size_t m_inFlightBytes = 0;
    std::string m_outgoing;
    int m_nextPrefetch = 0;
    int m_cachedNumber = 0;
    std::string m_cachedMail;
};

// The APOP timestamp ("<...@...>") of a greeting line; empty when there is
// none or it is malformed.
std::string apopTimestamp(std::string_view greeting);
// The APOP digest: lower-case hex MD5 of timestamp + password.
std::string apopDigest(std::string_view timestamp, std::string_view password);

}  // namespace qf::transport
