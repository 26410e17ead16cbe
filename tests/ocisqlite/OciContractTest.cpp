// The OCI contract as Oracle documents it, checked through libocisqlite's entry points alone.
#include "OciTestSupport.h"

#include <chrono>
#include <cstring>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <vector>

using namespace ocitest;

namespace {

class OciTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(data.admin("create srv --user scott --password Tiger"), 0);
        ASSERT_EQ(c.logon("SRV", "scott", "Tiger"), OCI_SUCCESS) << c.error();
    }
    TempData data;
    Conn c;
};

std::string errorAfterLogon(const std::string& db, const std::string& user, const std::string& pwd,
                            sword* rc = nullptr) {
    Conn x;
    const sword r = x.logon(db, user, pwd);
    if (rc)
        *rc = r;
    return x.error();
}

} // namespace

TEST(OciConnect, LogonErrorsCarryOraclesTexts) {
    TempData data;
    ASSERT_EQ(data.admin("create srv --user scott --password Tiger"), 0);
    struct Case {
        const char* db;
        const char* user;
        const char* pwd;
        const char* text;
    } cases[] = {
        {"nosuch", "scott", "Tiger", "ORA-12154: TNS:could not resolve the connect identifier specified\n"},
        {"", "scott", "Tiger", "ORA-12154: TNS:could not resolve the connect identifier specified\n"},
        {"srv", "scott", "tiger", "ORA-01017: invalid username/password; logon denied\n"},
        {"srv", "adams", "Tiger", "ORA-01017: invalid username/password; logon denied\n"},
    };
    for (const auto& k : cases) {
        sword rc = 0;
        EXPECT_EQ(errorAfterLogon(k.db, k.user, k.pwd, &rc), k.text) << k.db << "/" << k.user;
        EXPECT_EQ(rc, OCI_ERROR);
    }
    // The user name is case-blind, the password is not; an identifier may be a path.
    sword rc = 0;
    errorAfterLogon(data.file("srv"), "SCOTT", "Tiger", &rc);
    EXPECT_EQ(rc, OCI_SUCCESS);
}

TEST(OciConnect, ExternalCredentialsAndErrorRecords) {
    TempData data;
    ASSERT_EQ(data.admin("create srv --user scott --password Tiger"), 0);
    Conn x;
    ASSERT_EQ(OCIServerAttach(x.srv, x.err, reinterpret_cast<const OraText*>("srv"), 3, OCI_DEFAULT),
              OCI_SUCCESS);
    OCIAttrSet(x.svc, OCI_HTYPE_SVCCTX, x.srv, 0, OCI_ATTR_SERVER, x.err);
    EXPECT_EQ(OCISessionBegin(x.svc, x.err, x.ses, OCI_CRED_EXT, OCI_DEFAULT), OCI_ERROR);
    sb4 code = 0;
    EXPECT_EQ(x.error(&code), "ORA-01017: invalid username/password; logon denied\n");
    EXPECT_EQ(code, 1017);
    OraText buf[64];
    EXPECT_EQ(OCIErrorGet(x.err, 2, nullptr, &code, buf, sizeof buf, OCI_HTYPE_ERROR), OCI_NO_DATA);
    // A small buffer truncates, NUL-terminated.
    char small[8];
    ASSERT_EQ(OCIErrorGet(x.err, 1, nullptr, &code, reinterpret_cast<OraText*>(small), sizeof small,
                          OCI_HTYPE_ERROR),
              OCI_SUCCESS);
    EXPECT_STREQ(small, "ORA-010");
    // The session attribute may also be set after OCISessionBegin, as Oracle's own samples do.
    OCIAttrSet(x.ses, OCI_HTYPE_SESSION, const_cast<char*>("scott"), 5, OCI_ATTR_USERNAME, x.err);
    OCIAttrSet(x.ses, OCI_HTYPE_SESSION, const_cast<char*>("Tiger"), 5, OCI_ATTR_PASSWORD, x.err);
    ASSERT_EQ(OCISessionBegin(x.svc, x.err, x.ses, OCI_CRED_RDBMS, OCI_DEFAULT), OCI_SUCCESS) << x.error();
    OCIAttrSet(x.svc, OCI_HTYPE_SVCCTX, x.ses, 0, OCI_ATTR_SESSION, x.err);
    x.loggedOn = true;
    EXPECT_EQ(x.scalar("SELECT 1 FROM DUAL"), "1");
    char banner[501] = {};
    ASSERT_EQ(
        OCIServerVersion(x.svc, x.err, reinterpret_cast<OraText*>(banner), sizeof banner, OCI_HTYPE_SVCCTX),
        OCI_SUCCESS);
    EXPECT_NE(std::string(banner).find("Release 1"), std::string::npos);
    EXPECT_EQ(OCIPing(x.svc, x.err, OCI_DEFAULT), OCI_SUCCESS);
}

TEST(OciConnect, BadHandlesAreRefusedNotFollowed) {
    sword major = 0, minor = 0;
    OCIClientVersion(&major, &minor, nullptr, nullptr, nullptr);
    EXPECT_GE(major, 19);
    void* h = nullptr;
    EXPECT_EQ(OCIHandleAlloc(nullptr, &h, OCI_HTYPE_ERROR, 0, nullptr), OCI_INVALID_HANDLE);
    EXPECT_EQ(OCIStmtExecute(nullptr, nullptr, nullptr, 1, 0, nullptr, nullptr, OCI_DEFAULT),
              OCI_INVALID_HANDLE);
    EXPECT_EQ(OCIErrorGet(nullptr, 1, nullptr, nullptr, nullptr, 0, OCI_HTYPE_ERROR), OCI_INVALID_HANDLE);
    int notAHandle[16] = {};
    EXPECT_EQ(OCIStmtPrepare(reinterpret_cast<OCIStmt*>(notAHandle), nullptr,
                             reinterpret_cast<const OraText*>("select 1 from dual"), 18, OCI_NTV_SYNTAX, 0),
              OCI_INVALID_HANDLE);
    Conn x;
    // A handle of another type, and a handle after its parent was freed.
    EXPECT_EQ(OCIStmtFetch2(reinterpret_cast<OCIStmt*>(x.err), x.err, 1, OCI_FETCH_NEXT, 0, 0),
              OCI_INVALID_HANDLE);
    OCIStmt* st = x.prepare("select 1 from dual");
    OCIEnv* env = x.env;
    OCIError* err = x.err;
    EXPECT_EQ(OCIHandleFree(env, OCI_HTYPE_ENV), OCI_SUCCESS);
    EXPECT_EQ(OCIStmtFetch2(st, err, 1, OCI_FETCH_NEXT, 0, 0), OCI_INVALID_HANDLE);
    EXPECT_EQ(OCIHandleFree(st, OCI_HTYPE_STMT), OCI_INVALID_HANDLE);
    x.env = nullptr;
}

