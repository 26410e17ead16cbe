// Growth of the embedded server's time with the size of one statement, through the OCI entry points: a
// WHERE of N and 10 N OR-ed terms, and a statement of N and 10 N bind variables. Linear work takes about ten
// times as long at 10 N; the same statements run through SQLite's C API in the same run are the baseline.
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
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

struct Oci : TOciBenchSession {
    using TOciBenchSession::TOciBenchSession;

    // Prepares, binds every :Bn to n, executes and fetches the one COUNT(*) row.
    long long count(const std::string& sql, int binds) {
        OCIStmt* st = prepare(sql);
        std::vector<int> values(static_cast<std::size_t>(binds));
        for (int i = 0; i < binds; ++i) {
            values[static_cast<std::size_t>(i)] = i;
            const std::string name = ":B" + std::to_string(i);
            OCIBind* b = nullptr;
            check(OCIBindByName(st, &b, err, reinterpret_cast<const OraText*>(name.data()),
                                static_cast<sb4>(name.size()), &values[static_cast<std::size_t>(i)],
                                sizeof(int), SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT),
                  "bind");
        }
        long long n = -1;
        OCIDefine* d = nullptr;
        check(OCIStmtExecute(svc, st, err, 0, 0, nullptr, nullptr, OCI_DEFAULT), "execute");
        check(OCIDefineByPos(st, &d, err, 1, &n, sizeof n, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT),
              "define");
        check(OCIStmtFetch2(st, err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT), "fetch");
        OCIHandleFree(st, OCI_HTYPE_STMT);
        return n;
    }
};

// The same statement straight on SQLite (plain "?" for the binds).
double baseline(const std::string& path, const std::string& sql, int binds) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    // Without constant factoring, which is quadratic in the number of constants.
    sqlite3_test_control(SQLITE_TESTCTRL_OPTIMIZATIONS, db, 0x08);
    const auto start = Clock::now();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "baseline: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
    for (int i = 1; i <= binds; ++i)
        sqlite3_bind_int(st, i, i - 1);
    sqlite3_step(st);
    sqlite3_finalize(st);
    const double t = seconds(start);
    sqlite3_close(db);
    return t;
}

std::string orTerms(int n, const char* column) {
    std::string s = std::string("SELECT COUNT(*) FROM BENCH_T WHERE ") + column + " = 0";
    for (int i = 1; i < n; ++i)
        s += std::string(" OR ") + column + " = " + std::to_string(i);
    return s;
}

std::string bindList(int n, bool oracle) {
    std::string s = "SELECT COUNT(*) FROM BENCH_T WHERE ID IN (";
    for (int i = 0; i < n; ++i)
        s += (i ? ", " : "") + (oracle ? ":B" + std::to_string(i) : std::string("?"));
    return s + ")";
}

// The SQLite baseline of the OR chain: grouped as SQLite needs it (it refuses expression trees deeper than
// 1000).
std::string groupedOr(int n) {
    std::vector<std::string> parts;
    for (int i = 0; i < n; ++i)
        parts.push_back("ID = " + std::to_string(i));
    while (parts.size() > 64) {
        std::vector<std::string> grouped;
        for (std::size_t i = 0; i < parts.size(); i += 64) {
            std::string g = "(";
            for (std::size_t k = i; k < std::min(parts.size(), i + 64); ++k)
                g += (k > i ? " OR " : "") + parts[k];
            grouped.push_back(g + ")");
        }
        parts = std::move(grouped);
    }
    std::string s = "SELECT COUNT(*) FROM BENCH_T WHERE ";
    for (std::size_t k = 0; k < parts.size(); ++k)
        s += (k ? " OR " : "") + parts[k];
    return s;
}

} // namespace

int main() {
    const std::string dir =
        std::filesystem::temp_directory_path() / ("kmr_limits_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string db = dir + "/bench.db";
    const std::string admin = std::string(KMR_BIN_DIR) + "/ocisqlite-admin create " + db +
                              " --user bench --password bench > /dev/null";
    if (std::system(admin.c_str()) != 0)
        return 1;
    {
        Oci oci(db);
        oci.exec("CREATE TABLE BENCH_T (ID NUMBER(9), NAME VARCHAR2(20))");
        for (int i = 1; i <= 1000; ++i)
            oci.exec("INSERT INTO BENCH_T VALUES (" + std::to_string(i) + ", 'row')");
        OCITransCommit(oci.svc, oci.err, OCI_DEFAULT);

        std::printf("%-34s %10s %10s %8s %14s\n", "statement", "N", "seconds", "x at 10N", "x SQLite C API");
        struct Shape {
            const char* name;
            int n;
            bool binds;
        } shapes[] = {{"OR-ed terms in WHERE", 10000, false},
                      {"bind variables (IN list)", 1000, true},
                      {"bind variables (IN list)", 3276, true}};
        for (const Shape& shape : shapes) {
            double previous = 0;
            for (int n : {shape.n, shape.n * 10}) {
                const std::string sql = shape.binds ? bindList(n, true) : orTerms(n, "ID");
                // The best of three runs of each, so that another process's burst does not show as growth.
                double t = 0, base = 0;
                long long found = 0;
                for (int run = 0; run < 3; ++run) {
                    const auto start = Clock::now();
                    found = oci.count(sql, shape.binds ? n : 0);
                    const double once = seconds(start);
                    const double baseOnce =
                        shape.binds ? baseline(db, bindList(n, false), n) : baseline(db, groupedOr(n), 0);
                    t = run == 0 ? once : std::min(t, once);
                    base = run == 0 ? baseOnce : std::min(base, baseOnce);
                }
                if (found <= 0) {
                    std::fprintf(stderr, "%s: no rows counted\n", shape.name);
                    return 1;
                }
                if (previous > 0)
                    std::printf("%-34s %10d %10.3f %8.1f %14.1f\n", shape.name, n, t, t / previous, t / base);
                else
                    std::printf("%-34s %10d %10.3f %8s %14.1f\n", shape.name, n, t, "", t / base);
                previous = t;
            }
        }
    }
    std::filesystem::remove_all(dir);
    return 0;
}
