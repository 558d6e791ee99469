// The address-book file, "<data folder>/kdxdata.data": one 184-byte record
// per entry, in registration order, numbered from 1, no header.
//
// | Offset | Bytes | Field                                                  |
// |--------|-------|--------------------------------------------------------|
// | 0      | 90    | Name: the name, then ideographic spaces (U+3000) up to |
// |        |       | 30 characters, then 0x20 up to 90 bytes (CP932)        |
// | 90     | 2     | line break 0x0D 0x0A                                   |
// | 92     | 2     | status word, 16-bit little-endian: 1 = live, 0 =       |
// |        |       | marked for removal (only during a deletion)            |
// | 94     | 90    | Address, CP932, padded with 0x20                       |
//
// Reads, writes and the crash-safe compaction (temporary file KDXDATA.TMP)
// are those of store::RecordFile, the same as for the box files.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/FileSystem.h"
#include "base/Status.h"
#include "store/RecordFile.h"

namespace qf::addressbook {

inline constexpr int kNameCharacters = 30;
// The Address field: a longer address is cut when registered.
inline constexpr std::size_t kAddressFieldBytes = 90;

struct AddressEntry {
    int recordNumber;
    // The fields converted and stripped of ASCII spaces: the name keeps its
    // ideographic padding, as the address-book window shows it.
    std::string name;
    std::string address;
};

// The 184 bytes of an entry with status word 1.
std::vector<char> encodeEntry(const std::string& name, const std::string& address);
AddressEntry decodeEntry(int recordNumber, std::span<const char> record);

class AddressBookFile {
  public:
    explicit AddressBookFile(const std::string& dataFolder,
                             base::FileSystem& fs = base::posixFileSystem());

    const std::string& path() const { return m_file.path(); }

    Result<int> count() const;
    // Creates the file empty when missing, as opening the window does.
    Status createIfMissing();

    // Appends an entry (nothing is checked: an empty name or address is
    // registered as it is), synced to disk, and returns its record number.
    // Not durable (NotDurable.h): written, the book lists it, the sync failed.
    Result<int> registerEntry(const std::string& name, const std::string& address);

    // Every entry in record order.
    Result<std::vector<AddressEntry>> list() const;
    // Entry n, or nothing when there is no whole record n.
    Result<std::optional<AddressEntry>> read(int recordNumber) const;

    // Writes entry n with status word 0; its other bytes stay as they are.
    Status markDeleted(int recordNumber);
    Status compact();
    // Removes entry n: later entries move up by one. A failure leaves the
    // file as it was.
    Status deleteEntry(int recordNumber);

  private:
    store::RecordFile m_file;
};

}  // namespace qf::addressbook
