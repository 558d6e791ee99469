#include "receive/ReceiveJournal.h"

#include <charconv>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

#include "base/DurableWrite.h"
#include "store/BoxCatalogue.h"
#include "store/Digest.h"
#include "store/MailStore.h"
#include "store/Originals.h"
#include "text/FixedField.h"

namespace qf::receive {

namespace {

// Version 4 takes the digest the record's original is named after, which
// the receive works out anyway (a large mail's journal line cost a SHA-256
// of its record of its own); version 3 took SHA-256 of the record's bytes,
// version 2 FNV-1a of them, version 1 of every byte. A journal an earlier
// build left (and lines a later build appended to it) is still read, so
// that its mails do not come twice.
constexpr int kVersion = 4;
constexpr std::string_view kHeaderPrefix = "quillfern receive journal 4 ";
constexpr std::string_view kEarlierPrefixes[] = {
    "quillfern receive journal 1 ", "quillfern receive journal 2 ", "quillfern receive journal 3 "};

// 64-bit FNV-1a: a cheap, stable hash; the journal needs no more.
std::uint64_t fnv1a(std::string_view bytes, std::uint64_t hash = 14695981039346656037ull) {
    for (unsigned char c : bytes) {
        hash = (hash ^ c) * 1099511628211ull;
    }
    return hash;
}

struct JournalLine {
    int box = 0;
    int recordNumber = 0;
    std::uint64_t fingerprint = 0;
    std::string uid;
};

// Splits "a\tb\tc\td"; nothing when a field is missing or does not parse.
std::optional<JournalLine> parseLine(std::string_view line) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0; fields.size() < 4;) {
        const auto tab = fields.size() < 3 ? line.find('\t', start) : line.size();
        if (tab == std::string_view::npos) {
            return std::nullopt;
        }
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    JournalLine parsed;
    auto number = [](std::string_view text, auto& out, int base) {
        const auto end = text.data() + text.size();
        const auto result = std::from_chars(text.data(), end, out, base);
        return !text.empty() && result.ec == std::errc() && result.ptr == end;
    };
    if (!number(fields[0], parsed.box, 10) || !number(fields[1], parsed.recordNumber, 10) ||
        !number(fields[2], parsed.fingerprint, 16) || fields[3].empty()) {
        return std::nullopt;
    }
    parsed.uid = std::string(fields[3]);
    return parsed;
}

// The bytes of a record up to its line end.
std::string_view recordContent(std::string_view recordBytes) {
    return recordBytes.substr(0, store::layoutOf(store::RecordKind::kMail).lineEnd.offset);
}

// The record's fingerprint as a journal of `version` wrote it; none for a
// record that no line of that version can name.
std::optional<std::uint64_t> fingerprintOf(int version, std::string_view recordBytes) {
    const std::string_view content = recordContent(recordBytes);
    if (version == 1) {
        return fnv1a(content);
    }
    if (version == 4) {
        // The receive writes no NUL: one in the texts is a write a crash
        // cut short (what was never written reads as zeros), which the
        // digest would not see, since a list's texts stop at a NUL.
        if (content.find('\0') != std::string_view::npos) {
            return std::nullopt;
        }
        const store::RecordLayout& layout = store::layoutOf(store::RecordKind::kMail);
        return store::originalNameFingerprint(store::originalName(store::decodeRecord(
            layout, std::span<const char>(recordBytes.data(), recordBytes.size()))));
    }
    // The bytes up to the trailing spaces, and (version 2) their count.
    const std::size_t kept = text::lengthWithoutTrailingSpaces(content);
    if (version == 2) {
        return fnv1a(std::to_string(kept), fnv1a(content.substr(0, kept)));
    }
    const store::Sha256 digest = store::sha256(content.substr(0, kept));
    std::uint64_t fingerprint = 0;
    for (std::size_t i = 0; i < sizeof fingerprint; ++i) {
        fingerprint = (fingerprint << 8) | digest[i];
    }
    return fingerprint;
}

// Whether the record is the one a line of a journal of `version` names: its
// lines carry that version's fingerprint or a later build's.
bool fingerprintMatches(int version, std::string_view recordBytes, std::uint64_t fingerprint) {
    for (int v = version; v <= kVersion; ++v) {
        if (fingerprintOf(v, recordBytes) == fingerprint) {
            return true;
        }
    }
    return false;
}

// True when record `line.recordNumber` of its box is the record noted: the
// quick look, right whenever nothing changed the box since the run.
// `records` gets the record's texts.
bool recordIsInPlace(const store::MailStore& store, const JournalLine& line, int version,
                     StoredRecords* records) {
    auto file = store.file(line.box);
    if (!file) {
        return false;
    }
    std::string record(file.value().format().lengthBytes, '\0');
    auto read = file.value().read(line.recordNumber, std::span<char>(record.data(), record.size()));
    const bool found =
        read && read.value() && fingerprintMatches(version, record, line.fingerprint);
    if (found && records != nullptr) {
        const store::RecordLayout& layout = store::layoutOf(store::findBox(line.box)->kind);
        (*records)[line.uid] = {line.box, store::decodeRecord(layout, record)};
    }
    return found;
}

// A keep-box record as the MailRecord it was moved from (its fields
// decoded and written again in that layout).
std::string asMailRecord(std::span<const char> keepRecord) {
    const store::RecordLayout& mail = store::layoutOf(store::RecordKind::kMail);
    std::string record(mail.lengthBytes, '\0');
    store::encodeRecord(mail,
                        store::decodeRecord(store::layoutOf(store::RecordKind::kKeep), keepRecord),
                        1, std::span<char>(record.data(), record.size()));
    return record;
}

// The records whose fingerprints are in `wanted`, wherever they are now: a
// delete, a move or a compaction since the run shifts records and carries
// them between a receiving box and the keep box.
std::map<std::uint64_t, StoredRecord> fingerprintsFound(const store::MailStore& store,
                                                        const std::set<std::uint64_t>& wanted,
                                                        int version) {
    std::map<std::uint64_t, StoredRecord> found;
    for (const store::BoxInfo& box : store::allBoxes()) {
        const bool keep = box.kind == store::RecordKind::kKeep;
        if ((box.kind != store::RecordKind::kMail && !keep) || found.size() == wanted.size()) {
            continue;
        }
        auto file = store.file(box.number);
        if (!file) {
            continue;
        }
        (void)file.value().forEach([&](int, std::span<const char> bytes) {
            const std::string moved = keep ? asMailRecord(bytes) : std::string();
            const std::string_view record =
                keep ? std::string_view(moved) : std::string_view(bytes.data(), bytes.size());
            for (int v = version; v <= kVersion; ++v) {
                if (const auto print = fingerprintOf(v, record); print && wanted.contains(*print)) {
                    found[*print] = {box.number,
                                     store::decodeRecord(store::layoutOf(box.kind), bytes)};
                }
            }
            return Status::ok();
        });
    }
    return found;
}

}  // namespace

