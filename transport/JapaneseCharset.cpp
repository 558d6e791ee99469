#include "transport/JapaneseCharset.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "text/Cp932.h"
#include "text/HeaderEncoding.h"
#include "text/Iconv.h"

namespace qf::transport {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kGetaCp932 = "\x81\xAC";        // 〓, the substitute mark

unsigned char byteAt(std::string_view text, std::size_t i) {
    return static_cast<unsigned char>(text[i]);
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string lowerCase(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    return out;
}

// True when the bytes designate a set the way ISO-2022-JP and ISO-2022-JP-2
// do (ESC $ B, ESC $ ( D, ESC $ A, ESC . A …). ISO-2022-KR and -CN designate
// with ESC $ ) instead and are not taken for Japanese.
bool hasJisEscape(std::string_view bytes) {
    for (std::size_t i = bytes.find('\x1B'); i != std::string_view::npos;
         i = bytes.find('\x1B', i + 1)) {
        std::string_view next = bytes.substr(i + 1, 2);
        if (next == "$B" || next == "$@" || next == "$A" || next == "$(" || next == "(I" ||
            next == ".A" || next == ".F") {
            return true;
        }
    }
    return false;
}

// ---- validity of the three multi-byte encodings ----

bool isValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char b = byteAt(text, i);
        std::size_t n = b < 0x80                   ? 1
                        : (b >= 0xC2 && b <= 0xDF) ? 2
                        : (b >> 4) == 0xE          ? 3
                        : (b >= 0xF0 && b <= 0xF4) ? 4
                                                   : 0;
        if (n == 0 || i + n > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < n; ++k) {
            if ((byteAt(text, i + k) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += n;
    }
    return true;
}

// The number of bytes at the end that start a UTF-8 sequence and stop short.
std::size_t truncatedUtf8Tail(std::string_view text) {
    for (std::size_t back = 1; back <= 3 && back <= text.size(); ++back) {
        unsigned char b = byteAt(text, text.size() - back);
        if ((b & 0xC0) == 0x80) {
            continue;  // a continuation byte: look further back for the lead
        }
        std::size_t needed = (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 1;
        return needed > back ? back : 0;
    }
    return 0;
}

bool isSjisTrail(unsigned char b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}
bool isHalfWidthKana(unsigned char b) {
    return b >= 0xA1 && b <= 0xDF;
}
bool isEucByte(unsigned char b) {
    return b >= 0xA1 && b <= 0xFE;
}

// Counts the characters of a Shift_JIS reading; -1 when the bytes are not
// Shift_JIS. `kana` receives the number of half-width katakana.
int sjisCharacters(std::string_view text, int& kana) {
    int count = 0;
    kana = 0;
    for (std::size_t i = 0; i < text.size(); ++i, ++count) {
        unsigned char b = byteAt(text, i);
        if (b < 0x80) {
            continue;
        }
        if (isHalfWidthKana(b)) {
            ++kana;
            continue;
        }
        if (!text::isCp932LeadByte(b) || i + 1 >= text.size() ||
            !isSjisTrail(byteAt(text, i + 1))) {
            return -1;
        }
        ++i;
    }
    return count;
}

bool isValidEucJp(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char b = byteAt(text, i);
        if (b < 0x80) {
            continue;
        }
        std::size_t trail = b == 0x8F ? 2 : 1;
        if (b != 0x8E && b != 0x8F && !isEucByte(b)) {
            return false;
        }
        if (i + trail >= text.size()) {
            return false;
        }
        for (std::size_t k = 1; k <= trail; ++k) {
            if (!isEucByte(byteAt(text, i + k))) {
                return false;
            }
        }
        i += trail;
    }
    return true;
}

bool isValidSjis(std::string_view text) {
    int kana = 0;
    return sjisCharacters(text, kana) >= 0;
}

// ---- iconv for what is not hand-written here ----

// Converts `bytes` from `charset` to UTF-8; an undecodable byte becomes
// U+FFFD. nullopt when iconv does not know the charset.
std::optional<std::string> iconvToUtf8(std::string_view bytes, const std::string& charset) {
    text::IconvConverter converter("UTF-8", charset.c_str());
    if (!converter.isOpen()) {
        return std::nullopt;
    }
    return converter.convert(bytes, kReplacement, text::skipOneByte);
}

// ---- JIS X 0208 and Shift_JIS arithmetic ----

std::array<char, 2> jisToSjis(unsigned char j1, unsigned char j2) {
    unsigned s1 = ((j1 - 0x21u) >> 1) + 0x81u;
    if (s1 > 0x9F) {
        s1 += 0x40;
    }
    unsigned s2 = 0;
    if (j1 & 1) {
        s2 = j2 + 0x1Fu;
        if (s2 >= 0x7F) {
            ++s2;
        }
    } else {
        s2 = j2 + 0x7Eu;
    }
    return {static_cast<char>(s1), static_cast<char>(s2)};
}

std::array<char, 2> sjisToJis(unsigned s1, unsigned s2) {
    unsigned j1 = (s1 - (s1 <= 0x9F ? 0x81u : 0xC1u)) * 2 + 0x21;
    unsigned j2 = 0;
    if (s2 >= 0x9F) {
        ++j1;
        j2 = s2 - 0x7E;
    } else {
        j2 = s2 - (s2 >= 0x80 ? 0x20u : 0x1Fu);
    }
    return {static_cast<char>(j1), static_cast<char>(j2)};
}

// The IBM extension block (0xFA40-0xFC4B) has no JIS code; each of its
// characters is also in the NEC row 13 or the NEC-selected IBM rows, which
// do. The table pairs them by the Unicode character both decode to.
const std::unordered_map<unsigned, unsigned>& ibmToNecTable() {
    static const std::unordered_map<unsigned, unsigned> table = [] {
        auto forEachCode = [](unsigned first, unsigned last, auto&& visit) {
            for (unsigned code = first; code <= last; ++code) {
                unsigned trail = code & 0xFF;
                if (isSjisTrail(static_cast<unsigned char>(trail))) {
                    visit(code);
                }
            }
        };
        auto decode = [](unsigned code) {
            const char pair[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
            return text::fromCp932(std::string_view(pair, 2));
        };
        std::map<std::string, unsigned> necByText;
        auto addNec = [&](unsigned code) { necByText.emplace(decode(code), code); };
        forEachCode(0x8740, 0x879C, addNec);
        forEachCode(0xED40, 0xEEFC, addNec);
        std::unordered_map<unsigned, unsigned> result;
        forEachCode(0xFA40, 0xFC4B, [&](unsigned code) {
            auto it = necByText.find(decode(code));
            if (it != necByText.end()) {
                result.emplace(code, it->second);
            }
        });
        return result;
    }();
    return table;
}

// ---- ISO-2022-JP-2: the sets beyond JIS X 0208 ----

enum class Iso2022Set {
    kNone,
    kRoman,       // ASCII, JIS Roman
    kKana,        // JIS X 0201 katakana
    kJisX0208,    // also JIS X 0213 plane 1, its superset
    kJisX0212,    // supplementary kanji; nkf writes the IBM extensions here
    kJisX0213p2,  // JIS X 0213 plane 2
    kGb2312,
    kKsc5601,
    kLatin1,  // upper half of ISO-8859-1, a 96-character G2 set
    kGreek,   // upper half of ISO-8859-7
};

bool isDoubleByteForeign(Iso2022Set set) {
    return set == Iso2022Set::kJisX0212 || set == Iso2022Set::kJisX0213p2 ||
           set == Iso2022Set::kGb2312 || set == Iso2022Set::kKsc5601;
}

struct Designation {
    Iso2022Set set;
    int graphicSet;      // 0 or 2
    std::size_t length;  // bytes after the ESC
};

// The designation that `rest` (the bytes after an ESC) makes, if any.
std::optional<Designation> readDesignation(std::string_view rest) {
    static const std::pair<std::string_view, Iso2022Set> kG0[] = {
        {"$B", Iso2022Set::kJisX0208},    {"$@", Iso2022Set::kJisX0208},
        {"$(B", Iso2022Set::kJisX0208},   {"$(Q", Iso2022Set::kJisX0208},
        {"$(O", Iso2022Set::kJisX0208},   {"$(D", Iso2022Set::kJisX0212},
        {"$(P", Iso2022Set::kJisX0213p2}, {"$A", Iso2022Set::kGb2312},
        {"$(C", Iso2022Set::kKsc5601},    {"(I", Iso2022Set::kKana}};
    for (const auto& [sequence, set] : kG0) {
        if (rest.substr(0, sequence.size()) == sequence) {
            return Designation{set, 0, sequence.size()};
        }
    }
    if (rest.substr(0, 2) == ".A" || rest.substr(0, 2) == ".F") {
        return Designation{rest[1] == 'A' ? Iso2022Set::kLatin1 : Iso2022Set::kGreek, 2, 2};
    }
    if (rest.size() >= 2 && rest[0] == '(') {
        return Designation{Iso2022Set::kRoman, 0, 2};  // ( B, ( J, ( H
    }
    return std::nullopt;
}

// Characters of the sets CP932 is not built on, read by iconv from their
// EUC (8-bit) form and written in CP932: "?" where CP932 lacks the
// character, 〓 where the bytes are none. One converter per set and text.
class ForeignCharacters {
  public:
    std::string cp932(Iso2022Set set, std::string_view code) {
        auto& converter = m_converters[set];
        if (!converter) {
            converter = std::make_unique<text::IconvConverter>("UTF-8", iconvName(set));
        }
        if (!converter->isOpen()) {
            return std::string(kGetaCp932);
        }
        std::string euc = set == Iso2022Set::kJisX0212 || set == Iso2022Set::kJisX0213p2
                              ? "\x8F" + std::string(code)
                              : std::string(code);
        std::string utf8 = converter->convert(euc, "〓", text::skipOneByte);
        // A private-use code of another set is not CP932's user-defined character.
        return isPrivateUse(utf8) ? "?" : text::toCp932(utf8);
    }

  private:
    static bool isPrivateUse(std::string_view utf8) {  // U+E000-U+F8FF
        return utf8.size() == 3 &&
               (byteAt(utf8, 0) == 0xEE || (byteAt(utf8, 0) == 0xEF && byteAt(utf8, 1) < 0xA4));
    }

    static const char* iconvName(Iso2022Set set) {
        switch (set) {
            case Iso2022Set::kJisX0212:
                return "EUC-JP-MS";  // holds the IBM extensions as CP932 has them
            case Iso2022Set::kJisX0213p2:
                return "EUC-JISX0213";
            case Iso2022Set::kGb2312:
                return "GB18030";
            case Iso2022Set::kKsc5601:
                return "CP949";
            case Iso2022Set::kGreek:
                return "ISO-8859-7";
            default:
                return "ISO-8859-1";
        }
    }

    std::map<Iso2022Set, std::unique_ptr<text::IconvConverter>> m_converters;
};

// ---- guessing ----

TextCharset guessEightBit(std::string_view bytes) {
    int kana = 0;
    int sjisCount = sjisCharacters(bytes, kana);
    bool euc = isValidEucJp(bytes);
    if (sjisCount < 0) {
        return euc ? TextCharset::kEucJp : TextCharset::kShiftJis;
    }
    if (!euc) {
        return TextCharset::kShiftJis;
    }
    // Both readings are valid: EUC-JP kana and kanji read as Shift_JIS turn
    // into runs of half-width katakana, which real text seldom has.
    int eightBit = static_cast<int>(std::count_if(
        bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }));
    return kana * 2 > eightBit ? TextCharset::kEucJp : TextCharset::kShiftJis;
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
            return isValidUtf8(bytes) ? std::string(bytes)
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
            return !isAscii(bytes);
        case TextCharset::kUtf8:
            // A character cut off at the very end is damage, not another charset.
            return !isValidUtf8(bytes.substr(0, bytes.size() - truncatedUtf8Tail(bytes)));
        case TextCharset::kShiftJis:
            // UTF-8 Japanese is never valid Shift_JIS for long; a valid
            // UTF-8 reading with 8-bit bytes settles it.
            return hasJisEscape(bytes) || !isValidSjis(bytes) ||
                   (!isAscii(bytes) && isValidUtf8(bytes));
        case TextCharset::kEucJp:
            return hasJisEscape(bytes) || !isValidEucJp(bytes) ||
                   (!isAscii(bytes) && isValidUtf8(bytes));
        case TextCharset::kOther:
            return false;
    }
    return false;
}

// Old Japanese mailers label Shift_JIS text ISO-8859-1. Real Latin text never
// holds the C1 controls 0x80-0x9F, which are Shift_JIS lead bytes.
bool isLatinLabelOnJapanese(std::string_view label, std::string_view bytes) {
    if (lowerCase(label).rfind("iso-8859-", 0) != 0) {
        return false;
    }
    bool hasC1 = std::any_of(bytes.begin(), bytes.end(), [](char c) {
        unsigned char b = static_cast<unsigned char>(c);
        return b >= 0x80 && b <= 0x9F;
    });
    return hasC1 && (isValidSjis(bytes) || isValidUtf8(bytes));
}

bool isOtherIso2022Label(std::string_view label) {
    std::string name = lowerCase(label);
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
    std::string name = lowerCase(label);
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
    if (!isValidEucJp(bytes)) {
        return false;
    }
    int kana = 0;
    if (sjisCharacters(bytes, kana) < 0) {
        return false;
    }
    auto eightBit = std::count_if(bytes.begin(), bytes.end(),
                                  [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    return kana * 2 > eightBit && readsAsEucJapanese(bytes);
}

// ---- base64 and Q ----

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

// Lenient: padding may be missing, stray characters are skipped.
std::string base64Decode(std::string_view text) {
    std::string out;
    unsigned accumulator = 0;
    int bits = 0;
    for (char c : text) {
        int value = base64Value(c);
        if (value < 0) {
            continue;
        }
        accumulator = (accumulator << 6) | static_cast<unsigned>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((accumulator >> bits) & 0xFF);
        }
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Percent (RFC 2231) or equals (RFC 2047 Q) escapes; `underscoreIsSpace` for Q.
std::string unescape(std::string_view text, char escape, bool underscoreIsSpace) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == escape) {
            int high = i + 1 < text.size() ? hexValue(text[i + 1]) : -1;
            int low = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += (underscoreIsSpace && text[i] == '_') ? ' ' : text[i];
    }
    return out;
}

// ---- header text ----

std::string unfold(std::string_view raw) {
    std::string out;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' || raw[i] == '\n') {
            continue;  // folding: the white space after the line break stays
        }
        out += raw[i];
    }
    std::size_t first = out.find_first_not_of(" \t");
    std::size_t last = out.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : out.substr(first, last - first + 1);
}

struct EncodedWord {
    std::string charset;  // without an RFC 2231 language suffix
    std::string bytes;    // transfer-decoded
    std::size_t length;   // of the whole =?...?= token
};

std::optional<EncodedWord> parseEncodedWord(std::string_view text) {
    if (text.substr(0, 2) != "=?") {
        return std::nullopt;
    }
    std::size_t q1 = text.find('?', 2);
    if (q1 == std::string_view::npos || q1 + 2 >= text.size() || text[q1 + 2] != '?') {
        return std::nullopt;
    }
    char encoding = static_cast<char>(std::toupper(static_cast<unsigned char>(text[q1 + 1])));
    std::size_t end = text.find("?=", q1 + 3);
    if ((encoding != 'B' && encoding != 'Q') || end == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view charset = text.substr(2, q1 - 2);
    charset = charset.substr(0, charset.find('*'));
    std::string_view payload = text.substr(q1 + 3, end - q1 - 3);
    if (charset.empty() || charset.find_first_of(" \t") != std::string_view::npos) {
        return std::nullopt;
    }
    if (encoding == 'Q' && !payload.empty() && payload.back() == '=') {
        // A bare "=" that ends the text escapes nothing: encoders that cut a
        // word leave it as a soft break, as in quoted-printable.
        payload.remove_suffix(1);
    }
    std::string bytes = encoding == 'B' ? base64Decode(payload) : unescape(payload, '=', true);
    return EncodedWord{std::string(charset), std::move(bytes), end + 2};
}

// Literal text of a header: ASCII as is, raw 8-bit bytes by their guessed charset.
std::string decodeLiteral(std::string_view bytes) {
    return isAscii(bytes) && !hasJisEscape(bytes) ? std::string(bytes) : toUtf8(bytes, "");
}

// ---- RFC 2231 parameters ----

struct RawParameter {
    std::string name;   // lower case, with any *N / * suffix
    std::string value;  // unquoted
};

// Reads a quoted string starting after its opening quote. A Shift_JIS lead
// byte takes the next byte with it, so a trail byte 0x5C is not an escape.
std::string readQuoted(std::string_view text, std::size_t& i) {
    std::string out;
    while (i < text.size() && text[i] != '"') {
        unsigned char b = byteAt(text, i);
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
        std::string name = lowerCase(unfold(value.substr(i, equals - i)));
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
        text += unfold(value.substr(i, end == std::string_view::npos ? end : end - i));
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
        return {std::string(), unescape(value, '%', false)};
    }
    return {std::string(value.substr(0, first)), unescape(value.substr(second + 1), '%', false)};
}

// ---- encoding for sending ----

// Half-width katakana U+FF61-U+FF9F and their full-width forms, in order.
constexpr std::string_view kFullWidthKana =
    "。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマ"
    "ミムメモ"
    "ヤユヨラリルレロワン゛゜";

unsigned decodeUtf8At(std::string_view text, std::size_t i, std::size_t& length) {
    unsigned char b = byteAt(text, i);
    length = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : 4;
    if (i + length > text.size()) {
        length = 1;
        return b;
    }
    unsigned cp = length == 1   ? b
                  : length == 2 ? (b & 0x1Fu)
                  : length == 3 ? (b & 0x0Fu)
                                : (b & 0x07u);
    for (std::size_t k = 1; k < length; ++k) {
        cp = (cp << 6) | (byteAt(text, i + k) & 0x3Fu);
    }
    return cp;
}

// ISO-2022-JP has no half-width katakana: write them full-width, joining a
// following voiced or semi-voiced mark into one character (ｶﾞ → ガ).
std::string widenHalfWidthKana(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t length = 0;
        unsigned cp = decodeUtf8At(utf8, i, length);
        if (cp < 0xFF61 || cp > 0xFF9F) {
            out += utf8.substr(i, length);
            i += length;
            continue;
        }
        std::string wide(kFullWidthKana.substr((cp - 0xFF61) * 3, 3));
        i += length;
        std::size_t nextLength = 0;
        unsigned next = i < utf8.size() ? decodeUtf8At(utf8, i, nextLength) : 0;
        bool voicable = (cp >= 0xFF76 && cp <= 0xFF84) || (cp >= 0xFF8A && cp <= 0xFF8E);
        bool semiVoicable = cp >= 0xFF8A && cp <= 0xFF8E;
        if (next == 0xFF9E && cp == 0xFF73) {
            wide = "ヴ";
            i += nextLength;
        } else if ((next == 0xFF9E && voicable) || (next == 0xFF9F && semiVoicable)) {
            wide[2] = static_cast<char>(wide[2] + (next == 0xFF9E ? 1 : 2));
            i += nextLength;
        }
        out += wide;
    }
    return out;
}

}  // namespace

