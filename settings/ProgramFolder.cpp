#include "settings/ProgramFolder.h"

#include <cstdlib>
#include <system_error>

#include "store/DurableWrite.h"

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
constexpr char kLockFile[] = ".lock";
constexpr char kWorkFile[] = "0.txt";

Status ensureFolder(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        return Status::ioError("フォルダ " + folder.string() + " を作成できません（" +
                               ec.message() + "）");
    }
    // create_directories reports no error when a file holds the name.
    if (!fs::is_directory(folder, ec)) {
        return Status::ioError("フォルダ " + folder.string() +
                               " を作成できません（同じ名前のファイルがあります）");
    }
    return Status::ok();
}

}  // namespace

ProgramFolder::ProgramFolder(fs::path root) : m_root(std::move(root)) {}

ProgramFolder ProgramFolder::choose(std::string_view overrideFolder, const fs::path& executable) {
    if (!overrideFolder.empty()) {
        std::error_code ec;
        fs::path absolute = fs::absolute(fs::path(overrideFolder), ec);
        return ProgramFolder(ec ? fs::path(overrideFolder) : absolute);
    }
    return ProgramFolder(executable.parent_path());
}

Result<ProgramFolder> ProgramFolder::locate() {
    const char* override = std::getenv(kProgramFolderVariable);
    std::error_code ec;
    // /proc/self/exe names the executable whatever the working directory or argv[0].
    fs::path executable = fs::read_symlink("/proc/self/exe", ec);
    if ((override == nullptr || *override == '\0') && ec) {
        return Status::notFound("プログラムのフォルダが分かりません（" + ec.message() + "）");
    }
    return choose(override ? override : "", executable);
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
fs::path ProgramFolder::workFile() const {
    return attachmentFolder() / kWorkFile;
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
         [](std::string_view name) { return name == kAccountFile || name == kSortingFile; }},
        {folder.quickSaveFolder(), [](std::string_view name) { return name.ends_with(".txt"); }},
    };
}

}  // namespace

std::vector<std::string> ProgramFolder::leftoverTemporaries() const {
    std::vector<std::string> found;
    for (const ReplacedFiles& files : replacedFiles(*this)) {
        const auto inFolder = store::leftoverTemporaries(files.folder.string(), files.isOurs);
        found.insert(found.end(), inFolder.begin(), inFolder.end());
    }
    return found;
}

Result<std::vector<std::string>> ProgramFolder::removeLeftoverTemporaries(
    store::FileSystem& fileSystem) const {
    std::vector<std::string> actions;
    for (const ReplacedFiles& files : replacedFiles(*this)) {
        auto removed =
            store::removeLeftoverTemporaries(files.folder.string(), files.isOurs, fileSystem);
        if (!removed) {
            return removed.status();
        }
        actions.insert(actions.end(), removed.value().begin(), removed.value().end());
    }
    return actions;
}

Status ProgramFolder::ensureFolders() const {
    for (const fs::path& folder : {dataFolder(), attachmentFolder(), quickSaveFolder()}) {
        if (Status s = ensureFolder(folder); !s) {
            return s;
        }
    }
    return Status::ok();
}

}  // namespace qf::settings
