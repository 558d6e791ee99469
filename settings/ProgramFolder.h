// The program folder and every path below it that the program uses.
//
// | path (under the program folder) | what                                  |
// |---------------------------------|---------------------------------------|
// | corvid.ini                      | server settings (ServerSettings.h)    |
// | ★MAilData/                      | data folder: box files, address book  |
// | ★MAilData/iniIdPass.ini         | account file (AccountFiles.h)         |
// | ★MAilData/iniIdPass2.ini        | sorting registrations (AccountFiles.h)|
// | ★MAilData/receive.seen          | mails left on the server (SeenList.h) |
// | ★MAilData/.lock                 | single-writer lock (FolderLock.h)     |
// | ★MAilData/.link                 | local socket of the running program   |
// | 添付フォルダ/                   | attachment folder                     |
// | 添付フォルダ/0.txt              | work file of the receive run          |
// | ■TextQuickSave/                 | quick-save folder                     |
// | Data/                           | button pictures                       |
//
// Which folder is the program folder:
//  1. the folder the environment variable QUILLFERN_FOLDER names (the one
//     override, for tests and the demo);
//  2. else, when the program runs installed, $XDG_DATA_HOME/Quillfern
//     (~/.local/share/Quillfern when that variable is unset or relative);
//  3. else the folder of the executable: a copied folder keeps its mail
//     beside the program (portable).
// The program runs installed when the installed share folder lies beside the
// executable's folder (<prefix>/share/quillfern next to <prefix>/bin), or when
// the executable's folder is not the user's to write. An installed program's
// pictures come from <prefix>/share/quillfern/Data.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "base/FileSystem.h"
#include "base/RepairAction.h"
#include "base/Status.h"

namespace qf::settings {

inline constexpr char kProgramFolderVariable[] = "QUILLFERN_FOLDER";
// The program's own files once installed, relative to the executable's folder.
inline constexpr char kInstalledShareFolder[] = "../share/quillfern";

// What the choice of the program folder reads from the environment.
struct FolderEnvironment {
    std::string overrideFolder;  // $QUILLFERN_FOLDER; empty when unset
    std::string dataHome;        // $XDG_DATA_HOME; empty when unset
    std::string home;            // $HOME

    static FolderEnvironment ofThisProcess();
};

class ProgramFolder {
  public:
    // `root` is used as given; relative paths are relative to the working
    // directory at each use, so callers pass an absolute one.
    explicit ProgramFolder(std::filesystem::path root);

    // The program folder of the running executable under this process's
    // environment (see the top of this file). Fails with kNotFound when the
    // executable cannot be found, or when it runs installed and neither
    // XDG_DATA_HOME nor HOME says where the user's files go.
    static Result<ProgramFolder> locate();

    // The choice locate() makes for `executable` under `env`. A relative
    // override is made absolute. Fails as locate() does for a missing home.
    static Result<ProgramFolder> choose(const FolderEnvironment& env,
                                        const std::filesystem::path& executable);

    // Whether an executable in `executableFolder` runs installed.
    static bool runsInstalled(const std::filesystem::path& executableFolder);

    // Where the pictures that came with the program lie: Data/ in the
    // installed share folder, or beside the executable. Empty for a folder
    // made from a path alone.
    const std::filesystem::path& shippedPictureFolder() const { return m_shippedPictures; }

    const std::filesystem::path& root() const { return m_root; }
    std::filesystem::path dataFolder() const;
    std::filesystem::path attachmentFolder() const;
    std::filesystem::path quickSaveFolder() const;
    std::filesystem::path pictureFolder() const;
    std::filesystem::path serverSettingsFile() const;
    std::filesystem::path accountFile() const;
    std::filesystem::path sortingFile() const;
    std::filesystem::path lockFile() const;
    // Where the program holding the lock takes mailto: links from a second start.
    std::filesystem::path linkSocketFile() const;
    std::filesystem::path workFile() const;
    // The list of mails a receive run left on the server (receive/SeenList.h).
    std::filesystem::path seenListFile() const;
    // A file of the data folder by name, e.g. dataFile("kdxdata2.data").
    std::filesystem::path dataFile(std::string_view name) const;

    // Creates the program folder when it is missing (a new override, or the
    // installed program's first start) with an empty-valued corvid.ini, and
    // the data, attachment and quick-save folders when they are missing. The
    // four folders end up the user's alone (0700): existing ones are
    // narrowed; their contents are left as they are. Fails with kRefused
    // naming the folder when one of them belongs to another user, with
    // kIoError when one cannot be created or a file of that name is in the way.
    Status ensureFolders() const;

    // Temporary files of whole-file writes (corvid.ini, the two INI files,
    // quick saves) that a crash cut short, "<file>.tmp-<process id>": found
    // by check, removed at start-up and by recover (under the folder's lock,
    // when no write runs; the old file beside each is whole).
    std::vector<std::string> leftoverTemporaries() const;
    Result<std::vector<base::RepairAction>> removeLeftoverTemporaries(
        base::FileSystem& fileSystem = base::posixFileSystem()) const;

  private:
    std::filesystem::path m_root;
    std::filesystem::path m_shippedPictures;
};

}  // namespace qf::settings
