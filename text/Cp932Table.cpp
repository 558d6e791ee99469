#include "text/Cp932Table.h"

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

#include "text/Cp932.h"
#include "text/Utf8.h"

namespace qf::text {

namespace {

// A table entry that is no character, and one the library must be asked for
// each time (it maps to more than one code point).
constexpr char32_t kNoCharacter = 0xFFFFFFFF;
constexpr char32_t kAskLibrary = 0xFFFFFFFE;

// m_encoding: 0 not asked yet, kUnmappable "?", 0x100 + b the single byte b,
// otherwise lead << 8 | trail (a lead byte is at least 0x81).
constexpr std::uint16_t kNotAsked = 0;
constexpr std::uint16_t kUnmappable = 0xFFFF;
constexpr std::uint16_t kSingleByte = 0x100;

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

constexpr std::size_t kLeadCount = 60;

// The code point of a well-formed, shortest-form sequence of 2 or 3 bytes (a
// BMP character other than a surrogate) starting at `i`, with its length;
// 0 length for anything else.
std::pair<char32_t, std::size_t> bmpCharacterAt(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char lead = byte(0);
    if (lead >= 0xC2 && lead <= 0xDF && i + 1 < s.size() && (byte(1) & 0xC0) == 0x80) {
        return {static_cast<char32_t>(((lead & 0x1F) << 6) | (byte(1) & 0x3F)), 2};
    }
    if ((lead & 0xF0) == 0xE0 && i + 2 < s.size() && (byte(1) & 0xC0) == 0x80 &&
        (byte(2) & 0xC0) == 0x80) {
        const char32_t cp = ((lead & 0x0F) << 12) | ((byte(1) & 0x3F) << 6) | (byte(2) & 0x3F);
        if (cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF)) {
            return {cp, 3};
        }
    }
    return {0, 0};
}

// What the table keeps for the library's answer `utf8`: its one BMP code
// point; kAskLibrary when it holds another number of characters (the
// library is asked again at the time); kNoCharacter for empty text.
char32_t tableEntry(std::string_view utf8) {
    if (utf8.empty()) {
        return kNoCharacter;
    }
    const std::optional<char32_t> cp = soleCodePoint(utf8);
    return cp && *cp <= 0xFFFF ? *cp : kAskLibrary;
}

// Converts `entries`, each ended by "\n", with one iconv call where it can,
// and returns each entry's output; an entry the library refuses gives empty
// output. Empty when the answers cannot be told apart.
std::vector<std::string> convertEntries(iconv_t cd, const std::string& entries, std::size_t count) {
    std::string out;
    out.reserve(entries.size() * 2);
    char* in = const_cast<char*>(entries.data());
    std::size_t inLeft = entries.size();
    char buffer[4096];
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (rc != static_cast<std::size_t>(-1) || errno == E2BIG) {
            continue;
        }
        // The refused entry gives nothing; go on after its "\n".
        const void* end = std::memchr(in, '\n', inLeft);
        if (end == nullptr) {
            return {};
        }
        const std::size_t skipped = static_cast<const char*>(end) - in + 1;
        in += skipped;
        inLeft -= skipped;
        out += '\n';
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    std::vector<std::string> answers;
    answers.reserve(count);
    std::size_t start = 0;
    for (std::size_t nl = out.find('\n'); nl != std::string::npos; nl = out.find('\n', start)) {
        answers.push_back(out.substr(start, nl - start));
        start = nl + 1;
    }
    if (answers.size() != count || start != out.size()) {
        return {};
    }
    return answers;
}

// The packed UTF-8 of a character (its bytes from the lowest up, the count on
// top) written in one store where the byte order allows; the fourth byte
// lands in the buffer's slack and is overwritten by the next character.
void putPacked(char* at, std::uint32_t packed) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(at, &packed, sizeof packed);
    } else {
        at[0] = static_cast<char>(packed & 0xFF);
        at[1] = static_cast<char>((packed >> 8) & 0xFF);
        at[2] = static_cast<char>((packed >> 16) & 0xFF);
    }
}

}  // namespace

Cp932Table* Cp932Table::forThisThread() {
    thread_local std::unique_ptr<Cp932Table> table = [] {
        std::unique_ptr<Cp932Table> built(new Cp932Table());
        return built->m_built ? std::move(built) : nullptr;
    }();
    return table.get();
}

