#include "transport/HtmlToText.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string>
#include <utility>

#include "text/Utf8.h"

namespace qf::transport {

namespace {

// A character reference to NUL, a surrogate or beyond Unicode is no character.
void appendUtf8(std::string& out, unsigned long cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        out += "\xEF\xBF\xBD";
    } else {
        text::appendUtf8(out, static_cast<char32_t>(cp));
    }
}

// Appends the character of an entity body ("amp", "#12354", "#x3042");
// false when it is not one we know.
bool appendEntity(std::string& out, const std::string& entity) {
    static const std::pair<std::string_view, std::string_view> kNamed[] = {
        {"amp", "&"},  {"lt", "<"},  {"gt", ">"},  {"quot", "\""},  {"apos", "'"},  {"nbsp", " "},
        {"copy", "©"}, {"reg", "®"}, {"yen", "¥"}, {"hellip", "…"}, {"mdash", "—"}, {"ndash", "–"}};
    if (entity.size() > 1 && entity[0] == '#') {
        bool hex = entity[1] == 'x' || entity[1] == 'X';
        char* end = nullptr;
        unsigned long cp = std::strtoul(entity.c_str() + (hex ? 2 : 1), &end, hex ? 16 : 10);
        if (*end != '\0') {
            return false;
        }
        appendUtf8(out, cp);
        return true;
    }
    for (const auto& [name, text] : kNamed) {
        if (entity == name) {
            out += text;
            return true;
        }
    }
    return false;
}

bool isBlockTag(const std::string& tag) {
    static const std::string_view kBlocks[] = {
        "br",  "p",   "/p",  "div", "/div",   "tr", "/tr",        "li",
        "h1",  "h2",  "h3",  "h4",  "h5",     "h6", "/h1",        "/h2",
        "/h3", "/h4", "/h5", "/h6", "/table", "hr", "blockquote", "/blockquote"};
    return std::find(std::begin(kBlocks), std::end(kBlocks), tag) != std::end(kBlocks);
}

}  // namespace

std::string htmlToText(std::string_view html) {
    std::string lower = text::asciiLowerCase(html);
    std::string out;
    bool pendingSpace = false;
    for (std::size_t i = 0; i < html.size();) {
        char c = html[i];
        if (lower.compare(i, 4, "<!--") == 0) {
            std::size_t end = lower.find("-->", i + 4);
            i = end == std::string::npos ? html.size() : end + 3;
        } else if (c == '<') {
            std::size_t end = html.find('>', i);
            if (end == std::string_view::npos) {
                break;  // an unfinished tag at the very end carries no text
            }
            std::size_t nameEnd = lower.find_first_of(" \t\r\n/>", i + 2);
            std::string tag = lower.substr(i + 1, std::min(nameEnd, end) - i - 1);
            i = end + 1;
            // A <title> belongs in the head but is found in the body too.
            if (tag == "script" || tag == "style" || tag == "head" || tag == "title") {
                std::size_t close = lower.find("</" + tag, i);
                std::size_t closeEnd = close == std::string::npos ? close : lower.find('>', close);
                i = closeEnd == std::string::npos ? html.size() : closeEnd + 1;
            } else if (tag == "br" || (isBlockTag(tag) && !out.empty() && out.back() != '\n')) {
                out += '\n';
                pendingSpace = false;
            }
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            // White space in HTML source is one space; lines come from tags.
            pendingSpace = !out.empty() && out.back() != '\n';
            ++i;
        } else {
            if (pendingSpace) {
                out += ' ';
                pendingSpace = false;
            }
            std::size_t semicolon = c == '&' ? html.find(';', i) : std::string_view::npos;
            if (semicolon != std::string_view::npos && semicolon - i <= 10 &&
                appendEntity(out, std::string(html.substr(i + 1, semicolon - i - 1)))) {
                i = semicolon + 1;
            } else {
                out += c;
                ++i;
            }
        }
    }
    std::size_t first = out.find_first_not_of('\n');
    std::size_t last = out.find_last_not_of('\n');
    return first == std::string::npos ? std::string() : out.substr(first, last - first + 1);
}

}  // namespace qf::transport
