// Test helpers of the settings tests: the shared temporary folder and
// whole-file reads and writes, and a file's permission bits.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "tests/support/TempFolder.h"

namespace qf::settings::testing {

using qf::testing::readBytes;
using qf::testing::TempFolder;
using qf::testing::writeBytes;

// The permission bits of the file (e.g. 0600).
inline unsigned permissionBits(const std::filesystem::path& file) {
    struct stat info {};
    ::stat(file.c_str(), &info);
    return info.st_mode & 07777;
}

}  // namespace qf::settings::testing
