#include "boxtool/BoxToolArguments.h"

#include <charconv>

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
        *error = "no box '" + text + "' (boxes are 1-6, 10 and 11)";
        return false;
    }
    *box = *number;
    return true;
}

bool parseRecordNumber(const std::string& text, int* recordNumber, std::string* error) {
    auto number = parseNumber(text);
    if (!number || *number < 1) {
        *error = "'" + text + "' is not a record number";
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
                *error = arg + " needs a value";
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
                *error = "--box needs a value";
                return false;
            }
            if (!parseBox(args[++i], &parsed->box, error)) {
                return false;
            }
            parsed->searchOneBox = true;
        } else if (arg.starts_with("--")) {
            *error = "unknown option " + arg;
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
        *error = "no command given";
        return std::nullopt;
    }
    auto command = commandNamed(words[0]);
    if (!command) {
        *error = "unknown command '" + words[0] + "'";
        return std::nullopt;
    }
    parsed.command = *command;
    const std::size_t operands = words.size() - 1;
    const bool exportCommand = parsed.command == CommandKind::kExport;
    if ((!parsed.mboxPath.empty() || parsed.force) && !exportCommand) {
        *error = "--mbox and --force belong to export";
        return std::nullopt;
    }
    if ((parsed.exact || parsed.searchOneBox) && parsed.command != CommandKind::kSearch) {
        *error = "--box and --exact belong to search";
        return std::nullopt;
    }
    if (!parsed.lostSeenList.empty() &&
        (parsed.command != CommandKind::kReceive ||
         (parsed.lostSeenList != "fetch-all" && parsed.lostSeenList != "mark-seen"))) {
        *error = "--lost-seen-list belongs to receive and is fetch-all or mark-seen";
        return std::nullopt;
    }
    switch (parsed.command) {
        case CommandKind::kCheck:
        case CommandKind::kRecover:
        case CommandKind::kReceive:
            if (operands != 0) {
                *error = words[0] + " takes no operands";
                return std::nullopt;
            }
            return parsed;
        case CommandKind::kList:
        case CommandKind::kExport:
            if (operands != 1) {
                *error = words[0] + " needs one BOX";
                return std::nullopt;
            }
            if (exportCommand && parsed.mboxPath.empty()) {
                *error = "export needs --mbox FILE";
                return std::nullopt;
            }
            return parseBox(words[1], &parsed.box, error) ? std::optional(parsed) : std::nullopt;
        case CommandKind::kShow:
        case CommandKind::kOriginal:
        case CommandKind::kDelete:
            if (operands != 2) {
                *error = words[0] + " needs BOX and a record number N";
                return std::nullopt;
            }
            if (!parseBox(words[1], &parsed.box, error) ||
                !parseRecordNumber(words[2], &parsed.recordNumber, error)) {
                return std::nullopt;
            }
            return parsed;
        case CommandKind::kSearch:
            if (operands != 1 || words[1].empty()) {
                *error = "search needs one TEXT";
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
    return R"(Usage: quillfern-box [--folder PROGRAM_FOLDER] COMMAND

Reads and repairs the mail boxes of a Quillfern program folder.

Commands:
  list BOX                  one line per record: N, Subject, From (To for the
                            send history) and Date, separated by tabs
  show BOX N                the fields and the body of record N (where the
                            mail's original is kept: its texts as written)
  original BOX N            record N's mail as it came, on standard output
                            (exit status 1 when its original is not kept)
  delete BOX N              deletes record N and compacts the box; exits 7
                            when the record is deleted but the folder could
                            not be synced (a power cut may bring the record
                            back): do not delete again
  check                     checks every box and the address book (lengths,
                            status words, leftover temporary files); exits 1
                            when it finds a problem
  export BOX --mbox FILE [--force]
                            writes the box to FILE as an mbox (mboxrd); an
                            existing FILE is replaced only with --force
  search TEXT [--box BOX] [--exact]
                            the mails whose subject, sender, date or body
                            holds TEXT, one line each: BOX, N, Subject, From
                            (To for the send history) and Date, separated by
                            tabs; every box, or BOX only. Full- and half-width
                            forms, upper and lower case and the NEC and IBM
                            codes of a character are the same; --exact finds
                            TEXT's bytes in CP932 only. A box that could not
                            be searched to its end is named on stderr and the
                            exit status is 1
  recover                   repairs what an interrupted write or compaction
                            left (as the program does at start-up) and says
                            where any mail that was set aside now is
  receive [--lost-seen-list fetch-all|mark-seen]
                            fetches the waiting mail into the boxes, as the
                            program's Receive button does, with the folder's
                            corvid.ini, account and sorting registrations;
                            refused while the program runs on the folder.
                            Exit status: 0 every mail stored, 1 folder busy,
                            3 no POP3 server or it cannot be reached, 4 no ID
                            or password or the login refused, 5 some mail
                            could not be fetched or stored, or the server
                            did not confirm the deletions (the mail stays on
                            the server), 6 mail is left on the server
                            (corvid.ini KEEP=1) but its list of the mails
                            already stored is missing or damaged: nothing
                            was fetched, 7 every mail stored but that list
                            could not be written (the next receive stores
                            none twice). Then --lost-seen-list fetch-all
                            fetches every mail on the server again, and
                            --lost-seen-list mark-seen takes the mails now
                            on the server as stored

BOX is a box number: 1-5 the named boxes, 6 "その他", 10 the keep box,
11 the send history.

The program folder is, in this order: the --folder argument, the
QUILLFERN_FOLDER environment variable, the folder the installed program
keeps mail in ($XDG_DATA_HOME/Quillfern, ~/.local/share/Quillfern), or,
for a program not installed, the folder of this executable. The boxes are
in its "★MAilData" folder.

list, show, check, export and search change no box. delete, recover and receive
are refused while the program or another of these commands works on the
folder. Exit status: 0 done, 1 failed or a problem found, 2 bad arguments,
7 done but not yet durable.
)";
}

}  // namespace qf::boxtool
