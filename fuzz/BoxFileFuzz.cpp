// Fuzz target: bytes as a box file (the first byte picks the box: a
// receiving box, the keep box or the send history), then everything the
// store tool does with one: list, show every record, check, recover, check.
// After recover, check may report only what recover leaves by design (a
// record without CR LF or with a status word no live record has, more
// records than a box may hold).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "store/BoxCatalogue.h"
#include "store/MailStore.h"
#include "tests/support/TempFolder.h"

namespace {

constexpr int kBoxes[] = {6, 10, 11};
constexpr int kMaxShown = 8;

void touch(const std::string& text) {
    static volatile std::size_t sink = 0;
    sink = sink + text.size();
}

void listAndShow(qf::store::MailStore& store, int box) {
    (void)store.list(box, [](const qf::store::ListEntry& entry) {
        touch(entry.subject + entry.fromOrTo + entry.date);
    });
    const auto count = store.count(box);
    const int shown = count ? std::min(count.value(), kMaxShown) : 0;
    for (int n = 1; n <= shown; ++n) {
        if (store.readRecord(box, n).isOk()) {
            const qf::store::MailFields fields = store.currentFields(box);
            touch(fields.subject + fields.fromOrTo + fields.date + fields.body);
        }
    }
}

// A mark recover finishes only when the marked records have their CR LF;
// records it cannot place (no CR LF, an odd status word) stay as they are.
bool leftByDesign(const qf::store::FileProblem& problem,
                  const std::vector<qf::store::FileProblem>& all) {
    using Kind = qf::store::FileProblemKind;
    const bool unknownRecords = std::any_of(
        all.begin(), all.end(), [](const auto& p) { return p.kind == Kind::kNoLineEnd; });
    return problem.kind == Kind::kNoLineEnd || problem.kind == Kind::kUnknownStatusWord ||
           problem.kind == Kind::kTooManyRecords ||
           (unknownRecords && problem.kind == Kind::kMarkedDeleted);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const qf::testing::TempFolder folder("qf-fuzz");
    if (size == 0) {
        return 0;
    }
    const int box = kBoxes[data[0] % 3];
    const qf::store::BoxInfo* info = qf::store::findBox(box);
    const std::string dataFolder = folder.path();
    {
        std::ofstream out(folder / info->fileName, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
    }
    qf::store::MailStore store(dataFolder);
    listAndShow(store, box);
    (void)qf::store::checkDataFolder(dataFolder);
    const qf::store::RecoveryReport recovered = qf::store::recoverLeftovers(dataFolder);
    if (recovered.status.isOk()) {
        for (const qf::store::FileReport& report : qf::store::checkDataFolder(dataFolder)) {
            for (const qf::store::FileProblem& problem : report.problems) {
                if (!leftByDesign(problem, report.problems)) {
                    std::abort();  // check calls it damaged, recover did not repair it
                }
            }
        }
    }
    listAndShow(store, box);
    folder.empty();
    return 0;
}
