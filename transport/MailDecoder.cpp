#include "transport/MailDecoder.h"

#include <algorithm>
#include <cctype>

#include "text/Cp932.h"
#include "text/LineBreaks.h"
#include "text/Utf8.h"
#include "transport/Addresses.h"
#include "transport/CharsetConversion.h"
#include "transport/GMimeSupport.h"
#include "transport/HeaderParameters.h"
#include "transport/HeaderWords.h"
#include "transport/HtmlToText.h"
#include "words/Words.h"

namespace qf::transport {

namespace {

// Every header field in order, its value decoded: the "header copy" text,
// and Subject, From and Date (the first of each). The date is kept as the
// mail carries it: re-formatting would invent a zone it does not give.
void decodeHeaderFields(std::string_view rawMail, DecodedMail& mail) {
    for (const RawHeaderField& field : rawHeaderFields(rawMail)) {
        std::string value = decodeHeaderText(field.text.substr(field.name.size() + 1));
        mail.headerText += std::string(field.name) + ": " + value + "\r\n";
        std::string lower = text::asciiLowerCase(field.name);
        if (lower == "subject" && mail.headers.subject.empty()) {
            mail.headers.subject = value;
        } else if (lower == "from" && mail.headers.sender.empty()) {
            // Stored, and read again as the address of a reply: decoded so
            // that it reads back as the real sender only.
            mail.headers.sender = decodeAddressHeader(field.text.substr(field.name.size() + 1));
        } else if (lower == "date" && mail.headers.date.empty()) {
            mail.headers.date = value;
        }
    }
}

// Some mailers start the mail with a line of blanks; read as the end of the
// header, it would turn the whole mail into body.
std::string_view withoutLeadingBlankLines(std::string_view rawMail) {
    while (!rawMail.empty() && (rawMail[0] == ' ' || rawMail[0] == '\t')) {
        std::size_t end = rawMail.find('\n');
        std::string_view line = rawMail.substr(0, end);
        if (line.find_first_not_of(" \t\r") != std::string_view::npos) {
            break;
        }
        rawMail.remove_prefix(end == std::string_view::npos ? rawMail.size() : end + 1);
    }
    return rawMail;
}

// With two Content-Type fields the common readers take the first; GMime
// takes the last. The mail GMime parses keeps only the first.
std::optional<std::string> withFirstContentTypeOnly(std::string_view rawMail) {
    std::string kept;
    std::size_t copiedUpTo = 0;
    bool seen = false;
    for (const RawHeaderField& field : rawHeaderFields(rawMail)) {
        if (text::asciiLowerCase(field.name) != "content-type") {
            continue;
        }
        if (seen) {
            std::size_t start = static_cast<std::size_t>(field.text.data() - rawMail.data());
            kept += rawMail.substr(copiedUpTo, start - copiedUpTo);
            copiedUpTo = start + field.text.size();
        }
        seen = true;
    }
    if (copiedUpTo == 0) {
        return std::nullopt;
    }
    kept += rawMail.substr(copiedUpTo);
    return kept;
}

std::optional<std::string> parameter(GMimeObject* object, const char* header,
                                     std::string_view name) {
    const char* raw = rawHeaderValue(object, header);
    return raw ? headerParameter(raw, name) : std::nullopt;
}

std::string mimeTypeOf(GMimeObject* object) {
    GMimeContentType* type = g_mime_object_get_content_type(object);
    char* text = type ? g_mime_content_type_get_mime_type(type) : nullptr;
    std::string result = text ? text : "application/octet-stream";
    g_free(text);
    return text::asciiLowerCase(result);
}

// The attachment's name: filename of the disposition (RFC 2231 or 2047),
// else the name of the content type.
std::optional<std::string> attachmentName(GMimeObject* object) {
    auto name = parameter(object, "Content-Disposition", "filename");
    if (!name || name->empty()) {
        name = parameter(object, "Content-Type", "name");
    }
    return name;
}

// A text part's content in the body's form.
std::string bodyText(std::string_view content, std::string_view charset, BodyForm form) {
    return form == BodyForm::kCp932 ? toCp932Text(content, charset) : toUtf8(content, charset);
}

DecodedMail decode(std::string_view rawMail, BodyForm bodyForm, bool plainTextShortcut,
                   int forwardDepth = 0);

// How many forwarded mails inside forwarded mails are shown in the body; a
// deeper one is only kept as its file.
constexpr int kMaxForwardDepth = 3;

// A forwarded mail as other mail readers show it below the sender's text:
// its From, Date and Subject, then its own text (in the body's form, CRLF).
std::string forwardedText(const DecodedMail& forwarded) {
    const std::string head = ui::words(ui::Say::kForwardedMailHeading) +
                             "\r\nFrom: " + forwarded.headers.sender +
                             "\r\nDate: " + forwarded.headers.date +
                             "\r\nSubject: " + forwarded.headers.subject + "\r\n\r\n";
    return inBodyForm(forwarded, head) + forwarded.body;
}

// Walks the MIME tree: the first text/plain (or text/html) that is not an
// attachment is the body, every other leaf an attachment. A forwarded mail
// (message/rfc822) is kept as a file and its text shown below the body.
class BodyCollector {
  public:
    BodyCollector(DecodedMail& mail, int forwardDepth)
        : m_mail(mail), m_forwardDepth(forwardDepth) {}

