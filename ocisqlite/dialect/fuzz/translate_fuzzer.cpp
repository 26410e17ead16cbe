// libFuzzer harness: any text given to translate() either translates or fails with an Oracle error,
// and a translation SQLite accepts stays free of crashes when prepared.
#include "OracleFunctions.h"
#include "Translator.h"

#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

class FuzzCatalog : public ocisqlite::CatalogView {
public:
    bool hasTable(const std::string& name) const override {
        static const char* const kTables[] = {"USER_PSW",           "USER_G_P",          "USER_GROUP",
                                              "KMR_PROGRAMMEXE",    "KMR_PROG_FOR_USER", "KMR_GROUP_FOR_PROG",
                                              "KMR_GROUP_FOR_USER", "KMR_PROG_PROP",     "KMR_PROP_FOR_PROG",
                                              "KMR_PROTOKOL",       "KMR_FIELD_NAME",    "SRV"};
        for (const char* t : kTables)
            if (name == t)
                return true;
        return false;
    }
    std::optional<std::string> synonymTarget(const std::string& name) const override {
        if (name == "KMR_USER_PSW")
            return std::string("USER_PSW");
        if (name == "LOOP_A" || name == "LOOP_B")
            return std::string(name == "LOOP_A" ? "LOOP_B" : "LOOP_A");
        return std::nullopt;
    }
    std::vector<ocisqlite::ColumnInfo> columns(const std::string& table) const override {
        if (table == "KMR_PROTOKOL")
            return {{"ID_PROGRAMM", "NUMBER(9)"},   {"ID_USER", "NUMBER(9)"},
                    {"DATE_CHANGE", "DATE"},        {"FIELD_NAME", "VARCHAR2(64)"},
                    {"OLD_VALUE", "VARCHAR2(200)"}, {"NEW_VALUE", "VARCHAR2(200)"}};
        if (table == "USER_PSW")
            return {{"TABNUM", "NUMBER(9)", true}, {"NAME", "VARCHAR2(30)"}, {"PWD", "VARCHAR2(30)"},
                    {"ALLNAME", "VARCHAR2(200)"},  {"GROUPID", "NUMBER(9)"}, {"WENABLED", "CHAR(1)"},
                    {"IPADR", "VARCHAR2(1000)"},   {"IP", "VARCHAR2(40)"}};
        return {};
    }
    std::string currentUser() const override { return "FUZZ"; }
    std::uint32_t objectNumber(const std::string& table) const override {
        return static_cast<std::uint32_t>(table.size() * 131);
    }
};

sqlite3* database() {
    static sqlite3* db = [] {
        sqlite3* h = nullptr;
        sqlite3_open(":memory:", &h);
        ocisqlite::registerOracleFunctions(h);
        sqlite3_exec(
            h,
            "CREATE TABLE USER_PSW (TABNUM, NAME, PWD, ALLNAME, GROUPID, WENABLED, IPADR, IP);"
            "CREATE TABLE KMR_PROGRAMMEXE (ID_PROGRAMMEXE, PRNAME, PRALIAS, PRDATE_TIME, PRCOD);"
            "CREATE TABLE KMR_PROTOKOL (ID_PROGRAMM, ID_USER, DATE_CHANGE, FIELD_NAME, OLD_VALUE, NEW_VALUE);"
            "CREATE TABLE KMR_FIELD_NAME (FIELD_NAME, OBJECT_NAME);",
            nullptr, nullptr, nullptr);
        return h;
    }();
    return db;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const FuzzCatalog catalog;
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const ocisqlite::Translation t = ocisqlite::translate(text, catalog);
        // Preparing (never stepping) checks that what we emit is something SQLite can parse safely.
        if (!t.sql.empty() && t.kind == ocisqlite::StatementKind::Select) {
            sqlite3_stmt* st = nullptr;
            sqlite3_prepare_v2(database(), t.sql.c_str(), -1, &st, nullptr);
            sqlite3_finalize(st);
        }
    } catch (const ocisqlite::OraError& e) {
        // Every refusal is an Oracle error with its text.
        if (std::string(e.what()).rfind("ORA-", 0) != 0)
            std::abort();
    }
    return 0;
}
