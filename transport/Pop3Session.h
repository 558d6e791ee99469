// One POP3 session on one server connection, driven through libcurl.
//
// Call order: connect, login, then per mail retrieve/size and markDeleted,
// finally close. Any failed request ends the session: every later request
// fails at once, and no request is ever sent on a second connection (after
// an error libcurl would otherwise log out by itself and reconnect, where the
// message numbers have shifted).
//
// Deleting is safe by construction: markDeleted only notes the number; close
// sends the DELE commands and then QUIT, the moment the server commits them.
// A session that ends any other way removes nothing from the server, so the
// caller can make its copies durable before it calls close.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "text/Status.h"
#include "transport/CurlConnection.h"

namespace qf::transport {

enum class Pop3Login { kPlain, kApop };

class Pop3Session {
  public:
    // Connects, reads the greeting and the server's capabilities (and
    // switches to TLS when the address asks for it or the server offers it).
    static Result<std::unique_ptr<Pop3Session>> connect(const ServerAddress& address,
                                                        const TransferLimits& limits);

    // USER/PASS, or APOP with the greeting's timestamp (a greeting without
    // one is refused, never answered with a plain login). The number of
    // waiting mails.
    Result<int> login(std::string_view user, std::string_view password, Pop3Login method);

    // The whole mail as the server sends it (CRLF line ends, dot-stuffing
    // removed). The last mail fetched is kept, so status, size and fetch of
    // one mail cost one RETR.
    // The view stays valid until the next retrieve of another mail.
    Result<std::string_view> retrieve(int mailNumber);
    // Drops the kept mail once the caller has its own copy, so that a large
    // mail is not held twice; a later retrieve fetches it again.
    void releaseRetrieved();
    // The size of the fetched mail when it has been fetched, else the size
    // the server lists for it.
    Result<long> size(int mailNumber);

    // The server's unique id of the mail (UIDL), listed for every mail with
    // one command on first use. kRefused, without a command, when the
    // server's capabilities do not offer UIDL.
    Result<std::string> uniqueId(int mailNumber);
    bool offersUniqueIds() const { return m_offersUniqueIds; }

    Status markDeleted(int mailNumber);
    // DELE for each marked mail in ascending order, then QUIT. A refused
    // DELE ends the session there: the server may still commit the earlier
    // ones (their mails are stored), the later ones stay on the server.
    Status close();

    bool alive() const { return !m_failed; }
    const std::string& greeting() const { return m_connection.greeting(); }

  private:
    Pop3Session(const ServerAddress& address, const TransferLimits& limits);

    // Sends one command. multiLine: the reply carries a body ending in ".",
    // returned with dot-stuffing removed; at most maxBytes of it.
    Result<std::string> command(const std::string& line, bool multiLine, std::size_t maxBytes);
    Status loadSizes();
    Status checkMailNumber(int mailNumber) const;
    Status fail(Status status);

    CurlConnection m_connection;
    bool m_failed = false;
    bool m_loggedIn = false;
    bool m_sizesLoaded = false;
    bool m_offersUniqueIds = false;
    bool m_uniqueIdsLoaded = false;
    std::map<int, std::string> m_uniqueIds;
    int m_mailCount = 0;
    std::map<int, long> m_listedSizes;
    std::set<int> m_marked;
    int m_cachedNumber = 0;
    std::string m_cachedMail;
};

// The APOP timestamp ("<...@...>") of a greeting line; empty when there is
// none or it is malformed.
std::string apopTimestamp(std::string_view greeting);
// The APOP digest: lower-case hex MD5 of timestamp + password.
std::string apopDigest(std::string_view timestamp, std::string_view password);

}  // namespace qf::transport
