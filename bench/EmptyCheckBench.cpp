// What a check for new mail costs when there is none: one whole receive run
// (registrations, account, connect, login, UIDL and LIST, QUIT) with nothing
// waiting, as the timed check runs it on the user-interface thread.
//
//  - against the local Dovecot, with STLS on its plain port and over pop3s
//    (starts and stops its own servers);
//  - against a scripted server that answers every burst of commands one
//    simulated round trip (kRoundTrip) after it arrived, with and without
//    PIPELINING: the time divided by the round trip is the number of round
//    trips a check costs on a real network, where they dominate.
//
// Prints the median and the best time of each.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "receive/ReceiveRun.h"
#include "tests/support/MailServers.h"
#include "tests/support/ScriptedServer.h"
#include "transport/NMail.h"

namespace {

using qf::testing::MailServers;
using qf::testing::ScriptedConnection;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kRoundTrip = 20ms;

MailServers g_servers;
std::filesystem::path g_folder;
std::vector<std::string> g_lines;

// An empty mailbox one round trip away: each burst of commands is answered
// kRoundTrip after it came in.
void emptyMailboxFarAway(ScriptedConnection& c, bool pipelining) {
    std::this_thread::sleep_for(kRoundTrip);
    c.send("+OK ready\r\n");
    while (true) {
        std::vector<std::string> burst;
        // The rest of a burst came with its first line: no wait for more.
        for (std::string line = c.readLine(); !line.empty(); line = c.readLine(0ms)) {
            burst.push_back(line);
        }
        if (burst.empty()) {
            return;
        }
        std::this_thread::sleep_for(kRoundTrip);
        std::string replies;
        for (const std::string& line : burst) {
            if (line == "CAPA") {
                replies += pipelining ? "+OK\r\nUSER\r\nUIDL\r\nPIPELINING\r\n.\r\n"
                                      : "+OK\r\nUSER\r\nUIDL\r\n.\r\n";
            } else if (line == "UIDL" || line == "LIST") {
                replies += "+OK\r\n.\r\n";
            } else {
                replies += "+OK\r\n";
            }
        }
        c.send(replies);
        if (burst.back() == "QUIT") {
            return;
        }
    }
}

double milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// `farAway`: the server is the scripted one, a round trip away.
void emptyCheck(benchmark::State& state, const std::string& server, const char* name,
                bool farAway = false) {
    qf::receive::ReceiveRequest request;
    request.folder = qf::settings::ProgramFolder(g_folder);
    request.pop3Server = server;
    request.account = {g_servers.user, g_servers.password};
    qf::receive::ReceiveObserver quiet;
    qf::receive::ReceiveSession session;
    std::vector<Clock::duration> times;
    for (auto _ : state) {
        const auto started = Clock::now();
        const qf::receive::ReceiveOutcome outcome = session.run(request, quiet);
        times.push_back(Clock::now() - started);
        if (!outcome.succeeded() || outcome.waiting != 0) {
            state.SkipWithError("the check did not end as an empty one");
            break;
        }
    }
    std::sort(times.begin(), times.end());
    if (times.empty()) {
        return;
    }
    const double median = milliseconds(times[times.size() / 2]);
    char line[200];
    std::snprintf(line, sizeof line, "%-34s median %7.2f ms, best %7.2f ms (%zu runs)", name,
                  median, milliseconds(times.front()), times.size());
    std::string text = line;
    if (farAway) {
        std::snprintf(line, sizeof line, " = %.1f round trips of %lld ms",
                      median / kRoundTrip.count(), static_cast<long long>(kRoundTrip.count()));
        text += line;
    }
    g_lines.push_back(text);
}

void BM_EmptyCheckDovecotStls(benchmark::State& state) {
    emptyCheck(state, g_servers.pop3Server(), "Dovecot, STLS on the plain port");
}

void BM_EmptyCheckDovecotPop3s(benchmark::State& state) {
    emptyCheck(state, "pop3s://127.0.0.1:" + std::to_string(g_servers.pop3sPort), "Dovecot, pop3s");
}

void BM_EmptyCheckFarAway(benchmark::State& state) {
    const bool pipelining = state.range(0) != 0;
    qf::testing::ScriptedServer server(
        [pipelining](ScriptedConnection& c) { emptyMailboxFarAway(c, pipelining); });
    emptyCheck(state, server.address(),
               pipelining ? "Scripted, pipelining" : "Scripted, one command at a time", true);
}

BENCHMARK(BM_EmptyCheckDovecotStls)->Iterations(40)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EmptyCheckDovecotPop3s)->Iterations(40)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EmptyCheckFarAway)
    ->Arg(1)
    ->Arg(0)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int runServers(const std::string& command, const std::filesystem::path& env) {
    const std::string line = "/usr/bin/python3 " QF_MAILSERVERS_SCRIPT " " + command + " " +
                             env.string() + (command == "start" ? " --tls" : "");
    return std::system(line.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const auto env = std::filesystem::temp_directory_path() / "qf-empty-check-bench.env";
    if (runServers("start", env) != 0) {
        std::fprintf(stderr, "the local mail servers did not start\n");
        return 1;
    }
    g_servers = MailServers::fromFile(env);
    g_servers.clearMaildir();
    ::setenv("QUILLFERN_CA_FILE", g_servers.caFile.c_str(), 1);
    g_folder = std::filesystem::temp_directory_path() / "qf-empty-check-bench";
    std::filesystem::remove_all(g_folder);
    std::filesystem::create_directories(g_folder);
    (void)qf::settings::ProgramFolder(g_folder).ensureFolders();
    qf::transport::NMailInitializeWinSock();
    benchmark::RunSpecifiedBenchmarks();
    qf::transport::NMailEndWinSock();
    runServers("stop", env);
    std::filesystem::remove_all(g_folder);
    std::printf("\nAn empty check for new mail, one whole receive run:\n");
    for (const std::string& line : g_lines) {
        std::printf("  %s\n", line.c_str());
    }
    benchmark::Shutdown();
    return 0;
}
