#include "Constraints.h"

#include "SqlTokenizer.h"
#include "Translator.h"

#include <sqlite3.h>

#include <algorithm>
#include <vector>

namespace ocisqlite {

namespace {

struct Key {
    std::string name;                 // Oracle name
    std::vector<std::string> columns; // stored names, sorted
    bool primary = false;
};

std::string text(sqlite3_stmt* st, int col) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, col));
    return p ? p : "";
}

// Named PRIMARY KEY / UNIQUE constraints in the CREATE TABLE text the translator wrote.
std::vector<Key> namedKeys(std::string_view createSql) {
    std::vector<Key> keys;
    std::vector<Token> t;
    try {
        t = tokenize(createSql);
    } catch (const OraError&) {
        return keys;
    }
    std::size_t i = 0;
    while (i < t.size() && !t[i].is("("))
        ++i;
    ++i;
    // Elements of the list: a column definition or a table constraint, separated by commas at depth 0.
    while (i < t.size() && t[i].type != TokenType::End) {
        const std::size_t start = i;
        int depth = 0;
        std::size_t end = i;
        while (end < t.size() && t[end].type != TokenType::End) {
            if (t[end].is("("))
                ++depth;
            else if (t[end].is(")")) {
                if (depth == 0)
                    break;
                --depth;
            } else if (t[end].is(",") && depth == 0)
                break;
            ++end;
        }
        const bool tableConstraint =
            t[start].isWord("CONSTRAINT") || t[start].isWord("PRIMARY") || t[start].isWord("UNIQUE");
        for (std::size_t k = start; k + 2 < end; ++k) {
            if (!t[k].isWord("CONSTRAINT") || t[k + 1].type != TokenType::QuotedIdent)
                continue;
            Key key;
            key.name = oracleName(t[k + 1].text);
            std::size_t m = k + 2;
            if (t[m].isWord("PRIMARY") && m + 1 < end && t[m + 1].isWord("KEY")) {
                key.primary = true;
                m += 2;
            } else if (t[m].isWord("UNIQUE")) {
                ++m;
            } else {
                continue;
            }
            if (tableConstraint) {
                if (m < end && t[m].is("("))
                    for (++m; m < end && !t[m].is(")"); ++m)
                        if (t[m].type == TokenType::QuotedIdent)
                            key.columns.push_back(t[m].text);
            } else if (t[start].type == TokenType::QuotedIdent) {
                key.columns.push_back(t[start].text);
            }
            std::sort(key.columns.begin(), key.columns.end());
            keys.push_back(std::move(key));
        }
        i = end + 1;
        if (end < t.size() && t[end].is(")"))
            break;
    }
    return keys;
}

} // namespace

std::string uniqueConstraintName(sqlite3* db, std::string_view violated) {
    // "T.A, T.B" -> table T, columns A and B (stored names; a name may hold a double quote but no ", ").
    std::string table;
    std::vector<std::string> columns;
    std::size_t pos = 0;
    while (pos < violated.size()) {
        std::size_t next = violated.find(", ", pos);
        if (next == std::string_view::npos)
            next = violated.size();
        const std::string_view item = violated.substr(pos, next - pos);
        const std::size_t dot = item.rfind('.');
        if (dot == std::string_view::npos)
            return {};
        table = std::string(item.substr(0, dot));
        columns.emplace_back(item.substr(dot + 1));
        pos = next + 2;
    }
    if (table.empty())
        return {};
    std::sort(columns.begin(), columns.end());

    // A unique index made by CREATE UNIQUE INDEX carries the name itself.
    std::string found;
    sqlite3_stmt* list = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT name, origin FROM pragma_index_list(?) WHERE \"unique\"", -1, &list,
                           nullptr) == SQLITE_OK) {
        sqlite3_bind_text(list, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        while (found.empty() && sqlite3_step(list) == SQLITE_ROW) {
            const std::string index = text(list, 0);
            if (text(list, 1) != "c")
                continue;
            std::vector<std::string> indexed;
            sqlite3_stmt* info = nullptr;
            if (sqlite3_prepare_v2(db, "SELECT name FROM pragma_index_info(?)", -1, &info, nullptr) ==
                SQLITE_OK) {
                sqlite3_bind_text(info, 1, index.c_str(), -1, SQLITE_TRANSIENT);
                while (sqlite3_step(info) == SQLITE_ROW)
                    indexed.push_back(text(info, 0));
            }
            sqlite3_finalize(info);
            std::sort(indexed.begin(), indexed.end());
            if (indexed == columns)
                found = oracleName(index);
        }
    }
    sqlite3_finalize(list);
    if (!found.empty())
        return found;

    sqlite3_stmt* create = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?", -1, &create,
                           nullptr) == SQLITE_OK) {
        sqlite3_bind_text(create, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(create) == SQLITE_ROW)
            for (const Key& k : namedKeys(text(create, 0)))
                if (k.columns == columns) {
                    found = k.name;
                    break;
                }
    }
    sqlite3_finalize(create);
    return found;
}

} // namespace ocisqlite
