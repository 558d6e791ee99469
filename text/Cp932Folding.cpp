#include "text/Cp932Folding.h"

#include <algorithm>
#include <cstring>

#include "text/Cp932.h"
#include "text/Utf8.h"

namespace qf::text {

namespace {

constexpr unsigned char kVoicedMark = 0xDE;      // ﾞ
constexpr unsigned char kSemiVoicedMark = 0xDF;  // ﾟ

bool isTrail(unsigned char byte) {
    return byte >= 0x40 && byte <= 0xFC && byte != 0x7F;
}

// Full-width katakana for the half-width forms U+FF61 (｡) to U+FF9F (ﾟ).
constexpr char16_t kHalfToFullWidth[63] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9,
    0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB,
    0x30AD, 0x30AF, 0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1,
    0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5,
    0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9,
    0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C};

// The voiced (ガ) and semi-voiced (パ) katakana of a full-width katakana, 0
// when it has none that CP932 holds.
char32_t voicedOf(char32_t kana) {
    if (kana == 0x30A6) {
        return 0x30F4;  // ウ → ヴ
    }
    const bool kaToTo = kana >= 0x30AB && kana <= 0x30C8 &&
                        (kana <= 0x30C1 ? (kana - 0x30AB) % 2 == 0 : (kana - 0x30C4) % 2 == 0);
    const bool haToHo = kana >= 0x30CF && kana <= 0x30DB && (kana - 0x30CF) % 3 == 0;
    return kaToTo || haToHo ? kana + 1 : 0;
}

char32_t semiVoicedOf(char32_t kana) {
    return kana >= 0x30CF && kana <= 0x30DB && (kana - 0x30CF) % 3 == 0 ? kana + 2 : 0;
}

char32_t foldCodePoint(char32_t cp, bool kana) {
    if (cp >= 0xFF01 && cp <= 0xFF5E) {
        cp -= 0xFEE0;  // full-width ASCII
    } else if (cp == 0x3000) {
        cp = U' ';
    } else if (cp == 0xFFE5) {
        cp = U'\\';  // ￥: CP932's 0x5C is the yen sign on a Japanese screen
    }
    if ((cp >= U'A' && cp <= U'Z') || (cp >= 0x0391 && cp <= 0x03A9 && cp != 0x03A2) ||
        (cp >= 0x0410 && cp <= 0x042F)) {
        cp += 0x20;
    } else if (cp == 0x0401) {
        cp = 0x0451;  // Ё
    } else if (cp >= 0x2160 && cp <= 0x216F) {
        cp += 0x10;  // Ⅰ → ⅰ
    }
    if (kana && ((cp >= 0x3041 && cp <= 0x3096) || cp == 0x309D || cp == 0x309E)) {
        cp += 0x60;  // ひらがな → カタカナ
    }
    return cp;
}

// The CP932 code of a code point, 0 when CP932 has none.
std::uint16_t codeOf(char32_t cp) {
    std::string utf8;
    appendUtf8(utf8, cp);
    const std::string bytes = toCp932(utf8);
    if (bytes == "?" && cp != U'?') {
        return 0;
    }
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    return bytes.size() == 1 ? byte(0) : static_cast<std::uint16_t>(byte(0) << 8 | byte(1));
}

}  // namespace

const Cp932Folding& Cp932Folding::widthAndCase() {
    static const Cp932Folding folding(false);
    return folding;
}

const Cp932Folding& Cp932Folding::widthCaseAndKana() {
    static const Cp932Folding folding(true);
    return folding;
}

Cp932Folding::Cp932Folding(bool kana) : m_pair(0x10000) {
    for (unsigned b = 0; b < m_ascii.size(); ++b) {
        m_ascii[b] = static_cast<char>(b >= 'A' && b <= 'Z' ? b + 0x20 : b);
    }
    for (unsigned b = 0xA1; b <= 0xDF; ++b) {
        const char32_t full = kHalfToFullWidth[b - 0xA1];
        m_halfWidth[b - 0xA0] = codeOf(foldCodePoint(full, kana));
        const char32_t voiced = voicedOf(full);
        const char32_t semiVoiced = semiVoicedOf(full);
        m_voiced[b - 0xA0] = voiced != 0 ? codeOf(foldCodePoint(voiced, kana)) : 0;
        m_semiVoiced[b - 0xA0] = semiVoiced != 0 ? codeOf(foldCodePoint(semiVoiced, kana)) : 0;
    }
    for (unsigned code = 0; code < m_pair.size(); ++code) {
        m_pair[code] = static_cast<Code>(code);
        const unsigned char lead = static_cast<unsigned char>(code >> 8);
        const unsigned char trail = static_cast<unsigned char>(code & 0xFF);
        if (!isCp932LeadByte(lead) || !isTrail(trail)) {
            continue;
        }
        const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        const char32_t cp = soleCodePoint(fromCp932(std::string_view(bytes, 2))).value_or(0);
        if (cp == 0 || cp == 0xFFFD) {
            continue;  // no character: kept as it is
        }
        if (const Code folded = codeOf(foldCodePoint(cp, kana)); folded != 0) {
            m_pair[code] = folded;
        }
    }
}

void Cp932Folding::append(std::string& out, Code code) {
    if (code < 0x100) {
        out += static_cast<char>(code);
    } else {
        out += static_cast<char>(code >> 8);
        out += static_cast<char>(code & 0xFF);
    }
}

