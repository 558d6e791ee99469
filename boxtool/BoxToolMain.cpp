// quillfern-box: the command-line tool over the mail store.
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "boxtool/BoxToolArguments.h"
#include "boxtool/BoxToolCommands.h"

namespace {

std::string executableFolder() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qf::boxtool;
    std::string error;
    auto args = parseArguments(std::vector<std::string>(argv + 1, argv + argc), &error);
    if (!args) {
        std::cerr << "quillfern-box: " << error << "\n\n" << usageText();
        return 2;
    }
    if (args->command == CommandKind::kHelp) {
        std::cout << usageText();
        return 0;
    }
    return runCommand(*args, programFolder(*args, executableFolder()), std::cout, std::cerr);
}
