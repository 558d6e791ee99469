#include "addressbook/AddressLookup.h"

#include "text/Cp932.h"
#include "text/FixedField.h"
#include "text/Utf8.h"

namespace qf::addressbook {
namespace {

constexpr std::size_t kFieldBytes = 90;
constexpr std::size_t kRecipientCharacters = 60;

// The text as its fixed field holds it: padded with spaces to the field's bytes.
std::string asStored(const std::string& text) {
    std::size_t bytes = text::toCp932(text).size();
    return text + std::string(bytes < kFieldBytes ? kFieldBytes - bytes : 0, ' ');
}

}  // namespace

Result<std::vector<AddressEntry>> readAddressBook(const std::string& dataFolder) {
    AddressBookFile book(dataFolder);
    if (Status created = book.createIfMissing(); !created) {
        return created;
    }
    return book.list();
}

Result<std::optional<std::string>> recipientOf(const std::string& dataFolder, int recordNumber) {
    Result<std::optional<AddressEntry>> entry = AddressBookFile(dataFolder).read(recordNumber);
    if (!entry) {
        return entry.status();
    }
    if (!entry.value()) {
        return std::optional<std::string>();
    }
    std::string_view first =
        text::utf8PrefixOfCharacters(entry.value()->address, kRecipientCharacters);
    return std::optional<std::string>(std::string(text::stripSpaces(first)));
}

std::string addressBookRow(const AddressEntry& entry) {
    return asStored(entry.address) + "  " + asStored(entry.name);
}

}  // namespace qf::addressbook
