// Fetches 100 000 rows of a 7-column table through the OCI entry points in blocks of 25 rows and the same
// SELECT through SQLite's C API, in the same run, and prints the ratio of the two times.
#include "bench/support/Callgrind.h"
#include "bench/support/OciBenchSession.h"
#include "oracle/OciDefs.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

constexpr int kRows = 100000;
constexpr int kBlock = 25;
const char* kSelect = "SELECT ID, GRP, NAME, ALIAS, NOTE, AMOUNT, CHANGED FROM BENCH_T ORDER BY ID";

using Oci = TOciBenchSession;

void fill(Oci& oci) {
    oci.exec(
        "CREATE TABLE BENCH_T (ID NUMBER(9) NOT NULL, GRP NUMBER(9), NAME VARCHAR2(40), ALIAS VARCHAR2(40), "
        "NOTE VARCHAR2(100), AMOUNT NUMBER, CHANGED DATE)");
    OCIStmt* st =
        oci.prepare("INSERT INTO BENCH_T VALUES (:ID, :GRP, :NAME, :ALIAS, :NOTE, :AMOUNT, :CHANGED)");
    constexpr int kBatch = 1000;
    static sb4 id[kBatch], grp[kBatch];
    static char name[kBatch][41], alias[kBatch][41], note[kBatch][101];
    static double amount[kBatch];
    static ub1 changed[kBatch][7];
    OCIBind* b = nullptr;
    auto bind = [&](const char* n, void* p, sb4 size, ub2 type) {
        oci.check(OCIBindByName(st, &b, oci.err, reinterpret_cast<const OraText*>(n), -1, p, size, type,
                                nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT),
                  n);
    };
    bind(":ID", id, sizeof(sb4), SQLT_INT);
    bind(":GRP", grp, sizeof(sb4), SQLT_INT);
    bind(":NAME", name, 41, SQLT_STR);
    bind(":ALIAS", alias, 41, SQLT_STR);
    bind(":NOTE", note, 101, SQLT_STR);
    bind(":AMOUNT", amount, sizeof(double), SQLT_FLT);
    bind(":CHANGED", changed, 7, SQLT_DAT);
    for (int base = 0; base < kRows; base += kBatch) {
        for (int i = 0; i < kBatch; ++i) {
            const int n = base + i + 1;
            id[i] = n;
            grp[i] = n % 37;
            std::snprintf(name[i], 41, "user%06d", n);
            std::snprintf(alias[i], 41, "Alias of user %d", n);
            std::snprintf(note[i], 101, "a note of some length for row %d, to look like real data", n);
            amount[i] = n * 1.25;
            const ub1 date[7] = {120,
                                 126,
                                 static_cast<ub1>(1 + n % 12),
                                 static_cast<ub1>(1 + n % 28),
                                 static_cast<ub1>(1 + n % 24),
                                 static_cast<ub1>(1 + n % 60),
                                 1};
            std::memcpy(changed[i], date, 7);
        }
        oci.check(OCIStmtExecute(oci.svc, st, oci.err, kBatch, 0, nullptr, nullptr, OCI_DEFAULT), "insert");
    }
    OCIHandleFree(st, OCI_HTYPE_STMT);
    oci.check(OCITransCommit(oci.svc, oci.err, OCI_DEFAULT), "commit");
}

using Clock = std::chrono::steady_clock;

