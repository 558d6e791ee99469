#include "transport/MailBuilder.h"

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>

#include "text/HeaderEncoding.h"
#include "text/JapaneseBytes.h"
#include "text/Utf8.h"
#include "transport/Addresses.h"
#include "transport/CharsetConversion.h"
#include "transport/GMimeSupport.h"
#include "transport/HeaderParameters.h"
#include "transport/HeaderWords.h"
#include "transport/Iso2022Jp.h"
#include "transport/MessagePart.h"

namespace qf::transport {

namespace {

// Lines longer than this cannot travel as 7bit (RFC 5322 allows 998).
constexpr std::size_t kMaxLineBytes = 998;
// RFC 2231 sections are cut to keep parameter lines readable.
constexpr std::size_t kRfc2231SectionBytes = 60;

std::string trim(std::string_view text) {
    std::size_t first = text.find_first_not_of(" \t\r\n");
    std::size_t last = text.find_last_not_of(" \t\r\n");
    return first == std::string_view::npos ? std::string()
                                           : std::string(text.substr(first, last - first + 1));
}

// GMime writes raw values as they are, with LF line ends that the DOS
// newline format turns into CR LF; a raw value starts with its space.
std::string rawValue(std::string_view folded) {
    std::string out = " ";
    for (char c : folded) {
        if (c != '\r') {
            out += c;
        }
    }
    return out + "\n";
}

void setRawHeader(GMimeObject* object, const char* name, std::string_view folded) {
    g_mime_object_set_header(object, name, "", nullptr);
    GMimeHeader* header =
        g_mime_header_list_get_header(g_mime_object_get_header_list(object), name);
    g_mime_header_set_raw_value(header, rawValue(folded).c_str());
}

std::string normalizeLineEnds(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            out += text[i];
        }
    }
    return out;
}

std::size_t longestLine(std::string_view text) {
    std::size_t longest = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = std::min(text.find('\n', start), text.size());
        longest = std::max(longest, end - start);
        start = end + 1;
    }
    return longest;
}

// True when ASCII text folded at its spaces keeps every line within 998
// bytes: no word is longer than a line can hold.
bool foldsWithinLimit(std::string_view ascii, std::size_t firstLineUsed) {
    std::size_t start = 0;
    while (start < ascii.size()) {
        const std::size_t end = std::min(ascii.find(' ', start + 1), ascii.size());
        if (firstLineUsed + (end - start) + 2 > kMaxLineBytes) {  // + the quotes of a name
            return false;
        }
        start = end;
    }
    return true;
}

// A header text as it may stand in a header: line breaks and other control
// characters become spaces (a subject must not start a header of its own),
// long ASCII text is folded at spaces, other text is encoded, and so is ASCII
// text with a word too long for one line.
std::string headerText(std::string_view utf8, std::size_t firstLineUsed) {
    std::string clean(utf8);
    std::replace_if(
        clean.begin(), clean.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }, ' ');
    if (!text::isAscii(clean)) {
        return encodeHeaderText(clean, firstLineUsed);
    }
    if (!foldsWithinLimit(clean, firstLineUsed)) {
        auto asIs = [](std::string_view chunk) { return std::string(chunk); };
        return text::encodeHeaderWords(clean, "UTF-8", asIs, firstLineUsed, "\r\n ");
    }
    std::string out;
    std::size_t lineLength = firstLineUsed;
    std::size_t start = 0;
    while (start < clean.size()) {
        std::size_t space = clean.find(' ', start + 1);
        std::size_t end = space == std::string::npos ? clean.size() : space;
        if (lineLength + (end - start) > 76 && !out.empty() && clean[start] == ' ') {
            out += "\r\n";  // the space that follows begins the folded line
            lineLength = 0;
        }
        out.append(clean, start, end - start);
        lineLength += end - start;
        start = end;
    }
    return out;
}

// ---- addresses ----

// "name <address>" with the name encoded; one address per folded line when
// the list grows long.
std::string formatMailboxes(const std::vector<Mailbox>& mailboxes, std::size_t nameLength) {
    std::string out;
    std::size_t lineLength = nameLength + 2;
    for (const Mailbox& mailbox : mailboxes) {
        std::string text = mailbox.address;
        if (!mailbox.name.empty()) {
            const bool plain = text::isAscii(mailbox.name) && foldsWithinLimit(mailbox.name, 0);
            std::string phrase = plain ? quotedString(headerText(mailbox.name, 0))
                                       : headerText(mailbox.name, lineLength);
            text = phrase + " <" + mailbox.address + ">";
        }
        if (!out.empty()) {
            out += ",";
            bool fold = lineLength + text.size() > 76;
            out += fold ? "\r\n " : " ";
            lineLength = fold ? 1 : lineLength + 2;
        }
        out += text;
        std::size_t lastBreak = text.rfind('\n');
        lineLength =
            lastBreak == std::string::npos ? lineLength + text.size() : text.size() - lastBreak;
    }
    return out;
}

