#include "settings/ProfileFile.h"

#include <optional>
#include <utility>

#include "base/DurableWrite.h"
#include "text/Cp932.h"
#include "text/Utf8.h"

namespace qf::settings {

namespace {

constexpr std::string_view kNewLine = "\r\n";
constexpr unsigned kOwnerOnlyMode = 0600;

// One line of the file: its bytes and the terminator that followed them
// ("" for a last line without one). Kept so that unchanged lines are written
// back exactly.
struct Line {
    std::string text;
    std::string terminator;
};

// Spaces and tabs are single bytes that never occur inside a double-byte
// CP932 character, so trimming the CP932 bytes is safe.
bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Compares UTF-8 names ignoring ASCII letter case; bytes of multi-byte UTF-8
// characters are never ASCII, so they compare exactly.
bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

std::vector<Line> splitLines(std::string_view bytes) {
    std::vector<Line> lines;
    while (!bytes.empty()) {
        std::size_t end = bytes.find_first_of("\r\n");
        if (end == std::string_view::npos) {
            lines.push_back({std::string(bytes), ""});
            break;
        }
        std::size_t next = end + 1;
        if (bytes[end] == '\r' && next < bytes.size() && bytes[next] == '\n') {
            ++next;
        }
        lines.push_back(
            {std::string(bytes.substr(0, end)), std::string(bytes.substr(end, next - end))});
        bytes.remove_prefix(next);
    }
    return lines;
}

std::string joinLines(const std::vector<Line>& lines) {
    std::string out;
    for (const Line& line : lines) {
        out += line.text;
        out += line.terminator;
    }
    return out;
}

// The section name (CP932) when the line is a section header. "]" may be the
// second byte of a double-byte character, so the search walks characters.
std::optional<std::string_view> sectionNameOf(std::string_view line) {
    line = trimBlanks(line);
    if (line.empty() || line.front() != '[') {
        return std::nullopt;
    }
    for (std::size_t i = 1; i < line.size(); ++i) {
        if (line[i] == ']') {
            return trimBlanks(line.substr(1, i - 1));
        }
        if (text::isCp932LeadByte(static_cast<unsigned char>(line[i]))) {
            ++i;
        }
    }
    return std::nullopt;
}

struct KeyLine {
    std::string_view key;    // CP932, trimmed
    std::string_view value;  // CP932, trimmed
};

// "=" (0x3D) is never part of a double-byte character, so the first one
// found in the bytes ends the key.
std::optional<KeyLine> keyLineOf(std::string_view line) {
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return std::nullopt;
    }
    return KeyLine{trimBlanks(line.substr(0, equals)), trimBlanks(line.substr(equals + 1))};
}

bool isSection(std::string_view line, std::string_view wantedUtf8) {
    std::optional<std::string_view> name = sectionNameOf(line);
    return name && sameName(text::fromCp932(*name), wantedUtf8);
}

bool isKey(std::string_view line, std::string_view wantedUtf8) {
    std::optional<KeyLine> entry = keyLineOf(line);
    return entry && sameName(text::fromCp932(entry->key), wantedUtf8);
}

// Lines [begin, end) of the first section called `section`, the header
// excluded; nullopt when there is no such section.
struct SectionRange {
    std::size_t header;
    std::size_t begin;
    std::size_t end;
};

std::optional<SectionRange> findSection(const std::vector<Line>& lines, std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!isSection(lines[i].text, section)) {
            continue;
        }
        std::size_t end = i + 1;
        while (end < lines.size() && !sectionNameOf(lines[end].text)) {
            ++end;
        }
        return SectionRange{i, i + 1, end};
    }
    return std::nullopt;
}

bool isQuote(char c) {
    return c == '"' || c == '\'';
}

bool isQuoted(std::string_view text) {
    return text.size() >= 2 && isQuote(text.front()) && text.front() == text.back();
}

std::string_view unquote(std::string_view value) {
    return isQuoted(value) ? value.substr(1, value.size() - 2) : value;
}

// The bytes to store for `value`: quoted when reading would otherwise trim
// blanks or strip a pair of quotes from it.
std::string storedValue(std::string_view utf8Value) {
    std::string bytes = text::toCp932(utf8Value);
    const bool loses =
        !bytes.empty() && (isBlank(bytes.front()) || isBlank(bytes.back()) || isQuoted(bytes));
    return loses ? "\"" + bytes + "\"" : bytes;
}

std::string cutToBuffer(std::string_view utf8, std::size_t bufferChars) {
    return bufferChars == 0 ? std::string()
                            : std::string(text::utf8PrefixOfCharacters(utf8, bufferChars - 1));
}

// Gives the line a CR LF when it is the last line and has no terminator, so
// that a line can follow it.
void terminate(Line& line) {
    if (line.terminator.empty()) {
        line.terminator = kNewLine;
    }
}

bool isBlankLine(const Line& line) {
    return trimBlanks(line.text).empty();
}