std::string hex16(std::uint64_t value) {
    std::string text(16, '0');
    for (int i = 15; i >= 0; --i, value >>= 4) {
        text[static_cast<std::size_t>(i)] = "0123456789abcdef"[value & 0xF];
    }
    return text;
}

std::string mailDigest(std::string_view header, std::string_view body) {
    const std::string length = std::to_string(header.size()) + "/" + std::to_string(body.size());
    return "digest-" + hex16(fnv1a(length, fnv1a(body, fnv1a(header))));
}

std::uint64_t accountKey(std::string_view server, std::string_view id) {
    return fnv1a(id, fnv1a(std::string(server) + '\n'));
}

std::uint64_t recordFingerprint(std::string_view originalName) {
    return store::originalNameFingerprint(originalName);
}

ReceiveJournal::ReceiveJournal(std::filesystem::path file, std::string_view server,
                               std::string_view id, base::FileSystem& fs)
    : m_file(file.string()), m_fs(fs), m_accountKey(accountKey(server, id)) {}

std::string ReceiveJournal::header() const {
    return std::string(kHeaderPrefix) + hex16(m_accountKey) + "\n";
}

bool ReceiveJournal::exists() const {
    return m_fs.exists(m_file);
}

Result<std::set<std::string>> ReceiveJournal::storedIds(const store::MailStore& store,
                                                        StoredRecords* records) {
    std::set<std::string> ids;
    Result<std::string> bytes = base::readWholeFile(m_file, m_fs);
    if (!bytes) {
        if (bytes.status().code() == StatusCode::kNotFound) {
            return ids;
        }
        return bytes.status();
    }
    std::string_view text = bytes.value();
    const std::string accountPart = hex16(m_accountKey) + "\n";
    int version = text.starts_with(header()) ? kVersion : 0;
    for (int earlier = 1; earlier < kVersion && version == 0; ++earlier) {
        if (text.starts_with(std::string(kEarlierPrefixes[earlier - 1]) + accountPart)) {
            version = earlier;
        }
    }
    if (version == 0) {
        if (Status s = clear(); !s) {
            return s;
        }
        return ids;
    }
    text.remove_prefix(header().size());  // every version's header is as long
    // Only whole lines: the last one may be cut short by the crash. A
    // record not where it was written is looked for by its fingerprint.
    std::vector<JournalLine> lines;
    for (auto end = text.find('\n'); end != std::string_view::npos; end = text.find('\n')) {
        if (std::optional<JournalLine> line = parseLine(text.substr(0, end))) {
            lines.push_back(std::move(*line));
        }
        text.remove_prefix(end + 1);
    }
    std::set<std::uint64_t> sought;
    for (const JournalLine& line : lines) {
        if (recordIsInPlace(store, line, version, records)) {
            ids.insert(line.uid);
        } else {
            sought.insert(line.fingerprint);
        }
    }
    if (!sought.empty()) {
        const auto found = fingerprintsFound(store, sought, version);
        for (const JournalLine& line : lines) {
            if (auto record = found.find(line.fingerprint); record != found.end()) {
                ids.insert(line.uid);
                if (records != nullptr) {
                    (*records)[line.uid] = record->second;
                }
            }
        }
    }
    return ids;
}

