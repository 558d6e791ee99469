// Whether the account's POP3 server listed PIPELINING at the last receive.
// A server that did is not asked for its capabilities before the login:
// the question goes out with the login (transport::Pop3Presumption), one
// round trip fewer on every check. The file holds the key of the account
// (server and user) whose server pipelines, or nothing; losing it only
// costs that round trip.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

#include "base/FileSystem.h"

namespace qf::receive {

inline constexpr std::string_view kPipeliningFileName = "pop3-pipelining";

class PipeliningMemory {
  public:
    PipeliningMemory(std::filesystem::path file, std::string_view server, std::string_view user,
                     base::FileSystem& fs);

    bool remembers() const { return m_remembers; }
    // What this receive saw; the file changes only when that differs.
    void learn(bool pipelines);

  private:
    std::filesystem::path m_file;
    base::FileSystem& m_fs;
    std::uint64_t m_key;
    bool m_remembers = false;
};

}  // namespace qf::receive
