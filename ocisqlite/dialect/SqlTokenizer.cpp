#include "SqlTokenizer.h"

#include "OracleFunctions.h"
#include "Translator.h"

namespace ocisqlite {

namespace {

bool isIdentStart(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 0x80;
}
bool isIdentChar(unsigned char c) {
    return isIdentStart(c) || (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '#';
}
bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

std::string upper(std::string_view s) {
    std::string r(s);
    bool ascii = true;
    for (char& c : r) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    // Oracle upper-cases unquoted names in every alphabet it knows (Cyrillic too).
    return ascii ? r : oracleUpper(r);
}

void checkLength(std::string_view name) {
    if (name.size() > kMaxIdentifierBytes)
        throw OraError(972, "ORA-00972: identifier is too long");
}

} // namespace

std::vector<Token> tokenize(std::string_view s) {
    std::vector<Token> out;
    std::size_t i = 0;
    auto push = [&](TokenType type, std::string text, std::size_t b, std::size_t e) {
        Token t;
        t.type = type;
        t.text = std::move(text);
        t.begin = b;
        t.end = e;
        out.push_back(std::move(t));
    };

    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v') {
            ++i;
            continue;
        }
        if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
            std::size_t e = s.find('\n', i);
            if (e == std::string_view::npos)
                e = s.size();
            i = e;
            continue;
        }
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            std::size_t e = s.find("*/", i + 2);
            if (e == std::string_view::npos)
                throw OraError(1742, "ORA-01742: comment not terminated properly");
            i = e + 2;
            continue;
        }
        const std::size_t b = i;
        // N'text' is a national string literal: the same as 'text' here.
        const bool national = (c == 'N' || c == 'n') && i + 1 < s.size() && s[i + 1] == '\'';
        if (c == '\'' || national) {
            std::size_t k = national ? i + 2 : i + 1;
            std::string value;
            for (;;) {
                if (k >= s.size())
                    throw OraError(1756, "ORA-01756: quoted string not properly terminated");
                if (s[k] == '\'') {
                    if (k + 1 < s.size() && s[k + 1] == '\'') {
                        value.push_back('\'');
                        k += 2;
                        continue;
                    }
                    ++k;
                    break;
                }
                value.push_back(s[k++]);
            }
            push(TokenType::String, std::move(value), b, k);
            i = k;
            continue;
        }
        if (c == '"') {
            const std::size_t e = s.find('"', i + 1);
            if (e == std::string_view::npos)
                throw OraError(1740, "ORA-01740: missing double quote in identifier");
            if (e == i + 1)
                throw OraError(1741, "ORA-01741: illegal zero-length identifier");
            checkLength(s.substr(i + 1, e - i - 1));
            push(TokenType::QuotedIdent, std::string(s.substr(i + 1, e - i - 1)), b, e + 1);
            i = e + 1;
            continue;
        }
        if (isIdentStart(c)) {
            std::size_t k = i + 1;
            while (k < s.size() && isIdentChar(static_cast<unsigned char>(s[k])))
                ++k;
            checkLength(s.substr(i, k - i));
            push(TokenType::Ident, upper(s.substr(i, k - i)), b, k);
            i = k;
            continue;
        }
        if (isDigit(c) || (c == '.' && i + 1 < s.size() && isDigit(static_cast<unsigned char>(s[i + 1])))) {
            std::size_t k = i;
            while (k < s.size() && isDigit(static_cast<unsigned char>(s[k])))
                ++k;
            // "1..5" is not a number followed by ".5"; a lone trailing dot belongs to the number.
            if (k < s.size() && s[k] == '.' && !(k + 1 < s.size() && s[k + 1] == '.')) {
                ++k;
                while (k < s.size() && isDigit(static_cast<unsigned char>(s[k])))
                    ++k;
            }
            if (k < s.size() && (s[k] == 'e' || s[k] == 'E')) {
                std::size_t m = k + 1;
                if (m < s.size() && (s[m] == '+' || s[m] == '-'))
                    ++m;
                if (m < s.size() && isDigit(static_cast<unsigned char>(s[m]))) {
                    while (m < s.size() && isDigit(static_cast<unsigned char>(s[m])))
                        ++m;
                    k = m;
                }
            }
            push(TokenType::Number, std::string(s.substr(i, k - i)), b, k);
            i = k;
            continue;
        }
        if (c == ':' && i + 1 < s.size() &&
            (isIdentChar(static_cast<unsigned char>(s[i + 1])) && s[i + 1] != '$' && s[i + 1] != '#')) {
            std::size_t k = i + 1;
            while (k < s.size() && isIdentChar(static_cast<unsigned char>(s[k])))
                ++k;
            checkLength(s.substr(i + 1, k - i - 1));
            push(TokenType::Bind, upper(s.substr(i + 1, k - i - 1)), b, k);
            i = k;
            continue;
        }
        static const char* const kTwo[] = {"||", "<=", ">=", "<>", "!=", "^=", ":=", "=>", ".."};
        bool matched = false;
        if (i + 1 < s.size()) {
            for (const char* op : kTwo) {
                if (s[i] == op[0] && s[i + 1] == op[1]) {
                    push(TokenType::Op, op, b, i + 2);
                    i += 2;
                    matched = true;
                    break;
                }
            }
        }
        if (matched)
            continue;
        static const std::string_view kOne = "(),.;=<>+-*/@%:";
        if (kOne.find(static_cast<char>(c)) != std::string_view::npos) {
            push(TokenType::Op, std::string(1, static_cast<char>(c)), b, i + 1);
            ++i;
            continue;
        }
        throw OraError(911, "ORA-00911: invalid character");
    }
    Token end;
    end.begin = end.end = s.size();
    out.push_back(end);
    // Lines and character columns in one pass (tokens are in source order).
    int line = 1, column = 1;
    std::size_t pos = 0;
    for (Token& t : out) {
        for (; pos < t.begin; ++pos) {
            const unsigned char c = static_cast<unsigned char>(s[pos]);
            if (c == '\n') {
                ++line;
                column = 1;
            } else if ((c & 0xC0) != 0x80) {
                ++column;
            }
        }
        t.line = line;
        t.column = column;
    }
    return out;
}

} // namespace ocisqlite
