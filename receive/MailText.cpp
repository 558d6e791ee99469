#include "receive/MailText.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/FileSystem.h"
#include "receive/ReceiveRun.h"
#include "text/Cp932.h"
#include "text/FixedField.h"
#include "text/LineBreaks.h"
#include "transport/Addresses.h"

namespace qf::receive {

namespace {

std::string_view withoutTrailingLineBreaks(std::string_view text) {
    const std::size_t last = text.find_last_not_of("\r\n");
    return last == std::string_view::npos ? std::string_view{} : text.substr(0, last + 1);
}

// Appends the lines of `text` to `out`, each followed by CR LF.
void appendLinesCrLf(std::string& out, std::string_view text) {
    text::appendWithCrLf(out, text);
    if (!text.empty() && text.back() != '\r' && text.back() != '\n') {
        out.append("\r\n");
    }
}

// Room for the text with CR LF line ends: a few bytes more than it has.
std::size_t crLfCapacity(std::size_t textBytes) {
    return textBytes + textBytes / 32 + 4;
}

}  // namespace

std::string joinLinesCrLf(std::string_view text) {
    std::string joined;
    joined.reserve(crLfCapacity(text.size()));
    appendLinesCrLf(joined, text);
    return joined;
}

// Built in one string: the whole text of a large mail exists once.
std::string wholeMailLines(std::string_view header, std::string_view body) {
    const std::string_view trimmedHeader = withoutTrailingLineBreaks(header);
    std::string text;
    text.reserve(crLfCapacity(trimmedHeader.size() + body.size()) + 2);
    appendLinesCrLf(text, trimmedHeader);
    text.append("\r\n");
    appendLinesCrLf(text, body);
    return text;
}

Status WorkFile::open() {
    if (m_fd >= 0) {
        return Status::ok();
    }
    // Whatever has the name is a leftover of a run that died, or was put
    // there: only the name goes (a link, never what it points to), and the
    // file is made anew, so the mail is written nowhere but here.
    if (::unlink(m_path.c_str()) != 0 && errno != ENOENT) {
        return Status::ioError(m_path.string() + ": remove: " + std::strerror(errno));
    }
    m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  store::kPrivateFileMode);
    if (m_fd < 0) {
        return Status::ioError(m_path.string() + ": create: " + std::strerror(errno));
    }
    return Status::ok();
}

Result<std::string> WorkFile::passThrough(std::string_view header, std::string_view body) {
    if (Status opened = open(); !opened) {
        return opened;
    }
    std::string lines = wholeMailLines(header, body);
    const auto length = static_cast<off_t>(lines.size());
    const auto failed = [this](const char* what) {
        return Status::ioError(m_path.string() + ": " + what + ": " + std::strerror(errno));
    };
    if (::pwrite(m_fd, lines.data(), lines.size(), 0) != length) {
        return failed("write");
    }
    // Only a longer text before this one leaves bytes to cut off.
    if (m_length > length && ::ftruncate(m_fd, length) != 0) {
        return failed("truncate");
    }
    m_length = length;
    return lines;
}

void WorkFile::remove() {
    if (m_fd < 0) {
        return;
    }
    ::close(m_fd);
    m_fd = -1;
    m_length = 0;
    ::unlink(m_path.c_str());
}

int slotForSender(std::string_view sender,
                  const std::array<std::string, settings::kSortingRegistrationCount>& addresses) {
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        if (text::stripSpaces(addresses[i]) == sender) {
            return static_cast<int>(i);
        }
    }
    return kOtherSlot;
}

std::string senderForField(std::string_view cp932Sender, std::size_t fieldBytes) {
    const std::string_view stripped = text::stripSpaces(cp932Sender);
    if (stripped.size() <= fieldBytes) {
        return std::string(cp932Sender);
    }
    auto addresses = [](std::string_view utf8) {
        std::vector<std::string> found;
        for (const transport::Mailbox& mailbox : transport::parseMailboxList(utf8)) {
            found.push_back(mailbox.address);
        }
        return found;
    };
    std::string field(fieldBytes, ' ');
    text::writeCp932Field(field, stripped);
    const std::vector<std::string> whole = addresses(text::fromCp932(stripped));
    if (addresses(text::readField(field)) == whole) {
        return std::string(cp932Sender);
    }
    std::string bare;
    for (const std::string& address : whole) {
        bare += (bare.empty() ? "" : ", ") + address;
    }
    return text::toCp932(bare);
}

bool mentionsAttachment(std::string_view rawText) {
    return rawText.find("attachment") != std::string_view::npos;
}

}  // namespace qf::receive
