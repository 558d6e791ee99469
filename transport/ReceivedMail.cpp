#include "transport/ReceivedMail.h"

#include <optional>

#include "base/FileSystem.h"
#include "transport/AttachmentNames.h"
#include "transport/SplitMail.h"

namespace qf::transport {

namespace {

// The program creates the folder at start; one lost since then comes back.
void ensureFolder(const std::string& folder) {
    (void)base::makePrivateFolders(folder);
}

constexpr std::size_t kMaxAttachmentBytes = kMaxAttachmentMegabytes << 20;
constexpr std::string_view kWholeMailFileName = "未展開メール.eml";

// Why the mail is beyond what one mail may write, with the parts or
// megabytes it has ("" for the levels); nullopt when it is not.
std::optional<TransportError> beyondLimits(const DecodedMail& mail) {
    if (mail.nestedTooDeep) {
        return TransportError{TransportFault::kWholeMailNestedTooDeep, {}, {}};
    }
    if (mail.attachments.size() > kMaxAttachmentParts) {
        return TransportError{
            TransportFault::kWholeMailTooManyParts, std::to_string(mail.attachments.size()), {}};
    }
    std::size_t bytes = 0;
    for (const Attachment& attachment : mail.attachments) {
        bytes += attachment.bytes.size();
    }
    if (bytes > kMaxAttachmentBytes) {
        return TransportError{TransportFault::kWholeMailTooLarge, std::to_string(bytes >> 20), {}};
    }
    return std::nullopt;
}

TransportError notWritten(const Status& status) {
    return {TransportFault::kAttachmentNotWritten, status.outsideText(), {}};
}

// Instead of its parts, the whole mail goes into the folder as one file: the
// folder gets one file and nothing of the mail is lost.
TransportStatus writeWholeMail(const std::string& folder, std::string_view rawMail,
                               TransportError& beyond, std::vector<std::string>& writtenFiles) {
    ensureFolder(folder);
    Result<std::string> written =
        writeAttachment(folder, kWholeMailFileName, "message/rfc822", rawMail);
    if (!written) {
        return notWritten(written.status());
    }
    beyond.about = written.value();
    writtenFiles.push_back(written.value());
    return Done{};
}

TransportStatus writeAttachments(const std::string& folder,
                                 const std::vector<Attachment>& attachments,
                                 std::vector<std::string>& writtenFiles) {
    ensureFolder(folder);
    AttachmentWriter writer(folder);
    std::optional<TransportError> failed;
    for (const Attachment& attachment : attachments) {
        Result<std::string> written =
            writer.write(attachment.name, attachment.mimeType, attachment.bytes);
        if (!written) {
            // The other attachments are still written.
            failed = notWritten(written.status());
        } else {
            writtenFiles.push_back(written.value());
        }
    }
    // Files that are not on disk yet must keep the mail on the server.
    if (Status synced = writer.sync(); !synced) {
        failed = notWritten(synced);
    }
    if (failed) {
        return *failed;
    }
    return Done{};
}

// The attachments of `decoded` into the folder, or the whole mail as one file.
TransportStatus expand(const std::string& folder, std::string_view rawMail,
                       const DecodedMail& decoded, ReceivedMail& mail) {
    if (std::optional<TransportError> beyond = beyondLimits(decoded)) {
        TransportStatus written = writeWholeMail(folder, rawMail, *beyond, mail.writtenFiles);
        if (written) {
            mail.keptWhole = std::move(*beyond);
            mail.expansion = Expansion::kFilesWritten;
        }
        return written;
    }
    if (decoded.attachments.empty()) {
        return Done{};
    }
    mail.expansion = Expansion::kFilesWritten;
    return writeAttachments(folder, decoded.attachments, mail.writtenFiles);
}

// The texts only: the attachments stay with `decoded` for writing.
ReceivedMail textsOf(DecodedMail& decoded) {
    ReceivedMail mail;
    mail.headers = std::move(decoded.headers);
    mail.headerText = std::move(decoded.headerText);
    mail.body = std::move(decoded.body);
    mail.bodyForm = decoded.bodyForm;
    return mail;
}

}  // namespace

TransportResult<ReceivedMail> expandReceivedMail(std::string_view rawMail,
                                                 const std::string& attachmentFolder,
                                                 BodyForm bodyForm) {
    DecodedMail decoded = decodeMail(rawMail, bodyForm);
    if (!decoded.partial) {
        ReceivedMail mail = textsOf(decoded);
        if (TransportStatus expanded = expand(attachmentFolder, rawMail, decoded, mail);
            !expanded) {
            return expanded.error();
        }
        return mail;
    }
    ensureFolder(attachmentFolder);
    auto kept = keepSplitPart(attachmentFolder, *decoded.partial, rawMail);
    if (!kept) {
        // Refused or not stored: the part's own text becomes the body, so the
        // stored mail still holds everything that arrived.
        const std::size_t end = rawMail.find("\r\n\r\n");
        decoded.body = end == std::string_view::npos ? std::string()
                                                     : inBodyForm(decoded, rawMail.substr(end + 4));
        ReceivedMail mail = textsOf(decoded);
        mail.expansion = Expansion::kSplitPartNotKept;
        mail.splitProblem = kept.status().message();
        return mail;
    }
    if (!kept.value()) {
        ReceivedMail mail = textsOf(decoded);
        mail.expansion = Expansion::kSplitPartKept;
        return mail;
    }
    const std::string partId = decoded.partial->id;
    DecodedMail whole = decodeMail(*kept.value(), bodyForm);
    ReceivedMail mail = textsOf(whole);
    TransportStatus expanded = expand(attachmentFolder, *kept.value(), whole, mail);
    // With an attachment unwritten the caller keeps this part on the server;
    // the earlier parts, already gone from there, must stay kept for the retry.
    if (!expanded) {
        return expanded.error();
    }
    releaseSplitMail(attachmentFolder, partId);
    return mail;
}

}  // namespace qf::transport
