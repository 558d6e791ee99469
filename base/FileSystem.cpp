#include "base/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <future>
#include <vector>

namespace qf::base {

namespace {

// "<path>: <call>: <reason>", a diagnostic as libraries write theirs; the
// reason, the system's text, is also the outside text the user sees.
Status failureOf(const std::string& path, const std::string& call, int error) {
    return systemFailure(path + ": " + call, error);
}

// Bytes moved per read and write when the kernel cannot copy by itself.
constexpr std::size_t kCopyBufferBytes = std::size_t{1} << 20;
// copy_file_range moves this much per call; the disk starts writing each
// step while the next is copied.
constexpr std::uint64_t kKernelCopyStepBytes = std::uint64_t{32} << 20;

// copy_file_range reports with these that the two files cannot be copied
// in the kernel (another file system, an old kernel, a special file).
bool kernelCopyUnsupported(int error) {
    return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP;
}

Status errnoStatus(const std::string& what, const std::string& path, int error) {
    Status failure = failureOf(path, what, error);
    return error == ENOENT
               ? Status::notFound(failure.message()).withOutsideText(failure.outsideText())
               : failure;
}

class PosixFile final : public File {
  public:
    PosixFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    ~PosixFile() override { ::close(m_fd); }
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    Result<std::size_t> readAt(std::uint64_t offset, std::span<char> out) override {
        std::size_t done = 0;
        while (done < out.size()) {
            ssize_t n = ::pread(m_fd, out.data() + done, out.size() - done,
                                static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return errnoStatus("read", m_path, errno);
            }
            if (n == 0) {
                break;  // end of file
            }
            done += static_cast<std::size_t>(n);
        }
        return done;
    }

    Status writeAt(std::uint64_t offset, std::span<const char> data) override {
        std::size_t done = 0;
        while (done < data.size()) {
            ssize_t n = ::pwrite(m_fd, data.data() + done, data.size() - done,
                                 static_cast<off_t>(offset + done));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return errnoStatus("write", m_path, errno);
            }
            done += static_cast<std::size_t>(n);
        }
        return Status::ok();
    }

    // Writes go straight to the kernel; there is nothing to hand over.
    Status flush() override { return Status::ok(); }

    Status sync() override {
        if (::fsync(m_fd) != 0) {
            return errnoStatus("fsync", m_path, errno);
        }
        return Status::ok();
    }

    Result<std::uint64_t> size() override {
        struct stat info {};
        if (::fstat(m_fd, &info) != 0) {
            return errnoStatus("stat", m_path, errno);
        }
        return static_cast<std::uint64_t>(info.st_size);
    }

    Status truncate(std::uint64_t lengthBytes) override {
        if (::ftruncate(m_fd, static_cast<off_t>(lengthBytes)) != 0) {
            return errnoStatus("truncate", m_path, errno);
        }
        return Status::ok();
    }

    Result<std::uint64_t> copyInKernel(File& source, std::uint64_t sourceOffset,
                                       std::uint64_t offset, std::uint64_t lengthBytes) override {
        auto* from = dynamic_cast<PosixFile*>(&source);
        if (from == nullptr) {
            return std::uint64_t{0};
        }
        auto in = static_cast<off_t>(sourceOffset);
        auto out = static_cast<off_t>(offset);
        std::uint64_t done = 0;
        while (done < lengthBytes) {
            const auto step =
                static_cast<std::size_t>(std::min(lengthBytes - done, kKernelCopyStepBytes));
            ssize_t n = ::copy_file_range(from->m_fd, &in, m_fd, &out, step, 0);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0 && kernelCopyUnsupported(errno)) {
                break;
            }
            if (n < 0) {
                return errnoStatus("copy_file_range", m_path, errno);
            }
            if (n == 0) {
                break;  // end of the source
            }
            // Start the writeback of what was copied (a hint; the caller's
            // sync still decides): the copy and the disk then overlap, and
            // the sync after the copy waits for less.
            (void)::sync_file_range(m_fd, out - n, n, SYNC_FILE_RANGE_WRITE);
            done += static_cast<std::uint64_t>(n);
        }
        return done;
    }

