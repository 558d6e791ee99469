#include "store/Originals.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <filesystem>
#include <set>

#include "base/DurableWrite.h"
#include "store/BoxCatalogue.h"
#include "store/MailStore.h"
#include "text/FixedField.h"

namespace qf::store {

namespace {

constexpr std::string_view kSuffix = ".eml";
constexpr std::string_view kSecondSuffix = ".2.eml";
constexpr std::size_t kKeyDigits = 16;
constexpr std::size_t kFingerprintDigits = 64;

// SHA-256 of the texts, each preceded by its length so that no two lists of
// texts run together into the same bytes. A text is taken up to its first
// NUL, as a list shows it.
std::string sha256Hex(std::initializer_list<std::string_view> texts) {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, EVP_sha256(), nullptr);
    for (std::string_view whole : texts) {
        const std::string_view text = text::cutAtNul(whole);
        const std::string length = std::to_string(text.size()) + ":";
        EVP_DigestUpdate(context, length.data(), length.size());
        EVP_DigestUpdate(context, text.data(), text.size());
    }
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int digestBytes = 0;
    EVP_DigestFinal_ex(context, digest.data(), &digestBytes);
    EVP_MD_CTX_free(context);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < digestBytes; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0x0f];
    }
    return hex;
}

// True when `there` is what a power cut leaves of a write of `original`
// whose data had not reached the disk: shorter or as long, and each byte
// either the original's or a zero the file system filled in. Another mail
// is never that: its header differs in more than zeros.
bool isCutShortCopy(std::string_view there, std::string_view original) {
    if (there.size() > original.size() || there == original) {
        return false;
    }
    for (std::size_t i = 0; i < there.size(); ++i) {
        if (there[i] != original[i] && there[i] != '\0') {
            return false;
        }
    }
    return true;
}

// "<key>-<fingerprint>.eml" or its ".2.eml" twin: the key, else "".
std::string keyOfFileName(std::string_view name) {
    std::string_view stem;
    if (name.ends_with(kSecondSuffix)) {
        stem = name.substr(0, name.size() - kSecondSuffix.size());
    } else if (name.ends_with(kSuffix)) {
        stem = name.substr(0, name.size() - kSuffix.size());
    } else {
        return {};
    }
    if (stem.size() != kKeyDigits + 1 + kFingerprintDigits || stem[kKeyDigits] != '-' ||
        !std::all_of(stem.begin(), stem.end(), [](char c) {
            return c == '-' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
        })) {
        return {};
    }
    return std::string(stem.substr(0, kKeyDigits));
}

std::atomic<int> g_writers{0};

bool isOriginalsTemporary(std::string_view replacedName) {
    return !keyOfFileName(replacedName).empty();
}

}  // namespace

std::string originalKey(std::string_view subject, std::string_view fromOrTo,
                        std::string_view date) {
    return sha256Hex({subject, fromOrTo, date}).substr(0, kKeyDigits);
}

std::string originalName(const MailFields& recordTexts) {
    return originalKey(recordTexts.subject, recordTexts.fromOrTo, recordTexts.date) + "-" +
           sha256Hex(
               {recordTexts.subject, recordTexts.fromOrTo, recordTexts.date, recordTexts.body});
}

MailFields recordTextsOfCp932(const RecordLayout& layout, const MailFields& cp932Fields) {
    std::vector<char> record(layout.lengthBytes);
    encodeCp932Record(layout, cp932Fields, 1, record);
    return decodeRecord(layout, record);
}

MailFields recordTextsOf(const RecordLayout& layout, const MailFields& fields) {
    std::vector<char> record(layout.lengthBytes);
    encodeRecord(layout, fields, 1, record);
    return decodeRecord(layout, record);
}

Originals::WriterHold::WriterHold() {
    ++g_writers;
}

Originals::WriterHold::~WriterHold() {
    --g_writers;
}

Originals::Originals(std::string dataFolder, base::FileSystem& fs)
    : m_dataFolder(std::move(dataFolder)), m_fs(fs) {}

std::string Originals::folderOf(int box) const {
    const BoxInfo* info = findBox(box);
    if (info == nullptr) {
        return {};
    }
    return base::joinPath(m_dataFolder, std::string(info->fileName) + ".originals");
}

std::string Originals::pathOf(int box, const std::string& name, bool second) const {
    return base::joinPath(folderOf(box), name + std::string(second ? kSecondSuffix : kSuffix));
}

void UnsyncedOriginals::add(std::string path) {
    m_paths.push_back(std::move(path));
}

Status UnsyncedOriginals::sync(base::FileSystem& fs) {
    std::set<std::string> folders;
    for (const std::string& path : m_paths) {
        folders.insert(base::folderOf(path));
    }
    if (folders.empty()) {
        return Status::ok();
    }
    // The whole file system at once where it can: a file each costs a
    // journal commit each, most of a receive's time.
    Status whole = fs.syncFileSystemOf(*folders.begin());
    if (whole || whole.code() != StatusCode::kRefused) {
        if (whole) {
            m_paths.clear();
        }
        return whole;
    }
    Status first = Status::ok();
    for (const std::string& path : m_paths) {
        if (Status synced = base::syncFile(path, fs); !synced && first) {
            first = synced;
        }
    }
    for (const std::string& folder : folders) {
        if (Status synced = fs.syncFolder(folder); !synced && first) {
            first = synced;
        }
    }
    if (first) {
        m_paths.clear();
    }
    return first;
}

