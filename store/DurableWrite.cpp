#include "store/DurableWrite.h"

#include <unistd.h>

#include <filesystem>
#include <vector>

namespace qf::store {

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
                      std::optional<unsigned> permissions) {
    auto file = fs.createNew(temporary, permissions);
    if (!file) {
        return file.status();
    }
    File& out = *file.value();
    for (Status step : {out.writeAt(0, bytes), out.flush(), out.sync()}) {
        if (!step) {
            return step;
        }
    }
    return Status::ok();
}

}  // namespace

Status replaceFileDurably(const std::string& path, std::string_view bytes,
                          const ReplaceOptions& options, FileSystem& fs) {
    const std::string target = options.followLink ? linkTarget(path) : path;
    std::optional<unsigned> permissions = options.permissions;
    if (!permissions) {
        if (Result<unsigned> kept = fs.permissions(target)) {
            permissions = kept.value();
        }
    }
    const std::string temporary = target + ".tmp-" + std::to_string(::getpid());
    if (fs.exists(temporary)) {
        (void)fs.remove(temporary);  // left by a crashed earlier process with our PID
    }
    Status written = writeTemporary(fs, temporary, bytes, permissions);
    if (written) {
        written = fs.rename(temporary, target);
    }
    if (!written) {
        (void)fs.remove(temporary);
        return written;
    }
    return fs.syncFolder(folderOf(target));
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

}  // namespace qf::store