    Status discard(std::uint64_t offset, std::uint64_t lengthBytes) override {
        if (::fallocate(m_fd, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE,
                        static_cast<off_t>(offset), static_cast<off_t>(lengthBytes)) == 0) {
            return Status::ok();
        }
        if (errno != EOPNOTSUPP && errno != ENOSYS) {
            return errnoStatus("fallocate", m_path, errno);
        }
        return File::discard(offset, lengthBytes);
    }

    void startWriteback(std::uint64_t offset, std::uint64_t lengthBytes) override {
        (void)::sync_file_range(m_fd, static_cast<off_t>(offset), static_cast<off_t>(lengthBytes),
                                SYNC_FILE_RANGE_WRITE);
    }

  private:
    int m_fd;
    std::string m_path;
};

class PosixFileSystem final : public FileSystem {
  public:
    Result<std::unique_ptr<File>> open(const std::string& path, OpenMode mode) override {
        int flags = O_CLOEXEC;
        switch (mode) {
            case OpenMode::kRead:
                flags |= O_RDONLY;
                break;
            case OpenMode::kReadWrite:
                flags |= O_RDWR | O_CREAT;
                break;
            case OpenMode::kTruncate:
                flags |= O_RDWR | O_CREAT | O_TRUNC;
                break;
        }
        int fd = ::open(path.c_str(), flags, kPrivateFileMode);
        if (fd < 0) {
            return errnoStatus("open", path, errno);
        }
        return std::unique_ptr<File>(std::make_unique<PosixFile>(fd, path));
    }

    Result<std::unique_ptr<File>> createNew(const std::string& path,
                                            std::optional<unsigned> permissions) override {
        const mode_t openMode = permissions ? static_cast<mode_t>(*permissions & 0600) : 0666;
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, openMode);
        if (fd < 0) {
            // A missing folder is a failed write here, not a missing file.
            return errno == EEXIST ? Status::refused(path + ": already exists")
                                   : failureOf(path, "create", errno);
        }
        auto file = std::make_unique<PosixFile>(fd, path);
        // fchmod, not the open mode: the umask must not narrow the bits given.
        if (permissions && ::fchmod(fd, static_cast<mode_t>(*permissions)) != 0) {
            Status failure = errnoStatus("chmod", path, errno);
            file.reset();
            ::unlink(path.c_str());
            return failure;
        }
        return std::unique_ptr<File>(std::move(file));
    }

    Result<unsigned> permissions(const std::string& path) override {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            return errnoStatus("stat", path, errno);
        }
        return static_cast<unsigned>(info.st_mode & 07777);
    }

    Status rename(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) {
            return errnoStatus("rename to " + to, from, errno);
        }
        return Status::ok();
    }

    Status renameNoReplace(const std::string& from, const std::string& to) override {
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
            return Status::ok();
        }
        const int error = errno;
        if (error == EEXIST) {
            return Status::refused(to + ": already exists");
        }
        // A file system without the flag (some network and FUSE ones) gets
        // the check and the rename as two steps.
        if (error == EINVAL || error == ENOSYS) {
            return exists(to) ? Status::refused(to + ": already exists") : rename(from, to);
        }
        return errnoStatus("rename to " + to, from, error);
    }

    Status remove(const std::string& path) override {
        if (::unlink(path.c_str()) != 0) {
            return errnoStatus("unlink", path, errno);
        }
        return Status::ok();
    }

    Result<std::uint64_t> size(const std::string& path) override {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            return errnoStatus("stat", path, errno);
        }
        return static_cast<std::uint64_t>(info.st_size);
    }

    Status syncFolder(const std::string& folder) override {
        return onFolder(folder, ::fsync, "fsync folder");
    }

    bool syncsInParallel() const override { return true; }

  private:
    // `call` on the folder opened for it.
    static Status onFolder(const std::string& folder, int (*call)(int), const char* what) {
        int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            return errnoStatus("open folder", folder, errno);
        }
        int rc = call(fd);
        int error = errno;
        ::close(fd);
        if (rc != 0) {
            return errnoStatus(what, folder, error);
        }
        return Status::ok();
    }
};

}  // namespace

