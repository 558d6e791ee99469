// Listing and compacting large boxes, each beside its baseline:
//  - listing (headers only, then the last record) vs reading every record in
//    full and decoding the same three fields;
//  - compaction vs one plain durable copy of the same file (read, write,
//    fsync), the least any crash-safe rewrite has to do; a copy without the
//    fsync is measured too, to show what the sync itself costs.
// Box sizes 1,000 and 10,000 records show how memory behaves with size: the
// peak resident size is reported with each benchmark. At the end the two
// ratios for the 10,000-record box are printed. Besides, the address-book
// registration with its syncs against the bare append.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "addressbook/AddressBookFile.h"
#include "store/BoxCatalogue.h"
#include "store/MailStore.h"
#include "store/StoreTestSupport.h"

namespace {

using qf::store::MailFields;
using qf::store::MailStore;
using qf::store::testing::TempFolder;

constexpr int kBox = 6;  // kdxdata8.data, MailRecord

// One data folder per box size, filled once and kept for the whole run.
const std::string& dataFolderWith(int records) {
    static std::map<int, std::unique_ptr<TempFolder>> folders;
    auto& folder = folders[records];
    if (!folder) {
        folder = std::make_unique<TempFolder>();
        const auto& layout = qf::store::layoutOf(qf::store::RecordKind::kMail);
        std::vector<char> chunk;
        std::vector<char> record(layout.lengthBytes);
        std::FILE* out = std::fopen(folder->file("kdxdata8.data").c_str(), "wb");
        for (int n = 1; n <= records; ++n) {
            MailFields fields{"件名 " + std::to_string(n),
                              "sender" + std::to_string(n) + "@example.jp",
                              "Tue, 8 Dec 2026 09:00:00 +0900",
                              std::string(2000, static_cast<char>('a' + n % 26))};
            qf::store::encodeRecord(layout, fields, 1, record);
            std::fwrite(record.data(), 1, record.size(), out);
        }
        std::fclose(out);
    }
    return folder->path();
}

void reportPeakMemory(benchmark::State& state) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_ListBox(benchmark::State& state) {
    MailStore store(dataFolderWith(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        std::size_t rows = 0;
        auto s = store.list(
            kBox, [&](const qf::store::ListEntry& e) { rows += e.subject.size() > 0 ? 1 : 0; });
        if (!s) {
            state.SkipWithError(s.toString().c_str());
        }
        benchmark::DoNotOptimize(rows);
    }
    reportPeakMemory(state);
}

void BM_ReadWholeBox(benchmark::State& state) {
    MailStore store(dataFolderWith(static_cast<int>(state.range(0))));
    const auto& layout = qf::store::layoutOf(qf::store::RecordKind::kMail);
    for (auto _ : state) {
        std::size_t rows = 0;
        auto s = store.readAll(kBox, [&](int, std::span<const char> record) {
            // The same three fields the listing decodes; the body is only read.
            auto field = [&](qf::store::ByteRange r) {
                return qf::store::listText(record.subspan(r.offset, r.lengthBytes));
            };
            rows += field(layout.subject).size() + field(layout.fromOrTo).size() +
                                field(layout.date).size() >
                            0
                        ? 1
                        : 0;
            return qf::Status::ok();
        });
        if (!s) {
            state.SkipWithError(s.toString().c_str());
        }
        benchmark::DoNotOptimize(rows);
    }
    reportPeakMemory(state);
}

// Each round deletes one record and appends one, so the box keeps its size.
void BM_CompactBox(benchmark::State& state) {
    MailStore store(dataFolderWith(static_cast<int>(state.range(0))));
    MailFields fields{"new", "new@example.jp", "date", "body"};
    for (auto _ : state) {
        state.PauseTiming();
        auto appended = store.append(kBox, fields);
        auto marked = store.readRecord(kBox, 1).isOk() ? store.markDeleted(kBox, 1)
                                                       : qf::Status::ioError("read");
        state.ResumeTiming();
        auto s = store.compact(kBox);
        if (!appended || !marked || !s) {
            state.SkipWithError("compaction failed");
        }
    }
    reportPeakMemory(state);
}

// Copies the box file in 1 MB pieces; `durable` adds the fsync at the end.
void copyBox(benchmark::State& state, bool durable) {
    const std::string folder = dataFolderWith(static_cast<int>(state.range(0)));
    const std::string from = folder + "/kdxdata8.data";
    const std::string to = folder + "/copy.data";
    std::vector<char> buffer(1 << 20);
    for (auto _ : state) {
        std::FILE* in = std::fopen(from.c_str(), "rb");
        std::FILE* out = std::fopen(to.c_str(), "wb");
        for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0;) {
            std::fwrite(buffer.data(), 1, n, out);
        }
        std::fflush(out);
        if (durable) {
            ::fsync(fileno(out));
        }
        std::fclose(out);
        std::fclose(in);
    }
    std::filesystem::remove(to);
    reportPeakMemory(state);
}

void BM_PlainDurableCopy(benchmark::State& state) {
    copyBox(state, true);
}
void BM_PlainCopyWithoutSync(benchmark::State& state) {
    copyBox(state, false);
}

// Registering an address-book entry syncs the file and its folder, so that
// a registration reported done survives a power cut; the bare append of the
// same record beside it shows what the two syncs cost.
void BM_RegisterAddressEntry(benchmark::State& state) {
    TempFolder folder;
    qf::addressbook::AddressBookFile book(folder.path());
    for (auto _ : state) {
        if (!book.registerEntry("山田 太郎", "taro@example.jp")) {
            state.SkipWithError("registration failed");
        }
    }
}

void BM_AppendAddressRecordWithoutSync(benchmark::State& state) {
    TempFolder folder;
    qf::store::RecordFile book =
        qf::store::addressBookFile(qf::base::posixFileSystem(), folder.path());
    const std::vector<char> record = qf::addressbook::encodeEntry("山田 太郎", "taro@example.jp");
    int next = 1;
    for (auto _ : state) {
        if (!book.write(next++, record)) {
            state.SkipWithError("append failed");
        }
    }
}

BENCHMARK(BM_ListBox)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadWholeBox)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CompactBox)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(BM_RegisterAddressEntry)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_AppendAddressRecordWithoutSync)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_PlainCopyWithoutSync)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(BM_PlainDurableCopy)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

