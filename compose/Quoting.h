// The texts a signature and a quoted reply add to a body, without a window.
//
// A reply's body, top to bottom: an empty line to answer on, the signature
// (after a "-- " line) when there is one, then the received text: as it came
// (stripped of spaces at both ends), or quoted, under a line saying who wrote
// it and when. With neither a signature nor quoting the body is the received
// text alone, as it always was. All texts are UTF-8 with LF line ends.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qf::compose {

// Quoted lines are at most this many columns wide, the "> " included.
inline constexpr int kQuoteColumns = 72;

// Columns a character takes in a fixed-width font: 2 for wide and
// full-width characters (kanji, kana, full-width forms), 1 otherwise
// (half-width katakana included).
int columnsOf(char32_t codePoint);
int displayColumns(std::string_view utf8);

// `line` cut into pieces of at most `maxColumns` columns: after the last
// space that fits, else between two characters (Japanese has no spaces); a
// character wider than the room left starts the next piece. An empty line
// is one empty piece.
std::vector<std::string> wrapToColumns(std::string_view line, int maxColumns);

// Every line of `received` marked with "> " and wrapped so that no quoted
// line is wider than `columns`. CR LF and CR count as line ends.
std::string quotedText(std::string_view received, int columns = kQuoteColumns);

// "YYYY年M月D日 H:MM、名前 さんは書きました:" from a Date header as written
// ("Wed, 9 Dec 2026 20:35:05 +0900", the sender's own clock) and the sender
// text ("名前 <address>": the name, else the address). A date that does not
// read so stands as written; without a date the line names the writer
// alone. Control characters become spaces.
std::string attributionLine(std::string_view date, std::string_view sender);

// "-- " and the signature under it; empty when there is no signature.
std::string signatureBlock(std::string_view signature);

// A new mail's starting text: `text`, then the signature block after an
// empty line (just `text` when there is no signature).
std::string withSignature(std::string_view text, std::string_view signature);

struct ReceivedMail {
    std::string body;
    std::string sender;
    std::string date;
};

// The received text as a reply holds it: stripped, or quoted under the
// writer's line.
std::string receivedText(const ReceivedMail& received, bool quote);

// The reply window's starting body (see the top of this file).
std::string replyBody(const ReceivedMail& received, std::string_view signature, bool quote);

}  // namespace qf::compose
