// Test support: the mails waiting on the local POP3 server, fetched and
// decoded by Python's email package (fetch_decoded.py), so a test compares
// what a send delivered with what was typed through an independent decoder.
#pragma once

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace qf::testing {

struct DecodedMail {
    std::string to;
    std::string subject;
    std::string body;                                              // LF line ends
    std::vector<std::pair<std::string, std::string>> attachments;  // name, bytes
};

inline std::string fromHex(const std::string& hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// Fetches (and deletes) every waiting mail, in server order.
inline std::vector<DecodedMail> fetchDecoded(const std::string& host, int port,
                                             const std::string& user, const std::string& password) {
    const char* source = std::getenv("QF_SOURCE_DIR");
    std::filesystem::path script = std::filesystem::path(source != nullptr ? source : ".") /
                                   "compose" / "testing" / "fetch_decoded.py";
    std::string command = "/usr/bin/python3 '" + script.string() + "' " + host + " " +
                          std::to_string(port) + " '" + user + "' '" + password + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        throw std::runtime_error("cannot run " + command);
    }
    std::string output;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, n);
    }
    if (::pclose(pipe) != 0) {
        throw std::runtime_error("fetch_decoded.py failed:\n" + output);
    }
    std::vector<DecodedMail> mails;
    std::istringstream lines(output);
    for (std::string key; lines >> key;) {
        if (key == "mail") {
            mails.emplace_back();
        } else if (key == "to" || key == "subject" || key == "body") {
            std::string hex;
            std::getline(lines, hex);
            hex.erase(0, hex.find_first_not_of(' '));
            std::string value = fromHex(hex);
            (key == "to"        ? mails.back().to
             : key == "subject" ? mails.back().subject
                                : mails.back().body) = value;
        } else if (key == "attachment") {
            std::string rest;
            std::getline(lines, rest);
            std::istringstream parts(rest);
            std::string name, content;
            parts >> name >> content;
            mails.back().attachments.emplace_back(fromHex(name), fromHex(content));
        }
    }
    return mails;
}

}  // namespace qf::testing