TextCharset charsetFamily(std::string_view label) {
    std::string name = lowerCase(label);
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
    if (hasJisEscape(bytes)) {
        return TextCharset::kIso2022Jp;
    }
    if (isAscii(bytes)) {
        return TextCharset::kAscii;
    }
    if (isValidUtf8(bytes)) {
        return TextCharset::kUtf8;
    }
    return guessEightBit(bytes);
}

namespace {

bool isJisGraphic(unsigned char b) {
    return b >= 0x21 && b <= 0x7E;
}

// Appends the run of JIS X 0208 pairs that starts at `i` as Shift_JIS and
// returns where the run ends: the body of a Japanese mail is mostly such runs.
std::size_t appendJisRun(std::string& out, std::string_view bytes, std::size_t i) {
    std::size_t end = i;
    while (end + 1 < bytes.size() && isJisGraphic(byteAt(bytes, end)) &&
           isJisGraphic(byteAt(bytes, end + 1))) {
        end += 2;
    }
    std::size_t at = out.size();
    out.resize(at + (end - i));
    for (; i < end; i += 2, at += 2) {
        const auto sjis = jisToSjis(byteAt(bytes, i), byteAt(bytes, i + 1));
        out[at] = sjis[0];
        out[at + 1] = sjis[1];
    }
    return end;
}

}  // namespace

