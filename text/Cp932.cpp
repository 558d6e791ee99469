#include "text/Cp932.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace qf::text {

namespace {

// One iconv descriptor per direction and thread, opened on first use: opening
// one costs far more than converting a record's fields.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {
        if (m_cd == reinterpret_cast<iconv_t>(-1)) {
            throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
        }
    }
    ~Converter() { iconv_close(m_cd); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // Converts `input`; on a byte sequence it cannot take, appends
    // `replacement` and skips `skip(rest)` bytes of input.
    template <typename Skip>
    std::string convert(std::string_view input, std::string_view replacement, Skip skip) {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);  // reset shift state
        std::string out;
        out.reserve(input.size() * 3 / 2 + 8);
        char* in = const_cast<char*>(input.data());
        size_t inLeft = input.size();
        char buffer[1024];
        while (inLeft > 0) {
            char* outPtr = buffer;
            size_t outLeft = sizeof buffer;
            size_t rc = iconv(m_cd, &in, &inLeft, &outPtr, &outLeft);
            out.append(buffer, static_cast<size_t>(outPtr - buffer));
            if (rc != static_cast<size_t>(-1)) {
                continue;
            }
            if (errno == E2BIG) {
                continue;
            }
            // EILSEQ (a sequence this code page cannot take) or EINVAL (cut
            // off at the end): replace it and go on with the rest.
            out.append(replacement);
            size_t n = std::min<size_t>(inLeft, skip(std::string_view(in, inLeft)));
            in += n;
            inLeft -= n;
        }
        return out;
    }

private:
    iconv_t m_cd;
};

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

Converter& toCp932Converter() {
    thread_local Converter converter("CP932", "UTF-8");
    return converter;
}

Converter& fromCp932Converter() {
    thread_local Converter converter("UTF-8", "CP932");
    return converter;
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
    return fromCp932Converter().convert(cp932, "\xEF\xBF\xBD", [](std::string_view) { return 1; });
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