Cp932Table::Cp932Table() {
    m_built = m_toUtf8.isOpen() && m_toCp932.isOpen() && build();
}

bool Cp932Table::build() {
    // Single bytes, asked one at a time ("\n" among them).
    m_single.assign(256, kNoCharacter);
    for (unsigned b = 0; b < 256; ++b) {
        if (!isCp932LeadByte(static_cast<unsigned char>(b))) {
            const char byte = static_cast<char>(b);
            bool refused = false;
            std::string utf8 = m_toUtf8.convert(std::string_view(&byte, 1), "", [&](auto) {
                refused = true;
                return std::size_t{1};
            });
            m_single[b] = refused ? kNoCharacter : tableEntry(utf8);
        }
    }
    // Pairs: every lead byte with every trail byte CP932 can have, in one
    // call. A trail byte below 0x40 is never part of a character.
    std::string entries;
    std::size_t count = 0;
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!isCp932LeadByte(static_cast<unsigned char>(lead))) {
            continue;
        }
        for (unsigned trail = 0x40; trail <= 0xFF; ++trail) {
            entries += static_cast<char>(lead);
            entries += static_cast<char>(trail);
            entries += '\n';
            ++count;
        }
    }
    const std::vector<std::string> answers = convertEntries(m_toUtf8.descriptor(), entries, count);
    if (answers.size() != count) {
        return false;
    }
    m_pair.assign(kLeadCount * 256, kNoCharacter);
    std::size_t k = 0;
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!isCp932LeadByte(static_cast<unsigned char>(lead))) {
            continue;
        }
        for (unsigned trail = 0x40; trail <= 0xFF; ++trail, ++k) {
            m_pair[cp932LeadRow(static_cast<unsigned char>(lead)) * 256 + trail] =
                tableEntry(answers[k]);
        }
    }
    learnEncodings();
    return true;
}

// Asks the library, in one call, how it writes every BMP character that some
// CP932 byte sequence decodes to; where several sequences decode to one
// character (the NEC and IBM duplicates) the library's choice is taken.
void Cp932Table::learnEncodings() {
    m_encoding.assign(0x10000, kNotAsked);
    std::vector<char32_t> characters;
    std::vector<bool> seen(0x10000, false);
    auto collect = [&](char32_t cp) {
        if (cp < 0x10000 && cp != '\n' && !seen[cp]) {
            seen[cp] = true;
            characters.push_back(cp);
        }
    };
    for (char32_t cp : m_single) {
        collect(cp);
    }
    for (char32_t cp : m_pair) {
        collect(cp);
    }
    std::string entries;
    for (char32_t cp : characters) {
        appendUtf8(entries, cp);
        entries += '\n';
    }
    const std::vector<std::string> answers =
        convertEntries(m_toCp932.descriptor(), entries, characters.size());
    for (std::size_t i = 0; i < answers.size(); ++i) {
        const std::string& bytes = answers[i];
        const auto first = bytes.empty() ? 0u : static_cast<unsigned char>(bytes[0]);
        if (bytes.size() == 1) {
            m_encoding[characters[i]] = static_cast<std::uint16_t>(kSingleByte + first);
        } else if (bytes.size() == 2 && isCp932LeadByte(static_cast<unsigned char>(first))) {
            m_encoding[characters[i]] =
                static_cast<std::uint16_t>((first << 8) | static_cast<unsigned char>(bytes[1]));
        }
        // Anything else stays "not asked": the library is asked each time.
    }
}

// The library's bytes for one BMP character, asked on first need and kept.
std::uint16_t Cp932Table::encodingOf(char32_t codePoint) {
    std::uint16_t& code = m_encoding[codePoint];
    if (code != kNotAsked) {
        return code;
    }
    std::string utf8;
    appendUtf8(utf8, codePoint);
    bool refused = false;
    const std::string bytes = m_toCp932.convert(utf8, "", [&](auto) {
        refused = true;
        return std::size_t{1};
    });
    if (refused || bytes.empty()) {
        code = kUnmappable;
    } else if (bytes.size() == 1) {
        code = static_cast<std::uint16_t>(kSingleByte + static_cast<unsigned char>(bytes[0]));
    } else if (bytes.size() == 2 && isCp932LeadByte(static_cast<unsigned char>(bytes[0]))) {
        code = static_cast<std::uint16_t>((static_cast<unsigned char>(bytes[0]) << 8) |
                                          static_cast<unsigned char>(bytes[1]));
    } else {
        return kNotAsked;  // a shape the table cannot hold
    }
    return code;
}

