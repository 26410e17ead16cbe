// Tokens of Oracle SQL and PL/SQL text: identifiers, "quoted identifiers", 'strings', numbers, :binds,
// operators. Comments and white space are dropped. Internal to the dialect library.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ocisqlite {

enum class TokenType { End, Ident, QuotedIdent, String, Number, Bind, Op };

struct Token {
    TokenType type = TokenType::End;
    // Ident: upper case; QuotedIdent: as written, without quotes; String: the value ('' unescaped);
    // Bind: the name upper case, without colon; Op: the operator ("||", "<=", "(", ...).
    std::string text;
    std::size_t begin = 0, end = 0; // byte offsets in the source
    int line = 1, column = 1;       // 1-based; the column counts characters, not bytes

    bool is(std::string_view op) const { return type == TokenType::Op && text == op; }
    bool isWord(std::string_view word) const { return type == TokenType::Ident && text == word; }
};

// Throws OraError: 00911 invalid character, 01756 unterminated string, 01740 missing double quote,
// 01741 zero-length identifier, 01742 unterminated comment, 00972 a name longer than 128 bytes.
// The last token is always End.
std::vector<Token> tokenize(std::string_view sql);

} // namespace ocisqlite
