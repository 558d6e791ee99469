// Folding CP932 text for a search that finds what a Japanese reader would
// call the same text, and finding text only where a character starts.
//
// The fold, character by character, always giving CP932 again:
// | text                                   | folds to                     |
// |----------------------------------------|------------------------------|
// | full-width ASCII (ＡＢＣ１２３！), U+3000 | ASCII (abc123!), a space     |
// | ￥ (full-width yen)                     | 0x5C, which CP932 shows as ¥ |
// | half-width katakana, ﾞ ﾟ joined        | full-width (ｶﾞ → ガ, ﾊﾟ → パ) |
// | upper case: ASCII, Greek, Cyrillic,     | lower case                   |
// |   Roman numerals (Ⅲ)                   |                              |
// | NEC and IBM codes of one character (髙) | the code toCp932 writes      |
// | with kana folding: ひらがな              | カタカナ (ゝゞ → ヽヾ)        |
//
// A fold never joins or splits characters other than a half-width kana and
// its sound mark, so a folded match starts where a character of the folded
// text starts; findAligned checks that.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qf::text {

class Cp932Folding {
  public:
    // The folding tables, built once per process (thread-safe) from the C
    // library's CP932 mapping.
    static const Cp932Folding& widthAndCase();
    static const Cp932Folding& widthCaseAndKana();

    // Appends the folded form of `cp932` to `out`.
    void fold(std::string_view cp932, std::string& out) const;
    std::string fold(std::string_view cp932) const;
    // Folds whole characters of `cp932` until at least `minBytes` of it are
    // folded (or all of it), appending to `out`; returns the bytes folded.
    std::size_t foldPrefix(std::string_view cp932, std::size_t minBytes, std::string& out) const;

    // Every CP932 text of one character (or a half-width kana and its sound
    // mark) that folds to `folded`, one character of fold()'s output: what
    // raw text must hold somewhere for a folded match to hold it.
    std::vector<std::string> sourcesOf(std::string_view folded) const;

  private:
    explicit Cp932Folding(bool kana);

    // A folded character: below 0x100 one byte, else lead << 8 | trail.
    using Code = std::uint16_t;
    static void append(std::string& out, Code code);

    std::array<char, 128> m_ascii{};
    std::array<Code, 64> m_halfWidth{};   // 0xA0-0xDF, by byte - 0xA0
    std::array<Code, 64> m_voiced{};      // with ﾞ after it, 0 when none
    std::array<Code, 64> m_semiVoiced{};  // with ﾟ after it, 0 when none
    std::vector<Code> m_pair;             // by lead << 8 | trail
};

// True when `pos` of `cp932` starts a character: not the trail byte of a
// double-byte character. REQUIRES: `cp932` starts with a character.
bool startsCharacter(std::string_view cp932, std::size_t pos);

// The first position from `from` on where `needle` occurs in `haystack`
// starting a character, or npos. REQUIRES: needle is not empty.
std::size_t findAligned(std::string_view haystack, std::string_view needle, std::size_t from = 0);

}  // namespace qf::text
