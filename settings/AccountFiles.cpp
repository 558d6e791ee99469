#include "settings/AccountFiles.h"

#include <vector>

#include "base/DurableWrite.h"
#include "settings/ProfileFile.h"
#include "text/FixedField.h"

namespace qf::settings {

namespace {

constexpr char kKeptFlag[] = "1";
constexpr char kNotKeptFlag[] = "0";

std::string readExeIniValue(const std::filesystem::path& file, int keyNumber) {
    return getProfileString(file, kExeIniSection, exeIniKey(keyNumber), "", kProfileBufferChars);
}

int addressKeyNumber(std::size_t registrationIndex) {
    return static_cast<int>(2 * registrationIndex + 1);
}

}  // namespace

std::string exeIniKey(int number) {
    return number == 1 ? std::string("NAME") : "NAME" + std::to_string(number);
}

Account readAccount(const std::filesystem::path& file) {
    Result<StoredAccount> stored = readAccountFile(file);
    return stored ? stored.value().account : Account{};
}

Result<StoredAccount> readAccountFile(const std::filesystem::path& file, base::FileSystem& fs) {
    Result<std::string> bytes = base::readWholeFile(file.string(), fs);
    if (!bytes && bytes.status().code() != StatusCode::kNotFound) {
        return bytes.status();
    }
    const std::string_view text = bytes ? std::string_view(bytes.value()) : std::string_view();
    auto value = [&](int keyNumber) {
        return profileValueIn(text, kExeIniSection, exeIniKey(keyNumber), "", kProfileBufferChars);
    };
    return StoredAccount{{value(1), value(2)}, value(3) == kKeptFlag};
}

bool accountKept(const std::filesystem::path& file) {
    Result<StoredAccount> stored = readAccountFile(file);
    return stored && stored.value().kept;
}

Status saveAccount(const std::filesystem::path& file, const Account& account, bool keep,
                   base::FileSystem& fs) {
    std::vector<ProfileEntry> entries;
    if (keep) {
        entries = {{exeIniKey(1), account.id},
                   {exeIniKey(2), account.password},
                   {exeIniKey(3), kKeptFlag}};
    } else {
        // A password the user no longer wants kept must not stay on disk in
        // clear text; the ID is no secret and saves typing it again.
        entries = {{exeIniKey(2), ""}, {exeIniKey(3), kNotKeptFlag}};
    }
    return writeProfileStrings(file, kExeIniSection, entries, FileAccess::kOwnerOnly, fs);
}

SortingRegistrations readSortingRegistrations(const std::filesystem::path& file) {
    SortingRegistrations registrations;
    for (std::size_t k = 0; k < registrations.size(); ++k) {
        const int addressKey = addressKeyNumber(k);
        registrations[k].address =
            std::string(text::stripSpaces(readExeIniValue(file, addressKey)));
        registrations[k].caption =
            std::string(text::stripSpaces(readExeIniValue(file, addressKey + 1)));
    }
    return registrations;
}

Status writeSortingRegistrations(const std::filesystem::path& file,
                                 const SortingRegistrations& registrations, base::FileSystem& fs) {
    std::vector<ProfileEntry> entries;
    for (std::size_t k = 0; k < registrations.size(); ++k) {
        const int addressKey = addressKeyNumber(k);
        entries.emplace_back(exeIniKey(addressKey), registrations[k].address);
        entries.emplace_back(exeIniKey(addressKey + 1), registrations[k].caption);
    }
    return writeProfileStrings(file, kExeIniSection, entries, FileAccess::kKeep, fs);
}

}  // namespace qf::settings
