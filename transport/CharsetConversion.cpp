#include "transport/CharsetConversion.h"

#include <algorithm>
#include <array>

#include "text/Cp932.h"
#include "text/Iconv.h"
#include "text/JapaneseBytes.h"
#include "text/Utf8.h"
#include "transport/Iso2022Jp.h"

namespace qf::transport {

using text::byteAt;

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Converts `bytes` from `charset` to UTF-8; an undecodable byte becomes
// U+FFFD. nullopt when iconv does not know the charset.
std::optional<std::string> iconvToUtf8(std::string_view bytes, const std::string& charset) {
    text::IconvConverter converter("UTF-8", charset.c_str());
    if (!converter.isOpen()) {
        return std::nullopt;
    }
    return converter.convert(bytes, kReplacement, text::skipOneByte);
}

// True when the Shift_JIS reading is valid and mostly half-width katakana,
// which is what EUC-JP kana and kanji turn into when read as Shift_JIS.
bool readsAsHalfWidthKanaRuns(std::string_view bytes) {
    const std::optional<std::size_t> kana = text::shiftJisHalfWidthKana(bytes);
    return kana && *kana * 2 > text::eightBitBytes(bytes);
}

TextCharset guessEightBit(std::string_view bytes) {
    if (!text::isValidEucJp(bytes)) {
        return TextCharset::kShiftJis;
    }
    // Both readings may be valid: real text seldom has runs of half-width
    // katakana.
    return !text::isValidShiftJis(bytes) || readsAsHalfWidthKanaRuns(bytes)
               ? TextCharset::kEucJp
               : TextCharset::kShiftJis;
}

std::string eucJpToUtf8(std::string_view bytes) {
    // EUC-JP-MS carries the NEC and IBM extensions that plain EUC-JP lacks.
    auto converted = iconvToUtf8(bytes, "EUC-JP-MS");
    if (!converted) {
        converted = iconvToUtf8(bytes, "EUC-JP");
    }
    return converted.value_or(std::string(bytes));
}

std::string decodeAs(std::string_view bytes, TextCharset charset) {
    switch (charset) {
        case TextCharset::kAscii:
            return std::string(bytes);
        case TextCharset::kUtf8:
            return text::isValidUtf8(bytes) ? std::string(bytes)
                                            : iconvToUtf8(bytes, "UTF-8").value_or(std::string());
        case TextCharset::kIso2022Jp:
            return text::fromCp932(iso2022JpToCp932(bytes));
        case TextCharset::kShiftJis:
            return text::fromCp932(bytes);
        case TextCharset::kEucJp:
            return eucJpToUtf8(bytes);
        case TextCharset::kOther:
            break;
    }
    return std::string(bytes);
}

// True when the bytes cannot be in the declared family.
bool contradicts(std::string_view bytes, TextCharset declared) {
    switch (declared) {
        case TextCharset::kAscii:
        case TextCharset::kIso2022Jp:
            return !text::isAscii(bytes);
        case TextCharset::kUtf8:
            // A character cut off at the very end is damage, not another charset.
            return !text::isValidUtf8(
                bytes.substr(0, bytes.size() - text::utf8TruncatedTail(bytes)));
        case TextCharset::kShiftJis:
            // UTF-8 Japanese is never valid Shift_JIS for long; a valid
            // UTF-8 reading with 8-bit bytes settles it.
            return text::hasJisEscape(bytes) || !text::isValidShiftJis(bytes) ||
                   (!text::isAscii(bytes) && text::isValidUtf8(bytes));
        case TextCharset::kEucJp:
            return text::hasJisEscape(bytes) || !text::isValidEucJp(bytes) ||
                   (!text::isAscii(bytes) && text::isValidUtf8(bytes));
        case TextCharset::kOther:
            return false;
    }
    return false;
}

// Old Japanese mailers label Shift_JIS text ISO-8859-1. Real Latin text never
// holds the C1 controls 0x80-0x9F, which are Shift_JIS lead bytes.
bool isLatinLabelOnJapanese(std::string_view label, std::string_view bytes) {
    if (text::asciiLowerCase(label).rfind("iso-8859-", 0) != 0) {
        return false;
    }
    bool hasC1 = std::any_of(bytes.begin(), bytes.end(), [](char c) {
        unsigned char b = static_cast<unsigned char>(c);
        return b >= 0x80 && b <= 0x9F;
    });
    return hasC1 && (text::isValidShiftJis(bytes) || text::isValidUtf8(bytes));
}

bool isOtherIso2022Label(std::string_view label) {
    std::string name = text::asciiLowerCase(label);
    return name.rfind("iso-2022-", 0) == 0 || name.rfind("csiso2022", 0) == 0;
}

// The name iconv knows a registered charset label by, reading each label as
// the superset that mailers really send under it (gb2312 mail is GBK, Korean
// mail is the Windows code page 949).
std::string iconvCharsetName(std::string_view label) {
    static const std::pair<std::string_view, std::string_view> kAliases[] = {
        {"ks_c_5601-1987", "CP949"},
        {"ks_c_5601-1989", "CP949"},
        {"ks_c_5601", "CP949"},
        {"ksc_5601", "CP949"},
        {"ksc5601", "CP949"},
        {"iso-ir-149", "CP949"},
        {"csksc56011987", "CP949"},
        {"korean", "CP949"},
        {"euc-kr", "CP949"},
        {"gb2312", "GB18030"},
        {"csgb2312", "GB18030"},
        {"euc-cn", "GB18030"},
        {"x-euc-cn", "GB18030"},
        {"gbk", "GB18030"},
        {"x-gbk", "GB18030"},
        {"cp936", "GB18030"},
        {"big5", "CP950"},
        {"x-x-big5", "CP950"},
        {"iso-8859-8-i", "ISO-8859-8"},
        {"iso-8859-8-e", "ISO-8859-8"},
        {"iso-8859-6-i", "ISO-8859-6"},
        {"iso-8859-6-e", "ISO-8859-6"},
        {"unicode-1-1-utf-7", "UTF-7"},
        {"windows-874", "CP874"}};
    std::string name = text::asciiLowerCase(label);
    for (const auto& [alias, iconvName] : kAliases) {
        if (name == alias) {
            return std::string(iconvName);
        }
    }
    return std::string(label);
}

// True when the EUC-JP reading is made of characters in the rows Japanese
// text uses (none in the unassigned rows) and at least one in five is a
// kana or a punctuation mark, as in any Japanese sentence.
bool readsAsEucJapanese(std::string_view bytes) {
    int characters = 0;
    int kanaOrPunctuation = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        unsigned char lead = byteAt(bytes, i);
        if (lead < 0x80) {
            continue;
        }
        ++characters;
        if (lead == 0x8E || lead == 0x8F) {
            i += lead == 0x8E ? 1 : 2;
            continue;
        }
        if ((lead >= 0xA9 && lead <= 0xAF && lead != 0xAD) || lead > 0xFC) {
            return false;
        }
        if (lead == 0xA1 || lead == 0xA4 || lead == 0xA5) {
            ++kanaOrPunctuation;
        }
        ++i;
    }
    return characters > 0 && kanaOrPunctuation * 5 >= characters;
}

