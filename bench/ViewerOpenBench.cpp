// Opening a large box in the viewer: the list of every mail, the last mail in
// the fields and the pane, its body on the clipboard. Runs on the offscreen
// platform against a box file of 10,000 records (about 320 MB, written once
// into a temporary program folder).
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
#include "viewer/ViewerBoxes.h"
#include "viewer/ViewerWindow.h"

namespace {

constexpr int kBox = 4;
constexpr const char* kBoxFile = "kdxdata5.data";

class LargeBox {
  public:
    explicit LargeBox(int records) : m_program(m_dir.path().toStdString()) {
        (void)m_program.ensureFolders();
        qf::bench::writeLargeBox(m_program.dataFile(kBoxFile), records);
    }
    const qf::settings::ProgramFolder& program() const { return m_program; }

  private:
    QTemporaryDir m_dir;
    qf::settings::ProgramFolder m_program;
};

void BM_OpenBoxInViewer(benchmark::State& state) {
    const int records = static_cast<int>(state.range(0));
    LargeBox box(records);
    qf::store::MailStore store(box.program().dataFolder().string());
    qf::viewer::ViewerWindow viewer(box.program(), store);
    viewer.show();
    const qf::viewer::BoxEntry& entry = *qf::viewer::findBox(kBox);
    for (auto _ : state) {
        viewer.clearShownMail();
        viewer.applyBox(entry, QStringLiteral("仕事"));
        viewer.loadList();
        QCoreApplication::processEvents();  // the list lays itself out and paints
    }
    const auto* list = viewer.findChild<QTreeWidget*>(QStringLiteral("MailListView"));
    const auto* count = viewer.findChild<QLineEdit*>(QStringLiteral("Text2"));
    if (list->topLevelItemCount() != records || count->text() != QString::number(records)) {
        state.SkipWithError("the box was not listed whole");
    }
    state.counters["records"] = records;
}
BENCHMARK(BM_OpenBoxInViewer)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return qf::bench::runWindowBenchmarks(argc, argv);
}
