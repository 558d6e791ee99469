// Searching every box: 1 GB of box files (eight boxes of about 3,900 mails,
// bodies of 0 to 32,000 bytes, so about half of the bytes are text and half
// padding), with a warm and a cold page cache, against `grep -F -c` on the
// same files (byte-wise, LC_ALL=C: the floor for an exact byte search), and
// the folded search.
//
// The data is written once into $QF_SEARCH_BENCH_DATA (default
// ./search-bench-data) and kept for the next run; delete it afterwards. The
// cold runs drop the files from the page cache (posix_fadvise) before each
// iteration, so they measure the disk.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "store/BoxCatalogue.h"
#include "store/MailRecord.h"
#include "store/MailSearch.h"
#include "text/Cp932.h"

namespace {

namespace fs = std::filesystem;
using qf::store::SearchQuery;

constexpr std::uint64_t kTotalBytes = 1'000'000'000;
constexpr const char* kRareWord = "請求書番号";   // in about 1 mail of 100
constexpr const char* kFoldedWord = "quillfern";  // as QUILLFERN and ＱＵＩＬＬＦＥＲＮ
constexpr const char* kCommonWord = "お願い";     // in most bodies

// Lines of everyday Japanese mail, with the widths and scripts mail mixes.
const char* const kLines[] = {
    "いつもお世話になっております。来週の打ち合わせの件でご連絡いたします。",
    "資料を添付いたしましたので、ご確認のほどよろしくお願い申し上げます。",
    "ｶﾀｶﾅの半角が混ざったﾒｰﾙもまだ届きます。ﾃﾞｰﾀﾍﾞｰｽの移行について。",
    "会議室はＡ棟３階、開始は１０時３０分からです。",
    "Please find the meeting notes attached. Best regards, Tanaka",
    "http://www.example.jp/news/2026/12/index.html をご覧ください。",
    "株式会社サンプル　営業部　田中太郎　TEL 03-1234-5678",
    "髙橋様、先日はありがとうございました。①〜③の件、承知しました。",
    "> 引用された前のメールの本文がここに続きます。",
    "--------------------------------------------------",
};

std::string dataFolder() {
    const char* given = std::getenv("QF_SEARCH_BENCH_DATA");
    return given != nullptr && *given != '\0' ? given : "search-bench-data";
}

// A CP932 text of the lines in a shuffled order, to cut bodies from.
std::string corpus(std::mt19937& random) {
    std::string text;
    std::uniform_int_distribution<std::size_t> line(0, std::size(kLines) - 1);
    while (text.size() < 96 * 1024) {
        text += qf::text::toCp932(kLines[line(random)]);
        text += "\r\n";
    }
    return text;
}

void writeData(const std::string& folder) {
    fs::create_directories(folder);
    std::mt19937 random(29);
    const std::string text = corpus(random);
    const std::string rare = qf::text::toCp932(kRareWord);
    const std::string folded[] = {"QUILLFERN", qf::text::toCp932("ＱＵＩＬＬＦＥＲＮ")};
    const auto boxes = qf::store::allBoxes();
    const std::uint64_t perBox = kTotalBytes / boxes.size();
    std::uniform_int_distribution<std::size_t> bodyLength(0, qf::store::kBodyFieldBytes);
    std::uniform_int_distribution<std::size_t> start(0, text.size() / 2);
    std::uniform_int_distribution<int> percent(0, 99);
    for (const qf::store::BoxInfo& box : boxes) {
        const qf::store::RecordLayout& layout = qf::store::layoutOf(box.kind);
        std::vector<char> record(layout.lengthBytes);
        std::ofstream out(fs::path(folder) / box.fileName, std::ios::binary | std::ios::trunc);
        for (std::uint64_t written = 0; written + layout.lengthBytes <= perBox;
             written += layout.lengthBytes) {
            std::string body = text.substr(start(random), text.size() / 2);
            const int roll = percent(random);
            body.insert(0, roll == 0 ? rare + " " : roll == 1 ? folded[roll % 2] + " " : "");
            body.resize(qf::text::cp932PrefixLength(body, bodyLength(random)));
            qf::store::encodeCp932Record(layout,
                                         {qf::text::toCp932("打ち合わせの件"), "tanaka@example.jp",
                                          "Tue, 8 Dec 2026 09:00:00 +0900", body},
                                         1, record);
            out.write(record.data(), static_cast<std::streamsize>(record.size()));
        }
    }
}

std::vector<std::string> boxPaths() {
    std::vector<std::string> paths;
    for (const qf::store::BoxInfo& box : qf::store::allBoxes()) {
        paths.push_back((fs::path(dataFolder()) / box.fileName).string());
    }
    return paths;
}

void ensureData() {
    static bool ready = false;
    if (ready) {
        return;
    }
    std::uint64_t total = 0;
    for (const std::string& path : boxPaths()) {
        std::error_code error;
        const auto size = fs::file_size(path, error);
        total += error ? 0 : size;
    }
    if (total < kTotalBytes * 99 / 100) {
        writeData(dataFolder());
    }
    ready = true;
}

void dropFromPageCache() {
    for (const std::string& path : boxPaths()) {
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (fd >= 0) {
            ::fdatasync(fd);
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
}

void readOnce() {
    std::vector<char> buffer(1 << 20);
    for (const std::string& path : boxPaths()) {
        std::ifstream in(path, std::ios::binary);
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()))) {
        }
    }
}