std::string iso2022JpToCp932(std::string_view bytes) {
    Iso2022Set g0 = Iso2022Set::kRoman;
    Iso2022Set g2 = Iso2022Set::kNone;  // ESC . A / ESC . F, used one byte at a time by ESC N
    bool shiftedOut = false;            // SO/SI half-width katakana
    ForeignCharacters foreign;
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        unsigned char b = byteAt(bytes, i);
        if (b == 0x1B) {
            std::string_view rest = bytes.substr(i + 1);
            if (rest.substr(0, 1) == "N" && rest.size() >= 2 && g2 != Iso2022Set::kNone) {
                const char code = static_cast<char>(byteAt(rest, 1) | 0x80);
                out += foreign.cp932(g2, std::string_view(&code, 1));
                i += 2;
            } else if (auto designation = readDesignation(rest)) {
                (designation->graphicSet == 2 ? g2 : g0) = designation->set;
                i += designation->length;
            }
            continue;
        }
        if (b == 0x0E || b == 0x0F) {
            shiftedOut = b == 0x0E;
            continue;
        }
        if (b == '\r' || b == '\n') {
            // Each line starts in ASCII; broken mailers forget the ESC ( B.
            g0 = Iso2022Set::kRoman;
            shiftedOut = false;
            out += static_cast<char>(b);
            continue;
        }
        bool pair = i + 1 < bytes.size() && b >= 0x21 && b <= 0x7E &&
                    byteAt(bytes, i + 1) >= 0x21 && byteAt(bytes, i + 1) <= 0x7E;
        if ((g0 == Iso2022Set::kKana || shiftedOut) && b >= 0x21 && b <= 0x5F) {
            out += static_cast<char>(b + 0x80);
        } else if (g0 == Iso2022Set::kJisX0208 && pair) {
            // Shifted out, the next byte may be half-width katakana: one pair only.
            i = appendJisRun(out, bytes.substr(0, shiftedOut ? i + 2 : bytes.size()), i) - 1;
        } else if (isDoubleByteForeign(g0) && pair) {
            const char code[2] = {static_cast<char>(b | 0x80),
                                  static_cast<char>(byteAt(bytes, ++i) | 0x80)};
            out += foreign.cp932(g0, std::string_view(code, 2));
        } else {
            out += static_cast<char>(b);
        }
    }
    return out;
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
    if (declared != TextCharset::kIso2022Jp && hasJisEscape(bytes) && !isOtherIso2022Label(label)) {
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
            return text::canonicalCp932(iso2022JpToCp932(bytes));
        case TextCharset::kShiftJis:
            return text::canonicalCp932(bytes);
        default:
            return text::toCp932(toUtf8(bytes, label));
    }
}

