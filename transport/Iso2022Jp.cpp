#include "transport/Iso2022Jp.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>

#include "text/Cp932.h"
#include "text/Iconv.h"
#include "text/JapaneseBytes.h"
#include "text/Utf8.h"

namespace qf::transport {

using text::byteAt;

namespace {

constexpr std::string_view kGetaCp932 = "\x81\xAC";  // 〓, the substitute mark

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
                if (text::isShiftJisTrailByte(static_cast<unsigned char>(trail))) {
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
    if (rest.starts_with("(B")) {
        return Designation{Iso2022Set::kRoman, 0, 2};  // ends every Japanese line: asked first
    }
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

bool isJisGraphic(unsigned char b) {
    return b >= 0x21 && b <= 0x7E;
}

// Each JIS X 0208 pair's canonical CP932 code, 0 where it has none as a
// pair: one lookup per character of a Japanese body. The canonical forms are
// the same in every thread, so one table serves the process.
class JisCanonicalCodes {
  public:
    explicit JisCanonicalCodes(const text::Cp932Canonicalizer& canon) {
        for (unsigned j1 = 0x21; j1 <= 0x7E; ++j1) {
            for (unsigned j2 = 0x21; j2 <= 0x7E; ++j2) {
                auto pair =
                    jisToSjis(static_cast<unsigned char>(j1), static_cast<unsigned char>(j2));
                if (canon.pair(pair.data())) {
                    m_codes[indexOf(j1, j2)] =
                        static_cast<std::uint16_t>((static_cast<unsigned char>(pair[0]) << 8) |
                                                   static_cast<unsigned char>(pair[1]));
                }
            }
        }
    }
    std::uint16_t code(unsigned char j1, unsigned char j2) const {
        return m_codes[indexOf(j1, j2)];
    }

  private:
    static constexpr unsigned kRowLength = 94;
    static std::size_t indexOf(unsigned j1, unsigned j2) {
        return std::size_t{(j1 - 0x21) * kRowLength + (j2 - 0x21)};
    }
    std::array<std::uint16_t, std::size_t{kRowLength} * kRowLength> m_codes{};
};

const JisCanonicalCodes& jisCanonicalCodes(const text::Cp932Canonicalizer& canon) {
    static const JisCanonicalCodes codes(canon);
    return codes;
}

// Appends the run of JIS X 0208 pairs that starts at `i` as Shift_JIS and
// returns where the run ends: the body of a Japanese mail is mostly such runs.
// With `canon`, each pair is written in its canonical form until one has
// none: `settled` turns false there, and the rest is left as it is for
// canonicalCp932, which may read the bytes after such a pair differently.
std::size_t appendJisRun(std::string& out, std::string_view bytes, std::size_t i,
                         const text::Cp932Canonicalizer* canon, bool& settled) {
    std::size_t end = i;
    while (end + 1 < bytes.size() && isJisGraphic(byteAt(bytes, end)) &&
           isJisGraphic(byteAt(bytes, end + 1))) {
        end += 2;
    }
    const JisCanonicalCodes* codes =
        canon != nullptr && settled ? &jisCanonicalCodes(*canon) : nullptr;
    std::size_t at = out.size();
    out.resize(at + (end - i));
    for (; i < end; i += 2, at += 2) {
        const unsigned char j1 = byteAt(bytes, i);
        const unsigned char j2 = byteAt(bytes, i + 1);
        if (codes != nullptr) {
            if (const std::uint16_t code = codes->code(j1, j2); code != 0) {
                out[at] = static_cast<char>(code >> 8);
                out[at + 1] = static_cast<char>(code & 0xFF);
                continue;
            }
            settled = false;
            codes = nullptr;
        }
        const auto sjis = jisToSjis(j1, j2);
        out[at] = sjis[0];
        out[at + 1] = sjis[1];
    }
    return end;
}

// Half-width katakana U+FF61-U+FF9F and their full-width forms, in order.
constexpr std::string_view kFullWidthKana =
    "。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマ"
    "ミムメモ"
    "ヤユヨラリルレロワン゛゜";

// ISO-2022-JP has no half-width katakana: write them full-width, joining a
// following voiced or semi-voiced mark into one character (ｶﾞ → ガ).
std::string widenHalfWidthKana(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto [cp, length] = text::utf8CharacterAt(utf8, i);
        if (cp < 0xFF61 || cp > 0xFF9F) {
            out += utf8.substr(i, length);
            i += length;
            continue;
        }
        std::string wide(kFullWidthKana.substr(std::size_t{cp - 0xFF61} * 3, 3));
        i += length;
        const text::Utf8Character next =
            i < utf8.size() ? text::utf8CharacterAt(utf8, i) : text::Utf8Character{0, 0};
        const bool voicable = (cp >= 0xFF76 && cp <= 0xFF84) || (cp >= 0xFF8A && cp <= 0xFF8E);
        const bool semiVoicable = cp >= 0xFF8A && cp <= 0xFF8E;
        if (next.codePoint == 0xFF9E && cp == 0xFF73) {
            wide = "ヴ";
            i += next.length;
        } else if ((next.codePoint == 0xFF9E && voicable) ||
                   (next.codePoint == 0xFF9F && semiVoicable)) {
            wide[2] = static_cast<char>(wide[2] + (next.codePoint == 0xFF9E ? 1 : 2));
            i += next.length;
        }
        out += wide;
    }
    return out;
}

}  // namespace

namespace {

// The decoder of iso2022JpToCp932; with `canon` (see appendJisRun) the
// bytes it writes are canonical where `settled` stays true.
std::string decodeIso2022Jp(std::string_view bytes, const text::Cp932Canonicalizer* canon,
                            bool& settled) {
    const auto single = [&](std::string& out, unsigned char byte) {
        out += static_cast<char>(byte);
        if (canon != nullptr && settled && !canon->keeps(byte)) {
            settled = false;
        }
    };
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
                settled = settled && canon == nullptr;  // not looked up here
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
            single(out, b);
            continue;
        }
        bool pair = i + 1 < bytes.size() && b >= 0x21 && b <= 0x7E &&
                    byteAt(bytes, i + 1) >= 0x21 && byteAt(bytes, i + 1) <= 0x7E;
        if ((g0 == Iso2022Set::kKana || shiftedOut) && b >= 0x21 && b <= 0x5F) {
            single(out, static_cast<unsigned char>(b + 0x80));
        } else if (g0 == Iso2022Set::kJisX0208 && pair) {
            // Shifted out, the next byte may be half-width katakana: one pair only.
            i = appendJisRun(out, bytes.substr(0, shiftedOut ? i + 2 : bytes.size()), i, canon,
                             settled) -
                1;
        } else if (isDoubleByteForeign(g0) && pair) {
            const char code[2] = {static_cast<char>(b | 0x80),
                                  static_cast<char>(byteAt(bytes, ++i) | 0x80)};
            out += foreign.cp932(g0, std::string_view(code, 2));
            settled = settled && canon == nullptr;  // not looked up here
        } else {
            single(out, b);
        }
    }
    return out;
}

}  // namespace

std::string iso2022JpToCp932(std::string_view bytes) {
    bool settled = true;
    return decodeIso2022Jp(bytes, nullptr, settled);
}

std::string iso2022JpToCanonicalCp932(std::string_view bytes) {
    const text::Cp932Canonicalizer canon(bytes.size());
    bool settled = canon.ready();
    std::string out = decodeIso2022Jp(bytes, settled ? &canon : nullptr, settled);
    // What was settled already is its own canonical form: a second pass
    // over the text changes only the rest.
    return settled ? out : text::canonicalCp932(out);
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

}  // namespace qf::transport