// ---- parts ----

GObjectPtr<GMimeDataWrapper> wrapperFor(std::string_view bytes) {
    GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
    return GObjectPtr<GMimeDataWrapper>(
        g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
}

// The body: us-ascii 7bit when it is ASCII, ISO-2022-JP 7bit when CP932 can
// hold it (base64 only for lines too long for 7bit), UTF-8 base64 otherwise.
GObjectPtr<GMimeObject> bodyPart(std::string_view utf8) {
    std::string text = normalizeLineEnds(utf8);
    GObjectPtr<GMimeObject> part(GMIME_OBJECT(g_mime_text_part_new_with_subtype("plain")));
    std::string content;
    const char* charset = "UTF-8";
    bool sevenBit = false;
    if (text::isAscii(text)) {
        content = text;
        charset = "us-ascii";
        sevenBit = longestLine(content) <= kMaxLineBytes;
    } else if (auto jis = utf8ToIso2022Jp(text)) {
        content = std::move(*jis);
        charset = "ISO-2022-JP";
        sevenBit = longestLine(content) <= kMaxLineBytes;
    } else {
        content = std::move(text);
    }
    g_mime_part_set_content(GMIME_PART(part.get()), wrapperFor(content).get());
    g_mime_object_set_content_type_parameter(part.get(), "charset", charset);
    g_mime_part_set_content_encoding(
        GMIME_PART(part.get()),
        sevenBit ? GMIME_CONTENT_ENCODING_7BIT
                 : (charset == std::string_view("us-ascii") ? GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE
                                                            : GMIME_CONTENT_ENCODING_BASE64));
    return part;
}

std::string mimeTypeForName(std::string_view name) {
    static const std::pair<std::string_view, std::string_view> kTypes[] = {
        {".txt", "text/plain"},      {".htm", "text/html"},     {".html", "text/html"},
        {".jpg", "image/jpeg"},      {".jpeg", "image/jpeg"},   {".png", "image/png"},
        {".gif", "image/gif"},       {".bmp", "image/bmp"},     {".pdf", "application/pdf"},
        {".zip", "application/zip"}, {".eml", "message/rfc822"}};
    std::size_t dot = name.rfind('.');
    std::string extension =
        dot == std::string_view::npos ? std::string() : std::string(name.substr(dot));
    extension = text::asciiLowerCase(extension);
    for (const auto& [suffix, type] : kTypes) {
        // A mail picked as a file goes as opaque data; a forwarded one
        // goes as a message (attachedMailPart).
        if (suffix == extension && type != "message/rfc822") {
            return std::string(type);
        }
    }
    return "application/octet-stream";
}

// The charset a text file's bytes are written in, as a label; nullopt when
// they read as none of the texts a Japanese user sends (NUL bytes, 8-bit
// bytes beside the escapes of ISO-2022-JP, bytes valid in no encoding). The
// bytes go out unchanged under it.
std::optional<std::string_view> textFileCharset(std::string_view bytes) {
    if (bytes.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    if (text::hasJisEscape(bytes)) {
        return text::eightBitBytes(bytes) == 0 ? std::optional<std::string_view>("ISO-2022-JP")
                                               : std::nullopt;
    }
    if (text::isAscii(bytes)) {
        return "us-ascii";
    }
    if (text::isValidUtf8(bytes)) {
        return "UTF-8";
    }
    if (!text::isValidShiftJis(bytes) && !text::isValidEucJp(bytes)) {
        return std::nullopt;
    }
    return guessCharset(bytes) == TextCharset::kEucJp ? "EUC-JP" : "Shift_JIS";
}

// A text file's type with the charset of its bytes; a file whose charset
// cannot be told goes as opaque data rather than as text the recipient
// would read garbled.
std::string attachmentType(std::string_view fileName, std::string_view bytes) {
    std::string type = mimeTypeForName(fileName);
    if (!type.starts_with("text/")) {
        return type;
    }
    const std::optional<std::string_view> charset = textFileCharset(bytes);
    return charset ? type + "; charset=" + std::string(*charset) : "application/octet-stream";
}

// filename*=UTF-8''…, cut into numbered sections (filename*0*=, filename*1*=
// …) when long; a section never ends inside a %XX escape.
std::string rfc2231Parameter(std::string_view name, std::string_view utf8) {
    std::string value = encodeRfc2231Value(utf8);
    if (value.size() <= kRfc2231SectionBytes) {
        return std::string(name) + "*=" + value;
    }
    std::string out;
    std::size_t start = 0;
    for (int section = 0; start < value.size(); ++section) {
        std::size_t end = std::min(value.size(), start + kRfc2231SectionBytes);
        if (end < value.size() && value[end - 1] == '%') {
            end -= 1;
        } else if (end < value.size() && end >= 2 && value[end - 2] == '%') {
            end -= 2;
        }
        if (!out.empty()) {
            out += ";\r\n ";
        }
        out += std::string(name) + "*" + std::to_string(section) +
               "*=" + value.substr(start, end - start);
        start = end;
    }
    return out;
}

// The file name for old readers (name=, RFC 2047 inside the quotes) and new
// ones (filename*=, RFC 2231).
void setAttachmentName(GMimeObject* part, const std::string& mimeType,
                       const std::string& fileName) {
    if (text::isAscii(fileName)) {
        setRawHeader(part, "Content-Type", mimeType + ";\r\n name=" + quotedString(fileName));
        setRawHeader(part, "Content-Disposition",
                     "attachment;\r\n filename=" + quotedString(fileName));
        return;
    }
    setRawHeader(part, "Content-Type",
                 mimeType + ";\r\n name=\"" + encodeHeaderText(fileName, 7) + "\"");
    setRawHeader(part, "Content-Disposition",
                 "attachment;\r\n " + rfc2231Parameter("filename", fileName));
}

GObjectPtr<GMimeObject> filePart(const std::string& fileName, std::string_view bytes) {
    const std::string mimeType = attachmentType(fileName, bytes);
    const std::size_t slash = mimeType.find('/');
    const std::size_t end = std::min(mimeType.find(';'), mimeType.size());
    GObjectPtr<GMimeObject> part(GMIME_OBJECT(g_mime_part_new_with_type(
        mimeType.substr(0, slash).c_str(), mimeType.substr(slash + 1, end - slash - 1).c_str())));
    g_mime_part_set_content(GMIME_PART(part.get()), wrapperFor(bytes).get());
    g_mime_part_set_content_encoding(GMIME_PART(part.get()), GMIME_CONTENT_ENCODING_BASE64);
    g_mime_object_set_disposition(part.get(), "attachment");
    setAttachmentName(part.get(), mimeType, fileName);
    return part;
}

Result<GObjectPtr<GMimeObject>> attachmentPart(const std::string& path) {
    struct stat info {};
    std::ifstream file(path, std::ios::binary);
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || !file) {
        return Status::notFound(path + ": the attachment cannot be read");
    }
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) {
        return Status::ioError(path + ": the attachment cannot be read");
    }
    return filePart(path.substr(path.find_last_of('/') + 1), bytes);
}