Status Originals::keep(int box, const MailFields& recordTexts, std::string_view original) {
    return keep(box, recordTexts, original, nullptr);
}

Status Originals::keep(int box, const MailFields& recordTexts, std::string_view original,
                       UnsyncedOriginals& later) {
    return keep(box, recordTexts, original, &later);
}

Status Originals::keep(int box, const MailFields& recordTexts, std::string_view original,
                       UnsyncedOriginals* later) {
    const std::string folder = folderOf(box);
    if (folder.empty()) {
        return Status::invalidArgument("there is no box " + std::to_string(box));
    }
    if (Status made = base::makePrivateFolders(folder); !made) {
        return made;
    }
    const std::string name = originalName(recordTexts);
    // The same mail again (fetched twice) is the file that is there already;
    // another mail with the same record texts is kept as the second, which
    // makes the name ambiguous.
    for (bool second : {false, true}) {
        const std::string path = pathOf(box, name, second);
        Result<std::string> there = base::readWholeFile(path, m_fs);
        if (there && there.value() == original) {
            if (later != nullptr) {
                later->add(path);  // a run that was cut short may not have synced it
            }
            return Status::ok();
        }
        // Missing, or cut short by a power cut before it was synced (the
        // mail is still on the server then): written whole.
        if ((!there && there.status().code() == StatusCode::kNotFound) ||
            (there && isCutShortCopy(there.value(), original))) {
            if (later == nullptr) {
                return base::replaceFileDurably(path, original, {}, m_fs);
            }
            Status written = base::replaceFileUnsynced(path, original, {}, m_fs);
            if (written) {
                later->add(path);
            }
            return written;
        }
        if (!there) {
            return there.status();
        }
    }
    return Status::ok();  // ambiguous already: a third changes nothing
}

Result<std::optional<std::string>> Originals::find(int box, const MailFields& recordTexts) const {
    const std::string name = originalName(recordTexts);
    if (folderOf(box).empty() || m_fs.exists(pathOf(box, name, true))) {
        return std::optional<std::string>();
    }
    Result<std::string> bytes = base::readWholeFile(pathOf(box, name, false), m_fs);
    if (!bytes) {
        if (bytes.status().code() == StatusCode::kNotFound) {
            return std::optional<std::string>();
        }
        return bytes.status();
    }
    return std::optional<std::string>(std::move(bytes).value());
}

Status Originals::copy(int fromBox, int toBox, const MailFields& recordTexts) {
    Result<std::optional<std::string>> found = find(fromBox, recordTexts);
    if (!found) {
        return found.status();
    }
    if (!found.value()) {
        return Status::ok();
    }
    return keep(toBox, recordTexts, *found.value());
}

std::vector<std::string> Originals::fileNames(int box) const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folderOf(box), error)) {
        const std::string name = entry.path().filename().string();
        if (!keyOfFileName(name).empty()) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

Result<int> Originals::collect(MailStore& store, int box, std::chrono::seconds grace) const {
    const std::vector<std::string> names = fileNames(box);
    if (names.empty()) {
        return 0;
    }
    std::set<std::string> liveKeys;
    Status listed = store.listHeaders(box, [&](const ListEntry& row) {
        liveKeys.insert(originalKey(row.subject, row.fromOrTo, row.date));
    });
    if (!listed) {
        return listed;  // a box not read to its end could hold any key
    }
    const auto now = std::filesystem::file_time_type::clock::now();
    int removed = 0;
    for (const std::string& name : names) {
        if (liveKeys.contains(keyOfFileName(name))) {
            continue;
        }
        const std::string path = base::joinPath(folderOf(box), name);
        std::error_code error;
        const auto written = std::filesystem::last_write_time(path, error);
        if (g_writers > 0 && grace.count() > 0 && (error || now - written < grace)) {
            continue;
        }
        if (Status gone = m_fs.remove(path); !gone) {
            return gone;
        }
        ++removed;
    }
    // A removal a power cut undoes leaves an orphan for the next collection.
    if (removed > 0 && g_writers == 0) {
        (void)m_fs.syncFolder(folderOf(box));
    }
    return removed;
}

Result<std::vector<base::RepairAction>> Originals::recover(MailStore& store) const {
    std::vector<base::RepairAction> actions;
    for (const BoxInfo& box : allBoxes()) {
        const std::string folder = folderOf(box.number);
        if (!m_fs.exists(folder) && !std::filesystem::is_directory(folder)) {
            continue;
        }
        auto removed = base::removeLeftoverTemporaries(folder, isOriginalsTemporary, m_fs);
        if (!removed) {
            return removed.status();
        }
        actions.insert(actions.end(), removed.value().begin(), removed.value().end());
        if (Result<int> collected = collect(store, box.number, std::chrono::seconds(0));
            !collected) {
            return collected.status();
        }
    }
    return actions;
}

std::optional<std::string> originalOfRecord(const std::string& dataFolder, int box,
                                            int recordNumber) {
    MailStore reader(dataFolder);
    const Result<bool> found = reader.readRecord(box, recordNumber);
    if (!found.isOk() || !found.value()) {
        return std::nullopt;
    }
    Result<std::optional<std::string>> original =
        Originals(dataFolder).find(box, reader.currentFields(box));
    if (!original.isOk()) {
        return std::nullopt;
    }
    return std::move(original).value();
}

}  // namespace qf::store
