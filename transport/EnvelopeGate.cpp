#include "transport/EnvelopeGate.h"

#include <algorithm>
#include <cctype>

#include "text/Utf8.h"

namespace qf::transport {

namespace {

// RFC 5321 4.5.3.1: limits of a local part, a domain and a whole path
// ("<" and ">" included in its 256 octets).
constexpr std::size_t kMaxLocalPartBytes = 64;
constexpr std::size_t kMaxDomainBytes = 255;
constexpr std::size_t kMaxAddressBytes = 254;
constexpr std::size_t kMaxLabelBytes = 63;

bool isControl(std::string_view text, std::size_t i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x20 || byte == 0x7F) {
        return true;
    }
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    return byte == 0xC2 && next >= 0x80 && next <= 0x9F;  // U+0080 … U+009F
}

bool hasControl(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isControl(text, i)) {
            return true;
        }
    }
    return false;
}

// Every byte of a valid UTF-8 sequence of two or more bytes; SMTPUTF8 takes
// such characters wherever an ASCII letter may stand.
bool isUtf8Letter(std::string_view text, std::size_t& i) {
    const std::size_t n = text::utf8CharacterLength(text, i);
    if (n < 2) {
        return false;
    }
    i += n - 1;
    return true;
}

bool isAtext(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("!#$%&'*+-/=?^_`{|}~").find(c) != std::string_view::npos;
}

// Dot-string (atoms parted by single dots) or a quoted string of printable
// ASCII and quoted pairs.
bool isLocalPart(std::string_view local) {
    if (local.size() >= 2 && local.front() == '"' && local.back() == '"') {
        for (std::size_t i = 1; i + 1 < local.size(); ++i) {
            if (local[i] == '\\') {
                ++i;
                if (i + 1 >= local.size()) {
                    return false;  // the closing quote was escaped
                }
            } else if (local[i] == '"') {
                return false;
            } else if (static_cast<unsigned char>(local[i]) >= 0x80 && !isUtf8Letter(local, i)) {
                return false;
            }
        }
        return true;
    }
    if (local.empty() || local.front() == '.' || local.back() == '.' ||
        local.find("..") != std::string_view::npos) {
        return false;
    }
    for (std::size_t i = 0; i < local.size(); ++i) {
        const bool ok = local[i] == '.' || isAtext(local[i]) ||
                        (static_cast<unsigned char>(local[i]) >= 0x80 && isUtf8Letter(local, i));
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool isLabel(std::string_view label) {
    if (label.empty() || label.size() > kMaxLabelBytes || label.front() == '-' ||
        label.back() == '-') {
        return false;
    }
    for (std::size_t i = 0; i < label.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(label[i]);
        const bool ok = std::isalnum(c) || c == '-' || (c >= 0x80 && isUtf8Letter(label, i));
        if (!ok) {
            return false;
        }
    }
    return true;
}

// A domain name of labels, or an address literal "[192.0.2.1]" /
// "[IPv6:2001:db8::1]".
bool isDomain(std::string_view domain) {
    if (domain.size() >= 2 && domain.front() == '[' && domain.back() == ']') {
        std::string_view inside = domain.substr(1, domain.size() - 2);
        if (inside.starts_with("IPv6:")) {
            inside.remove_prefix(5);
        }
        return !inside.empty() && std::all_of(inside.begin(), inside.end(), [](char c) {
            return std::isxdigit(static_cast<unsigned char>(c)) || c == '.' || c == ':';
        });
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = domain.find('.', start);
        if (!isLabel(domain.substr(start, dot == std::string_view::npos ? dot : dot - start))) {
            return false;
        }
        if (dot == std::string_view::npos) {
            return true;
        }
        start = dot + 1;
    }
}

}  // namespace

AddressFault envelopeAddressFault(std::string_view address) {
    if (hasControl(address)) {
        return AddressFault::kControlCharacter;
    }
    const std::size_t at = address.rfind('@');
    if (at == std::string_view::npos) {
        return AddressFault::kMalformed;
    }
    const std::string_view local = address.substr(0, at);
    const std::string_view domain = address.substr(at + 1);
    if (address.size() > kMaxAddressBytes || local.size() > kMaxLocalPartBytes ||
        domain.size() > kMaxDomainBytes) {
        return AddressFault::kTooLong;
    }
    return isLocalPart(local) && isDomain(domain) ? AddressFault::kNone : AddressFault::kMalformed;
}

std::optional<EnvelopeRefusal> checkEnvelope(std::string_view sender,
                                             const std::vector<std::string>& recipients) {
    if (!sender.empty()) {
        if (AddressFault fault = envelopeAddressFault(sender); fault != AddressFault::kNone) {
            return EnvelopeRefusal{true, std::string(sender), fault};
        }
    }
    for (const std::string& recipient : recipients) {
        if (AddressFault fault = envelopeAddressFault(recipient); fault != AddressFault::kNone) {
            return EnvelopeRefusal{false, recipient, fault};
        }
    }
    return std::nullopt;
}

std::optional<EnvelopeRefusal> checkAddressTexts(std::string_view sender,
                                                 const std::vector<std::string_view>& recipients) {
    if (hasControl(sender)) {
        return EnvelopeRefusal{true, std::string(sender), AddressFault::kControlCharacter};
    }
    for (std::string_view text : recipients) {
        if (hasControl(text)) {
            return EnvelopeRefusal{false, std::string(text), AddressFault::kControlCharacter};
        }
    }
    return std::nullopt;
}

TransportFault envelopeFault(const EnvelopeRefusal& refusal) {
    switch (refusal.fault) {
        case AddressFault::kControlCharacter:
            return refusal.sender ? TransportFault::kSenderControlCharacter
                                  : TransportFault::kRecipientControlCharacter;
        case AddressFault::kTooLong:
            return refusal.sender ? TransportFault::kSenderTooLong
                                  : TransportFault::kRecipientTooLong;
        default:
            return refusal.sender ? TransportFault::kSenderMalformed
                                  : TransportFault::kRecipientMalformed;
    }
}

std::string printableAddress(std::string_view address, std::size_t maxCharacters) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    std::size_t characters = 0;
    for (std::size_t i = 0; i < address.size(); ++characters) {
        if (characters == maxCharacters) {
            return out + "…";
        }
        if (isControl(address, i)) {
            const auto byte = static_cast<unsigned char>(address[i]);
            const std::size_t length = byte == 0xC2 ? 2 : 1;
            for (std::size_t k = 0; k < length; ++k) {
                const auto b = static_cast<unsigned char>(address[i + k]);
                out += b == '\r'   ? std::string("\\r")
                       : b == '\n' ? std::string("\\n")
                                   : std::string{'\\', 'x', kHex[b >> 4], kHex[b & 0xF]};
            }
            i += length;
            continue;
        }
        const std::size_t length = text::utf8CharacterLength(address, i);
        out.append(address.substr(i, length));
        i += length;
    }
    return out;
}

}  // namespace qf::transport