std::vector<Status> runSyncs(FileSystem& fs, const std::vector<std::function<Status()>>& syncs) {
    std::vector<Status> results(syncs.size(), Status::ok());
    if (!fs.syncsInParallel() || syncs.size() < 2) {
        std::transform(syncs.begin(), syncs.end(), results.begin(),
                       [](const auto& sync) { return sync(); });
        return results;
    }
    std::vector<std::future<Status>> running;
    for (std::size_t i = 1; i < syncs.size(); ++i) {
        running.push_back(std::async(std::launch::async, syncs[i]));
    }
    results[0] = syncs[0]();
    for (std::size_t i = 1; i < syncs.size(); ++i) {
        results[i] = running[i - 1].get();
    }
    return results;
}

void startWritebackOfCompletedStretches(File& file, std::uint64_t offset, std::uint64_t length) {
    const std::uint64_t firstDone = offset / kWritebackStretchBytes;
    const std::uint64_t lastDone = (offset + length) / kWritebackStretchBytes;
    if (lastDone > firstDone) {
        file.startWriteback(firstDone * kWritebackStretchBytes,
                            (lastDone - firstDone) * kWritebackStretchBytes);
    }
}

Status File::discard(std::uint64_t offset, std::uint64_t lengthBytes) {
    const std::vector<char> zeros(
        static_cast<std::size_t>(std::min<std::uint64_t>(lengthBytes, kCopyBufferBytes)), '\0');
    for (std::uint64_t done = 0; done < lengthBytes;) {
        const auto part = std::min<std::uint64_t>(lengthBytes - done, zeros.size());
        if (Status s = writeAt(offset + done, std::span(zeros.data(), part)); !s) {
            return s;
        }
        done += part;
    }
    return Status::ok();
}

Status copyRange(File& source, std::uint64_t sourceOffset, File& target, std::uint64_t offset,
                 std::uint64_t lengthBytes) {
    auto copied = target.copyInKernel(source, sourceOffset, offset, lengthBytes);
    if (!copied) {
        return copied.status();
    }
    std::uint64_t done = copied.value();
    if (done == lengthBytes) {
        return Status::ok();
    }
    std::vector<char> buffer(
        static_cast<std::size_t>(std::min<std::uint64_t>(lengthBytes - done, kCopyBufferBytes)));
    while (done < lengthBytes) {
        const auto part =
            static_cast<std::size_t>(std::min<std::uint64_t>(lengthBytes - done, buffer.size()));
        std::span<char> bytes(buffer.data(), part);
        auto got = source.readAt(sourceOffset + done, bytes);
        if (!got) {
            return got.status();
        }
        if (got.value() != part) {
            return Status::corrupt("copy: the source ended early (offset " +
                                   std::to_string(sourceOffset + done + got.value()) + ")");
        }
        if (Status s = target.writeAt(offset + done, bytes); !s) {
            return s;
        }
        done += part;
    }
    return Status::ok();
}

Status makePrivateFolders(const std::string& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0) {
        return S_ISDIR(info.st_mode)
                   ? Status::ok()
                   : Status::ioError(folder + ": create folder: a file has that name");
    }
    const std::string parent = folderOf(folder);
    if (parent != folder && parent != ".") {
        if (Status made = makePrivateFolders(parent); !made) {
            return made;
        }
    }
    // Another process may make the same folder at the same moment.
    if (::mkdir(folder.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST) {
        return failureOf(folder, "create folder", errno);
    }
    return Status::ok();
}

FileSystem& posixFileSystem() {
    static PosixFileSystem fileSystem;
    return fileSystem;
}

std::string joinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return name;
    }
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string folderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace qf::base