std::map<std::string, double>& grepSeconds() {
    static std::map<std::string, double> seconds;
    return seconds;
}

const char* cacheName(bool cold) {
    return cold ? "cold" : "warm";
}

// Runs each iteration on a warm cache (read once before) or a cold one.
template <typename Body>
void timed(benchmark::State& state, bool cold, Body body) {
    ensureData();
    readOnce();
    double total = 0;
    for (auto _ : state) {
        if (cold) {
            dropFromPageCache();
        }
        const auto started = std::chrono::steady_clock::now();
        body(state);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
        state.SetIterationTime(took.count());
        total += took.count();
    }
    state.counters["GB/s"] =
        static_cast<double>(kTotalBytes) / 1e9 / (total / static_cast<double>(state.iterations()));
}

void BM_Grep(benchmark::State& state) {
    const bool cold = state.range(0) != 0;
    std::string command = "LC_ALL=C grep -F -c '" + qf::text::toCp932(kRareWord) + "'";
    for (const std::string& path : boxPaths()) {
        command += " '" + path + "'";
    }
    // Not to /dev/null: grep then stops at the first match of each file.
    command += " > '" + (fs::path(dataFolder()) / "grep.out").string() + "'";
    double total = 0;
    timed(state, cold, [&](benchmark::State& s) {
        const auto started = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) == -1) {
            s.SkipWithError("grep could not be started");
        }
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    });
    grepSeconds()[cacheName(cold)] = total / static_cast<double>(state.iterations());
}

void search(benchmark::State& state, const SearchQuery& query, std::size_t* hits) {
    auto result = qf::store::searchBoxes(dataFolder(), query);
    if (!result.isOk() || !result.value().problems.empty()) {
        state.SkipWithError("the search failed");
        return;
    }
    *hits = result.value().hits.size();
}

void BM_ExactSearch(benchmark::State& state) {
    const bool cold = state.range(0) != 0;
    SearchQuery query;
    query.text = kRareWord;
    query.exact = true;
    std::size_t hits = 0;
    double total = 0;
    timed(state, cold, [&](benchmark::State& s) {
        const auto started = std::chrono::steady_clock::now();
        search(s, query, &hits);
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    });
    state.counters["hits"] = static_cast<double>(hits);
    if (const double grep = grepSeconds()[cacheName(cold)]; grep > 0) {
        state.counters["x_grep"] = total / static_cast<double>(state.iterations()) / grep;
    }
}

void BM_FoldedSearch(benchmark::State& state) {
    const bool cold = state.range(0) != 0;
    SearchQuery query;
    const char* const words[] = {kRareWord, kFoldedWord, kRareWord, kCommonWord};
    query.text = words[state.range(1)];
    query.sameKana = state.range(1) == 2;
    std::size_t hits = 0;
    timed(state, cold, [&](benchmark::State& s) { search(s, query, &hits); });
    state.counters["hits"] = static_cast<double>(hits);
}

// range(0): 0 warm, 1 cold. BM_FoldedSearch range(1): 0 the Japanese word,
// 1 the Latin word in its three forms, 2 the Japanese word with kana folding,
// 3 a word most mails hold.
BENCHMARK(BM_Grep)->Arg(0)->Arg(1)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExactSearch)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FoldedSearch)
    ->Args({0, 0})
    ->Args({0, 1})
    ->Args({0, 2})
    ->Args({0, 3})
    ->Args({1, 0})
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
