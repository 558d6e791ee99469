// Deleting one mail of a large box through the viewer (the question answered
// Yes, the box compacted, the list refilled with the last mail shown) and
// the list refill alone. Offscreen, against a box file of 10,000 records
// (about 320 MB, written once into a temporary program folder).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <string>
#include <vector>

#include "bench/LargeBoxFile.h"
#include "bench/WindowBenchMain.h"
#include "settings/ProgramFolder.h"
#include "store/MailRecord.h"
#include "store/MailStore.h"
#include "ui/MessageBoxes.h"
#include "viewer/ViewerBoxes.h"
#include "viewer/ViewerWindow.h"

namespace {

constexpr int kBox = 4;
constexpr const char* kBoxFile = "kdxdata5.data";

// Every question is answered Yes.
class AnswerYes final : public qf::ui::MessageBoxes {
  public:
    bool show(QWidget*, const qf::ui::MessageRequest&) override { return true; }
    qf::ui::Choice choose(QWidget*, const qf::ui::MessageRequest&) override {
        return qf::ui::Choice::kYesButton;
    }
};

int listedMails(const qf::viewer::ViewerWindow& viewer) {
    return viewer.findChild<QTreeWidget*>(QStringLiteral("MailListView"))->topLevelItemCount();
}

struct OpenViewer {
    explicit OpenViewer(int records)
        : program(dir.path().toStdString()), store(program.dataFolder().string()) {
        (void)program.ensureFolders();
        qf::bench::writeLargeBox(program.dataFile(kBoxFile), records);
        viewer = std::make_unique<qf::viewer::ViewerWindow>(program, store);
        viewer->show();
        viewer->applyBox(*qf::viewer::findBox(kBox), QStringLiteral("仕事"));
        viewer->loadList();
    }
    QTemporaryDir dir;
    qf::settings::ProgramFolder program;
    qf::store::MailStore store;
    std::unique_ptr<qf::viewer::ViewerWindow> viewer;
};

void BM_DeleteOneThroughViewer(benchmark::State& state) {
    const int records = static_cast<int>(state.range(0));
    OpenViewer open(records);
    AnswerYes yes;
    qf::ui::setMessageBoxes(&yes);
    qf::viewer::ViewerWindow& viewer = *open.viewer;
    int left = records;
    for (auto _ : state) {
        // A click on the middle row, then the delete command.
        state.PauseTiming();
        viewer.showRecord(left / 2 + 1);
        state.ResumeTiming();
        viewer.deleteOne();
        QCoreApplication::processEvents();
        --left;
    }
    qf::ui::setMessageBoxes(nullptr);
    if (listedMails(viewer) != left || open.store.count(kBox).value() != left) {
        state.SkipWithError("the mail was not deleted");
    }
    state.counters["records"] = records;
}
BENCHMARK(BM_DeleteOneThroughViewer)->Arg(10000)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_RefillList(benchmark::State& state) {
    const int records = static_cast<int>(state.range(0));
    OpenViewer open(records);
    qf::viewer::ViewerWindow& viewer = *open.viewer;
    for (auto _ : state) {
        viewer.loadList();
        QCoreApplication::processEvents();
    }
    if (listedMails(viewer) != records) {
        state.SkipWithError("the box was not listed whole");
    }
    state.counters["records"] = records;
}
BENCHMARK(BM_RefillList)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return qf::bench::runWindowBenchmarks(argc, argv);
}
