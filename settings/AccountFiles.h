// The two INI files in the data folder, both with the single section
// "EXEINI" (see ProfileFile.h for the INI semantics).
//
// Account file "iniIdPass.ini" (ProgramFolder::accountFile()):
//
// | key     | value                                                        |
// |---------|--------------------------------------------------------------|
// | NAME    | POP3 user ID                                                 |
// | NAME2   | POP3 password, in plain text (so the file is kept at 0600)   |
// | NAME3   | "1" when the user chose to keep ID and password, "0" if not  |
//
// Sorting-registration file "iniIdPass2.ini" (ProgramFolder::sortingFile()):
//
// | key                      | value                                        |
// |--------------------------|----------------------------------------------|
// | NAME, NAME3, … , NAME9   | sender address of registration 1 … 5        |
// | NAME2, NAME4, … , NAME10 | caption of registration 1 … 5's box          |
//
// Registration k (1-based) uses key number 2k − 1 for the address and 2k for
// the caption; key number 1 is spelled "NAME", not "NAME1".
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <string>

#include "base/FileSystem.h"
#include "base/Status.h"

namespace qf::settings {

inline constexpr char kExeIniSection[] = "EXEINI";
// Every value of these files is read with a buffer of this many characters,
// so at most 255 characters come back.
inline constexpr std::size_t kProfileBufferChars = 256;
inline constexpr std::size_t kSortingRegistrationCount = 5;

struct Account {
    std::string id;        // UTF-8
    std::string password;  // UTF-8

    bool operator==(const Account&) const = default;
};

struct SortingRegistration {
    std::string address;  // UTF-8; a new mail's sender matches it (receive::slotForSender)
    std::string caption;  // UTF-8; the caption of the registration's box

    bool operator==(const SortingRegistration&) const = default;
};

using SortingRegistrations = std::array<SortingRegistration, kSortingRegistrationCount>;

// The INI key of key number n (1 → "NAME", 2 → "NAME2", …).
std::string exeIniKey(int number);

// NAME and NAME2 of the account file (256-character buffers, default empty).
// A missing file or key gives empty texts, and so does a file that cannot
// be read: only for showing, never to be written back.
Account readAccount(const std::filesystem::path& file);

// The account file read once: NAME, NAME2 and whether NAME3 is "1". A
// missing file gives empty texts; one that cannot be read gives its error,
// so that nothing is written back from what was not read.
struct StoredAccount {
    Account account;
    bool kept = false;
};
Result<StoredAccount> readAccountFile(const std::filesystem::path& file,
                                      base::FileSystem& fs = base::posixFileSystem());

// True when NAME3 is "1": the user chose to keep the ID and password.
bool accountKept(const std::filesystem::path& file);

// Saves the account as the ID/password window's OK does:
//   keep == true:  NAME = id, NAME2 = password, NAME3 = "1";
//   keep == false: NAME2 = "" and NAME3 = "0"; the stored ID stays, and no
//                  password is left in the file.
// The receive run calls it with keep == true when the user chose to keep them.
// The file is created when missing and always ends with mode 0600.
// Fails as writeProfileStrings does; the file is then unchanged.
Status saveAccount(const std::filesystem::path& file, const Account& account, bool keep,
                   base::FileSystem& fs = base::posixFileSystem());

// The five registrations, each value read with a 256-character buffer and
// stripped of spaces at both ends; missing file or key gives empty texts.
SortingRegistrations readSortingRegistrations(const std::filesystem::path& file);

// Writes all ten keys with one rewrite of the file, each value as typed.
Status writeSortingRegistrations(const std::filesystem::path& file,
                                 const SortingRegistrations& registrations,
                                 base::FileSystem& fs = base::posixFileSystem());

}  // namespace qf::settings
