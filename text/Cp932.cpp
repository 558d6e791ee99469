#include "text/Cp932.h"

#include <algorithm>
#include <stdexcept>

#include "text/Iconv.h"

namespace qf::text {

namespace {

size_t utf8SequenceLength(std::string_view rest) {
    unsigned char b = static_cast<unsigned char>(rest[0]);
    size_t n = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 1;
    // A broken sequence is skipped one byte at a time.
    for (size_t i = 1; i < n; ++i) {
        if (i >= rest.size() || (static_cast<unsigned char>(rest[i]) & 0xC0) != 0x80) {
            return 1;
        }
    }
    return n;
}

// One descriptor per direction and thread, opened on first use: opening one
// costs far more than converting a record's fields.
IconvConverter& openedConverter(const char* to, const char* from, IconvConverter& converter) {
    if (!converter.isOpen()) {
        throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
    return converter;
}

IconvConverter& toCp932Converter() {
    thread_local IconvConverter converter("CP932", "UTF-8");
    return openedConverter("CP932", "UTF-8", converter);
}

IconvConverter& fromCp932Converter() {
    thread_local IconvConverter converter("UTF-8", "CP932");
    return openedConverter("UTF-8", "CP932", converter);
}

bool isAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string toCp932(std::string_view utf8) {
    if (isAscii(utf8)) {
        return std::string(utf8);
    }
    return toCp932Converter().convert(utf8, "?", utf8SequenceLength);
}

std::string fromCp932(std::string_view cp932) {
    if (isAscii(cp932)) {
        return std::string(cp932);
    }
    // An undecodable byte is skipped alone, so that a stray lead byte does not
    // swallow the ASCII character after it.
    return fromCp932Converter().convert(cp932, "\xEF\xBF\xBD", skipOneByte);
}

bool isCp932LeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

std::size_t cp932PrefixLength(std::string_view cp932, std::size_t maxBytes) {
    std::size_t i = 0;
    while (i < cp932.size()) {
        std::size_t width = isCp932LeadByte(static_cast<unsigned char>(cp932[i])) ? 2 : 1;
        if (i + width > maxBytes) {
            break;
        }
        i += width;
    }
    return std::min(i, cp932.size());
}

bool fitsCp932(std::string_view utf8) {
    if (isAscii(utf8)) {
        return true;
    }
    bool fits = true;
    toCp932Converter().convert(utf8, "?", [&](std::string_view rest) {
        fits = false;
        return utf8SequenceLength(rest);
    });
    return fits;
}

}  // namespace qf::text
