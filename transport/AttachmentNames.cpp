#include "transport/AttachmentNames.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/FileSystem.h"
#include "text/Utf8.h"

namespace qf::transport {

namespace {

std::string_view extensionFor(std::string_view mimeType) {
    static const std::pair<std::string_view, std::string_view> kExtensions[] = {
        {"text/plain", ".txt"},      {"text/html", ".html"},      {"image/jpeg", ".jpg"},
        {"image/png", ".png"},       {"image/gif", ".gif"},       {"image/bmp", ".bmp"},
        {"application/pdf", ".pdf"}, {"application/zip", ".zip"}, {"message/rfc822", ".eml"},
        {"text/calendar", ".ics"},   {"text/x-vcard", ".vcf"},    {"text/vcard", ".vcf"}};
    for (const auto& [type, extension] : kExtensions) {
        if (type == mimeType) {
            return extension;
        }
    }
    return ".bin";
}

bool isUnsafeAscii(unsigned char c) {
    return c < 0x20 || c == 0x7F || std::strchr(":*?\"<>|", c) != nullptr;
}

// Splits "name.ext" into stem and extension (with its dot); an extension
// longer than 16 bytes is taken for part of the name.
std::pair<std::string_view, std::string_view> splitExtension(std::string_view name) {
    std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || name.size() - dot > 16) {
        return {name, {}};
    }
    return {name.substr(0, dot), name.substr(dot)};
}

std::string fitLength(std::string_view stem, std::string_view extension, std::size_t maxBytes) {
    std::string result(text::utf8PrefixOfBytes(stem, maxBytes - extension.size()));
    return result + std::string(extension);
}

Status writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return systemFailure("write", errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return Status::ok();
}

}  // namespace

std::string safeAttachmentName(std::string_view name, std::string_view mimeType) {
    name = name.substr(0, name.find('\0'));
    std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) {
        name.remove_prefix(slash + 1);
    }
    if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]))) {
        name.remove_prefix(2);  // "C:x", a drive-relative path
    }
    std::string cleaned;
    for (std::size_t i = 0; i < name.size();) {
        std::size_t n = text::validUtf8SequenceLength(name, i);
        if (n == 0 || (n == 1 && isUnsafeAscii(static_cast<unsigned char>(name[i])))) {
            cleaned += '_';
            i += std::max<std::size_t>(n, 1);
            continue;
        }
        cleaned.append(name.substr(i, n));
        i += n;
    }
    std::size_t first = cleaned.find_first_not_of(" .");
    std::size_t last = cleaned.find_last_not_of(" .");
    if (first == std::string::npos) {
        return "attachment" + std::string(extensionFor(mimeType));
    }
    cleaned = cleaned.substr(first, last - first + 1);
    if (cleaned.size() <= kMaxAttachmentNameBytes) {
        return cleaned;
    }
    auto [stem, extension] = splitExtension(cleaned);
    return fitLength(stem, extension, kMaxAttachmentNameBytes);
}

AttachmentWriter::AttachmentWriter(std::string folder)
    : m_folder(std::move(folder)),
      m_dir(::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}

AttachmentWriter::~AttachmentWriter() {
    closeHeld();
    if (m_dir >= 0) {
        ::close(m_dir);
    }
}

Result<std::string> AttachmentWriter::write(std::string_view name, std::string_view mimeType,
                                            std::string_view bytes) {
    if (m_dir < 0) {
        return systemFailure(m_folder, errno);
    }
    std::string base = safeAttachmentName(name, mimeType);
    auto [stem, extension] = splitExtension(base);
    int& next = m_nextNumber[base];
    // Files already in the folder are stepped over; at most this many in a row.
    for (int tries = 0; tries < 10000; ++tries, ++next) {
        std::string candidate =
            next == 0 ? base
                      : fitLength(stem, "(" + std::to_string(next) + ")" + std::string(extension),
                                  kMaxAttachmentNameBytes);
        int fd =
            ::openat(m_dir, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                     base::kPrivateFileMode);
        if (fd < 0 && errno == EEXIST) {
            continue;  // never replace a file that is already there
        }
        if (fd < 0) {
            return systemFailure(m_folder + "/" + candidate, errno);
        }
        Status written = writeAll(fd, bytes);
        if (!written) {
            ::close(fd);
            ::unlinkat(m_dir, candidate.c_str(), 0);  // no half-written file is left behind
            return written.withMessage(m_folder + "/" + candidate + ": " + written.message());
        }
        hold(fd);
        ++next;
        return candidate;
    }
    return Status::ioError(m_folder + ": no free name for " + base);
}

void AttachmentWriter::hold(int fd) {
    if (!m_syncWholeFileSystem && m_held.size() < kMaxHeldFiles) {
        m_held.push_back(fd);
        return;
    }
    // A flush per file costs milliseconds each, and a mail may bring a
    // thousand: past a few files one flush of the file system is cheaper.
    m_syncWholeFileSystem = true;
    ::close(fd);
}

void AttachmentWriter::closeHeld() {
    for (int fd : m_held) {
        ::close(fd);
    }
    m_held.clear();
}

Status AttachmentWriter::sync() {
    bool synced = m_dir >= 0;
    if (synced && m_syncWholeFileSystem) {
        synced = ::syncfs(m_dir) == 0;
    }
    for (int fd : m_held) {
        synced = synced && ::fsync(fd) == 0;
    }
    synced = synced && ::fsync(m_dir) == 0;
    Status status = synced ? Status::ok() : systemFailure(m_folder, errno);
    closeHeld();
    return status;
}

Result<std::string> writeAttachment(const std::string& folder, std::string_view name,
                                    std::string_view mimeType, std::string_view bytes) {
    AttachmentWriter writer(folder);
    Result<std::string> written = writer.write(name, mimeType, bytes);
    if (!written) {
        return written;
    }
    if (Status synced = writer.sync(); !synced) {
        return synced;
    }
    return written;
}

}  // namespace qf::transport
