#include "compose/Drafts.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <system_error>

#include "base/DurableWrite.h"
#include "base/FileSystem.h"

namespace qf::compose {
namespace {

constexpr std::string_view kFirstLine = "Quillfern draft 1\n";
constexpr std::string_view kPrefix = "draft-";
constexpr std::string_view kSuffix = ".txt";

constexpr std::pair<DraftKind, std::string_view> kKindNames[] = {{DraftKind::kCompose, "compose"},
                                                                 {DraftKind::kReply, "reply"},
                                                                 {DraftKind::kForward, "forward"}};

std::string_view kindName(DraftKind kind) {
    for (const auto& [each, name] : kKindNames) {
        if (each == kind) {
            return name;
        }
    }
    return "compose";
}

std::string oneLine(std::string_view text) {
    std::string line(text);
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return line;
}

// Takes "name: value\n" off the front of `rest`.
std::optional<std::string> takeField(std::string_view& rest, std::string_view name) {
    const std::string start = std::string(name) + ": ";
    const std::size_t end = rest.find('\n');
    if (!rest.starts_with(start) || end == std::string_view::npos) {
        return std::nullopt;
    }
    std::string value(rest.substr(start.size(), end - start.size()));
    rest.remove_prefix(end + 1);
    return value;
}

// A byte count as a draft names it: decimal digits only.
std::optional<std::size_t> byteCount(const std::string& digits) {
    if (digits.empty() || digits.size() > 12 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(std::stoull(digits));
}

Status saveDraftFile(const std::filesystem::path& folder, const std::string& name,
                     std::string_view bytes) {
    if (Status made = base::makePrivateFolders(folder.string()); !made) {
        return made;
    }
    return base::replaceFileDurably((folder / name).string(), bytes);
}

}  // namespace

std::filesystem::path draftFolder(const std::filesystem::path& dataFolder) {
    return dataFolder / "drafts";
}

std::string formatDraft(const Draft& draft) {
    std::string text(kFirstLine);
    text += "kind: " + std::string(kindName(draft.kind)) + "\n";
    text += "to: " + oneLine(draft.to) + "\n";
    text += "subject: " + oneLine(draft.subject) + "\n";
    text += "attachments: " + oneLine(draft.attachments) + "\n";
    if (!draft.attachedMail.empty()) {
        text += "attached-mail: " + oneLine(draft.attachedMailName) + "\n";
        text += "attached-mail-bytes: " + std::to_string(draft.attachedMail.size()) + "\n";
    }
    text += "body-bytes: " + std::to_string(draft.body.size()) + "\n\n";
    text += draft.body;
    text += draft.attachedMail;
    return text;
}

Result<Draft> parseDraft(std::string_view text) {
    if (!text.starts_with(kFirstLine)) {
        return Status::corrupt("not a draft file");
    }
    std::string_view rest = text.substr(kFirstLine.size());
    const auto kind = takeField(rest, "kind");
    const auto to = takeField(rest, "to");
    const auto subject = takeField(rest, "subject");
    const auto attachments = takeField(rest, "attachments");
    const auto mailName = takeField(rest, "attached-mail");
    const auto mailBytes = mailName ? takeField(rest, "attached-mail-bytes") : std::nullopt;
    const auto bodyBytes = takeField(rest, "body-bytes");
    if (!kind || !to || !subject || !attachments || !bodyBytes ||
        mailName.has_value() != mailBytes.has_value() || !rest.starts_with("\n")) {
        return Status::corrupt("the draft's header lines are incomplete");
    }
    rest.remove_prefix(1);
    const std::optional<std::size_t> bodySize = byteCount(*bodyBytes);
    const std::optional<std::size_t> mailSize = mailBytes ? byteCount(*mailBytes) : std::size_t{0};
    if (!bodySize || !mailSize || *bodySize > rest.size() || rest.size() - *bodySize != *mailSize) {
        return Status::corrupt("the draft's body is not whole");
    }
    Draft draft{DraftKind::kCompose,
                *to,
                *subject,
                *attachments,
                std::string(rest.substr(0, *bodySize)),
                mailName.value_or(""),
                std::string(rest.substr(*bodySize))};
    for (const auto& [each, name] : kKindNames) {
        if (name == *kind) {
            draft.kind = each;
        }
    }
    return draft;
}

std::string newDraftName() {
    static std::atomic<unsigned> counter{0};
    const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    return std::string(kPrefix) + std::to_string(now) + "-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter++) + std::string(kSuffix);
}

bool isDraftName(std::string_view fileName) {
    return fileName.starts_with(kPrefix) && fileName.ends_with(kSuffix) &&
           fileName.find('/') == std::string_view::npos;
}

Status saveDraft(const std::filesystem::path& folder, const std::string& name, const Draft& draft) {
    return saveDraftFile(folder, name, formatDraft(draft));
}

std::vector<StoredDraft> listDrafts(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> paths;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        // A leftover "<name>.tmp-<pid>" of a cut-short replacement is no draft.
        if (isDraftName(entry.path().filename().string()) && entry.is_regular_file(error)) {
            paths.push_back(entry.path());
        }
    }
    // The name starts with its time, so name order is age order.
    std::sort(paths.begin(), paths.end());
    std::vector<StoredDraft> drafts;
    for (const auto& path : paths) {
        Result<std::string> text = base::readWholeFile(path.string());
        drafts.push_back({path, text ? parseDraft(text.value()) : Result<Draft>(text.status())});
    }
    return drafts;
}

Status removeDraft(const std::filesystem::path& path) {
    base::FileSystem& fs = base::posixFileSystem();
    if (!fs.exists(path.string())) {
        return Status::ok();
    }
    if (Status removed = fs.remove(path.string()); !removed) {
        return removed;
    }
    return fs.syncFolder(path.parent_path().string());
}

}  // namespace qf::compose
