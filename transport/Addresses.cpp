#include "transport/Addresses.h"

#include <algorithm>

#include "text/Cp932.h"
#include "text/FixedField.h"
#include "text/Utf8.h"
#include "transport/AddressTokens.h"
#include "transport/CharsetConversion.h"
#include "transport/GMimeSupport.h"
#include "transport/HeaderWords.h"

namespace qf::transport {

namespace {

using address::Token;
using address::TokenKind;
using address::tokensOf;

// ---- mailboxes from tokens ----

// A display name: its words and quoted strings, decoded.
std::string displayName(const std::vector<Token>& tokens, std::size_t end) {
    std::string phrase;
    for (std::size_t i = 0; i < end; ++i) {
        phrase += tokens[i].kind == TokenKind::kQuoted ? tokens[i].text : tokens[i].raw;
    }
    return std::string(text::stripSpaces(controlsToSpaces(decodeHeaderText(phrase))));
}

// An addr-addressText as written: white space and comments outside quotes are no
// part of it, an obsolete source route ("@a,@b:") is dropped, and 8-bit
// bytes are read as the charset they look like.
std::string addrSpec(std::string_view written) {
    std::string addressText;
    for (const Token& token : tokensOf(written)) {
        if (token.kind != TokenKind::kSpace) {
            addressText += token.raw;
        }
    }
    if (addressText.starts_with('@')) {
        const std::size_t colon = addressText.find(':');
        addressText.erase(0, colon == std::string::npos ? 0 : colon + 1);
    }
    return text::isAscii(addressText) ? addressText : toUtf8(addressText, "");
}

// One element between commas: a name and an address in angle brackets, or bare
// addresses (several when only white space parts them, as readers take them).
// Words around a single address without brackets ("Big Bug bb@bug.com") are
// its display name: such a sender names one address, not three.
void addElement(const std::vector<Token>& tokens, std::vector<Mailbox>& out) {
    const auto angle = std::find_if(tokens.begin(), tokens.end(),
                                    [](const Token& t) { return t.kind == TokenKind::kAngle; });
    if (angle != tokens.end()) {
        const auto end = static_cast<std::size_t>(angle - tokens.begin());
        out.push_back({displayName(tokens, end), addrSpec(angle->text)});
        return;
    }
    // The words that white space parts, each with its tokens.
    std::vector<std::vector<Token>> words(1);
    for (const Token& token : tokens) {
        if (token.kind != TokenKind::kSpace) {
            words.back().push_back(token);
        } else if (!words.back().empty()) {
            words.emplace_back();
        }
    }
    if (words.back().empty()) {
        words.pop_back();
    }
    const auto textOf = [](const std::vector<Token>& word) {
        std::string text;
        for (const Token& token : word) {
            text += token.raw;
        }
        return text;
    };
    // An address is plain words; a quoted "a@b" is a name's text.
    const auto hasAt = [&](const std::vector<Token>& word) {
        return std::all_of(word.begin(), word.end(),
                           [](const Token& t) { return t.kind == TokenKind::kWord; }) &&
               textOf(word).find('@') != std::string::npos;
    };
    const auto address = std::find_if(words.begin(), words.end(), hasAt);
    if (words.size() > 1 && address != words.end() &&
        std::count_if(words.begin(), words.end(), hasAt) == 1) {
        std::vector<Token> name;
        for (auto word = words.begin(); word != words.end(); ++word) {
            if (word != address) {
                name.push_back({TokenKind::kSpace, " ", {}});
                name.insert(name.end(), word->begin(), word->end());
            }
        }
        out.push_back({displayName(name, name.size()), addrSpec(textOf(*address))});
        return;
    }
    for (const std::vector<Token>& word : words) {
        out.push_back({{}, addrSpec(textOf(word))});
    }
}

std::vector<std::string> addressesOf(const std::vector<Mailbox>& mailboxes) {
    std::vector<std::string> addresses;
    for (const Mailbox& mailbox : mailboxes) {
        if (!mailbox.address.empty()) {
            addresses.push_back(mailbox.address);
        }
    }
    return addresses;
}

// RFC 5322 specials and what would make a reader decode or split the name.
bool needsQuoting(std::string_view name) {
    return name.find_first_of("()<>[]:;@\\,.\"") != std::string_view::npos ||
           name.find("=?") != std::string_view::npos;
}

// ---- the plain form every reader agrees on ----
//
// Readers part from RFC 5322 where a text breaks its grammar: a quoted string
// with "@domain" after it inside a display name is an address to some and a
// name to others; an unclosed quote or comment runs to the end for some and
// to the next comma for others. A stored text is kept only when it has none
// of these: each element one bare address, or a display name and one
// address in angle brackets, group names allowed.

bool isPlainWord(const Token& token, bool inPhrase) {
    if (token.kind == TokenKind::kQuoted) {
        return token.closed;
    }
    return token.kind == TokenKind::kWord &&
           token.raw.find_first_of(inPhrase ? "\\>)@[]" : "\\>)") == std::string::npos;
}

bool isPlainPhrasePart(const Token& token) {
    return token.kind == TokenKind::kSpace || isPlainWord(token, true);
}

// A bare address: words and quoted strings with nothing between them.
bool isPlainBareAddress(const std::vector<Token>& tokens) {
    return !tokens.empty() && std::all_of(tokens.begin(), tokens.end(),
                                          [](const Token& t) { return isPlainWord(t, false); });
}

bool isPlainElement(std::vector<Token> element) {
    // Spaces come as one token at most at either end.
    if (!element.empty() && element.back().kind == TokenKind::kSpace) {
        element.pop_back();
    }
    if (!element.empty() && element.front().kind == TokenKind::kSpace) {
        element.erase(element.begin());
    }
    const auto angle = std::find_if(element.begin(), element.end(),
                                    [](const Token& t) { return t.kind == TokenKind::kAngle; });
    if (angle == element.end()) {
        return element.empty() || isPlainBareAddress(element);
    }
    const std::string_view inside = angle->text;
    return std::all_of(element.begin(), angle, isPlainPhrasePart) && angle->closed &&
           angle + 1 == element.end() && (inside.empty() || isPlainBareAddress(tokensOf(inside)));
}

bool isPlainList(std::string_view text) {
    std::vector<Token> element;
    bool inGroup = false;
    for (Token& token : tokensOf(text)) {
        if (!token.closed) {
            return false;
        }
        if (token.kind == TokenKind::kComma || token.kind == TokenKind::kSemicolon) {
            if (!isPlainElement(std::move(element))) {
                return false;
            }
            element.clear();
            inGroup = inGroup && token.kind == TokenKind::kComma;
        } else if (token.kind == TokenKind::kColon) {
            if (inGroup || !std::all_of(element.begin(), element.end(), isPlainPhrasePart)) {
                return false;
            }
            inGroup = true;
            element.clear();
        } else {
            element.push_back(std::move(token));
        }
    }
    return isPlainElement(std::move(element));
}

// ---- the text a received header is stored as ----

// The two characters of the BMP that CP932 writes as ASCII: ¥ (U+00A5) as a
// backslash and ‾ (U+203E) as "~". A backslash born that way would escape
// the quote after it, so each is stored as its full-width form.
std::string withoutAsciiLookalikes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.substr(i, 2) == "\xC2\xA5") {
            out += "\xEF\xBF\xA5";  // ￥
            ++i;
        } else if (text.substr(i, 3) == "\xE2\x80\xBE") {
            out += "\xEF\xBF\xA3";  // ￣
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Whether a reader of `text` finds exactly `addresses`, in order: both our
// readers, and any reader that keeps to the grammar, since the text is plain.
bool readsAsExactly(const std::string& text, const std::vector<std::string>& addresses) {
    return isPlainList(text) && addressesOf(parseMailboxList(text)) == addresses &&
           addressesOf(parseReceivedAddresses(text)) == addresses;
}

// A mailbox whose address cannot be stored as it is: its text as a display
// name with no address, so that a reply finds nobody rather than someone else.
std::string withoutAddress(const Mailbox& mailbox) {
    const std::string text = mailbox.name.empty() ? mailbox.address
                             : mailbox.address.empty()
                                 ? mailbox.name
                                 : mailbox.name + " <" + mailbox.address + ">";
    return quotedString(asStoredText(controlsToSpaces(text))) + " <>";
}

// The mailboxes written out again. One whose address does not come back
// whole from CP932, or reads as something else, loses its address; so does
// a word without "@" unless `wordsWithoutAt` (no reply can go to it, and
// some readers join a lone quoted word to the name after it).
struct WrittenOut {
    std::string text;
    std::vector<std::string> kept;  // the addresses it still holds
};

WrittenOut writtenOut(const std::vector<Mailbox>& senders, bool wordsWithoutAt) {
    WrittenOut out;
    for (const Mailbox& sender : senders) {
        if (sender.address.empty()) {
            continue;
        }
        const std::string text =
            formatMailbox({asStoredText(controlsToSpaces(sender.name)), sender.address});
        const bool whole = (wordsWithoutAt || sender.address.find('@') != std::string::npos) &&
                           asStoredText(controlsToSpaces(text)) == text &&
                           readsAsExactly(text, {sender.address});
        out.text += (out.text.empty() ? "" : ", ") + (whole ? text : withoutAddress(sender));
        if (whole) {
            out.kept.push_back(sender.address);
        }
    }
    return out;
}

}  // namespace

std::string asStoredText(std::string_view utf8) {
    return text::fromCp932(text::toCp932(withoutAsciiLookalikes(utf8)));
}

std::string controlsToSpaces(std::string_view text) {
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto byte = static_cast<unsigned char>(out[i]);
        if (byte < 0x20 || byte == 0x7F) {
            out[i] = ' ';
        } else if (byte == 0xC2 && i + 1 < out.size() &&
                   static_cast<unsigned char>(out[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(out[i + 1]) <= 0x9F) {
            out.replace(i, 2, " ");  // a C1 control (U+0080 to U+009F)
        }
    }
    return out;
}

std::vector<Mailbox> parseReceivedAddresses(std::string_view rawValue) {
    std::vector<Mailbox> mailboxes;
    std::vector<Token> element;
    auto finish = [&] {
        addElement(element, mailboxes);
        element.clear();
    };
    for (Token& token : tokensOf(rawValue)) {
        switch (token.kind) {
            case TokenKind::kComma:
            case TokenKind::kSemicolon:
                finish();
                break;
            case TokenKind::kColon:
                element.clear();  // a group's name; its members follow
                break;
            default:
                element.push_back(std::move(token));
        }
    }
    finish();
    return mailboxes;
}

std::vector<Mailbox> parseMailboxList(std::string_view text) {
    ensureGMimeInitialized();
    std::vector<Mailbox> mailboxes;
    const std::string terminated(text);
    InternetAddressList* list = internet_address_list_parse(nullptr, terminated.c_str());
    if (!list) {
        return mailboxes;
    }
    auto add = [&](InternetAddress* address) {
        if (!INTERNET_ADDRESS_IS_MAILBOX(address)) {
            return;
        }
        const char* bare = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
        const char* name = internet_address_get_name(address);
        if (bare && *bare) {
            mailboxes.push_back({name ? name : "", bare});
        }
    };
    for (int i = 0; i < internet_address_list_length(list); ++i) {
        InternetAddress* address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            InternetAddressList* members =
                internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address));
            for (int k = 0; members && k < internet_address_list_length(members); ++k) {
                add(internet_address_list_get_address(members, k));
            }
        } else {
            add(address);
        }
    }
    g_object_unref(list);
    return mailboxes;
}

std::string formatMailbox(const Mailbox& mailbox) {
    if (mailbox.name.empty()) {
        return mailbox.address;
    }
    const std::string name = needsQuoting(mailbox.name) ? quotedString(mailbox.name) : mailbox.name;
    return name + " <" + mailbox.address + ">";
}

std::string decodeAddressHeader(std::string_view rawValue) {
    const std::vector<Mailbox> senders = parseReceivedAddresses(rawValue);
    // What was always stored, as long as it reads back right once in CP932.
    std::string decoded = asStoredText(controlsToSpaces(decodeHeaderText(rawValue)));
    if (readsAsExactly(decoded, addressesOf(senders))) {
        return decoded;
    }
    WrittenOut out = writtenOut(senders, true);
    if (!readsAsExactly(out.text, out.kept)) {
        out = writtenOut(senders, false);
    }
    return readsAsExactly(out.text, out.kept) ? out.text : withoutAddress({out.text, {}});
}

std::string quotedString(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

}  // namespace qf::transport
