#include "transport/Pop3Session.h"

#include <glib.h>

#include <algorithm>
#include <charconv>
#include <optional>
#include <vector>

namespace qf::transport {

namespace {

constexpr std::size_t kMaxCapabilities = 64 * 1024;
constexpr std::size_t kMaxListing = 16 * 1024 * 1024;
// A status line (greeting, "+OK …", "-ERR …"): 512 bytes by the standard.
constexpr std::size_t kMaxStatusLine = 8 * 1024;
// What a mail's buffer reserves before its bytes arrive: a lying LIST
// cannot make the session allocate more than this ahead of the data.
constexpr std::size_t kMaxReserve = 64 * 1024 * 1024;
constexpr std::size_t kNoBody = 0;

bool hasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// A server's line as it may appear in an error text: cut, control
// characters replaced.
std::string printableLine(std::string_view line) {
    std::string shown(line.substr(0, 1000));
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = '?';
        }
    }
    return shown;
}

// The first word of a command line: "RETR 5" → "RETR".
std::string verbOf(const std::string& line) {
    return line.substr(0, line.find(' '));
}

// Calls `take(number, rest)` for each "n rest" line of a listing reply
// (LIST, UIDL); other lines are skipped.
template <typename Take>
void forEachNumberedLine(std::string_view listing, Take take) {
    while (!listing.empty()) {
        const auto end = listing.find('\n');
        std::string_view line = listing.substr(0, end);
        listing = end == std::string_view::npos ? std::string_view() : listing.substr(end + 1);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        int number = 0;
        const char* lineEnd = line.data() + line.size();
        auto parsed = std::from_chars(line.data(), lineEnd, number);
        if (parsed.ec != std::errc() || parsed.ptr == lineEnd || *parsed.ptr != ' ') {
            continue;
        }
        take(number, std::string_view(parsed.ptr + 1, lineEnd));
    }
}

// "n size" lines of a LIST reply.
std::map<int, long> parseListing(std::string_view listing) {
    std::map<int, long> sizes;
    forEachNumberedLine(listing, [&](int number, std::string_view rest) {
        long bytes = 0;
        if (std::from_chars(rest.data(), rest.data() + rest.size(), bytes).ec == std::errc()) {
            sizes[number] = bytes;
        }
    });
    return sizes;
}

// "n id" lines of a UIDL reply; an id is 1 to 70 printable characters.
std::map<int, std::string> parseUniqueIds(std::string_view listing) {
    std::map<int, std::string> ids;
    forEachNumberedLine(listing, [&](int number, std::string_view id) {
        const bool printable =
            std::all_of(id.begin(), id.end(), [](char c) { return c > ' ' && c <= '~'; });
        if (!id.empty() && id.size() <= 70 && printable) {
            ids[number] = std::string(id);
        }
    });
    return ids;
}

// The arguments of a capability a CAPA reply lists (the rest of the line
// after its name); nullopt when it is not listed.
std::optional<std::string_view> capabilityArguments(std::string_view capabilities,
                                                    std::string_view name) {
    std::size_t start = 0;
    while (start < capabilities.size()) {
        const auto end = capabilities.find('\n', start);
        std::string_view line = capabilities.substr(start, end - start);
        start = end == std::string_view::npos ? capabilities.size() : end + 1;
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        const std::string_view word = line.substr(0, line.find(' '));
        if (word.size() == name.size() &&
            g_ascii_strncasecmp(word.data(), name.data(), name.size()) == 0) {
            return word.size() < line.size() ? line.substr(word.size() + 1) : std::string_view();
        }
    }
    return std::nullopt;
}

bool listsCapability(std::string_view capabilities, std::string_view name) {
    return capabilityArguments(capabilities, name).has_value();
}

