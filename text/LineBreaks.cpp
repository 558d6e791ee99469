#include "text/LineBreaks.h"

#include <cstring>

namespace qf::text {

namespace {

std::size_t find(std::string_view text, char c, std::size_t from) {
    if (from >= text.size()) {
        return std::string_view::npos;
    }
    const void* hit = std::memchr(text.data() + from, c, text.size() - from);
    return hit == nullptr ? std::string_view::npos
                          : static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
}

}  // namespace

void appendWithCrLf(std::string& out, std::string_view text) {
    // The next CR and the next LF are each searched for once, with memchr;
    // only a break that is not already CR LF interrupts the copy.
    std::size_t nextCr = find(text, '\r', 0);
    std::size_t nextLf = find(text, '\n', 0);
    std::size_t copied = 0;  // text before this is in `out`
    while (nextCr != std::string_view::npos || nextLf != std::string_view::npos) {
        if (nextCr != std::string_view::npos && nextLf == nextCr + 1) {
            // Already CR LF: it stays in the run being copied.
            nextCr = find(text, '\r', nextLf + 1);
            nextLf = find(text, '\n', nextLf + 1);
            continue;
        }
        const std::size_t lone = nextCr < nextLf ? nextCr : nextLf;
        out.append(text.substr(copied, lone - copied));
        out.append("\r\n");
        copied = lone + 1;
        if (lone == nextCr) {
            nextCr = find(text, '\r', copied);
        } else {
            nextLf = find(text, '\n', copied);
        }
    }
    out.append(text.substr(copied));
}

std::string withCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32 + 4);
    appendWithCrLf(out, text);
    return out;
}

std::string withLf(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            out += text[i];
            continue;
        }
        out += '\n';
        if (i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
        }
    }
    return out;
}

}  // namespace qf::text