Status ReceiveJournal::begin() {
    if (m_open || m_fs.exists(m_file)) {
        return Status::ok();
    }
    // On disk, folder entry too, before the first record it covers: a power
    // cut must not keep a record and lose the journal that names it.
    if (Status s = append(""); !s) {
        return s;
    }
    return sync();
}

Status ReceiveJournal::noteStoring(std::string_view uid, int box, int recordNumber,
                                   std::string_view originalName) {
    std::string line = std::to_string(box) + "\t" + std::to_string(recordNumber) + "\t" +
                       hex16(recordFingerprint(originalName)) + "\t" + std::string(uid) + "\n";
    return append(std::move(line));
}

Status ReceiveJournal::openForAppending() {
    const bool created = !m_fs.exists(m_file);
    auto file = m_fs.open(m_file, base::OpenMode::kReadWrite);
    if (!file) {
        return file.status();
    }
    auto size = file.value()->size();
    if (!size) {
        return size.status();
    }
    // A journal torn inside its header is rewritten from the start; a line
    // torn by a crash is ended, so that it cannot run into the next one.
    std::uint64_t at = size.value();
    std::string start;
    if (at < header().size()) {
        start = header();
        at = 0;
    } else {
        char last = '\n';
        if (auto got = file.value()->readAt(at - 1, std::span<char>(&last, 1)); !got) {
            return got.status();
        }
        if (last != '\n') {
            start = "\n";
        }
    }
    if (!start.empty()) {
        if (Status s = file.value()->writeAt(at, start); !s) {
            return s;
        }
        at += start.size();
        m_unsynced = true;
    }
    m_open = std::move(file.value());
    m_end = at;
    m_created = m_created || created;
    return Status::ok();
}

Status ReceiveJournal::append(std::string line) {
    if (!m_open) {
        if (Status s = openForAppending(); !s) {
            return s;
        }
    }
    if (Status s = m_open->writeAt(m_end, line); !s) {
        m_open.reset();  // the next append looks at the file afresh
        return s;
    }
    m_end += line.size();
    m_unsynced = m_unsynced || !line.empty();
    return Status::ok();
}

Status ReceiveJournal::sync() {
    if (!m_unsynced && !m_created) {
        return Status::ok();
    }
    if (!m_open) {
        if (Status s = openForAppending(); !s) {
            return s;
        }
    }
    if (Status s = m_open->sync(); !s) {
        return s;
    }
    if (m_created) {
        if (Status s = m_fs.syncFolder(std::filesystem::path(m_file).parent_path().string()); !s) {
            return s;
        }
    }
    m_unsynced = false;
    m_created = false;
    return Status::ok();
}

Status ReceiveJournal::clear() {
    m_open.reset();
    m_unsynced = false;
    m_created = false;
    if (!m_fs.exists(m_file)) {
        return Status::ok();
    }
    if (Status s = m_fs.remove(m_file); !s) {
        return s;
    }
    return m_fs.syncFolder(std::filesystem::path(m_file).parent_path().string());
}

}  // namespace qf::receive
