#include "editor/EditorText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "text/Cp932.h"

namespace qf::editor {

std::int64_t findFrom(std::u16string_view text, std::u16string_view needle, std::int64_t start) {
    if (needle.empty()) {
        return 0;
    }
    const std::size_t from = start < 1 ? 0 : static_cast<std::size_t>(start - 1);
    if (from >= text.size()) {
        return 0;
    }
    const std::size_t at = text.find(needle, from);
    return at == std::u16string_view::npos ? 0 : static_cast<std::int64_t>(at) + 1;
}

std::optional<std::string> newFileName(std::string_view currentFile,
                                       std::string_view programFolder) {
    if (currentFile.find(kNewFileName) != std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t slash = currentFile.rfind('/');
    std::string name;
    if (slash == std::string_view::npos) {
        name.assign(programFolder);
        if (!name.empty() && name.back() != '/') {
            name += '/';
        }
    } else {
        name.assign(currentFile.substr(0, slash + 1));
    }
    name += kNewFileName;
    return name;
}

std::string textFromFileBytes(std::string_view bytes) {
    std::string text;
    if (isValidUtf8(bytes)) {
        if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
            bytes.remove_prefix(3);
        }
        text.assign(bytes);
    } else {
        text = text::fromCp932(bytes);
    }
    // Read line by line: each line, whatever ended it, is followed by "\n".
    std::string joined;
    joined.reserve(text.size() + 1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            joined += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            joined += text[i];
        }
    }
    if (!joined.empty() && joined.back() != '\n') {
        joined += '\n';
    }
    return joined;
}

std::string fileBytesFromText(std::string_view utf8) {
    std::string crlf;
    crlf.reserve(utf8.size() + utf8.size() / 32);
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '\r' || utf8[i] == '\n') {
            crlf += "\r\n";
            if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n') {
                ++i;
            }
        } else {
            crlf += utf8[i];
        }
    }
    return text::toCp932(crlf);
}

FileToOpen inspectFileToOpen(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return {};
    }
    return {true, S_ISREG(status.st_mode), static_cast<std::uint64_t>(status.st_size)};
}

namespace {

// Closes a descriptor when it goes out of scope.
class OpenFile {
  public:
    explicit OpenFile(int descriptor) : m_descriptor(descriptor) {}
    ~OpenFile() {
        if (m_descriptor >= 0) {
            ::close(m_descriptor);
        }
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int get() const { return m_descriptor; }

  private:
    int m_descriptor;
};

Status readFailure(const std::string& path) {
    return systemFailure(path, errno);
}

}  // namespace

Result<std::string> readTextFile(
    const std::string& path,
    const std::function<bool(std::uint64_t bytesRead, std::uint64_t sizeBytes)>& keepGoing) {
    // O_NONBLOCK: a pipe put there since the file was chosen is not waited on.
    OpenFile file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat status {};
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0) {
        return readFailure(path);
    }
    if (!S_ISREG(status.st_mode)) {
        return Status::invalidArgument(path + ": not a regular file");
    }
    const auto sizeBytes = static_cast<std::uint64_t>(status.st_size);
    constexpr std::size_t kStepBytes = 4u << 20;
    std::string bytes;
    bytes.reserve(sizeBytes);
    std::string step(kStepBytes, '\0');
    while (true) {
        const ssize_t got = ::read(file.get(), step.data(), step.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return readFailure(path);
        }
        if (got == 0) {
            return bytes;
        }
        bytes.append(step.data(), static_cast<std::size_t>(got));
        if (!keepGoing(bytes.size(), sizeBytes)) {
            return Status::cancelled(path + ": read cancelled");
        }
    }
}

}  // namespace qf::editor
