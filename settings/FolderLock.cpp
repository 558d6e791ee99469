#include "settings/FolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "base/FileSystem.h"

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

Status failure(const std::filesystem::path& path, const char* call, int error) {
    return systemFailure(path.string() + ": " + call, error);
}

// Only a plain file of the user's own that no one else could ever open is
// trusted as it is: flock works on a read-only descriptor, and one opened
// while the file was readable to others keeps working after any chmod.
bool isPrivate(const struct stat& info) {
    return S_ISREG(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

// Puts a new private lock file, already locked, in place of whatever holds
// the name, renamed over it: a process still holding the old file then
// holds nothing that counts.
Result<int> replaceLockFile(const std::filesystem::path& lockFile) {
    const std::filesystem::path fresh = lockFile.string() + ".new-" + std::to_string(::getpid());
    ::unlink(fresh.c_str());  // left by a crashed process with our PID
    const int fd = ::open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          base::kPrivateFileMode);
    if (fd < 0) {
        return failure(fresh, "create", errno);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::rename(fresh.c_str(), lockFile.c_str()) != 0) {
        const int error = errno;
        ::close(fd);
        ::unlink(fresh.c_str());
        return failure(lockFile, "replace", error);
    }
    return fd;
}

// The lock file `fd` that others could have opened: replaced, unless a
// process of this user (a Quillfern of an earlier version) holds it now, told
// by the PID it wrote, as no one else can write into the file. Then it is
// kept, so that the refusal still stops a second program. Replaced while
// this process holds it where it can, with its PID in it: a start racing
// this one then waits for the new file instead of replacing it again.
Result<int> replaceExposed(const std::filesystem::path& lockFile, int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        writeOwnPid(fd);
    } else {
        const std::string pid = holderPid(fd);
        struct stat process {};
        if (!pid.empty() && ::stat(("/proc/" + pid).c_str(), &process) == 0 &&
            process.st_uid == ::geteuid()) {
            return fd;
        }
    }
    Result<int> replaced = replaceLockFile(lockFile);
    ::close(fd);
    return replaced;
}

// A descriptor of the lock file to take the lock on: the file as it is when
// it is private, else (replaceExposed) a new one in its place.
Result<int> openLockFile(const std::filesystem::path& lockFile) {
    const int fd =
        ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, base::kPrivateFileMode);
    if (fd < 0) {
        // A link, or another user's file that is not open to us, is replaced.
        const int error = errno;
        return error == ELOOP || error == EACCES ? replaceLockFile(lockFile)
                                                 : failure(lockFile, "open", error);
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && isPrivate(info)) {
        return fd;
    }
    return replaceExposed(lockFile, fd);
}

// Whether `lockFile` still names the file open as `fd`: a start that
// replaced it between our open and our flock holds the lock that counts.
bool stillNamed(const std::filesystem::path& lockFile, int fd) {
    struct stat named {};
    struct stat held {};
    return ::stat(lockFile.c_str(), &named) == 0 && ::fstat(fd, &held) == 0 &&
           named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

// A file is replaced at most once by each start racing ours; a few tries suffice.
constexpr int kLockTries = 3;

}  // namespace

Result<FolderLock> FolderLock::acquire(const std::filesystem::path& lockFile) {
    for (int attempt = 0; attempt < kLockTries; ++attempt) {
        Result<int> opened = openLockFile(lockFile);
        if (!opened) {
            return opened.status();
        }
        const int fd = opened.value();
        int rc;
        do {
            rc = ::flock(fd, LOCK_EX | LOCK_NB);
        } while (rc != 0 && errno == EINTR);
        if (rc != 0) {
            const int error = errno;
            Status status =
                error == EWOULDBLOCK ? refusal(lockFile, fd) : failure(lockFile, "flock", error);
            ::close(fd);
            return status;
        }
        if (stillNamed(lockFile, fd)) {
            writeOwnPid(fd);
            return FolderLock(fd);
        }
        ::close(fd);
    }
    return Status::refused(lockFile.parent_path().parent_path().string() +
                           ": in use by another Quillfern");
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