// True when the space-separated arguments hold `word` (any case).
bool listsWord(std::optional<std::string_view> arguments, std::string_view word) {
    std::string_view rest = arguments.value_or(std::string_view());
    while (!rest.empty()) {
        const std::string_view item = rest.substr(0, rest.find(' '));
        if (item.size() == word.size() &&
            g_ascii_strncasecmp(item.data(), word.data(), word.size()) == 0) {
            return true;
        }
        rest.remove_prefix(std::min(rest.size(), item.size() + 1));
    }
    return false;
}

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
                                                          const TransferLimits& limits) {
    // TCP, TLS, the greeting and the capabilities share the connect limit.
    const Deadline deadline = deadlineIn(limits.connectSeconds);
    Result<std::unique_ptr<MailSocket>> socket = MailSocket::connect(address, deadline);
    if (!socket) {
        return socket.status();
    }
    std::unique_ptr<Pop3Session> session(new Pop3Session(std::move(socket).value(), limits));
    if (Status negotiated = session->negotiate(address, deadline); !negotiated) {
        return negotiated;
    }
    return session;
}

Status Pop3Session::negotiate(const ServerAddress& address, Deadline deadline) {
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
        return Status::refused(m_greeting);
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
            }
        }
        if (!secured && address.requireStartTls) {
            return tlsRefused(TlsRefusal::kNotOffered,
                              "the server offers no STLS; the address asks for it");
        }
    }
    m_pipelining = listsCapability(offered.value(), "PIPELINING");
    // UIDL is older than CAPA: a server may answer it without listing it,
    // or without knowing CAPA at all. It is asked at the login either way;
    // only a refusal means there are no ids.
    m_offersUniqueIds = true;
    m_offersXOAuth2 = listsWord(capabilityArguments(offered.value(), "SASL"), "XOAUTH2");
    noteLoginDelay(offered.value());
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
    if (m_pipelining) {
        for (const std::string& line : lines) {
            queue(line, Reply::kLine, kNoBody);
        }
        if (m_offersUniqueIds) {
            queue("UIDL", Reply::kMultiLine, kMaxListing);
        }
        queue("LIST", Reply::kMultiLine, kMaxListing);
    }
    for (const std::string& line : lines) {
        if (!m_pipelining) {
            queue(line, Reply::kLine, kNoBody);
        }
        if (Result<std::string> reply = awaitReply(); !reply) {
            return fail(reply.status());
        }
    }
    m_loggedIn = true;
    if (Status listed = loadListings(); !listed) {
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
        return Status::refused(printableLine(reply.value()));
    }
    if (!reply.value().starts_with("+OK")) {
        return fail(Status::corrupt("unexpected reply to AUTH: " + printableLine(reply.value())));
    }
    return Status::ok();
}

