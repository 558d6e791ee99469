// The C library's CP932 mapping read into lookup tables, once per thread, so
// that long texts (mail bodies) convert at the speed of a table lookup rather
// than through iconv's per-character modules. Every entry is asked of the
// library itself, and a character the tables do not settle is handed to the
// library alone, so the results are the library's to the byte; they differ
// from IconvConverter::convert only in speed. Internal to text/.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/Iconv.h"

namespace qf::text {

class Cp932Table {
  public:
    // This thread's tables, built on first use; null when the C library has
    // no CP932 converter or its answers do not fit the tables' shape.
    static Cp932Table* forThisThread();

    // As fromCp932: an undecodable byte becomes U+FFFD and is skipped alone.
    std::string decode(std::string_view cp932);
    // As toCp932: a character CP932 cannot hold, and a broken UTF-8
    // sequence, becomes "?".
    std::string encode(std::string_view utf8);

    // As encode(decode(cp932)), a table lookup per character.
    std::string canonical(std::string_view cp932);
    // The codes canonical() writes for each pair (lead index × 256 + trail)
    // and each single byte: see Cp932Canonicalizer.
    const std::uint16_t* canonicalPairCodes();
    const std::uint16_t* canonicalSingleCodes();

    Cp932Table(const Cp932Table&) = delete;
    Cp932Table& operator=(const Cp932Table&) = delete;

  private:
    Cp932Table();
    bool build();
    void learnEncodings();
    std::uint16_t encodingOf(char32_t codePoint);
    void appendEncoding(std::string& out, std::uint16_t code) const;
    void learnCanonicalCodes();
    void learnUtf8();
    // The slow path of decode for the character at `i`: the library's
    // answer or U+FFFD, appended at `used`; returns the bytes it read.
    std::size_t decodeOne(std::string_view cp932, std::size_t i, std::string& out,
                          std::size_t& used);
    // The code point of the character at `i` and its length in bytes, as
    // decode reads it: kNoCharacter (length 1) for an undecodable byte.
    std::pair<char32_t, std::size_t> characterAt(std::string_view cp932, std::size_t i) const;

    IconvConverter m_toUtf8{"UTF-8", "CP932"};
    IconvConverter m_toCp932{"CP932", "UTF-8"};
    // Code points of the single bytes and of the pairs (60 lead bytes × 256).
    std::vector<char32_t> m_single;
    std::vector<char32_t> m_pair;
    // The library's CP932 bytes for each BMP code point (see encodingOf).
    std::vector<std::uint16_t> m_encoding;
    // The UTF-8 of each single byte and pair, up to three bytes in the low
    // bytes and their count in the high one; 0 where decodeOne decides.
    std::vector<std::uint32_t> m_singleUtf8;
    std::vector<std::uint32_t> m_pairUtf8;
    // What canonical() writes for each single byte and pair (see
    // learnCanonicalCodes), filled on its first call.
    std::vector<std::uint16_t> m_canonicalSingle;
    std::vector<std::uint16_t> m_canonicalPair;
    bool m_built = false;
};

}  // namespace qf::text
