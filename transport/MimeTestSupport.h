// Helpers shared by the MIME tests: sample mails and scratch folders.
#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "tests/support/TempFolder.h"

namespace qf::transport::testing {

using qf::testing::readBytes;
using qf::testing::TempFolder;

// Every line end as CR LF, as the receive run hands a mail over.
inline std::string withCrLf(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            out += '\r';
        }
        out += text[i];
    }
    return out;
}

// A sample from tests/data/mail/, with CR LF line ends.
inline std::string sampleMail(const std::string& name) {
    const char* root = std::getenv("QF_SOURCE_DIR");
    std::string path = std::string(root ? root : ".") + "/tests/data/mail/" + name;
    std::string text = readBytes(path);
    EXPECT_FALSE(text.empty()) << "missing sample " << path;
    return withCrLf(text);
}

// Names in `folder`, without . and ..
inline std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> result;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                result.insert(name);
            }
        }
        ::closedir(dir);
    }
    return result;
}

}  // namespace qf::transport::testing