// Writes through a pointer into room for the longest fold (every byte a
// half-width kana that becomes two bytes); plain ASCII goes eight bytes at
// a time.
void Cp932Folding::fold(std::string_view cp932, std::string& out) const {
    foldPrefix(cp932, cp932.size(), out);
}

std::size_t Cp932Folding::foldPrefix(std::string_view cp932, std::size_t minBytes,
                                     std::string& out) const {
    const auto* s = reinterpret_cast<const unsigned char*>(cp932.data());
    const std::size_t n = cp932.size();
    const std::size_t start = out.size();
    // The last step may pass minBytes by up to eight bytes (an ASCII word).
    out.resize(start + 2 * std::min(n, minBytes + 8));
    char* o = out.data() + start;
    const auto put = [&o](Code code) {
        if (code >= 0x100) {
            *o++ = static_cast<char>(code >> 8);
        }
        *o++ = static_cast<char>(code & 0xFF);
    };
    std::size_t i = 0;
    while (i < n && i < minBytes) {
        if (i + 8 <= n) {
            std::uint64_t word;
            std::memcpy(&word, s + i, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                for (int k = 0; k < 8; ++k) {
                    *o++ = m_ascii[s[i + k]];
                }
                i += 8;
                continue;
            }
        }
        const unsigned char b = s[i];
        if (b < 0x80) {
            *o++ = m_ascii[b];
            ++i;
        } else if (isCp932LeadByte(b) && i + 1 < n && isTrail(s[i + 1])) {
            put(m_pair[static_cast<std::size_t>(b << 8 | s[i + 1])]);
            i += 2;
        } else if (b >= 0xA1 && b <= 0xDF) {
            const std::size_t k = b - 0xA0u;
            const unsigned char next = i + 1 < n ? s[i + 1] : 0;
            if (next == kVoicedMark && m_voiced[k] != 0) {
                put(m_voiced[k]);
                i += 2;
            } else if (next == kSemiVoicedMark && m_semiVoiced[k] != 0) {
                put(m_semiVoiced[k]);
                i += 2;
            } else {
                put(m_halfWidth[k]);
                ++i;
            }
        } else {
            *o++ = static_cast<char>(b);  // a byte that is no character stays
            ++i;
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    return i;
}

std::string Cp932Folding::fold(std::string_view cp932) const {
    std::string out;
    out.reserve(cp932.size());
    fold(cp932, out);
    return out;
}

std::vector<std::string> Cp932Folding::sourcesOf(std::string_view folded) const {
    if (folded.empty() || folded.size() > 2) {
        return {};
    }
    const auto byte = [](unsigned value) { return static_cast<char>(value); };
    const Code target = folded.size() == 1
                            ? static_cast<unsigned char>(folded[0])
                            : static_cast<Code>(static_cast<unsigned char>(folded[0]) << 8 |
                                                static_cast<unsigned char>(folded[1]));
    std::vector<std::string> sources;
    for (unsigned b = 0; b < 0x100; ++b) {
        const bool ascii = b < 0x80 && static_cast<unsigned char>(m_ascii[b]) == target;
        const bool halfWidth = b >= 0xA1 && b <= 0xDF && m_halfWidth[b - 0xA0] == target;
        const bool other = b >= 0x80 && !isCp932LeadByte(static_cast<unsigned char>(b)) &&
                           (b < 0xA1 || b > 0xDF) && b == target;
        if (ascii || halfWidth || other) {
            sources.push_back(std::string(1, byte(b)));
        }
        if (b >= 0xA1 && b <= 0xDF && m_voiced[b - 0xA0] == target && target != 0) {
            sources.push_back({byte(b), byte(kVoicedMark)});
        }
        if (b >= 0xA1 && b <= 0xDF && m_semiVoiced[b - 0xA0] == target && target != 0) {
            sources.push_back({byte(b), byte(kSemiVoicedMark)});
        }
    }
    for (unsigned code = 0x8100; code < m_pair.size(); ++code) {
        if (m_pair[code] == target && isCp932LeadByte(static_cast<unsigned char>(code >> 8)) &&
            isTrail(static_cast<unsigned char>(code & 0xFF))) {
            sources.push_back({byte(code >> 8), byte(code & 0xFF)});
        }
    }
    return sources;
}

// After a byte that cannot lead a character, a character starts; from there
// each byte of a run of possible lead bytes pairs with the next, so `pos`
// starts a character when the run before it is of even length. A byte that
// cannot be a trail byte starts a character anyway.
bool startsCharacter(std::string_view cp932, std::size_t pos) {
    if (pos == 0 || pos >= cp932.size() || !isTrail(static_cast<unsigned char>(cp932[pos]))) {
        return true;
    }
    std::size_t run = 0;
    while (run < pos && isCp932LeadByte(static_cast<unsigned char>(cp932[pos - run - 1]))) {
        ++run;
    }
    return run % 2 == 0;
}

std::size_t findAligned(std::string_view haystack, std::string_view needle, std::size_t from) {
    while (from + needle.size() <= haystack.size()) {
        const void* hit =
            ::memmem(haystack.data() + from, haystack.size() - from, needle.data(), needle.size());
        if (hit == nullptr) {
            return std::string_view::npos;
        }
        const auto pos = static_cast<std::size_t>(static_cast<const char*>(hit) - haystack.data());
        if (startsCharacter(haystack, pos)) {
            return pos;
        }
        from = pos + 1;
    }
    return std::string_view::npos;
}

}  // namespace qf::text
