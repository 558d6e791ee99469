#include "boxtool/BoxToolArguments.h"

#include <charconv>

#include "boxtool/TerminalWords.h"
#include "store/BoxCatalogue.h"

namespace qf::boxtool {

namespace {

std::optional<int> parseNumber(const std::string& text) {
    int value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

bool parseBox(const std::string& text, int* box, std::string* error) {
    auto number = parseNumber(text);
    if (!number || store::findBox(*number) == nullptr) {
        *error = terminalWords(TerminalSay::kNoSuchBox, {text});
        return false;
    }
    *box = *number;
    return true;
}

bool parseRecordNumber(const std::string& text, int* recordNumber, std::string* error) {
    auto number = parseNumber(text);
    if (!number || *number < 1) {
        *error = terminalWords(TerminalSay::kNotARecordNumber, {text});
        return false;
    }
    *recordNumber = *number;
    return true;
}

std::optional<CommandKind> commandNamed(const std::string& name) {
    if (name == "list") {
        return CommandKind::kList;
    }
    if (name == "show") {
        return CommandKind::kShow;
    }
    if (name == "delete") {
        return CommandKind::kDelete;
    }
    if (name == "check") {
        return CommandKind::kCheck;
    }
    if (name == "export") {
        return CommandKind::kExport;
    }
    if (name == "recover") {
        return CommandKind::kRecover;
    }
    if (name == "receive") {
        return CommandKind::kReceive;
    }
    if (name == "search") {
        return CommandKind::kSearch;
    }
    if (name == "original") {
        return CommandKind::kOriginal;
    }
    return std::nullopt;
}

// Takes the options (anywhere on the line) out of `args` into `parsed`.
bool takeOptions(std::vector<std::string>& args, Arguments* parsed, bool* help,
                 std::string* error) {
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            *help = true;
            return true;
        }
        if (arg == "--folder" || arg == "--mbox" || arg == "--lost-seen-list") {
            if (i + 1 == args.size()) {
                *error = terminalWords(TerminalSay::kOptionNeedsValue, {arg});
                return false;
            }
            (arg == "--folder" ? parsed->folder.emplace()
             : arg == "--mbox" ? parsed->mboxPath
                               : parsed->lostSeenList) = args[++i];
        } else if (arg == "--force") {
            parsed->force = true;
        } else if (arg == "--exact") {
            parsed->exact = true;
        } else if (arg == "--box") {
            if (i + 1 == args.size()) {
                *error = terminalWords(TerminalSay::kOptionNeedsValue, {arg});
                return false;
            }
            if (!parseBox(args[++i], &parsed->box, error)) {
                return false;
            }
            parsed->searchOneBox = true;
        } else if (arg.starts_with("--")) {
            *error = terminalWords(TerminalSay::kUnknownOption, {arg});
            return false;
        } else {
            rest.push_back(arg);
        }
    }
    args = rest;
    return true;
}

}  // namespace

std::optional<Arguments> parseArguments(const std::vector<std::string>& args, std::string* error) {
    Arguments parsed;
    std::vector<std::string> words = args;
    bool help = false;
    if (!takeOptions(words, &parsed, &help, error)) {
        return std::nullopt;
    }
    if (help) {
        return parsed;  // kHelp
    }
    if (words.empty()) {
        *error = terminalWords(TerminalSay::kNoCommand);
        return std::nullopt;
    }
    auto command = commandNamed(words[0]);
    if (!command) {
        *error = terminalWords(TerminalSay::kUnknownCommand, {words[0]});
        return std::nullopt;
    }
    parsed.command = *command;
    const std::size_t operands = words.size() - 1;
    const bool exportCommand = parsed.command == CommandKind::kExport;
    if ((!parsed.mboxPath.empty() || parsed.force) && !exportCommand) {
        *error = terminalWords(TerminalSay::kExportOptionsElsewhere);
        return std::nullopt;
    }
    if ((parsed.exact || parsed.searchOneBox) && parsed.command != CommandKind::kSearch) {
        *error = terminalWords(TerminalSay::kSearchOptionsElsewhere);
        return std::nullopt;
    }
    if (!parsed.lostSeenList.empty() &&
        (parsed.command != CommandKind::kReceive ||
         (parsed.lostSeenList != "fetch-all" && parsed.lostSeenList != "mark-seen"))) {
        *error = terminalWords(TerminalSay::kSeenListOptionElsewhere);
        return std::nullopt;
    }
    switch (parsed.command) {
        case CommandKind::kCheck:
        case CommandKind::kRecover:
        case CommandKind::kReceive:
            if (operands != 0) {
                *error = terminalWords(TerminalSay::kTakesNoOperands, {words[0]});
                return std::nullopt;
            }
            return parsed;
        case CommandKind::kList:
        case CommandKind::kExport:
            if (operands != 1) {
                *error = terminalWords(TerminalSay::kNeedsOneBox, {words[0]});
                return std::nullopt;
            }
            if (exportCommand && parsed.mboxPath.empty()) {
                *error = terminalWords(TerminalSay::kExportNeedsMbox);
                return std::nullopt;
            }
            return parseBox(words[1], &parsed.box, error) ? std::optional(parsed) : std::nullopt;
        case CommandKind::kShow:
        case CommandKind::kOriginal:
        case CommandKind::kDelete:
            if (operands != 2) {
                *error = terminalWords(TerminalSay::kNeedsBoxAndRecord, {words[0]});
                return std::nullopt;
            }
            if (!parseBox(words[1], &parsed.box, error) ||
                !parseRecordNumber(words[2], &parsed.recordNumber, error)) {
                return std::nullopt;
            }
            return parsed;
        case CommandKind::kSearch:
            if (operands != 1 || words[1].empty()) {
                *error = terminalWords(TerminalSay::kSearchNeedsText);
                return std::nullopt;
            }
            parsed.searchText = words[1];
            return parsed;
        case CommandKind::kHelp:
            break;
    }
    return std::nullopt;
}

std::string usageText() {
    return terminalWords(TerminalSay::kUsage) + "\n";
}

}  // namespace qf::boxtool
