#include "text/JapaneseBytes.h"

#include <algorithm>

#include "text/Cp932.h"
#include "text/Utf8.h"

namespace qf::text {

namespace {

bool isEucByte(unsigned char byte) {
    return byte >= 0xA1 && byte <= 0xFE;
}

}  // namespace

bool isShiftJisTrailByte(unsigned char byte) {
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

bool isHalfWidthKanaByte(unsigned char byte) {
    return byte >= 0xA1 && byte <= 0xDF;
}

std::optional<std::size_t> shiftJisHalfWidthKana(std::string_view bytes) {
    std::size_t kana = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char b = byteAt(bytes, i);
        if (b < 0x80) {
            continue;
        }
        if (isHalfWidthKanaByte(b)) {
            ++kana;
            continue;
        }
        if (!isCp932LeadByte(b) || i + 1 >= bytes.size() ||
            !isShiftJisTrailByte(byteAt(bytes, i + 1))) {
            return std::nullopt;
        }
        ++i;
    }
    return kana;
}

bool isValidShiftJis(std::string_view bytes) {
    return shiftJisHalfWidthKana(bytes).has_value();
}

bool isValidEucJp(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char b = byteAt(bytes, i);
        if (b < 0x80) {
            continue;
        }
        const std::size_t trail = b == 0x8F ? 2 : 1;
        if ((b != 0x8E && b != 0x8F && !isEucByte(b)) || i + trail >= bytes.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= trail; ++k) {
            if (!isEucByte(byteAt(bytes, i + k))) {
                return false;
            }
        }
        i += trail;
    }
    return true;
}

bool hasJisEscape(std::string_view bytes) {
    for (std::size_t i = bytes.find('\x1B'); i != std::string_view::npos;
         i = bytes.find('\x1B', i + 1)) {
        const std::string_view next = bytes.substr(i + 1, 2);
        if (next == "$B" || next == "$@" || next == "$A" || next == "$(" || next == "(I" ||
            next == ".A" || next == ".F") {
            return true;
        }
    }
    return false;
}

std::size_t eightBitBytes(std::string_view bytes) {
    return static_cast<std::size_t>(std::count_if(
        bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }));
}

}  // namespace qf::text
