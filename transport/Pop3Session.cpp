#include "transport/Pop3Session.h"

#include <glib.h>

#include <algorithm>
#include <charconv>

namespace qf::transport {

namespace {

constexpr std::size_t kMaxCapabilities = 64 * 1024;
constexpr std::size_t kMaxListing = 16 * 1024 * 1024;
constexpr std::size_t kNoBody = 0;

// Collects a reply body up to a limit; beyond it the transfer is aborted,
// so an endless line or a mail far larger than announced cannot fill memory.
struct BodySink {
    std::string* out;
    std::size_t maxBytes;
    bool overflowed = false;
};

size_t collectBody(char* data, size_t size, size_t count, void* userData) {
    auto* sink = static_cast<BodySink*>(userData);
    const size_t bytes = size * count;
    if (sink->out->size() + bytes > sink->maxBytes) {
        sink->overflowed = true;
        return 0;
    }
    sink->out->append(data, bytes);
    return bytes;
}

size_t discardBody(char*, size_t size, size_t count, void*) {
    return size * count;
}

// libcurl URL-decodes a custom request, so a literal "%" must be sent as %25.
std::string escapePercent(std::string_view line) {
    std::string escaped;
    escaped.reserve(line.size());
    for (char c : line) {
        if (c == '%') {
            escaped += "%25";
        } else {
            escaped += c;
        }
    }
    return escaped;
}

bool hasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Calls `take(number, rest)` for each "n rest" line of a listing reply
// (LIST, UIDL); other lines are skipped.
template <typename Take>
void forEachNumberedLine(std::string_view listing, Take take) {
    while (!listing.empty()) {
        const auto end = listing.find('\n');
        std::string_view line = listing.substr(0, end);
        listing = end == std::string_view::npos ? std::string_view() : listing.substr(end + 1);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        int number = 0;
        const char* lineEnd = line.data() + line.size();
        auto parsed = std::from_chars(line.data(), lineEnd, number);
        if (parsed.ec != std::errc() || parsed.ptr == lineEnd || *parsed.ptr != ' ')
            continue;
        take(number, std::string_view(parsed.ptr + 1, lineEnd));
    }
}

// "n size" lines of a LIST reply.
std::map<int, long> parseListing(std::string_view listing) {
    std::map<int, long> sizes;
    forEachNumberedLine(listing, [&](int number, std::string_view rest) {
        long bytes = 0;
        if (std::from_chars(rest.data(), rest.data() + rest.size(), bytes).ec == std::errc())
            sizes[number] = bytes;
    });
    return sizes;
}

// "n id" lines of a UIDL reply; an id is 1 to 70 printable characters.
std::map<int, std::string> parseUniqueIds(std::string_view listing) {
    std::map<int, std::string> ids;
    forEachNumberedLine(listing, [&](int number, std::string_view id) {
        const bool printable =
            std::all_of(id.begin(), id.end(), [](char c) { return c > ' ' && c <= '~'; });
        if (!id.empty() && id.size() <= 70 && printable)
            ids[number] = std::string(id);
    });
    return ids;
}

// True when a CAPA reply lists the capability (the first word of a line).
bool listsCapability(std::string_view capabilities, std::string_view name) {
    bool found = false;
    std::size_t start = 0;
    while (!found && start < capabilities.size()) {
        const auto end = capabilities.find('\n', start);
        std::string_view line = capabilities.substr(start, end - start);
        start = end == std::string_view::npos ? capabilities.size() : end + 1;
        const std::string_view word = line.substr(0, line.find_first_of(" \r"));
        found = g_ascii_strncasecmp(word.data(), name.data(), name.size()) == 0 &&
                word.size() == name.size();
    }
    return found;
}

}  // namespace

std::string apopTimestamp(std::string_view greeting) {
    const auto open = greeting.find('<');
    if (open == std::string_view::npos)
        return {};
    const auto close = greeting.find('>', open);
    if (close == std::string_view::npos)
        return {};
    const std::string_view stamp = greeting.substr(open, close - open + 1);
    const auto at = stamp.find('@');
    if (at == std::string_view::npos || at == 1 || at == stamp.size() - 2)
        return {};
    for (char c : stamp) {
        if (c <= ' ' || c > '~')
            return {};
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

Pop3Session::Pop3Session(const ServerAddress& address, const TransferLimits& limits)
    : m_connection(address, limits) {}

Result<std::unique_ptr<Pop3Session>> Pop3Session::connect(const ServerAddress& address,
                                                          const TransferLimits& limits) {
    std::unique_ptr<Pop3Session> session(new Pop3Session(address, limits));
    if (!session->m_connection.valid())
        return Status::ioError("libcurl could not start");
    // No user name is given to libcurl, so its connect phase ends after the
    // greeting and capabilities; the login is ours, on this connection.
    Result<std::string> capabilities = session->command("CAPA", true, kMaxCapabilities);
    if (!capabilities)
        return capabilities.status();
    session->m_connection.allowOneSocketOnly();
    session->m_offersUniqueIds = listsCapability(capabilities.value(), "UIDL");
    return session;
}

Result<int> Pop3Session::login(std::string_view user, std::string_view password, Pop3Login method) {
    if (m_failed)
        return Status::cancelled("the session has already ended");
    if (hasLineBreakOrNul(user) || hasLineBreakOrNul(password)) {
        return Status::invalidArgument("line break in user name or password");
    }
    if (method == Pop3Login::kApop) {
        const std::string timestamp = apopTimestamp(greeting());
        if (timestamp.empty()) {
            return fail(Status::refused("no APOP timestamp in the greeting: " + greeting()));
        }
        Result<std::string> reply = command(
            "APOP " + std::string(user) + " " + apopDigest(timestamp, password), false, kNoBody);
        if (!reply)
            return reply.status();
    } else {
        Result<std::string> reply = command("USER " + std::string(user), false, kNoBody);
        if (!reply)
            return reply.status();
        reply = command("PASS " + std::string(password), false, kNoBody);
        if (!reply)
            return reply.status();
    }
    m_loggedIn = true;
    if (Status listed = loadSizes(); !listed)
        return listed;
    return m_mailCount;
}

Status Pop3Session::loadSizes() {
    Result<std::string> listing = command("LIST", true, kMaxListing);
    if (!listing)
        return listing.status();
    m_listedSizes = parseListing(listing.value());
    m_mailCount = m_listedSizes.empty() ? 0 : m_listedSizes.rbegin()->first;
    return Status::ok();
}

Status Pop3Session::checkMailNumber(int mailNumber) const {
    if (m_failed)
        return Status::cancelled("the session has already ended");
    if (!m_loggedIn)
        return Status::invalidArgument("not logged in");
    if (!m_listedSizes.contains(mailNumber)) {
        return Status::invalidArgument("no mail number " + std::to_string(mailNumber));
    }
    return Status::ok();
}

Result<std::string_view> Pop3Session::retrieve(int mailNumber) {
    if (Status valid = checkMailNumber(mailNumber); !valid)
        return valid;
    if (m_cachedNumber == mailNumber)
        return std::string_view(m_cachedMail);
    // Some slack over the listed size, but never unbounded.
    const auto listed = static_cast<std::size_t>(std::max(0L, m_listedSizes[mailNumber]));
    Result<std::string> mail =
        command("RETR " + std::to_string(mailNumber), true, listed + listed / 2 + 65536);
    if (!mail)
        return mail.status();
    m_cachedNumber = mailNumber;
    m_cachedMail = std::move(mail).value();
    return std::string_view(m_cachedMail);
}

void Pop3Session::releaseRetrieved() {
    m_cachedNumber = 0;
    std::string().swap(m_cachedMail);
}

Result<long> Pop3Session::size(int mailNumber) {
    if (Status valid = checkMailNumber(mailNumber); !valid)
        return valid;
    if (m_cachedNumber == mailNumber)
        return static_cast<long>(m_cachedMail.size());
    return m_listedSizes[mailNumber];
}

Result<std::string> Pop3Session::uniqueId(int mailNumber) {
    if (Status valid = checkMailNumber(mailNumber); !valid)
        return valid;
    if (!m_offersUniqueIds)
        return Status::refused("the server does not offer UIDL");
    if (!m_uniqueIdsLoaded) {
        Result<std::string> listing = command("UIDL", true, kMaxListing);
        if (!listing)
            return listing.status();
        m_uniqueIds = parseUniqueIds(listing.value());
        m_uniqueIdsLoaded = true;
    }
    const auto found = m_uniqueIds.find(mailNumber);
    if (found == m_uniqueIds.end())
        return Status::notFound("the server listed no UIDL for mail " + std::to_string(mailNumber));
    return found->second;
}

Status Pop3Session::markDeleted(int mailNumber) {
    if (Status valid = checkMailNumber(mailNumber); !valid)
        return valid;
    m_marked.insert(mailNumber);
    return Status::ok();
}

Status Pop3Session::close() {
    if (m_failed)
        return Status::cancelled("the session ended early; no mail was deleted");
    for (int mailNumber : m_marked) {
        Result<std::string> reply = command("DELE " + std::to_string(mailNumber), false, kNoBody);
        if (!reply)
            return reply.status();
    }
    m_marked.clear();
    Result<std::string> reply = command("QUIT", false, kNoBody);
    m_failed = true;  // nothing more goes over this connection
    return reply.status();
}

Status Pop3Session::fail(Status status) {
    m_failed = true;
    return status;
}

Result<std::string> Pop3Session::command(const std::string& line, bool multiLine,
                                         std::size_t maxBytes) {
    if (m_failed)
        return Status::cancelled("the session has already ended");
    CURL* curl = m_connection.handle();
    const bool firstRequest = m_connection.socketsOpened() == 0;
    if (!firstRequest) {
        curl_socket_t socket = CURL_SOCKET_BAD;
        curl_easy_getinfo(curl, CURLINFO_ACTIVESOCKET, &socket);
        if (socket == CURL_SOCKET_BAD)
            return fail(Status::ioError("the server closed the connection"));
    }
    std::string body;
    BodySink sink{&body, multiLine ? maxBytes : 0};
    const std::string request = escapePercent(line);
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, request.c_str());
    curl_easy_setopt(curl, CURLOPT_NOBODY, multiLine ? 0L : 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &collectBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    m_connection.beginRequest();
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr);
    // The sink dies with this call; whatever libcurl reads at logout is dropped.
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &discardBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
    long newConnections = 0;
    curl_easy_getinfo(curl, CURLINFO_NUM_CONNECTS, &newConnections);
    if (!firstRequest && newConnections != 0)
        return fail(Status::ioError("the connection to the server was replaced"));
    if (sink.overflowed) {
        return fail(Status::corrupt("the server sent more than " + std::to_string(maxBytes) +
                                    " bytes for \"" + line.substr(0, line.find(' ')) + "\""));
    }
    if (code != CURLE_OK)
        return fail(m_connection.failure(code));
    return body;
}

}  // namespace qf::transport
