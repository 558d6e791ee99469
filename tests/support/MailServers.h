// The local mail servers of the tests, as started by the ctest fixture
// "mailservers" (tests/servers/mailservers.py): where they listen, the test
// account, and direct access to the Maildir the POP3 server serves. The
// fixture "mailservers_tls" also fills the TLS ports and the CA file.
#pragma once

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qf::testing {

class MailServers {
  public:
    // Reads the env file the fixture wrote ($QF_BINARY_DIR/mailservers.env,
    // or the file named by $QF_MAILSERVERS_ENV). Throws when it is missing.
    static MailServers fromEnvironment() {
        std::filesystem::path file;
        if (const char* named = std::getenv("QF_MAILSERVERS_ENV")) {
            file = named;
        } else if (const char* binary = std::getenv("QF_BINARY_DIR")) {
            file = std::filesystem::path(binary) / "mailservers.env";
        }
        return fromFile(file);
    }

    static MailServers fromFile(const std::filesystem::path& file) {
        std::ifstream in(file);
        if (!in) {
            throw std::runtime_error("mail servers are not running: no " + file.string());
        }
        std::map<std::string, std::string> values;
        for (std::string line; std::getline(in, line);) {
            const auto equals = line.find('=');
            if (equals != std::string::npos) {
                values[line.substr(0, equals)] = line.substr(equals + 1);
            }
        }
        MailServers servers;
        servers.host = values["QF_MAIL_HOST"];
        servers.pop3Port = std::stoi(values["QF_POP3_PORT"]);
        servers.smtpPort = std::stoi(values["QF_SMTP_PORT"]);
        servers.user = values["QF_MAIL_USER"];
        servers.password = values["QF_MAIL_PASSWORD"];
        servers.maildir = values["QF_MAILDIR"];
        servers.dovecotLog = values["QF_DOVECOT_LOG"];
        const auto optionalPort = [&values](const char* key) {
            return values[key].empty() ? 0 : std::stoi(values[key]);
        };
        servers.pop3sPort = optionalPort("QF_POP3S_PORT");
        servers.smtpsPort = optionalPort("QF_SMTPS_PORT");
        servers.smtpsWrongNamePort = optionalPort("QF_SMTPS_WRONG_NAME_PORT");
        servers.caFile = values["QF_CA_FILE"];
        return servers;
    }

    std::string pop3Server() const { return host + ":" + std::to_string(pop3Port); }
    std::string smtpServer() const { return host + ":" + std::to_string(smtpPort); }

    // Drops one mail into new/ the way a delivery agent does (written in
    // tmp/, renamed); CRLF line ends are stored as LF, as Maildir keeps them.
    void deliver(std::string_view raw) const {
        static std::atomic<int> counter{0};
        const std::string name =
            std::to_string(::getpid()) + "." + std::to_string(counter++) + ".qftest";
        std::string stored;
        stored.reserve(raw.size());
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (!(raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')) {
                stored += raw[i];
            }
        }
        const std::filesystem::path temporary = maildir / "tmp" / name;
        {
            std::ofstream out(temporary, std::ios::binary);
            out << stored;
        }
        std::filesystem::rename(temporary, maildir / "new" / name);
    }

    // Removes every mail (new and cur); Dovecot's index notices on its own.
    void clearMaildir() const {
        for (const char* folder : {"new", "cur"}) {
            for (const auto& entry : std::filesystem::directory_iterator(maildir / folder)) {
                std::filesystem::remove(entry.path());
            }
        }
    }

    std::size_t messagesInMaildir() const {
        std::size_t count = 0;
        for (const char* folder : {"new", "cur"}) {
            for ([[maybe_unused]] const auto& entry :
                 std::filesystem::directory_iterator(maildir / folder)) {
                ++count;
            }
        }
        return count;
    }

    // The bytes of the one mail the Maildir holds (empty when it holds
    // none), line ends as Maildir keeps them (LF).
    std::string onlyMailInMaildir() const {
        for (const char* folder : {"new", "cur"}) {
            for (const auto& entry : std::filesystem::directory_iterator(maildir / folder)) {
                std::ifstream in(entry.path(), std::ios::binary);
                return {std::istreambuf_iterator<char>(in), {}};
            }
        }
        return {};
    }

    std::string dovecotLogText() const {
        std::ifstream in(dovecotLog);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string host;
    int pop3Port = 0;
    int smtpPort = 0;
    std::string user, password;
    std::filesystem::path maildir;
    std::filesystem::path dovecotLog;
    // With TLS only (0 / empty otherwise). pop3sPort reached by the name
    // "localhost" and smtpsWrongNamePort present a certificate made for
    // another name; every certificate is signed by the CA in caFile.
    int pop3sPort = 0;
    int smtpsPort = 0;
    int smtpsWrongNamePort = 0;
    std::filesystem::path caFile;
};

// A pair of servers of a test's own, beside the fixture's, started with
// mailservers.py's `options` (such as "--smtp-auth") and stopped again when
// this goes. Throws when they do not start.
class PrivateMailServers {
  public:
    PrivateMailServers(std::string_view name, std::string_view options)
        : m_env(std::filesystem::temp_directory_path() /
                (std::string(name) + "-" + std::to_string(::getpid()) + ".env")) {
        const std::string start = command("start") + " " + std::string(options) + " > /dev/null";
        if (std::system(start.c_str()) != 0) {
            throw std::runtime_error("mail servers did not start: " + start);
        }
        m_servers = MailServers::fromFile(m_env);
    }
    ~PrivateMailServers() { std::system(command("stop").c_str()); }
    PrivateMailServers(const PrivateMailServers&) = delete;
    PrivateMailServers& operator=(const PrivateMailServers&) = delete;

    const MailServers& servers() const { return m_servers; }

  private:
    std::string command(std::string_view action) const {
        const char* script = std::getenv("QF_MAILSERVERS_SCRIPT");
        return "/usr/bin/python3 " + std::string(script ? script : "tests/servers/mailservers.py") +
               " " + std::string(action) + " " + m_env.string();
    }

    std::filesystem::path m_env;
    MailServers m_servers;
};

}  // namespace qf::testing
