// Test helper: a fresh folder under the system's temporary folder, removed
// with everything in it when the test ends; and whole-file reads and writes.
// Qt-free and without GoogleTest, so fuzz targets use it too.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

namespace qf::testing {

class TempFolder {
  public:
    // The folder is /tmp/<prefix>-XXXXXX (or under $TMPDIR).
    explicit TempFolder(std::string_view prefix = "quillfern") {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
        const char* made = ::mkdtemp(pattern.data());
        m_path = made != nullptr ? made : "";
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return m_path; }
    std::string file(std::string_view name) const { return m_path + "/" + std::string(name); }
    std::filesystem::path operator/(std::string_view name) const {
        return std::filesystem::path(m_path) / name;
    }

    // Removes everything below the folder, keeping the folder.
    void empty() const {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(m_path, ignored)) {
            std::filesystem::remove_all(entry.path(), ignored);
        }
    }

  private:
    std::string m_path;
};

inline std::string readBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::filesystem::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace qf::testing
