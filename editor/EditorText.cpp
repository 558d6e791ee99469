#include "editor/EditorText.h"

#include <sys/stat.h>

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

bool isValidUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (lead < 0x80) {
            length = 1;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
            high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : 0x80;
            high = lead == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (i + length > bytes.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto byte = static_cast<unsigned char>(bytes[i + k]);
            if (byte < (k == 1 ? low : 0x80) || byte > (k == 1 ? high : 0xBF)) {
                return false;
            }
        }
        i += length;
    }
    return true;
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

}  // namespace qf::editor
