// The small file-system seam under the store and every other core part that
// writes files (settings, transport, the receive journal).
//
// Every store operation reaches the disk through a FileSystem, so a test can
// wrap the real one and fail the n-th write, flush, sync or rename and then
// check that no mail was lost. The default is plain POSIX: unbuffered pread
// and pwrite, fsync for sync, rename(2) for an atomic replace.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/Status.h"

namespace qf::base {

// Mail is private to its user: what the program makes for itself is the
// owner's alone, whatever the umask (which may only narrow these further).
inline constexpr unsigned kPrivateFolderMode = 0700;
inline constexpr unsigned kPrivateFileMode = 0600;

enum class OpenMode {
    kRead,       // existing file, read only
    kReadWrite,  // read and write; created empty (kPrivateFileMode) when missing
    kTruncate,   // read and write; created (kPrivateFileMode) or emptied
};

// An open file. Offsets and sizes are in bytes.
class File {
  public:
    virtual ~File() = default;

    // Reads up to out.size() bytes at `offset`; fewer only at the file's end.
    virtual Result<std::size_t> readAt(std::uint64_t offset, std::span<char> out) = 0;
    // Writes all of `data` at `offset`, or fails.
    virtual Status writeAt(std::uint64_t offset, std::span<const char> data) = 0;
    // Hands buffered data to the operating system.
    virtual Status flush() = 0;
    // Makes the written data durable (fsync).
    virtual Status sync() = 0;
    virtual Result<std::uint64_t> size() = 0;
    virtual Status truncate(std::uint64_t lengthBytes) = 0;

    // Copies up to lengthBytes bytes of `source` at sourceOffset to `offset`
    // of this file inside the kernel, without passing them through user
    // space, and returns how many it copied. Fewer (even none) when the file
    // systems cannot copy that way or the source ends: copyRange() moves the
    // rest through a buffer. The default copies nothing.
    virtual Result<std::uint64_t> copyInKernel(File& /*source*/, std::uint64_t /*sourceOffset*/,
                                               std::uint64_t /*offset*/,
                                               std::uint64_t /*lengthBytes*/) {
        return std::uint64_t{0};
    }

    // Makes lengthBytes bytes at `offset` read as zeros, giving their disk
    // space back where the file system can (a hole); the file's length
    // stays. What was there is gone either way. The default writes zeros.
    virtual Status discard(std::uint64_t offset, std::uint64_t lengthBytes);

    // Asks the system to start writing lengthBytes at `offset` to disk now,
    // without waiting: a later sync then has less left to wait for. Only a
    // hint; nothing is durable before sync(). The default does nothing.
    virtual void startWriteback(std::uint64_t /*offset*/, std::uint64_t /*lengthBytes*/) {}
};

// For a file written by appends: starts the writeback of each whole stretch
// of kWritebackStretchBytes that the write of [offset, offset + length) just
// completed, so that a run's data is on its way to disk while it goes on.
constexpr std::uint64_t kWritebackStretchBytes = std::uint64_t{1} << 20;
void startWritebackOfCompletedStretches(File& file, std::uint64_t offset, std::uint64_t length);

// Copies lengthBytes bytes of `source` at sourceOffset to `offset` of
// `target`: in the kernel where it can, through a buffer for the rest. A
// source that ends early gives kCorrupt.
Status copyRange(File& source, std::uint64_t sourceOffset, File& target, std::uint64_t offset,
                 std::uint64_t lengthBytes);

class FileSystem {
  public:
    virtual ~FileSystem() = default;

    virtual Result<std::unique_ptr<File>> open(const std::string& path, OpenMode mode) = 0;
    // Creates `path` for writing; kRefused when anything (a link too) is
    // there already. The file gets exactly `permissions` when given (the
    // umask does not narrow them), otherwise 0666 less the umask.
    virtual Result<std::unique_ptr<File>> createNew(const std::string& path,
                                                    std::optional<unsigned> permissions) = 0;
    // The permission bits (07777) of an existing file.
    virtual Result<unsigned> permissions(const std::string& path) = 0;
    // Replaces `to` atomically when it exists.
    virtual Status rename(const std::string& from, const std::string& to) = 0;
    // Renames only when `to` does not exist (checked atomically with the
    // rename); kRefused when it does.
    virtual Status renameNoReplace(const std::string& from, const std::string& to) = 0;
    virtual Status remove(const std::string& path) = 0;
    // The file's length; a notFound Status when it does not exist.
    virtual Result<std::uint64_t> size(const std::string& path) = 0;
    // Makes renames and creations inside `folder` durable.
    virtual Status syncFolder(const std::string& folder) = 0;

    bool exists(const std::string& path) { return size(path).isOk(); }

    // Whether syncs of different files may run at once on different
    // threads (the operating system's may; a test's recording one may not).
    virtual bool syncsInParallel() const { return false; }
};

// Runs `syncs` (each the sync of other files) side by side where `fs`
// allows it, else one after another; their results in order. A journaling
// file system commits syncs that wait together in one go.
std::vector<Status> runSyncs(FileSystem& fs, const std::vector<std::function<Status()>>& syncs);

// Makes `folder` and every missing folder above it with kPrivateFolderMode;
// ok when it is there already (its mode is left alone). kIoError naming the
// folder when one cannot be made or a file holds its name.
Status makePrivateFolders(const std::string& folder);

// The process-wide POSIX file system.
FileSystem& posixFileSystem();

// "<folder>/<name>", and the folder part of a path ("." when there is none).
std::string joinPath(const std::string& folder, const std::string& name);
std::string folderOf(const std::string& path);

}  // namespace qf::base
