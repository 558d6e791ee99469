#include "settings/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace qf::settings {

namespace {

// The holder's PID as written in the lock file, or "" when unreadable.
std::string holderPid(int fd) {
    char buffer[32] = {};
    ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
    std::string pid;
    for (ssize_t i = 0; i < n && buffer[i] >= '0' && buffer[i] <= '9'; ++i) {
        pid += buffer[i];
    }
    return pid;
}

// Records our PID for the message a second process shows. Failing to write
// it leaves the lock held, so it is not an error.
void writeOwnPid(int fd) {
    const std::string line = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] ssize_t n = ::pwrite(fd, line.data(), line.size(), 0);
    }
}

Status refusal(const std::filesystem::path& lockFile, int fd) {
    const std::string pid = holderPid(fd);
    const std::filesystem::path folder = lockFile.parent_path().parent_path();
    return Status::refused(folder.string() + ": in use by another Quillfern" +
                           (pid.empty() ? "" : " (PID " + pid + ")"));
}

}  // namespace

Result<FolderLock> FolderLock::acquire(const std::filesystem::path& lockFile) {
    int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return Status::ioError(lockFile.string() + ": open: " + std::strerror(errno));
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int error = errno;
        Status status =
            error == EWOULDBLOCK
                ? refusal(lockFile, fd)
                : Status::ioError(lockFile.string() + ": flock: " + std::strerror(error));
        ::close(fd);
        return status;
    }
    writeOwnPid(fd);
    return FolderLock(fd);
}

FolderLock::FolderLock(FolderLock&& other) noexcept : m_fd(other.m_fd) {
    other.m_fd = -1;
}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
    if (this != &other) {
        release();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

FolderLock::~FolderLock() {
    release();
}

void FolderLock::release() {
    // Closing the only descriptor of the open file releases the flock.
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

}  // namespace qf::settings
