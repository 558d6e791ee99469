// Which attachment files the receive expanded for which mail. A record has
// room for no more than its four texts, so the receive notes the file names
// it wrote for each mail in an index beside the boxes, under a key made from
// the mail's record; a forward finds the files of the shown mail there.
//
// File (data folder, "attachments.index", the owner's alone): one line a
// mail, appended and synced, "<key>\t<name>\t<name>…\n" (UTF-8 file names
// of the attachment folder; a name never holds a tab or a line break). A
// line cut short by a crash has no line break: it is not read, and the next
// line noted drops it.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "base/Status.h"
#include "store/MailRecord.h"

namespace qf::store {

inline constexpr char kAttachmentIndexFile[] = "attachments.index";

// The key of a record: a digest of its subject, sender, date and body as
// stored. Moving a mail between boxes of the same field widths keeps it.
std::string attachmentKey(std::span<const char> record, const RecordLayout& layout);

// Appends one line for `key` and makes it durable. Nothing for no names.
Status noteAttachments(const std::filesystem::path& index, const std::string& key,
                       const std::vector<std::string>& names);

// The names of the last whole line for `key`; none when there is none or
// the index does not exist.
std::vector<std::string> attachmentsOf(const std::filesystem::path& index, const std::string& key);

}  // namespace qf::store
