#include "transport/HeaderParameters.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <vector>

#include "text/Cp932.h"
#include "text/HeaderEncoding.h"
#include "text/Utf8.h"
#include "transport/CharsetConversion.h"
#include "transport/HeaderWords.h"

namespace qf::transport {

namespace {

struct RawParameter {
    std::string name;   // lower case, with any *N / * suffix
    std::string value;  // unquoted
};

// Reads a quoted string starting after its opening quote. A Shift_JIS lead
// byte takes the next byte with it, so a trail byte 0x5C is not an escape.
std::string readQuoted(std::string_view text, std::size_t& i) {
    std::string out;
    while (i < text.size() && text[i] != '"') {
        unsigned char b = static_cast<unsigned char>(text[i]);
        if (b >= 0x80 && text::isCp932LeadByte(b) && i + 1 < text.size()) {
            out += text.substr(i, 2);
            i += 2;
            continue;
        }
        if (text[i] == '\\' && i + 1 < text.size()) {
            ++i;
        }
        out += text[i++];
    }
    if (i < text.size()) {
        ++i;  // the closing quote; a cut-off value simply ends
    }
    return out;
}

std::vector<RawParameter> splitParameters(std::string_view value) {
    std::vector<RawParameter> parameters;
    std::size_t i = 0;
    // Skip the leading value ("attachment", "text/plain"), minding quotes.
    while (i < value.size() && value[i] != ';') {
        if (value[i++] == '"') {
            readQuoted(value, i);
        }
    }
    while (i < value.size()) {
        ++i;  // the ';'
        std::size_t equals = value.find_first_of("=;", i);
        if (equals == std::string_view::npos || value[equals] == ';') {
            i = equals;
            if (equals == std::string_view::npos) {
                break;
            }
            continue;
        }
        std::string name = text::asciiLowerCase(unfoldHeaderValue(value.substr(i, equals - i)));
        i = equals + 1;
        // The value may start on the next line: `filename=` CRLF SP `"a.txt"`.
        while (i < value.size() &&
               std::string_view(" \t\r\n").find(value[i]) != std::string_view::npos) {
            ++i;
        }
        std::string text;
        if (i < value.size() && value[i] == '"') {
            ++i;
            text = readQuoted(value, i);
        }
        std::size_t end = value.find(';', i);
        text += unfoldHeaderValue(value.substr(i, end == std::string_view::npos ? end : end - i));
        parameters.push_back({std::move(name), std::move(text)});
        i = end == std::string_view::npos ? value.size() : end;
    }
    return parameters;
}

// charset'language'%XX… → (charset, bytes)
std::pair<std::string, std::string> splitExtendedValue(std::string_view value) {
    std::size_t first = value.find('\'');
    std::size_t second = first == std::string_view::npos ? first : value.find('\'', first + 1);
    if (second == std::string_view::npos) {
        return {std::string(), text::decodeHexEscapes(value, '%', false)};
    }
    return {std::string(value.substr(0, first)),
            text::decodeHexEscapes(value.substr(second + 1), '%', false)};
}

}  // namespace

namespace {

// The forms one parameter may take in a header value.
struct ParameterForms {
    std::optional<std::string> plain;                      // name=value
    std::optional<std::string> extended;                   // name*=charset'language'value
    std::map<int, std::pair<bool, std::string>> sections;  // name*N[*]: N → (encoded?, value)
};

// The section number of `suffix` (what follows "name*"), with its encoded
// mark; nullopt when it is no section.
std::optional<std::pair<int, bool>> sectionNumber(std::string suffix) {
    const bool encoded = !suffix.empty() && suffix.back() == '*';
    if (encoded) {
        suffix.pop_back();
    }
    if (suffix.empty() || suffix.size() > 3 ||
        !std::all_of(suffix.begin(), suffix.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return std::pair{std::stoi(suffix), encoded};
}

ParameterForms formsOf(std::string_view rawValue, const std::string& wanted) {
    ParameterForms forms;
    for (RawParameter& parameter : splitParameters(rawValue)) {
        if (parameter.name == wanted) {
            forms.plain = std::move(parameter.value);
        } else if (parameter.name == wanted + "*") {
            forms.extended = std::move(parameter.value);
        } else if (parameter.name.rfind(wanted + "*", 0) == 0) {
            if (auto section = sectionNumber(parameter.name.substr(wanted.size() + 1))) {
                forms.sections[section->first] = {section->second, std::move(parameter.value)};
            }
        }
    }
    return forms;
}

// Joins all sections as bytes, then decodes once: a multi-byte or
// ISO-2022-JP character may straddle two sections.
std::string joinedSections(const std::map<int, std::pair<bool, std::string>>& sections) {
    std::string charset;
    std::string bytes;
    bool anyEncoded = false;
    for (const auto& [number, section] : sections) {
        const auto& [encoded, value] = section;
        if (!encoded) {
            bytes += value;
        } else if (number == 0) {
            auto [sectionCharset, sectionBytes] = splitExtendedValue(value);
            charset = sectionCharset;
            bytes += sectionBytes;
            anyEncoded = true;
        } else {
            bytes += text::decodeHexEscapes(value, '%', false);
            anyEncoded = true;
        }
    }
    return anyEncoded ? toUtf8(bytes, charset) : decodeHeaderText(bytes);
}

}  // namespace

std::optional<std::string> headerParameter(std::string_view rawValue, std::string_view name) {
    const ParameterForms forms = formsOf(rawValue, text::asciiLowerCase(name));
    if (!forms.sections.empty()) {
        return joinedSections(forms.sections);
    }
    if (forms.extended) {
        auto [charset, bytes] = splitExtendedValue(*forms.extended);
        return toUtf8(bytes, charset);
    }
    if (forms.plain) {
        return decodeHeaderText(*forms.plain);
    }
    return std::nullopt;
}

std::string encodeRfc2231Value(std::string_view utf8) {
    // RFC 2231's attribute-char: what a token may hold, less "*", "'" and "%".
    return "UTF-8''" + text::percentEncode(utf8, "!#$&+-.^_`|~");
}

}  // namespace qf::transport
