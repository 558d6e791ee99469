#include "store/AttachmentIndex.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string_view>

#include "base/FileSystem.h"
#include "text/FixedField.h"

namespace qf::store {
namespace {

void mix(std::uint64_t& hash, std::string_view bytes) {
    for (unsigned char c : bytes) {
        hash ^= c;
        hash *= 1099511628211ULL;  // FNV-1a
    }
    hash ^= 0xFF;  // a field end, so "ab"+"c" differs from "a"+"bc"
    hash *= 1099511628211ULL;
}

std::string_view fieldOf(std::span<const char> record, const ByteRange& range) {
    if (range.offset + range.lengthBytes > record.size()) {
        return {};
    }
    return text::stripSpaces(
        text::cutAtNul(std::string_view(record.data() + range.offset, range.lengthBytes)));
}

std::vector<std::string> split(std::string_view line) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        parts.emplace_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos) {
            return parts;
        }
        start = tab + 1;
    }
}

}  // namespace

std::string attachmentKey(std::span<const char> record, const RecordLayout& layout) {
    std::uint64_t hash = 14695981039346656037ULL;
    for (const ByteRange* range : {&layout.subject, &layout.fromOrTo, &layout.date, &layout.body}) {
        mix(hash, fieldOf(record, *range));
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return hex;
}

Status noteAttachments(const std::filesystem::path& index, const std::string& key,
                       const std::vector<std::string>& names) {
    if (names.empty()) {
        return Status::ok();
    }
    std::string line = key;
    for (const std::string& name : names) {
        line += '\t' + name;
    }
    line += '\n';
    base::FileSystem& fs = base::posixFileSystem();
    Result<std::unique_ptr<base::File>> file = fs.open(index.string(), base::OpenMode::kReadWrite);
    if (!file) {
        return file.status();
    }
    Result<std::uint64_t> size = file.value()->size();
    if (!size) {
        return size.status();
    }
    // A line cut short by a crash is dropped first: only whole lines count.
    std::uint64_t at = size.value();
    while (at > 0) {
        char last = '\n';
        Result<std::size_t> read = file.value()->readAt(at - 1, {&last, 1});
        if (!read) {
            return read.status();
        }
        if (last == '\n') {
            break;
        }
        --at;
    }
    if (at != size.value()) {
        if (Status cut = file.value()->truncate(at); !cut) {
            return cut;
        }
    }
    if (Status written = file.value()->writeAt(at, line); !written) {
        return written;
    }
    return file.value()->sync();
}

std::vector<std::string> attachmentsOf(const std::filesystem::path& index, const std::string& key) {
    std::ifstream in(index, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> found;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            break;  // not whole
        }
        std::vector<std::string> parts = split(std::string_view(text).substr(start, end - start));
        if (parts.size() > 1 && parts.front() == key) {
            found.assign(parts.begin() + 1, parts.end());
        }
        start = end + 1;
    }
    return found;
}

}  // namespace qf::store
