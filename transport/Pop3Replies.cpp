// The POP3 session's wire: commands queued and flushed in the pipelining
// window, the replies read back in order (status lines, multi-line bodies
// with their dot-stuffing removed), and the closing burst of DELEs and QUIT.
#include <algorithm>

#include "transport/Pop3Lines.h"
#include "transport/Pop3Session.h"

namespace qf::transport {

namespace {

// A status line (greeting, "+OK …", "-ERR …"): 512 bytes by the standard.
constexpr std::size_t kMaxStatusLine = 8 * 1024;
// What a mail's buffer reserves before its bytes arrive: a lying LIST
// cannot make the session allocate more than this ahead of the data.
constexpr std::size_t kMaxReserve = 64 * 1024 * 1024;

using pop3::printableLine;
using pop3::verbOf;

}  // namespace

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

bool Pop3Session::windowHalfEmpty() const {
    if (!m_pipelining) {
        return m_inFlight.empty();
    }
    return m_inFlight.size() <= kWindowCommands / 2 && m_inFlightBytes <= kWindowBytes / 2;
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
        const std::string refusal = printableLine(line);
        return Status::refused(refusal).withOutsideText(refusal);
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

Status Pop3Session::close() {
    if (m_failed) {
        return Status::cancelled("the session ended early; no mail was deleted");
    }
    releaseRetrieved();
    if (Status drained = drainReplies(); !drained) {
        return drained;
    }
    const auto send = [this](const std::string& line) {
        // Without PIPELINING the window holds one command. A full one is
        // read until half of it is free, and the next half goes out in one
        // write.
        if (!windowHasRoom()) {
            while (!windowHalfEmpty()) {
                if (Result<std::string> reply = awaitReply(); !reply) {
                    return fail(reply.status());
                }
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

}  // namespace qf::transport
