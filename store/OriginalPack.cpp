#include "store/OriginalPack.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <span>

#include "base/DurableWrite.h"

namespace qf::store {

namespace {

constexpr std::string_view kPackName = "pack";
constexpr std::string_view kIndexName = "pack.index";
constexpr std::string_view kRewriteSuffix = ".new";
constexpr std::size_t kRowsPerRead = 4096;
constexpr std::size_t kRowsPerIndexWrite = 64;
// Mails up to this long go out with their header in one write.
constexpr std::size_t kOneWriteBytes = std::size_t{1} << 16;

}  // namespace

using packformat::digestOf;
using packformat::entryOf;
using packformat::entryOfRow;
using packformat::FileHeader;
using packformat::fileHeaderOf;
using packformat::generationIn;
using packformat::Header;
using packformat::headerOf;
using packformat::holdsItsMail;
using packformat::kFileHeaderBytes;
using packformat::kHeaderBytes;
using packformat::kIndexMagic;
using packformat::kNameBytes;
using packformat::kPackMagic;
using packformat::kRowBytes;
using packformat::newGeneration;
using packformat::nextMagic;
using packformat::Row;
using packformat::rowOf;

// Which file the pack was, and how long, when last read or written: another
// value means someone else changed it (a test's power cut, a restore from a
// backup). Bytes changed in place are caught by each entry's checks.
struct PackIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    bool operator==(const PackIdentity&) const = default;
};

// What this process knows of one pack.
struct PackState {
    std::uint64_t generation = 0;  // 0: no pack, or one whose file header fails
    std::uint64_t scannedTo = 0;   // where the next entry may start
    std::size_t indexRows = 0;     // entries the index has rows for
    bool indexEndsAtRows = false;  // nothing after them that a row write must cut off
    std::vector<PackEntry> entries;
    std::multimap<std::string, std::size_t> byName;
    PackIdentity seen;

    void add(PackEntry entry) {
        byName.emplace(entry.name, entries.size());
        entries.push_back(std::move(entry));
    }
};

namespace {

std::mutex g_packsLock;

PackIdentity identityOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return {};
    }
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
            static_cast<std::uint64_t>(info.st_size)};
}

PackState& stateOf(const std::string& packPath) {
    static std::map<std::string, PackState> states;
    return states[packPath];
}

}  // namespace

OriginalPack::OriginalPack(std::string folder, base::FileSystem& fs)
    : m_folder(std::move(folder)), m_fs(fs) {}

std::string OriginalPack::path() const {
    return base::joinPath(m_folder, std::string(kPackName));
}

std::string OriginalPack::indexPath() const {
    return base::joinPath(m_folder, std::string(kIndexName));
}

std::string OriginalPack::rewritePath() const {
    return path() + std::string(kRewriteSuffix);
}

Result<std::unique_ptr<base::File>> OriginalPack::load(PackState& state, base::OpenMode mode) {
    auto opened = m_fs.open(path(), mode);
    if (!opened) {
        if (opened.status().code() == StatusCode::kNotFound) {
            state = PackState{};
            return std::unique_ptr<base::File>();
        }
        return opened.status();
    }
    std::unique_ptr<base::File> pack = std::move(opened).value();
    const PackIdentity now = identityOf(path());
    if (state.generation != 0 && now == state.seen) {
        return pack;
    }
    const std::uint64_t generation = generationIn(*pack, kPackMagic);
    if (generation != state.generation || now.size < state.scannedTo) {
        state = PackState{};
        state.generation = generation;
        state.scannedTo = kFileHeaderBytes;
        if (generation != 0) {
            readIndex(state, now.size);
        }
    }
    if (generation != 0) {
        scan(state, *pack, now.size);
        writeRows(state);
    }
    state.seen = now;
    return pack;
}

