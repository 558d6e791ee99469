#include "attachments/FileReach.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace qf::attachments {
namespace {

bool resolve(const std::string& path, std::string& resolved) {
    char buffer[PATH_MAX];
    if (::realpath(path.c_str(), buffer) == nullptr) {
        return false;
    }
    resolved = buffer;
    return true;
}

}  // namespace

bool liesWithin(const std::string& folder, const std::string& path) {
    std::string base;
    std::string target;
    if (!resolve(folder, base) || !resolve(path, target)) {
        return false;
    }
    if (base == "/" || target == base) {
        return true;
    }
    return target.size() > base.size() && target.compare(0, base.size(), base) == 0 &&
           target[base.size()] == '/';
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

int openRegularFile(const std::string& path) {
    // O_NONBLOCK: opening a pipe for reading would otherwise wait for a writer.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return -1;
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return -1;
    }
    // Reads of a regular file never block; the flag is dropped all the same
    // so that the descriptor behaves as an ordinary one.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace qf::attachments