std::string decodeHeaderText(std::string_view rawValue) {
    std::string text = unfold(rawValue);
    std::string out;
    std::string literal;       // pending raw text
    std::string wordCharset;   // charset of the pending encoded-word bytes
    std::string wordBytes;     // joined bytes of adjacent words
    std::string pendingSpace;  // white space between two words, dropped if another word follows
    auto flushWords = [&] {
        if (!wordCharset.empty()) {
            out += toUtf8(wordBytes, wordCharset);
            wordCharset.clear();
            wordBytes.clear();
        }
    };
    auto flushLiteral = [&] {
        out += decodeLiteral(literal);
        literal.clear();
    };
    for (std::size_t i = 0; i < text.size();) {
        auto word = parseEncodedWord(std::string_view(text).substr(i));
        if (word) {
            if (!literal.empty() || wordCharset.empty() ||
                lowerCase(wordCharset) != lowerCase(word->charset)) {
                flushWords();
                flushLiteral();
            }
            pendingSpace.clear();
            if (wordCharset.empty()) {
                wordCharset = word->charset;
            }
            wordBytes += word->bytes;
            i += word->length;
            continue;
        }
        if ((text[i] == ' ' || text[i] == '\t') && !wordCharset.empty() && literal.empty()) {
            pendingSpace += text[i++];
            continue;
        }
        if (!wordCharset.empty()) {
            flushWords();
            literal += pendingSpace;
            pendingSpace.clear();
        }
        literal += text[i++];
    }
    flushWords();
    flushLiteral();
    return out;
}

