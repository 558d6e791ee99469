#include "receive/SeenList.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string_view>

#include "base/DurableWrite.h"
#include "receive/ReceiveJournal.h"

namespace qf::receive {

namespace {

constexpr std::string_view kHeaderPrefix = "quillfern seen list 2 ";
// Lists of the first version have no end line: they are read as they were
// (a cut at a line end cannot be told there) and written anew as version 2.
constexpr std::string_view kVersion1Prefix = "quillfern seen list 1 ";
constexpr std::string_view kNoUidlTold = "no-uidl-told";
constexpr std::string_view kEndPrefix = "end ";

// "end N": N lines came before it (after the header); nothing when the line
// is no end line.
std::optional<std::size_t> endCount(std::string_view line) {
    if (!line.starts_with(kEndPrefix)) {
        return std::nullopt;
    }
    line.remove_prefix(kEndPrefix.size());
    std::size_t count = 0;
    const auto parsed = std::from_chars(line.data(), line.data() + line.size(), count);
    if (line.empty() || parsed.ec != std::errc() || parsed.ptr != line.data() + line.size()) {
        return std::nullopt;
    }
    return count;
}

// "seconds TAB uidl"; nothing when either part does not parse. A UIDL is
// 1 to 70 printable ASCII characters (the transport hands no other).
bool applyLine(std::string_view line, SeenList& list) {
    if (line == kNoUidlTold) {
        list.noUidlTold = true;
        return true;
    }
    const auto tab = line.find('\t');
    if (tab == std::string_view::npos) {
        return false;
    }
    std::int64_t seconds = 0;
    const std::string_view number = line.substr(0, tab);
    const auto parsed = std::from_chars(number.data(), number.data() + number.size(), seconds);
    const std::string_view uid = line.substr(tab + 1);
    bool printable = !uid.empty() && uid.size() <= 70;
    for (char c : uid) {
        printable = printable && c > ' ' && c <= '~';
    }
    if (number.empty() || parsed.ec != std::errc() || parsed.ptr != number.data() + number.size() ||
        !printable) {
        return false;
    }
    list.ids[std::string(uid)] = seconds;
    return true;
}

SeenListRead unusable(SeenListState state, const std::filesystem::path& file,
                      std::string_view why) {
    return {state, {}, file.string() + ": " + std::string(why)};
}

}  // namespace

SeenListRead readSeenList(const std::filesystem::path& file, std::uint64_t accountKey,
                          base::FileSystem& fs) {
    Result<std::string> bytes = base::readWholeFile(file.string(), fs);
    if (!bytes) {
        return bytes.status().code() == StatusCode::kNotFound
                   ? unusable(SeenListState::kMissing, file, "missing")
                   : unusable(SeenListState::kUnreadable, file, bytes.status().message());
    }
    std::string_view text = bytes.value();
    const auto headerEnd = text.find('\n');
    const bool version1 = text.starts_with(kVersion1Prefix);
    if ((!version1 && !text.starts_with(kHeaderPrefix)) || headerEnd != kHeaderPrefix.size() + 16) {
        return unusable(SeenListState::kUnreadable, file, "not a seen-list");
    }
    const bool ours = text.substr(kHeaderPrefix.size(), 16) == hex16(accountKey);
    text.remove_prefix(headerEnd + 1);
    SeenListRead read{SeenListState::kRead, {}, {}};
    std::size_t lines = 0;
    bool ended = version1;
    for (auto end = text.find('\n'); !text.empty(); end = text.find('\n'), ++lines) {
        const std::string_view line = text.substr(0, std::min(end, text.size()));
        const std::optional<std::size_t> count = version1 ? std::nullopt : endCount(line);
        if (count && *count == lines && end + 1 == text.size()) {
            ended = true;
            break;
        }
        if (end == std::string_view::npos || count || !applyLine(line, read.list)) {
            return unusable(SeenListState::kUnreadable, file, "damaged line");
        }
        text.remove_prefix(end + 1);
    }
    if (!ended) {
        // Whole lines but no end line: the file was cut short.
        return unusable(SeenListState::kUnreadable, file, "cut short");
    }
    if (!ours && !read.list.ids.empty()) {
        return unusable(SeenListState::kOtherAccount, file, "made for another account");
    }
    return read;
}

std::string formatSeenList(const SeenList& list, std::uint64_t accountKey) {
    std::string text = std::string(kHeaderPrefix) + hex16(accountKey) + "\n";
    if (list.noUidlTold) {
        text += std::string(kNoUidlTold) + "\n";
    }
    for (const auto& [uid, seconds] : list.ids) {
        text += std::to_string(seconds) + "\t" + uid + "\n";
    }
    const std::size_t lines = list.ids.size() + (list.noUidlTold ? 1 : 0);
    return text + std::string(kEndPrefix) + std::to_string(lines) + "\n";
}

Status writeSeenList(const std::filesystem::path& file, std::uint64_t accountKey,
                     const SeenList& list, base::FileSystem& fs) {
    // A list its owner cannot read or write would be lost again at the next
    // run: the new one is readable and writable by the owner, whatever the
    // old one's mode was.
    base::ReplaceOptions options;
    if (Result<unsigned> mode = fs.permissions(file.string())) {
        options.permissions = mode.value() | 0600u;
    }
    return base::replaceFileDurably(file.string(), formatSeenList(list, accountKey), options, fs);
}

Status startSeenList(const std::filesystem::path& file, std::string_view server,
                     std::string_view id, base::FileSystem& fs) {
    if (fs.exists(file.string())) {
        return Status::ok();
    }
    return writeSeenList(file, accountKey(server, id), {}, fs);
}

}  // namespace qf::receive
