// The search window listing the result of a search that found 10,000 mails
// in one box: from the finished search to the list painted, offscreen. The
// box (about 320 MB) is written into a temporary program folder.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTreeView>

#include "bench/LargeBoxFile.h"
#include "bench/WindowBenchMain.h"
#include "settings/ProgramFolder.h"
#include "store/MailSearch.h"
#include "ui/WindowEnvironment.h"
#include "viewer/SearchWindow.h"

namespace {

void BM_ShowTenThousandResults(benchmark::State& state) {
    QTemporaryDir dir;
    const qf::settings::ProgramFolder program(dir.path().toStdString());
    (void)program.ensureFolders();
    qf::bench::writeLargeBox(program.dataFile("kdxdata2.data"), 10000);
    qf::store::SearchQuery query;
    query.text = "打ち合わせ";
    query.boxes = {1};
    const auto result = qf::store::searchBoxes(program.dataFolder().string(), query);
    qf::ui::WindowEnvironment env(program, QString());
    qf::viewer::SearchWindow window(env);
    window.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        window.showResult(result);
        window.findChild<QTreeView*>(QStringLiteral("resultList"))->viewport()->repaint();
    }
    if (window.findChild<QTreeView*>(QStringLiteral("resultList"))->model()->rowCount() != 10000) {
        state.SkipWithError("the result was not listed whole");
    }
}
BENCHMARK(BM_ShowTenThousandResults)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return qf::bench::runWindowBenchmarks(argc, argv);
}
