// Counting and cutting UTF-8 text by whole characters, for fields and
// buffers whose limit is given in characters or in bytes. Bytes that do not
// form a valid sequence count as one character each, so no cut ever fails.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace qf::text {

// The byte at `i` as a number, for comparing with byte ranges.
// REQUIRES: i < text.size().
inline unsigned char byteAt(std::string_view text, std::size_t i) {
    return static_cast<unsigned char>(text[i]);
}

// Eight bytes at a time: each received mail's body is asked, and a body is
// tens of kilobytes.
inline bool isAscii(std::string_view text) {
    constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
    std::size_t i = 0;
    for (; i + sizeof(std::uint64_t) <= text.size(); i += sizeof(std::uint64_t)) {
        std::uint64_t word = 0;
        std::memcpy(&word, text.data() + i, sizeof word);
        if ((word & kHighBits) != 0) {
            return false;
        }
    }
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(i), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// `text` with its ASCII letters in lower case; other bytes as they are.
inline std::string asciiLowerCase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

// The UTF-8 form of a code point into a buffer with room for four bytes;
// returns the end. REQUIRES: cp is at most 0x10FFFF.
inline char* putUtf8(char* out, char32_t cp) {
    if (cp < 0x80) {
        *out++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out++ = static_cast<char>(0xC0 | (cp >> 6));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (cp >> 12));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (cp >> 18));
        *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

// Appends the UTF-8 form of a code point (as putUtf8).
inline void appendUtf8(std::string& out, char32_t cp) {
    char bytes[4] = {};
    out.append(bytes, putUtf8(bytes, cp));
}

inline bool isUtf8ContinuationByte(char byte) {
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The length a lead byte announces: 2 to 4 for a multi-byte lead, 1 for
// anything else (ASCII, a continuation byte, a byte UTF-8 never uses).
inline std::size_t utf8AnnouncedLength(char lead) {
    const auto byte = static_cast<unsigned char>(lead);
    return byte < 0x80           ? 1
           : (byte >> 5) == 0x6  ? 2
           : (byte >> 4) == 0xE  ? 3
           : (byte >> 3) == 0x1E ? 4
                                 : 1;
}

// The length of the character starting at `i`: its lead byte and the
// continuation bytes the lead announces, or 1 for a byte that starts no
// complete sequence. REQUIRES: i < text.size().
inline std::size_t utf8CharacterLength(std::string_view text, std::size_t i) {
    const std::size_t n = utf8AnnouncedLength(text[i]);
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

// The length of the well-formed UTF-8 sequence at `i`, or 0 when none
// starts there: no overlong form, no surrogate, nothing above U+10FFFF,
// nothing cut short. REQUIRES: i < bytes.size().
inline std::size_t validUtf8SequenceLength(std::string_view bytes, std::size_t i) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
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
        return 0;
    }
    if (i + length > bytes.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(bytes[i + k]);
        if (byte < (k == 1 ? low : 0x80) || byte > (k == 1 ? high : 0xBF)) {
            return 0;
        }
    }
    return length;
}

// True when every sequence of `bytes` is well-formed UTF-8.
inline bool isValidUtf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = validUtf8SequenceLength(bytes, i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

// The number of bytes at the end of `bytes` that start a UTF-8 sequence and
// stop short of it: a character cut off where a buffer or a word ended.
inline std::size_t utf8TruncatedTail(std::string_view bytes) {
    for (std::size_t back = 1; back <= 3 && back <= bytes.size(); ++back) {
        const char byte = bytes[bytes.size() - back];
        if (isUtf8ContinuationByte(byte)) {
            continue;  // look further back for the lead
        }
        const std::size_t needed = utf8AnnouncedLength(byte);
        return needed > back ? back : 0;
    }
    return 0;
}

struct Utf8Character {
    char32_t codePoint;
    std::size_t length;  // in bytes
};

// The character at `i` as utf8CharacterLength measures it; a byte that
// starts no complete sequence comes back as itself, one byte long.
// REQUIRES: i < text.size().
inline Utf8Character utf8CharacterAt(std::string_view text, std::size_t i) {
    const std::size_t length = utf8CharacterLength(text, i);
    const auto lead = static_cast<unsigned char>(text[i]);
    if (length == 1) {
        return {lead, 1};
    }
    char32_t codePoint = lead & (0x7Fu >> length);
    for (std::size_t k = 1; k < length; ++k) {
        codePoint = (codePoint << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
    }
    return {codePoint, length};
}

// The code point of `utf8` when it is exactly one well-formed character;
// nothing for empty text, several characters or ill-formed bytes.
inline std::optional<char32_t> soleCodePoint(std::string_view utf8) {
    if (utf8.empty() || validUtf8SequenceLength(utf8, 0) != utf8.size()) {
        return std::nullopt;
    }
    return utf8CharacterAt(utf8, 0).codePoint;
}

}  // namespace qf::text
