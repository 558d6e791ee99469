// Test helper: tests/servers/oauth_provider.py started for one test, and a
// browser that "signs in" by fetching the provider's page and following its
// redirect to the program's loopback listener. Needs libcurl.
#pragma once

#include <curl/curl.h>
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

namespace qf::testing {

class LocalProvider {
  public:
    LocalProvider() {
        int out[2];
        if (::pipe(out) != 0) {
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], 1);
            const std::string script =
                std::string(std::getenv("QF_SOURCE_DIR")) + "/tests/servers/oauth_provider.py";
            ::execl("/usr/bin/python3", "python3", script.c_str(), "qftest", nullptr);
            ::_exit(127);
        }
        ::close(out[1]);
        char buffer[32] = {};
        const ssize_t n = ::read(out[0], buffer, sizeof buffer - 1);
        ::close(out[0]);
        m_port = n > 0 ? std::atoi(buffer) : 0;
    }
    ~LocalProvider() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    LocalProvider(const LocalProvider&) = delete;
    LocalProvider& operator=(const LocalProvider&) = delete;

    int port() const { return m_port; }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }
    // POST /admin/<what>: "expire", "revoke", "deny".
    void admin(const std::string& what) const { fetch(url("/admin/" + what), true); }
    std::string stats() const { return fetch(url("/admin/stats"), false); }

    // Fetches `url` and follows redirects, as a browser would.
    static std::string fetch(const std::string& url, bool post) {
        std::string body;
        CURL* curl = curl_easy_init();
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
        if (post) {
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, "");
        }
        curl_easy_setopt(
            curl, CURLOPT_WRITEFUNCTION, +[](char* data, size_t size, size_t count, void* out) {
                static_cast<std::string*>(out)->append(data, size * count);
                return size * count;
            });
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
        curl_easy_perform(curl);
        curl_easy_cleanup(curl);
        return body;
    }

  private:
    pid_t m_pid = -1;
    int m_port = 0;
};

// The browser of a test: opens the page in a thread of its own (the sign-in
// waits for the redirect meanwhile), and remembers what it was shown.
class TestBrowser {
  public:
    ~TestBrowser() {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }
    auto opener() {
        return [this](const std::string& url) {
            m_opened = url;
            m_thread = std::thread([this, url] { m_page = LocalProvider::fetch(url, false); });
            return qf::Status::ok();
        };
    }
    const std::string& opened() const { return m_opened; }
    std::string page() {
        if (m_thread.joinable()) {
            m_thread.join();
        }
        return m_page;
    }

  private:
    std::thread m_thread;
    std::string m_opened;
    std::string m_page;
};

}  // namespace qf::testing