void Cp932Table::appendEncoding(std::string& out, std::uint16_t code) const {
    if (code < 0x200) {
        out += static_cast<char>(code - kSingleByte);
    } else {
        out += static_cast<char>(code >> 8);
        out += static_cast<char>(code & 0xFF);
    }
}

std::pair<char32_t, std::size_t> Cp932Table::characterAt(std::string_view cp932,
                                                         std::size_t i) const {
    const auto b = static_cast<unsigned char>(cp932[i]);
    if (!isCp932LeadByte(b)) {
        return {m_single[b], 1};
    }
    if (i + 1 < cp932.size()) {
        const char32_t cp =
            m_pair[cp932LeadRow(b) * 256 + static_cast<unsigned char>(cp932[i + 1])];
        return {cp, cp == kNoCharacter ? 1 : 2};
    }
    return {kNoCharacter, 1};
}

namespace {

// Up to three UTF-8 bytes in the low bytes of the answer, their count in the
// high one; 0 for what the table does not settle (asked of the library,
// undecodable, beyond three bytes).
std::uint32_t packedUtf8(char32_t cp, char32_t askLibrary, char32_t noCharacter) {
    if (cp == askLibrary || cp == noCharacter || cp >= 0x10000) {
        return 0;
    }
    char bytes[4] = {};
    const char* end = putUtf8(bytes, cp);
    std::uint32_t packed = 0;
    for (const char* at = end; at-- > bytes;) {
        packed = (packed << 8) | static_cast<unsigned char>(*at);
    }
    return packed | (static_cast<std::uint32_t>(end - bytes) << 24);
}

}  // namespace

void Cp932Table::learnUtf8() {
    m_singleUtf8.resize(256);
    for (unsigned b = 0; b < 256; ++b) {
        m_singleUtf8[b] = isCp932LeadByte(static_cast<unsigned char>(b))
                              ? 0
                              : packedUtf8(m_single[b], kAskLibrary, kNoCharacter);
    }
    m_pairUtf8.resize(m_pair.size());
    for (std::size_t k = 0; k < m_pair.size(); ++k) {
        m_pairUtf8[k] = packedUtf8(m_pair[k], kAskLibrary, kNoCharacter);
    }
}

std::size_t Cp932Table::decodeOne(std::string_view cp932, std::size_t i, std::string& out,
                                  std::size_t& used) {
    const auto [cp, length] = characterAt(cp932, i);
    std::string asked;
    if (cp == kAskLibrary) {
        asked = m_toUtf8.convert(cp932.substr(i, length), kReplacementCharacter, skipOneByte);
    } else if (cp == kNoCharacter) {
        asked = kReplacementCharacter;  // the byte alone is skipped
    } else {
        char bytes[4] = {};
        asked.assign(bytes, putUtf8(bytes, cp));
    }
    out.resize(out.size() + asked.size());
    used += asked.copy(out.data() + used, asked.size());
    return length;
}

// A table lookup and one store per character, into a buffer sized for the
// longest answer (three UTF-8 bytes for each CP932 byte, and the slack of a
// store): a record's body is 32,000 bytes.
std::string Cp932Table::decode(std::string_view cp932) {
    if (m_pairUtf8.empty()) {
        learnUtf8();
    }
    constexpr std::size_t kMostPerByte = 3;
    std::string out(cp932.size() * kMostPerByte + 4, '\0');
    const auto* const in = reinterpret_cast<const unsigned char*>(cp932.data());
    std::size_t used = 0;
    for (std::size_t i = 0; i < cp932.size();) {
        const bool pair = isCp932LeadByte(in[i]) && i + 1 < cp932.size();
        const std::uint32_t packed = pair ? m_pairUtf8[cp932LeadRow(in[i]) * 256 + in[i + 1]]
                                          : (isCp932LeadByte(in[i]) ? 0 : m_singleUtf8[in[i]]);
        if (packed == 0) {
            i += decodeOne(cp932, i, out, used);
            continue;
        }
        putPacked(out.data() + used, packed);
        used += packed >> 24;
        i += pair ? 2 : 1;
    }
    out.resize(used);
    return out;
}

