#include "settings/ProgramFolder.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "settings/ServerSettings.h"
#include "settings/TestFolder.h"

namespace qf::settings {
namespace {

using testing::TempFolder;
using testing::writeBytes;
namespace fs = std::filesystem;

TEST(ProgramFolderTest, PathsLieWhereTheProgramExpectsThem) {
    ProgramFolder folder("/opt/qf");
    EXPECT_EQ(folder.dataFolder(), fs::path("/opt/qf/★MAilData"));
    EXPECT_EQ(folder.attachmentFolder(), fs::path("/opt/qf/添付フォルダ"));
    EXPECT_EQ(folder.quickSaveFolder(), fs::path("/opt/qf/■TextQuickSave"));
    EXPECT_EQ(folder.pictureFolder(), fs::path("/opt/qf/Data"));
    EXPECT_EQ(folder.serverSettingsFile(), fs::path("/opt/qf/corvid.ini"));
    EXPECT_EQ(folder.accountFile(), fs::path("/opt/qf/★MAilData/iniIdPass.ini"));
    EXPECT_EQ(folder.sortingFile(), fs::path("/opt/qf/★MAilData/iniIdPass2.ini"));
    EXPECT_EQ(folder.lockFile(), fs::path("/opt/qf/★MAilData/.lock"));
    EXPECT_EQ(folder.linkSocketFile(), fs::path("/opt/qf/★MAilData/.link"));
    EXPECT_EQ(folder.workFile(), fs::path("/opt/qf/添付フォルダ/0.txt"));
    EXPECT_EQ(folder.dataFile("kdxdata2.data"), fs::path("/opt/qf/★MAilData/kdxdata2.data"));
}

fs::path rootOf(const FolderEnvironment& env, const fs::path& executable) {
    Result<ProgramFolder> folder = ProgramFolder::choose(env, executable);
    return folder ? folder.value().root() : fs::path("(not found)");
}

// A copied folder: the executable beside its own Data/, in a folder the user writes.
class PortableFolderTest : public ::testing::Test {
  protected:
    PortableFolderTest() { fs::create_directories(m_temp / "copy/Data"); }
    fs::path executable() const { return m_temp / "copy/quillfern"; }
    TempFolder m_temp;
};

TEST_F(PortableFolderTest, MailStaysBesideTheProgram) {
    Result<ProgramFolder> folder =
        ProgramFolder::choose({"", "/home/u/.data", "/home/u"}, executable());
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder.value().root(), m_temp / "copy");
    EXPECT_EQ(folder.value().shippedPictureFolder(), m_temp / "copy/Data");
    EXPECT_FALSE(ProgramFolder::runsInstalled(m_temp / "copy"));
}

TEST_F(PortableFolderTest, OverrideWinsAndIsMadeAbsolute) {
    EXPECT_EQ(rootOf({"/srv/demo", "", "/home/u"}, executable()), fs::path("/srv/demo"));
    EXPECT_EQ(rootOf({"demo", "", "/home/u"}, executable()), fs::current_path() / "demo");
}

// An installed program: <prefix>/bin/quillfern beside <prefix>/share/quillfern/Data.
class InstalledFolderTest : public ::testing::Test {
  protected:
    InstalledFolderTest() {
        fs::create_directories(m_temp / "usr/bin");
        fs::create_directories(m_temp / "usr/share/quillfern/Data");
    }
    fs::path executable() const { return m_temp / "usr/bin/quillfern"; }
    TempFolder m_temp;
};

TEST_F(InstalledFolderTest, MailGoesToTheUsersDataFolder) {
    EXPECT_TRUE(ProgramFolder::runsInstalled(m_temp / "usr/bin"));
    EXPECT_EQ(rootOf({"", "/home/u/.data", "/home/u"}, executable()),
              fs::path("/home/u/.data/Quillfern"));
    EXPECT_EQ(rootOf({"", "", "/home/u"}, executable()),
              fs::path("/home/u/.local/share/Quillfern"));
    // A relative XDG_DATA_HOME is not a base directory.
    EXPECT_EQ(rootOf({"", "rel", "/home/u"}, executable()),
              fs::path("/home/u/.local/share/Quillfern"));
}

TEST_F(InstalledFolderTest, PicturesComeFromTheShareFolderWhateverTheProgramFolder) {
    for (const FolderEnvironment& env :
         {FolderEnvironment{"", "", "/home/u"}, FolderEnvironment{"/srv/demo", "", ""}}) {
        Result<ProgramFolder> folder = ProgramFolder::choose(env, executable());
        ASSERT_TRUE(folder);
        EXPECT_EQ(folder.value().shippedPictureFolder(), m_temp / "usr/share/quillfern/Data");
    }
    EXPECT_EQ(rootOf({"/srv/demo", "", ""}, executable()), fs::path("/srv/demo"));
}

TEST_F(InstalledFolderTest, NoHomeIsReported) {
    Result<ProgramFolder> folder = ProgramFolder::choose({"", "", ""}, executable());
    ASSERT_FALSE(folder);
    EXPECT_EQ(folder.status().code(), StatusCode::kNotFound);
}

// Root writes every folder, so the check runs in a child that has become
// `nobody`; as an ordinary user it runs here. True when the check held.
bool asOrdinaryUser(const std::function<bool()>& check) {
    if (::geteuid() != 0) {
        return check();
    }
    const passwd* nobody = ::getpwnam("nobody");
    const uid_t uid = nobody != nullptr ? nobody->pw_uid : 65534;
    const gid_t gid = nobody != nullptr ? nobody->pw_gid : 65534;
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped =
            ::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 && ::setuid(uid) == 0;
        ::_exit(!dropped ? 2 : check() ? 0 : 1);
    }
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << "could not become nobody";
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(ProgramFolderTest, AFolderTheUserCannotWriteCountsAsInstalled) {
    TempFolder temp;
    fs::create_directories(temp / "locked");
    fs::create_directories(temp / "open");
    // Anyone may pass the temporary folder; nobody may write "locked".
    const auto readAndPass = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                             fs::perms::group_exec | fs::perms::others_read |
                             fs::perms::others_exec;
    fs::permissions(temp.path(), readAndPass | fs::perms::owner_write);
    fs::permissions(temp / "locked", readAndPass);
    fs::permissions(temp / "open", fs::perms::all);
    EXPECT_TRUE(asOrdinaryUser([&] { return ProgramFolder::runsInstalled(temp / "locked"); }));
    EXPECT_TRUE(asOrdinaryUser([&] { return !ProgramFolder::runsInstalled(temp / "open"); }));
}

TEST(ProgramFolderTest, LocateReadsTheEnvironmentOrFindsThisExecutable) {
    ::setenv(kProgramFolderVariable, "/srv/demo", 1);
    Result<ProgramFolder> overridden = ProgramFolder::locate();
    ::unsetenv(kProgramFolderVariable);
    ASSERT_TRUE(overridden);
    EXPECT_EQ(overridden.value().root(), fs::path("/srv/demo"));

    Result<ProgramFolder> own = ProgramFolder::locate();
    ASSERT_TRUE(own);
    EXPECT_TRUE(fs::exists(own.value().root() / "settings_test"));
}

TEST(ProgramFolderTest, EnsureFoldersCreatesMissingOnesAndKeepsExistingContent) {
    TempFolder temp;
    ProgramFolder folder(temp / "new-program-folder");
    ASSERT_TRUE(folder.ensureFolders());
    writeBytes(folder.dataFile("kdxdata2.data"), "mail");
    ASSERT_TRUE(folder.ensureFolders());
    EXPECT_TRUE(fs::is_directory(folder.dataFolder()));
    EXPECT_TRUE(fs::is_directory(folder.attachmentFolder()));
    EXPECT_TRUE(fs::is_directory(folder.quickSaveFolder()));
    EXPECT_EQ(fs::file_size(folder.dataFile("kdxdata2.data")), 4u);
    // The new folder got its settings file, with every value empty.
    EXPECT_EQ(readServerSettings(folder.serverSettingsFile()), ServerSettings{});
    EXPECT_TRUE(fs::exists(folder.serverSettingsFile()));
}

TEST(ProgramFolderTest, AnExistingFolderGetsNoSettingsFile) {
    TempFolder temp;
    ASSERT_TRUE(ProgramFolder(temp.path()).ensureFolders());
    EXPECT_FALSE(fs::exists(ProgramFolder(temp.path()).serverSettingsFile()));
}

TEST(ProgramFolderTest, FileInThePlaceOfAFolderIsReported) {
    TempFolder temp;
    ProgramFolder folder(temp.path());
    writeBytes(folder.attachmentFolder(), "not a folder");
    Status status = folder.ensureFolders();
    EXPECT_EQ(status.code(), StatusCode::kIoError);
    EXPECT_NE(status.message().find("添付フォルダ"), std::string::npos);
}

TEST(ProgramFolderTest, FolderBelowAFileCannotBeCreated) {
    TempFolder temp;
    writeBytes(temp / "plain-file", "");
    Status status = ProgramFolder(temp / "plain-file").ensureFolders();
    EXPECT_EQ(status.code(), StatusCode::kIoError);
}

}  // namespace
}  // namespace qf::settings