TEST_F(OciTest, BlockFetchEndsWithNoDataAndCounts) {
    c.ok("CREATE TABLE T (ID NUMBER(9) NOT NULL, NAME VARCHAR2(20))");
    for (int i = 1; i <= 60; ++i)
        c.ok("INSERT INTO T VALUES (" + std::to_string(i) + ", 'n" + std::to_string(i) + "')");
    c.ok("COMMIT");
    OCIStmt* st = c.prepare("SELECT ID, NAME FROM T ORDER BY ID");
    ub2 type = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, c.err);
    EXPECT_EQ(type, OCI_STMT_SELECT);
    ub4 count = 0;
    EXPECT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, c.err), OCI_ERROR);
    ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
        << c.error();
    OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, c.err);
    EXPECT_EQ(count, 2u);
    sb4 ids[25];
    char names[25][21];
    sb2 ind[25];
    ub2 len[25];
    OCIDefine* d1 = nullptr;
    OCIDefine* d2 = nullptr;
    OCIDefineByPos(st, &d1, c.err, 1, ids, sizeof(sb4), SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT);
    OCIDefineByPos(st, &d2, c.err, 2, names, 21, SQLT_STR, ind, len, nullptr, OCI_DEFAULT);
    std::vector<sword> statuses;
    std::vector<ub4> fetched, totals;
    std::vector<int> seen;
    for (int guard = 0; guard < 10; ++guard) {
        const sword rc = OCIStmtFetch2(st, c.err, 25, OCI_FETCH_NEXT, 0, OCI_DEFAULT);
        ub4 n = 0, total = 0;
        OCIAttrGet(st, OCI_HTYPE_STMT, &n, nullptr, OCI_ATTR_ROWS_FETCHED, c.err);
        OCIAttrGet(st, OCI_HTYPE_STMT, &total, nullptr, OCI_ATTR_ROW_COUNT, c.err);
        statuses.push_back(rc);
        fetched.push_back(n);
        totals.push_back(total);
        for (ub4 i = 0; i < n; ++i) {
            seen.push_back(ids[i]);
            EXPECT_EQ(std::string(names[i]), "n" + std::to_string(ids[i]));
            EXPECT_EQ(len[i], std::strlen(names[i]));
        }
        if (rc != OCI_SUCCESS)
            break;
    }
    EXPECT_EQ(statuses, (std::vector<sword>{OCI_SUCCESS, OCI_SUCCESS, OCI_NO_DATA}));
    EXPECT_EQ(fetched, (std::vector<ub4>{25, 25, 10}));
    EXPECT_EQ(totals, (std::vector<ub4>{25, 50, 60}));
    ASSERT_EQ(seen.size(), 60u);
    EXPECT_EQ(seen.front(), 1);
    EXPECT_EQ(seen.back(), 60);
    EXPECT_EQ(c.error(), "ORA-01403: no data found\n");
    OCIHandleFree(st, OCI_HTYPE_STMT);

    // Exactly one block: the second fetch is the empty one.
    st = c.prepare("SELECT ID FROM T WHERE ID <= 25");
    OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT);
    OCIDefineByPos(st, &d1, c.err, 1, ids, sizeof(sb4), SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT);
    EXPECT_EQ(OCIStmtFetch2(st, c.err, 25, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_SUCCESS);
    EXPECT_EQ(OCIStmtFetch2(st, c.err, 25, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_NO_DATA);
    ub4 n = 99;
    OCIAttrGet(st, OCI_HTYPE_STMT, &n, nullptr, OCI_ATTR_ROWS_FETCHED, c.err);
    EXPECT_EQ(n, 0u);
    OCIHandleFree(st, OCI_HTYPE_STMT);

    // Execute with iterations fetches at once; without defines that is ORA-24374.
    st = c.prepare("SELECT ID FROM T WHERE ID > 55");
    EXPECT_EQ(OCIStmtExecute(c.svc, st, c.err, 10, 0, nullptr, nullptr, OCI_DEFAULT), OCI_ERROR);
    EXPECT_EQ(c.error(), "ORA-24374: define not done before fetch or execute and fetch\n");
    OCIDefineByPos(st, &d1, c.err, 1, ids, sizeof(sb4), SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT);
    EXPECT_EQ(OCIStmtExecute(c.svc, st, c.err, 10, 0, nullptr, nullptr, OCI_DEFAULT), OCI_NO_DATA);
    OCIAttrGet(st, OCI_HTYPE_STMT, &n, nullptr, OCI_ATTR_ROWS_FETCHED, c.err);
    EXPECT_EQ(n, 5u);
    EXPECT_EQ(ids[4], 60);
    OCIHandleFree(st, OCI_HTYPE_STMT);
}

// Rows a round trip brought and the client has not handed out yet need no round trip: the execute brings
// the prefetch count (one row unless set), a fetch that needs more brings what it asks for and at least
// the prefetch count, and a round trip that found the end of the rows says so.
TEST_F(OciTest, PrefetchedRowsAreFetchedWithoutARoundTrip) {
    c.ok("CREATE TABLE T (ID NUMBER(9) NOT NULL, DATA LONG RAW)");
    for (int i = 1; i <= 60; ++i)
        c.ok("INSERT INTO T (ID) VALUES (" + std::to_string(i) + ")");
    c.ok("COMMIT");
    const std::string trace = data.dir() + "/prefetch.txt";
    ::setenv("OCISQLITE_TRACE", trace.c_str(), 1);
    auto roundTrips = [&] {
        std::ifstream in(trace);
        int n = 0;
        for (std::string line; std::getline(in, line);)
            ++n;
        std::remove(trace.c_str());
        return n;
    };
    sb4 ids[25];
    struct Run {
        std::vector<ub4> fetched;
        std::vector<int> tripsPerCall; // the execute, then each fetch
        std::vector<sword> statuses;
    };
    // Executes, then fetches blocks of 25 until OCI_NO_DATA and once more after it.
    auto run = [&](const std::string& sql, std::optional<ub4> prefetch, bool downAfterExecute = false) {
        Run r;
        OCIStmt* st = c.prepare(sql);
        ub4 rows = 0;
        OCIAttrGet(st, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_PREFETCH_ROWS, c.err);
        EXPECT_EQ(rows, 1u);
        if (prefetch) {
            EXPECT_EQ(OCIAttrSet(st, OCI_HTYPE_STMT, &*prefetch, 0, OCI_ATTR_PREFETCH_ROWS, c.err),
                      OCI_SUCCESS);
            OCIAttrGet(st, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_PREFETCH_ROWS, c.err);
            EXPECT_EQ(rows, *prefetch);
        }
        roundTrips();
        EXPECT_EQ(OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
        r.tripsPerCall.push_back(roundTrips());
        if (downAfterExecute) {
            EXPECT_EQ(data.admin("down srv"), 0);
        }
        OCIDefine* d = nullptr;
        OCIDefineByPos(st, &d, c.err, 1, ids, sizeof(sb4), SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT);
        for (int guard = 0; guard < 5; ++guard) {
            const sword rc = OCIStmtFetch2(st, c.err, 25, OCI_FETCH_NEXT, 0, OCI_DEFAULT);
            ub4 n = 0;
            OCIAttrGet(st, OCI_HTYPE_STMT, &n, nullptr, OCI_ATTR_ROWS_FETCHED, c.err);
            r.statuses.push_back(rc);
            r.fetched.push_back(n);
            r.tripsPerCall.push_back(roundTrips());
            if (rc != OCI_SUCCESS &&
                (r.statuses.size() < 2 || r.statuses[r.statuses.size() - 2] != OCI_SUCCESS))
                break;
        }
        OCIHandleFree(st, OCI_HTYPE_STMT);
        return r;
    };
    const std::vector<sword> ended{OCI_SUCCESS, OCI_SUCCESS, OCI_NO_DATA, OCI_NO_DATA};
    const std::vector<ub4> blocks{25, 25, 10, 0};

    // No prefetching: every fetch is a round trip until one says the rows ended.
    Run r = run("SELECT ID FROM T ORDER BY ID", 0);
    EXPECT_EQ(r.statuses, ended);
    EXPECT_EQ(r.fetched, blocks);
    EXPECT_EQ(r.tripsPerCall, (std::vector<int>{1, 1, 1, 1, 0}));

    // A block and one row more per round trip: 26, then 26 for the second block, 8 and the end for the third.
    r = run("SELECT ID FROM T ORDER BY ID", 26);
    EXPECT_EQ(r.statuses, ended);
    EXPECT_EQ(r.fetched, blocks);
    EXPECT_EQ(r.tripsPerCall, (std::vector<int>{1, 0, 1, 1, 0}));
    EXPECT_EQ(ids[9], 60);

    // All rows with the execute; the fetches work while the server is down, the rows being here already.
    r = run("SELECT ID FROM T ORDER BY ID", 100, true);
    EXPECT_EQ(r.statuses, ended);
    EXPECT_EQ(r.fetched, blocks);
    EXPECT_EQ(r.tripsPerCall, (std::vector<int>{1, 0, 0, 0, 0}));
    ASSERT_EQ(data.admin("up srv"), 0);

    // The default prefetch of one row: the first fetch takes it and asks for the rest of its block.
    r = run("SELECT ID FROM T WHERE ID <= 25 ORDER BY ID", std::nullopt);
    EXPECT_EQ(r.statuses, (std::vector<sword>{OCI_SUCCESS, OCI_NO_DATA, OCI_NO_DATA}));
    EXPECT_EQ(r.tripsPerCall, (std::vector<int>{1, 1, 1, 0}));

    // A LONG RAW column in the select list switches prefetching off.
    r = run("SELECT ID, DATA FROM T ORDER BY ID", 100);
    EXPECT_EQ(r.statuses, ended);
    EXPECT_EQ(r.tripsPerCall, (std::vector<int>{1, 1, 1, 1, 0}));
    ::unsetenv("OCISQLITE_TRACE");
}

TEST_F(OciTest, DescribeGivesOracleTypesFromTheDdl) {
    c.ok(
        "CREATE TABLE D (N NUMBER, N9 NUMBER(9) NOT NULL, N53 NUMBER(5,3), F FLOAT, V VARCHAR2(20) NOT NULL, "
        "C CHAR(1), DT DATE, R RAW(16), LR LONG RAW)");
    struct Expect {
        const char* name;
        ub2 type;
        ub2 size;
        sb2 precision;
        sb1 scale;
        ub1 isNull;
    } expect[] = {
        {"N", SQLT_NUM, 22, 0, -127, 1},   {"N9", SQLT_NUM, 22, 9, 0, 0}, {"N53", SQLT_NUM, 22, 5, 3, 1},
        {"F", SQLT_NUM, 22, 126, -127, 1}, {"V", SQLT_CHR, 20, 0, 0, 0},  {"C", SQLT_AFC, 1, 0, 0, 1},
        {"DT", SQLT_DAT, 7, 0, 0, 1},      {"R", SQLT_BIN, 16, 0, 0, 1},  {"LR", SQLT_LBI, 0, 0, 0, 1}};
    OCIStmt* st = c.prepare("select n, n9, n53, f, v, c, dt, r, lr from d");
    ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DESCRIBE_ONLY), OCI_SUCCESS)
        << c.error();
    ub4 count = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, c.err);
    ASSERT_EQ(count, 9u);
    for (ub4 i = 0; i < count; ++i) {
        void* param = nullptr;
        ASSERT_EQ(OCIParamGet(st, OCI_HTYPE_STMT, c.err, &param, i + 1), OCI_SUCCESS);
        // Guard bytes around each target catch writes wider than documented.
        struct {
            ub1 before = 0xAA;
            ub2 v = 0;
            ub1 after = 0xAA;
        } type, size;
        struct {
            ub1 before = 0xAA;
            sb1 v = 0;
            ub1 after = 0xAA;
        } scale;
        struct {
            ub1 before = 0xAA;
            ub1 v = 9;
            ub1 after = 0xAA;
        } isNull;
        sb2 precision = 0;
        OraText* name = nullptr;
        ub4 nameLen = 0;
        OCIAttrGet(param, OCI_DTYPE_PARAM, &type.v, nullptr, OCI_ATTR_DATA_TYPE, c.err);
        OCIAttrGet(param, OCI_DTYPE_PARAM, &size.v, nullptr, OCI_ATTR_DATA_SIZE, c.err);
        OCIAttrGet(param, OCI_DTYPE_PARAM, &precision, nullptr, OCI_ATTR_PRECISION, c.err);
        OCIAttrGet(param, OCI_DTYPE_PARAM, &scale.v, nullptr, OCI_ATTR_SCALE, c.err);
        OCIAttrGet(param, OCI_DTYPE_PARAM, &isNull.v, nullptr, OCI_ATTR_IS_NULL, c.err);
        OCIAttrGet(param, OCI_DTYPE_PARAM, &name, &nameLen, OCI_ATTR_NAME, c.err);
        const Expect& e = expect[i];
        EXPECT_EQ(std::string(reinterpret_cast<char*>(name), nameLen), e.name);
        EXPECT_EQ(type.v, e.type) << e.name;
        EXPECT_EQ(size.v, e.size) << e.name;
        EXPECT_EQ(precision, e.precision) << e.name;
        EXPECT_EQ(scale.v, e.scale) << e.name;
        EXPECT_EQ(isNull.v, e.isNull) << e.name;
        EXPECT_TRUE(type.before == 0xAA && type.after == 0xAA && size.after == 0xAA && scale.before == 0xAA &&
                    scale.after == 0xAA && isNull.after == 0xAA)
            << e.name;
        OCIDescriptorFree(param, OCI_DTYPE_PARAM);
    }
    OCIHandleFree(st, OCI_HTYPE_STMT);

    // An aggregate is a plain NUMBER; an alias is upper-cased.
    st = c.prepare("select count(*) cnt from d");
    ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
        << c.error();
    void* param = nullptr;
    OCIParamGet(st, OCI_HTYPE_STMT, c.err, &param, 1);
    ub2 type = 0;
    sb2 precision = -1;
    OraText* name = nullptr;
    ub4 nameLen = 0;
    OCIAttrGet(param, OCI_DTYPE_PARAM, &type, nullptr, OCI_ATTR_DATA_TYPE, c.err);
    OCIAttrGet(param, OCI_DTYPE_PARAM, &precision, nullptr, OCI_ATTR_PRECISION, c.err);
    OCIAttrGet(param, OCI_DTYPE_PARAM, &name, &nameLen, OCI_ATTR_NAME, c.err);
    EXPECT_EQ(type, SQLT_NUM);
    EXPECT_EQ(precision, 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(name), nameLen), "CNT");
    EXPECT_EQ(OCIParamGet(st, OCI_HTYPE_STMT, c.err, &param, 2), OCI_ERROR);
    OCIHandleFree(st, OCI_HTYPE_STMT);
}

