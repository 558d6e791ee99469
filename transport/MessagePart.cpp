#include "transport/MessagePart.h"

#include <optional>
#include <string>

#include "text/LineBreaks.h"

namespace qf::transport {
namespace {

constexpr std::size_t kMaxLineBytes = 998;

// The mail with LF line ends, as GMime reads it; nullopt when it is not
// 7bit: a line is too long, or a byte (above 0x7F, NUL, a CR outside CR LF)
// needs an 8-bit or binary transport.
std::optional<std::string> unixLines(std::string_view original) {
    std::string lines;
    lines.reserve(original.size());
    std::size_t lineBytes = 0;
    for (std::size_t i = 0; i < original.size(); ++i) {
        const char c = original[i];
        if (c == '\0' || static_cast<unsigned char>(c) >= 0x80 ||
            (c == '\r' && (i + 1 == original.size() || original[i + 1] != '\n'))) {
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

// The part keeps the LF copy GMime reads the message from alive.
const std::string& keptBy(GMimeObject* part, std::string lfLines) {
    auto* kept = new std::string(std::move(lfLines));
    g_object_set_data_full(G_OBJECT(part), "qf-forwarded-bytes", kept,
                           [](gpointer bytes) { delete static_cast<std::string*>(bytes); });
    return *kept;
}

}  // namespace

GObjectPtr<GMimeObject> messagePart(std::string_view original) {
    ensureGMimeInitialized();
    std::optional<std::string> lines = unixLines(original);
    if (!lines || lines->empty()) {
        return nullptr;
    }
    GObjectPtr<GMimeObject> part(GMIME_OBJECT(g_mime_message_part_new("rfc822")));
    const std::string& kept = keptBy(part.get(), std::move(*lines));
    GObjectPtr<GMimeMessage> message = parseMessage(kept);
    if (!message) {
        return nullptr;
    }
    // What GMime would write must be the mail as it came: a mail GMime reads
    // otherwise (a header it folds again, a part it cuts) goes as data, so
    // the recipient always gets the bytes that arrived.
    if (serializeWithCrLf(GMIME_OBJECT(message.get())) != text::withCrLf(kept)) {
        return nullptr;
    }
    g_mime_message_part_set_message(GMIME_MESSAGE_PART(part.get()), message.get());
    g_mime_object_set_header(part.get(), "Content-Transfer-Encoding", "7bit", nullptr);
    return part;
}

}  // namespace qf::transport
