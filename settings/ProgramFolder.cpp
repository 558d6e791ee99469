#include "settings/ProgramFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "base/DurableWrite.h"
#include "settings/FolderOwner.h"
#include "settings/ServerSettings.h"

namespace qf::settings {

namespace fs = std::filesystem;

namespace {

// Folder and file names, UTF-8 (the file system's encoding here).
constexpr char kDataFolder[] = "★MAilData";
constexpr char kAttachmentFolder[] = "添付フォルダ";
constexpr char kQuickSaveFolder[] = "■TextQuickSave";
constexpr char kPictureFolder[] = "Data";
constexpr char kServerSettingsFile[] = "corvid.ini";
constexpr char kAccountFile[] = "iniIdPass.ini";
constexpr char kSortingFile[] = "iniIdPass2.ini";
constexpr char kSeenListFile[] = "receive.seen";
constexpr char kLockFile[] = ".lock";
constexpr char kLinkSocketFile[] = ".link";
constexpr char kWorkFile[] = "0.txt";
constexpr char kUserFolderName[] = "Quillfern";

std::string variable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// $XDG_DATA_HOME/Quillfern; a relative XDG_DATA_HOME is ignored, as the
// base directory rules ask.
fs::path userFolder(const FolderEnvironment& env) {
    if (fs::path(env.dataHome).is_absolute()) {
        return fs::path(env.dataHome) / kUserFolderName;
    }
    if (env.home.empty()) {
        return {};
    }
    return fs::path(env.home) / ".local/share" / kUserFolderName;
}

// Makes `folder` when it is missing and leaves it the user's alone: one of
// theirs is narrowed to 0700; another user's is refused, since the mail in it
// would be that user's to read and change.
Status ensurePrivateFolder(const fs::path& folder) {
    if (Status made = base::makePrivateFolders(folder.string()); !made) {
        return made;
    }
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) {
        return systemFailure(folder.string() + ": stat", errno);
    }
    if (info.st_uid != ::geteuid()) {
        return Status::refused(folder.string() + ": owned by user " + std::to_string(info.st_uid) +
                               ", not by user " + std::to_string(::geteuid()));
    }
    if ((info.st_mode & 07777) != base::kPrivateFolderMode &&
        ::chmod(folder.c_str(), base::kPrivateFolderMode) != 0) {
        return systemFailure(folder.string() + ": chmod", errno);
    }
    return Status::ok();
}

}  // namespace

FolderEnvironment FolderEnvironment::ofThisProcess() {
    return {variable(kProgramFolderVariable), variable("XDG_DATA_HOME"), variable("HOME")};
}

ProgramFolder::ProgramFolder(fs::path root) : m_root(std::move(root)) {}

bool ProgramFolder::runsInstalled(const fs::path& executableFolder) {
    std::error_code ec;
    return fs::is_directory(executableFolder / kInstalledShareFolder / kPictureFolder, ec) ||
           ::access(executableFolder.c_str(), W_OK) != 0;
}

Result<ProgramFolder> ProgramFolder::choose(const FolderEnvironment& env,
                                            const fs::path& executable) {
    const fs::path executableFolder = executable.parent_path();
    const bool installed = runsInstalled(executableFolder);
    fs::path root;
    if (!env.overrideFolder.empty()) {
        std::error_code ec;
        fs::path absolute = fs::absolute(fs::path(env.overrideFolder), ec);
        root = ec ? fs::path(env.overrideFolder) : absolute;
    } else if (installed) {
        root = userFolder(env);
        if (root.empty()) {
            return Status::notFound(
                "no folder for the mail: neither HOME nor XDG_DATA_HOME is set");
        }
    } else {
        root = executableFolder;
    }
    ProgramFolder folder(std::move(root));
    std::error_code ec;
    const fs::path shared = executableFolder / kInstalledShareFolder / kPictureFolder;
    folder.m_shippedPictures = fs::is_directory(shared, ec) ? shared.lexically_normal()
                                                            : executableFolder / kPictureFolder;
    return folder;
}

Result<ProgramFolder> ProgramFolder::locate() {
    std::error_code ec;
    // /proc/self/exe names the executable whatever the working directory or argv[0].
    fs::path executable = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return Status::notFound("/proc/self/exe: " + ec.message()).withOutsideText(ec.message());
    }
    return choose(FolderEnvironment::ofThisProcess(), executable);
}

fs::path ProgramFolder::dataFolder() const {
    return m_root / kDataFolder;
}
fs::path ProgramFolder::attachmentFolder() const {
    return m_root / kAttachmentFolder;
}
fs::path ProgramFolder::quickSaveFolder() const {
    return m_root / kQuickSaveFolder;
}
fs::path ProgramFolder::pictureFolder() const {
    return m_root / kPictureFolder;
}
fs::path ProgramFolder::serverSettingsFile() const {
    return m_root / kServerSettingsFile;
}
fs::path ProgramFolder::accountFile() const {
    return dataFile(kAccountFile);
}
fs::path ProgramFolder::sortingFile() const {
    return dataFile(kSortingFile);
}
fs::path ProgramFolder::lockFile() const {
    return dataFile(kLockFile);
}
fs::path ProgramFolder::linkSocketFile() const {
    return dataFile(kLinkSocketFile);
}
fs::path ProgramFolder::workFile() const {
    return attachmentFolder() / kWorkFile;
}
fs::path ProgramFolder::seenListFile() const {
    return dataFolder() / kSeenListFile;
}
fs::path ProgramFolder::dataFile(std::string_view name) const {
    return dataFolder() / name;
}

namespace {

// The folders the program replaces whole files in, each with the files that
// are its own there: the program folder may hold the user's other files.
struct ReplacedFiles {
    fs::path folder;
    std::function<bool(std::string_view)> isOurs;
};

std::vector<ReplacedFiles> replacedFiles(const ProgramFolder& folder) {
    return {
        {folder.root(), [](std::string_view name) { return name == kServerSettingsFile; }},
        {folder.dataFolder(),
         [](std::string_view name) {
             return name == kAccountFile || name == kSortingFile || name == kSeenListFile;
         }},
        {folder.quickSaveFolder(), [](std::string_view name) { return name.ends_with(".txt"); }},
    };
}

}  // namespace

std::vector<std::string> ProgramFolder::leftoverTemporaries() const {
    std::vector<std::string> found;
    for (const ReplacedFiles& files : replacedFiles(*this)) {
        const auto inFolder = base::leftoverTemporaries(files.folder.string(), files.isOurs);
        found.insert(found.end(), inFolder.begin(), inFolder.end());
    }
    return found;
}

Result<std::vector<base::RepairAction>> ProgramFolder::removeLeftoverTemporaries(
    base::FileSystem& fileSystem) const {
    std::vector<base::RepairAction> actions;
    for (const ReplacedFiles& files : replacedFiles(*this)) {
        auto removed =
            base::removeLeftoverTemporaries(files.folder.string(), files.isOurs, fileSystem);
        if (!removed) {
            return removed.status();
        }
        actions.insert(actions.end(), removed.value().begin(), removed.value().end());
    }
    return actions;
}

Status ProgramFolder::ensureFolders() const {
    std::error_code ec;
    const bool fresh = !fs::exists(m_root, ec) && !ec;
    for (const fs::path& folder : privateFoldersOf(*this)) {
        if (Status s = ensurePrivateFolder(folder); !s) {
            return s;
        }
    }
    // A new folder gets the settings file too, so its whole layout is there
    // for the user to see from the first start.
    if (fresh) {
        return writeServerSettings(serverSettingsFile(), ServerSettings{});
    }
    return Status::ok();
}

}  // namespace qf::settings
