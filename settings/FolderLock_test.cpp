#include "settings/FolderLock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "settings/TestFolder.h"

namespace qf::settings {
namespace {

using testing::permissionBits;
using testing::readBytes;
using testing::TempFolder;
using testing::writeBytes;

class FolderLockTest : public ::testing::Test {
  protected:
    TempFolder folder;
    std::filesystem::path lockFile = folder / ".lock";
};

TEST_F(FolderLockTest, SecondHolderInTheSameProcessIsRefusedUntilRelease) {
    Result<FolderLock> first = FolderLock::acquire(lockFile);
    ASSERT_TRUE(first);
    {
        Result<FolderLock> second = FolderLock::acquire(lockFile);
        ASSERT_FALSE(second);
        EXPECT_EQ(second.status().code(), StatusCode::kRefused);
        const std::string message = second.status().message();
        EXPECT_NE(message.find("PID " + std::to_string(::getpid())), std::string::npos) << message;
    }
    FolderLock moved = std::move(first).value();
    EXPECT_FALSE(FolderLock::acquire(lockFile));
    { FolderLock released = std::move(moved); }
    EXPECT_TRUE(FolderLock::acquire(lockFile));
}

// A child process takes the lock and waits; the parent is refused with the
// child's PID, and once the child is killed the lock is free again.
TEST_F(FolderLockTest, OtherProcessHoldsTheLockUntilItDies) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Result<FolderLock> lock = FolderLock::acquire(lockFile);
        const char answer = lock ? 'y' : 'n';
        [[maybe_unused]] ssize_t n = ::write(ready[1], &answer, 1);
        ::pause();
        ::_exit(0);
    }
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ASSERT_EQ(answer, 'y');

    Result<FolderLock> refused = FolderLock::acquire(lockFile);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.status().message().find("(PID " + std::to_string(child)), std::string::npos)
        << refused.status().message();

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    // The lock file is still there, but it no longer blocks.
    EXPECT_TRUE(std::filesystem::exists(lockFile));
    EXPECT_TRUE(FolderLock::acquire(lockFile));
}

// Lock files of earlier versions were 0644 in 0755 folders. flock needs no
// more than a read-only descriptor, and one opened then keeps working after
// any chmod: another user holding the lock with it must not keep the owner
// out of their own mail.
TEST_F(FolderLockTest, AnotherUserHoldingAnOpenLockFileDoesNotKeepTheOwnerOut) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "acting as another user needs root";
    }
    writeBytes(lockFile, "");
    ::chmod(lockFile.c_str(), 0644);
    ::chmod(folder.path().c_str(), 0755);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t stranger = ::fork();
    ASSERT_GE(stranger, 0);
    if (stranger == 0) {
        // What `flock -x .lock sleep 600` does, run by user nobody.
        const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
        const int fd = ::open(lockFile.c_str(), O_RDONLY);
        const char answer = dropped && fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
        [[maybe_unused]] ssize_t n = ::write(ready[1], &answer, 1);
        ::pause();
        ::_exit(0);
    }
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    EXPECT_EQ(answer, 'y');

    {
        Result<FolderLock> owner = FolderLock::acquire(lockFile);
        EXPECT_TRUE(owner) << owner.status().message();
        EXPECT_EQ(permissionBits(lockFile), 0600u);
        EXPECT_FALSE(FolderLock::acquire(lockFile));  // and it still locks
    }
    ::kill(stranger, SIGKILL);
    ::waitpid(stranger, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
}

// A program of this user (an earlier version) holding an open lock file
// still stops a second one; a link in the file's place is replaced, never
// followed.
TEST_F(FolderLockTest, AnOpenFileIsKeptWhileTheUserHoldsItAndALinkIsReplaced) {
    writeBytes(lockFile, std::to_string(::getpid()) + "\n");
    ::chmod(lockFile.c_str(), 0644);
    const int earlier = ::open(lockFile.c_str(), O_RDWR);
    ASSERT_EQ(::flock(earlier, LOCK_EX), 0);
    Result<FolderLock> refused = FolderLock::acquire(lockFile);
    EXPECT_EQ(refused.status().code(), StatusCode::kRefused);
    ::close(earlier);

    TempFolder outside;
    writeBytes(outside / "kept", "kept");
    std::filesystem::remove(lockFile);
    std::filesystem::create_symlink(outside / "kept", lockFile);
    Result<FolderLock> lock = FolderLock::acquire(lockFile);
    ASSERT_TRUE(lock) << lock.status().message();
    EXPECT_FALSE(std::filesystem::is_symlink(lockFile));
    EXPECT_EQ(permissionBits(lockFile), 0600u);
    EXPECT_EQ(readBytes(outside / "kept"), "kept");
}

TEST_F(FolderLockTest, MissingFolderIsAnIoError) {
    Result<FolderLock> lock = FolderLock::acquire(folder / "missing" / ".lock");
    ASSERT_FALSE(lock);
    EXPECT_EQ(lock.status().code(), StatusCode::kIoError);
}

}  // namespace
}  // namespace qf::settings
