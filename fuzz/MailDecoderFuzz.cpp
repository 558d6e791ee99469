// Fuzz target: bytes as a fetched mail through NMailAttachmentFileFirst, as
// the receive run calls it. Besides the sanitizers it checks that every text
// buffer ends inside its capacity and that nothing is written outside the
// attachment folder, whatever the mail names its attachments.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/TempFolder.h"
#include "text/Cp932.h"
#include "transport/NMail.h"

namespace {

namespace nmail = qf::transport;

bool terminatedWithin(const std::vector<char>& buffer) {
    return std::memchr(buffer.data(), '\0', buffer.size()) != nullptr;
}

// True when `root` holds only the attachment folder "添付".
bool onlyAttachmentFolder(const std::filesystem::path& root) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(root, ignored)) {
        if (entry.path().filename() != "添付") {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const qf::testing::TempFolder folder("qf-fuzz");
    static const int initialized = nmail::NMailInitializeWinSock();
    (void)initialized;

    // The mail text is a C string: it ends at its first NUL, as it would.
    const std::string mail(reinterpret_cast<const char*>(data), size);
    const std::size_t textBytes = std::max<std::size_t>(mail.size() + 1, 8192);
    std::vector<char> subject(textBytes), date(textBytes), sender(textBytes), header(textBytes);
    std::vector<char> body(mail.size() + 1);
    nmail::NMailSetOption(nmail::kOptionBufferSize, static_cast<int>(textBytes));
    nmail::NMailSetOption(nmail::kOptionBodyBufferSize, 0);

    const std::filesystem::path attachments = folder / "添付";
    std::filesystem::create_directories(attachments);
    // Paths travel as CP932, like every text of the transport calls.
    const std::string attachmentFolder = qf::text::toCp932(attachments.string() + "/");
    const std::string workFile = qf::text::toCp932((folder / "0.txt").string());
    nmail::NMailAttachmentFileFirst(0, subject.data(), date.data(), sender.data(), header.data(),
                                    body.data(), attachmentFolder.c_str(), workFile.c_str(),
                                    mail.c_str(), 0);
    nmail::NMailAttachmentFileClose(0);

    for (const auto* buffer : {&subject, &date, &sender, &header, &body}) {
        if (!terminatedWithin(*buffer)) {
            std::abort();
        }
    }
    if (!onlyAttachmentFolder(folder.path())) {
        std::abort();  // an attachment escaped its folder
    }
    folder.empty();
    return 0;
}
