// NMailAttachmentFileFirst / NMailAttachmentFileClose: the typed decoding of
// a fetched mail (ReceivedMail.h) poured into the caller's buffers, with its
// outcome as a result code and the last error.
#include <algorithm>
#include <utility>

#include "text/Cp932.h"
#include "transport/BufferContract.h"
#include "transport/LastError.h"
#include "transport/NMail.h"
#include "transport/ReceivedMail.h"

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

void fillBuffers(const ReceivedMail& mail, std::size_t bodyCapacity, char* subject, char* date,
                 char* sender, char* header, char* body) {
    copyUtf8(subject, textBufferSize(), mail.headers.subject);
    copyUtf8(date, textBufferSize(), mail.headers.date);
    copyUtf8(sender, textBufferSize(), mail.headers.sender);
    copyCp932(header, textBufferSize(),
              fitHeader(text::toCp932(mail.headerText), textBufferSize() - 1));
    copyCp932(body, bodyCapacity, mail.body);  // decoded in CP932 (below)
}

int resultOf(const ReceivedMail& mail) {
    switch (mail.expansion) {
        case Expansion::kNoneWritten:
            return 0;
        case Expansion::kFilesWritten:
            if (isWholeMailNotice(mail.keptWhole.fault)) {
                setLastError(mail.keptWhole.fault, mail.keptWhole.message, mail.keptWhole.about);
            }
            return kAttachmentsWritten;
        case Expansion::kSplitPartKept:
            return kSplitMailIncomplete;
        case Expansion::kSplitPartNotKept:
            setLastError(TransportFault::kSplitMailNotKept, mail.splitProblem);
            return kFailed;
    }
    return kFailed;
}

}  // namespace

int NMailAttachmentFileFirst(int /*flag*/, char* subject, char* date, char* sender, char* header,
                             char* body, const char* attachmentFolder, const char* /*workFile*/,
                             const char* mailText, int /*flag2*/) {
    clearLastError();
    const std::string_view raw = mailText ? mailText : "";
    const std::size_t bodyCapacity = std::max(raw.size() + 1, bodyBufferSize());
    // The body goes into the caller's CP932 buffer: decoded into CP932 directly.
    TransportResult<ReceivedMail> mail =
        expandReceivedMail(raw, folderPath(attachmentFolder), BodyForm::kCp932);
    if (!mail) {
        // The buffers still get the mail's texts (rare: decoded once more).
        ReceivedMail texts;
        DecodedMail decoded = decodeMail(raw, BodyForm::kCp932);
        texts.headers = std::move(decoded.headers);
        texts.headerText = std::move(decoded.headerText);
        texts.body = std::move(decoded.body);
        fillBuffers(texts, bodyCapacity, subject, date, sender, header, body);
        setLastError(mail.error().fault, mail.error().message);
        return kAttachmentCannotBeOpened;
    }
    const int result = resultOf(mail.value());
    fillBuffers(mail.value(), bodyCapacity, subject, date, sender, header, body);
    return result;
}

int NMailAttachmentFileClose(int /*flag*/) {
    // First keeps nothing once it returns; Close stays for the call order.
    return 0;
}

}  // namespace qf::transport
