#include "attachments/ModulePlace.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "attachments/FileReach.h"

namespace qf::attachments {

namespace {

// Why others could change `path` (described by `info`), or "" when they cannot.
std::string openToOthers(const struct stat& info) {
    if (info.st_uid != 0 && info.st_uid != ::geteuid()) {
        return "owned by user " + std::to_string(info.st_uid);
    }
    // A sticky folder lets no one remove or rename another's entry.
    if (S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) != 0) {
        return {};
    }
    if ((info.st_mode & S_IWOTH) != 0) {
        return "writable by every user";
    }
    // The user's own group (one of their own, as most systems give each
    // user) or root's is fine; another group's members are others.
    if ((info.st_mode & S_IWGRP) != 0 && info.st_gid != 0 && info.st_gid != ::getegid()) {
        return "writable by group " + std::to_string(info.st_gid);
    }
    return {};
}

}  // namespace

std::vector<std::string> webViewModulePlaces(const std::string& executableFolder) {
    return {executableFolder + "/" + kWebViewModuleName,
            executableFolder + "/../lib/quillfern/" + kWebViewModuleName};
}

Status checkCodeFile(const std::string& file) {
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(file.c_str(), nullptr),
                                                               &std::free);
    if (!resolved) {
        const int error = errno;
        const std::string text = systemText(error);
        const std::string message = file + ": " + text;
        return (error == ENOENT ? Status::notFound(message) : Status::refused(message))
            .withOutsideText(text);
    }
    for (std::string path = resolved.get();; path = folderOf(path)) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            const std::string text = systemText(errno);
            return Status::refused(path + ": " + text).withOutsideText(text);
        }
        if (const std::string why = openToOthers(info); !why.empty()) {
            return Status::refused(path + ": " + why);
        }
        if (path == "/") {
            return Status::ok();
        }
    }
}

}  // namespace qf::attachments