Status Pop3Session::loadListings() {
    if (m_offersUniqueIds) {
        if (!m_pipelining) {
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
    if (!m_pipelining) {
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
    if (m_pipelining) {
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

Status Pop3Session::close() {
    if (m_failed) {
        return Status::cancelled("the session ended early; no mail was deleted");
    }
    releaseRetrieved();
    if (Status drained = drainReplies(); !drained) {
        return drained;
    }
    const auto send = [this](const std::string& line) {
        // Without PIPELINING the window holds one command.
        while (!windowHasRoom()) {
            if (Result<std::string> reply = awaitReply(); !reply) {
                return fail(reply.status());
            }
        }
        queue(line, Reply::kLine, kNoBody);
        return Status::ok();
    };
    for (int mailNumber : m_marked) {
        if (Status sent = send("DELE " + std::to_string(mailNumber)); !sent) {
            return sent;
        }
    }
    m_marked.clear();
    if (Status sent = send("QUIT"); !sent) {
        return sent;
    }
    while (!m_inFlight.empty()) {
        if (Result<std::string> reply = awaitReply(); !reply) {
            return fail(reply.status());
        }
    }
    m_failed = true;  // nothing more goes over this connection
    return Status::ok();
}

Status Pop3Session::fail(Status status) {
    m_failed = true;
    return status;
}

void Pop3Session::queue(const std::string& line, Reply reply, std::size_t maxBytes,
                        int mailNumber) {
    const std::size_t lineBytes = line.size() + 2;
    m_outgoing += line;
    m_outgoing += "\r\n";
    m_inFlight.push_back({verbOf(line), reply, maxBytes, lineBytes, mailNumber});
    m_inFlightBytes += lineBytes;
}

bool Pop3Session::windowHasRoom() const {
    if (!m_pipelining) {
        return m_inFlight.empty();
    }
    // "RETR 12345\r\n" is the longest command queued while the window is full.
    return m_inFlight.size() < kWindowCommands && m_inFlightBytes + 16 <= kWindowBytes;
}

Status Pop3Session::flush() {
    if (m_outgoing.empty()) {
        return Status::ok();
    }
    Status written = m_socket->writeAll(m_outgoing, deadlineIn(m_limits.replySeconds));
    m_outgoing.clear();
    return written ? written : fail(written);
}

Result<std::string> Pop3Session::awaitReply() {
    return awaitReply(deadlineIn(m_limits.replySeconds));
}

Result<std::string> Pop3Session::awaitReply(Deadline statusDeadline) {
    if (m_failed) {
        return Status::cancelled("the session has already ended");
    }
    if (m_inFlight.empty()) {
        return Status::invalidArgument("no command awaits a reply");
    }
    if (Status flushed = flush(); !flushed) {
        return flushed;
    }
    const Expected expected = std::move(m_inFlight.front());
    m_inFlight.pop_front();
    m_inFlightBytes -= expected.lineBytes;
    Result<std::string> status = readStatusLine(statusDeadline);
    if (!status) {
        return fail(status.status());
    }
    const std::string& line = status.value();
    if (line.starts_with("-ERR")) {
        return Status::refused(printableLine(line));
    }
    if (!line.starts_with("+OK")) {
        return fail(Status::corrupt("unexpected reply to \"" + expected.verb +
                                    "\": " + printableLine(line)));
    }
    if (expected.reply == Reply::kLine) {
        return status;
    }
    std::string body;
    body.reserve(std::min(expected.maxBytes, kMaxReserve));
    if (Status read = readBody(body, expected.maxBytes, expected.verb); !read) {
        return fail(read);
    }
    return body;
}

Result<std::string> Pop3Session::readStatusLine(Deadline deadline) {
    while (true) {
        const std::string_view data = m_socket->buffered();
        if (const auto end = data.find('\n'); end != std::string_view::npos) {
            std::string line(data.substr(0, end));
            if (line.ends_with('\r')) {
                line.pop_back();
            }
            m_socket->consume(end + 1);
            return line;
        }
        if (data.size() > kMaxStatusLine) {
            return Status::corrupt("a reply line longer than " + std::to_string(kMaxStatusLine) +
                                   " bytes");
        }
        if (Status more = m_socket->fill(deadline); !more) {
            return more;
        }
    }
}

// The body of a multi-line reply up to its "." line, with the dot-stuffing
// of lines that start with "." removed; line ends are kept as sent.
Status Pop3Session::readBody(std::string& out, std::size_t maxBytes, const std::string& verb) {
    bool atLineStart = true;
    while (true) {
        const std::string_view data = m_socket->buffered();
        std::size_t used = 0;
        while (used < data.size()) {
            std::string_view rest = data.substr(used);
            if (atLineStart && rest.front() == '.') {
                if (rest.size() < 2 || (rest[1] == '\r' && rest.size() < 3)) {
                    break;  // not yet known whether this is the end
                }
                if (rest[1] == '\n' || (rest[1] == '\r' && rest[2] == '\n')) {
                    m_socket->consume(used + (rest[1] == '\n' ? 2 : 3));
                    return Status::ok();
                }
                ++used;
                atLineStart = false;
                continue;
            }
            const auto end = rest.find('\n');
            const std::size_t take = end == std::string_view::npos ? rest.size() : end + 1;
            if (out.size() + take > maxBytes) {
                return Status::corrupt("the server sent more than " + std::to_string(maxBytes) +
                                       " bytes for \"" + verb + "\"");
            }
            out.append(rest.data(), take);
            used += take;
            atLineStart = end != std::string_view::npos;
        }
        m_socket->consume(used);
        if (Status more = m_socket->fill(deadlineIn(m_limits.stallSeconds)); !more) {
            return more;
        }
    }
}

}  // namespace qf::transport
