// Counting and cutting UTF-8 text by whole characters, for fields and
// buffers whose limit is given in characters or in bytes. Bytes that do not
// form a valid sequence count as one character each, so no cut ever fails.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace qf::text {

inline bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Appends the UTF-8 form of a code point. REQUIRES: cp is at most 0x10FFFF.
inline void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

inline bool isUtf8ContinuationByte(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The length of the character starting at `i`: its lead byte and the
// continuation bytes the lead announces, or 1 for a byte that starts no
// complete sequence. REQUIRES: i < text.size().
inline std::size_t utf8CharacterLength(std::string_view text, std::size_t i) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const std::size_t n = lead < 0x80           ? 1
                          : (lead >> 5) == 0x6  ? 2
                          : (lead >> 4) == 0xE  ? 3
                          : (lead >> 3) == 0x1E ? 4
                                                : 1;
    for (std::size_t k = 1; k < n; ++k) {
        if (i + k >= text.size() || !isUtf8ContinuationByte(text[i + k])) {
            return 1;
        }
    }
    return n;
}

// The number of characters of `utf8`.
inline std::size_t utf8CharacterCount(std::string_view utf8) {
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return !isUtf8ContinuationByte(c); }));
}

// The longest prefix of `utf8` with at most `maxChars` characters.
inline std::string_view utf8PrefixOfCharacters(std::string_view utf8, std::size_t maxChars) {
    std::size_t end = 0;
    for (std::size_t taken = 0; end < utf8.size() && taken < maxChars; ++taken) {
        ++end;  // the lead byte, then its continuation bytes
        while (end < utf8.size() && isUtf8ContinuationByte(utf8[end])) {
            ++end;
        }
    }
    return utf8.substr(0, end);
}

// The longest prefix of `utf8` of at most `maxBytes` that ends on a
// character boundary.
inline std::string_view utf8PrefixOfBytes(std::string_view utf8, std::size_t maxBytes) {
    std::size_t end = 0;
    while (end < utf8.size()) {
        const std::size_t n = utf8CharacterLength(utf8, end);
        if (end + n > maxBytes) {
            break;
        }
        end += n;
    }
    return utf8.substr(0, end);
}

// True when every sequence of `bytes` is well-formed UTF-8: no overlong
// form, no surrogate, nothing above U+10FFFF, nothing cut short.
inline bool isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
            high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (i + length > bytes.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto byte = static_cast<unsigned char>(bytes[i + k]);
            if (byte < (k == 1 ? low : 0x80) || byte > (k == 1 ? high : 0xBF)) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

}  // namespace qf::text
