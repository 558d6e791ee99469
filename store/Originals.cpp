#include "store/Originals.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <filesystem>
#include <mutex>

#include "base/DurableWrite.h"
#include "store/BoxCatalogue.h"
#include "store/Digest.h"
#include "store/MailStore.h"
#include "store/OriginalPack.h"
#include "text/FixedField.h"

namespace qf::store {

namespace {

constexpr std::size_t kKeyDigits = 16;
constexpr std::size_t kFingerprintDigits = 64;
// The earlier layout's file names: "<name>.eml", "<name>.2.eml".
constexpr std::string_view kEarlierSuffix = ".eml";
constexpr std::string_view kEarlierSecondSuffix = ".2.eml";

// SHA-256 of the texts, each taken up to its first NUL, as a list shows it.
std::string textsDigest(std::initializer_list<std::string_view> texts) {
    std::vector<std::string_view> cut;
    for (std::string_view text : texts) {
        cut.push_back(text::cutAtNul(text));
    }
    return sha256OfTextsHex(cut);
}

bool isName(std::string_view name) {
    return name.size() == kKeyDigits + 1 + kFingerprintDigits && name[kKeyDigits] == '-' &&
           std::all_of(name.begin(), name.end(), [](char c) {
               return c == '-' || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

// The name an earlier-layout file holds the original of, else "".
std::string nameOfEarlierFile(std::string_view fileName) {
    for (std::string_view suffix : {kEarlierSecondSuffix, kEarlierSuffix}) {
        if (fileName.ends_with(suffix)) {
            const std::string_view stem = fileName.substr(0, fileName.size() - suffix.size());
            return isName(stem) ? std::string(stem) : std::string();
        }
    }
    return {};
}

bool isEarlierTemporary(std::string_view replacedName) {
    return !nameOfEarlierFile(replacedName).empty();
}

// What receive sessions kept while one is open, which a collection spares.
std::atomic<int> g_writers{0};
std::mutex g_keptLock;
std::set<std::string> g_keptWhileWriting;

void noteKeptWhileWriting(const std::string& name) {
    if (g_writers > 0) {
        const std::lock_guard lock(g_keptLock);
        g_keptWhileWriting.insert(name);
    }
}

bool keptWhileWriting(const std::string& name) {
    const std::lock_guard lock(g_keptLock);
    return g_keptWhileWriting.contains(name);
}

}  // namespace

std::string originalKey(std::string_view subject, std::string_view fromOrTo,
                        std::string_view date) {
    return textsDigest({subject, fromOrTo, date}).substr(0, kKeyDigits);
}

std::uint64_t originalNameFingerprint(std::string_view name) {
    if (!isName(name)) {
        return 0;
    }
    const std::string_view digits = name.substr(kKeyDigits + 1, 2 * sizeof(std::uint64_t));
    std::uint64_t fingerprint = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), fingerprint, 16);
    return fingerprint;
}

std::string originalName(const MailFields& recordTexts) {
    return originalKey(recordTexts.subject, recordTexts.fromOrTo, recordTexts.date) + "-" +
           textsDigest(
               {recordTexts.subject, recordTexts.fromOrTo, recordTexts.date, recordTexts.body});
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
    if (--g_writers == 0) {
        const std::lock_guard lock(g_keptLock);
        g_keptWhileWriting.clear();
    }
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

std::string Originals::packOf(int box) const {
    return OriginalPack(folderOf(box), m_fs).path();
}

void UnsyncedOriginals::add(const std::string& packPath, bool created) {
    m_paths[packPath] = m_paths[packPath] || created;
}

Status UnsyncedOriginals::sync(base::FileSystem& fs) {
    std::set<std::string> folders;
    Status first = Status::ok();
    for (const auto& [path, created] : m_paths) {
        OriginalPack(base::folderOf(path), fs).writeIndexRows();
        Status synced = base::syncFile(path, fs);
        if (synced.code() == StatusCode::kNotFound) {
            continue;  // a box without originals, or a pack a collection emptied
        }
        if (created) {
            folders.insert(base::folderOf(path));
        }
        if (!synced && first) {
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
    return keep(box, originalName(recordTexts), original, nullptr);
}

Status Originals::keep(int box, const MailFields& recordTexts, std::string_view original,
                       UnsyncedOriginals& later) {
    return keep(box, originalName(recordTexts), original, &later);
}

Status Originals::keepNamed(int box, const std::string& name, std::string_view original,
                            UnsyncedOriginals& later) {
    return keep(box, name, original, &later);
}

Status Originals::keep(int box, const std::string& name, std::string_view original,
                       UnsyncedOriginals* later) {
    const std::string folder = folderOf(box);
    if (folder.empty()) {
        return Status::invalidArgument("there is no box " + std::to_string(box));
    }
    OriginalPack pack(folder, m_fs);
    const bool newPack = !m_fs.exists(pack.path());
    if (newPack) {
        if (Status made = base::makePrivateFolders(folder); !made) {
            return made;
        }
    }
    noteKeptWhileWriting(name);
    if (Status kept = pack.keep(name, original); !kept) {
        return kept;
    }
    if (later != nullptr) {
        later->add(pack.path(), newPack);
        return Status::ok();
    }
    if (Status synced = pack.sync(); !synced) {
        return synced;
    }
    return newPack ? m_fs.syncFolder(folder) : Status::ok();
}

Result<std::optional<std::string>> Originals::find(int box, const MailFields& recordTexts) const {
    const std::string folder = folderOf(box);
    if (folder.empty()) {
        return std::optional<std::string>();
    }
    auto kept = OriginalPack(folder, m_fs).mailsNamed(originalName(recordTexts));
    if (!kept) {
        return kept.status();
    }
    if (kept.value().size() != 1) {
        return std::optional<std::string>();  // none, or an ambiguous name
    }
    return std::optional<std::string>(std::move(kept.value().front()));
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

std::vector<std::string> Originals::keptNames(int box) const {
    std::vector<std::string> names;
    if (folderOf(box).empty()) {
        return names;
    }
    OriginalPack pack(folderOf(box), m_fs);
    auto live = pack.liveEntries();
    if (!live) {
        return names;
    }
    std::set<std::string> distinct;
    for (const PackEntry& entry : live.value()) {
        distinct.insert(entry.name);
    }
    for (const std::string& name : distinct) {
        auto kept = pack.mailsNamed(name);
        names.insert(names.end(), kept ? kept.value().size() : 0, name);
    }
    return names;
}

Result<int> Originals::collect(MailStore& store, int box) const {
    if (folderOf(box).empty()) {
        return 0;
    }
    OriginalPack pack(folderOf(box), m_fs);
    auto live = pack.liveEntries();
    if (!live) {
        return live.status();
    }
    if (live.value().empty()) {
        return 0;
    }
    std::set<std::string> liveKeys;
    Status listed = store.listHeaders(box, [&](const ListEntry& row) {
        liveKeys.insert(originalKey(row.subject, row.fromOrTo, row.date));
    });
    if (!listed) {
        return listed;  // a box not read to its end could hold any key
    }
    std::vector<PackEntry> going;
    std::copy_if(live.value().begin(), live.value().end(), std::back_inserter(going),
                 [&](const PackEntry& entry) {
                     return !liveKeys.contains(entry.name.substr(0, kKeyDigits)) &&
                            !keptWhileWriting(entry.name);
                 });
    if (Status dropped = pack.drop(going); !dropped) {
        return dropped;
    }
    return static_cast<int>(going.size());
}

Status Originals::moveEarlierLayout(int box) const {
    const std::string folder = folderOf(box);
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string fileName = entry.path().filename().string();
        if (!nameOfEarlierFile(fileName).empty() && entry.is_regular_file(error)) {
            files.push_back(fileName);
        }
    }
    if (files.empty()) {
        return Status::ok();
    }
    std::sort(files.begin(), files.end());  // "<name>.2.eml" after "<name>.eml"
    OriginalPack pack(folder, m_fs);
    for (const std::string& fileName : files) {
        const std::string name = nameOfEarlierFile(fileName);
        auto bytes = base::readWholeFile(base::joinPath(folder, fileName), m_fs);
        if (!bytes) {
            return bytes.status();
        }
        if (Status s = pack.keep(name, bytes.value()); !s) {
            return s;
        }
    }
    // The files go only once the pack holds them durably.
    if (Status s = pack.sync(); !s) {
        return s;
    }
    if (Status s = m_fs.syncFolder(folder); !s) {
        return s;
    }
    for (const std::string& fileName : files) {
        if (Status s = m_fs.remove(base::joinPath(folder, fileName)); !s) {
            return s;
        }
    }
    return m_fs.syncFolder(folder);
}

Result<std::vector<base::RepairAction>> Originals::recoverFolder(MailStore& store, int box) const {
    const std::string folder = folderOf(box);
    auto actions = base::removeLeftoverTemporaries(folder, isEarlierTemporary, m_fs);
    if (!actions) {
        return actions.status();
    }
    OriginalPack pack(folder, m_fs);
    if (m_fs.exists(pack.rewritePath())) {
        if (Status s = m_fs.remove(pack.rewritePath()); !s) {
            return s;
        }
        actions.value().push_back(
            {base::RepairKind::kLeftoverTemporaryRemoved, pack.path(), pack.rewritePath()});
    }
    if (Status moved = moveEarlierLayout(box); !moved) {
        return moved;
    }
    if (Result<int> collected = collect(store, box); !collected) {
        return collected.status();
    }
    return actions;
}

Result<std::vector<base::RepairAction>> Originals::recover(MailStore& store) const {
    std::vector<base::RepairAction> actions;
    for (const BoxInfo& box : allBoxes()) {
        if (!std::filesystem::is_directory(folderOf(box.number))) {
            continue;
        }
        auto done = recoverFolder(store, box.number);
        if (!done) {
            return done.status();
        }
        actions.insert(actions.end(), done.value().begin(), done.value().end());
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
