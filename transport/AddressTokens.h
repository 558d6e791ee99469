// The tokens of a raw address header value: words, quoted strings, angle
// addresses and the separators between them, with comments and folding
// white space as one space. 8-bit text (ISO-2022-JP, Shift_JIS, EUC-JP,
// UTF-8) is taken a character at a time, so no byte inside one ends a token.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qf::transport::address {

enum class TokenKind { kSpace, kWord, kQuoted, kAngle, kComma, kColon, kSemicolon };

struct Token {
    TokenKind kind;
    std::string raw;     // as written (a quoted string with its quotes)
    std::string text;    // kQuoted: the content unescaped; kAngle: what is inside
    bool closed = true;  // false: a quote, angle or comment the value ends inside
};

// The tokens of `value` in order; never fails.
std::vector<Token> tokensOf(std::string_view value);

}  // namespace qf::transport::address
