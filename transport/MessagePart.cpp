#include "transport/MessagePart.h"

#include <algorithm>
#include <optional>
#include <string>

namespace qf::transport {
namespace {

constexpr std::size_t kMaxLineBytes = 998;

// The mail with LF line ends, as GMime reads it; nullopt when a line is
// too long for 7bit or 8bit, or a byte (NUL, a CR outside CR LF) makes it
// binary.
std::optional<std::string> unixLines(std::string_view original) {
    std::string lines;
    lines.reserve(original.size());
    std::size_t lineBytes = 0;
    for (std::size_t i = 0; i < original.size(); ++i) {
        const char c = original[i];
        if (c == '\0' || (c == '\r' && (i + 1 == original.size() || original[i + 1] != '\n'))) {
            return std::nullopt;
        }
        if (c == '\r') {
            continue;
        }
        lineBytes = c == '\n' ? 0 : lineBytes + 1;
        if (lineBytes > kMaxLineBytes) {
            return std::nullopt;
        }
        lines += c;
    }
    return lines;
}

std::string crLfLines(std::string_view lfLines) {
    std::string out;
    out.reserve(lfLines.size() + lfLines.size() / 32);
    for (char c : lfLines) {
        if (c == '\n') {
            out += '\r';
        }
        out += c;
    }
    return out;
}

// GMime reads the mail into a message held by the part; the part, not the
// caller, keeps the LF copy alive.
GObjectPtr<GMimeMessage> parsedKeepingBytes(GMimeObject* holder, std::string lfLines) {
    auto* kept = new std::string(std::move(lfLines));
    g_object_set_data_full(G_OBJECT(holder), "qf-forwarded-bytes", kept,
                           [](gpointer bytes) { delete static_cast<std::string*>(bytes); });
    return parseMessage(*kept);
}

}  // namespace

GObjectPtr<GMimeObject> messagePart(std::string_view original) {
    ensureGMimeInitialized();
    std::optional<std::string> lines = unixLines(original);
    if (!lines || lines->empty()) {
        return nullptr;
    }
    const bool sevenBit = std::all_of(lines->begin(), lines->end(),
                                      [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    GObjectPtr<GMimeObject> part(GMIME_OBJECT(g_mime_message_part_new("rfc822")));
    GObjectPtr<GMimeMessage> message = parsedKeepingBytes(part.get(), std::move(*lines));
    if (!message) {
        return nullptr;
    }
    // What GMime would write must be the mail as it came: a mail GMime reads
    // otherwise (a header it folds again, a part it cuts) goes as data, so
    // the recipient always gets the bytes that arrived.
    const std::string* kept = static_cast<const std::string*>(
        g_object_get_data(G_OBJECT(part.get()), "qf-forwarded-bytes"));
    if (serializeWithCrLf(GMIME_OBJECT(message.get())) != crLfLines(*kept)) {
        return nullptr;
    }
    g_mime_message_part_set_message(GMIME_MESSAGE_PART(part.get()), message.get());
    g_mime_object_set_header(part.get(), "Content-Transfer-Encoding", sevenBit ? "7bit" : "8bit",
                             nullptr);
    return part;
}

}  // namespace qf::transport
