#include "transport/Pop3Lines.h"

#include <glib.h>

#include <algorithm>
#include <charconv>

namespace qf::transport::pop3 {

bool hasLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::string printableLine(std::string_view line) {
    std::string shown(line.substr(0, 1000));
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = '?';
        }
    }
    return shown;
}

std::string verbOf(const std::string& line) {
    return line.substr(0, line.find(' '));
}

namespace {

// Calls `take(number, rest)` for each "n rest" line of a listing reply
// (LIST, UIDL); other lines are skipped.
template <typename Take>
void forEachNumberedLine(std::string_view listing, Take take) {
    while (!listing.empty()) {
        const auto end = listing.find('\n');
        std::string_view line = listing.substr(0, end);
        listing = end == std::string_view::npos ? std::string_view() : listing.substr(end + 1);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        int number = 0;
        const char* lineEnd = line.data() + line.size();
        auto parsed = std::from_chars(line.data(), lineEnd, number);
        if (parsed.ec != std::errc() || parsed.ptr == lineEnd || *parsed.ptr != ' ') {
            continue;
        }
        take(number, std::string_view(parsed.ptr + 1, lineEnd));
    }
}

}  // namespace

std::map<int, long> parseListing(std::string_view listing) {
    std::map<int, long> sizes;
    forEachNumberedLine(listing, [&](int number, std::string_view rest) {
        long bytes = 0;
        if (std::from_chars(rest.data(), rest.data() + rest.size(), bytes).ec == std::errc()) {
            sizes[number] = bytes;
        }
    });
    return sizes;
}

std::map<int, std::string> parseUniqueIds(std::string_view listing) {
    std::map<int, std::string> ids;
    forEachNumberedLine(listing, [&](int number, std::string_view id) {
        const bool printable =
            std::all_of(id.begin(), id.end(), [](char c) { return c > ' ' && c <= '~'; });
        if (!id.empty() && id.size() <= 70 && printable) {
            ids[number] = std::string(id);
        }
    });
    return ids;
}

std::optional<std::string_view> capabilityArguments(std::string_view capabilities,
                                                    std::string_view name) {
    std::size_t start = 0;
    while (start < capabilities.size()) {
        const auto end = capabilities.find('\n', start);
        std::string_view line = capabilities.substr(start, end - start);
        start = end == std::string_view::npos ? capabilities.size() : end + 1;
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        const std::string_view word = line.substr(0, line.find(' '));
        if (word.size() == name.size() &&
            g_ascii_strncasecmp(word.data(), name.data(), name.size()) == 0) {
            return word.size() < line.size() ? line.substr(word.size() + 1) : std::string_view();
        }
    }
    return std::nullopt;
}

bool listsCapability(std::string_view capabilities, std::string_view name) {
    return capabilityArguments(capabilities, name).has_value();
}

bool listsWord(std::optional<std::string_view> arguments, std::string_view word) {
    std::string_view rest = arguments.value_or(std::string_view());
    while (!rest.empty()) {
        const std::string_view item = rest.substr(0, rest.find(' '));
        if (item.size() == word.size() &&
            g_ascii_strncasecmp(item.data(), word.data(), word.size()) == 0) {
            return true;
        }
        rest.remove_prefix(std::min(rest.size(), item.size() + 1));
    }
    return false;
}

}  // namespace qf::transport::pop3
