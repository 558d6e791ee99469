// A small owner of an iconv descriptor that converts whole texts and puts a
// replacement where the input cannot be converted, instead of failing. Every
// charset conversion of the program goes through it.
#pragma once

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>

namespace qf::text {

class IconvConverter {
  public:
    // iconv_open(to, from); check isOpen() before use.
    IconvConverter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~IconvConverter() {
        if (isOpen()) {
            iconv_close(m_cd);
        }
    }
    IconvConverter(const IconvConverter&) = delete;
    IconvConverter& operator=(const IconvConverter&) = delete;

    bool isOpen() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t descriptor() const { return m_cd; }

    // Converts `input`. Where a byte sequence cannot be taken (or is cut off
    // at the end), appends `replacement` and skips `skip(rest)` bytes, at
    // least one. REQUIRES: isOpen().
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
            if (rc != static_cast<size_t>(-1) || errno == E2BIG) {
                continue;
            }
            out.append(replacement);
            size_t n = std::clamp<size_t>(skip(std::string_view(in, inLeft)), 1, inLeft);
            in += n;
            inLeft -= n;
        }
        return out;
    }

  private:
    iconv_t m_cd;
};

// Skips one byte: for decoders, so that a stray byte does not swallow the
// character after it.
inline size_t skipOneByte(std::string_view) {
    return 1;
}

}  // namespace qf::text