    void visit(GMimeObject* object, int depth = 1) {
        if (GMIME_IS_MULTIPART(object)) {
            if (depth > kMaxNestingDepth) {
                m_mail.nestedTooDeep = true;  // nothing below is taken apart
                return;
            }
            GMimeMultipart* multipart = GMIME_MULTIPART(object);
            for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i) {
                visit(g_mime_multipart_get_part(multipart, i), depth + 1);
            }
        } else if (GMIME_IS_MESSAGE_PART(object)) {
            // A forwarded mail is kept whole, as a file of its own.
            GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
            std::string bytes = inner ? serialize(GMIME_OBJECT(inner)) : std::string();
            if (!bytes.empty() && m_forwardDepth < kMaxForwardDepth) {
                m_forwarded.push_back(
                    forwardedText(decode(bytes, m_mail.bodyForm, true, m_forwardDepth + 1)));
            }
            m_mail.attachments.push_back(
                {attachmentName(object).value_or(""), std::move(bytes), "message/rfc822"});
        } else if (GMIME_IS_PART(object)) {
            visitLeaf(object);
        }
    }

    std::string body() const {
        std::string body = ownBody();
        for (const std::string& forwarded : m_forwarded) {
            if (!body.empty()) {
                body += body.ends_with("\r\n") ? "\r\n" : "\r\n\r\n";
            }
            body += forwarded;
        }
        return body;
    }

  private:
    std::string ownBody() const {
        if (m_plain) {
            return text::withCrLf(*m_plain);
        }
        if (m_html) {
            return text::withCrLf(inBodyForm(m_mail, htmlToText(*m_html)));
        }
        // The only text is an inline part with a file name: it is written as
        // that file and shown as the body too.
        return m_namedInlineText ? text::withCrLf(*m_namedInlineText) : std::string();
    }

    void visitLeaf(GMimeObject* object) {
        std::string type = mimeTypeOf(object);
        auto name = attachmentName(object);
        const char* disposition = g_mime_object_get_disposition(object);
        bool isAttachmentDisposition =
            disposition && g_ascii_strcasecmp(disposition, "attachment") == 0;
        bool isText = type == "text/plain" || type == "text/html";
        std::string content = decodedContent(GMIME_PART(object));
        if ((name && !name->empty()) || isAttachmentDisposition || !isText) {
            if (type == "text/plain" && !isAttachmentDisposition && !m_namedInlineText) {
                m_namedInlineText = bodyTextOf(object, content);
            }
            m_mail.attachments.push_back({name.value_or(""), std::move(content), type});
            return;
        }
        std::optional<std::string>& slot = type == "text/plain" ? m_plain : m_html;
        if (!slot) {
            // The HTML is taken apart as UTF-8: its tags are ASCII, and CP932
            // trail bytes would read as ASCII letters.
            slot = type == "text/plain" ? bodyTextOf(object, content) : utf8TextOf(object, content);
        } else {
            // A second text part is not lost: it is kept as a file.
            m_mail.attachments.push_back({"", std::move(content), type});
        }
    }

    static std::string charsetOf(GMimeObject* object) {
        return parameter(object, "Content-Type", "charset").value_or("");
    }
    static std::string utf8TextOf(GMimeObject* object, std::string_view content) {
        return toUtf8(content, charsetOf(object));
    }
    std::string bodyTextOf(GMimeObject* object, std::string_view content) const {
        return bodyText(content, charsetOf(object), m_mail.bodyForm);
    }

    DecodedMail& m_mail;
    std::optional<std::string> m_plain;
    std::optional<std::string> m_html;
    std::optional<std::string> m_namedInlineText;
    int m_forwardDepth;
    std::vector<std::string> m_forwarded;  // each in the body's form
};

}  // namespace

std::string inBodyForm(const DecodedMail& mail, std::string_view utf8) {
    return mail.bodyForm == BodyForm::kCp932 ? text::toCp932(utf8) : std::string(utf8);
}

namespace {

bool isFieldName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return c > ' ' && c < 0x7F;  // the colon ends the name
    });
}

std::string trimmedLower(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    const std::size_t last = text.find_last_not_of(" \t\r\n");
    return first == std::string_view::npos
               ? std::string()
               : text::asciiLowerCase(text.substr(first, last - first + 1));
}

