#include "boxtool/CheckWords.h"

#include <cstddef>
#include <vector>

#include "boxtool/TerminalText.h"
#include "boxtool/TerminalWords.h"

namespace qf::boxtool {

namespace {

// "2, 5, 9", the first ten of a long list and how many more.
std::string recordList(const std::vector<int>& records) {
    constexpr std::size_t kShown = 10;
    std::string text;
    for (std::size_t i = 0; i < records.size() && i < kShown; ++i) {
        text += (i == 0 ? "" : ", ") + std::to_string(records[i]);
    }
    if (records.size() <= kShown) {
        return text;
    }
    return terminalWords(TerminalSay::kMoreRecords,
                         {text, std::to_string(records.size() - kShown)});
}

}  // namespace

std::string problemWords(const store::FileProblem& problem, const store::Shape& shape) {
    using Kind = store::FileProblemKind;
    const std::string records = recordList(problem.records);
    const std::string file = terminalText(problem.file);
    switch (problem.kind) {
        case Kind::kTornTail:
            return terminalWords(
                TerminalSay::kProblemTornTail,
                {std::to_string(shape.tornBytes), std::to_string(shape.wholeRecords)});
        case Kind::kTooManyRecords:
            return terminalWords(
                TerminalSay::kProblemTooManyRecords,
                {std::to_string(shape.wholeRecords), std::to_string(store::kMaxRecords)});
        case Kind::kMarkedDeleted:
            return terminalWords(TerminalSay::kProblemMarkedDeleted, {records});
        case Kind::kNoLineEnd:
            return terminalWords(TerminalSay::kProblemNoLineEnd, {records});
        case Kind::kUnknownStatusWord:
            return terminalWords(TerminalSay::kProblemUnknownStatusWord, {records});
        case Kind::kRedundantTemporary:
            return terminalWords(TerminalSay::kProblemRedundantTemporary, {file});
        case Kind::kTemporaryWithMail:
            return terminalWords(TerminalSay::kProblemTemporaryWithMail, {file});
        case Kind::kUnreadable:
            break;
    }
    return terminalWords(TerminalSay::kProblemUnreadable, {}, problem.outsideText);
}

std::string setAsideWords(const store::SetAsideFile& file) {
    return terminalWords(file.tornEnd ? TerminalSay::kSetAsideTornEnd : TerminalSay::kSetAsideKept,
                         {terminalText(file.name)});
}

}  // namespace qf::boxtool
