#include "transport/HeaderWords.h"

#include <cctype>
#include <optional>

#include "text/HeaderEncoding.h"
#include "text/JapaneseBytes.h"
#include "text/Utf8.h"
#include "transport/CharsetConversion.h"
#include "transport/Iso2022Jp.h"

namespace qf::transport {

namespace {

struct EncodedWord {
    std::string charset;  // without an RFC 2231 language suffix
    std::string bytes;    // transfer-decoded
    std::size_t length;   // of the whole =?...?= token
};

std::optional<EncodedWord> parseEncodedWord(std::string_view text) {
    if (text.substr(0, 2) != "=?") {
        return std::nullopt;
    }
    std::size_t q1 = text.find('?', 2);
    if (q1 == std::string_view::npos || q1 + 2 >= text.size() || text[q1 + 2] != '?') {
        return std::nullopt;
    }
    char encoding = static_cast<char>(std::toupper(static_cast<unsigned char>(text[q1 + 1])));
    std::size_t end = text.find("?=", q1 + 3);
    if ((encoding != 'B' && encoding != 'Q') || end == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view charset = text.substr(2, q1 - 2);
    charset = charset.substr(0, charset.find('*'));
    std::string_view payload = text.substr(q1 + 3, end - q1 - 3);
    if (charset.empty() || charset.find_first_of(" \t") != std::string_view::npos) {
        return std::nullopt;
    }
    if (encoding == 'Q' && !payload.empty() && payload.back() == '=') {
        // A bare "=" that ends the text escapes nothing: encoders that cut a
        // word leave it as a soft break, as in quoted-printable.
        payload.remove_suffix(1);
    }
    std::string bytes =
        encoding == 'B' ? text::base64Decode(payload) : text::decodeHexEscapes(payload, '=', true);
    return EncodedWord{std::string(charset), std::move(bytes), end + 2};
}

// Literal text of a header: ASCII as is, raw 8-bit bytes by their guessed charset.
std::string decodeLiteral(std::string_view bytes) {
    return text::isAscii(bytes) && !text::hasJisEscape(bytes) ? std::string(bytes)
                                                              : toUtf8(bytes, "");
}

}  // namespace

std::string unfoldHeaderValue(std::string_view raw) {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' || raw[i] == '\n') {
            continue;  // folding: the white space after the line break stays
        }
        out += raw[i];
    }
    std::size_t first = out.find_first_not_of(" \t");
    std::size_t last = out.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : out.substr(first, last - first + 1);
}

std::string decodeHeaderText(std::string_view rawValue) {
    std::string text = unfoldHeaderValue(rawValue);
    std::string out;
    std::string literal;       // pending raw text
    std::string wordCharset;   // charset of the pending encoded-word bytes
    std::string wordBytes;     // joined bytes of adjacent words
    std::string pendingSpace;  // white space between two words, dropped if another word follows
    auto flushWords = [&] {
        if (!wordCharset.empty()) {
            out += toUtf8(wordBytes, wordCharset);
            wordCharset.clear();
            wordBytes.clear();
        }
    };
    auto flushLiteral = [&] {
        out += decodeLiteral(literal);
        literal.clear();
    };
    for (std::size_t i = 0; i < text.size();) {
        auto word = parseEncodedWord(std::string_view(text).substr(i));
        if (word) {
            if (!literal.empty() || wordCharset.empty() ||
                text::asciiLowerCase(wordCharset) != text::asciiLowerCase(word->charset)) {
                flushWords();
                flushLiteral();
            }
            pendingSpace.clear();
            if (wordCharset.empty()) {
                wordCharset = word->charset;
            }
            wordBytes += word->bytes;
            i += word->length;
            continue;
        }
        if ((text[i] == ' ' || text[i] == '\t') && !wordCharset.empty() && literal.empty()) {
            pendingSpace += text[i++];
            continue;
        }
        if (!wordCharset.empty()) {
            flushWords();
            literal += pendingSpace;
            pendingSpace.clear();
        }
        literal += text[i++];
    }
    flushWords();
    flushLiteral();
    return out;
}

std::string encodeHeaderText(std::string_view utf8, std::size_t firstLineUsed) {
    if (text::isAscii(utf8)) {
        return std::string(utf8);
    }
    if (utf8ToIso2022Jp(utf8)) {
        // Each word's text fits as well, being a part of the whole.
        auto toJis = [](std::string_view chunk) { return *utf8ToIso2022Jp(chunk); };
        return text::encodeHeaderWords(utf8, "ISO-2022-JP", toJis, firstLineUsed, "\r\n ");
    }
    auto asIs = [](std::string_view chunk) { return std::string(chunk); };
    return text::encodeHeaderWords(utf8, "UTF-8", asIs, firstLineUsed, "\r\n ");
}

}  // namespace qf::transport
