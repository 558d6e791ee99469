#include "boxtool/TerminalText.h"

namespace qf::boxtool {

std::string terminalText(std::string_view utf8, bool keepLines) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
        if (keepLines && (byte == '\n' || byte == '\t')) {
            out += utf8[i];
        } else if (byte < 0x20 || byte == 0x7F) {
            out += ' ';
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            out += ' ';
            ++i;
        } else {
            out += utf8[i];
        }
    }
    return out;
}

}  // namespace qf::boxtool
