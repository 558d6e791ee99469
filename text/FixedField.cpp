#include "text/FixedField.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "text/Cp932.h"

namespace qf::text {

// By hand, not with find_first_not_of and find_last_not_of: those look each
// byte up in `characters` with a call of its own.
std::string_view stripCharacters(std::string_view text, std::string_view characters) {
    const auto stripped = [characters](char c) {
        return std::any_of(characters.begin(), characters.end(), [c](char s) { return s == c; });
    };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (end > begin && stripped(text[end - 1])) {
        --end;
    }
    while (begin < end && stripped(text[begin])) {
        ++begin;
    }
    return text.substr(begin, end - begin);
}

namespace {

constexpr std::uint64_t kEightSpaces = 0x2020202020202020ULL;

bool eightSpacesAt(std::string_view text, std::size_t at) {
    std::uint64_t word = 0;
    std::memcpy(&word, text.data() + at, sizeof word);
    return word == kEightSpaces;
}

}  // namespace

// Every record read trims the padding of a 32000-byte body field, so the
// padding is passed eight bytes at a time.
std::size_t lengthWithoutTrailingSpaces(std::string_view text, std::size_t from) {
    std::size_t end = text.size();
    while (end >= from + 8 && eightSpacesAt(text, end - 8)) {
        end -= 8;
    }
    while (end > from && text[end - 1] == ' ') {
        --end;
    }
    return end;
}

std::string_view stripSpaces(std::string_view text) {
    std::size_t begin = 0;
    while (begin + 8 <= text.size() && eightSpacesAt(text, begin)) {
        begin += 8;
    }
    while (begin < text.size() && text[begin] == ' ') {
        ++begin;
    }
    return text.substr(begin, lengthWithoutTrailingSpaces(text, begin) - begin);
}

std::string_view cutAtNul(std::string_view text) {
    std::size_t nul = text.find('\0');
    return nul == std::string_view::npos ? text : text.substr(0, nul);
}

void writeField(std::span<char> field, std::string_view utf8) {
    writeCp932Field(field, toCp932(stripSpaces(utf8)));
}

// A 0x20 byte is always a space in CP932 (never half of a character), so
// stripping the bytes is stripping the text.
void writeCp932Field(std::span<char> field, std::string_view cp932) {
    const std::string_view bytes = stripSpaces(cp932);
    std::size_t length = cp932PrefixLength(bytes, field.size());
    std::copy_n(bytes.begin(), length, field.begin());
    std::fill(field.begin() + static_cast<std::ptrdiff_t>(length), field.end(), ' ');
}

// The padding is stripped before decoding (0x20 is never half of a CP932
// character): a body field is mostly padding.
std::string readField(std::span<const char> field) {
    std::string_view bytes(field.data(), field.size());
    return fromCp932(stripSpaces(bytes));
}

std::string readListField(std::span<const char> field) {
    std::string_view bytes(field.data(), field.size());
    return std::string(stripSpaces(fromCp932(cutAtNul(bytes))));
}

}  // namespace qf::text
