#include "viewer/QuickSave.h"

#include <algorithm>
#include <system_error>

#include "base/DurableWrite.h"

namespace qf::viewer {
namespace {

bool unsafeInName(unsigned char c) {
    switch (c) {
        case '/':
        case '\\':
        case ':':
        case '*':
        case '?':
        case '"':
        case '<':
        case '>':
        case '|':
            return true;
        default:
            return c < 0x20 || c == 0x7F;
    }
}

// Bytes of the UTF-8 character that starts with `lead`.
std::size_t characterLength(unsigned char lead) {
    if (lead >= 0xF0) {
        return 4;
    }
    if (lead >= 0xE0) {
        return 3;
    }
    return lead >= 0xC0 ? 2 : 1;
}

}  // namespace

std::string quickSaveFileName(std::string_view subject) {
    constexpr std::string_view kExtension = ".txt";
    const std::size_t limit = kMaxQuickSaveNameBytes - kExtension.size();
    std::string name;
    for (std::size_t i = 0; i < subject.size();) {
        const auto lead = static_cast<unsigned char>(subject[i]);
        const std::size_t length = std::min(characterLength(lead), subject.size() - i);
        if (name.size() + length > limit) {
            break;
        }
        if (length == 1 && unsafeInName(lead)) {
            name += '_';
        } else {
            name.append(subject.substr(i, length));
        }
        i += length;
    }
    return name.append(kExtension);
}

std::filesystem::path quickSavePath(const std::filesystem::path& folder, std::string_view subject) {
    return folder / quickSaveFileName(subject);
}

bool quickSaveExists(const std::filesystem::path& path) {
    std::error_code ignored;
    return std::filesystem::symlink_status(path, ignored).type() !=
           std::filesystem::file_type::not_found;
}

Status writeQuickSave(const std::filesystem::path& path, std::string_view bytes,
                      base::FileSystem& fs) {
    if (Status made = base::makePrivateFolders(path.parent_path().string()); !made) {
        return made;
    }
    base::ReplaceOptions options;
    options.followLink = false;
    return base::replaceFileDurably(path.string(), bytes, options, fs);
}

}  // namespace qf::viewer