std::optional<std::string> headerParameter(std::string_view rawValue, std::string_view name) {
    std::string wanted = lowerCase(name);
    std::optional<std::string> plain;
    std::optional<std::string> extended;
    std::map<int, std::pair<bool, std::string>> sections;  // number → (encoded?, value)
    for (RawParameter& parameter : splitParameters(rawValue)) {
        if (parameter.name == wanted) {
            plain = std::move(parameter.value);
        } else if (parameter.name == wanted + "*") {
            extended = std::move(parameter.value);
        } else if (parameter.name.rfind(wanted + "*", 0) == 0) {
            std::string suffix = parameter.name.substr(wanted.size() + 1);
            bool encoded = !suffix.empty() && suffix.back() == '*';
            if (encoded) {
                suffix.pop_back();
            }
            if (suffix.empty() || suffix.size() > 3 ||
                !std::all_of(suffix.begin(), suffix.end(),
                             [](char c) { return c >= '0' && c <= '9'; })) {
                continue;
            }
            sections[std::stoi(suffix)] = {encoded, std::move(parameter.value)};
        }
    }
    if (!sections.empty()) {
        // Join all sections as bytes, then decode once: a multi-byte or
        // ISO-2022-JP character may straddle two sections.
        std::string charset;
        std::string bytes;
        bool anyEncoded = false;
        for (auto& [number, section] : sections) {
            if (!section.first) {
                bytes += section.second;
            } else if (number == 0) {
                auto [sectionCharset, sectionBytes] = splitExtendedValue(section.second);
                charset = sectionCharset;
                bytes += sectionBytes;
                anyEncoded = true;
            } else {
                bytes += unescape(section.second, '%', false);
                anyEncoded = true;
            }
        }
        return anyEncoded ? toUtf8(bytes, charset) : decodeHeaderText(bytes);
    }
    if (extended) {
        auto [charset, bytes] = splitExtendedValue(*extended);
        return toUtf8(bytes, charset);
    }
    if (plain) {
        return decodeHeaderText(*plain);
    }
    return std::nullopt;
}