// The canonical code of every single byte and every pair, where a lookup
// settles it without growing the text; kNotAsked where it does not.
void Cp932Table::learnCanonicalCodes() {
    const auto codeFor = [this](char32_t cp, bool singleByte) {
        const std::uint16_t code = cp < m_encoding.size() ? encodingOf(cp) : kNotAsked;
        const bool grows = singleByte && code >= 0x200 && code != kUnmappable;
        return grows ? kNotAsked : code;
    };
    m_canonicalSingle.resize(256);
    for (unsigned b = 0; b < 256; ++b) {
        m_canonicalSingle[b] =
            isCp932LeadByte(static_cast<unsigned char>(b)) ? kNotAsked : codeFor(m_single[b], true);
    }
    m_canonicalPair.resize(m_pair.size());
    for (std::size_t k = 0; k < m_pair.size(); ++k) {
        m_canonicalPair[k] = codeFor(m_pair[k], false);
    }
}

const std::uint16_t* Cp932Table::canonicalPairCodes() {
    if (m_canonicalPair.empty()) {
        learnCanonicalCodes();
    }
    return m_canonicalPair.data();
}

const std::uint16_t* Cp932Table::canonicalSingleCodes() {
    if (m_canonicalPair.empty()) {
        learnCanonicalCodes();
    }
    return m_canonicalSingle.data();
}

std::string Cp932Table::canonical(std::string_view cp932) {
    if (m_canonicalPair.empty()) {
        learnCanonicalCodes();
    }
    // Written in place: a looked-up character is never longer than it was.
    // Plain pointers, so that the writes are not taken to alias the tables.
    std::string out(cp932.size(), '\0');
    const std::uint16_t* const singles = m_canonicalSingle.data();
    const std::uint16_t* const pairs = m_canonicalPair.data();
    const auto* const in = reinterpret_cast<const unsigned char*>(cp932.data());
    const std::size_t size = cp932.size();
    char* to = out.data();
    std::size_t o = 0;
    for (std::size_t i = 0; i < size;) {
        const unsigned char b = in[i];
        std::size_t length = 1;
        std::uint16_t code = kNotAsked;
        if (!isCp932LeadByte(b)) {
            code = singles[b];
        } else if (i + 1 < size) {
            code = pairs[cp932LeadRow(b) * 256 + in[i + 1]];
            length = 2;
        }
        if (code == kUnmappable) {
            to[o++] = '?';
        } else if (code >= 0x200) {
            to[o++] = static_cast<char>(code >> 8);
            to[o++] = static_cast<char>(code & 0xFF);
        } else if (code != kNotAsked) {
            to[o++] = static_cast<char>(code - kSingleByte);
        } else {
            // What a lookup does not settle goes the long way, this character alone.
            length = characterAt(cp932, i).second;
            out.resize(o);
            out += encode(decode(cp932.substr(i, length)));
            o = out.size();
            out.resize(o + size - i - length);
            to = out.data();
        }
        i += length;
    }
    out.resize(o);
    return out;
}

std::string Cp932Table::encode(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        auto [cp, length] =
            lead < 0x80 ? std::pair<char32_t, std::size_t>{lead, 1} : bmpCharacterAt(utf8, i);
        const std::uint16_t code = length != 0 ? encodingOf(cp) : kNotAsked;
        if (code == kUnmappable) {
            out += '?';
            i += length;
        } else if (code != kNotAsked) {
            appendEncoding(out, code);
            i += length;
        } else {
            // Broken UTF-8, a character beyond the BMP or a shape the table
            // does not hold: the library decides, on this sequence alone.
            const std::size_t n = utf8CharacterLength(utf8, i);
            out += m_toCp932.convert(utf8.substr(i, n), "?", [&](std::string_view rest) {
                return utf8CharacterLength(rest, 0);
            });
            i += n;
        }
    }
    return out;
}

}  // namespace qf::text