void OriginalPack::readIndex(PackState& state, std::uint64_t packSize) {
    auto opened = m_fs.open(indexPath(), base::OpenMode::kRead);
    if (!opened || generationIn(*opened.value(), kIndexMagic) != state.generation) {
        return;
    }
    base::File& index = *opened.value();
    std::vector<char> rows(kRowsPerRead * kRowBytes);
    for (std::uint64_t at = kFileHeaderBytes;; at += rows.size()) {
        auto got = index.readAt(at, rows);
        const std::size_t whole = got ? got.value() / kRowBytes : 0;
        for (std::size_t i = 0; i < whole; ++i) {
            auto entry = entryOfRow(std::span(rows.data() + i * kRowBytes, kRowBytes));
            if (!entry || entry->offset < state.scannedTo ||
                entry->offset + kHeaderBytes + entry->length > packSize) {
                return;
            }
            state.scannedTo = entry->offset + kHeaderBytes + entry->length;
            state.add(std::move(*entry));
            ++state.indexRows;
        }
        if (whole < kRowsPerRead) {
            state.indexEndsAtRows = got && got.value() == whole * kRowBytes;
            return;
        }
    }
}

void OriginalPack::scan(PackState& state, base::File& pack, std::uint64_t packSize) {
    std::uint64_t at = state.scannedTo;
    Header header{};
    while (at + kHeaderBytes <= packSize) {
        auto got = pack.readAt(at, header);
        auto entry = got && got.value() == header.size() ? entryOf(header, at) : std::nullopt;
        if (entry && at + kHeaderBytes + entry->length <= packSize &&
            (!entry->live || holdsItsMail(pack, *entry))) {
            at += kHeaderBytes + entry->length;
            state.add(std::move(*entry));
            continue;
        }
        // A write a power cut tore: whole as its header may be, what it
        // claims as its mail may hold later entries (appended where the file
        // ended). They are looked for.
        at = nextMagic(pack, at + 1, packSize);
    }
    state.scannedTo = std::max(at, packSize);
}

void OriginalPack::writeRows(PackState& state) {
    if (state.indexRows == state.entries.size()) {
        return;
    }
    auto opened = m_fs.open(indexPath(), base::OpenMode::kReadWrite);
    bool written = opened.isOk();
    if (written && state.indexRows == 0) {
        state.indexEndsAtRows = true;
        written = opened.value()->truncate(0) &&
                  opened.value()->writeAt(0, fileHeaderOf(kIndexMagic, state.generation));
    }
    std::vector<char> rows;
    for (std::size_t i = state.indexRows; i < state.entries.size(); ++i) {
        const Row row = rowOf(state.entries[i]);
        rows.insert(rows.end(), row.begin(), row.end());
    }
    const std::uint64_t at = kFileHeaderBytes + state.indexRows * kRowBytes;
    written = written && opened.value()->writeAt(at, rows) &&
              (state.indexEndsAtRows || opened.value()->truncate(at + rows.size()));
    if (written) {
        state.indexRows = state.entries.size();
        state.indexEndsAtRows = true;
        return;
    }
    // The index is a cache: without it the pack is scanned. One that missed
    // a row must not be read with its later rows.
    state.indexRows = 0;
    if (opened) {
        opened.value().reset();
    }
    (void)m_fs.remove(indexPath());
}

Result<std::vector<std::string>> OriginalPack::mailsNamed(const std::string& name) {
    const std::lock_guard lock(g_packsLock);
    PackState& state = stateOf(path());
    auto pack = load(state, base::OpenMode::kRead);
    if (!pack) {
        return pack.status();
    }
    if (!pack.value()) {
        return std::vector<std::string>();
    }
    return mailsNamed(state, *pack.value(), name);
}

