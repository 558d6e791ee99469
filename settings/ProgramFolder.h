// The program folder and every path below it that the program uses.
//
// | path (under the program folder) | what                                  |
// |---------------------------------|---------------------------------------|
// | corvid.ini                      | server settings (ServerSettings.h)    |
// | ★MAilData/                      | data folder: box files, address book  |
// | ★MAilData/iniIdPass.ini         | account file (AccountFiles.h)         |
// | ★MAilData/iniIdPass2.ini        | sorting registrations (AccountFiles.h)|
// | ★MAilData/.lock                 | single-writer lock (FolderLock.h)     |
// | 添付フォルダ/                   | attachment folder                     |
// | 添付フォルダ/0.txt              | work file of the receive run          |
// | ■TextQuickSave/                 | quick-save folder                     |
// | Data/                           | button pictures                       |
//
// The program folder is the folder of the executable (data lives beside the
// program), unless the environment variable QUILLFERN_FOLDER names another
// folder: the one override, for tests and the demo.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "store/FileSystem.h"
#include "text/Status.h"

namespace qf::settings {

inline constexpr char kProgramFolderVariable[] = "QUILLFERN_FOLDER";

class ProgramFolder {
  public:
    // `root` is used as given; relative paths are relative to the working
    // directory at each use, so callers pass an absolute one.
    explicit ProgramFolder(std::filesystem::path root);

    // QUILLFERN_FOLDER when it is set and not empty, else the folder of the
    // running executable. Fails with kNotFound when neither can be found.
    static Result<ProgramFolder> locate();

    // The choice locate() makes, given the variable's value (empty = unset)
    // and the executable's path. A relative override is made absolute.
    static ProgramFolder choose(std::string_view overrideFolder,
                                const std::filesystem::path& executable);

    const std::filesystem::path& root() const { return m_root; }
    std::filesystem::path dataFolder() const;
    std::filesystem::path attachmentFolder() const;
    std::filesystem::path quickSaveFolder() const;
    std::filesystem::path pictureFolder() const;
    std::filesystem::path serverSettingsFile() const;
    std::filesystem::path accountFile() const;
    std::filesystem::path sortingFile() const;
    std::filesystem::path lockFile() const;
    std::filesystem::path workFile() const;
    // A file of the data folder by name, e.g. dataFile("kdxdata2.data").
    std::filesystem::path dataFile(std::string_view name) const;

    // Creates the program folder (when an override names a new one) and the
    // data, attachment and quick-save folders when they are missing. Fails
    // with kIoError naming the folder when one cannot be created or a file of
    // that name is in the way. Existing folders and their contents are left
    // as they are.
    Status ensureFolders() const;

    // Temporary files of whole-file writes (corvid.ini, the two INI files,
    // quick saves) that a crash cut short, "<file>.tmp-<process id>": found
    // by check, removed at start-up and by recover (under the folder's lock,
    // when no write runs; the old file beside each is whole).
    std::vector<std::string> leftoverTemporaries() const;
    Result<std::vector<std::string>> removeLeftoverTemporaries(
        store::FileSystem& fileSystem = store::posixFileSystem()) const;

  private:
    std::filesystem::path m_root;
};

}  // namespace qf::settings
