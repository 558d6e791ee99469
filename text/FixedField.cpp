#include "text/FixedField.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "text/Cp932.h"

namespace qf::text {

std::string_view stripCharacters(std::string_view text, std::string_view characters) {
    const std::size_t begin = text.find_first_not_of(characters);
    if (begin == std::string_view::npos) {
        return {};
    }
    const std::size_t end = text.find_last_not_of(characters);
    return text.substr(begin, end - begin + 1);
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
std::string_view stripSpaces(std::string_view text) {
    std::size_t begin = 0;
    while (begin + 8 <= text.size() && eightSpacesAt(text, begin)) {
        begin += 8;
    }
    while (begin < text.size() && text[begin] == ' ') {
        ++begin;
    }
    std::size_t end = text.size();
    while (end >= begin + 8 && eightSpacesAt(text, end - 8)) {
        end -= 8;
    }
    while (end > begin && text[end - 1] == ' ') {
        --end;
    }
    return text.substr(begin, end - begin);
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

std::string readField(std::span<const char> field) {
    std::string_view bytes(field.data(), field.size());
    return std::string(stripSpaces(fromCp932(bytes)));
}

std::string readListField(std::span<const char> field) {
    std::string_view bytes(field.data(), field.size());
    return std::string(stripSpaces(fromCp932(cutAtNul(bytes))));
}

}  // namespace qf::text