Result<std::vector<std::string>> OriginalPack::mailsNamed(PackState& state, base::File& pack,
                                                          const std::string& name) {
    std::vector<std::string> mails;
    const auto [first, last] = state.byName.equal_range(name);
    for (auto it = first; it != last; ++it) {
        const PackEntry& entry = state.entries[it->second];
        if (!entry.live) {
            continue;
        }
        std::string bytes(static_cast<std::size_t>(kHeaderBytes + entry.length), '\0');
        auto got = pack.readAt(entry.offset, bytes);
        if (!got) {
            return got.status();
        }
        const Header expected = headerOf(entry);
        if (got.value() != bytes.size() ||
            !std::equal(expected.begin(), expected.end(), bytes.begin())) {
            continue;
        }
        bytes.erase(0, kHeaderBytes);
        if (digestOf(bytes) == entry.digest &&
            std::find(mails.begin(), mails.end(), bytes) == mails.end()) {
            mails.push_back(std::move(bytes));
        }
    }
    return mails;
}

Result<std::vector<PackEntry>> OriginalPack::liveEntries() {
    const std::lock_guard lock(g_packsLock);
    PackState& state = stateOf(path());
    auto pack = load(state, base::OpenMode::kRead);
    if (!pack) {
        return pack.status();
    }
    std::vector<PackEntry> live;
    std::copy_if(state.entries.begin(), state.entries.end(), std::back_inserter(live),
                 [](const PackEntry& entry) { return entry.live; });
    return live;
}

Status OriginalPack::startPack(PackState& state, std::unique_ptr<base::File>& pack) {
    // A file whose header fails holds nothing that was ever synced when a
    // power cut tore its first write (the header); but it may be a pack the
    // disk damaged, so it is set aside, never emptied.
    auto size = pack->size();
    if (!size) {
        return size.status();
    }
    if (size.value() > 0) {
        pack.reset();
        std::string aside = path() + ".damaged";
        for (int n = 2; m_fs.exists(aside); ++n) {
            aside = path() + ".damaged-" + std::to_string(n);
        }
        if (Status s = m_fs.rename(path(), aside); !s) {
            return s;
        }
        auto fresh = m_fs.open(path(), base::OpenMode::kReadWrite);
        if (!fresh) {
            return fresh.status();
        }
        pack = std::move(fresh).value();
    }
    const std::uint64_t generation = newGeneration();
    if (Status s = pack->writeAt(0, fileHeaderOf(kPackMagic, generation)); !s) {
        return s;
    }
    state = PackState{};
    state.generation = generation;
    state.scannedTo = kFileHeaderBytes;
    state.seen = identityOf(path());
    return Status::ok();
}

Status OriginalPack::keep(const std::string& name, std::string_view mail) {
    if (name.size() != kNameBytes) {
        return Status::invalidArgument("an original's name has " + std::to_string(kNameBytes) +
                                       " characters: " + name);
    }
    const std::lock_guard lock(g_packsLock);
    PackState& state = stateOf(path());
    auto pack = load(state, base::OpenMode::kReadWrite);
    if (!pack) {
        return pack.status();
    }
    if (state.generation == 0) {
        if (Status s = startPack(state, pack.value()); !s) {
            return s;
        }
    }
    auto kept = mailsNamed(state, *pack.value(), name);
    if (!kept) {
        return kept.status();
    }
    if (kept.value().size() >= 2 ||
        std::find(kept.value().begin(), kept.value().end(), mail) != kept.value().end()) {
        return Status::ok();
    }
    return append(state, *pack.value(), name, mail);
}

Status OriginalPack::append(PackState& state, base::File& pack, const std::string& name,
                            std::string_view mail) {
    // After a torn write the file may end past the last entry read.
    const std::uint64_t end = std::max(state.scannedTo, state.seen.size);
    const PackEntry entry{name, end, mail.size(), digestOf(mail), true};
    const Header header = headerOf(entry);
    Status written = Status::ok();
    if (mail.size() <= kOneWriteBytes) {  // a copy costs less than a second write
        std::string bytes(header.begin(), header.end());
        bytes.append(mail);
        written = pack.writeAt(entry.offset, bytes);
    } else {
        written = pack.writeAt(entry.offset, header);
        written = written ? pack.writeAt(entry.offset + kHeaderBytes, mail) : written;
    }
    if (!written) {
        state.seen = {};  // what the failed write left is read again
        return written;
    }
    base::startWritebackOfCompletedStretches(pack, entry.offset, kHeaderBytes + entry.length);
    state.scannedTo = entry.offset + kHeaderBytes + entry.length;
    state.seen.size = state.scannedTo;
    state.add(entry);
    // A run appends hundreds: their rows go to the index together, at the
    // latest when the pack is synced. Rows never written cost a later
    // process a scan of those entries' headers, nothing more.
    if (state.entries.size() - state.indexRows >= kRowsPerIndexWrite) {
        writeRows(state);
    }
    return Status::ok();
}

