#include "transport/AddressTokens.h"

#include "text/Utf8.h"

namespace qf::transport::address {

namespace {

constexpr char kEscape = '\x1B';

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool returnsToAscii(std::string_view s, std::size_t i) {
    return i + 2 < s.size() && s[i] == kEscape && s[i + 1] == '(' &&
           (s[i + 2] == 'B' || s[i + 2] == 'J');
}

// The length of the character-like run at i that no special inside may end:
// an ISO-2022-JP run from its designation (ESC $ …, ESC ( I) up to its return
// to ASCII (its bytes hold "(", ":" and "\"), a UTF-8 sequence, or a two-byte
// Shift_JIS or EUC-JP character (a Shift_JIS second byte may be "@" or "\").
// Any other escape is one byte.
std::size_t opaqueLength(std::string_view s, std::size_t i) {
    if (s[i] == kEscape) {
        if (returnsToAscii(s, i)) {
            return 3;
        }
        const bool designates =
            i + 1 < s.size() && (s[i + 1] == '$' || (s[i + 1] == '(' && i + 2 < s.size()));
        if (!designates) {
            return 1;
        }
        for (std::size_t k = i + 1; k < s.size(); ++k) {
            if (returnsToAscii(s, k)) {
                return k + 3 - i;
            }
        }
        return s.size() - i;
    }
    if (static_cast<unsigned char>(s[i]) < 0x80) {
        return 1;
    }
    if (std::size_t n = text::utf8CharacterLength(s, i); n > 1) {
        return n;
    }
    const bool pairs = i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) >= 0x40 &&
                       static_cast<unsigned char>(s[i + 1]) != 0x7F;
    return pairs ? 2 : 1;
}

class Tokenizer {
  public:
    explicit Tokenizer(std::string_view value) : m_s(value) {}

    std::vector<Token> tokens() {
        std::vector<Token> out;
        while (m_i < m_s.size()) {
            const char c = m_s[m_i];
            if (isSpace(c) || c == '(') {
                const bool closed = skipSpaceAndComments();
                if (out.empty() || out.back().kind != TokenKind::kSpace) {
                    out.push_back({TokenKind::kSpace, " ", {}});
                }
                out.back().closed = out.back().closed && closed;
            } else if (c == '"') {
                out.push_back(quoted());
            } else if (c == '<') {
                out.push_back(angle());
            } else if (c == ',' || c == ':' || c == ';') {
                ++m_i;
                out.push_back({c == ',' ? TokenKind::kComma
                                        : (c == ':' ? TokenKind::kColon : TokenKind::kSemicolon),
                               std::string(1, c),
                               {}});
            } else {
                out.push_back(word());
            }
        }
        return out;
    }

  private:
    std::string_view take(std::size_t n) {
        std::string_view piece = m_s.substr(m_i, n);
        m_i += piece.size();
        return piece;
    }

    // False when the value ends inside a comment.
    bool skipSpaceAndComments() {
        int depth = 0;
        while (m_i < m_s.size() && (depth > 0 || isSpace(m_s[m_i]) || m_s[m_i] == '(')) {
            const char c = m_s[m_i];
            if (depth > 0 && c == '\\') {
                take(1);  // the escaped character follows
            } else if (c == '(') {
                ++depth;
            } else if (c == ')') {
                --depth;
            }
            if (m_i < m_s.size()) {
                take(opaqueLength(m_s, m_i));
            }
        }
        return depth == 0;
    }

    Token quoted() {
        const std::size_t start = m_i;
        std::string content;
        take(1);
        while (m_i < m_s.size() && m_s[m_i] != '"') {
            if (m_s[m_i] == '\\' && m_i + 1 < m_s.size()) {
                take(1);
            }
            content += take(opaqueLength(m_s, m_i));
        }
        const bool closed = !take(1).empty();  // the closing quote, when there is one
        return {TokenKind::kQuoted, std::string(m_s.substr(start, m_i - start)), content, closed};
    }

    Token angle() {
        const std::size_t start = m_i;
        take(1);
        while (m_i < m_s.size() && m_s[m_i] != '>') {
            if (m_s[m_i] == '"') {
                quoted();
            } else {
                take(opaqueLength(m_s, m_i));
            }
        }
        std::string inside(m_s.substr(start + 1, m_i - start - 1));
        const bool closed = !take(1).empty();
        return {TokenKind::kAngle, std::string(m_s.substr(start, m_i - start)), inside, closed};
    }

    Token word() {
        const std::size_t start = m_i;
        while (m_i < m_s.size()) {
            const char c = m_s[m_i];
            if (isSpace(c) || c == '(' || c == '"' || c == '<' || c == ',' || c == ':' ||
                c == ';') {
                break;
            }
            if (c == '[') {  // a domain literal runs to its "]"
                const std::size_t end = m_s.find(']', m_i);
                take(end == std::string_view::npos ? m_s.size() : end + 1 - m_i);
                continue;
            }
            take(opaqueLength(m_s, m_i));
        }
        std::string raw(m_s.substr(start, m_i - start));
        return {TokenKind::kWord, raw, raw};
    }

    std::string_view m_s;
    std::size_t m_i = 0;
};

}  // namespace

std::vector<Token> tokensOf(std::string_view value) {
    return Tokenizer(value).tokens();
}

}  // namespace qf::transport::address