double viaOci(Oci& oci, long long& checksum) {
    bench::RegionBegin();
    const auto t0 = Clock::now();
    OCIStmt* st = oci.prepare(kSelect);
    oci.check(OCIStmtExecute(oci.svc, st, oci.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), "execute");
    sb4 id[kBlock], grp[kBlock];
    char name[kBlock][41], alias[kBlock][41], note[kBlock][101];
    double amount[kBlock];
    ub1 changed[kBlock][7];
    sb2 ind[7][kBlock];
    OCIDefine* d = nullptr;
    OCIDefineByPos(st, &d, oci.err, 1, id, sizeof(sb4), SQLT_INT, ind[0], nullptr, nullptr, OCI_DEFAULT);
    OCIDefineByPos(st, &d, oci.err, 2, grp, sizeof(sb4), SQLT_INT, ind[1], nullptr, nullptr, OCI_DEFAULT);
    OCIDefineByPos(st, &d, oci.err, 3, name, 41, SQLT_STR, ind[2], nullptr, nullptr, OCI_DEFAULT);
    OCIDefineByPos(st, &d, oci.err, 4, alias, 41, SQLT_STR, ind[3], nullptr, nullptr, OCI_DEFAULT);
    OCIDefineByPos(st, &d, oci.err, 5, note, 101, SQLT_STR, ind[4], nullptr, nullptr, OCI_DEFAULT);
    OCIDefineByPos(st, &d, oci.err, 6, amount, sizeof(double), SQLT_FLT, ind[5], nullptr, nullptr,
                   OCI_DEFAULT);
    OCIDefineByPos(st, &d, oci.err, 7, changed, 7, SQLT_DAT, ind[6], nullptr, nullptr, OCI_DEFAULT);
    for (;;) {
        const sword rc = OCIStmtFetch2(st, oci.err, kBlock, OCI_FETCH_NEXT, 0, OCI_DEFAULT);
        oci.check(rc, "fetch");
        ub4 n = 0;
        OCIAttrGet(st, OCI_HTYPE_STMT, &n, nullptr, OCI_ATTR_ROWS_FETCHED, oci.err);
        for (ub4 i = 0; i < n; ++i)
            checksum += id[i] + grp[i] + name[i][4] + alias[i][0] + note[i][2] +
                        static_cast<long long>(amount[i]) + changed[i][2];
        if (rc == OCI_NO_DATA)
            break;
    }
    OCIHandleFree(st, OCI_HTYPE_STMT);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    bench::RegionEnd("OCI");
    return ms;
}

// The same work through SQLite directly: step, read each column into a buffer of the same kind.
double viaSqlite(const std::string& path, long long& checksum) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    bench::RegionBegin();
    const auto t0 = Clock::now();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, kSelect, -1, &st, nullptr);
    char name[41], alias[41], note[101], changed[20];
    auto text = [&](int col, char* out, std::size_t cap) {
        const unsigned char* p = sqlite3_column_text(st, col);
        const std::size_t n =
            std::min<std::size_t>(static_cast<std::size_t>(sqlite3_column_bytes(st, col)), cap - 1);
        std::memcpy(out, p, n);
        out[n] = 0;
    };
    while (sqlite3_step(st) == SQLITE_ROW) {
        const int id = sqlite3_column_int(st, 0);
        const int grp = sqlite3_column_int(st, 1);
        text(2, name, sizeof name);
        text(3, alias, sizeof alias);
        text(4, note, sizeof note);
        const double amount = sqlite3_column_double(st, 5);
        text(6, changed, sizeof changed);
        checksum += id + grp + name[4] + alias[0] + note[2] + static_cast<long long>(amount) +
                    (changed[5] - '0') * 10 + (changed[6] - '0');
    }
    sqlite3_finalize(st);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    bench::RegionEnd("SQLiteCAPI");
    sqlite3_close(db);
    return ms;
}

} // namespace

int main() {
    char tmpl[] = "/tmp/ocisqlite-bench-XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    const std::string path = dir + "/bench.db";
    const std::string cmd = std::string("'") + KMR_BIN_DIR + "/ocisqlite-admin' create '" + path +
                            "' --user bench --password bench >/dev/null";
    if (std::system(cmd.c_str()) != 0) {
        std::fprintf(stderr, "cannot create %s\n", path.c_str());
        return 1;
    }
    double best = 1e300, bestSqlite = 1e300;
    long long sumOci = 0, sumSqlite = 0;
    {
        Oci oci(path);
        fill(oci);
        for (int round = 0; round < bench::Rounds(5); ++round) {
            long long a = 0, b = 0;
            best = std::min(best, viaOci(oci, a));
            bestSqlite = std::min(bestSqlite, viaSqlite(path, b));
            sumOci = a;
            sumSqlite = b;
        }
    }
    std::printf("rows: %d, columns: 7, block: %d\n", kRows, kBlock);
    std::printf("OCI (libocisqlite): %.1f ms\n", best);
    std::printf("SQLite C API:       %.1f ms\n", bestSqlite);
    std::printf("ratio OCI/SQLite:   %.2f (aim: 1.2 or less)\n", best / bestSqlite);
    std::printf("checksums: %lld %lld\n", sumOci, sumSqlite);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
