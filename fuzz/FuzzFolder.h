// A scratch folder for one fuzz process: made once under /tmp, emptied
// after every input so that files of one input never meet the next.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace qf::fuzz {

class FuzzFolder {
  public:
    FuzzFolder() {
        char pattern[] = "/tmp/qf-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        m_root = made != nullptr ? made : "/tmp";
    }
    ~FuzzFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    FuzzFolder(const FuzzFolder&) = delete;
    FuzzFolder& operator=(const FuzzFolder&) = delete;

    const std::filesystem::path& root() const { return m_root; }

    // Removes everything below the root, keeping the root.
    void empty() const {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(m_root, ignored)) {
            std::filesystem::remove_all(entry.path(), ignored);
        }
    }

  private:
    std::filesystem::path m_root;
};

}  // namespace qf::fuzz
