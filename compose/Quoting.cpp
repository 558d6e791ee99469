#include "compose/Quoting.h"

#include <array>
#include <charconv>
#include <sstream>

#include "text/FixedField.h"
#include "text/Utf8.h"
#include "transport/Addresses.h"
#include "words/Words.h"

namespace qf::compose {
namespace {

constexpr std::string_view kQuoteMark = "> ";
constexpr std::string_view kSignatureSeparator = "-- ";

// The lines of `text`; CR LF, LF and a lone CR each end one.
std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
}

std::string_view withoutTrailingSpaces(std::string_view text) {
    const std::size_t last = text.find_last_not_of(' ');
    return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

// 1-based month of an English month abbreviation; 0 when none.
int monthNumber(std::string_view name) {
    static constexpr std::array<std::string_view, 12> kMonths = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (std::size_t i = 0; i < kMonths.size(); ++i) {
        if (name == kMonths[i]) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

bool readNumber(std::string_view text, int& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// "YYYY年M月D日 H:MM" from "[Day,] D Mon YYYY H:MM[:SS] [zone]"; empty when
// the text does not read so.
std::string japaneseDate(std::string_view date) {
    std::string words(date);
    if (const std::size_t comma = words.find(','); comma != std::string::npos) {
        words.erase(0, comma + 1);
    }
    std::istringstream in(words);
    std::string dayText, monthText, yearText, timeText;
    in >> dayText >> monthText >> yearText >> timeText;
    int day = 0, year = 0, hour = 0, minute = 0;
    const int month = monthNumber(monthText);
    const std::size_t colon = timeText.find(':');
    if (month == 0 || !readNumber(dayText, day) || !readNumber(yearText, year) ||
        colon == std::string::npos || timeText.size() < colon + 3 ||
        !readNumber(std::string_view(timeText).substr(0, colon), hour) ||
        !readNumber(std::string_view(timeText).substr(colon + 1, 2), minute) || day < 1 ||
        day > 31 || year < 1000 || year > 9999 || hour > 23 || minute > 59 || hour < 0 ||
        minute < 0) {
        return {};
    }
    std::string clock =
        std::to_string(hour) + ":" + (minute < 10 ? "0" : "") + std::to_string(minute);
    // The date as Japanese writes it: a format, not a sentence of the word list.
    return std::to_string(year) + "年" + std::to_string(month) + "月" + std::to_string(day) +
           "日 " + clock;
}

std::string senderName(std::string_view sender) {
    const std::vector<transport::Mailbox> mailboxes = transport::parseMailboxList(sender);
    if (mailboxes.empty()) {
        return std::string(text::stripSpaces(sender));
    }
    const transport::Mailbox& first = mailboxes.front();
    return first.name.empty() ? first.address : first.name;
}

}  // namespace

int columnsOf(char32_t c) {
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) ||
                      (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
                      (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
                      (c >= 0x20000 && c <= 0x3FFFD);
    return wide ? 2 : 1;
}

int displayColumns(std::string_view utf8) {
    int columns = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        const text::Utf8Character character = text::utf8CharacterAt(utf8, i);
        columns += columnsOf(character.codePoint);
        i += character.length;
    }
    return columns;
}

std::vector<std::string> wrapToColumns(std::string_view line, int maxColumns) {
    std::vector<std::string> pieces;
    while (displayColumns(line) > maxColumns) {
        std::size_t cut = 0;        // bytes that fit
        std::size_t lastSpace = 0;  // bytes up to and including the last space that fits
        int columns = 0;
        for (std::size_t i = 0; i < line.size();) {
            const text::Utf8Character character = text::utf8CharacterAt(line, i);
            columns += columnsOf(character.codePoint);
            if (columns > maxColumns) {
                break;
            }
            i += character.length;
            cut = i;
            if (character.codePoint == ' ') {
                lastSpace = i;
            }
        }
        // A character wider than the whole room still goes, alone.
        const std::size_t end = lastSpace > 0 ? lastSpace : std::max<std::size_t>(cut, 1);
        pieces.emplace_back(withoutTrailingSpaces(line.substr(0, end)));
        line.remove_prefix(end);
    }
    pieces.emplace_back(line);
    return pieces;
}

std::string quotedText(std::string_view received, int columns) {
    const int room = columns - static_cast<int>(kQuoteMark.size());
    // Line breaks at the end would only add empty quoted lines.
    received = received.substr(0, received.find_last_not_of("\r\n") + 1);
    std::string out;
    for (std::string_view line : linesOf(received)) {
        for (const std::string& piece : wrapToColumns(withoutTrailingSpaces(line), room)) {
            out += withoutTrailingSpaces(std::string(kQuoteMark) + piece);
            out += '\n';
        }
    }
    if (!out.empty()) {
        out.pop_back();
    }
    return out;
}

std::string attributionLine(std::string_view date, std::string_view sender) {
    const std::string cleanDate = std::string(text::stripSpaces(transport::controlsToSpaces(date)));
    std::string when = japaneseDate(cleanDate);
    if (when.empty()) {
        when = cleanDate;
    }
    const std::string name = transport::controlsToSpaces(senderName(sender));
    return when.empty() ? ui::words(ui::Say::kQuoteAttributionUndated, {name})
                        : ui::words(ui::Say::kQuoteAttribution, {when, name});
}

std::string signatureBlock(std::string_view signature) {
    if (signature.empty()) {
        return {};
    }
    return std::string(kSignatureSeparator) + "\n" + std::string(signature);
}

std::string withSignature(std::string_view text, std::string_view signature) {
    if (signature.empty()) {
        return std::string(text);
    }
    return std::string(text) + "\n\n" + signatureBlock(signature);
}

std::string receivedText(const ReceivedMail& received, bool quote) {
    const std::string body(text::stripSpaces(received.body));
    return quote ? attributionLine(received.date, received.sender) + "\n" + quotedText(body) : body;
}

std::string replyBody(const ReceivedMail& received, std::string_view signature, bool quote) {
    const std::string receivedPart = receivedText(received, quote);
    if (signature.empty() && !quote) {
        return receivedPart;
    }
    return withSignature("", signature) + "\n\n" + receivedPart;
}

}  // namespace qf::compose
