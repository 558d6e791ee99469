// Conversion between the program's UTF-8 text and CP932 (Windows Shift-JIS
// with the NEC and IBM extensions), the code page of every file and every
// transport buffer. This is the one place where that conversion happens.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qf::text {

// UTF-8 to CP932. A character CP932 cannot hold becomes "?"; invalid UTF-8
// bytes become "?" too. Never fails.
std::string toCp932(std::string_view utf8);

// CP932 to UTF-8. An invalid or truncated byte sequence becomes U+FFFD; the
// rest of the text is still converted. Never fails.
std::string fromCp932(std::string_view cp932);

// The bytes toCp932(fromCp932(cp932)) gives, without the UTF-8 between:
// where CP932 has two codes for a character (the NEC and IBM duplicates)
// the one toCp932 writes, an undecodable byte as "?". Text that arrives in
// CP932 already is stored the way text converted from UTF-8 would be.
std::string canonicalCp932(std::string_view cp932);

class Cp932Table;

// True when the byte is the first byte of a double-byte CP932 character
// (0x81-0x9F, 0xE0-0xFC).
inline bool isCp932LeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The row of a lead byte in tables of pairs: 0 to 59, in the order above.
inline std::size_t cp932LeadRow(unsigned char lead) {
    return lead <= 0x9F ? lead - 0x81u : lead - 0xE0u + 31u;
}

// canonicalCp932 a character at a time, for a decoder that writes CP932
// itself (ISO-2022-JP's): it then needs no second pass over its text. Where
// an answer is false, or no table is ready (`ready`), the caller runs
// canonicalCp932 over its text after all. `bytes` is the text's length.
class Cp932Canonicalizer {
  public:
    explicit Cp932Canonicalizer(std::size_t bytes);
    bool ready() const { return m_pairs != nullptr; }
    // Writes the canonical form over the two bytes of `pair`; false when
    // that form is not a pair (one byte, "?", or one a table does not hold).
    bool pair(char* pair) const {
        const auto lead = static_cast<unsigned char>(pair[0]);
        if (m_pairs == nullptr || !isCp932LeadByte(lead)) {
            return false;
        }
        const std::uint16_t code =
            m_pairs[cp932LeadRow(lead) * 256 + static_cast<unsigned char>(pair[1])];
        if (code < kFirstPairCode || code == kNoCode) {
            return false;
        }
        pair[0] = static_cast<char>(code >> 8);
        pair[1] = static_cast<char>(code & 0xFF);
        return true;
    }
    // Whether a single byte is canonical as it is.
    bool keeps(unsigned char byte) const {
        return m_singles != nullptr && m_singles[byte] == kSingleCode + byte;
    }

  private:
    // The tables' codes: 0x100 + b the single byte b, a pair's two bytes
    // from 0x200 on, 0xFFFF "?" (and 0 not settled).
    static constexpr std::uint16_t kSingleCode = 0x100;
    static constexpr std::uint16_t kFirstPairCode = 0x200;
    static constexpr std::uint16_t kNoCode = 0xFFFF;
    const std::uint16_t* m_pairs = nullptr;
    const std::uint16_t* m_singles = nullptr;
};

// The length in bytes of the longest prefix of `cp932` that is at most
// `maxBytes` long and does not end inside a double-byte character.
std::size_t cp932PrefixLength(std::string_view cp932, std::size_t maxBytes);

// True when every character of the UTF-8 text can be written in CP932.
bool fitsCp932(std::string_view utf8);

// False when the C library has no CP932 converter. The functions above still
// never fail then, but all they can keep is ASCII: every other character
// becomes its replacement. The programs refuse to start without it, so
// that no mail is stored that way.
bool cp932ConversionAvailable();

}  // namespace qf::text
