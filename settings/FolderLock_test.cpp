#include "settings/FolderLock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "settings/TestFolder.h"

namespace qf::settings {
namespace {

using testing::TempFolder;

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

TEST_F(FolderLockTest, MissingFolderIsAnIoError) {
    Result<FolderLock> lock = FolderLock::acquire(folder / "missing" / ".lock");
    ASSERT_FALSE(lock);
    EXPECT_EQ(lock.status().code(), StatusCode::kIoError);
}

}  // namespace
}  // namespace qf::settings
