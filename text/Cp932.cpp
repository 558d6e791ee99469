#include "text/Cp932.h"

#include <algorithm>

#include "text/Cp932Table.h"
#include "text/Iconv.h"
#include "text/Utf8.h"

namespace qf::text {

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";  // U+FFFD

// A thread converts through iconv until it has converted this much non-ASCII
// text, then builds the lookup tables (as costly as converting about 40 KB
// through iconv, and some ten times faster after) and uses them from then on.
// Both give the same bytes.
constexpr std::size_t kBytesBeforeTables = 64 * 1024;

Cp932Table* tableOnceWorthIt(std::size_t bytes) {
    thread_local std::size_t converted = 0;
    converted += bytes;
    return converted >= kBytesBeforeTables ? Cp932Table::forThisThread() : nullptr;
}

// A broken sequence is skipped one byte at a time.
std::size_t utf8SequenceLength(std::string_view rest) {
    return utf8CharacterLength(rest, 0);
}

// One descriptor per direction and thread, opened on first use: opening one
// costs far more than converting a record's fields. Null when the C library
// has no CP932 converter.
IconvConverter* toCp932Converter() {
    thread_local IconvConverter converter("CP932", "UTF-8");
    return converter.isOpen() ? &converter : nullptr;
}

IconvConverter* fromCp932Converter() {
    thread_local IconvConverter converter("UTF-8", "CP932");
    return converter.isOpen() ? &converter : nullptr;
}

// Without a converter only ASCII is known for certain: every other
// character is one that cannot be converted.
std::string replaceNonAscii(std::string_view bytes, std::string_view replacement,
                            std::size_t (*characterLength)(std::string_view rest)) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            out += bytes[i++];
            continue;
        }
        out += replacement;
        i += std::clamp<std::size_t>(characterLength(bytes.substr(i)), 1, bytes.size() - i);
    }
    return out;
}

std::size_t cp932CharacterLength(std::string_view rest) {
    return isCp932LeadByte(static_cast<unsigned char>(rest[0])) ? 2 : 1;
}

}  // namespace

std::string toCp932(std::string_view utf8) {
    if (isAscii(utf8)) {
        return std::string(utf8);
    }
    if (Cp932Table* table = tableOnceWorthIt(utf8.size())) {
        return table->encode(utf8);
    }
    IconvConverter* converter = toCp932Converter();
    return converter != nullptr ? converter->convert(utf8, "?", utf8SequenceLength)
                                : replaceNonAscii(utf8, "?", utf8SequenceLength);
}

std::string fromCp932(std::string_view cp932) {
    if (isAscii(cp932)) {
        return std::string(cp932);
    }
    // An undecodable byte is skipped alone, so that a stray lead byte does not
    // swallow the ASCII character after it.
    if (Cp932Table* table = tableOnceWorthIt(cp932.size())) {
        return table->decode(cp932);
    }
    IconvConverter* converter = fromCp932Converter();
    return converter != nullptr
               ? converter->convert(cp932, kReplacementCharacter, skipOneByte)
               : replaceNonAscii(cp932, kReplacementCharacter, cp932CharacterLength);
}

std::string canonicalCp932(std::string_view cp932) {
    if (isAscii(cp932)) {
        return std::string(cp932);
    }
    if (Cp932Table* table = tableOnceWorthIt(cp932.size())) {
        return table->canonical(cp932);
    }
    return toCp932(fromCp932(cp932));
}

Cp932Canonicalizer::Cp932Canonicalizer(std::size_t bytes) {
    if (Cp932Table* table = tableOnceWorthIt(bytes)) {
        m_pairs = table->canonicalPairCodes();
        m_singles = table->canonicalSingleCodes();
    }
}

std::size_t cp932PrefixLength(std::string_view cp932, std::size_t maxBytes) {
    if (cp932.size() < maxBytes) {
        return cp932.size();  // even a lone lead byte at the end fits
    }
    std::size_t i = 0;
    while (i < cp932.size()) {
        std::size_t width = isCp932LeadByte(static_cast<unsigned char>(cp932[i])) ? 2 : 1;
        if (i + width > maxBytes) {
            break;
        }
        i += width;
    }
    return std::min(i, cp932.size());
}

bool fitsCp932(std::string_view utf8) {
    if (isAscii(utf8)) {
        return true;
    }
    IconvConverter* converter = toCp932Converter();
    if (converter == nullptr) {
        return false;
    }
    bool fits = true;
    converter->convert(utf8, "?", [&](std::string_view rest) {
        fits = false;
        return utf8SequenceLength(rest);
    });
    return fits;
}

bool cp932ConversionAvailable() {
    return toCp932Converter() != nullptr && fromCp932Converter() != nullptr;
}

}  // namespace qf::text
