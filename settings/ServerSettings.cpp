#include "settings/ServerSettings.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "base/DurableWrite.h"
#include "text/Cp932.h"
#include "text/Utf8.h"

namespace qf::settings {

namespace {

constexpr std::string_view kSmtpKey = "SMTP=";
constexpr std::string_view kPop3Key = "POP3=";
constexpr std::string_view kMailKey = "MAIL=";
constexpr std::string_view kApopKey = "APOP=";
constexpr std::string_view kKeepKey = "KEEP=";
constexpr std::string_view kKeepDaysKey = "KEEPDAYS=";
constexpr std::string_view kCheckKey = "CHECK=";
constexpr std::string_view kNameKey = "NAME=";
constexpr std::string_view kSignatureKey = "SIG=";
constexpr std::string_view kQuoteKey = "QUOTE=";
constexpr std::size_t kSignatureLineMaxChars = 500;

// The leading decimal number of `text` (optional sign, digits), 0 when there
// is none, held within the 16-bit range of the APOP choice.
int leadingSmallInteger(std::string_view text) {
    constexpr long long kMin = std::numeric_limits<std::int16_t>::min();
    constexpr long long kMax = std::numeric_limits<std::int16_t>::max();
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        // Stop growing once past the range; the sign decides the end taken.
        if (value <= kMax + 1) {
            value = value * 10 + (text[i] - '0');
        }
    }
    value = negative ? -value : value;
    return static_cast<int>(value < kMin ? kMin : value > kMax ? kMax : value);
}

// Splits at CR LF, LF or a lone CR and calls `onLine` with each line.
template <typename OnLine>
void forEachLine(std::string_view bytes, OnLine onLine) {
    while (!bytes.empty()) {
        std::size_t end = bytes.find_first_of("\r\n");
        if (end == std::string_view::npos) {
            onLine(bytes);
            return;
        }
        onLine(bytes.substr(0, end));
        std::size_t next = end + 1;
        if (bytes[end] == '\r' && next < bytes.size() && bytes[next] == '\n') {
            ++next;
        }
        bytes.remove_prefix(next);
    }
}

std::string cutValue(std::string_view utf8Value) {
    return std::string(text::utf8PrefixOfCharacters(utf8Value, kServerValueMaxChars));
}

void applyLine(std::string_view cp932Line, ServerSettings& settings,
               std::vector<std::string>& signatureLines) {
    // The keys are ASCII, so a line starts with one only when its first
    // characters are the key's; a double-byte start never matches.
    const auto valueAfter = [cp932Line](std::string_view key) {
        return cutValue(text::fromCp932(cp932Line.substr(key.size())));
    };
    if (cp932Line.starts_with(kSmtpKey)) {
        settings.smtp = valueAfter(kSmtpKey);
    } else if (cp932Line.starts_with(kPop3Key)) {
        settings.pop3 = valueAfter(kPop3Key);
    } else if (cp932Line.starts_with(kMailKey)) {
        settings.mail = valueAfter(kMailKey);
    } else if (cp932Line.starts_with(kApopKey)) {
        settings.apop = leadingSmallInteger(valueAfter(kApopKey));
    } else if (cp932Line.starts_with(kCheckKey)) {
        settings.checkMinutes =
            std::clamp(leadingSmallInteger(valueAfter(kCheckKey)), 0, kMaxCheckMinutes);
    } else if (cp932Line.starts_with(kKeepKey)) {
        settings.keepOnServer = leadingSmallInteger(valueAfter(kKeepKey)) != 0;
    } else if (cp932Line.starts_with(kKeepDaysKey)) {
        settings.keepDays = std::max(0, leadingSmallInteger(valueAfter(kKeepDaysKey)));
    } else if (cp932Line.starts_with(kNameKey)) {
        settings.senderName = valueAfter(kNameKey);
    } else if (cp932Line.starts_with(kSignatureKey)) {
        signatureLines.emplace_back(text::utf8PrefixOfCharacters(
            text::fromCp932(cp932Line.substr(kSignatureKey.size())), kSignatureLineMaxChars));
    } else if (cp932Line.starts_with(kQuoteKey)) {
        settings.quoteReplies = leadingSmallInteger(valueAfter(kQuoteKey)) != 0;
    }
}

bool holdsLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

ServerSettings parseServerSettings(std::string_view cp932Bytes) {
    ServerSettings settings;
    std::vector<std::string> signatureLines;
    forEachLine(cp932Bytes,
                [&](std::string_view line) { applyLine(line, settings, signatureLines); });
    for (const std::string& line : signatureLines) {
        if (&line != &signatureLines.front()) {
            settings.signature += '\n';
        }
        settings.signature += line;
    }
    return settings;
}

ServerSettings readServerSettings(const std::filesystem::path& file) {
    Result<std::string> bytes = base::readWholeFile(file.string());
    return bytes ? parseServerSettings(bytes.value()) : ServerSettings{};
}

std::string formatServerSettings(const ServerSettings& settings) {
    std::string out;
    auto line = [&out](std::string_view key, std::string_view utf8Value) {
        out.append(key);
        out.append(text::toCp932(utf8Value));
        out.append("\r\n");
    };
    line(kSmtpKey, settings.smtp);
    line(kPop3Key, settings.pop3);
    line(kMailKey, settings.mail);
    line(kApopKey, std::to_string(settings.apop));
    if (settings.checkMinutes > 0) {
        line(kCheckKey, std::to_string(settings.checkMinutes));
    }
    if (settings.keepOnServer) {
        line(kKeepKey, "1");
    }
    if (settings.keepDays > 0) {
        line(kKeepDaysKey, std::to_string(settings.keepDays));
    }
    if (!settings.senderName.empty()) {
        line(kNameKey, settings.senderName);
    }
    if (!settings.signature.empty()) {
        forEachLine(settings.signature,
                    [&](std::string_view signatureLine) { line(kSignatureKey, signatureLine); });
    }
    if (settings.quoteReplies) {
        line(kQuoteKey, "1");
    }
    return out;
}

Status writeServerSettings(const std::filesystem::path& file, const ServerSettings& settings,
                           base::FileSystem& fs) {
    for (const std::string* value :
         {&settings.smtp, &settings.pop3, &settings.mail, &settings.senderName}) {
        if (holdsLineBreak(*value)) {
            return Status::invalidArgument("a server setting holds a line break");
        }
    }
    return base::replaceFileDurably(file.string(), formatServerSettings(settings), {}, fs);
}

}  // namespace qf::settings
