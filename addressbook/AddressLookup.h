// How the compose window and the address-book window read the address book:
// the rows they list and the recipient a row click gives.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "addressbook/AddressBookFile.h"
#include "base/Status.h"

namespace qf::addressbook {

// Every entry in record order; a missing file is created empty first.
Result<std::vector<AddressEntry>> readAddressBook(const std::string& dataFolder);

// The recipient a click on entry n gives: the first 60 characters of its
// address, stripped of spaces. Nothing when there is no entry n.
Result<std::optional<std::string>> recipientOf(const std::string& dataFolder, int recordNumber);

// A row of the address-book window: the address field as stored (padded to
// its 90 bytes), two spaces, then the name field as stored, so that an ASCII
// address puts the name at character 93.
std::string addressBookRow(const AddressEntry& entry);

}  // namespace qf::addressbook
