// quillfern-box: the command-line tool over the mail store.
#include <iostream>
#include <string>
#include <vector>

#include "boxtool/BoxToolArguments.h"
#include "boxtool/BoxToolCommands.h"
#include "boxtool/TerminalWords.h"
#include "text/Cp932.h"

int main(int argc, char** argv) {
    using namespace qf::boxtool;
    std::string error;
    auto args = parseArguments(std::vector<std::string>(argv + 1, argv + argc), &error);
    if (!args) {
        std::cerr << kToolName << error << "\n\n" << usageText();
        return 2;
    }
    if (args->command == CommandKind::kHelp) {
        std::cout << usageText();
        return 0;
    }
    if (!qf::text::cp932ConversionAvailable()) {
        std::cerr << kToolName << terminalWords(TerminalSay::kNoCp932) << "\n";
        return 1;
    }
    const qf::Result<std::string> folder = programFolder(*args);
    if (!folder) {
        std::cerr << kToolName << terminalWords(TerminalSay::kNoProgramFolder, {}, folder.status())
                  << "\n";
        return 1;
    }
    return runCommand(*args, folder.value(), std::cout, std::cerr);
}
