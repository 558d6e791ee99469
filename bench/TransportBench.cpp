// Receive sessions through the NMail functions against the local Dovecot
// server, compared with the plainest libcurl loop over the same mails (RETR
// and DELE on one connection). Starts and stops its own servers.
//
// Prints both rates in mails per second (best run of each), their ratio and
// the median ratio of runs made side by side, per mail size.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/MailServers.h"
#include "transport/NMail.h"

namespace {

using qf::testing::MailServers;
using Clock = std::chrono::steady_clock;

MailServers g_servers;
struct Rates {
    const char* size;
    double session, loop;  // mails per second, best run
    double medianRatio;    // of the paired runs
};
std::vector<Rates> g_results;

std::string mailOfSize(int number, std::size_t bytes) {
    std::string mail = "From: sender@example.jp\r\nTo: qftest@example.jp\r\nSubject: mail " +
                       std::to_string(number) + "\r\nDate: Tue, 08 Dec 2026 10:00:00 +0900\r\n\r\n";
    while (mail.size() < bytes) {
        mail += "The quick brown fox jumps over the lazy dog 0123456789.\r\n";
    }
    return mail;
}

void deliverMails(int count, std::size_t bytes) {
    g_servers.clearMaildir();
    for (int i = 1; i <= count; ++i) {
        g_servers.deliver(mailOfSize(i, bytes));
    }
}

void receiveWithNMail(int count) {
    const int handle = qf::transport::NMailPop3Connect(g_servers.pop3Server().c_str());
    const int waiting = qf::transport::NMailPop3Authenticate(handle, g_servers.user.c_str(),
                                                             g_servers.password.c_str(), -1);
    if (waiting != count) {
        std::fprintf(stderr, "expected %d mails, server has %d\n", count, waiting);
    }
    std::vector<char> subject(8192), date(8192), sender(8192), header(8192), body;
    for (int m = 1; m <= waiting; ++m) {
        qf::transport::NMailPop3GetMailStatus(handle, m, subject.data(), date.data(), sender.data(),
                                              header.data(), 0);
        body.resize(static_cast<std::size_t>(qf::transport::NMailPop3GetMailSize(handle, m)) + 1);
        qf::transport::NMailPop3GetMail(handle, m, subject.data(), date.data(), sender.data(),
                                        header.data(), body.data(), 0, 0);
        qf::transport::NMailPop3DeleteMail(handle, m);
    }
    qf::transport::NMailPop3Close(handle);
}

size_t keepBody(char* data, size_t size, size_t count, void* userData) {
    static_cast<std::string*>(userData)->append(data, size * count);
    return size * count;
}

void receiveWithCurlLoop(int count) {
    CURL* curl = curl_easy_init();
    std::string mail;
    curl_easy_setopt(curl, CURLOPT_USERNAME, g_servers.user.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, g_servers.password.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &keepBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &mail);
    const std::string base = "pop3://" + g_servers.pop3Server() + "/";
    for (int m = 1; m <= count; ++m) {
        const std::string url = base + std::to_string(m);
        mail.clear();
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, nullptr);
        curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
        curl_easy_perform(curl);
        curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "DELE");
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
        curl_easy_perform(curl);
    }
    curl_easy_cleanup(curl);
}

Clock::duration timeCurlLoop(int count, std::size_t bytes) {
    deliverMails(count, bytes);
    const auto started = Clock::now();
    receiveWithCurlLoop(count);
    return Clock::now() - started;
}

double secondsOf(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

// Each iteration runs the libcurl loop and the NMail session over the same
// fresh mails, one right after the other, so both meet the same load; the
// benchmark's own time is the NMail session's. Reported: the best run of
// each, and the median of the per-iteration ratios (on a shared machine the
// load drifts, and a pair measured together drifts least).
void BM_ReceiveSession(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const auto bytes = static_cast<std::size_t>(state.range(1));
    Clock::duration bestSession = Clock::duration::max();
    Clock::duration bestLoop = Clock::duration::max();
    std::vector<double> ratios;
    bool loopFirst = true;  // alternate, so neither always runs on a warmer server
    for (auto _ : state) {
        state.PauseTiming();
        Clock::duration loopTime{};
        if (loopFirst) {
            loopTime = timeCurlLoop(count, bytes);
        }
        deliverMails(count, bytes);
        state.ResumeTiming();

        const auto started = Clock::now();
        receiveWithNMail(count);
        const Clock::duration sessionTime = Clock::now() - started;

        state.PauseTiming();
        if (g_servers.messagesInMaildir() != 0) {
            state.SkipWithError("mails left on the server");
        }
        if (!loopFirst) {
            loopTime = timeCurlLoop(count, bytes);
        }
        loopFirst = !loopFirst;
        bestSession = std::min(bestSession, sessionTime);
        bestLoop = std::min(bestLoop, loopTime);
        ratios.push_back(secondsOf(loopTime) / secondsOf(sessionTime));
        state.ResumeTiming();
    }
    std::sort(ratios.begin(), ratios.end());
    const double medianRatio = ratios.empty() ? 0 : ratios[ratios.size() / 2];
    const double session = count / secondsOf(bestSession);
    const double loop = count / secondsOf(bestLoop);
    state.counters["nmail_mails_per_s"] = session;
    state.counters["curl_mails_per_s"] = loop;
    state.counters["median_ratio"] = medianRatio;
    g_results.push_back({bytes < 4096 ? "small" : "30KB", session, loop, medianRatio});
}

// {mails, bytes per mail}
BENCHMARK(BM_ReceiveSession)
    ->Args({1000, 600})
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_ReceiveSession)
    ->Args({200, 30000})
    ->Iterations(15)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int runServers(const std::string& command, const std::filesystem::path& env) {
    const std::string line =
        "/usr/bin/python3 " QF_MAILSERVERS_SCRIPT " " + command + " " + env.string();
    return std::system(line.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const auto env = std::filesystem::temp_directory_path() / "qf-transport-bench.env";
    if (runServers("start", env) != 0) {
        std::fprintf(stderr, "the local mail servers did not start\n");
        return 1;
    }
    g_servers = MailServers::fromFile(env);
    qf::transport::NMailInitializeWinSock();
    qf::transport::NMailSetOption(qf::transport::kOptionBufferSize, 8192);
    benchmark::RunSpecifiedBenchmarks();
    qf::transport::NMailEndWinSock();
    runServers("stop", env);
    for (const Rates& rates : g_results) {
        std::printf(
            "%-5s mails, best run: NMail session %.0f mails/s, libcurl loop %.0f mails/s, "
            "ratio %.2f; median ratio of paired runs %.2f\n",
            rates.size, rates.session, rates.loop, rates.session / rates.loop, rates.medianRatio);
    }
    benchmark::Shutdown();
    return 0;
}
