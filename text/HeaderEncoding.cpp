#include "text/HeaderEncoding.h"

#include <algorithm>

#include "text/Utf8.h"

namespace qf::text {

namespace {

constexpr std::size_t kMaxWordLength = 75;
constexpr std::size_t kMaxLineLength = 76;

}  // namespace

std::string base64Encode(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    auto byteOrZero = [&](std::size_t i) -> unsigned {
        return i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u;
    };
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const unsigned group = byteOrZero(i) << 16 | byteOrZero(i + 1) << 8 | byteOrZero(i + 2);
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(group >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? kAlphabet[group & 63] : '=';
    }
    return out;
}

namespace {

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    return c == '/' ? 63 : -1;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

}  // namespace

std::string base64Decode(std::string_view text) {
    std::string out;
    unsigned accumulator = 0;
    int bits = 0;
    for (char c : text) {
        const int value = base64Value(c);
        if (value < 0) {
            continue;
        }
        accumulator = (accumulator << 6) | static_cast<unsigned>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((accumulator >> bits) & 0xFF);
        }
    }
    return out;
}

std::string decodeHexEscapes(std::string_view text, char escape, bool underscoreIsSpace) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == escape) {
            const int high = i + 1 < text.size() ? hexValue(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += (underscoreIsSpace && text[i] == '_') ? ' ' : text[i];
    }
    return out;
}

std::string percentEncode(std::string_view bytes, std::string_view unescaped) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || unescaped.find(c) != std::string_view::npos;
        if (plain) {
            out += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

std::string encodeHeaderWords(std::string_view utf8, std::string_view charset,
                              const CharsetEncoder& toCharset, std::size_t firstLineUsed,
                              std::string_view fold) {
    const std::string prefix = "=?" + std::string(charset) + "?B?";
    auto word = [&](std::string_view chunk) {
        return prefix + base64Encode(toCharset(chunk)) + "?=";
    };
    // A long header name leaves too little room: its first word then uses
    // the room of a folded line less a little, rather than none at all.
    std::size_t budget = std::min(
        kMaxWordLength, firstLineUsed < 40 ? kMaxLineLength - firstLineUsed : kMaxLineLength - 40);
    std::string out;
    std::size_t start = 0;
    while (start < utf8.size()) {
        // Grow the word one whole character at a time while it fits; a word
        // holds at least one character.
        std::size_t end = start + utf8CharacterLength(utf8, start);
        while (end < utf8.size()) {
            const std::size_t next = end + utf8CharacterLength(utf8, end);
            if (word(utf8.substr(start, next - start)).size() > budget) {
                break;
            }
            end = next;
        }
        if (!out.empty()) {
            out += fold;
        }
        out += word(utf8.substr(start, end - start));
        start = end;
        budget = kMaxWordLength;
    }
    return out;
}

}  // namespace qf::text
