#include "viewer/OriginalText.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "store/BoxCatalogue.h"
#include "store/Originals.h"
#include "text/Cp932.h"
#include "transport/MailDecoder.h"

namespace qf::viewer {

namespace {

std::string_view stripped(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::string withoutCr(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != '\r') {
            out += c;
        }
    }
    return out;
}

// The original's text where the record holds it, with what the receive
// added before or after it (a notice) kept; else the record's own text.
// Line ends come out as LF, as the pane keeps them.
// `wholeOnly`: only a record that holds the whole text takes the original's
// (the sender: a reply goes to what the record keeps, never to mailboxes the
// record's field left out).
std::string chosen(const std::string& recordText, const std::string& originalText,
                   bool wholeOnly = false) {
    const std::string record = withoutCr(stripped(recordText));
    const std::string kept = withoutCr(stripped(asCp932Keeps(originalText)));
    const std::string whole = withoutCr(stripped(originalText));
    if (record.empty() || kept.empty() || (wholeOnly && kept != record)) {
        return recordText;
    }
    if (kept.starts_with(record)) {
        return whole;  // the same text, or the record's field cut it short
    }
    if (record.starts_with(kept)) {
        return whole + record.substr(kept.size());
    }
    if (record.ends_with(kept)) {
        return record.substr(0, record.size() - kept.size()) + whole;
    }
    return recordText;
}

// One decoded header line's value ("Name: value" in DecodedMail::headerText).
std::string headerValue(const std::string& headerText, std::string_view name) {
    std::size_t at = 0;
    while (at < headerText.size()) {
        std::size_t end = headerText.find("\r\n", at);
        if (end == std::string::npos) {
            end = headerText.size();
        }
        const std::string_view line(headerText.data() + at, end - at);
        if (line.size() > name.size() && line[name.size()] == ':' &&
            std::equal(name.begin(), name.end(), line.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            })) {
            return std::string(stripped(line.substr(name.size() + 1)));
        }
        at = end + 2;
    }
    return {};
}

}  // namespace

std::string asCp932Keeps(const std::string& utf8) {
    return text::fromCp932(text::toCp932(utf8));
}

std::string bodyAsShown(const std::string& recordBody, const std::string& original) {
    return chosen(recordBody, transport::decodeMail(original).body);
}

std::string shownBodyOfCurrent(store::MailStore& store, int box) {
    const store::MailFields fields = store.currentFields(box);
    auto original = store::Originals(store.dataFolder(), store.fileSystem()).find(box, fields);
    if (!original || !original.value()) {
        return fields.body;
    }
    return bodyAsShown(fields.body, *original.value());
}

store::OriginalTexts searchedTextsOf(const std::string& original) {
    transport::DecodedMail decoded = transport::decodeMail(original);
    return {std::move(decoded.headers.subject), std::move(decoded.headers.sender),
            std::move(decoded.body)};
}

void applyOriginal(ShownMail& mail, std::string original) {
    const transport::DecodedMail decoded = transport::decodeMail(original);
    mail.subject = chosen(mail.subject, decoded.headers.subject);
    mail.body = chosen(mail.body, decoded.body);
    mail.to = headerValue(decoded.headerText, "To");
    mail.cc = headerValue(decoded.headerText, "Cc");
    mail.replyTo = headerValue(decoded.headerText, "Reply-To");
    // The sent history's record names the recipient, a received one the sender.
    mail.fromOrTo = chosen(
        mail.fromOrTo, mail.box == store::kSendHistoryBox ? mail.to : decoded.headers.sender, true);
    mail.thread = transport::replyThreadOf(original);
    mail.original = std::move(original);
}

}  // namespace qf::viewer
