// Safe file names for received attachments, and writing them into the
// attachment folder without ever leaving it or replacing a file.
//
// A mail may name its attachment anything ("../../x", "/tmp/x", "..\x",
// "C:\x", control characters, 300 characters). The name on disk is the last
// path component only, cleaned and shortened, UTF-8, and new.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/Status.h"

namespace qf::transport {

// The longest name we write, in bytes of UTF-8 (file systems allow 255).
inline constexpr std::size_t kMaxAttachmentNameBytes = 200;

// The cleaned name: directories of both slash kinds and a drive letter
// removed, control characters and characters unusable in file names
// replaced by "_", leading and trailing dots and spaces removed, cut to
// kMaxAttachmentNameBytes at a character boundary with its extension kept.
// An empty or all-dots result becomes "attachment" with an extension for
// `mimeType` ("attachment.bin" when the type is unknown).
std::string safeAttachmentName(std::string_view name, std::string_view mimeType);

// Writes the attachments of one mail as new files in `folder` (which must
// exist) under safeAttachmentName; when the name is taken, "name(1).ext",
// "name(2).ext"… Each file is created with O_EXCL | O_NOFOLLOW, so no
// existing file or link is ever written through. The writer remembers the
// last number it gave each name, so that thousands of parts of one name are
// named in linear time.
class AttachmentWriter {
  public:
    explicit AttachmentWriter(std::string folder);
    ~AttachmentWriter();
    AttachmentWriter(const AttachmentWriter&) = delete;
    AttachmentWriter& operator=(const AttachmentWriter&) = delete;

    // The name written, or an I/O error naming the file. The file is not
    // yet flushed to disk: call sync() after the last one.
    Result<std::string> write(std::string_view name, std::string_view mimeType,
                              std::string_view bytes);

    // Flushes every file written, and the folder, to disk.
    Status sync();

  private:
    static constexpr std::size_t kMaxHeldFiles = 16;

    void hold(int fd);  // kept open until sync() flushes it
    void closeHeld();

    std::string m_folder;
    int m_dir = -1;
    std::vector<int> m_held;
    bool m_syncWholeFileSystem = false;
    std::unordered_map<std::string, int> m_nextNumber;  // by safe name
};

// One attachment, written and flushed as AttachmentWriter does it.
Result<std::string> writeAttachment(const std::string& folder, std::string_view name,
                                    std::string_view mimeType, std::string_view bytes);

}  // namespace qf::transport
