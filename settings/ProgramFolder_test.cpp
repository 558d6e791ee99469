#include "settings/ProgramFolder.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "settings/TestFolder.h"

namespace qf::settings {
namespace {

using testing::TestFolder;
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
    EXPECT_EQ(folder.workFile(), fs::path("/opt/qf/添付フォルダ/0.txt"));
    EXPECT_EQ(folder.dataFile("kdxdata2.data"), fs::path("/opt/qf/★MAilData/kdxdata2.data"));
}

TEST(ProgramFolderTest, OverrideWinsOverTheExecutablesFolder) {
    EXPECT_EQ(ProgramFolder::choose("", "/opt/qf/bin/quillfern").root(), fs::path("/opt/qf/bin"));
    EXPECT_EQ(ProgramFolder::choose("/srv/demo", "/opt/qf/bin/quillfern").root(),
              fs::path("/srv/demo"));
    EXPECT_EQ(ProgramFolder::choose("demo", "/opt/qf/bin/quillfern").root(),
              fs::current_path() / "demo");
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
    TestFolder temp;
    ProgramFolder folder(temp / "new-program-folder");
    ASSERT_TRUE(folder.ensureFolders());
    writeBytes(folder.dataFile("kdxdata2.data"), "mail");
    ASSERT_TRUE(folder.ensureFolders());
    EXPECT_TRUE(fs::is_directory(folder.dataFolder()));
    EXPECT_TRUE(fs::is_directory(folder.attachmentFolder()));
    EXPECT_TRUE(fs::is_directory(folder.quickSaveFolder()));
    EXPECT_EQ(fs::file_size(folder.dataFile("kdxdata2.data")), 4u);
}

TEST(ProgramFolderTest, FileInThePlaceOfAFolderIsReported) {
    TestFolder temp;
    ProgramFolder folder(temp.path());
    writeBytes(folder.attachmentFolder(), "not a folder");
    Status status = folder.ensureFolders();
    EXPECT_EQ(status.code(), StatusCode::kIoError);
    EXPECT_NE(status.message().find("添付フォルダ"), std::string::npos);
}

TEST(ProgramFolderTest, FolderBelowAFileCannotBeCreated) {
    TestFolder temp;
    writeBytes(temp / "plain-file", "");
    Status status = ProgramFolder(temp / "plain-file").ensureFolders();
    EXPECT_EQ(status.code(), StatusCode::kIoError);
}

}  // namespace
}  // namespace qf::settings
