#include "addressbook/AddressBookFile.h"

#include <cstddef>
#include <span>

#include "base/NotDurable.h"
#include "store/BoxCatalogue.h"
#include "text/FixedField.h"
#include "text/Utf8.h"

namespace qf::addressbook {

namespace {

constexpr store::ByteRange kName{0, 90};
constexpr store::ByteRange kAddress{94, kAddressFieldBytes};
constexpr const char* kIdeographicSpace = "\u3000";

template <typename Span>
auto fieldOf(Span record, store::ByteRange range) {
    return record.subspan(range.offset, range.lengthBytes);
}

}  // namespace

std::vector<char> encodeEntry(const std::string& name, const std::string& address) {
    const store::RecordFormat& format = store::kAddressRecordFormat;
    std::vector<char> record(format.lengthBytes, ' ');
    std::string padded = name;
    for (std::size_t n = text::utf8CharacterCount(name); n < kNameCharacters; ++n) {
        padded += kIdeographicSpace;
    }
    text::writeField(fieldOf(std::span<char>(record), kName), padded);
    text::writeField(fieldOf(std::span<char>(record), kAddress), address);
    record[format.lineEndOffset] = '\r';
    record[format.lineEndOffset + 1] = '\n';
    store::writeStatusWord(record, format, 1);
    return record;
}

AddressEntry decodeEntry(int recordNumber, std::span<const char> record) {
    return {recordNumber, text::readField(fieldOf(record, kName)),
            text::readField(fieldOf(record, kAddress))};
}

AddressBookFile::AddressBookFile(const std::string& dataFolder, base::FileSystem& fs)
    : m_file(store::addressBookFile(fs, dataFolder)) {}

Result<int> AddressBookFile::count() const {
    return m_file.count();
}

Status AddressBookFile::createIfMissing() {
    return m_file.createIfMissing();
}

Result<int> AddressBookFile::registerEntry(const std::string& name, const std::string& address) {
    auto current = m_file.count();
    if (!current) {
        return current.status();
    }
    const int recordNumber = current.value() + 1;
    if (Status s = m_file.write(recordNumber, encodeEntry(name, address)); !s) {
        return s;
    }
    // Registered means kept, a power cut too. An entry written but not
    // synced is in the book all the same: not a failure to try again.
    if (Status s = m_file.sync(); !s) {
        return base::notDurable(s.message(), s);
    }
    return recordNumber;
}

Result<std::vector<AddressEntry>> AddressBookFile::list() const {
    std::vector<AddressEntry> entries;
    Status s = m_file.forEach([&](int n, std::span<const char> record) {
        entries.push_back(decodeEntry(n, record));
        return Status::ok();
    });
    if (!s) {
        return s;
    }
    return entries;
}

Result<std::optional<AddressEntry>> AddressBookFile::read(int recordNumber) const {
    std::vector<char> record(store::kAddressRecordFormat.lengthBytes);
    auto found = m_file.read(recordNumber, record);
    if (!found) {
        return found.status();
    }
    if (!found.value()) {
        return std::optional<AddressEntry>();
    }
    return std::optional<AddressEntry>(decodeEntry(recordNumber, record));
}

Status AddressBookFile::markDeleted(int recordNumber) {
    std::vector<char> record(store::kAddressRecordFormat.lengthBytes);
    auto found = m_file.read(recordNumber, record);
    if (!found) {
        return found.status();
    }
    if (!found.value()) {
        return Status::notFound(path() + " has no entry " + std::to_string(recordNumber));
    }
    store::writeStatusWord(record, store::kAddressRecordFormat, 0);
    return m_file.write(recordNumber, record);
}

Status AddressBookFile::compact() {
    return m_file.compact();
}

Status AddressBookFile::deleteEntry(int recordNumber) {
    if (Status s = m_file.prepareCompaction(); !s) {
        return s;
    }
    auto count = m_file.count();
    if (!count) {
        return count.status();
    }
    if (recordNumber < 1 || recordNumber > count.value()) {
        return Status::notFound(path() + " has no entry " + std::to_string(recordNumber));
    }
    // Dropped by the compaction, not marked first: a failure leaves the file as it was.
    return m_file.compact(recordNumber);
}

}  // namespace qf::addressbook
