// The boxes of the program and the record files of the data folder.
//
// | Box | File            | Temporary file | Record     | Caption    |
// |-----|-----------------|----------------|------------|------------|
// | 1   | kdxdata2.data   | KDXDATA2.TMP   | MailRecord | (setting)  |
// | 2   | kdxdata3.data   | KDXDATA3.TMP   | MailRecord | (setting)  |
// | 3   | kdxdata4.data   | KDXDATA4.TMP   | MailRecord | (setting)  |
// | 4   | kdxdata5.data   | KDXDATA5.TMP   | MailRecord | (setting)  |
// | 5   | kdxdata7.data   | KDXDATA7.TMP   | MailRecord | (setting)  |
// | 6   | kdxdata8.data   | KDXDATA8.TMP   | MailRecord | その他     |
// | 10  | kdxdata10.data  | KDXDATA10.TMP  | KeepRecord | 保管箱     |
// | 11  | kdxdata6.data   | KDXDATA6.TMP   | SentRecord | 送信履歴   |
//
// The number in a file name is not the box number. Captions of boxes 1-5 are
// the sorting registrations' captions, kept by the settings.
// The address book, kdxdata.data with KDXDATA.TMP, has 184-byte records (see
// addressbook/AddressBookFile.h); it is listed here so that recovery and
// checking cover every record file of the folder.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "base/FileSystem.h"
#include "base/RepairAction.h"
#include "store/MailRecord.h"
#include "store/RecordFile.h"

namespace qf::store {

// The data folder's name under the program folder; one spelling everywhere.
inline constexpr const char* kDataFolderName = "★MAilData";

// Boxes with a fixed part in the program. Boxes 1-5 take the mail of the
// sorting registrations, box 6 all other received mail.
inline constexpr int kReceivingBoxes = 6;
inline constexpr int kOtherBox = 6;
inline constexpr int kKeepBox = 10;
inline constexpr int kSendHistoryBox = 11;

struct BoxInfo {
    int number;
    const char* fileName;
    const char* tempName;
    RecordKind kind;
    const char* caption;  // empty for the named boxes 1-5
};

// The eight boxes in catalogue order: 1-6, 10, 11.
std::span<const BoxInfo> allBoxes();
// The box with that number, or nullptr.
const BoxInfo* findBox(int number);

// "<programFolder>/★MAilData".
std::string dataFolderOf(const std::string& programFolder);

inline constexpr const char* kAddressBookFileName = "kdxdata.data";
inline constexpr const char* kAddressBookTempName = "KDXDATA.TMP";
inline constexpr RecordFormat kAddressRecordFormat{184, 92, 90, false};

RecordFile boxFile(base::FileSystem& fs, const std::string& dataFolder, const BoxInfo& box);
RecordFile addressBookFile(base::FileSystem& fs, const std::string& dataFolder);

// What recovery did, and the first failure if one file could not be repaired
// (the others are still tried).
struct RecoveryReport {
    std::vector<base::RepairAction> actions;
    Status status;
};

// Run at start-up: resolves leftover temporary files and torn tails of
// every box and of the address book (see RecordFile::recover).
RecoveryReport recoverLeftovers(const std::string& dataFolder,
                                base::FileSystem& fs = base::posixFileSystem());

// Read-only: one report per box (catalogue order), then the address book.
std::vector<FileReport> checkDataFolder(const std::string& dataFolder,
                                        base::FileSystem& fs = base::posixFileSystem());

}  // namespace qf::store
