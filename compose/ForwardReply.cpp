#include "compose/ForwardReply.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

#include "transport/MailDecoder.h"

namespace qf::compose {
namespace {

enum class Prefix { kReply, kForward };

constexpr std::array<std::pair<std::string_view, Prefix>, 5> kPrefixes = {{
    {"re", Prefix::kReply},
    {"fwd", Prefix::kForward},
    {"fw", Prefix::kForward},
    {"転送", Prefix::kForward},
    {"返信", Prefix::kReply},
}};

bool startsWithNoCase(std::string_view text, std::string_view start) {
    return text.size() >= start.size() &&
           std::equal(start.begin(), start.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

std::string_view trimmedFront(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    return text;
}

// One prefix ("Re:", "FW:", "Re[2]:", "転送：") off the front of `text`.
std::optional<Prefix> takePrefix(std::string_view& text) {
    for (const auto& [word, kind] : kPrefixes) {
        if (!startsWithNoCase(text, word)) {
            continue;
        }
        std::string_view rest = text.substr(word.size());
        if (rest.starts_with('[')) {  // "Re[2]:"
            const std::size_t close = rest.find(']');
            if (close == std::string_view::npos) {
                continue;
            }
            rest.remove_prefix(close + 1);
        }
        if (rest.starts_with(':')) {
            rest.remove_prefix(1);
        } else if (rest.starts_with("：")) {
            rest.remove_prefix(std::string_view("：").size());
        } else {
            continue;
        }
        text = trimmedFront(rest);
        return kind;
    }
    return std::nullopt;
}

std::string lowered(std::string_view text) {
    std::string low(text);
    std::transform(low.begin(), low.end(), low.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return low;
}

std::string_view fieldValue(std::string_view fieldText) {
    const std::size_t colon = fieldText.find(':');
    return colon == std::string_view::npos ? std::string_view() : fieldText.substr(colon + 1);
}

}  // namespace

std::string forwardSubject(std::string_view subject) {
    std::string_view rest = trimmedFront(subject);
    bool answered = false;
    while (std::optional<Prefix> prefix = takePrefix(rest)) {
        answered = answered || *prefix == Prefix::kReply;
    }
    return std::string("Fwd: ") + (answered ? "Re: " : "") + std::string(rest);
}

OriginalAddresses addressesOf(std::string_view rawMail) {
    OriginalAddresses addresses;
    const std::pair<std::string_view, std::vector<transport::Mailbox>*> wanted[] = {
        {"from", &addresses.from},
        {"reply-to", &addresses.replyTo},
        {"to", &addresses.to},
        {"cc", &addresses.cc}};
    for (const transport::RawHeaderField& field : transport::rawHeaderFields(rawMail)) {
        for (const auto& [name, list] : wanted) {
            if (lowered(field.name) == name) {
                std::vector<transport::Mailbox> found =
                    transport::parseReceivedAddresses(fieldValue(field.text));
                list->insert(list->end(), found.begin(), found.end());
            }
        }
    }
    return addresses;
}

ReplyAllRecipients replyAllRecipients(const OriginalAddresses& mail,
                                      const std::vector<std::string>& ownAddresses) {
    ReplyAllRecipients result;
    result.toReplyTo = std::any_of(mail.replyTo.begin(), mail.replyTo.end(),
                                   [](const auto& box) { return !box.address.empty(); });
    const std::vector<transport::Mailbox>& sender = result.toReplyTo ? mail.replyTo : mail.from;
    std::vector<std::string> taken;
    for (const std::string& own : ownAddresses) {
        taken.push_back(lowered(own));
    }
    auto add = [&](const std::vector<transport::Mailbox>& boxes) {
        for (const transport::Mailbox& box : boxes) {
            const std::string key = lowered(box.address);
            if (!key.empty() && std::find(taken.begin(), taken.end(), key) == taken.end()) {
                taken.push_back(key);
                result.recipients.push_back(box);
            }
        }
    };
    add(sender);
    add(mail.to);
    add(mail.cc);
    if (result.recipients.empty()) {
        for (const transport::Mailbox& box : sender) {
            if (!box.address.empty()) {
                result.recipients.push_back(box);
            }
        }
    }
    return result;
}

std::string recipientLine(const std::vector<transport::Mailbox>& recipients) {
    std::string line;
    for (const transport::Mailbox& box : recipients) {
        line += (line.empty() ? "" : ", ") + transport::formatMailbox(box);
    }
    return line;
}

}  // namespace qf::compose