std::size_t appendSection(std::vector<Line>& lines, std::string_view section) {
    if (!lines.empty()) {
        terminate(lines.back());
        if (!isBlankLine(lines.back())) {
            lines.push_back({"", std::string(kNewLine)});
        }
    }
    // Appended piecewise: GCC 12 at -O3 warns falsely (-Wrestrict) on "[" + s + "]".
    std::string header = "[";
    header += text::toCp932(section);
    header += ']';
    lines.push_back({std::move(header), std::string(kNewLine)});
    return lines.size() - 1;
}

void setEntry(std::vector<Line>& lines, std::string_view section, const ProfileEntry& entry) {
    std::optional<SectionRange> range = findSection(lines, section);
    if (!range) {
        std::size_t header = appendSection(lines, section);
        range = SectionRange{header, header + 1, header + 1};
    }
    const std::string value = storedValue(entry.second);
    for (std::size_t i = range->begin; i < range->end; ++i) {
        if (isKey(lines[i].text, entry.first)) {
            // Keep the key as the file spells it.
            lines[i].text = std::string(keyLineOf(lines[i].text)->key) + "=" + value;
            return;
        }
    }
    std::size_t after = range->header;
    for (std::size_t i = range->begin; i < range->end; ++i) {
        if (!isBlankLine(lines[i])) {
            after = i;
        }
    }
    terminate(lines[after]);
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(after) + 1,
                 Line{text::toCp932(entry.first) + "=" + value, std::string(kNewLine)});
}

bool holdsLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// A name this layer would read back as something else, or not at all.
bool isUnsafeName(std::string_view name) {
    return name.empty() || trimBlanks(name) != name || holdsLineBreak(name);
}

Status checkEntries(std::string_view section, const std::vector<ProfileEntry>& entries) {
    if (isUnsafeName(section) || section.find(']') != std::string_view::npos) {
        return Status::invalidArgument("INI section name not allowed: " + std::string(section));
    }
    for (const auto& [key, value] : entries) {
        if (isUnsafeName(key) || key.find('=') != std::string_view::npos || key.front() == '[') {
            return Status::invalidArgument("INI key name not allowed: " + key);
        }
        if (holdsLineBreak(value)) {
            return Status::invalidArgument("INI value of " + key + " holds a line break");
        }
    }
    return Status::ok();
}

// True when a replacement would leave the file's permission bits as they are.
bool hasPermissions(const std::filesystem::path& file, std::optional<unsigned> wanted,
                    base::FileSystem& fs) {
    if (!wanted) {
        return true;  // a replacement keeps the file's own
    }
    Result<unsigned> now = fs.permissions(file.string());
    return now && (now.value() & 07777u) == *wanted;
}

}  // namespace

std::string profileValueIn(std::string_view cp932Bytes, std::string_view section,
                           std::string_view key, std::string_view defaultValue,
                           std::size_t bufferChars) {
    const std::vector<Line> lines = splitLines(cp932Bytes);
    if (std::optional<SectionRange> range = findSection(lines, section)) {
        for (std::size_t i = range->begin; i < range->end; ++i) {
            if (isKey(lines[i].text, key)) {
                std::string value = text::fromCp932(unquote(keyLineOf(lines[i].text)->value));
                return cutToBuffer(value, bufferChars);
            }
        }
    }
    return cutToBuffer(defaultValue, bufferChars);
}

std::string withProfileEntries(std::string_view cp932Bytes, std::string_view section,
                               const std::vector<ProfileEntry>& entries) {
    std::vector<Line> lines = splitLines(cp932Bytes);
    for (const ProfileEntry& entry : entries) {
        setEntry(lines, section, entry);
    }
    return joinLines(lines);
}

std::string getProfileString(const std::filesystem::path& file, std::string_view section,
                             std::string_view key, std::string_view defaultValue,
                             std::size_t bufferChars) {
    Result<std::string> bytes = base::readWholeFile(file.string());
    return profileValueIn(bytes ? std::string_view(bytes.value()) : std::string_view(), section,
                          key, defaultValue, bufferChars);
}

Status writeProfileString(const std::filesystem::path& file, std::string_view section,
                          std::string_view key, std::string_view value, FileAccess access) {
    return writeProfileStrings(file, section, {ProfileEntry(key, value)}, access);
}

Status writeProfileStrings(const std::filesystem::path& file, std::string_view section,
                           const std::vector<ProfileEntry>& entries, FileAccess access,
                           base::FileSystem& fs) {
    if (Status s = checkEntries(section, entries); !s) {
        return s;
    }
    Result<std::string> old = base::readWholeFile(file.string(), fs);
    // A file that exists but cannot be read is not replaced: its other
    // sections would be lost.
    if (!old && old.status().code() != StatusCode::kNotFound) {
        return old.status();
    }
    const std::string bytes =
        withProfileEntries(old ? old.value() : std::string(), section, entries);
    base::ReplaceOptions options;
    if (access == FileAccess::kOwnerOnly) {
        options.permissions = kOwnerOnlyMode;
    }
    // Writing what the file holds already would only cost two syncs: each
    // receive keeps the account it used.
    if (old && old.value() == bytes && hasPermissions(file, options.permissions, fs)) {
        return Status::ok();
    }
    return base::replaceFileDurably(file.string(), bytes, options, fs);
}

}  // namespace qf::settings