// A forwarded mail as message/rfc822. One that cannot go as a 7bit message
// (8-bit text, NUL bytes, a line too long, a header GMime would write
// otherwise) goes as base64 data under the same name: the recipient still
// gets its bytes, no relay can mangle them, and nothing of it can reach
// the outer mail's header.
GObjectPtr<GMimeObject> attachedMailPart(const AttachedMail& mail) {
    const std::string name = mail.fileName.empty() ? std::string("message.eml") : mail.fileName;
    GObjectPtr<GMimeObject> part = messagePart(mail.bytes);
    if (!part) {
        return filePart(name, mail.bytes);
    }
    g_mime_object_set_disposition(part.get(), "attachment");
    setAttachmentName(part.get(), "message/rfc822", name);
    return part;
}

// The content: the body alone, or multipart/mixed with the attachments.
// Every attachment is read before anything is built, so a missing file
// fails the whole mail.
Result<GObjectPtr<GMimeObject>> contentOf(const OutgoingMail& mail) {
    std::vector<GObjectPtr<GMimeObject>> attachments;
    for (const std::string& path : mail.attachments) {
        if (trim(path).empty()) {
            continue;
        }
        Result<GObjectPtr<GMimeObject>> part = attachmentPart(path);
        if (!part) {
            return part.status();
        }
        attachments.push_back(std::move(part).value());
    }
    for (const AttachedMail& attached : mail.mails) {
        attachments.push_back(attachedMailPart(attached));
    }
    GObjectPtr<GMimeObject> body = bodyPart(mail.body);
    if (attachments.empty()) {
        return body;
    }
    GObjectPtr<GMimeObject> mixed(GMIME_OBJECT(g_mime_multipart_new_with_subtype("mixed")));
    g_mime_multipart_add(GMIME_MULTIPART(mixed.get()), body.get());
    for (const auto& attachment : attachments) {
        g_mime_multipart_add(GMIME_MULTIPART(mixed.get()), attachment.get());
    }
    return mixed;
}

