#include "receive/MailText.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
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

// The start of a sender text too long for its field, as a display name with
// no address: what the list shows, which no reply can take for an address.
std::string cutAsName(std::string_view cp932, std::size_t fieldBytes) {
    static constexpr std::size_t kFrame = 5;  // the quotes and " <>"
    for (std::size_t room = fieldBytes > kFrame ? fieldBytes - kFrame : 0; room > 0; --room) {
        const std::string_view start = cp932.substr(0, text::cp932PrefixLength(cp932, room));
        std::string name = text::toCp932(
            transport::quotedString(transport::asStoredText(text::fromCp932(start))) + " <>");
        if (name.size() <= fieldBytes) {
            return name;
        }
    }
    return {};
}

// The local part as written, the domain without regard to case.
bool sameAddress(std::string_view registered, std::string_view address) {
    const std::size_t at = registered.find('@');
    if (address.size() != registered.size() ||
        address.substr(0, at + 1) != registered.substr(0, at + 1)) {
        return false;
    }
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return std::equal(registered.begin() + static_cast<std::ptrdiff_t>(at), registered.end(),
                      address.begin() + static_cast<std::ptrdiff_t>(at),
                      [&](char a, char b) { return lower(a) == lower(b); });
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
        return systemFailure(m_path.string() + ": remove", errno);
    }
    m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                  base::kPrivateFileMode);
    if (m_fd < 0) {
        return systemFailure(m_path.string() + ": create", errno);
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
        return systemFailure(m_path.string() + ": " + what, errno);
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

std::optional<std::string_view> bareAddressOf(std::string_view registration) {
    std::string_view address = text::stripSpaces(registration);
    if (address.size() > 2 && address.front() == '<' && address.back() == '>') {
        address = address.substr(1, address.size() - 2);
    }
    const std::size_t at = address.find('@');
    const bool oneAt = at != std::string_view::npos && at > 0 && at + 1 < address.size() &&
                       address.find('@', at + 1) == std::string_view::npos;
    const bool plain = std::none_of(address.begin(), address.end(), [](char c) {
        return static_cast<unsigned char>(c) <= ' ' || c == 0x7F ||
               std::string_view("<>()[],;:\"\\").find(c) != std::string_view::npos;
    });
    if (!oneAt || !plain) {
        return std::nullopt;
    }
    return address;
}

int slotForSender(std::string_view sender,
                  const std::array<std::string, settings::kSortingRegistrationCount>& addresses) {
    std::optional<std::vector<transport::Mailbox>> mailboxes;  // parsed at the first bare address
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        if (text::stripSpaces(addresses[i]) == sender) {
            return static_cast<int>(i);
        }
        const std::optional<std::string_view> bare = bareAddressOf(addresses[i]);
        if (!bare) {
            continue;
        }
        if (!mailboxes) {
            mailboxes = transport::parseReceivedAddresses(sender);
        }
        if (std::any_of(mailboxes->begin(), mailboxes->end(), [&](const transport::Mailbox& m) {
                return sameAddress(*bare, m.address);
            })) {
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
    // The mailboxes that fit whole, in order: each with its name when that
    // fits, else its address alone. A cut would leave a piece of an address,
    // which is another address.
    std::string kept;
    for (const transport::Mailbox& mailbox :
         transport::parseMailboxList(text::fromCp932(stripped))) {
        const std::string separator = kept.empty() ? "" : ", ";
        const std::string named = text::toCp932(transport::formatMailbox(mailbox));
        const std::string bare = text::toCp932(mailbox.address);
        if (kept.size() + separator.size() + named.size() <= fieldBytes) {
            kept += separator + named;
        } else if (kept.size() + separator.size() + bare.size() <= fieldBytes) {
            kept += separator + bare;
        } else {
            break;
        }
    }
    return kept.empty() ? cutAsName(stripped, fieldBytes) : kept;
}

bool mentionsAttachment(std::string_view rawText) {
    return rawText.find("attachment") != std::string_view::npos;
}

}  // namespace qf::receive
