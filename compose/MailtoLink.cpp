#include "compose/MailtoLink.h"

#include <optional>

#include "text/FixedField.h"
#include "text/Utf8.h"

namespace qf::compose {
namespace {

constexpr std::string_view kScheme = "mailto:";

bool isControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = lowerAscii(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::vector<std::string_view> splitAt(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

Result<std::string> percentDecoded(std::string_view encoded) {
    std::string decoded;
    decoded.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '%') {
            decoded += encoded[i];
            continue;
        }
        const int high = i + 2 < encoded.size() ? hexValue(encoded[i + 1]) : -1;
        const int low = high >= 0 ? hexValue(encoded[i + 2]) : -1;
        if (low < 0) {
            return Status::invalidArgument("\"%\" not followed by two hex digits");
        }
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    if (!text::isValidUtf8(decoded)) {
        return Status::invalidArgument("not UTF-8");
    }
    return decoded;
}

// Appends the addresses of one decoded list; an address may not carry a
// line break or another control character into the recipient line.
Status appendAddresses(std::string_view encodedList, std::vector<std::string>& addresses) {
    Result<std::string> list = percentDecoded(encodedList);
    if (!list) {
        return list.status();
    }
    for (std::string_view address : splitAt(list.value(), ',')) {
        address = text::stripCharacters(address, " \t");
        for (char c : address) {
            if (isControl(c)) {
                return Status::invalidArgument("control character in an address");
            }
        }
        if (!address.empty()) {
            addresses.emplace_back(address);
        }
    }
    return Status::ok();
}

std::string oneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line) {
        if (isControl(c)) {
            c = ' ';
        }
    }
    return line;
}

// CR LF and a lone CR become "\n"; other controls but the tab are dropped.
std::string bodyText(std::string_view text) {
    std::string body;
    body.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            body += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else if (c == '\n' || c == '\t' || !isControl(c)) {
            body += c;
        }
    }
    return body;
}

// One "name=value" field of the query; the first subject and body win.
Status applyField(std::string_view field, MailtoLink& link, bool& haveSubject, bool& haveBody) {
    const std::size_t equals = field.find('=');
    const std::string_view name = field.substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : field.substr(equals + 1);
    if (equalsIgnoringCase(name, "to")) {
        return appendAddresses(value, link.to);
    }
    if (equalsIgnoringCase(name, "cc")) {
        return appendAddresses(value, link.cc);
    }
    if (equalsIgnoringCase(name, "bcc")) {
        return appendAddresses(value, link.bcc);
    }
    const bool subject = equalsIgnoringCase(name, "subject");
    const bool body = equalsIgnoringCase(name, "body");
    if ((!subject && !body) || (subject && haveSubject) || (body && haveBody)) {
        return Status::ok();
    }
    Result<std::string> text = percentDecoded(value);
    if (!text) {
        return text.status();
    }
    if (subject) {
        link.subject = oneLine(text.value());
        haveSubject = true;
    } else {
        link.body = bodyText(text.value());
        haveBody = true;
    }
    return Status::ok();
}

}  // namespace

std::string joinedAddressLine(const std::vector<std::string>& addresses) {
    std::string line;
    for (const std::string& address : addresses) {
        line += line.empty() ? "" : ", ";
        line += address;
    }
    return line;
}

bool isMailtoLink(std::string_view argument) {
    return argument.size() >= kScheme.size() &&
           equalsIgnoringCase(argument.substr(0, kScheme.size()), kScheme);
}

Result<MailtoLink> parseMailtoLink(std::string_view link) {
    if (!isMailtoLink(link)) {
        return Status::invalidArgument("not a mailto: link");
    }
    if (link.size() > kMailtoLinkMaxBytes) {
        return Status::invalidArgument("link too long");
    }
    link.remove_prefix(kScheme.size());
    // A fragment is no part of a mail.
    link = link.substr(0, link.find('#'));
    const std::size_t question = link.find('?');
    MailtoLink parsed;
    if (Status s = appendAddresses(link.substr(0, question), parsed.to); !s) {
        return s;
    }
    if (question == std::string_view::npos) {
        return parsed;
    }
    bool haveSubject = false;
    bool haveBody = false;
    for (std::string_view field : splitAt(link.substr(question + 1), '&')) {
        if (Status s = applyField(field, parsed, haveSubject, haveBody); !s) {
            return s;
        }
    }
    return parsed;
}

}  // namespace qf::compose
