// Database files of different page sizes: LONG RAW values across page boundaries round-trip byte-exact in a
// file made now and in one made with 4 KiB pages, and a big value reaches the file at its commit.
#include "OciTestSupport.h"

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

using namespace ocitest;

namespace {

int pageSizeOf(const std::string& path) {
    sqlite3* db = nullptr;
    int size = 0;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA page_size", -1, &st, nullptr) == SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            size = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return size;
}

// Bytes that differ at every offset within a run of pages, so a misplaced or repeated page shows.
std::string patterned(std::size_t size, unsigned seed) {
    std::string value(size, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (char& ch : value) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        ch = static_cast<char>(x);
    }
    return value;
}

// The program's way in: one bind of the whole value.
sword storeWhole(Conn& c, int id, const std::string& value) {
    OCIStmt* st = c.prepare("INSERT INTO P (ID, DATA) VALUES (" + std::to_string(id) + ", :DATA)");
    OCIBind* bind = nullptr;
    sb2 ind = 0;
    sword rc = OCIBindByName(st, &bind, c.err, reinterpret_cast<const OraText*>(":DATA"), -1,
                             const_cast<char*>(value.data()), static_cast<sb4>(value.size()), SQLT_LBI, &ind,
                             nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
    if (rc == OCI_SUCCESS)
        rc = OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
    OCIHandleFree(st, OCI_HTYPE_STMT);
    return rc;
}

// Pieces of 100 000 bytes, a size that lines up with no page.
struct Pieces {
    std::string data;
    std::vector<char> piece = std::vector<char>(100000);
    ub4 alen = 0;
    sb2 ind = 0;
    bool started = false;
};

sb4 nextPiece(void* ctx, OCIDefine*, ub4, void** bufpp, ub4** alenp, ub1*, void** indp, ub2** rcodep) {
    auto* p = static_cast<Pieces*>(ctx);
    if (p->started)
        p->data.append(p->piece.data(), p->alen);
    p->started = true;
    p->alen = static_cast<ub4>(p->piece.size());
    *bufpp = p->piece.data();
    *alenp = &p->alen;
    *indp = &p->ind;
    *rcodep = nullptr;
    return OCI_CONTINUE;
}

// The program's way out: a piecewise dynamic define. "<error> ..." when a call fails.
std::string fetchWhole(Conn& c, int id) {
    OCIStmt* st = c.prepare("SELECT DATA FROM P WHERE ID = " + std::to_string(id));
    OCIDefine* def = nullptr;
    Pieces pieces;
    std::string out;
    if (OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT) != OCI_SUCCESS ||
        OCIDefineByPos(st, &def, c.err, 1, nullptr, 0x7FFFFFFF, SQLT_LBI, nullptr, nullptr, nullptr,
                       OCI_DYNAMIC_FETCH) != OCI_SUCCESS ||
        OCIDefineDynamic(def, c.err, &pieces, nextPiece) != OCI_SUCCESS ||
        OCIStmtFetch2(st, c.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT) != OCI_SUCCESS) {
        out = "<error> " + c.error();
    } else {
        pieces.data.append(pieces.piece.data(), pieces.alen);
        out = std::move(pieces.data);
    }
    OCIHandleFree(st, OCI_HTYPE_STMT);
    return out;
}

} // namespace

TEST(OciFilePages, LongRawAcrossPagesInNewAndOlderFiles) {
    TempData data;
    // A file made with 4 KiB pages and a table of its own, given an account afterwards.
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(data.file("old").c_str(), &db), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(db,
                               "PRAGMA page_size=4096; PRAGMA journal_mode=WAL; "
                               "CREATE TABLE KEEP (ID INTEGER); INSERT INTO KEEP VALUES (7);",
                               nullptr, nullptr, nullptr),
                  SQLITE_OK);
        sqlite3_close(db);
    }
    ASSERT_EQ(data.admin("create old --user scott --password Tiger"), 0);
    ASSERT_EQ(data.admin("create new --user scott --password Tiger"), 0);
    EXPECT_EQ(pageSizeOf(data.file("old")), 4096);
    EXPECT_EQ(pageSizeOf(data.file("new")), 65536);

    // Around the page boundaries of both files, and one value of many pages.
    const std::size_t sizes[] = {
        1, 4095, 4096, 4097, 65535, 65536, 65537, 3 * 65536 + 17, 5 * 1024 * 1024 + 3};
    for (const char* name : {"old", "new"}) {
        SCOPED_TRACE(name);
        Conn c;
        ASSERT_EQ(c.logon(name, "scott", "Tiger"), OCI_SUCCESS) << c.error();
        c.ok("CREATE TABLE P (ID NUMBER(9), DATA LONG RAW)");
        for (std::size_t i = 0; i < std::size(sizes); ++i)
            ASSERT_EQ(storeWhole(c, static_cast<int>(i), patterned(sizes[i], static_cast<unsigned>(i))),
                      OCI_SUCCESS)
                << c.error();
        ASSERT_EQ(c.commit(), OCI_SUCCESS) << c.error();
        for (std::size_t i = 0; i < std::size(sizes); ++i) {
            const std::string back = fetchWhole(c, static_cast<int>(i));
            EXPECT_EQ(back.size(), sizes[i]);
            EXPECT_TRUE(back == patterned(sizes[i], static_cast<unsigned>(i))) << "size " << sizes[i];
        }
    }
    Conn c;
    ASSERT_EQ(c.logon("old", "scott", "Tiger"), OCI_SUCCESS) << c.error();
    EXPECT_EQ(c.scalar("SELECT ID FROM KEEP"), "7");
}

TEST(OciFilePages, CommitOfABigValueReachesTheFileWhileAnotherSessionStaysOn) {
    TempData data;
    ASSERT_EQ(data.admin("create srv --user scott --password Tiger"), 0);
    Conn writer, watcher;
    ASSERT_EQ(writer.logon("srv", "scott", "Tiger"), OCI_SUCCESS) << writer.error();
    ASSERT_EQ(watcher.logon("srv", "scott", "Tiger"), OCI_SUCCESS) << watcher.error();
    writer.ok("CREATE TABLE P (ID NUMBER(9), DATA LONG RAW)");
    const std::string value = patterned(12 * 1024 * 1024, 99);
    ASSERT_EQ(storeWhole(writer, 1, value), OCI_SUCCESS) << writer.error();
    ASSERT_EQ(writer.commit(), OCI_SUCCESS) << writer.error();
    // No session has closed the file, so only the checkpoint of the commit moved the pages out of the WAL:
    // the WAL stays a few MB whatever the page size.
    EXPECT_GE(std::filesystem::file_size(data.file("srv")), value.size());
    EXPECT_TRUE(fetchWhole(watcher, 1) == value);
}
