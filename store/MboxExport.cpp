#include "store/MboxExport.h"

#include <array>
#include <cctype>
#include <ctime>
#include <optional>

#include "store/Originals.h"
#include "text/FixedField.h"
#include "text/HeaderEncoding.h"
#include "text/Utf8.h"

namespace qf::store {

namespace {

// One line of header text: control characters (CR and LF above all) become
// spaces, and a field never written (NUL bytes) ends the text.
std::string headerSafe(std::string_view text) {
    std::string safe(text::stripSpaces(text::cutAtNul(text)));
    for (char& c : safe) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
    return safe;
}

std::optional<std::time_t> parseInternetDate(const std::string& text, bool* isInternetDate) {
    for (const char* format : {"%a, %d %b %Y %H:%M:%S %z", "%d %b %Y %H:%M:%S %z"}) {
        std::tm parts{};
        const char* rest = strptime(text.c_str(), format, &parts);
        if (rest == nullptr) {
            continue;
        }
        while (*rest == ' ') {
            ++rest;
        }
        // A trailing comment such as "(JST)" is allowed.
        if (*rest == '\0' || *rest == '(') {
            *isInternetDate = true;
            const long offsetSeconds = parts.tm_gmtoff;  // timegm() resets it
            return timegm(&parts) - offsetSeconds;
        }
    }
    return std::nullopt;
}

std::optional<std::time_t> parseClockText(const std::string& text) {
    std::tm parts{};
    const char* rest = strptime(text.c_str(), "%Y/%m/%d %H:%M:%S", &parts);
    if (rest == nullptr || *rest != '\0') {
        return std::nullopt;
    }
    parts.tm_isdst = -1;
    std::time_t when = std::mktime(&parts);
    return when == -1 ? std::nullopt : std::optional<std::time_t>(when);
}

std::optional<std::time_t> timeOf(const std::string& dateText) {
    bool isInternetDate = false;
    if (auto when = parseInternetDate(dateText, &isInternetDate)) {
        return when;
    }
    return parseClockText(dateText);
}

// The address for the separator line: what stands in angle brackets, a bare
// address, or MAILER-DAEMON.
std::string envelopeSender(const std::string& from) {
    std::size_t open = from.rfind('<');
    std::size_t close = from.rfind('>');
    std::string address = open != std::string::npos && close != std::string::npos && open < close
                              ? from.substr(open + 1, close - open - 1)
                              : from;
    bool usable = !address.empty() && address.find('@') != std::string::npos &&
                  text::isAscii(address) && address.find(' ') == std::string::npos;
    return usable ? address : "MAILER-DAEMON";
}

std::string separatorLine(const std::string& from, const std::string& dateText) {
    // An unknown date gives the epoch, so that an export is the same each time.
    std::time_t when = timeOf(dateText).value_or(0);
    std::tm parts{};
    gmtime_r(&when, &parts);
    char stamp[64];
    std::strftime(stamp, sizeof stamp, "%a %b %e %H:%M:%S %Y", &parts);
    return "From " + envelopeSender(from) + " " + stamp + "\n";
}

bool needsQuoting(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && line[i] == '>') {
        ++i;
    }
    return line.substr(i).starts_with("From ");
}

std::string quotedBody(std::string_view body) {
    std::string out;
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find('\n', start);
        std::string_view line = body.substr(
            start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (end == std::string_view::npos && line.empty()) {
            break;  // no empty line after a final line end
        }
        out += needsQuoting(line) ? ">" : "";
        out.append(line);
        out += '\n';
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return out;
}

}  // namespace

std::string encodeHeaderText(std::string_view utf8) {
    if (text::isAscii(utf8)) {
        return std::string(utf8);
    }
    auto asIs = [](std::string_view chunk) { return std::string(chunk); };
    return text::encodeHeaderWords(utf8, "UTF-8", asIs, 0, "\n ");
}

std::string encodeAddressHeader(std::string_view utf8) {
    std::size_t open = utf8.rfind('<');
    if (open == std::string_view::npos || open == 0 || text::isAscii(utf8)) {
        return encodeHeaderText(utf8);
    }
    std::string_view name = text::stripSpaces(utf8.substr(0, open));
    return encodeHeaderText(name) + " " + encodeHeaderText(utf8.substr(open));
}

std::string dateHeader(std::string_view dateText) {
    std::string text(dateText);
    bool isInternetDate = false;
    if (parseInternetDate(text, &isInternetDate) && isInternetDate) {
        return text;
    }
    if (auto when = parseClockText(text)) {
        std::tm parts{};
        localtime_r(&*when, &parts);
        char formatted[64];
        std::strftime(formatted, sizeof formatted, "%a, %d %b %Y %H:%M:%S %z", &parts);
        return formatted;
    }
    return encodeHeaderText(text);
}

std::string formatMboxMessage(const MailFields& fields, RecordKind kind) {
    const std::string subject = headerSafe(fields.subject);
    const std::string party = headerSafe(fields.fromOrTo);
    const std::string date = headerSafe(fields.date);
    const bool sent = kind == RecordKind::kSent;
    std::string message = separatorLine(sent ? std::string() : party, date);
    message += (sent ? "To: " : "From: ") + encodeAddressHeader(party) + "\n";
    message += "Subject: " + encodeHeaderText(subject) + "\n";
    if (!date.empty()) {
        message += "Date: " + dateHeader(date) + "\n";
    }
    message += "MIME-Version: 1.0\n";
    message += "Content-Type: text/plain; charset=UTF-8\n";
    message += "Content-Transfer-Encoding: 8bit\n\n";
    message += quotedBody(text::cutAtNul(fields.body));
    message += "\n";  // the empty line before the next separator
    return message;
}

std::string formatMboxOriginal(const MailFields& fields, RecordKind kind,
                               std::string_view original) {
    const bool sent = kind == RecordKind::kSent;
    std::string message =
        separatorLine(sent ? std::string() : headerSafe(fields.fromOrTo), headerSafe(fields.date));
    message += quotedBody(original);
    if (!message.ends_with('\n')) {
        message += "\n";
    }
    message += "\n";
    return message;
}

Status exportMbox(MailStore& store, int box, const std::string& path, bool overwrite,
                  base::FileSystem& fs) {
    const BoxInfo* info = findBox(box);
    if (info == nullptr) {
        return Status::invalidArgument("there is no box " + std::to_string(box));
    }
    if (!overwrite && fs.exists(path)) {
        return Status::refused(path + " already exists");
    }
    std::string temp = path + ".partial";
    for (int i = 2; fs.exists(temp); ++i) {
        temp = path + ".partial-" + std::to_string(i);
    }
    auto out = fs.open(temp, base::OpenMode::kTruncate);
    if (!out) {
        return out.status();
    }
    const RecordLayout& layout = layoutOf(info->kind);
    std::uint64_t written = 0;
    const Originals originals(store.dataFolder(), fs);
    Status s = store.readAll(box, [&](int, std::span<const char> record) {
        const MailFields fields = decodeRecord(layout, record);
        auto original = originals.find(box, fields);
        std::string message = original && original.value()
                                  ? formatMboxOriginal(fields, info->kind, *original.value())
                                  : formatMboxMessage(fields, info->kind);
        Status w = out.value()->writeAt(written, message);
        written += message.size();
        return w;
    });
    for (Status step : {s, out.value()->flush(), out.value()->sync()}) {
        if (!step) {
            out.value().reset();
            (void)fs.remove(temp);
            return step;
        }
    }
    out.value().reset();
    // Without `overwrite` the rename itself refuses an existing file, so one
    // made while the export was writing is not replaced either.
    Status renamed = overwrite ? fs.rename(temp, path) : fs.renameNoReplace(temp, path);
    if (!renamed) {
        (void)fs.remove(temp);
        return renamed;
    }
    return fs.syncFolder(base::folderOf(path));
}

}  // namespace qf::store