// Most mail is one text/plain part in 7bit or 8bit: the MIME parser would
// give its body bytes as they stand. For such a mail (every header line a
// field, the header ended by an empty line, no disposition, no file name,
// the first Content-Type text/plain or none), the charset its type names;
// nullopt for every other mail, which the parser takes apart.
std::optional<std::string> plainTextCharset(std::string_view rawMail) {
    const std::string_view body = rawBody(rawMail);
    const std::string_view block = rawMail.substr(0, rawMail.size() - body.size());
    std::size_t covered = 0;
    std::optional<std::string_view> contentType;
    int transferEncodings = 0;
    for (const RawHeaderField& field : rawHeaderFields(rawMail)) {
        if (field.text.data() != block.data() + covered || !isFieldName(field.name)) {
            return std::nullopt;  // a line before it was no field
        }
        covered += field.text.size();
        const std::string name = text::asciiLowerCase(field.name);
        const std::string_view value = field.text.substr(field.name.size() + 1);
        if (name == "content-disposition") {
            return std::nullopt;
        }
        if (name == "content-type" && !contentType) {
            contentType = value;
        } else if (name == "content-transfer-encoding") {
            const std::string encoding = trimmedLower(value);
            if (++transferEncodings > 1 ||
                (encoding != "7bit" && encoding != "8bit" && encoding != "binary")) {
                return std::nullopt;
            }
        }
    }
    const std::string_view end = block.substr(covered);
    if (covered == 0 || (end != "\r\n" && end != "\n")) {
        return std::nullopt;
    }
    if (!contentType) {
        return std::string();
    }
    if (trimmedLower(contentType->substr(0, contentType->find(';'))) != "text/plain" ||
        headerParameter(*contentType, "name")) {
        return std::nullopt;
    }
    return headerParameter(*contentType, "charset").value_or("");
}

DecodedMail decode(std::string_view rawMail, BodyForm bodyForm, bool plainTextShortcut,
                   int forwardDepth) {
    rawMail = withoutLeadingBlankLines(rawMail);
    DecodedMail mail;
    mail.bodyForm = bodyForm;
    decodeHeaderFields(rawMail, mail);
    if (plainTextShortcut) {
        if (std::optional<std::string> charset = plainTextCharset(rawMail)) {
            mail.body = text::withCrLf(bodyText(rawBody(rawMail), *charset, bodyForm));
            return mail;
        }
    }
    std::optional<std::string> firstTypeOnly = withFirstContentTypeOnly(rawMail);
    GObjectPtr<GMimeMessage> message =
        parseMessage(firstTypeOnly ? std::string_view(*firstTypeOnly) : rawMail);
    if (!message) {
        mail.body = text::withCrLf(bodyText(rawMail, "", bodyForm));
        return mail;
    }
    GMimeObject* top = g_mime_message_get_mime_part(message.get());
    if (top && GMIME_IS_MESSAGE_PARTIAL(top)) {
        GMimeMessagePartial* partial = GMIME_MESSAGE_PARTIAL(top);
        const char* id = g_mime_message_partial_get_id(partial);
        mail.partial = PartialInfo{id ? id : "", g_mime_message_partial_get_number(partial),
                                   std::max(0, g_mime_message_partial_get_total(partial))};
        return mail;
    }
    if (top) {
        BodyCollector collector(mail, forwardDepth);
        collector.visit(top);
        mail.body = collector.body();
    }
    return mail;
}

}  // namespace

DecodedMail decodeMail(std::string_view rawMail, BodyForm bodyForm) {
    return decode(rawMail, bodyForm, true);
}

DecodedMail detail::decodeMailWithMimeParser(std::string_view rawMail, BodyForm bodyForm) {
    return decode(rawMail, bodyForm, false);
}

std::vector<RawHeaderField> rawHeaderFields(std::string_view rawMail) {
    std::string_view block = rawMail.substr(0, rawMail.size() - rawBody(rawMail).size());
    std::vector<RawHeaderField> fields;
    std::size_t start = 0;
    while (start < block.size()) {
        // A field runs on over the lines that start with white space.
        std::size_t end = start;
        do {
            std::size_t newline = block.find('\n', end);
            end = newline == std::string_view::npos ? block.size() : newline + 1;
        } while (end < block.size() && (block[end] == ' ' || block[end] == '\t'));
        std::string_view field = block.substr(start, end - start);
        start = end;
        std::size_t colon = field.find(':');
        if (field.empty() || field[0] == '\r' || field[0] == '\n') {
            break;  // the empty line that ends the header
        }
        if (colon == std::string_view::npos || colon == 0) {
            continue;  // not a field (an mbox "From " line, say)
        }
        fields.push_back({field.substr(0, colon), field});
    }
    return fields;
}

std::string_view rawBody(std::string_view rawMail) {
    std::size_t start = 0;
    while (start < rawMail.size()) {
        std::size_t end = rawMail.find('\n', start);
        if (end == std::string_view::npos) {
            break;
        }
        std::string_view line = rawMail.substr(start, end - start);
        if (line.empty() || line == "\r") {
            return rawMail.substr(end + 1);
        }
        start = end + 1;
    }
    return {};
}

DecodedHeaders decodeHeaders(std::string_view rawHeader) {
    DecodedMail mail;
    decodeHeaderFields(rawHeader, mail);
    return mail.headers;
}

}  // namespace qf::transport
