#include "settings/DurableWrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

namespace qf::settings {

namespace fs = std::filesystem;

namespace {

Status ioFailure(const fs::path& file, const char* what, int error) {
    return Status::ioError(std::string(what) + " " + file.string() + ": " + std::strerror(error));
}

// Closes the descriptor on every path out of a write.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() { close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Returns the errno of a failed close, 0 on success.
    int close() {
        int result = 0;
        if (m_fd >= 0 && ::close(m_fd) != 0) {
            result = errno;
        }
        m_fd = -1;
        return result;
    }

  private:
    int m_fd;
};

// Follows a symbolic link so that the file it names is replaced, not the link.
fs::path resolveTarget(const fs::path& file) {
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(file, ec))) {
        fs::path target = fs::weakly_canonical(file, ec);
        if (!ec) {
            return target;
        }
    }
    return file;
}

// The permission bits the new file must get: `mode`, or the old file's. None
// for a new file without `mode`: open() then applies 0666 less the umask.
std::optional<mode_t> permissionsFor(const fs::path& file, std::optional<unsigned> mode) {
    if (mode) {
        return static_cast<mode_t>(*mode);
    }
    struct stat info {};
    if (::stat(file.c_str(), &info) == 0) {
        return static_cast<mode_t>(info.st_mode & 07777);
    }
    return std::nullopt;
}

Status writeAll(int fd, std::string_view bytes, const fs::path& file) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ioFailure(file, "cannot write", errno);
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return Status::ok();
}

Status writeTemporary(const fs::path& temporary, std::string_view bytes,
                      std::optional<mode_t> permissions) {
    // A temporary file of a crashed earlier process with our PID is stale.
    ::unlink(temporary.c_str());
    const mode_t openMode = permissions ? (*permissions & 0600) : 0666;
    FileDescriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, openMode));
    if (!fd.valid()) {
        return ioFailure(temporary, "cannot create", errno);
    }
    // fchmod, not the open mode: the umask must not narrow a kept mode.
    if (permissions && ::fchmod(fd.get(), *permissions) != 0) {
        return ioFailure(temporary, "cannot set permissions of", errno);
    }
    if (Status s = writeAll(fd.get(), bytes, temporary); !s) {
        return s;
    }
    if (::fsync(fd.get()) != 0) {
        return ioFailure(temporary, "cannot flush", errno);
    }
    if (int error = fd.close(); error != 0) {
        return ioFailure(temporary, "cannot close", error);
    }
    return Status::ok();
}

// Makes the rename itself durable. A folder that cannot be opened or flushed
// (some file systems refuse) does not undo a rename that already happened.
void syncFolder(const fs::path& folder) {
    FileDescriptor fd(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) {
        ::fsync(fd.get());
    }
}

}  // namespace

Status replaceFileDurably(const fs::path& file, std::string_view bytes,
                          std::optional<unsigned> mode) {
    const fs::path target = resolveTarget(file);
    const std::optional<mode_t> permissions = permissionsFor(target, mode);
    fs::path temporary = target;
    temporary += ".tmp-" + std::to_string(::getpid());

    Status written = writeTemporary(temporary, bytes, permissions);
    if (written && ::rename(temporary.c_str(), target.c_str()) != 0) {
        written = ioFailure(target, "cannot replace", errno);
    }
    if (!written) {
        ::unlink(temporary.c_str());
        return written;
    }
    syncFolder(target.parent_path());
    return Status::ok();
}

Result<std::string> readWholeFile(const fs::path& file) {
    FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) {
        if (errno == ENOENT) {
            return Status::notFound("no file " + file.string());
        }
        return ioFailure(file, "cannot open", errno);
    }
    std::string bytes;
    char buffer[8192];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ioFailure(file, "cannot read", errno);
        }
        if (n == 0) {
            return bytes;
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace qf::settings
