// Runs one fuzz target over every input the fuzzers ever stopped on (kept in
// tests/data/fuzz/) and over its seed corpus: a crash found once stays found.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::filesystem::path> inputs() {
    std::vector<std::filesystem::path> files;
    std::stringstream folders(QF_FUZZ_INPUTS);
    for (std::string folder; std::getline(folders, folder, '|');) {
        if (!std::filesystem::is_directory(folder)) {
            continue;  // no input kept yet
        }
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path());
            }
        }
    }
    return files;
}

TEST(FuzzRegression, EveryKeptInputRunsCleanly) {
    const std::vector<std::filesystem::path> files = inputs();
    ASSERT_FALSE(files.empty());
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), {});
        SCOPED_TRACE(file.string());
        EXPECT_EQ(LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                         bytes.size()),
                  0);
    }
}

}  // namespace