TEST_F(OciTest, IndicatorsTruncationAndZeroLengthBinds) {
    c.ok("CREATE TABLE S (ID NUMBER(9) NOT NULL, NAME VARCHAR2(100))");
    c.ok("INSERT INTO S VALUES (1, 'abcdefghij')");
    c.ok("INSERT INTO S (ID) VALUES (2)");
    // A zero-length bind is NULL: both as SQLT_CHR with alen 0 and as an empty SQLT_STR.
    {
        OCIStmt* st = c.prepare("INSERT INTO S VALUES (:ID, :NAME)");
        sb4 id = 3;
        char name[8] = "";
        ub2 alen = 0;
        OCIBind* b1 = nullptr;
        OCIBind* b2 = nullptr;
        OCIBindByName(st, &b1, c.err, reinterpret_cast<const OraText*>(":id"), -1, &id, sizeof id, SQLT_INT,
                      nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
        OCIBindByName(st, &b2, c.err, reinterpret_cast<const OraText*>("NAME"), -1, name, sizeof name,
                      SQLT_CHR, nullptr, &alen, nullptr, 0, nullptr, OCI_DEFAULT);
        ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
            << c.error();
        id = 4;
        OCIBindByName(st, &b2, c.err, reinterpret_cast<const OraText*>(":NAME"), -1, name, sizeof name,
                      SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
        ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
            << c.error();
        // A NULL into a NOT NULL column.
        sb2 nullInd = OCI_IND_NULL;
        OCIBindByName(st, &b1, c.err, reinterpret_cast<const OraText*>(":ID"), -1, &id, sizeof id, SQLT_INT,
                      &nullInd, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
        EXPECT_EQ(OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_ERROR);
        EXPECT_EQ(c.error(), "ORA-01400: cannot insert NULL into (\"SCOTT\".\"S\".\"ID\")\n");
        EXPECT_EQ(OCIBindByName(st, &b1, c.err, reinterpret_cast<const OraText*>(":NOPE"), -1, &id, sizeof id,
                                SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT),
                  OCI_ERROR);
        EXPECT_EQ(c.error(), "ORA-01036: illegal variable name/number\n");
        OCIHandleFree(st, OCI_HTYPE_STMT);
    }
    EXPECT_EQ(c.scalar("SELECT COUNT(*) FROM S WHERE NAME IS NULL"), "3");

    OCIStmt* st = c.prepare("SELECT NAME FROM S ORDER BY ID");
    ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
    char buf[4][5];
    sb2 ind[4] = {7, 7, 7, 7};
    ub2 rlen[4] = {};
    ub2 rcode[4] = {};
    OCIDefine* def = nullptr;
    OCIDefineByPos(st, &def, c.err, 1, buf, 5, SQLT_CHR, ind, rlen, rcode, OCI_DEFAULT);
    EXPECT_EQ(OCIStmtFetch2(st, c.err, 4, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_SUCCESS_WITH_INFO);
    EXPECT_EQ(c.error(), "ORA-01406: fetched column value was truncated\n");
    EXPECT_EQ(std::string(buf[0], 5), "abcde");
    EXPECT_EQ(ind[0], 10); // the length before truncation
    EXPECT_EQ(rlen[0], 5);
    EXPECT_EQ(rcode[0], 1406);
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(ind[i], OCI_IND_NULL);
        EXPECT_EQ(rcode[i], 1405);
    }
    OCIHandleFree(st, OCI_HTYPE_STMT);

    // A NULL without an indicator is an error.
    st = c.prepare("SELECT NAME FROM S WHERE ID = 2");
    ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
    OCIDefineByPos(st, &def, c.err, 1, buf[0], 5, SQLT_STR, nullptr, nullptr, nullptr, OCI_DEFAULT);
    EXPECT_EQ(OCIStmtFetch2(st, c.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_ERROR);
    EXPECT_EQ(c.error(), "ORA-01405: fetched column value is NULL\n");
    OCIHandleFree(st, OCI_HTYPE_STMT);
}

TEST_F(OciTest, ConversionsBetweenColumnsAndExternalTypes) {
    c.ok("CREATE TABLE V (I NUMBER(9), X NUMBER, S VARCHAR2(30), DT DATE)");
    OCIStmt* st = c.prepare("INSERT INTO V VALUES (:I, :X, :S, :DT)");
    sb8 i = 123456789;
    double x = 0.5;
    char s[] = "text";
    const ub1 dat[7] = {119, 192, 11, 30, 16, 18, 1}; // 30-NOV-1992 15:17:00
    OCIBind* b = nullptr;
    OCIBindByName(st, &b, c.err, reinterpret_cast<const OraText*>(":I"), -1, &i, sizeof i, SQLT_INT, nullptr,
                  nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
    OCIBindByName(st, &b, c.err, reinterpret_cast<const OraText*>(":X"), -1, &x, sizeof x, SQLT_FLT, nullptr,
                  nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
    OCIBindByName(st, &b, c.err, reinterpret_cast<const OraText*>(":S"), -1, s, sizeof s, SQLT_STR, nullptr,
                  nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
    OCIBindByName(st, &b, c.err, reinterpret_cast<const OraText*>(":DT"), -1, const_cast<ub1*>(dat), 7,
                  SQLT_DAT, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
    ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
        << c.error();
    ub4 rows = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, c.err);
    EXPECT_EQ(rows, 1u);
    OCIHandleFree(st, OCI_HTYPE_STMT);

    st = c.prepare("SELECT I, X, S, DT, I, X, DT FROM V");
    ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
        << c.error();
    sb4 i4 = 0;
    double xd = 0;
    char sv[31] = {};
    ub1 d7[7] = {};
    char istr[20] = {}, xstr[20] = {};
    OCIDate od{};
    OCIDefine* d = nullptr;
    OCIDefineByPos(st, &d, c.err, 1, &i4, sizeof i4, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT);
    OCIDefineByPos(st, &d, c.err, 2, &xd, sizeof xd, SQLT_FLT, nullptr, nullptr, nullptr, OCI_DEFAULT);
    OCIDefineByPos(st, &d, c.err, 3, sv, sizeof sv, SQLT_STR, nullptr, nullptr, nullptr, OCI_DEFAULT);
    OCIDefineByPos(st, &d, c.err, 4, d7, sizeof d7, SQLT_DAT, nullptr, nullptr, nullptr, OCI_DEFAULT);
    OCIDefineByPos(st, &d, c.err, 5, istr, sizeof istr, SQLT_STR, nullptr, nullptr, nullptr, OCI_DEFAULT);
    OCIDefineByPos(st, &d, c.err, 6, xstr, sizeof xstr, SQLT_STR, nullptr, nullptr, nullptr, OCI_DEFAULT);
    OCIDefineByPos(st, &d, c.err, 7, &od, sizeof od, SQLT_ODT, nullptr, nullptr, nullptr, OCI_DEFAULT);
    ASSERT_EQ(OCIStmtFetch2(st, c.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_SUCCESS) << c.error();
    EXPECT_EQ(i4, 123456789);
    EXPECT_EQ(xd, 0.5);
    EXPECT_STREQ(sv, "text");
    EXPECT_EQ(std::vector<ub1>(d7, d7 + 7), std::vector<ub1>(dat, dat + 7));
    EXPECT_STREQ(istr, "123456789");
    EXPECT_STREQ(xstr, ".5");
    EXPECT_EQ(od.OCIDateYYYY, 1992);
    EXPECT_EQ(od.OCIDateMM, 11);
    EXPECT_EQ(od.OCIDateDD, 30);
    EXPECT_EQ(od.OCIDateTime.OCITimeHH, 15);
    EXPECT_EQ(od.OCIDateTime.OCITimeMI, 17);
    OCIHandleFree(st, OCI_HTYPE_STMT);

    // Oracle's internal NUMBER, plain (SQLT_NUM) and with a length byte (SQLT_VNU).
    struct NumCase {
        const char* expr;
        std::vector<ub1> bytes;
    } nums[] = {{"0", {0x80}},
                {"1", {0xC1, 0x02}},
                {"-1", {0x3E, 0x64, 0x66}},
                {"123", {0xC2, 0x02, 0x18}},
                {"0.5", {0xC0, 0x33}},
                {"-12.5", {0x3E, 0x59, 0x33, 0x66}}};
    for (const auto& k : nums) {
        st = c.prepare(std::string("SELECT ") + k.expr + " FROM DUAL");
        ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
            << k.expr;
        ub1 num[22] = {}, vnu[22] = {};
        ub2 len = 0;
        OCIDefineByPos(st, &d, c.err, 1, num, sizeof num, SQLT_NUM, nullptr, &len, nullptr, OCI_DEFAULT);
        ASSERT_EQ(OCIStmtFetch2(st, c.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_SUCCESS) << c.error();
        EXPECT_EQ(std::vector<ub1>(num, num + len), k.bytes) << k.expr;
        OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT);
        OCIDefineByPos(st, &d, c.err, 1, vnu, sizeof vnu, SQLT_VNU, nullptr, nullptr, nullptr, OCI_DEFAULT);
        ASSERT_EQ(OCIStmtFetch2(st, c.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_SUCCESS) << c.error();
        EXPECT_EQ(std::vector<ub1>(vnu + 1, vnu + 1 + vnu[0]), k.bytes) << k.expr;
        OCIHandleFree(st, OCI_HTYPE_STMT);
        // And back in as a bind.
        st = c.prepare("SELECT :N * 2 FROM DUAL");
        std::vector<ub1> in = k.bytes;
        ub2 alen = static_cast<ub2>(in.size());
        OCIBindByName(st, &b, c.err, reinterpret_cast<const OraText*>(":N"), -1, in.data(), 22, SQLT_NUM,
                      nullptr, &alen, nullptr, 0, nullptr, OCI_DEFAULT);
        ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
        double twice = 99;
        OCIDefineByPos(st, &d, c.err, 1, &twice, sizeof twice, SQLT_FLT, nullptr, nullptr, nullptr,
                       OCI_DEFAULT);
        ASSERT_EQ(OCIStmtFetch2(st, c.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_SUCCESS) << c.error();
        EXPECT_EQ(twice, 2 * std::atof(k.expr)) << k.expr;
        OCIHandleFree(st, OCI_HTYPE_STMT);
    }
}

TEST_F(OciTest, RowCountRowidAndStatementAtomicity) {
    c.ok("CREATE TABLE R (ID NUMBER(9) NOT NULL, NAME VARCHAR2(5))");
    c.ok("CREATE UNIQUE INDEX R_ID ON R (ID)");
    OCIStmt* st = c.prepare("INSERT INTO R VALUES (7, 'seven')");
    ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
        << c.error();
    OCIRowid* rid = nullptr;
    OCIDescriptorAlloc(c.env, reinterpret_cast<void**>(&rid), OCI_DTYPE_ROWID, 0, nullptr);
    ub4 size = 0;
    ASSERT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, rid, &size, OCI_ATTR_ROWID, c.err), OCI_SUCCESS);
    EXPECT_NE(size, 0u);
    // The length probe first, as clients do, then the text.
    OraText text[32] = {};
    ub2 len = 0;
    EXPECT_EQ(OCIRowidToChar(rid, text, &len, c.err), OCI_ERROR);
    EXPECT_EQ(len, 18);
    len = sizeof text;
    ASSERT_EQ(OCIRowidToChar(rid, text, &len, c.err), OCI_SUCCESS);
    ASSERT_EQ(len, 18);
    const std::string rowidText(reinterpret_cast<char*>(text), len);
    EXPECT_EQ(rowidText.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"),
              std::string::npos);
    OCIHandleFree(st, OCI_HTYPE_STMT);

    // A failing statement undoes only itself; the transaction goes on.
    c.ok("INSERT INTO R VALUES (8, 'eight')");
    EXPECT_EQ(c.exec("INSERT INTO R VALUES (7, 'again')"), OCI_ERROR);
    sb4 code = 0;
    const std::string msg = c.error(&code);
    EXPECT_EQ(code, 1);
    EXPECT_EQ(msg.rfind("ORA-00001: unique constraint (SCOTT.", 0), 0u) << msg;
    EXPECT_EQ(c.exec("UPDATE R SET NAME = 'toolong' WHERE ID = 8"), OCI_ERROR);
    EXPECT_EQ(c.error(),
              "ORA-12899: value too large for column \"SCOTT\".\"R\".\"NAME\" (actual: 7, maximum: 5)\n");
    EXPECT_EQ(c.exec("INSERT INTO R VALUES ('x', 'bad')"), OCI_ERROR);
    EXPECT_EQ(c.error(), "ORA-01722: invalid number\n");
    EXPECT_EQ(c.exec("INSERT INTO R VALUES (1234567890, 'big')"), OCI_ERROR);
    EXPECT_EQ(c.error(), "ORA-01438: value larger than specified precision allowed for this column\n");
    c.ok("INSERT INTO R VALUES (999999999, 'max')");
    c.ok("DELETE FROM R WHERE ID = 999999999");
    st = c.prepare("UPDATE R SET NAME = 'x' WHERE ID >= 7");
    ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
        << c.error();
    ub4 rows = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, c.err);
    EXPECT_EQ(rows, 2u);
    OCIHandleFree(st, OCI_HTYPE_STMT);
    ASSERT_EQ(c.commit(), OCI_SUCCESS);
    EXPECT_EQ(c.scalar("SELECT COUNT(*) FROM R WHERE NAME = 'x'"), "2");

    // Roll-back, commit on success, and a commit with nothing to commit.
    c.ok("DELETE FROM R");
    ASSERT_EQ(c.rollback(), OCI_SUCCESS);
    EXPECT_EQ(c.scalar("SELECT COUNT(*) FROM R"), "2");
    st = c.prepare("DELETE FROM R WHERE ID = 8");
    ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_COMMIT_ON_SUCCESS), OCI_SUCCESS);
    OCIHandleFree(st, OCI_HTYPE_STMT);
    ASSERT_EQ(c.rollback(), OCI_SUCCESS);
    EXPECT_EQ(c.scalar("SELECT COUNT(*) FROM R"), "1");
    EXPECT_EQ(c.commit(), OCI_SUCCESS);
    OCIDescriptorFree(rid, OCI_DTYPE_ROWID);
}

TEST_F(OciTest, StatementErrorsCarryOraclesTexts) {
    c.ok("CREATE TABLE E (ID NUMBER(9))");
    struct Case {
        const char* sql;
        const char* text;
    } cases[] = {
        {"SELECT * FROM NOSUCH", "ORA-00942: table or view does not exist\n"},
        {"SELECT NOCOL FROM E", "ORA-00904: \"NOCOL\": invalid identifier\n"},
        {"XYZZY PLUGH", "ORA-00900: invalid SQL statement\n"},
        {"SELECT ID FROM E WHERE ID = 1 1", "ORA-00933: SQL command not properly ended\n"},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(c.exec(k.sql), OCI_ERROR) << k.sql;
        EXPECT_EQ(c.error(), k.text) << k.sql;
    }
    // A zero iteration count is refused for anything but a query.
    OCIStmt* st = c.prepare("DELETE FROM E");
    EXPECT_EQ(OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_ERROR);
    EXPECT_EQ(c.error(), "ORA-24333: zero iteration count\n");
    OCIHandleFree(st, OCI_HTYPE_STMT);
}

namespace {

// OCIDefineDynamic callback collecting 64 KiB pieces.
struct Chunks {
    std::string data;
    std::vector<char> piece = std::vector<char>(65536);
    ub4 alen = 0;
    sb2 ind = 0;
    ub4 calls = 0;
};

sb4 collect(void* ctx, OCIDefine*, ub4, void** bufpp, ub4** alenp, ub1*, void** indp, ub2** rcodep) {
    auto* c = static_cast<Chunks*>(ctx);
    // The previous piece is complete when the next is asked for.
    if (c->calls++ > 0)
        c->data.append(c->piece.data(), c->alen);
    c->alen = static_cast<ub4>(c->piece.size());
    *bufpp = c->piece.data();
    *alenp = &c->alen;
    *indp = &c->ind;
    *rcodep = nullptr;
    return OCI_CONTINUE;
}

} // namespace

TEST_F(OciTest, LongRawOf50MegabytesPiecewiseBothWays) {
    c.ok("CREATE TABLE L (ID NUMBER(9), DATA LONG RAW)");
    // 50 MiB of a pattern that differs in every 64 KiB block, so a misplaced piece shows.
    std::string block(65536, '\0');
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>((i * 131) & 0xFF);
    std::string value;
    value.reserve(50 * 1024 * 1024);
    for (int b = 0; b < 800; ++b) {
        block[0] = static_cast<char>(b);
        block[1] = static_cast<char>(b >> 8);
        value += block;
    }

    // In: OCI_DATA_AT_EXEC, pieces of 1 MiB through OCIStmtGetPieceInfo / OCIStmtSetPieceInfo.
    OCIStmt* st = c.prepare("INSERT INTO L VALUES (1, :DATA)");
    OCIBind* bind = nullptr;
    ASSERT_EQ(OCIBindByName(st, &bind, c.err, reinterpret_cast<const OraText*>(":DATA"), -1, nullptr,
                            0x7FFFFFFF, SQLT_LBI, nullptr, nullptr, nullptr, 0, nullptr, OCI_DATA_AT_EXEC),
              OCI_SUCCESS);
    const std::size_t pieceSize = 1024 * 1024;
    std::size_t offset = 0;
    sword rc = OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
    int rounds = 0;
    while (rc == OCI_NEED_DATA) {
        void* h = nullptr;
        ub4 type = 0, iter = 0, idx = 0;
        ub1 inOut = 0, piece = 0;
        ASSERT_EQ(OCIStmtGetPieceInfo(st, c.err, &h, &type, &inOut, &iter, &idx, &piece), OCI_SUCCESS);
        EXPECT_EQ(h, bind);
        EXPECT_EQ(type, OCI_HTYPE_BIND);
        EXPECT_EQ(inOut, OCI_PARAM_IN);
        ub4 n = static_cast<ub4>(std::min(pieceSize, value.size() - offset));
        const ub1 next = offset == 0                  ? OCI_FIRST_PIECE
                         : offset + n >= value.size() ? OCI_LAST_PIECE
                                                      : OCI_NEXT_PIECE;
        ASSERT_EQ(
            OCIStmtSetPieceInfo(h, OCI_HTYPE_BIND, c.err, value.data() + offset, &n, next, nullptr, nullptr),
            OCI_SUCCESS);
        offset += n;
        rc = OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
        ASSERT_LT(++rounds, 100);
    }
    ASSERT_EQ(rc, OCI_SUCCESS) << c.error();
    EXPECT_EQ(rounds, 50);
    OCIHandleFree(st, OCI_HTYPE_STMT);
    ASSERT_EQ(c.commit(), OCI_SUCCESS);

    // Out through OCIDefineDynamic.
    st = c.prepare("SELECT DATA FROM L WHERE ID = 1");
    ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
    OCIDefine* def = nullptr;
    OCIDefineByPos(st, &def, c.err, 1, nullptr, 0x7FFFFFFF, SQLT_LBI, nullptr, nullptr, nullptr,
                   OCI_DYNAMIC_FETCH);
    Chunks chunks;
    chunks.data.reserve(value.size());
    ASSERT_EQ(OCIDefineDynamic(def, c.err, &chunks, collect), OCI_SUCCESS);
    ASSERT_EQ(OCIStmtFetch2(st, c.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_SUCCESS) << c.error();
    chunks.data.append(chunks.piece.data(), chunks.alen);
    EXPECT_EQ(chunks.ind, OCI_IND_NOTNULL);
    EXPECT_TRUE(chunks.data == value) << chunks.data.size();
    EXPECT_EQ(chunks.calls, 800u);
    OCIHandleFree(st, OCI_HTYPE_STMT);

    // Out by polling: OCI_NEED_DATA, then a buffer per piece.
    st = c.prepare("SELECT DATA FROM L WHERE ID = 1");
    ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
    OCIDefineByPos(st, &def, c.err, 1, nullptr, 0x7FFFFFFF, SQLT_LBI, nullptr, nullptr, nullptr,
                   OCI_DYNAMIC_FETCH);
    std::string polled;
    polled.reserve(value.size());
    std::vector<char> buf(3 * 1024 * 1024 + 7);
    ub4 alen = 0;
    sb2 ind = 0;
    rc = OCIStmtFetch2(st, c.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT);
    bool pending = false;
    while (rc == OCI_NEED_DATA) {
        if (pending)
            polled.append(buf.data(), alen);
        void* h = nullptr;
        ub4 type = 0, iter = 0, idx = 0;
        ub1 inOut = 0, piece = 0;
        ASSERT_EQ(OCIStmtGetPieceInfo(st, c.err, &h, &type, &inOut, &iter, &idx, &piece), OCI_SUCCESS);
        EXPECT_EQ(type, OCI_HTYPE_DEFINE);
        EXPECT_EQ(inOut, OCI_PARAM_OUT);
        EXPECT_EQ(piece, pending ? OCI_NEXT_PIECE : OCI_FIRST_PIECE);
        alen = static_cast<ub4>(buf.size());
        OCIStmtSetPieceInfo(h, OCI_HTYPE_DEFINE, c.err, buf.data(), &alen, piece, &ind, nullptr);
        pending = true;
        rc = OCIStmtFetch2(st, c.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT);
    }
    ASSERT_EQ(rc, OCI_SUCCESS) << c.error();
    polled.append(buf.data(), alen);
    EXPECT_TRUE(polled == value) << polled.size();
    OCIHandleFree(st, OCI_HTYPE_STMT);
}

TEST(OciPrepare, StatementTypeIsKnownRightAfterPrepare) {
    struct Case {
        const char* sql;
        ub2 type;
    } cases[] = {{"select 1 from dual", OCI_STMT_SELECT},
                 {"  (SELECT 1 FROM DUAL)", OCI_STMT_SELECT},
                 {"WITH x AS (SELECT 1 FROM DUAL) SELECT * FROM x", OCI_STMT_SELECT},
                 {"/* c */ UPDATE T SET A = 1", OCI_STMT_UPDATE},
                 {"delete from t", OCI_STMT_DELETE},
                 {"-- line\nINSERT INTO T VALUES (1)", OCI_STMT_INSERT},
                 {"create table t (a number)", OCI_STMT_CREATE},
                 {"drop table t", OCI_STMT_DROP},
                 {"alter table t add b number", OCI_STMT_ALTER},
                 {"begin null; end;", OCI_STMT_BEGIN},
                 {"declare x number; begin null; end;", OCI_STMT_DECLARE},
                 {"commit", OCI_STMT_COMMIT},
                 {"rollback", OCI_STMT_ROLLBACK},
                 {"explain plan for select 1 from dual", OCI_STMT_EXPLAIN}};
    Conn x; // no server: preparing is local
    for (const auto& k : cases) {
        OCIStmt* st = x.prepare(k.sql);
        ub2 type = 999;
        ASSERT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, x.err), OCI_SUCCESS);
        EXPECT_EQ(type, k.type) << k.sql;
        OCIHandleFree(st, OCI_HTYPE_STMT);
    }
}

TEST_F(OciTest, TraceWritesOneLinePerRoundTrip) {
    const std::string trace = data.dir() + "/trace.txt";
    ::setenv("OCISQLITE_TRACE", trace.c_str(), 1);
    ::setenv("OCISQLITE_LATENCY_MS", "40", 1);
    const auto start = std::chrono::steady_clock::now();
    c.ok("CREATE TABLE TR (ID NUMBER(9))");
    c.ok("INSERT INTO TR VALUES (1)");
    EXPECT_EQ(c.scalar("SELECT ID\r\nFROM TR"), "1");
    c.commit();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ::unsetenv("OCISQLITE_TRACE");
    ::unsetenv("OCISQLITE_LATENCY_MS");
    // Every round trip waited for the simulated network.
    EXPECT_GE(elapsed, std::chrono::milliseconds(4 * 40));
    std::ifstream in(trace);
    std::vector<std::string> calls;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string pid, sid, call;
        fields >> pid >> sid >> call;
        EXPECT_EQ(pid, std::to_string(::getpid()));
        calls.push_back(call);
        if (calls.size() == 3) {
            EXPECT_NE(line.find(" SELECT ID\\r\\nFROM TR"), std::string::npos) << line;
        }
    }
    // The one row of the select came with its execute (OCI prefetches one row unless told otherwise).
    EXPECT_EQ(calls, (std::vector<std::string>{"OCIStmtExecute", "OCIStmtExecute", "OCIStmtExecute",
                                               "OCITransCommit"}));
}

TEST_F(OciTest, ServerGoingDownUnderAConnectedSession) {
    c.ok("CREATE TABLE G (ID NUMBER(9))");
    c.ok("INSERT INTO G VALUES (1)");
    ASSERT_EQ(data.admin("down srv"), 0);
    EXPECT_EQ(c.exec("SELECT * FROM G"), OCI_ERROR);
    EXPECT_EQ(c.error(), "ORA-03113: end-of-file on communication channel\n");
    EXPECT_EQ(c.exec("SELECT * FROM G"), OCI_ERROR);
    EXPECT_EQ(c.error(), "ORA-03114: not connected to ORACLE\n");
    EXPECT_EQ(OCIPing(c.svc, c.err, OCI_DEFAULT), OCI_ERROR);
    // New attaches find no listener; after "up" the uncommitted row is gone.
    sword rc = 0;
    EXPECT_EQ(errorAfterLogon("srv", "scott", "Tiger", &rc), "ORA-12541: TNS:no listener\n");
    ASSERT_EQ(data.admin("up srv"), 0);
    Conn again;
    ASSERT_EQ(again.logon("srv", "scott", "Tiger"), OCI_SUCCESS) << again.error();
    EXPECT_EQ(again.scalar("SELECT COUNT(*) FROM G"), "0");
}

// The countdown marker loses the server at a chosen round trip: here between a change and its commit,
// so the commit is the call that finds the server gone and the change is not stored.
TEST_F(OciTest, ServerGoingDownAfterACountOfRoundTrips) {
    c.ok("CREATE TABLE H (ID NUMBER(9))");
    ASSERT_EQ(c.commit(), OCI_SUCCESS);
    ASSERT_EQ(data.admin("down srv --after 1"), 0);
    c.ok("INSERT INTO H VALUES (1)");
    EXPECT_EQ(c.commit(), OCI_ERROR);
    EXPECT_EQ(c.error(), "ORA-03113: end-of-file on communication channel\n");
    EXPECT_EQ(OCIPing(c.svc, c.err, OCI_DEFAULT), OCI_ERROR);
    sword rc = 0;
    EXPECT_EQ(errorAfterLogon("srv", "scott", "Tiger", &rc), "ORA-12541: TNS:no listener\n");
    ASSERT_EQ(data.admin("up srv"), 0);
    Conn again;
    ASSERT_EQ(again.logon("srv", "scott", "Tiger"), OCI_SUCCESS) << again.error();
    EXPECT_EQ(again.scalar("SELECT COUNT(*) FROM H"), "0");

    // Round trips of every session count together; "up" also removes a countdown still running.
    ASSERT_EQ(data.admin("down srv --after 2"), 0);
    again.ok("INSERT INTO H VALUES (2)");
    ASSERT_EQ(again.commit(), OCI_SUCCESS);
    EXPECT_EQ(again.exec("SELECT * FROM H"), OCI_ERROR);
    EXPECT_EQ(again.error(), "ORA-03113: end-of-file on communication channel\n");
    ASSERT_EQ(data.admin("up srv"), 0);
    ASSERT_EQ(data.admin("down srv --after 50"), 0);
    ASSERT_EQ(data.admin("up srv"), 0);
    Conn third;
    ASSERT_EQ(third.logon("srv", "scott", "Tiger"), OCI_SUCCESS) << third.error();
    for (int i = 0; i < 60; ++i)
        third.ok("SELECT COUNT(*) FROM H");
    EXPECT_EQ(third.scalar("SELECT COUNT(*) FROM H"), "1");
    EXPECT_NE(data.admin("down srv --after x"), 0);
}

namespace {

// Runs a statement with one string bind; returns the status and leaves the OUT value in out/ind.
sword execWithString(Conn& c, const std::string& sql, const char* name, char (&buf)[4001], sb2& ind) {
    OCIStmt* st = c.prepare(sql);
    OCIBind* b = nullptr;
    OCIBindByName(st, &b, c.err, reinterpret_cast<const OraText*>(name), -1, buf, sizeof buf, SQLT_STR, &ind,
                  nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
    const sword rc = OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT);
    OCIHandleFree(st, OCI_HTYPE_STMT);
    return rc;
}

std::string transactionId(Conn& c) {
    char buf[4001] = {};
    sb2 ind = 0;
    if (execWithString(c, "begin :id := sys.dbms_transaction.local_transaction_id; end;", ":id", buf, ind) !=
        OCI_SUCCESS)
        return "<error> " + c.error();
    return ind == OCI_IND_NULL ? "<null>" : buf;
}

} // namespace

TEST_F(OciTest, TransactionIdSavepointsAndPlSql) {
    c.ok("CREATE TABLE P (ID NUMBER(9), NAME VARCHAR2(20))");
    c.ok("INSERT INTO P VALUES (1, 'one')");
    ASSERT_EQ(c.commit(), OCI_SUCCESS);
    EXPECT_EQ(transactionId(c), "<null>");
    EXPECT_EQ(c.scalar("SELECT NAME FROM P"), "one");
    EXPECT_EQ(transactionId(c), "<null>"); // reading starts no transaction
    c.ok("UPDATE P SET NAME = 'uno'");
    const std::string id = transactionId(c);
    EXPECT_NE(id, "<null>");
    EXPECT_EQ(std::count(id.begin(), id.end(), '.'), 2) << id;
    c.ok("savepoint TAV__LOCKPOINT");
    c.ok("UPDATE P SET NAME = 'eins'");
    c.ok("rollback to savepoint TAV__LOCKPOINT");
    EXPECT_EQ(c.scalar("SELECT NAME FROM P"), "uno");
    EXPECT_EQ(transactionId(c), id); // the transaction goes on
    ASSERT_EQ(c.commit(), OCI_SUCCESS);
    EXPECT_EQ(transactionId(c), "<null>");
    EXPECT_EQ(c.exec("rollback to savepoint TAV__LOCKPOINT"), OCI_ERROR);
    EXPECT_EQ(c.error(),
              "ORA-01086: savepoint 'TAV__LOCKPOINT' never established in this session or is invalid\n");

    // DBMS_APPLICATION_INFO shows in V$SESSION; other blocks are refused.
    char module[4001] = "Admin_KMR";
    sb2 ind = 0;
    ASSERT_EQ(execWithString(
                  c,
                  "begin sys.DBMS_Application_Info.set_module(module_name => :m, action_name => null); end;",
                  ":m", module, ind),
              OCI_SUCCESS)
        << c.error();
    EXPECT_EQ(c.scalar("SELECT COUNT(*) FROM V$SESSION WHERE MODULE = 'Admin_KMR'"), "1");
    // The session attribute reaches V$SESSION as well, without touching the module.
    ASSERT_EQ(OCIAttrSet(c.ses, OCI_HTYPE_SESSION, const_cast<char*>("ws1"), 3, OCI_ATTR_CLIENT_INFO, c.err),
              OCI_SUCCESS);
    EXPECT_EQ(c.scalar("SELECT MODULE || '/' || CLIENT_INFO FROM V$SESSION WHERE CLIENT_INFO = 'ws1'"),
              "Admin_KMR/ws1");
    EXPECT_EQ(c.exec("begin sys.dbms_nothing.go; end;"), OCI_ERROR);
    EXPECT_EQ(c.error().rfind("ORA-06550: line 1, column ", 0), 0u);
    EXPECT_EQ(transactionId(c), "<null>");
}

TEST_F(OciTest, RowidsReturningAndSynonyms) {
    c.ok("CREATE TABLE W (ID NUMBER(9), NAME VARCHAR2(20))");
    c.ok("INSERT INTO W VALUES (1, 'one')");
    char rid[4001] = {};
    sb2 ind = -1;
    ASSERT_EQ(
        execWithString(c, "INSERT INTO W VALUES (2, 'two') RETURNING ROWID INTO :RID", ":RID", rid, ind),
        OCI_SUCCESS)
        << c.error();
    ASSERT_EQ(ind, OCI_IND_NOTNULL);
    ASSERT_EQ(std::strlen(rid), 18u);

    // The same text comes back from the ROWID pseudo-column, described as SQLT_RDD.
    OCIStmt* st = c.prepare("SELECT ROWID, NAME FROM W WHERE ID = 2");
    ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
        << c.error();
    void* param = nullptr;
    OCIParamGet(st, OCI_HTYPE_STMT, c.err, &param, 1);
    ub2 type = 0;
    OCIAttrGet(param, OCI_DTYPE_PARAM, &type, nullptr, OCI_ATTR_DATA_TYPE, c.err);
    EXPECT_EQ(type, SQLT_RDD);
    char text[19] = {};
    OCIDefine* d = nullptr;
    OCIDefineByPos(st, &d, c.err, 1, text, sizeof text, SQLT_STR, nullptr, nullptr, nullptr, OCI_DEFAULT);
    ASSERT_EQ(OCIStmtFetch2(st, c.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_SUCCESS) << c.error();
    EXPECT_STREQ(text, rid);
    OCIHandleFree(st, OCI_HTYPE_STMT);

    // A row addressed by its ROWID text, as the editable dataset does.
    st = c.prepare("UPDATE W SET NAME = 'zwei' WHERE ROWID = :RID");
    OCIBind* b = nullptr;
    OCIBindByName(st, &b, c.err, reinterpret_cast<const OraText*>(":RID"), -1, rid, sizeof rid, SQLT_STR,
                  nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
    ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
        << c.error();
    ub4 rows = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, c.err);
    EXPECT_EQ(rows, 1u);
    std::strcpy(rid, "not a rowid");
    EXPECT_EQ(OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_ERROR);
    EXPECT_EQ(c.error(), "ORA-01410: invalid ROWID\n");
    OCIHandleFree(st, OCI_HTYPE_STMT);
    EXPECT_EQ(c.scalar("SELECT NAME FROM W WHERE ID = 2"), "zwei");

    c.ok("CREATE SYNONYM WW FOR W");
    EXPECT_EQ(c.scalar("SELECT COUNT(*) FROM WW"), "2");
}

TEST_F(OciTest, MisuseAndBadTextGiveErrorsNotCrashes) {
    c.ok("CREATE TABLE M (ID NUMBER(9), NAME VARCHAR2(10))");
    const char* texts[] = {"",
                           " ",
                           ";",
                           "'",
                           "\"",
                           "SELECT",
                           "SELECT * FROM",
                           "(((",
                           "/*",
                           "-- only",
                           "BEGIN",
                           "DECLARE x",
                           "INSERT INTO M VALUES (1, 'a'",
                           "SELECT * FROM M;",
                           "DROP TABLE NOSUCH",
                           "UPDATE M SET",
                           "COMMIT WORK NOW"};
    for (const char* t : texts) {
        const sword rc = c.exec(t);
        EXPECT_TRUE(rc == OCI_ERROR || rc == OCI_SUCCESS) << t;
        if (rc == OCI_ERROR) {
            EXPECT_EQ(c.error().rfind("ORA-", 0), 0u) << t << ": " << c.error();
        }
    }
    EXPECT_EQ(c.scalar("SELECT COUNT(*) FROM M"), "0");

    OCIStmt* st = nullptr;
    OCIHandleAlloc(c.env, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
    // Execute or fetch of a statement never prepared or executed.
    EXPECT_EQ(OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_ERROR);
    EXPECT_EQ(OCIStmtFetch2(st, c.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_ERROR);
    ub1 piece = 0;
    EXPECT_EQ(OCIStmtGetPieceInfo(st, c.err, nullptr, nullptr, nullptr, nullptr, nullptr, &piece), OCI_ERROR);
    const char* sql = "SELECT ID, NAME FROM M";
    OCIStmtPrepare(st, c.err, reinterpret_cast<const OraText*>(sql), static_cast<ub4>(std::strlen(sql)),
                   OCI_NTV_SYNTAX, OCI_DEFAULT);
    OCIDefine* d = nullptr;
    sb4 v = 0;
    EXPECT_EQ(
        OCIDefineByPos(st, &d, c.err, 0, &v, sizeof v, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT),
        OCI_ERROR);
    EXPECT_EQ(OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
    EXPECT_EQ(
        OCIDefineByPos(st, &d, c.err, 3, &v, sizeof v, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT),
        OCI_ERROR);
    // A define handle cannot be freed by the caller; a wrong handle type is refused.
    OCIDefineByPos(st, &d, c.err, 1, &v, sizeof v, SQLT_INT, nullptr, nullptr, nullptr, OCI_DEFAULT);
    EXPECT_EQ(OCIHandleFree(d, OCI_HTYPE_DEFINE), OCI_INVALID_HANDLE);
    EXPECT_EQ(OCIStmtSetPieceInfo(d, OCI_HTYPE_DEFINE, c.err, &v, nullptr, OCI_ONE_PIECE, nullptr, nullptr),
              OCI_ERROR);
    EXPECT_EQ(OCIStmtFetch2(st, c.err, 5, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_NO_DATA);
    EXPECT_EQ(OCIAttrGet(st, OCI_HTYPE_ERROR, &v, nullptr, OCI_ATTR_ROW_COUNT, c.err), OCI_INVALID_HANDLE);
    OCIHandleFree(st, OCI_HTYPE_STMT);
    // A second attach on an attached server and a session begun twice.
    EXPECT_EQ(OCIServerAttach(c.srv, c.err, reinterpret_cast<const OraText*>("srv"), 3, OCI_DEFAULT),
              OCI_ERROR);
    EXPECT_EQ(OCISessionBegin(c.svc, c.err, c.ses, OCI_CRED_RDBMS, OCI_DEFAULT), OCI_ERROR);
    EXPECT_EQ(c.scalar("SELECT COUNT(*) FROM M"), "0");
}

TEST_F(OciTest, AdminCommandAddsAccountsAndListsSessions) {
    ASSERT_EQ(data.admin("create srv --user adams --password Secret"), 0);
    Conn other;
    ASSERT_EQ(other.logon("srv", "ADAMS", "Secret"), OCI_SUCCESS) << other.error();
    EXPECT_NE(data.admin("create srv --user adams"), 0); // usage error
    EXPECT_NE(data.admin("frobnicate srv"), 0);
    EXPECT_NE(data.admin("down nosuch"), 0);

    const TToolResult sessions = data.run("sessions srv");
    EXPECT_EQ(sessions.ExitCode, 0);
    const std::string& out = sessions.Out;
    EXPECT_NE(out.find("SCOTT"), std::string::npos) << out;
    EXPECT_NE(out.find("ADAMS"), std::string::npos) << out;
}

TEST_F(OciTest, RandomCallSequencesNeverCrash) {
    c.ok("CREATE TABLE Z (ID NUMBER(9), NAME VARCHAR2(20), DT DATE, DATA LONG RAW)");
    c.ok("INSERT INTO Z VALUES (1, 'one', SYSDATE, NULL)");
    c.ok("INSERT INTO Z VALUES (2, NULL, NULL, NULL)");
    ASSERT_EQ(c.commit(), OCI_SUCCESS);
    const char* sqls[] = {"SELECT ID, NAME, DT, DATA FROM Z",
                          "SELECT COUNT(*) FROM Z WHERE ID = :ID",
                          "INSERT INTO Z VALUES (:ID, :NAME, :DT, :DATA)",
                          "UPDATE Z SET NAME = :NAME WHERE ID = :ID",
                          "DELETE FROM Z WHERE ID > 100",
                          "begin :ID := sys.dbms_transaction.local_transaction_id; end;",
                          "SELECT * FROM NOSUCH",
                          "garbage"};
    const char* names[] = {":ID", ":NAME", ":DT", ":DATA", ":NOPE"};
    const ub2 types[] = {SQLT_INT, SQLT_FLT, SQLT_STR, SQLT_CHR, SQLT_DAT, SQLT_LBI, SQLT_NUM, SQLT_AFC, 999};
    // Buffers large enough for any element size used below, for arrays of up to 16 rows.
    static char buffer[16 * 64];
    static sb2 inds[16];
    static ub2 lens[16], codes[16];
    OCIStmt* st = nullptr;
    const std::set<sword> valid = {OCI_SUCCESS, OCI_SUCCESS_WITH_INFO, OCI_NO_DATA,
                                   OCI_ERROR,   OCI_INVALID_HANDLE,    OCI_NEED_DATA};
    for (int step = 0; step < 15000; ++step) {
        if (step % 3000 == 0)
            std::srand(static_cast<unsigned>(step / 3000 + 1));
        const int op = std::rand() % 10;
        sword rc = OCI_SUCCESS;
        if (!st || op == 0) {
            if (st)
                OCIHandleFree(st, OCI_HTYPE_STMT);
            st = c.prepare(sqls[std::rand() % 8]);
            continue;
        }
        const ub2 type = types[std::rand() % 9];
        const sb4 size = type == SQLT_INT   ? 4
                         : type == SQLT_FLT ? 8
                         : type == SQLT_DAT ? 7
                                            : 1 + std::rand() % 63;
        switch (op) {
        case 1:
        case 2:
            rc = OCIStmtExecute(c.svc, st, c.err, static_cast<ub4>(std::rand() % 3), 0, nullptr, nullptr,
                                std::rand() % 4 == 0 ? OCI_DESCRIBE_ONLY : OCI_DEFAULT);
            break;
        case 3: {
            OCIDefine* d = nullptr;
            rc = OCIDefineByPos(st, &d, c.err, static_cast<ub4>(std::rand() % 6), buffer, size, type,
                                std::rand() % 2 ? inds : nullptr, lens, codes,
                                std::rand() % 4 == 0 ? OCI_DYNAMIC_FETCH : OCI_DEFAULT);
            break;
        }
        case 4:
        case 5:
            rc = OCIStmtFetch2(st, c.err, static_cast<ub4>(std::rand() % 17), OCI_FETCH_NEXT, 0, OCI_DEFAULT);
            break;
        case 6: {
            OCIBind* b = nullptr;
            rc = OCIBindByName(st, &b, c.err, reinterpret_cast<const OraText*>(names[std::rand() % 5]), -1,
                               buffer, size, type, std::rand() % 2 ? inds : nullptr, nullptr, nullptr, 0,
                               nullptr, std::rand() % 4 == 0 ? OCI_DATA_AT_EXEC : OCI_DEFAULT);
            break;
        }
        case 7: {
            void* h = nullptr;
            ub4 htype = 0, iter = 0, idx = 0;
            ub1 inOut = 0, piece = 0;
            rc = OCIStmtGetPieceInfo(st, c.err, &h, &htype, &inOut, &iter, &idx, &piece);
            if (rc == OCI_SUCCESS) {
                static ub4 alen;
                alen = static_cast<ub4>(std::rand() % 64);
                rc = OCIStmtSetPieceInfo(h, htype, c.err, buffer, &alen,
                                         static_cast<ub1>(1 + std::rand() % 3), inds, codes);
            }
            break;
        }
        case 8: {
            void* param = nullptr;
            rc = OCIParamGet(st, OCI_HTYPE_STMT, c.err, &param, static_cast<ub4>(std::rand() % 6));
            if (rc == OCI_SUCCESS)
                OCIDescriptorFree(param, OCI_DTYPE_PARAM);
            break;
        }
        default:
            rc = std::rand() % 2 ? c.commit() : c.rollback();
            break;
        }
        ASSERT_TRUE(valid.count(rc)) << "step " << step << " op " << op << " rc " << rc;
    }
    OCIHandleFree(st, OCI_HTYPE_STMT);
    // The session still works.
    EXPECT_NE(c.scalar("SELECT COUNT(*) FROM Z"), "<none>");
}
