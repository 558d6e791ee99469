// Which of the program folder's own folders a refusal is about.
#pragma once

#include <array>
#include <filesystem>

#include "settings/ProgramFolder.h"

namespace qf::settings {

// The folders ProgramFolder::ensureFolders makes and keeps the user's alone:
// the program folder, then its data, attachment and quick-save folders.
std::array<std::filesystem::path, 4> privateFoldersOf(const ProgramFolder& folder);

// The first of those folders that belongs to another user, or an empty path
// when none does (or none can be looked at): the folder the message of a
// kRefused from ensureFolders names, since the user must put that one right.
std::filesystem::path folderOfAnotherUser(const ProgramFolder& folder);

}  // namespace qf::settings
