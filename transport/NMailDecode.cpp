// NMailAttachmentFileFirst / NMailAttachmentFileClose: decoding of a fetched
// mail into the caller's buffers, its attachments written into the
// attachment folder, split mail kept until complete.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "base/FileSystem.h"
#include "text/Cp932.h"
#include "transport/AttachmentNames.h"
#include "transport/BufferContract.h"
#include "transport/LastError.h"
#include "transport/MailDecoder.h"
#include "transport/NMail.h"
#include "transport/SplitMail.h"

namespace qf::transport {

namespace {

constexpr int kFailed = -1;

// "…\添付フォルダ\" as a POSIX path: the text is decoded first, so that a
// Shift-JIS trail byte 0x5C is never taken for a separator.
std::string folderPath(const char* attachmentFolder) {
    std::string path = utf8Argument(attachmentFolder);
    std::replace(path.begin(), path.end(), '\\', '/');
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// The files the last NMailAttachmentFileFirst of this thread wrote.
thread_local std::vector<std::string> tWrittenNames;

// The program creates the folder at start; one lost since then comes back.
void ensureFolder(const std::string& folder) {
    (void)base::makePrivateFolders(folder);
}

constexpr std::size_t kMaxAttachmentBytes = kMaxAttachmentMegabytes << 20;
constexpr std::string_view kWholeMailFileName = "未展開メール.eml";

struct BeyondLimits {
    TransportFault notice;
    std::string figure;  // the parts or megabytes the mail has ("" for the levels)
};

// Why the mail is beyond what one mail may write (TransportFault.h), or nullopt.
std::optional<BeyondLimits> beyondLimits(const DecodedMail& mail) {
    if (mail.nestedTooDeep) {
        return BeyondLimits{TransportFault::kWholeMailNestedTooDeep, {}};
    }
    if (mail.attachments.size() > kMaxAttachmentParts) {
        return BeyondLimits{TransportFault::kWholeMailTooManyParts,
                            std::to_string(mail.attachments.size())};
    }
    std::size_t bytes = 0;
    for (const Attachment& attachment : mail.attachments) {
        bytes += attachment.bytes.size();
    }
    if (bytes > kMaxAttachmentBytes) {
        return BeyondLimits{TransportFault::kWholeMailTooLarge, std::to_string(bytes >> 20)};
    }
    return std::nullopt;
}

// Instead of its parts, the whole mail goes into the folder as one file: the
// folder gets one file and nothing of the mail is lost. The notice code
// tells the caller, which says so in the body.
int writeWholeMail(const std::string& folder, std::string_view rawMail,
                   const BeyondLimits& beyond) {
    ensureFolder(folder);
    Result<std::string> written =
        writeAttachment(folder, kWholeMailFileName, "message/rfc822", rawMail);
    if (!written) {
        setLastError(TransportFault::kAttachmentNotWritten, written.status().message());
        return kAttachmentCannotBeOpened;
    }
    tWrittenNames.push_back(written.value());
    setLastError(beyond.notice, beyond.figure, written.value());
    return kAttachmentsWritten;
}

int writeAttachments(const std::string& folder, const std::vector<Attachment>& attachments) {
    if (attachments.empty()) {
        return 0;
    }
    ensureFolder(folder);
    AttachmentWriter writer(folder);
    int result = kAttachmentsWritten;
    for (const Attachment& attachment : attachments) {
        Result<std::string> written =
            writer.write(attachment.name, attachment.mimeType, attachment.bytes);
        if (!written) {
            // The other attachments are still written.
            setLastError(TransportFault::kAttachmentNotWritten, written.status().message());
            result = kAttachmentCannotBeOpened;
        } else {
            tWrittenNames.push_back(written.value());
        }
    }
    // Files that are not on disk yet must keep the mail on the server.
    if (Status synced = writer.sync(); !synced) {
        setLastError(TransportFault::kAttachmentNotWritten, synced.message());
        result = kAttachmentCannotBeOpened;
    }
    return result;
}

// The attachments of `mail` written into the folder, or the whole mail as one
// file when it is beyond what one mail may write.
int expand(const std::string& folder, std::string_view rawMail, const DecodedMail& mail) {
    if (auto beyond = beyondLimits(mail)) {
        return writeWholeMail(folder, rawMail, *beyond);
    }
    return writeAttachments(folder, mail.attachments);
}

void fillBuffers(const DecodedMail& mail, std::size_t bodyCapacity, char* subject, char* date,
                 char* sender, char* header, char* body) {
    copyUtf8(subject, textBufferSize(), mail.headers.subject);
    copyUtf8(date, textBufferSize(), mail.headers.date);
    copyUtf8(sender, textBufferSize(), mail.headers.sender);
    copyCp932(header, textBufferSize(),
              fitHeader(text::toCp932(mail.headerText), textBufferSize() - 1));
    copyCp932(body, bodyCapacity, mail.body);  // decoded in CP932 (decodeMail below)
}

}  // namespace

int NMailAttachmentFileFirst(int /*flag*/, char* subject, char* date, char* sender, char* header,
                             char* body, const char* attachmentFolder, const char* /*workFile*/,
                             const char* mailText, int /*flag2*/) {
    clearLastError();
    tWrittenNames.clear();
    std::string_view raw = mailText ? mailText : "";
    std::size_t bodyCapacity = std::max(raw.size() + 1, bodyBufferSize());
    std::string folder = folderPath(attachmentFolder);
    // The body goes into the caller's CP932 buffer: decoded into CP932 directly.
    DecodedMail mail = decodeMail(raw, BodyForm::kCp932);
    if (!mail.partial) {
        int result = expand(folder, raw, mail);
        fillBuffers(mail, bodyCapacity, subject, date, sender, header, body);
        return result;
    }
    ensureFolder(folder);
    auto kept = keepSplitPart(folder, *mail.partial, raw);
    if (!kept) {
        // Refused or not stored: the part's own text becomes the body, so the
        // stored mail still holds everything that arrived.
        setLastError(TransportFault::kSplitMailNotKept, kept.status().message());
        std::size_t end = raw.find("\r\n\r\n");
        mail.body =
            end == std::string_view::npos ? std::string() : inBodyForm(mail, raw.substr(end + 4));
        fillBuffers(mail, bodyCapacity, subject, date, sender, header, body);
        return kFailed;
    }
    if (!kept.value()) {
        fillBuffers(mail, bodyCapacity, subject, date, sender, header, body);
        return kSplitMailIncomplete;
    }
    DecodedMail whole = decodeMail(*kept.value(), BodyForm::kCp932);
    int result = expand(folder, *kept.value(), whole);
    // With an attachment unwritten the caller keeps this part on the server;
    // the earlier parts, already gone from there, must stay kept for the retry.
    if (result != kAttachmentCannotBeOpened) {
        releaseSplitMail(folder, mail.partial->id);
    }
    fillBuffers(whole, bodyCapacity, subject, date, sender, header, body);
    return result;
}

std::vector<std::string> NMailWrittenAttachmentNames() {
    return tWrittenNames;
}

int NMailAttachmentFileClose(int /*flag*/) {
    // First keeps nothing once it returns; Close stays for the call order.
    return 0;
}

}  // namespace qf::transport
