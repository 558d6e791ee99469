#include "base/DurableWrite.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "base/NotDurable.h"

namespace qf::base {

namespace {

// Follows a symbolic link so that the file it names is replaced, not the link.
std::string linkTarget(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, error))) {
        std::filesystem::path target = std::filesystem::weakly_canonical(path, error);
        if (!error) {
            return target.string();
        }
    }
    return path;
}

Status writeTemporary(FileSystem& fs, const std::string& temporary, std::string_view bytes,
                      std::optional<unsigned> permissions, bool sync) {
    auto file = fs.createNew(temporary, permissions);
    if (!file) {
        return file.status();
    }
    File& out = *file.value();
    for (Status step : {out.writeAt(0, bytes), out.flush()}) {
        if (!step) {
            return step;
        }
    }
    return sync ? out.sync() : Status::ok();
}

constexpr std::string_view kTemporaryMark = ".tmp-";

std::string temporaryOf(const std::string& target) {
    return target + std::string(kTemporaryMark) + std::to_string(::getpid());
}

// The file a temporary file of ours was to replace, or "" when `name` is not
// "<file>.tmp-<digits>".
std::string_view replacedFileOf(std::string_view name) {
    const std::size_t mark = name.rfind(kTemporaryMark);
    if (mark == std::string_view::npos || mark == 0) {
        return {};
    }
    const std::string_view digits = name.substr(mark + kTemporaryMark.size());
    if (digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return {};
    }
    return name.substr(0, mark);
}

}  // namespace

std::vector<std::string> leftoverTemporaries(const std::string& folder,
                                             const std::function<bool(std::string_view)>& isOurs) {
    std::vector<std::string> found;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        const std::string_view replaced = replacedFileOf(name);
        if (!replaced.empty() && isOurs(replaced) && !entry.is_directory(error)) {
            found.push_back(entry.path().string());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

Result<std::vector<RepairAction>> removeLeftoverTemporaries(
    const std::string& folder, const std::function<bool(std::string_view)>& isOurs,
    FileSystem& fs) {
    std::vector<RepairAction> actions;
    for (const std::string& path : leftoverTemporaries(folder, isOurs)) {
        if (Status s = fs.remove(path); !s) {
            return s;
        }
        // replacedFileOf() cuts the mark off a whole path as off a name.
        actions.push_back({.kind = RepairKind::kLeftoverTemporaryRemoved,
                           .file = std::string(replacedFileOf(path)),
                           .temporary = path});
    }
    if (!actions.empty()) {
        if (Status s = fs.syncFolder(folder); !s) {
            return s;
        }
    }
    return actions;
}

namespace {

// The temporary file written (synced when `sync`) and renamed over the
// target; on failure the target is unchanged and the temporary gone.
Status writeAndRename(const std::string& target, std::string_view bytes,
                      const ReplaceOptions& options, FileSystem& fs, bool sync) {
    std::optional<unsigned> permissions = options.permissions;
    if (!permissions) {
        Result<unsigned> kept = fs.permissions(target);
        permissions = kept ? std::optional<unsigned>(kept.value()) : options.newFilePermissions;
    }
    const std::string temporary = temporaryOf(target);
    if (fs.exists(temporary)) {
        (void)fs.remove(temporary);  // left by a crashed earlier process with our PID
    }
    Status written = writeTemporary(fs, temporary, bytes, permissions, sync);
    if (written) {
        written = fs.rename(temporary, target);
    }
    if (!written) {
        (void)fs.remove(temporary);
    }
    return written;
}

}  // namespace

Status replaceFileUnsynced(const std::string& path, std::string_view bytes,
                           const ReplaceOptions& options, FileSystem& fs) {
    return writeAndRename(options.followLink ? linkTarget(path) : path, bytes, options, fs, false);
}

Status syncFile(const std::string& path, FileSystem& fs) {
    auto file = fs.open(path, OpenMode::kRead);
    return file ? file.value()->sync() : file.status();
}

Status replaceFileDurably(const std::string& path, std::string_view bytes,
                          const ReplaceOptions& options, FileSystem& fs) {
    const std::string target = options.followLink ? linkTarget(path) : path;
    if (Status written = writeAndRename(target, bytes, options, fs, true); !written) {
        return written;
    }
    if (Status s = fs.syncFolder(folderOf(target)); !s) {
        return notDurable(target + ": replaced, but the folder was not synced: " + s.message(), s);
    }
    return Status::ok();
}

Result<std::string> readWholeFile(const std::string& path, FileSystem& fs) {
    auto file = fs.open(path, OpenMode::kRead);
    if (!file) {
        return file.status();
    }
    std::string bytes;
    std::vector<char> buffer(64 * 1024);
    for (;;) {
        Result<std::size_t> n = file.value()->readAt(bytes.size(), buffer);
        if (!n) {
            return n.status();
        }
        bytes.append(buffer.data(), n.value());
        if (n.value() < buffer.size()) {
            return bytes;
        }
    }
}

}  // namespace qf::base