std::optional<std::string> utf8ToIso2022Jp(std::string_view utf8) {
    std::string wide = widenHalfWidthKana(utf8);
    if (!text::fitsCp932(wide)) {
        return std::nullopt;
    }
    std::string cp932 = text::toCp932(wide);
    const auto& ibmToNec = ibmToNecTable();
    std::string out;
    bool kanji = false;
    auto setKanji = [&](bool on) {
        if (on != kanji) {
            out += on ? "\x1B$B" : "\x1B(B";
            kanji = on;
        }
    };
    for (std::size_t i = 0; i < cp932.size(); ++i) {
        unsigned char b = byteAt(cp932, i);
        if (b < 0x80) {
            setKanji(false);
            out += static_cast<char>(b);
            continue;
        }
        if (!text::isCp932LeadByte(b) || i + 1 >= cp932.size()) {
            return std::nullopt;
        }
        unsigned code = (static_cast<unsigned>(b) << 8) | byteAt(cp932, ++i);
        if (auto it = ibmToNec.find(code); it != ibmToNec.end()) {
            code = it->second;
        }
        if (code >= 0xF040) {
            return std::nullopt;  // user-defined area or an unmapped IBM code: no JIS code
        }
        setKanji(true);
        auto jis = sjisToJis(code >> 8, code & 0xFF);
        out.append(jis.data(), 2);
    }
    setKanji(false);
    return out;
}

std::string encodeHeaderText(std::string_view utf8, std::size_t firstLineUsed) {
    if (isAscii(utf8)) {
        return std::string(utf8);
    }
    if (utf8ToIso2022Jp(utf8)) {
        // Each word's text fits as well, being a part of the whole.
        auto toJis = [](std::string_view chunk) { return *utf8ToIso2022Jp(chunk); };
        return text::encodeHeaderWords(utf8, "ISO-2022-JP", toJis, firstLineUsed, "\r\n ");
    }
    auto asIs = [](std::string_view chunk) { return std::string(chunk); };
    return text::encodeHeaderWords(utf8, "UTF-8", asIs, firstLineUsed, "\r\n ");
}

std::string encodeRfc2231Value(std::string_view utf8) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "UTF-8''";
    for (char c : utf8) {
        unsigned char b = static_cast<unsigned char>(c);
        if (std::isalnum(b) ||
            (b < 0x80 && std::string_view("!#$&+-.^_`|~").find(c) != std::string_view::npos)) {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

}  // namespace qf::transport
