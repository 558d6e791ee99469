// A fetched mail taken apart for the program's own receive: its texts
// decoded (headers once, in UTF-8; the body in the form asked for), its
// attachments written into the attachment folder, a part of a split mail
// kept until the rest arrives, and a mail beyond what one mail may write
// (TransportFault.h) written whole as one file instead.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "transport/MailDecoder.h"
#include "transport/TransportResult.h"

namespace qf::transport {

enum class Expansion {
    kNoneWritten,
    kFilesWritten,
    kSplitPartKept,     // a part of a split mail, kept until the rest arrives
    kSplitPartNotKept,  // a part that could not be kept: its own text is the body
};

struct ReceivedMail {
    DecodedHeaders headers;  // UTF-8
    std::string headerText;  // every header line, "Name: decoded value" (UTF-8)
    std::string body;        // in bodyForm
    BodyForm bodyForm = BodyForm::kUtf8;
    Expansion expansion = Expansion::kNoneWritten;
    // Set when the mail was written whole as one file: why (a whole-mail
    // notice fault), the file's name, and the parts or megabytes it has.
    TransportError keptWhole;
    // The text of a part that could not be kept (kSplitPartNotKept).
    std::string splitProblem;
    // The names of the files written into the attachment folder for it.
    std::vector<std::string> writtenFiles;
};

// Decodes `rawMail` and writes what it carries into `attachmentFolder`
// (UTF-8, "/"-separated; made when missing). Fails with
// kAttachmentNotWritten when an attachment could not be written (the
// others were): the mail must stay on the server.
TransportResult<ReceivedMail> expandReceivedMail(std::string_view rawMail,
                                                 const std::string& attachmentFolder,
                                                 BodyForm bodyForm = BodyForm::kUtf8);

}  // namespace qf::transport
