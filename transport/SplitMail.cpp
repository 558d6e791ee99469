#include "transport/SplitMail.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <set>
#include <vector>

#include "base/DurableWrite.h"
#include "transport/GMimeSupport.h"

namespace qf::transport {

namespace {

constexpr const char* kWorkFolder = ".split-mail";

Status ioFailure(const std::string& path) {
    return systemFailure(path, errno);
}

Status makeFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        return ioFailure(path);
    }
    return Status::ok();
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

std::optional<std::string> readFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string content;
    char buffer[65536];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (n < 0) {
        return std::nullopt;
    }
    return content;
}

// A part the server may delete next must survive a crash, and must never be
// found half written under its final name.
Status writeDurably(base::FileSystem& fs, const std::string& folder, const std::string& name,
                    std::string_view bytes) {
    return base::replaceFileDurably(folder + "/" + name, bytes, {0600, /*followLink=*/false}, fs);
}

void removeFolder(const std::string& folder) {
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                ::unlink((folder + "/" + name).c_str());
            }
        }
        ::closedir(dir);
    }
    ::rmdir(folder.c_str());
}

std::string partName(int number) {
    return std::to_string(number) + ".part";
}

Status checkPart(const PartialInfo& info) {
    if (info.id.empty()) {
        return Status::invalidArgument("split mail without an id");
    }
    if (info.total < 0 || info.total > kMaxSplitParts) {
        return Status::invalidArgument("split mail of " + std::to_string(info.total) +
                                       " parts (at most " + std::to_string(kMaxSplitParts) + ")");
    }
    if (info.number < 1 || info.number > kMaxSplitParts ||
        (info.total > 0 && info.number > info.total)) {
        return Status::invalidArgument("split mail part " + std::to_string(info.number) + " of " +
                                       std::to_string(info.total) + " is out of range");
    }
    return Status::ok();
}

// The total this set was told, by this part or an earlier one; 0 = unknown.
Result<int> settleTotal(base::FileSystem& fs, const std::string& folder, const PartialInfo& info) {
    int stored = 0;
    if (auto text = readFile(folder + "/total")) {
        stored = std::atoi(text->c_str());
    }
    if (stored > 0 && info.total > 0 && stored != info.total) {
        return Status::invalidArgument(
            "split mail " + info.id + ": part " + std::to_string(info.number) + " says " +
            std::to_string(info.total) + " parts, an earlier one " + std::to_string(stored));
    }
    if (stored > 0 && info.number > stored) {
        return Status::invalidArgument("split mail part " + std::to_string(info.number) + " of " +
                                       std::to_string(stored) + " is out of range");
    }
    if (stored == 0 && info.total > 0) {
        Status written = writeDurably(fs, folder, "total", std::to_string(info.total));
        if (!written) {
            return written;
        }
        return info.total;
    }
    return stored;
}

std::string lowerName(std::string_view name) {
    std::string lower(name);
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lower;
}

bool comesFromEnclosedHeader(std::string_view name) {
    std::string lower = lowerName(name);
    return lower.rfind("content-", 0) == 0 || lower == "subject" || lower == "message-id" ||
           lower == "encrypted" || lower == "mime-version";
}

std::string withLineEnd(std::string_view field) {
    std::string text(field);
    if (text.empty() || text.back() != '\n') {
        text += "\r\n";
    }
    return text;
}

// The header of a reassembled mail (RFC 2046 5.2.2.2): the fields of part
// 1's own header other than Content-*, Subject, Message-ID, Encrypted and
// MIME-Version, then those fields of the enclosed header. The enclosed
// header's other fields are kept where part 1 lacks them (a splitter that
// copied no From), so that no sender or date is lost.
std::string withOuterHeader(std::string_view firstPart, std::string_view reassembled) {
    std::string header;
    std::set<std::string> outerNames;
    for (const RawHeaderField& field : rawHeaderFields(firstPart)) {
        if (!comesFromEnclosedHeader(field.name)) {
            header += withLineEnd(field.text);
            outerNames.insert(lowerName(field.name));
        }
    }
    for (const RawHeaderField& field : rawHeaderFields(reassembled)) {
        if (comesFromEnclosedHeader(field.name) || !outerNames.count(lowerName(field.name))) {
            header += withLineEnd(field.text);
        }
    }
    return header + "\r\n" + std::string(rawBody(reassembled));
}

