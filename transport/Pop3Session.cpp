#include "transport/Pop3Session.h"

#include <glib.h>

#include <algorithm>
#include <charconv>
#include <optional>
#include <utility>
#include <vector>

#include "transport/Pop3Lines.h"

namespace qf::transport {

namespace {

constexpr std::size_t kMaxCapabilities = 64 * 1024;
constexpr std::size_t kMaxListing = 16 * 1024 * 1024;

using pop3::capabilityArguments;
using pop3::hasLineBreakOrNul;
using pop3::listsCapability;
using pop3::listsWord;
using pop3::parseListing;
using pop3::parseUniqueIds;
using pop3::printableLine;

std::string base64Of(std::string_view bytes) {
    gchar* encoded = g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
    std::string out(encoded);
    g_free(encoded);
    return out;
}

}  // namespace

std::string apopTimestamp(std::string_view greeting) {
    const auto open = greeting.find('<');
    if (open == std::string_view::npos) {
        return {};
    }
    const auto close = greeting.find('>', open);
    if (close == std::string_view::npos) {
        return {};
    }
    const std::string_view stamp = greeting.substr(open, close - open + 1);
    const auto at = stamp.find('@');
    if (at == std::string_view::npos || at == 1 || at == stamp.size() - 2) {
        return {};
    }
    for (char c : stamp) {
        if (c <= ' ' || c > '~') {
            return {};
        }
    }
    return std::string(stamp);
}

std::string apopDigest(std::string_view timestamp, std::string_view password) {
    GChecksum* checksum = g_checksum_new(G_CHECKSUM_MD5);
    g_checksum_update(checksum, reinterpret_cast<const guchar*>(timestamp.data()),
                      static_cast<gssize>(timestamp.size()));
    g_checksum_update(checksum, reinterpret_cast<const guchar*>(password.data()),
                      static_cast<gssize>(password.size()));
    std::string digest = g_checksum_get_string(checksum);
    g_checksum_free(checksum);
    return digest;
}

Pop3Session::Pop3Session(std::unique_ptr<MailSocket> socket, const TransferLimits& limits)
    : m_socket(std::move(socket)), m_limits(limits) {}

Result<std::unique_ptr<Pop3Session>> Pop3Session::connect(const ServerAddress& address,
                                                          const TransferLimits& limits,
                                                          const std::atomic<bool>* abandon,
                                                          Pop3Presumption presumed) {
    // TCP, TLS, the greeting and the capabilities share the connect limit.
    const Deadline deadline = deadlineIn(limits.connectSeconds);
    Result<std::unique_ptr<MailSocket>> socket = MailSocket::connect(address, deadline, abandon);
    if (!socket) {
        return socket.status();
    }
    std::unique_ptr<Pop3Session> session(new Pop3Session(std::move(socket).value(), limits));
    if (Status negotiated = session->negotiate(address, deadline, presumed); !negotiated) {
        return negotiated;
    }
    return session;
}

Status Pop3Session::negotiate(const ServerAddress& address, Deadline deadline,
                              Pop3Presumption presumed) {
    if (address.implicitTls) {
        if (Status secured = m_socket->startTls(deadline); !secured) {
            return secured;
        }
    }
    Result<std::string> greeting = readStatusLine(deadline);
    if (!greeting) {
        return greeting.status();
    }
    m_greeting = printableLine(greeting.value());
    if (!greeting.value().starts_with("+OK")) {
        return Status::refused(m_greeting).withOutsideText(m_greeting);
    }
    // No password goes out in clear text ahead of the answer: APOP sends a
    // digest, and TLS from the first byte hides everything.
    if (presumed.pipelining && !address.requireStartTls && presumed.method != Pop3Login::kXOAuth2 &&
        (address.implicitTls || presumed.method == Pop3Login::kApop)) {
        m_presumed = true;
        m_capabilitiesDeferred = true;
        m_pipelining = true;
        m_offersUniqueIds = true;
        return Status::ok();
    }
    Result<std::string> offered = capabilities(deadline);
    if (!offered) {
        return offered.status();
    }
    if (!address.implicitTls) {
        bool secured = false;
        if (listsCapability(offered.value(), "STLS")) {
            queue("STLS", Reply::kLine, kNoBody);
            Result<std::string> reply = awaitReply(deadline);
            if (!reply && m_failed) {
                return reply.status();
            }
            if (reply) {
                // startTls drops whatever came after the "+OK" in clear text.
                if (Status started = m_socket->startTls(deadline); !started) {
                    return started;
                }
                // What the server offered before TLS counts for nothing now.
                offered = capabilities(deadline);
                if (!offered) {
                    return offered.status();
                }
                secured = true;
                m_upgradedByStls = true;
            }
        }
        if (!secured && address.requireStartTls) {
            return tlsRefused(TlsRefusal::kNotOffered,
                              "the server offers no STLS; the address asks for it");
        }
    }
    takeCapabilities(offered.value());
    return Status::ok();
}

void Pop3Session::takeCapabilities(std::string_view offered) {
    m_pipelining = listsCapability(offered, "PIPELINING");
    m_offersStls = listsCapability(offered, "STLS");
    // UIDL is older than CAPA: a server may answer it without listing it,
    // or without knowing CAPA at all. It is asked at the login either way;
    // only a refusal means there are no ids.
    m_offersUniqueIds = true;
    m_offersXOAuth2 = listsWord(capabilityArguments(offered, "SASL"), "XOAUTH2");
    noteLoginDelay(offered);
    m_capabilitiesRead = true;
}

// A server that refuses CAPA now, or stops listing PIPELINING, still
// answers what was sent (each command is whole on its line): the rest of
// the session waits for each reply.
Status Pop3Session::awaitDeferredCapabilities() {
    m_capabilitiesDeferred = false;
    Result<std::string> offered = awaitReply();
    if (!offered && m_failed) {
        return offered.status();
    }
    takeCapabilities(offered ? std::string_view(offered.value()) : std::string_view());
    return Status::ok();
}

// "LOGIN-DELAY 900" or, when the delay depends on the user, "LOGIN-DELAY 900
// USER" before the login and the user's own value after it.
void Pop3Session::noteLoginDelay(std::string_view capabilities) {
    const std::optional<std::string_view> arguments =
        capabilityArguments(capabilities, "LOGIN-DELAY");
    if (!arguments) {
        return;
    }
    int seconds = 0;
    const char* end = arguments->data() + arguments->size();
    const auto parsed = std::from_chars(arguments->data(), end, seconds);
    if (parsed.ec != std::errc() || seconds < 0) {
        return;
    }
    m_loginDelaySeconds = seconds;
    m_loginDelayPerUser = std::string_view(parsed.ptr, end).find("USER") != std::string_view::npos;
}

// One more round trip, only for a server that said it has a delay per user.
Status Pop3Session::askLoginDelayOfUser() {
    if (!m_loginDelayPerUser) {
        return Status::ok();
    }
    m_loginDelayPerUser = false;
    queue("CAPA", Reply::kMultiLine, kMaxCapabilities);
    Result<std::string> offered = awaitReply();
    if (offered) {
        noteLoginDelay(offered.value());
    }
    return offered || !m_failed ? Status::ok() : offered.status();
}

// A server that refuses CAPA offers nothing beyond the basic commands.
Result<std::string> Pop3Session::capabilities(Deadline deadline) {
    queue("CAPA", Reply::kMultiLine, kMaxCapabilities);
    Result<std::string> offered = awaitReply(deadline);
    if (!offered && !m_failed) {
        return std::string();
    }
    return offered;
}

Result<int> Pop3Session::login(std::string_view user, std::string_view password, Pop3Login method) {
    if (m_failed) {
        return Status::cancelled("the session has already ended");
    }
    if (hasLineBreakOrNul(user) || hasLineBreakOrNul(password)) {
        return Status::invalidArgument("line break in user name or password");
    }
    std::vector<std::string> lines;
    if (method == Pop3Login::kXOAuth2) {
        if (Status authenticated = authenticateXOAuth2(user, password); !authenticated) {
            return authenticated;
        }
    } else if (method == Pop3Login::kApop) {
        const std::string timestamp = apopTimestamp(greeting());
        if (timestamp.empty()) {
            return fail(Status::refused("no APOP timestamp in the greeting: " + greeting()));
        }
        lines.push_back("APOP " + std::string(user) + " " + apopDigest(timestamp, password));
    } else {
        lines.push_back("USER " + std::string(user));
        lines.push_back("PASS " + std::string(password));
    }
    if (m_capabilitiesDeferred) {
        queue("CAPA", Reply::kMultiLine, kMaxCapabilities);
    }
    const bool listingsQueued = m_pipelining;
    if (m_pipelining) {
        for (const std::string& line : lines) {
            queue(line, Reply::kLine, kNoBody);
        }
        if (m_offersUniqueIds) {
            queue("UIDL", Reply::kMultiLine, kMaxListing);
        }
        queue("LIST", Reply::kMultiLine, kMaxListing);
    }
    if (m_capabilitiesDeferred) {
        if (Status read = awaitDeferredCapabilities(); !read) {
            return read;
        }
    }
    for (const std::string& line : lines) {
        if (!listingsQueued) {
            queue(line, Reply::kLine, kNoBody);
        }
        if (Result<std::string> reply = awaitReply(); !reply) {
            return fail(reply.status());
        }
    }
    m_loggedIn = true;
    // From here a stop waits for the mail being stored (the caller's affair).
    m_socket->setAbandonFlag(nullptr);
    if (Status listed = loadListings(listingsQueued); !listed) {
        return listed;
    }
    if (Status asked = askLoginDelayOfUser(); !asked) {
        return asked;
    }
    return m_mailCount;
}

// AUTH XOAUTH2 with the initial response (RFC 5034). A refused token comes
// back as a "+ " challenge carrying the provider's error; the empty answer
// to it makes the server send its "-ERR".
Status Pop3Session::authenticateXOAuth2(std::string_view user, std::string_view token) {
    if (!m_socket->secure()) {
        return fail(
            Status::refused(std::string(kMechanismNotOffered) + "XOAUTH2 is used over TLS only"));
    }
    if (!m_offersXOAuth2) {
        return fail(Status::refused(std::string(kMechanismNotOffered) +
                                    "the server's SASL capability does not list XOAUTH2"));
    }
    const std::string response = "user=" + std::string(user) +
                                 "\x01"
                                 "auth=Bearer " +
                                 std::string(token) + "\x01\x01";
    const Deadline deadline = deadlineIn(m_limits.replySeconds);
    if (Status sent = m_socket->writeAll("AUTH XOAUTH2 " + base64Of(response) + "\r\n", deadline);
        !sent) {
        return fail(sent);
    }
    Result<std::string> reply = readStatusLine(deadline);
    if (reply && reply.value().starts_with("+ ")) {
        if (Status sent = m_socket->writeAll("\r\n", deadline); !sent) {
            return fail(sent);
        }
        reply = readStatusLine(deadline);
    }
    if (!reply) {
        return fail(reply.status());
    }
    if (reply.value().starts_with("-ERR")) {
        // The session stays usable: the caller may try again with a fresh token.
        const std::string line = printableLine(reply.value());
        return Status::refused(line).withOutsideText(line);
    }
    if (!reply.value().starts_with("+OK")) {
        return fail(Status::corrupt("unexpected reply to AUTH: " + printableLine(reply.value())));
    }
    return Status::ok();
}

Status Pop3Session::loadListings(bool queued) {
    if (m_offersUniqueIds) {
        if (!queued) {
            queue("UIDL", Reply::kMultiLine, kMaxListing);
        }
        Result<std::string> ids = awaitReply();
        if (ids) {
            m_uniqueIds = parseUniqueIds(ids.value());
        } else if (m_failed) {
            return ids.status();
        } else {
            m_offersUniqueIds = false;  // offered, then refused: none to rely on
        }
    }
    if (!queued) {
        queue("LIST", Reply::kMultiLine, kMaxListing);
    }
    Result<std::string> listing = awaitReply();
    if (!listing) {
        return fail(listing.status());
    }
    m_listedSizes = parseListing(listing.value());
    m_mailCount = m_listedSizes.empty() ? 0 : m_listedSizes.rbegin()->first;
    return Status::ok();
}

Status Pop3Session::checkMailNumber(int mailNumber) const {
    if (m_failed) {
        return Status::cancelled("the session has already ended");
    }
    if (!m_loggedIn) {
        return Status::invalidArgument("not logged in");
    }
    if (!m_listedSizes.contains(mailNumber)) {
        return Status::invalidArgument("no mail number " + std::to_string(mailNumber));
    }
    return Status::ok();
}

Result<std::string_view> Pop3Session::retrieve(int mailNumber) {
    if (Status valid = checkMailNumber(mailNumber); !valid) {
        return valid;
    }
    if (m_cachedNumber == mailNumber) {
        return std::string_view(m_cachedMail);
    }
    releaseRetrieved();
    if (Status skipped = skipRepliesBeforeRetrieve(mailNumber); !skipped) {
        return skipped;
    }
    if (m_inFlight.empty()) {
        // Some slack over the listed size, but never unbounded.
        const auto listed = static_cast<std::size_t>(std::max(0L, m_listedSizes[mailNumber]));
        queue("RETR " + std::to_string(mailNumber), Reply::kMultiLine, listed + listed / 2 + 65536,
              mailNumber);
        m_nextPrefetch = mailNumber + 1;
    }
    if (Status sent = prefetch(); !sent) {
        return sent;
    }
    Result<std::string> mail = awaitReply();
    if (!mail) {
        return fail(mail.status());
    }
    // The server works on the next mails while the caller stores this one.
    if (Status sent = prefetch(); !sent) {
        return sent;
    }
    m_cachedNumber = mailNumber;
    m_cachedMail = std::move(mail).value();
    return std::string_view(m_cachedMail);
}

Status Pop3Session::prefetch() {
    if (m_pipelining && windowHalfEmpty()) {
        for (auto next = m_listedSizes.lower_bound(m_nextPrefetch);
             next != m_listedSizes.end() && windowHasRoom(); ++next) {
            m_nextPrefetch = next->first + 1;
            if (m_marked.contains(next->first) || m_skipped.contains(next->first)) {
                continue;  // stored by an earlier run: deleted or left, not fetched
            }
            const auto listed = static_cast<std::size_t>(std::max(0L, next->second));
            queue("RETR " + std::to_string(next->first), Reply::kMultiLine,
                  listed + listed / 2 + 65536, next->first);
        }
    }
    return flush();
}

Status Pop3Session::skipRepliesBeforeRetrieve(int mailNumber) {
    while (!m_inFlight.empty() && m_inFlight.front().mailNumber != mailNumber) {
        // A mail sent ahead that the caller did not ask for after all; a
        // refusal of it is no concern of the mail asked for.
        if (Result<std::string> dropped = awaitReply(); !dropped && m_failed) {
            return dropped.status();
        }
    }
    return Status::ok();
}

Status Pop3Session::drainReplies() {
    while (!m_inFlight.empty()) {
        if (Result<std::string> dropped = awaitReply(); !dropped && m_failed) {
            return dropped.status();
        }
    }
    return Status::ok();
}

Result<std::string> Pop3Session::take(int mailNumber) {
    Result<std::string_view> mail = retrieve(mailNumber);
    if (!mail) {
        return mail.status();
    }
    m_cachedNumber = 0;
    return std::exchange(m_cachedMail, std::string());
}

void Pop3Session::releaseRetrieved() {
    m_cachedNumber = 0;
    std::string().swap(m_cachedMail);
}

Result<long> Pop3Session::size(int mailNumber) {
    if (Status valid = checkMailNumber(mailNumber); !valid) {
        return valid;
    }
    if (m_cachedNumber == mailNumber) {
        return static_cast<long>(m_cachedMail.size());
    }
    return m_listedSizes[mailNumber];
}

Result<std::string> Pop3Session::uniqueId(int mailNumber) {
    if (Status valid = checkMailNumber(mailNumber); !valid) {
        return valid;
    }
    if (!m_offersUniqueIds) {
        return Status::refused("the server does not offer UIDL");
    }
    const auto found = m_uniqueIds.find(mailNumber);
    if (found == m_uniqueIds.end()) {
        return Status::notFound("the server listed no UIDL for mail " + std::to_string(mailNumber));
    }
    return found->second;
}

Status Pop3Session::skip(int mailNumber) {
    if (Status valid = checkMailNumber(mailNumber); !valid) {
        return valid;
    }
    m_skipped.insert(mailNumber);
    return Status::ok();
}

Status Pop3Session::markDeleted(int mailNumber) {
    if (Status valid = checkMailNumber(mailNumber); !valid) {
        return valid;
    }
    m_marked.insert(mailNumber);
    return Status::ok();
}

}  // namespace qf::transport
