#include "boxtool/BoxToolCommands.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "base/NotDurable.h"
#include "boxtool/CheckWords.h"
#include "boxtool/TerminalText.h"
#include "boxtool/TerminalWords.h"
#include "settings/FolderLock.h"
#include "settings/ProgramFolder.h"
#include "store/BoxCatalogue.h"
#include "store/MailSearch.h"
#include "store/MailStore.h"
#include "store/MboxExport.h"
#include "store/MovedTwice.h"
#include "store/Originals.h"
#include "text/FixedField.h"
#include "words/RepairWords.h"
#include "words/Words.h"

namespace qf::boxtool {

namespace {

// One line of a listing: tabs and line breaks inside a field would break
// the columns, and no control character of a mail reaches the terminal.
std::string oneLine(std::string_view text) {
    return terminalText(text::cutAtNul(text));
}

std::string fileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

// Prints the sentence of `id` (with the outside text of `failure`, never its
// diagnostic) and gives the exit status of a failed command.
int fail(std::ostream& err, TerminalSay id, const std::vector<std::string>& context,
         const Status& failure = Status::ok()) {
    err << kToolName << terminalWords(id, context, failure) << "\n";
    return 1;
}

// Reads record n of the box into its current-record buffer; says why not,
// and is false, when the box has no such record or it cannot be read.
bool readExistingRecord(store::MailStore& store, int box, int recordNumber, std::ostream& err) {
    const std::vector<std::string> which = {std::to_string(box), std::to_string(recordNumber)};
    auto found = store.readRecord(box, recordNumber);
    if (!found) {
        fail(err, TerminalSay::kMailNotRead, which, found.status());
        return false;
    }
    if (!found.value()) {
        fail(err, TerminalSay::kNoRecord, which);
        return false;
    }
    return true;
}

int listBox(store::MailStore& store, int box, std::ostream& out, std::ostream& err) {
    Status s = store.list(box, [&](const store::ListEntry& e) {
        out << e.recordNumber << '\t' << oneLine(e.subject) << '\t' << oneLine(e.fromOrTo) << '\t'
            << oneLine(e.date) << '\n';
    });
    return s ? 0 : fail(err, TerminalSay::kBoxNotRead, {std::to_string(box)}, s);
}

bool hasOriginal(store::MailStore& store, int box) {
    auto found = store::Originals(store.dataFolder()).find(box, store.currentFields(box));
    return found && found.value();
}

int showOriginalProgram(const std::string& folder, const Arguments& args, std::ostream& out,
                        std::ostream& err);

int showRecord(store::MailStore& store, const std::string& folder, const Arguments& args,
               std::ostream& out, std::ostream& err) {
    const int box = args.box;
    if (!readExistingRecord(store, box, args.recordNumber, err)) {
        return 1;
    }
    if (hasOriginal(store, box)) {
        return showOriginalProgram(folder, args, out, err);
    }
    const store::BoxInfo& info = *store::findBox(box);
    const store::MailFields fields = store.currentFields(box);
    ShownRecord shown{
        args.recordNumber,
        info.kind == store::RecordKind::kSent,
        fields.subject,
        fields.fromOrTo,
        fields.date,
        {},
        {},
        store::readStatusWord(store.currentRecord(box), store::layoutOf(info.kind).format()),
        false,
        fields.body};
    printShownRecord(shown, out);
    return 0;
}

// Record N's original, byte for byte: exit status 1 when none is kept.
int writeOriginal(store::MailStore& store, int box, int recordNumber, std::ostream& out,
                  std::ostream& err) {
    if (!readExistingRecord(store, box, recordNumber, err)) {
        return 1;
    }
    auto found = store::Originals(store.dataFolder()).find(box, store.currentFields(box));
    if (!found) {
        return fail(err, TerminalSay::kOriginalNotRead,
                    {std::to_string(box), std::to_string(recordNumber)}, found.status());
    }
    if (!found.value()) {
        return fail(err, TerminalSay::kNoOriginal,
                    {std::to_string(recordNumber), std::to_string(box)});
    }
    out.write(found.value()->data(), static_cast<std::streamsize>(found.value()->size()));
    out.flush();
    return out ? 0 : 1;
}

// One line a hit as list prints it, with the box number in front; boxes not
// searched to their end are named on `err`.
int searchMail(const std::string& dataFolder, const Arguments& args, std::ostream& out,
               std::ostream& err) {
    store::SearchQuery query;
    query.text = args.searchText;
    query.exact = args.exact;
    if (args.searchOneBox) {
        query.boxes = {args.box};
    }
    auto result = store::searchBoxes(dataFolder, query);
    if (!result) {
        return fail(err, TerminalSay::kSearchFailed, {}, result.status());
    }
    for (const store::SearchHit& hit : result.value().hits) {
        out << hit.box << '\t' << hit.recordNumber << '\t' << oneLine(hit.subject) << '\t'
            << oneLine(hit.fromOrTo) << '\t' << oneLine(hit.date) << '\n';
    }
    for (const store::SearchProblem& problem : result.value().problems) {
        const std::string box = std::to_string(problem.box);
        err << kToolName
            << (problem.unsearchedBytes != 0
                    ? terminalWords(TerminalSay::kSearchBoxTornEnd,
                                    {box, std::to_string(problem.unsearchedBytes)})
                    : terminalWords(TerminalSay::kSearchBoxNotReadToEnd, {box},
                                    problem.outsideText))
            << "\n";
    }
    return result.value().problems.empty() ? 0 : 1;
}

int deleteRecord(store::MailStore& store, int box, int recordNumber, std::ostream& out,
                 std::ostream& err) {
    // The delete writes the current-record buffer, so it must hold record n.
    if (!readExistingRecord(store, box, recordNumber, err)) {
        return 1;
    }
    const Status deleted = store.deleteRecord(box, recordNumber);
    if (!deleted && !base::isNotDurable(deleted)) {
        return fail(err, TerminalSay::kMailNotDeleted,
                    {std::to_string(box), std::to_string(recordNumber)}, deleted);
    }
    auto left = store.count(box);
    out << terminalWords(TerminalSay::kDeleted,
                         {std::to_string(recordNumber), std::to_string(box)});
    if (left) {
        out << terminalWords(TerminalSay::kRecordsRemain, {std::to_string(left.value())});
    }
    out << "\n";
    if (!deleted) {
        // Done: a script that tried again would delete another mail.
        err << kToolName << terminalWords(TerminalSay::kDeletedNotDurable, {}, deleted) << "\n";
        return kDoneNotDurable;
    }
    return 0;
}

// Not a problem of any file, so it does not change the exit status: the
// user decides whether a mail is wanted twice.
void noteMailsInBothBoxes(const settings::ProgramFolder& folder, std::ostream& out) {
    const store::MailStore store(folder.dataFolder().string());
    auto pairs = store::mailsInBothBoxes(store);
    if (!pairs) {
        return;
    }
    for (const store::SameMail& pair : pairs.value()) {
        out << terminalWords(TerminalSay::kSameMailInBothBoxes,
                             {std::to_string(pair.otherRecord), std::to_string(store::kOtherBox),
                              std::to_string(pair.keepRecord), std::to_string(store::kKeepBox)})
            << "\n";
    }
}

int checkFolder(const settings::ProgramFolder& folder, std::ostream& out) {
    int problems = 0;
    for (const store::FileReport& report : store::checkDataFolder(folder.dataFolder().string())) {
        out << fileName(report.path) << ": ";
        if (report.exists) {
            out << terminalWords(TerminalSay::kFileShape,
                                 {std::to_string(report.shape.wholeRecords),
                                  std::to_string(report.shape.lengthBytes)})
                << "\n";
        } else {
            out << terminalWords(TerminalSay::kFileAbsent) << "\n";
        }
        for (const store::FileProblem& problem : report.problems) {
            out << terminalWords(TerminalSay::kFileProblem, {problemWords(problem, report.shape)})
                << "\n";
            ++problems;
        }
        for (const store::SetAsideFile& file : report.setAside) {
            out << setAsideWords(file) << "\n";
        }
    }
    for (const std::string& temporary : folder.leftoverTemporaries()) {
        out << terminalWords(TerminalSay::kLeftoverTemporary, {terminalText(temporary)}) << "\n";
        ++problems;
    }
    noteMailsInBothBoxes(folder, out);
    if (problems == 0) {
        out << terminalWords(TerminalSay::kNoProblems) << "\n";
        return 0;
    }
    out << terminalWords(TerminalSay::kProblemsFound, {std::to_string(problems)}) << "\n";
    return 1;
}

int recoverFolder(const settings::ProgramFolder& folder, std::ostream& out, std::ostream& err) {
    const store::RecoveryReport report = repairFolder(folder);
    if (!report.actions.empty()) {
        out << ui::repairLines(report.actions) << "\n";
    }
    if (!report.status) {
        return fail(err, TerminalSay::kNotRecovered, {}, report.status);
    }
    if (report.actions.empty()) {
        out << terminalWords(TerminalSay::kNothingToRecover) << "\n";
    }
    noteMailsInBothBoxes(folder, out);
    return 0;
}

bool writesBoxes(CommandKind command) {
    return command == CommandKind::kDelete || command == CommandKind::kRecover;
}

// show of a record whose original is kept runs in quillfern-box-receive, which
// decodes the original as the receive does.
int showOriginalProgram(const std::string& folder, const Arguments& args, std::ostream& out,
                        std::ostream& err) {
    const std::string program = executableFolder() + "/quillfern-box-receive";
    const std::string box = std::to_string(args.box);
    const std::string number = std::to_string(args.recordNumber);
    out.flush();
    err.flush();
    std::cout.flush();
    const char* argv[] = {program.c_str(), "--show",       folder.c_str(),
                          box.c_str(),     number.c_str(), nullptr};
    ::execv(program.c_str(), const_cast<char* const*>(argv));
    return fail(err, TerminalSay::kCannotStart, {program}, systemFailure(program, errno));
}

// receive runs in quillfern-box-receive, beside this program: only that one
// loads the network libraries. It takes over this process, so its output and
// exit status are the command's.
int startReceiveProgram(const std::string& folder, const std::string& lostSeenList,
                        std::ostream& out, std::ostream& err) {
    const std::string program = executableFolder() + "/quillfern-box-receive";
    out.flush();
    err.flush();
    std::cout.flush();
    const char* argv[] = {program.c_str(),      "--folder",
                          folder.c_str(),       lostSeenList.empty() ? nullptr : "--lost-seen-list",
                          lostSeenList.c_str(), nullptr};
    ::execv(program.c_str(), const_cast<char* const*>(argv));
    return fail(err, TerminalSay::kCannotStart, {program}, systemFailure(program, errno));
}

}  // namespace

Result<std::string> programFolder(const Arguments& args) {
    if (args.folder) {
        return *args.folder;
    }
    // The program's own rule: the override, the user's folder once
    // installed, else beside the executable.
    Result<settings::ProgramFolder> located = settings::ProgramFolder::locate();
    if (!located) {
        return located.status();
    }
    return located.value().root().string();
}

std::string executableFolder() {
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

int runCommand(const Arguments& args, const std::string& folder, std::ostream& out,
               std::ostream& err) {
    const std::string dataFolder = store::dataFolderOf(folder);
    std::error_code ignored;
    if (!std::filesystem::is_directory(dataFolder, ignored)) {
        return fail(err, TerminalSay::kNoDataFolder, {terminalText(dataFolder)});
    }
    // Commands that write a box hold the folder's lock, as the program and
    // receive do, so that no two writers ever touch one box file.
    std::optional<settings::FolderLock> lock;
    if (writesBoxes(args.command)) {
        auto acquired = settings::FolderLock::acquire(
            settings::ProgramFolder(std::filesystem::absolute(folder)).lockFile());
        if (!acquired) {
            err << kToolName << lockFailureWords(acquired.status(), folder) << "\n";
            return 1;
        }
        lock.emplace(std::move(acquired).value());
    }
    store::MailStore store(dataFolder);
    switch (args.command) {
        case CommandKind::kList:
            return listBox(store, args.box, out, err);
        case CommandKind::kShow:
            return showRecord(store, std::filesystem::absolute(folder).string(), args, out, err);
        case CommandKind::kOriginal:
            return writeOriginal(store, args.box, args.recordNumber, out, err);
        case CommandKind::kDelete:
            return deleteRecord(store, args.box, args.recordNumber, out, err);
        case CommandKind::kCheck:
            return checkFolder(settings::ProgramFolder(folder), out);
        case CommandKind::kRecover:
            return recoverFolder(settings::ProgramFolder(folder), out, err);
        case CommandKind::kExport: {
            Status s = store::exportMbox(store, args.box, args.mboxPath, args.force);
            const std::string path = terminalText(args.mboxPath);
            if (s.code() == StatusCode::kRefused) {
                return fail(err, TerminalSay::kExportFileExists, {path});
            }
            if (!s) {
                return fail(err, TerminalSay::kExportFailed, {std::to_string(args.box), path}, s);
            }
            out << terminalWords(TerminalSay::kExported, {std::to_string(args.box), path}) << "\n";
            return 0;
        }
        case CommandKind::kSearch:
            return searchMail(dataFolder, args, out, err);
        case CommandKind::kReceive:
            return startReceiveProgram(std::filesystem::absolute(folder).string(),
                                       args.lostSeenList, out, err);
        case CommandKind::kHelp:
            break;
    }
    return 0;
}

void printShownRecord(const ShownRecord& record, std::ostream& out) {
    std::string body(text::cutAtNul(record.body));
    std::erase(body, '\r');
    out << "Record: " << record.recordNumber << "\n"
        << "Subject: " << oneLine(record.subject) << "\n"
        << (record.sent ? "To: " : "From: ") << oneLine(record.party) << "\n";
    if (!record.sent && !record.to.empty()) {
        out << "To: " << oneLine(record.to) << "\n";
    }
    if (!record.cc.empty()) {
        out << "Cc: " << oneLine(record.cc) << "\n";
    }
    out << "Date: " << oneLine(record.date) << "\n"
        << "Status: " << record.status << "\n";
    if (record.original) {
        out << "Original: kept\n";
    }
    out << "\n" << terminalText(body, true) << (body.empty() || body.back() == '\n' ? "" : "\n");
}

store::RecoveryReport repairFolder(const settings::ProgramFolder& folder) {
    store::RecoveryReport report = store::recoverLeftovers(folder.dataFolder().string());
    auto removed = folder.removeLeftoverTemporaries();
    if (removed) {
        report.actions.insert(report.actions.end(), removed.value().begin(), removed.value().end());
    } else if (report.status) {
        report.status = removed.status();
    }
    return report;
}

std::string lockFailureWords(const Status& failure, const std::string& programFolder) {
    return ui::words(
        failure.code() == StatusCode::kRefused ? ui::Say::kFolderInUse : ui::Say::kFolderUnusable,
        {terminalText(programFolder)}, failure);
}

}  // namespace qf::boxtool