// Puts parts 1..total together with GMime; the parts must all carry `id`.
Result<std::string> reassemble(const std::string& folder, const std::string& id, int total) {
    // The messages read their texts in place: the texts (never moved once
    // in the deque) outlive them.
    std::deque<std::string> texts;
    std::vector<GObjectPtr<GMimeMessage>> messages;
    std::vector<GMimeMessagePartial*> partials;
    for (int number = 1; number <= total; ++number) {
        auto text = readFile(folder + "/" + partName(number));
        if (text) {
            texts.push_back(std::move(*text));
        }
        GObjectPtr<GMimeMessage> message = text ? parseMessage(texts.back()) : nullptr;
        GMimeObject* top = message ? g_mime_message_get_mime_part(message.get()) : nullptr;
        if (!top || !GMIME_IS_MESSAGE_PARTIAL(top)) {
            return Status::corrupt(folder + "/" + partName(number) +
                                   ": not a part of a split mail");
        }
        GMimeMessagePartial* partial = GMIME_MESSAGE_PARTIAL(top);
        const char* partId = g_mime_message_partial_get_id(partial);
        if (!partId || id != partId) {
            return Status::corrupt(folder + "/" + partName(number) +
                                   ": belongs to another split mail");
        }
        partials.push_back(partial);
        messages.push_back(std::move(message));
    }
    GObjectPtr<GMimeMessage> whole(
        g_mime_message_partial_reconstruct_message(partials.data(), partials.size()));
    if (!whole) {
        return Status::corrupt("split mail " + id + " cannot be put together");
    }
    return withOuterHeader(texts.front(), serialize(GMIME_OBJECT(whole.get())));
}

}  // namespace

std::string splitMailKey(std::string_view id) {
    std::string key;
    for (char c : id.substr(0, 64)) {
        bool safe = std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ||
                    c == '@' || (c == '.' && !key.empty());
        key += safe ? c : '_';
    }
    // Distinct ids that clean to the same text must not share a folder.
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (char c : id) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    char suffix[10];
    std::snprintf(suffix, sizeof suffix, "-%08x", hash);
    return key + suffix;
}

Result<std::optional<std::string>> keepSplitPart(const std::string& attachmentFolder,
                                                 const PartialInfo& info, std::string_view rawPart,
                                                 base::FileSystem& fs) {
    if (Status valid = checkPart(info); !valid) {
        return valid;
    }
    std::string work = attachmentFolder + "/" + kWorkFolder;
    std::string folder = work + "/" + splitMailKey(info.id);
    if (Status made = makeFolder(work); !made) {
        return made;
    }
    if (Status made = makeFolder(folder); !made) {
        return made;
    }
    Result<int> total = settleTotal(fs, folder, info);
    if (!total) {
        return total.status();
    }
    // A part fetched twice is kept once.
    if (!exists(folder + "/" + partName(info.number))) {
        if (Status written = writeDurably(fs, folder, partName(info.number), rawPart); !written) {
            return written;
        }
    }
    for (int number = 1; number <= total.value(); ++number) {
        if (!exists(folder + "/" + partName(number))) {
            return std::optional<std::string>();
        }
    }
    if (total.value() == 0) {
        return std::optional<std::string>();
    }
    Result<std::string> whole = reassemble(folder, info.id, total.value());
    if (!whole) {
        return whole.status();
    }
    return std::optional<std::string>(std::move(whole).value());
}

void releaseSplitMail(const std::string& attachmentFolder, std::string_view id) {
    removeFolder(attachmentFolder + "/" + kWorkFolder + "/" + splitMailKey(id));
}

}  // namespace qf::transport
