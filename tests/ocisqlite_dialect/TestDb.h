// An in-memory SQLite database that runs Oracle text through the translator and the registered functions,
// with a catalog of its own (tables and columns from SQLite, synonyms in a map).
#pragma once

#include "OracleFunctions.h"
#include "Rowid.h"
#include "Translator.h"

#include <sqlite3.h>

#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ocisqlite::test {

using Value = std::optional<std::string>;
using Row = std::vector<Value>;

class TestDb : public CatalogView {
public:
    TestDb() {
        sqlite3_open(":memory:", &db_);
        if (registerOracleFunctions(db_) != SQLITE_OK)
            throw std::runtime_error("registerOracleFunctions failed");
    }
    ~TestDb() override { sqlite3_close(db_); }
    TestDb(const TestDb&) = delete;
    TestDb& operator=(const TestDb&) = delete;

    sqlite3* handle() const { return db_; }

    bool hasTable(const std::string& name) const override {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?", -1, &st,
                           nullptr);
        const std::string stored = sqliteName(name);
        sqlite3_bind_text(st, 1, stored.c_str(), -1, SQLITE_TRANSIENT);
        const bool found = sqlite3_step(st) == SQLITE_ROW;
        sqlite3_finalize(st);
        return found;
    }
    std::optional<std::string> synonymTarget(const std::string& name) const override {
        auto it = synonyms_.find(name);
        return it == synonyms_.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    std::vector<ColumnInfo> columns(const std::string& table) const override {
        std::vector<ColumnInfo> cols;
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db_, "SELECT name, type, \"notnull\" FROM pragma_table_info(?)", -1, &st, nullptr);
        const std::string stored = sqliteName(table);
        sqlite3_bind_text(st, 1, stored.c_str(), -1, SQLITE_TRANSIENT);
        while (sqlite3_step(st) == SQLITE_ROW)
            cols.push_back({oracleName(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))),
                            reinterpret_cast<const char*>(sqlite3_column_text(st, 1)),
                            sqlite3_column_int(st, 2) != 0});
        sqlite3_finalize(st);
        return cols;
    }
    std::string currentUser() const override { return "TESTER"; }
    std::uint32_t objectNumber(const std::string& table) const override {
        auto it = objects_.find(table);
        return it == objects_.end() ? 0 : it->second;
    }

    // Runs one Oracle statement; binds by upper-case name ("" binds NULL, as the engine does).
    // Returns the rows of a select (or of RETURNING); throws OraError with the Oracle or SQLite text.
    std::vector<Row> run(const std::string& oracle, const std::map<std::string, Value>& binds = {}) {
        last_ = translate(oracle, *this);
        if (last_.kind == StatementKind::CreateSynonym) {
            synonyms_[last_.synonymName] = last_.synonymTarget;
            return {};
        }
        if (last_.kind == StatementKind::Drop && !last_.synonymName.empty()) {
            synonyms_.erase(last_.synonymName);
            return {};
        }
        if (last_.sql.empty())
            return {};
        if (last_.usesSessionView && sessionViewFiller_)
            sessionViewFiller_(db_);
        sqlite3_stmt* st = nullptr;
        // As the engine does for a statement of thousands of terms (SQLite's constant factoring is
        // quadratic).
        if (last_.manyTerms)
            sqlite3_test_control(SQLITE_TESTCTRL_OPTIMIZATIONS, db_, 0x08);
        const int prepared = sqlite3_prepare_v2(db_, last_.sql.c_str(), -1, &st, nullptr);
        sqlite3_test_control(SQLITE_TESTCTRL_OPTIMIZATIONS, db_, 0);
        if (prepared != SQLITE_OK)
            throw OraError(-1, sqlite3_errmsg(db_));
        for (std::size_t i = 0; i < last_.parameters.size(); ++i) {
            const std::string& name = last_.parameters[i];
            const auto given = binds.find(name);
            if (given == binds.end())
                continue;
            const Value& value = given->second;
            const int idx = static_cast<int>(i) + 1;
            auto rb = last_.rowidBinds.find(name);
            if (rb != last_.rowidBinds.end() && value) {
                std::optional<std::int64_t> rid;
                try {
                    rid = rowidForBind(*value, rb->second);
                } catch (...) {
                    sqlite3_finalize(st);
                    throw;
                }
                if (rid)
                    sqlite3_bind_int64(st, idx, *rid);
                else
                    sqlite3_bind_null(st, idx);
            } else if (value && !value->empty()) {
                sqlite3_bind_text(st, idx, value->c_str(), -1, SQLITE_TRANSIENT);
            } else {
                sqlite3_bind_null(st, idx);
            }
        }
        std::vector<Row> rows;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            Row r;
            for (int c = 0; c < sqlite3_column_count(st); ++c) {
                const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                r.push_back(p ? Value(p) : std::nullopt);
            }
            rows.push_back(std::move(r));
        }
        columnNames_.clear();
        for (int c = 0; c < sqlite3_column_count(st); ++c)
            columnNames_.push_back(oracleName(sqlite3_column_name(st, c)));
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) {
            const std::string msg = sqlite3_errmsg(db_);
            throw OraError(oraCodeOf(msg.c_str()), msg);
        }
        if (last_.kind == StatementKind::Create && !last_.targetTable.empty())
            objects_[last_.targetTable] = nextObject_++;
        return rows;
    }

    // The single value of a one-row, one-column select.
    Value scalar(const std::string& oracle, const std::map<std::string, Value>& binds = {}) {
        const auto rows = run(oracle, binds);
        if (rows.size() != 1 || rows[0].size() != 1)
            throw std::runtime_error("not a scalar: " + oracle);
        return rows[0][0];
    }

    const Translation& last() const { return last_; }
    const std::vector<std::string>& columnNames() const { return columnNames_; }
    void setSessionViewFiller(std::function<int(sqlite3*)> filler) { sessionViewFiller_ = std::move(filler); }

private:
    sqlite3* db_ = nullptr;
    std::map<std::string, std::string> synonyms_;
    std::map<std::string, std::uint32_t> objects_;
    std::uint32_t nextObject_ = 70001;
    Translation last_;
    std::vector<std::string> columnNames_;
    std::function<int(sqlite3*)> sessionViewFiller_;
};

} // namespace ocisqlite::test
