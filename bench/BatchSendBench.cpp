// A batch send of 200 address-book entries through the send pass (history
// record, address-book read and one submission per pass) against the
// plainest libcurl loop sending the same 200 built messages, both to the
// local SMTP server in the same run. Starts and stops its own servers.
//
// Prints both rates in mails per second (best run of each) and their ratio.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "addressbook/AddressBookFile.h"
#include "compose/SendPass.h"
#include "store/MailStore.h"
#include "tests/support/MailServers.h"
#include "transport/MailBuilder.h"
#include "transport/NMail.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kEntries = 200;
const char* const kSubject = "一括送信のお知らせ";
const char* const kBody = "いつもお世話になっております。\r\n来月の予定をお知らせします。\r\n";
const char* const kSender = "sender@example.jp";

qf::testing::MailServers g_servers;
double g_batchRate = 0;
double g_loopRate = 0;

std::string recipient(int n) {
    return "friend" + std::to_string(n) + "@example.jp";
}

fs::path freshDataFolder() {
    fs::path folder = fs::temp_directory_path() / "qf-batch-bench";
    fs::remove_all(folder);
    fs::create_directories(folder);
    qf::addressbook::AddressBookFile book(folder.string());
    for (int n = 1; n <= kEntries; ++n) {
        if (!book.registerEntry("友人" + std::to_string(n), recipient(n))) {
            std::fprintf(stderr, "cannot write the address book\n");
            std::exit(1);
        }
    }
    return folder;
}

int sendBatch(const fs::path& folder) {
    qf::store::MailStore store(folder.string());
    qf::compose::SendSettings settings{g_servers.smtpServer(), kSender, "", "", "2026/12/08 10:00"};
    qf::compose::SendOptions options;
    options.batch = true;
    options.batchPassCount = kEntries;
    qf::compose::SendReport report =
        qf::compose::sendComposedMail(store, {"", kSubject, kBody, {}}, settings, options);
    return report.count(qf::compose::PassResult::kSent);
}

struct Upload {
    const std::string* bytes;
    std::size_t offset;
};

size_t readUpload(char* buffer, size_t size, size_t count, void* data) {
    auto* upload = static_cast<Upload*>(data);
    const std::size_t n = std::min(size * count, upload->bytes->size() - upload->offset);
    // libcurl's read callback: raw bytes into its buffer, no string to terminate.
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result)
    std::memcpy(buffer, upload->bytes->data() + upload->offset, n);
    upload->offset += n;
    return n;
}

std::vector<qf::transport::BuiltMail> builtMessages() {
    std::vector<qf::transport::BuiltMail> messages;
    for (int n = 1; n <= kEntries; ++n) {
        auto built = qf::transport::buildMail({kSender, {recipient(n)}, kSubject, kBody, {}});
        if (!built) {
            std::fprintf(stderr, "cannot build message %d\n", n);
            std::exit(1);
        }
        messages.push_back(std::move(built.value()));
    }
    return messages;
}

// One handle, one perform per message, as a libcurl user would write it.
int sendWithCurlLoop(const std::vector<qf::transport::BuiltMail>& messages) {
    CURL* curl = curl_easy_init();
    const std::string url = "smtp://" + g_servers.smtpServer();
    const std::string from = std::string("<") + kSender + ">";
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, &readUpload);
    int sent = 0;
    for (const auto& message : messages) {
        curl_slist* rcpt = curl_slist_append(nullptr, ("<" + message.recipients[0] + ">").c_str());
        Upload upload{&message.bytes, 0};
        curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);
        curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
        sent += curl_easy_perform(curl) == CURLE_OK ? 1 : 0;
        curl_slist_free_all(rcpt);
    }
    curl_easy_cleanup(curl);
    return sent;
}

double secondsOf(Clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

Clock::duration timeCurlLoop(const std::vector<qf::transport::BuiltMail>& messages,
                             benchmark::State& state) {
    g_servers.clearMaildir();
    const auto started = Clock::now();
    if (sendWithCurlLoop(messages) != kEntries) {
        state.SkipWithError("the libcurl loop did not send every message");
    }
    return Clock::now() - started;
}

// Each iteration runs the libcurl loop and the batch over the same 200
// recipients, alternating which goes first; the benchmark's own time is the
// batch's. The rates compare the best run of each.
void BM_BatchSend(benchmark::State& state) {
    const auto messages = builtMessages();
    Clock::duration bestBatch = Clock::duration::max();
    Clock::duration bestLoop = Clock::duration::max();
    bool loopFirst = true;
    for (auto _ : state) {
        state.PauseTiming();
        if (loopFirst) {
            bestLoop = std::min(bestLoop, timeCurlLoop(messages, state));
        }
        const fs::path folder = freshDataFolder();
        g_servers.clearMaildir();
        state.ResumeTiming();

        const auto started = Clock::now();
        const int sent = sendBatch(folder);
        bestBatch = std::min(bestBatch, Clock::now() - started);

        state.PauseTiming();
        if (sent != kEntries || g_servers.messagesInMaildir() != kEntries) {
            state.SkipWithError("the batch did not deliver every mail");
        }
        if (!loopFirst) {
            bestLoop = std::min(bestLoop, timeCurlLoop(messages, state));
        }
        loopFirst = !loopFirst;
        state.ResumeTiming();
    }
    g_batchRate = kEntries / secondsOf(bestBatch);
    g_loopRate = kEntries / secondsOf(bestLoop);
    state.counters["batch_mails_per_s"] = g_batchRate;
    state.counters["curl_mails_per_s"] = g_loopRate;
    state.counters["ratio"] = g_batchRate / g_loopRate;
}
BENCHMARK(BM_BatchSend)->Iterations(6)->Unit(benchmark::kMillisecond)->UseRealTime();

int runServers(const std::string& command, const fs::path& env) {
    const std::string line =
        "/usr/bin/python3 " QF_MAILSERVERS_SCRIPT " " + command + " " + env.string();
    return std::system(line.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const fs::path env = fs::temp_directory_path() / "qf-batch-bench.env";
    if (runServers("start", env) != 0) {
        std::fprintf(stderr, "the local mail servers did not start\n");
        return 1;
    }
    g_servers = qf::testing::MailServers::fromFile(env);
    qf::transport::NMailInitializeWinSock();
    benchmark::RunSpecifiedBenchmarks();
    qf::transport::NMailEndWinSock();
    runServers("stop", env);
    fs::remove_all(fs::temp_directory_path() / "qf-batch-bench");
    std::printf(
        "batch of %d, best run: send pass %.0f mails/s, libcurl loop %.0f mails/s, ratio %.2f\n",
        kEntries, g_batchRate, g_loopRate, g_loopRate > 0 ? g_batchRate / g_loopRate : 0.0);
    benchmark::Shutdown();
    return 0;
}
