// Expanding one mail whose parts all carry the same file name, the shape that
// used to take seconds: each new name tried every earlier number again.
//  - BM_ExpandSameNameParts/N: NMailAttachmentFileFirst on a mail of N parts
//    named "same.bin". Up to the limit of parts each becomes a file; past it
//    the mail is written whole as one file.
//  - BM_WriteSameNames/N: N files of one name through one AttachmentWriter,
//    with the flush at the end: the naming itself, without the decoding.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "transport/AttachmentNames.h"
#include "transport/NMail.h"

namespace {

std::string sameNameMail(int parts) {
    std::string mail =
        "From: a@example.jp\r\nSubject: same names\r\nMIME-Version: 1.0\r\n"
        "Content-Type: multipart/mixed; boundary=\"p\"\r\n\r\n";
    for (int part = 0; part < parts; ++part) {
        mail += "--p\r\nContent-Disposition: attachment; filename=\"same.bin\"\r\n\r\n" +
                std::to_string(part) + "\r\n";
    }
    return mail + "--p--\r\n";
}

std::filesystem::path freshFolder() {
    char pattern[] = "/tmp/qf-attachment-bench-XXXXXX";
    return ::mkdtemp(pattern);
}

void BM_ExpandSameNameParts(benchmark::State& state) {
    const std::string mail = sameNameMail(static_cast<int>(state.range(0)));
    std::vector<char> subject(8192), date(8192), sender(8192), header(8192);
    std::vector<char> body(mail.size() + 1);
    for (auto _ : state) {
        state.PauseTiming();
        const std::filesystem::path folder = freshFolder();
        state.ResumeTiming();
        qf::transport::NMailAttachmentFileFirst(
            0, subject.data(), date.data(), sender.data(), header.data(), body.data(),
            (folder.string() + "/").c_str(), "", mail.c_str(), 0);
        qf::transport::NMailAttachmentFileClose(0);
        state.PauseTiming();
        state.counters["files"] = static_cast<double>(std::distance(
            std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()));
        std::filesystem::remove_all(folder);
        state.ResumeTiming();
    }
    state.counters["mail_KB"] = static_cast<double>(mail.size()) / 1024.0;
}

void BM_WriteSameNames(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        const std::filesystem::path folder = freshFolder();
        state.ResumeTiming();
        qf::transport::AttachmentWriter writer(folder.string());
        for (int64_t i = 0; i < state.range(0); ++i) {
            benchmark::DoNotOptimize(writer.write("same.bin", "", "x"));
        }
        benchmark::DoNotOptimize(writer.sync());
        state.PauseTiming();
        std::filesystem::remove_all(folder);
        state.ResumeTiming();
    }
}

}  // namespace

BENCHMARK(BM_ExpandSameNameParts)
    ->Arg(1000)
    ->Arg(4000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(BM_WriteSameNames)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

BENCHMARK_MAIN();