std::string currentDate() {
    GDateTime* now = g_date_time_new_now_local();
    char* text = g_mime_utils_header_format_date(now);
    std::string date = text;
    g_free(text);
    g_date_time_unref(now);
    return date;
}

std::string newMessageId(const std::string& senderAddress) {
    std::size_t at = senderAddress.rfind('@');
    std::string domain = at == std::string::npos ? "" : senderAddress.substr(at + 1);
    bool usable = !domain.empty() && std::all_of(domain.begin(), domain.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-';
    });
    if (!usable) {
        domain = "localhost";
    }
    char* id = g_mime_utils_generate_message_id(domain.c_str());
    std::string result = "<" + std::string(id) + ">";
    g_free(id);
    return result;
}

std::vector<Mailbox> mailboxesOf(const std::vector<std::string>& texts) {
    std::vector<Mailbox> mailboxes;
    for (const std::string& text : texts) {
        for (Mailbox& mailbox : parseMailboxList(text)) {
            mailboxes.push_back(std::move(mailbox));
        }
    }
    return mailboxes;
}

// A message id as it may stand in a header: "<...>" of printable ASCII
// without spaces or further angle brackets. Ids come from received mail.
bool isPlainMessageId(std::string_view id) {
    return id.size() > 2 && id.front() == '<' && id.back() == '>' &&
           std::all_of(id.begin() + 1, id.end() - 1,
                       [](char c) { return c > 0x20 && c < 0x7F && c != '<' && c != '>'; });
}

// In-Reply-To and References, when the mail answers one.
void setThreadHeaders(GMimeObject* object, const OutgoingMail& mail) {
    const std::string inReplyTo = trim(mail.inReplyTo);
    if (isPlainMessageId(inReplyTo)) {
        setRawHeader(object, "In-Reply-To", inReplyTo);
    }
    std::string references;
    for (const std::string& reference : mail.references) {
        const std::string id = trim(reference);
        if (isPlainMessageId(id)) {
            references += (references.empty() ? "" : "\r\n ") + id;
        }
    }
    if (!references.empty()) {
        setRawHeader(object, "References", references);
    }
}

}  // namespace

Result<BuiltMail> buildMail(const OutgoingMail& mail) {
    ensureGMimeInitialized();
    const std::vector<Mailbox> to = mailboxesOf(mail.to);
    const std::vector<Mailbox> cc = mailboxesOf(mail.cc);
    const std::vector<Mailbox> bcc = mailboxesOf(mail.bcc);
    if (to.empty() && cc.empty() && bcc.empty()) {
        return Status::invalidArgument("no address in the recipient text");
    }
    std::vector<Mailbox> senders = parseMailboxList(mail.from);
    // One author: the header names the address the envelope gives.
    senders.resize(std::min<std::size_t>(senders.size(), 1));
    std::string envelopeFrom = senders.empty() ? trim(mail.from) : senders.front().address;
    if (!senders.empty() && !trim(mail.fromName).empty()) {
        senders.front().name = trim(mail.fromName);
    }

    Result<GObjectPtr<GMimeObject>> content = contentOf(mail);
    if (!content) {
        return content.status();
    }
    GObjectPtr<GMimeMessage> message(g_mime_message_new(TRUE));
    GMimeObject* object = GMIME_OBJECT(message.get());
    setRawHeader(object, "From", senders.empty() ? envelopeFrom : formatMailboxes(senders, 4));
    // A mail to blind copies alone names nobody.
    setRawHeader(object, "To",
                 to.empty() && cc.empty() ? "undisclosed-recipients:;" : formatMailboxes(to, 2));
    if (!cc.empty()) {
        setRawHeader(object, "Cc", formatMailboxes(cc, 2));
    }
    setRawHeader(object, "Subject", headerText(mail.subject, 9));
    setRawHeader(object, "Date", currentDate());
    setRawHeader(object, "Message-ID", newMessageId(envelopeFrom));
    setThreadHeaders(object, mail);
    g_mime_message_set_mime_part(message.get(), content.value().get());

    BuiltMail built;
    built.bytes = serializeWithCrLf(object);
    built.envelopeFrom = envelopeFrom;
    for (const std::vector<Mailbox>* list : {&to, &cc, &bcc}) {
        for (const Mailbox& recipient : *list) {
            if (std::find(built.recipients.begin(), built.recipients.end(), recipient.address) ==
                built.recipients.end()) {
                built.recipients.push_back(recipient.address);
            }
        }
    }
    return built;
}

}  // namespace qf::transport
