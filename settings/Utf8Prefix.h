// Internal to the settings files: cutting UTF-8 text to a number of
// characters, as a fixed buffer of characters would.
#pragma once

#include <cstddef>
#include <string_view>

namespace qf::settings {

// The longest prefix of `utf8` with at most `maxChars` characters. A byte
// that does not continue a sequence starts a character of its own.
inline std::string_view utf8Prefix(std::string_view utf8, std::size_t maxChars) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const bool continuation = (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80;
        if (!continuation && chars++ == maxChars) {
            return utf8.substr(0, i);
        }
    }
    return utf8;
}

}  // namespace qf::settings
