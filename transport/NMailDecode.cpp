// NMailAttachmentFileFirst / NMailAttachmentFileClose: decoding of a fetched
// mail into the caller's buffers, its attachments written into the
// attachment folder, split mail kept until complete.
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

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

// The program creates the folder at start; one lost since then comes back.
void ensureFolder(const std::string& folder) {
    ::mkdir(folder.c_str(), 0755);
}

int writeAttachments(const std::string& folder, const std::vector<Attachment>& attachments) {
    if (attachments.empty()) {
        return 0;
    }
    ensureFolder(folder);
    int result = kAttachmentsWritten;
    for (const Attachment& attachment : attachments) {
        Result<std::string> written =
            writeAttachment(folder, attachment.name, attachment.mimeType, attachment.bytes);
        if (!written) {
            // The other attachments are still written.
            setLastError("添付ファイルを書き込めません。", written.status().message());
            result = kAttachmentCannotBeOpened;
        }
    }
    return result;
}

void fillBuffers(const DecodedMail& mail, std::size_t bodyCapacity, char* subject, char* date,
                 char* sender, char* header, char* body) {
    copyUtf8(subject, textBufferSize(), mail.headers.subject);
    copyUtf8(date, textBufferSize(), mail.headers.date);
    copyUtf8(sender, textBufferSize(), mail.headers.sender);
    copyCp932(header, textBufferSize(),
              fitHeader(text::toCp932(mail.headerText), textBufferSize() - 1));
    copyUtf8(body, bodyCapacity, mail.body);
}

}  // namespace

int NMailAttachmentFileFirst(int /*flag*/, char* subject, char* date, char* sender, char* header,
                             char* body, const char* attachmentFolder, const char* /*workFile*/,
                             const char* mailText, int /*flag2*/) {
    clearLastError();
    std::string_view raw = mailText ? mailText : "";
    std::size_t bodyCapacity = std::max(raw.size() + 1, bodyBufferSize());
    std::string folder = folderPath(attachmentFolder);
    DecodedMail mail = decodeMail(raw);
    if (!mail.partial) {
        int result = writeAttachments(folder, mail.attachments);
        fillBuffers(mail, bodyCapacity, subject, date, sender, header, body);
        return result;
    }
    ensureFolder(folder);
    auto kept = keepSplitPart(folder, *mail.partial, raw);
    if (!kept) {
        // Refused or not stored: the part's own text becomes the body, so the
        // stored mail still holds everything that arrived.
        setLastError("分割メールを保存できません。", kept.status().message());
        std::size_t end = raw.find("\r\n\r\n");
        mail.body =
            end == std::string_view::npos ? std::string() : std::string(raw.substr(end + 4));
        fillBuffers(mail, bodyCapacity, subject, date, sender, header, body);
        return kFailed;
    }
    if (!kept.value()) {
        fillBuffers(mail, bodyCapacity, subject, date, sender, header, body);
        return kSplitMailIncomplete;
    }
    DecodedMail whole = decodeMail(*kept.value());
    int result = writeAttachments(folder, whole.attachments);
    // With an attachment unwritten the caller keeps this part on the server;
    // the earlier parts, already gone from there, must stay kept for the retry.
    if (result != kAttachmentCannotBeOpened) {
        releaseSplitMail(folder, mail.partial->id);
    }
    fillBuffers(whole, bodyCapacity, subject, date, sender, header, body);
    return result;
}

int NMailAttachmentFileClose(int /*flag*/) {
    // First keeps nothing once it returns; Close stays for the call order.
    return 0;
}

}  // namespace qf::transport
