#include "boxtool/BoxShowOriginal.h"

#include <string>
#include <vector>

#include "boxtool/BoxToolCommands.h"
#include "boxtool/TerminalWords.h"
#include "settings/ProgramFolder.h"
#include "store/MailStore.h"
#include "viewer/BoxListing.h"

namespace qf::boxtool {

int showWithOriginal(const std::string& programFolder, int box, int recordNumber, std::ostream& out,
                     std::ostream& err) {
    const store::BoxInfo* info = store::findBox(box);
    if (info == nullptr) {
        err << kToolName << terminalWords(TerminalSay::kNoBox, {std::to_string(box)}) << "\n";
        return 1;
    }
    store::MailStore store(settings::ProgramFolder(programFolder).dataFolder().string());
    Result<viewer::ShownMail> mail = viewer::readMail(store, box, recordNumber);
    if (!mail) {
        const std::vector<std::string> which = {std::to_string(box), std::to_string(recordNumber)};
        err << kToolName
            << (mail.status().code() == StatusCode::kNotFound
                    ? terminalWords(TerminalSay::kNoRecord, which)
                    : terminalWords(TerminalSay::kMailNotRead, which, mail.status()))
            << "\n";
        return 1;
    }
    const viewer::ShownMail& shown = mail.value();
    const bool sent = info->kind == store::RecordKind::kSent;
    printShownRecord(
        {recordNumber, sent, shown.subject, shown.fromOrTo, shown.date, shown.to, shown.cc,
         store::readStatusWord(store.currentRecord(box), store::layoutOf(info->kind).format()),
         shown.original.has_value(), shown.body},
        out);
    return 0;
}

}  // namespace qf::boxtool
