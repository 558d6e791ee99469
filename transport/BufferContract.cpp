#include "transport/BufferContract.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cstring>
#include <vector>

#include "text/Cp932.h"
#include "transport/NMail.h"

namespace qf::transport {

namespace {
std::atomic<std::size_t> g_textBufferSize{kDefaultBufferSize};
std::atomic<std::size_t> g_bodyBufferSize{0};
}  // namespace

std::size_t textBufferSize() {
    return g_textBufferSize.load();
}

void setTextBufferSize(std::size_t bytes) {
    g_textBufferSize.store(bytes);
}

std::size_t bodyBufferSize() {
    return g_bodyBufferSize.load();
}

void setBodyBufferSize(std::size_t bytes) {
    g_bodyBufferSize.store(bytes);
}

std::string utf8Argument(const char* cp932) {
    return cp932 ? text::fromCp932(cp932) : std::string();
}

void copyCp932(char* buffer, std::size_t capacity, std::string_view cp932) {
    if (!buffer || capacity == 0) {
        return;
    }
    const std::size_t length = text::cp932PrefixLength(cp932, capacity - 1);
    std::memcpy(buffer, cp932.data(), length);
    buffer[length] = '\0';
}

void copyUtf8(char* buffer, std::size_t capacity, std::string_view utf8) {
    copyCp932(buffer, capacity, text::toCp932(utf8));
}

MailParts splitHeaderAndBody(std::string_view mail) {
    // The header ends at the first empty line (CRLF CRLF, or bare LF LF).
    const auto crlf = mail.find("\r\n\r\n");
    const auto lf = mail.find("\n\n");
    if (crlf == std::string_view::npos && lf == std::string_view::npos) {
        return {mail, {}};
    }
    if (lf < crlf) {
        return {mail.substr(0, lf + 1), mail.substr(lf + 2)};
    }
    return {mail.substr(0, crlf + 2), mail.substr(crlf + 4)};
}

namespace {

// One header field with its continuation lines.
std::vector<std::string_view> splitFields(std::string_view header) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (start < header.size()) {
        std::size_t end = start;
        do {
            const auto lineEnd = header.find('\n', end);
            end = lineEnd == std::string_view::npos ? header.size() : lineEnd + 1;
        } while (end < header.size() && (header[end] == ' ' || header[end] == '\t'));
        fields.push_back(header.substr(start, end - start));
        start = end;
    }
    return fields;
}

bool startsWithNoCase(std::string_view text, std::string_view lowerPrefix) {
    if (text.size() < lowerPrefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != lowerPrefix[i]) {
            return false;
        }
    }
    return true;
}

bool isTraceField(std::string_view field) {
    constexpr std::array<std::string_view, 6> kPrefixes = {
        "received:", "dkim-signature:", "arc-", "x-", "authentication-results:", "received-spf:"};
    return std::any_of(kPrefixes.begin(), kPrefixes.end(),
                       [&](std::string_view prefix) { return startsWithNoCase(field, prefix); });
}

}  // namespace

std::string fitHeader(std::string_view header, std::size_t maxBytes) {
    if (header.size() <= maxBytes) {
        return std::string(header);
    }
    std::string kept;
    for (std::string_view field : splitFields(header)) {
        if (isTraceField(field)) {
            continue;
        }
        if (kept.size() + field.size() > maxBytes) {
            continue;
        }
        kept += field;
    }
    return kept;
}

}  // namespace qf::transport