void OriginalPack::writeIndexRows() {
    const std::lock_guard lock(g_packsLock);
    PackState& state = stateOf(path());
    if (state.generation != 0) {
        writeRows(state);
    }
}

Status OriginalPack::sync() {
    writeIndexRows();
    const std::lock_guard lock(g_packsLock);
    const Status synced = base::syncFile(path(), m_fs);
    return synced.code() == StatusCode::kNotFound ? Status::ok() : synced;
}

Status OriginalPack::drop(const std::vector<PackEntry>& entries) {
    if (entries.empty()) {
        return Status::ok();
    }
    const std::lock_guard lock(g_packsLock);
    if (!m_fs.exists(path())) {
        return Status::ok();
    }
    PackState& state = stateOf(path());
    auto pack = load(state, base::OpenMode::kReadWrite);
    if (!pack || !pack.value()) {
        return pack.status();
    }
    std::set<std::uint64_t> going;  // a delete-all drops every entry of a large box
    for (const PackEntry& entry : entries) {
        going.insert(entry.offset);
    }
    std::size_t live = 0;
    for (PackEntry& kept : state.entries) {
        if (kept.live && going.contains(kept.offset)) {
            kept.live = false;
            const Header header = headerOf(kept);
            Status s = pack.value()->writeAt(kept.offset, header);
            s = s ? pack.value()->discard(kept.offset + kHeaderBytes, kept.length) : s;
            if (!s) {
                state.seen = {};
                return s;
            }
        }
        live += kept.live ? 1 : 0;
    }
    state.indexRows = 0;  // the rows of the dropped entries changed
    writeRows(state);
    state.seen = {};
    if (Status s = pack.value()->sync(); !s) {
        return s;
    }
    if (live * 2 < state.entries.size()) {
        return rewrite(state, *pack.value());
    }
    state.seen = identityOf(path());
    return Status::ok();
}

Status OriginalPack::rewrite(PackState& state, base::File& pack) {
    if (std::none_of(state.entries.begin(), state.entries.end(),
                     [](const PackEntry& entry) { return entry.live; })) {
        (void)m_fs.remove(indexPath());
        Status s = m_fs.remove(path());
        state = PackState{};
        return s ? m_fs.syncFolder(m_folder) : s;
    }
    const std::string temporary = rewritePath();
    (void)m_fs.remove(temporary);
    auto made = m_fs.createNew(temporary, base::kPrivateFileMode);
    if (!made) {
        return made.status();
    }
    base::File& fresh = *made.value();
    PackState rewritten;
    rewritten.generation = newGeneration();
    Status s = fresh.writeAt(0, fileHeaderOf(kPackMagic, rewritten.generation));
    std::uint64_t at = kFileHeaderBytes;
    for (const PackEntry& entry : state.entries) {
        if (!s || !entry.live) {
            continue;
        }
        s = base::copyRange(pack, entry.offset, fresh, at, kHeaderBytes + entry.length);
        PackEntry moved = entry;
        moved.offset = at;
        at += kHeaderBytes + entry.length;
        rewritten.add(std::move(moved));
    }
    s = s ? fresh.sync() : s;
    s = s ? m_fs.rename(temporary, path()) : s;
    if (!s) {
        (void)m_fs.remove(temporary);
        state.seen = {};
        return s;
    }
    rewritten.scannedTo = at;
    state = std::move(rewritten);
    writeRows(state);
    state.seen = identityOf(path());
    return m_fs.syncFolder(m_folder);
}

}  // namespace qf::store
