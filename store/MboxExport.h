// Export of a box as an mbox file (the mboxrd variant), so that its mail can
// be taken to any other mail program.
//
// Each record becomes one message: its original where one is kept (as it
// came), otherwise a "From " separator line, the headers
// Subject, From (To for the send history) and Date, MIME headers for UTF-8
// plain text, an empty line and the body, LF line ends. Header texts that
// are not plain ASCII become RFC 2047 encoded-words; control characters in
// them become spaces so that no text can add a header. Body lines that
// match ">*From " get one more ">" (mboxrd quoting).
#pragma once

#include <string>
#include <string_view>

#include "base/FileSystem.h"
#include "store/MailRecord.h"
#include "store/MailStore.h"

namespace qf::store {

// The text as it may stand in a header: ASCII as it is, otherwise UTF-8
// "B" encoded-words of at most 75 characters, folded with LF and a space.
std::string encodeHeaderText(std::string_view utf8);

// An address header value: in "name <address>" only the name is encoded.
std::string encodeAddressHeader(std::string_view utf8);

// A Date header for the record's date text: an RFC 5322 date stays as it
// is, the program's own "YYYY/MM/DD hh:mm:ss" clock text is converted (as
// local time); anything else is kept as encoded text.
std::string dateHeader(std::string_view dateText);

// One message, separator line included.
std::string formatMboxMessage(const MailFields& fields, RecordKind kind);
// The same for a record whose original is kept: the mail as it came, with LF
// line ends and mboxrd quoting, after the separator line.
std::string formatMboxOriginal(const MailFields& fields, RecordKind kind,
                               std::string_view original);

// Writes every record of `box`, in file order, to `path`: into a temporary
// file beside it, synced and then renamed onto `path`. An existing `path` is
// refused (kRefused) unless `overwrite`, also one made while the export was
// writing. The box is only read.
Status exportMbox(MailStore& store, int box, const std::string& path, bool overwrite,
                  base::FileSystem& fs = base::posixFileSystem());

}  // namespace qf::store
