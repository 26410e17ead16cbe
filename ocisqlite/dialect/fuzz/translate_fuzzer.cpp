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
    std::string resolveTable(const std::string& upperName) const override {
        static const char* const kTables[] = {"USER_PSW",           "USER_G_P",          "USER_GROUP",
                                              "KMR_PROGRAMMEXE",    "KMR_PROG_FOR_USER", "KMR_GROUP_FOR_PROG",
                                              "KMR_GROUP_FOR_USER", "KMR_PROG_PROP",     "KMR_PROP_FOR_PROG",
                                              "KMR_PROTOKOL",       "KMR_FIELD_NAME",    "SRV"};
        if (upperName == "KMR_USER_PSW")
            return "USER_PSW";
        for (const char* t : kTables)
            if (upperName == t)
                return t;
        return {};
    }
    std::uint32_t objectNumber(const std::string& upperTable) const override {
        return static_cast<std::uint32_t>(upperTable.size() * 131);
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
