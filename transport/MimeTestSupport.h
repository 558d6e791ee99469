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

namespace qf::transport::testing {

inline std::string readBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

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

// A fresh folder under /tmp, removed with everything below it at the end.
class ScratchFolder {
  public:
    ScratchFolder() {
        char pattern[] = "/tmp/qf-mime-XXXXXX";
        m_path = ::mkdtemp(pattern);
    }
    ~ScratchFolder() { std::system(("rm -rf '" + m_path + "'").c_str()); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return m_path; }

    // Names in `folder` (default: the scratch folder itself), without . and ..
    std::set<std::string> names(const std::string& folder = {}) const {
        std::set<std::string> result;
        if (DIR* dir = ::opendir((folder.empty() ? m_path : folder).c_str())) {
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

  private:
    std::string m_path;
};

}  // namespace qf::transport::testing
