#include "settings/FolderOwner.h"

#include <sys/stat.h>
#include <unistd.h>

namespace qf::settings {

std::array<std::filesystem::path, 4> privateFoldersOf(const ProgramFolder& folder) {
    return {folder.root(), folder.dataFolder(), folder.attachmentFolder(),
            folder.quickSaveFolder()};
}

std::filesystem::path folderOfAnotherUser(const ProgramFolder& folder) {
    for (const std::filesystem::path& own : privateFoldersOf(folder)) {
        struct stat info {};
        if (::stat(own.c_str(), &info) == 0 && info.st_uid != ::geteuid()) {
            return own;
        }
    }
    return {};
}

}  // namespace qf::settings
