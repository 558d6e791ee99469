// One process at a time works on a program folder: the program itself or the
// store tool's receive and delete commands. A FolderLock holds an exclusive
// flock() on the lock file in the data folder for as long as it lives.
//
// Lock file ProgramFolder::lockFile(), "★MAilData/.lock":
//
// | bytes        | content                                             |
// |--------------|-----------------------------------------------------|
// | whole file   | PID of the holder as decimal ASCII digits, then LF  |
//
// The PID is only for the message shown to a second process; the lock itself
// is the flock, which the system releases when the holder exits or crashes,
// so a lock file left behind never blocks. The file is never deleted.
//
// The file is the user's alone (0600, in the 0700 data folder): flock needs
// no more than a read-only descriptor, so anyone who can open the file can
// lock the owner out. A file that is not the user's private plain file (one
// readable to others, a link, another user's) is replaced by a new one,
// unless a program of this user holds it right now.
#pragma once

#include <filesystem>

#include "base/Status.h"

namespace qf::settings {

class FolderLock {
  public:
    // Takes the lock of the program folder whose lock file is `lockFile`.
    // REQUIRES: the lock file's folder exists (ProgramFolder::ensureFolders).
    // Fails at once, without waiting, with kRefused when another process (or
    // another FolderLock of this process) holds it; the message says another
    // Quillfern process is using the folder and gives its PID when known.
    // Fails with kIoError when the lock file cannot be opened.
    static Result<FolderLock> acquire(const std::filesystem::path& lockFile);

    FolderLock(FolderLock&& other) noexcept;
    FolderLock& operator=(FolderLock&& other) noexcept;
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    ~FolderLock();  // releases the lock

    bool holdsLock() const { return m_fd >= 0; }

  private:
    explicit FolderLock(int fd) : m_fd(fd) {}
    void release();

    int m_fd = -1;
};

}  // namespace qf::settings