// EUC-JP under a Shift_JIS label: valid both ways, but the Shift_JIS reading
// is mostly half-width katakana while the EUC-JP reading is plain Japanese.
// Real half-width katakana mail read as EUC-JP gives kanji without kana.
bool isEucJpUnderShiftJisLabel(std::string_view bytes) {
    return text::isValidEucJp(bytes) && readsAsHalfWidthKanaRuns(bytes) &&
           readsAsEucJapanese(bytes);
}

}  // namespace

TextCharset charsetFamily(std::string_view label) {
    std::string name = text::asciiLowerCase(label);
    if (name.empty() || name == "us-ascii" || name == "ascii" || name == "ansi_x3.4-1968") {
        return TextCharset::kAscii;
    }
    if (name == "utf-8" || name == "utf8") {
        return TextCharset::kUtf8;
    }
    if (name.rfind("iso-2022-jp", 0) == 0 || name == "csiso2022jp" || name == "jis") {
        return TextCharset::kIso2022Jp;
    }
    static const std::array<std::string_view, 10> kShiftJisNames = {
        "shift_jis",  "shift-jis", "sjis",        "x-sjis", "ms_kanji",
        "csshiftjis", "cp932",     "windows-31j", "ms932",  "x-ms-cp932"};
    if (std::find(kShiftJisNames.begin(), kShiftJisNames.end(), name) != kShiftJisNames.end()) {
        return TextCharset::kShiftJis;
    }
    if (name == "euc-jp" || name == "x-euc-jp" || name == "eucjp" ||
        name == "cseucpkdfmtjapanese" || name == "euc-jp-ms") {
        return TextCharset::kEucJp;
    }
    return TextCharset::kOther;
}

TextCharset guessCharset(std::string_view bytes) {
    if (text::hasJisEscape(bytes)) {
        return TextCharset::kIso2022Jp;
    }
    if (text::isAscii(bytes)) {
        return TextCharset::kAscii;
    }
    if (text::isValidUtf8(bytes)) {
        return TextCharset::kUtf8;
    }
    return guessEightBit(bytes);
}

namespace {

// The reading of bytes whose label did not settle it: the declared family,
// unless the bytes contradict it.
TextCharset settledReading(std::string_view bytes, TextCharset declared) {
    if (contradicts(bytes, declared)) {
        return guessCharset(bytes);
    }
    if (declared == TextCharset::kShiftJis && isEucJpUnderShiftJisLabel(bytes)) {
        return TextCharset::kEucJp;
    }
    return declared;
}

// How the bytes under `label` are read; kOther means through iconv, under
// the label's own name.
TextCharset readingOf(std::string_view bytes, std::string_view label) {
    TextCharset declared = charsetFamily(label);
    if (declared != TextCharset::kIso2022Jp && text::hasJisEscape(bytes) &&
        !isOtherIso2022Label(label)) {
        // Old mailers and scripts put ISO-2022-JP under any label: us-ascii,
        // ISO-8859-1, UTF-8. Japanese escapes in the bytes settle it.
        return TextCharset::kIso2022Jp;
    }
    if (declared == TextCharset::kOther && isLatinLabelOnJapanese(label, bytes)) {
        declared = TextCharset::kAscii;  // guessed below
    }
    return declared == TextCharset::kOther ? declared : settledReading(bytes, declared);
}

}  // namespace

std::string toUtf8(std::string_view bytes, std::string_view label) {
    TextCharset reading = readingOf(bytes, label);
    if (reading == TextCharset::kOther) {
        if (auto converted = iconvToUtf8(bytes, iconvCharsetName(label))) {
            return *converted;
        }
        reading = settledReading(bytes, TextCharset::kAscii);  // unknown label: as undeclared
    }
    return decodeAs(bytes, reading);
}

std::string toCp932Text(std::string_view bytes, std::string_view label) {
    switch (readingOf(bytes, label)) {
        case TextCharset::kAscii:
            return std::string(bytes);  // read as ASCII only when it is
        case TextCharset::kIso2022Jp:
            return iso2022JpToCanonicalCp932(bytes);
        case TextCharset::kShiftJis:
            return text::canonicalCp932(bytes);
        default:
            return text::toCp932(toUtf8(bytes, label));
    }
}

}  // namespace qf::transport
