#include "compose/ForwardCopies.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qf::compose {
namespace {

// Takes one or more decimal digits and then `end` off the front of `rest`.
bool takeNumber(std::string_view& rest, std::string_view end) {
    const std::size_t digits = rest.find_first_not_of("0123456789");
    if (digits == 0 || digits == std::string_view::npos || !rest.substr(digits).starts_with(end)) {
        return false;
    }
    rest.remove_prefix(digits + end.size());
    return true;
}

struct Entry {
    std::string name;
    bool regular = false;
};

// The entries of the folder open as `folderFd`, links not followed.
std::vector<Entry> entriesOf(int folderFd) {
    std::vector<Entry> entries;
    const int listFd = ::dup(folderFd);
    DIR* folder = listFd < 0 ? nullptr : ::fdopendir(listFd);
    if (folder == nullptr) {
        if (listFd >= 0) {
            ::close(listFd);
        }
        return entries;
    }
    while (const dirent* entry = ::readdir(folder)) {
        struct stat info {};
        const bool regular = ::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                             S_ISREG(info.st_mode);
        entries.push_back({entry->d_name, regular});
    }
    ::closedir(folder);
    return entries;
}

// The bytes of a regular file of the folder; empty when it cannot be read.
std::string contentOf(int folderFd, const std::string& name) {
    const int fd = ::openat(folderFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    std::string bytes;
    if (fd < 0) {
        return bytes;
    }
    char buffer[8192];
    for (ssize_t got = ::read(fd, buffer, sizeof buffer); got > 0;
         got = ::read(fd, buffer, sizeof buffer)) {
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return bytes;
}

}  // namespace

bool isForwardCopyName(std::string_view fileName) {
    constexpr std::string_view kPrefix = "forward-";
    if (!fileName.starts_with(kPrefix)) {
        return false;
    }
    fileName.remove_prefix(kPrefix.size());
    return takeNumber(fileName, "-") && takeNumber(fileName, "-") && takeNumber(fileName, ".eml") &&
           fileName.empty();
}

int removeForwardCopies(const std::filesystem::path& folder) {
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folderFd < 0) {
        return 0;
    }
    const std::vector<Entry> entries = entriesOf(folderFd);
    // Whatever else the folder holds (drafts, whole or not) may name a copy.
    std::vector<std::string> others;
    for (const Entry& entry : entries) {
        if (entry.regular && !isForwardCopyName(entry.name)) {
            others.push_back(contentOf(folderFd, entry.name));
        }
    }
    int removed = 0;
    for (const Entry& entry : entries) {
        const bool named = std::any_of(others.begin(), others.end(), [&](const std::string& text) {
            return text.find(entry.name) != std::string::npos;
        });
        if (entry.regular && isForwardCopyName(entry.name) && !named &&
            ::unlinkat(folderFd, entry.name.c_str(), 0) == 0) {
            ++removed;
        }
    }
    if (removed > 0) {
        ::fsync(folderFd);
    }
    ::close(folderFd);
    return removed;
}

}  // namespace qf::compose