// The console reporter, keeping each run's real and CPU time for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    struct Times {
        double real = 0;
        double cpu = 0;
    };

    void ReportRuns(const std::vector<Run>& reports) override {
        for (const Run& run : reports) {
            m_times[run.benchmark_name()] = {run.GetAdjustedRealTime(), run.GetAdjustedCPUTime()};
        }
        ConsoleReporter::ReportRuns(reports);
    }
    Times times(const std::string& name) const {
        auto it = m_times.find(name);
        return it == m_times.end() ? Times{} : it->second;
    }

  private:
    std::map<std::string, Times> m_times;
};

// "<what> 4.20x real time (4.50x CPU time)", or nothing when a run is missing.
void printRatio(const char* what, RatioReporter::Times top, RatioReporter::Times bottom,
                const char* want) {
    if (top.real > 0 && bottom.real > 0 && top.cpu > 0 && bottom.cpu > 0) {
        std::printf("10000-record box: %s %.2fx real time (%.2fx CPU time); want %s\n", what,
                    top.real / bottom.real, top.cpu / bottom.cpu, want);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    printRatio("reading it whole / listing =", reporter.times("BM_ReadWholeBox/10000/real_time"),
               reporter.times("BM_ListBox/10000/real_time"), ">= 5");
    printRatio("compaction / plain durable copy =",
               reporter.times("BM_CompactBox/10000/iterations:5/real_time"),
               reporter.times("BM_PlainDurableCopy/10000/iterations:5/real_time"), "<= 2.5");
    // For reference: what the fsync that crash safety needs costs on top.
    printRatio("compaction / copy without fsync =",
               reporter.times("BM_CompactBox/10000/iterations:5/real_time"),
               reporter.times("BM_PlainCopyWithoutSync/10000/iterations:5/real_time"), "(info)");
    benchmark::Shutdown();
    return 0;
}
