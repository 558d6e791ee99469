#include "receive/PipeliningMemory.h"

#include <string>
#include <utility>

#include "base/DurableWrite.h"
#include "receive/ReceiveJournal.h"

namespace qf::receive {

PipeliningMemory::PipeliningMemory(std::filesystem::path file, std::string_view server,
                                   std::string_view user, base::FileSystem& fs)
    : m_file(std::move(file)), m_fs(fs), m_key(accountKey(server, user)) {
    Result<std::string> bytes = base::readWholeFile(m_file.string(), m_fs);
    m_remembers = bytes && bytes.value() == hex16(m_key) + "\n";
}

void PipeliningMemory::learn(bool pipelines) {
    if (pipelines == m_remembers) {
        return;
    }
    // Another account's line is replaced: only the one account receives.
    const Status written =
        pipelines ? base::replaceFileDurably(m_file.string(), hex16(m_key) + "\n", {}, m_fs)
                  : m_fs.remove(m_file.string());
    if (written) {
        m_remembers = pipelines;
    }
}

}  // namespace qf::receive
