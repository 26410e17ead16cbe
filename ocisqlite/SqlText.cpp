#include "SqlText.h"

#include "oracle/OciDefs.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

namespace ocisqlite {

namespace {

bool identChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '#' ||
           static_cast<unsigned char>(c) >= 0x80;
}

// Skips blanks, comments and opening parentheses; returns the position of the first word.
std::size_t skipNoise(std::string_view t, std::size_t i) {
    while (i < t.size()) {
        if (std::isspace(static_cast<unsigned char>(t[i])) || t[i] == '(') {
            ++i;
        } else if (t.compare(i, 2, "--") == 0) {
            while (i < t.size() && t[i] != '\n')
                ++i;
        } else if (t.compare(i, 2, "/*") == 0) {
            const auto end = t.find("*/", i + 2);
            i = end == std::string_view::npos ? t.size() : end + 2;
        } else {
            break;
        }
    }
    return i;
}

} // namespace

std::string upperAscii(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return out;
}

std::uint16_t classifyStatement(std::string_view text) {
    std::size_t i = skipNoise(text, 0);
    std::size_t j = i;
    while (j < text.size() && identChar(text[j]))
        ++j;
    const std::string word = upperAscii(text.substr(i, j - i));
    struct Entry {
        const char* word;
        std::uint16_t type;
    };
    static const Entry table[] = {
        {"SELECT", OCI_STMT_SELECT},   {"WITH", OCI_STMT_SELECT},       {"UPDATE", OCI_STMT_UPDATE},
        {"DELETE", OCI_STMT_DELETE},   {"INSERT", OCI_STMT_INSERT},     {"CREATE", OCI_STMT_CREATE},
        {"DROP", OCI_STMT_DROP},       {"ALTER", OCI_STMT_ALTER},       {"BEGIN", OCI_STMT_BEGIN},
        {"DECLARE", OCI_STMT_DECLARE}, {"CALL", OCI_STMT_CALL},         {"EXPLAIN", OCI_STMT_EXPLAIN},
        {"MERGE", OCI_STMT_MERGE},     {"ROLLBACK", OCI_STMT_ROLLBACK}, {"COMMIT", OCI_STMT_COMMIT}};
    for (const auto& e : table)
        if (word == e.word)
            return e.type;
    return OCI_STMT_UNKNOWN;
}

std::vector<std::string> scanPlaceholders(std::string_view t) {
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    std::size_t i = 0;
    while (i < t.size()) {
        const char c = t[i];
        if (c == '\'' || c == '"') {
            const char q = c;
            ++i;
            while (i < t.size()) {
                if (t[i] == q) {
                    if (i + 1 < t.size() && t[i + 1] == q) {
                        i += 2;
                        continue;
                    }
                    break;
                }
                ++i;
            }
            ++i;
        } else if (t.compare(i, 2, "--") == 0) {
            while (i < t.size() && t[i] != '\n')
                ++i;
        } else if (t.compare(i, 2, "/*") == 0) {
            const auto end = t.find("*/", i + 2);
            i = end == std::string_view::npos ? t.size() : end + 2;
        } else if (c == ':' && i + 1 < t.size() && identChar(t[i + 1])) {
            std::size_t j = i + 1;
            while (j < t.size() && identChar(t[j]))
                ++j;
            std::string name = upperAscii(t.substr(i + 1, j - i - 1));
            if (seen.insert(name).second)
                names.push_back(std::move(name));
            i = j;
        } else {
            ++i;
        }
    }
    return names;
}

} // namespace ocisqlite
