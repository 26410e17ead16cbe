// The OCI entry points general-purpose drivers use beyond our access layer, checked through libocisqlite's
// exported calls alone. Names saying "ReferenceUnsure" check behaviour the reference notes do not settle.
#include "OciTestSupport.h"
#include "oracle/OciDriverDefs.h"

#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

using namespace ocitest;

namespace {

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::unsetenv("ORA_SDTZ");
        ASSERT_EQ(data.admin("create srv --user scott --password Tiger"), 0);
        ASSERT_EQ(c.logon("SRV", "scott", "Tiger", OCI_STMT_CACHE), OCI_SUCCESS) << c.error();
    }
    void TearDown() override { ::unsetenv("ORA_SDTZ"); }

    OCIStmt* prepare2(const std::string& sql, const std::string& tag = {}, ub4 mode = OCI_DEFAULT) {
        OCIStmt* st = nullptr;
        lastRc = OCIStmtPrepare2(c.svc, &st, c.err, reinterpret_cast<const OraText*>(sql.data()),
                                 static_cast<ub4>(sql.size()), reinterpret_cast<const OraText*>(tag.data()),
                                 static_cast<ub4>(tag.size()), OCI_NTV_SYNTAX, mode);
        return st;
    }
    sword release(OCIStmt* st, ub4 mode = OCI_DEFAULT) { return OCIStmtRelease(st, c.err, nullptr, 0, mode); }
    sb4 code() const {
        sb4 n = 0;
        c.error(&n);
        return n;
    }

    TempData data;
    Conn c;
    sword lastRc = OCI_SUCCESS;
};

void* descriptor(OCIEnv* env, ub4 type) {
    void* d = nullptr;
    EXPECT_EQ(OCIDescriptorAlloc(env, &d, type, 0, nullptr), OCI_SUCCESS) << type;
    return d;
}

// ---- threads, memory, context values ----

TEST_F(DriverTest, ThreadKeysHoldOneValuePerThreadAndRunTheDestructor) {
    static std::atomic<int> destroyed{0};
    destroyed = 0;
    OCIThreadProcessInit();
    ASSERT_EQ(OCIThreadInit(c.env, c.err), OCI_SUCCESS);
    OCIThreadKey* key = nullptr;
    ASSERT_EQ(OCIThreadKeyInit(c.env, c.err, &key, [](void* v) { destroyed += *static_cast<int*>(v); }),
              OCI_SUCCESS);
    int mine = 1, theirs = 10;
    ASSERT_EQ(OCIThreadKeySet(c.env, c.err, key, &mine), OCI_SUCCESS);
    void* seenThere = &mine;
    std::thread([&] {
        OCIThreadKeyGet(c.env, c.err, key, &seenThere); // another thread starts empty
        OCIThreadKeySet(c.env, c.err, key, &theirs);
    }).join();
    EXPECT_EQ(seenThere, nullptr);
    EXPECT_EQ(destroyed, 10) << "the ending thread's value went to the destructor";
    void* seenHere = nullptr;
    ASSERT_EQ(OCIThreadKeyGet(c.env, c.err, key, &seenHere), OCI_SUCCESS);
    EXPECT_EQ(seenHere, &mine);

    ASSERT_EQ(OCIThreadKeyDestroy(c.env, c.err, &key), OCI_SUCCESS);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(OCIThreadKeyGet(nullptr, c.err, key, &seenHere), OCI_INVALID_HANDLE);
    EXPECT_EQ(OCIThreadKeyGet(c.env, c.err, key, &seenHere), OCI_ERROR);
    EXPECT_EQ(code(), 21560);
    EXPECT_EQ(OCIThreadTerm(c.env, c.err), OCI_SUCCESS);
}

TEST_F(DriverTest, ThreadMutexExcludesOtherThreads) {
    OCIThreadMutex* mutex = nullptr;
    ASSERT_EQ(OCIThreadMutexInit(c.env, c.err, &mutex), OCI_SUCCESS);
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            OCIThreadMutexAcquire(c.env, c.err, mutex);
            counter = counter + 1;
            OCIThreadMutexRelease(c.env, c.err, mutex);
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 40000);
    ASSERT_EQ(OCIThreadMutexDestroy(c.env, c.err, &mutex), OCI_SUCCESS);
    EXPECT_EQ(mutex, nullptr);
    EXPECT_EQ(OCIThreadMutexAcquire(c.env, c.err, mutex), OCI_ERROR);
}

TEST_F(DriverTest, MemoryIsClearedResizedFreedAndGoesWithTheEnvironment) {
    void* p = nullptr;
    ASSERT_EQ(OCIMemoryAlloc(c.env, c.err, &p, OCI_DURATION_SESSION, 64, OCI_MEMORY_CLEARED), OCI_SUCCESS);
    const std::vector<char> zeros(64, 0);
    EXPECT_EQ(std::memcmp(p, zeros.data(), 64), 0);
    std::memset(p, 'x', 64);
    ASSERT_EQ(OCIMemoryResize(c.env, c.err, &p, 128, OCI_MEMORY_CLEARED), OCI_SUCCESS);
    EXPECT_EQ(static_cast<char*>(p)[63], 'x');
    EXPECT_EQ(static_cast<char*>(p)[64], 0);
    EXPECT_EQ(static_cast<char*>(p)[127], 0);
    ASSERT_EQ(OCIMemoryFree(c.env, c.err, p), OCI_SUCCESS);
    EXPECT_EQ(OCIMemoryFree(c.env, c.err, p), OCI_ERROR) << "a block is freed once";
    EXPECT_EQ(code(), 21560);
    int local = 0;
    EXPECT_EQ(OCIMemoryFree(c.env, c.err, &local), OCI_ERROR) << "memory not handed out is refused";
    EXPECT_EQ(OCIMemoryAlloc(c.svc, c.err, &p, OCI_DURATION_SESSION, 8, 0), OCI_INVALID_HANDLE);

    // A block never freed is released with its environment (the leak checker of the sanitizer build sees it).
    void* kept = nullptr;
    ASSERT_EQ(OCIMemoryAlloc(c.ses, c.err, &kept, OCI_DURATION_SESSION, 32, 0), OCI_SUCCESS);
}

TEST_F(DriverTest, ContextValuesBelongToTheirHandle) {
    ub1 key[] = "pool.lastUse";
    int a = 1, b = 2;
    void* value = &a;
    ASSERT_EQ(OCIContextGetValue(c.ses, c.err, key, sizeof key - 1, &value), OCI_SUCCESS);
    EXPECT_EQ(value, nullptr) << "a key never set reads as null";
    ASSERT_EQ(OCIContextSetValue(c.ses, c.err, OCI_DURATION_SESSION, key, sizeof key - 1, &a), OCI_SUCCESS);
    ASSERT_EQ(OCIContextSetValue(c.env, c.err, OCI_DURATION_PROCESS, key, sizeof key - 1, &b), OCI_SUCCESS);
    OCIContextGetValue(c.ses, c.err, key, sizeof key - 1, &value);
    EXPECT_EQ(value, &a);
    OCIContextGetValue(c.env, c.err, key, sizeof key - 1, &value);
    EXPECT_EQ(value, &b);
    ASSERT_EQ(OCIContextClearValue(c.ses, c.err, key, sizeof key - 1), OCI_SUCCESS);
    OCIContextGetValue(c.ses, c.err, key, sizeof key - 1, &value);
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(OCIContextSetValue(c.svc, c.err, OCI_DURATION_SESSION, key, 3, &a), OCI_INVALID_HANDLE);
}

// ---- statement cache ----

TEST_F(DriverTest, CachedStatementsComeBackWithCursorClosedAndDefinesKeptReferenceUnsure) {
    c.ok("CREATE TABLE t (id NUMBER(9), name VARCHAR2(20))");
    c.ok("INSERT INTO t VALUES (1, 'one')");
    c.ok("INSERT INTO t VALUES (2, 'two')");
    c.ok("INSERT INTO t VALUES (3, 'three')");
    ASSERT_EQ(c.commit(), OCI_SUCCESS);

    const std::string sql = "SELECT name FROM t ORDER BY id";
    OCIStmt* first = prepare2(sql);
    ASSERT_EQ(lastRc, OCI_SUCCESS) << c.error();
    ASSERT_EQ(OCIStmtExecute(c.svc, first, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
    char name[21] = {};
    OCIDefine* def = nullptr;
    OCIDefineByPos(first, &def, c.err, 1, name, sizeof name, SQLT_STR, nullptr, nullptr, nullptr,
                   OCI_DEFAULT);
    ASSERT_EQ(OCIStmtFetch2(first, c.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_SUCCESS);
    EXPECT_STREQ(name, "one");
    // Released in the middle of its rows: the cursor closes, so the session may change the table.
    ASSERT_EQ(release(first), OCI_SUCCESS);
    c.ok("UPDATE t SET name = 'uno' WHERE id = 1");
    ASSERT_EQ(c.commit(), OCI_SUCCESS);

    OCIStmt* again = prepare2(sql);
    EXPECT_EQ(again, first) << "the same text finds the cached statement";
    ASSERT_EQ(OCIStmtExecute(c.svc, again, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
    ASSERT_EQ(OCIStmtFetch2(again, c.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_SUCCESS)
        << "the define made before the release is kept";
    EXPECT_STREQ(name, "uno");
    OCIStmt* other = prepare2(sql);
    EXPECT_NE(other, again) << "a statement in use is not handed out twice";
    EXPECT_EQ(release(other, OCI_STRLS_CACHE_DELETE), OCI_SUCCESS);
    EXPECT_EQ(release(again), OCI_SUCCESS);
    EXPECT_EQ(release(again), OCI_ERROR) << "a statement is released once";
}

TEST_F(DriverTest, CacheIsSearchedByTagAndBoundedByItsSize) {
    ub4 size = 0;
    ASSERT_EQ(OCIAttrGet(c.svc, OCI_HTYPE_SVCCTX, &size, nullptr, OCI_ATTR_STMTCACHESIZE, c.err),
              OCI_SUCCESS);
    EXPECT_EQ(size, OCI_DEFAULT_STMT_CACHE_SIZE);

    OCIStmt* tagged = prepare2("SELECT 1 FROM dual");
    ASSERT_EQ(OCIStmtRelease(tagged, c.err, reinterpret_cast<const OraText*>("one"), 3, OCI_DEFAULT),
              OCI_SUCCESS);
    EXPECT_EQ(prepare2("", "one", OCI_PREP2_CACHE_SEARCHONLY), tagged);
    ASSERT_EQ(lastRc, OCI_SUCCESS);
    release(tagged);
    EXPECT_EQ(prepare2("", "two", OCI_PREP2_CACHE_SEARCHONLY), nullptr);
    EXPECT_EQ(lastRc, OCI_ERROR);
    EXPECT_EQ(c.error(), "ORA-24431: Statement does not exist in the cache\n");

    size = 1;
    ASSERT_EQ(OCIAttrSet(c.svc, OCI_HTYPE_SVCCTX, &size, 0, OCI_ATTR_STMTCACHESIZE, c.err), OCI_SUCCESS);
    release(prepare2("SELECT 2 FROM dual"));
    release(prepare2("SELECT 3 FROM dual"));
    EXPECT_EQ(prepare2("SELECT 2 FROM dual", "", OCI_PREP2_CACHE_SEARCHONLY), nullptr)
        << "the older one left";
    OCIStmt* newest = prepare2("SELECT 3 FROM dual", "", OCI_PREP2_CACHE_SEARCHONLY);
    EXPECT_NE(newest, nullptr);
    release(newest);
}

TEST(DriverCache, SessionsBegunWithoutTheCacheModeCacheNothing) {
    TempData data;
    ASSERT_EQ(data.admin("create srv --user scott --password Tiger"), 0);
    Conn c;
    ASSERT_EQ(c.logon("SRV", "scott", "Tiger"), OCI_SUCCESS);
    OCIStmt* st = nullptr;
    const std::string sql = "SELECT 1 FROM dual";
    auto prep = [&](ub4 mode) {
        return OCIStmtPrepare2(c.svc, &st, c.err, reinterpret_cast<const OraText*>(sql.data()),
                               static_cast<ub4>(sql.size()), nullptr, 0, OCI_NTV_SYNTAX, mode);
    };
    ASSERT_EQ(prep(OCI_DEFAULT), OCI_SUCCESS);
    ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
    ASSERT_EQ(OCIStmtRelease(st, c.err, nullptr, 0, OCI_DEFAULT), OCI_SUCCESS);
    EXPECT_EQ(prep(OCI_PREP2_CACHE_SEARCHONLY), OCI_ERROR);
}

// ---- binds and defines with 32-bit lengths, callback binds, bind names ----

TEST_F(DriverTest, ThirtyTwoBitLengthsCarryValuesBeyondSixtyFourKilobytes) {
    c.ok("CREATE TABLE pics (id NUMBER(9), pic LONG RAW)");
    std::vector<unsigned char> in(70000);
    for (std::size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<unsigned char>(i * 7 + 3);
    OCIStmt* ins = prepare2("INSERT INTO pics VALUES (1, :pic)");
    OCIBind* b = nullptr;
    ub4 alen = static_cast<ub4>(in.size());
    ASSERT_EQ(OCIBindByName2(ins, &b, c.err, reinterpret_cast<const OraText*>(":pic"), 4, in.data(),
                             static_cast<sb8>(in.size()), SQLT_LBI, nullptr, &alen, nullptr, 0, nullptr,
                             OCI_DEFAULT),
              OCI_SUCCESS);
    ASSERT_EQ(OCIStmtExecute(c.svc, ins, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
        << c.error();
    release(ins);

    OCIStmt* sel = prepare2("SELECT pic FROM pics WHERE id = :1");
    sb8 id = 1;
    ASSERT_EQ(OCIBindByPos2(sel, &b, c.err, 1, &id, sizeof id, SQLT_INT, nullptr, nullptr, nullptr, 0,
                            nullptr, OCI_DEFAULT),
              OCI_SUCCESS);
    ASSERT_EQ(OCIStmtExecute(c.svc, sel, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
        << c.error();
    std::vector<unsigned char> out(100000, 0);
    ub4 rlen = 0;
    sb2 ind = -5;
    OCIDefine* d = nullptr;
    ASSERT_EQ(OCIDefineByPos2(sel, &d, c.err, 1, out.data(), static_cast<sb8>(out.size()), SQLT_LBI, &ind,
                              &rlen, nullptr, OCI_DEFAULT),
              OCI_SUCCESS);
    ASSERT_EQ(OCIStmtFetch2(sel, c.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_SUCCESS) << c.error();
    EXPECT_EQ(ind, OCI_IND_NOTNULL);
    ASSERT_EQ(rlen, in.size()) << "a ub2 length would have wrapped to " << (in.size() & 0xFFFF);
    EXPECT_TRUE(std::equal(in.begin(), in.end(), out.begin()));
    release(sel);
}

struct Pieces {
    std::vector<std::string> values; // one per iteration, sent in pieces of `step` bytes
    std::size_t step = 3;
    std::size_t offset = 0;
    sb2 nullInd = OCI_IND_NULL;
    std::vector<int> piecesPerIteration;
    static sb4 in(void* ctx, OCIBind*, ub4 iter, ub4, void** bufp, ub4* alenp, ub1* piecep, void** indp) {
        auto* self = static_cast<Pieces*>(ctx);
        if (self->piecesPerIteration.size() <= iter) {
            self->piecesPerIteration.resize(iter + 1);
            self->offset = 0;
        }
        ++self->piecesPerIteration[iter];
        const std::string& v = self->values[iter];
        if (v.empty()) {
            *bufp = nullptr;
            *alenp = 0;
            *indp = &self->nullInd;
            *piecep = OCI_ONE_PIECE;
            return OCI_CONTINUE;
        }
        const std::size_t n = std::min(self->step, v.size() - self->offset);
        *bufp = const_cast<char*>(v.data() + self->offset);
        *alenp = static_cast<ub4>(n);
        *indp = nullptr;
        *piecep = self->offset == 0 ? (n == v.size() ? OCI_ONE_PIECE : OCI_FIRST_PIECE)
                                    : (self->offset + n == v.size() ? OCI_LAST_PIECE : OCI_NEXT_PIECE);
        self->offset += n;
        return OCI_CONTINUE;
    }
};

TEST_F(DriverTest, InCallbacksGiveEachIterationsValueInPieces) {
    c.ok("CREATE TABLE notes (id NUMBER(9), body VARCHAR2(100))");
    OCIStmt* st = prepare2("INSERT INTO notes VALUES (:id, :body)");
    std::array<sb4, 3> ids = {1, 2, 3};
    OCIBind* idBind = nullptr;
    OCIBind* bodyBind = nullptr;
    ASSERT_EQ(OCIBindByPos2(st, &idBind, c.err, 1, ids.data(), sizeof(sb4), SQLT_INT, nullptr, nullptr,
                            nullptr, 0, nullptr, OCI_DEFAULT),
              OCI_SUCCESS);
    ASSERT_EQ(OCIBindByName2(st, &bodyBind, c.err, reinterpret_cast<const OraText*>("BODY"), 4, nullptr,
                             std::numeric_limits<sb4>::max(), SQLT_CHR, nullptr, nullptr, nullptr, 0, nullptr,
                             OCI_DATA_AT_EXEC),
              OCI_SUCCESS);
    Pieces pieces;
    pieces.values = {"Приказ №1", "", "ok"};
    ASSERT_EQ(OCIBindDynamic(bodyBind, c.err, &pieces, &Pieces::in, nullptr, nullptr), OCI_SUCCESS);
    ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 3, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
        << c.error();
    const int firstPieces = static_cast<int>((pieces.values[0].size() + pieces.step - 1) / pieces.step);
    EXPECT_EQ(pieces.piecesPerIteration, (std::vector<int>{firstPieces, 1, 1}));
    EXPECT_EQ(c.scalar("SELECT body FROM notes WHERE id = 1"), "Приказ №1");
    EXPECT_EQ(c.scalar("SELECT body FROM notes WHERE id = 2"), "<null>");
    EXPECT_EQ(c.scalar("SELECT body FROM notes WHERE id = 3"), "ok");

    OCIBind* plain = nullptr;
    char text[] = "x";
    ASSERT_EQ(OCIBindByName(st, &plain, c.err, reinterpret_cast<const OraText*>(":id"), 3, text, 1, SQLT_CHR,
                            nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT),
              OCI_SUCCESS);
    EXPECT_EQ(OCIBindDynamic(plain, c.err, &pieces, &Pieces::in, nullptr, nullptr), OCI_ERROR)
        << "callbacks need OCI_DATA_AT_EXEC";
    EXPECT_EQ(code(), 24300);
    release(st);
}

struct OutRowid {
    char buf[64] = {};
    ub4 len = 0;
    sb2 ind = 0;
    ub2 rcode = 0;
    ub4 rowsReturned = 99;
    OCIError* err = nullptr;
    static sb4 out(void* ctx, OCIBind* bind, ub4, ub4, void** bufp, ub4** alenp, ub1* piecep, void** indp,
                   ub2** rcodep) {
        auto* self = static_cast<OutRowid*>(ctx);
        OCIAttrGet(bind, OCI_HTYPE_BIND, &self->rowsReturned, nullptr, OCI_ATTR_ROWS_RETURNED, self->err);
        self->len = sizeof self->buf;
        *bufp = self->buf;
        *alenp = &self->len;
        *indp = &self->ind;
        *rcodep = &self->rcode;
        *piecep = OCI_ONE_PIECE;
        return OCI_CONTINUE;
    }
};

TEST_F(DriverTest, OutCallbacksReceiveReturnedRowids) {
    c.ok("CREATE TABLE t (id NUMBER(9))");
    OCIStmt* st = prepare2("INSERT INTO t VALUES (7) RETURNING ROWID INTO :rid");
    OCIBind* b = nullptr;
    ASSERT_EQ(OCIBindByName2(st, &b, c.err, reinterpret_cast<const OraText*>(":rid"), 4, nullptr, 64,
                             SQLT_CHR, nullptr, nullptr, nullptr, 0, nullptr, OCI_DATA_AT_EXEC),
              OCI_SUCCESS);
    OutRowid out;
    out.err = c.err;
    ASSERT_EQ(OCIBindDynamic(b, c.err, nullptr, nullptr, &out, &OutRowid::out), OCI_SUCCESS);
    ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
        << c.error();
    EXPECT_EQ(out.rowsReturned, 1u);
    EXPECT_EQ(out.ind, OCI_IND_NOTNULL);
    ASSERT_EQ(out.len, 18u);
    EXPECT_EQ(c.scalar("SELECT id FROM t WHERE ROWID = '" + std::string(out.buf, out.len) + "'"), "7");
    release(st);
}

TEST_F(DriverTest, BindNamesAreListedOnceInOrder) {
    OCIStmt* st = prepare2("SELECT :b, :a, :b, :\"Q\" FROM dual WHERE ':x' = :c");
    ub4 count = 0;
    ASSERT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_BIND_COUNT, c.err), OCI_SUCCESS);
    OraText* names[2] = {};
    ub1 lengths[2] = {};
    OraText* indNames[2] = {};
    ub1 indLengths[2] = {};
    ub1 dup[2] = {};
    OCIBind* handles[2] = {};
    sb4 found = 0;
    ASSERT_EQ(OCIStmtGetBindInfo(st, c.err, 2, 1, &found, names, lengths, indNames, indLengths, dup, handles),
              OCI_SUCCESS);
    EXPECT_EQ(found, -static_cast<sb4>(count)) << "more names than room: the count comes back negative";
    EXPECT_EQ(std::string(reinterpret_cast<char*>(names[0]), lengths[0]), "B");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(names[1]), lengths[1]), "A");
    ASSERT_EQ(OCIStmtGetBindInfo(st, c.err, 2, 3, &found, names, lengths, indNames, indLengths, dup, handles),
              OCI_SUCCESS);
    EXPECT_EQ(found, static_cast<sb4>(count));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(names[0]), lengths[0]), "C");
    release(st);
    OCIStmt* none = prepare2("SELECT 1 FROM dual");
    EXPECT_EQ(
        OCIStmtGetBindInfo(none, c.err, 2, 1, &found, names, lengths, indNames, indLengths, dup, handles),
        OCI_NO_DATA);
    release(none);
}

// ---- OCINumber ----

std::vector<ub1> bytes(const OCINumber& n) {
    return {n.OCINumberPart + 1, n.OCINumberPart + 1 + n.OCINumberPart[0]};
}

TEST_F(DriverTest, NumbersConvertExactlyThroughDecimalDigits) {
    OCINumber n{};
    const sb8 one = 1;
    ASSERT_EQ(OCINumberFromInt(c.err, &one, sizeof one, OCI_NUMBER_SIGNED, &n), OCI_SUCCESS);
    EXPECT_EQ(bytes(n), (std::vector<ub1>{0xC1, 0x02}));
    const sb4 minusOne = -1;
    ASSERT_EQ(OCINumberFromInt(c.err, &minusOne, sizeof minusOne, OCI_NUMBER_SIGNED, &n), OCI_SUCCESS);
    EXPECT_EQ(bytes(n), (std::vector<ub1>{0x3E, 0x64, 0x66}));

    for (const sb8 v : {sb8{0}, sb8{-7}, sb8{1234567890123}, std::numeric_limits<sb8>::min(),
                        std::numeric_limits<sb8>::max()}) {
        ASSERT_EQ(OCINumberFromInt(c.err, &v, sizeof v, OCI_NUMBER_SIGNED, &n), OCI_SUCCESS);
        sb8 back = 0;
        ASSERT_EQ(OCINumberToInt(c.err, &n, sizeof back, OCI_NUMBER_SIGNED, &back), OCI_SUCCESS) << v;
        EXPECT_EQ(back, v);
    }
    const ub8 big = std::numeric_limits<ub8>::max();
    ASSERT_EQ(OCINumberFromInt(c.err, &big, sizeof big, OCI_NUMBER_UNSIGNED, &n), OCI_SUCCESS);
    ub8 bigBack = 0;
    ASSERT_EQ(OCINumberToInt(c.err, &n, sizeof bigBack, OCI_NUMBER_UNSIGNED, &bigBack), OCI_SUCCESS);
    EXPECT_EQ(bigBack, big);
    sb4 small = 0;
    EXPECT_EQ(OCINumberToInt(c.err, &n, sizeof small, OCI_NUMBER_SIGNED, &small), OCI_ERROR);
    EXPECT_EQ(c.error(), "ORA-22053: overflow error\n");

    for (const double v :
         {0.1, 12345.678, -0.001, 0.30000000000000004, 1e-120, -9.87654321e125, 5e-324 * 0 + 2.5}) {
        ASSERT_EQ(OCINumberFromReal(c.err, &v, sizeof v, &n), OCI_SUCCESS) << v;
        double back = 0;
        ASSERT_EQ(OCINumberToReal(c.err, &n, sizeof back, &back), OCI_SUCCESS);
        EXPECT_EQ(back, v) << "the shortest decimal reads back as the same double";
    }
    const float f = 0.1f;
    ASSERT_EQ(OCINumberFromReal(c.err, &f, sizeof f, &n), OCI_SUCCESS);
    EXPECT_EQ(bytes(n), (std::vector<ub1>{0xC0, 0x0B})) << "a float 0.1 is the number .1";
    const double inf = INFINITY;
    EXPECT_EQ(OCINumberFromReal(c.err, &inf, sizeof inf, &n), OCI_ERROR);

    OCINumber bad{};
    double unused = 0;
    EXPECT_EQ(OCINumberToReal(c.err, &bad, sizeof unused, &unused), OCI_ERROR);
    EXPECT_EQ(code(), 22060);
}

TEST_F(DriverTest, NumberToIntRoundsHalvesAwayFromZeroReferenceUnsure) {
    OCINumber n{};
    for (const auto& [value, expected] :
         {std::pair{-2.5, -3}, std::pair{2.5, 3}, std::pair{2.49, 2}, std::pair{0.5, 1}}) {
        OCINumberFromReal(c.err, &value, sizeof value, &n);
        sb2 rounded = 0;
        ASSERT_EQ(OCINumberToInt(c.err, &n, sizeof rounded, OCI_NUMBER_SIGNED, &rounded), OCI_SUCCESS);
        EXPECT_EQ(rounded, expected) << value;
    }
}

TEST_F(DriverTest, NumbersBoundAndFetchedAsOciNumbersKeepEveryDigit) {
    c.ok("CREATE TABLE amounts (id NUMBER(9), v NUMBER)");
    OCIStmt* ins = prepare2("INSERT INTO amounts VALUES (:1, :2)");
    OCINumber id{}, v{};
    OCIBind* b = nullptr;
    OCIBindByPos2(ins, &b, c.err, 1, &id, sizeof id, SQLT_VNU, nullptr, nullptr, nullptr, 0, nullptr,
                  OCI_DEFAULT);
    OCIBindByPos2(ins, &b, c.err, 2, &v, sizeof v, SQLT_VNU, nullptr, nullptr, nullptr, 0, nullptr,
                  OCI_DEFAULT);
    const std::vector<double> values = {0.30000000000000004, 123456789.123456, -1.5e-20, 9007199254740993.0};
    for (std::size_t i = 0; i < values.size(); ++i) {
        const sb4 key = static_cast<sb4>(i);
        OCINumberFromInt(c.err, &key, sizeof key, OCI_NUMBER_SIGNED, &id);
        OCINumberFromReal(c.err, &values[i], sizeof(double), &v);
        ASSERT_EQ(OCIStmtExecute(c.svc, ins, c.err, 1, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
            << c.error();
    }
    release(ins);
    OCIStmt* sel = prepare2("SELECT v FROM amounts ORDER BY id");
    ASSERT_EQ(OCIStmtExecute(c.svc, sel, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
    std::array<OCINumber, 4> out{};
    OCIDefine* d = nullptr;
    OCIDefineByPos2(sel, &d, c.err, 1, out.data(), sizeof(OCINumber), SQLT_VNU, nullptr, nullptr, nullptr,
                    OCI_DEFAULT);
    ASSERT_EQ(OCIStmtFetch2(sel, c.err, 4, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_SUCCESS) << c.error();
    for (std::size_t i = 0; i < values.size(); ++i) {
        double back = 0;
        OCINumberToReal(c.err, &out[i], sizeof back, &back);
        EXPECT_EQ(back, values[i]);
    }
    release(sel);
}

// ---- OCIDateTime and OCIInterval ----

TEST_F(DriverTest, DateTimesKeepTheirZoneAndSubtractToIntervals) {
    ::setenv("ORA_SDTZ", "+05:00", 1);
    auto* ltz = static_cast<OCIDateTime*>(descriptor(c.env, OCI_DTYPE_TIMESTAMP_LTZ));
    auto* tz = static_cast<OCIDateTime*>(descriptor(c.env, OCI_DTYPE_TIMESTAMP_TZ));
    auto* ts = static_cast<OCIDateTime*>(descriptor(c.env, OCI_DTYPE_TIMESTAMP));
    auto* base = static_cast<OCIDateTime*>(descriptor(c.env, OCI_DTYPE_TIMESTAMP_TZ));
    auto* iv = static_cast<OCIInterval*>(descriptor(c.env, OCI_DTYPE_INTERVAL_DS));
    OraText plus3[] = "+03:00";
    OraText utc[] = "UTC";
    ASSERT_EQ(OCIDateTimeConstruct(c.env, c.err, base, 1970, 1, 1, 0, 0, 0, 0, utc, 3), OCI_SUCCESS);
    ASSERT_EQ(OCIDateTimeConstruct(c.env, c.err, tz, 2026, 3, 15, 12, 30, 0, 250000000, plus3, 6),
              OCI_SUCCESS);

    ASSERT_EQ(OCIDateTimeSubtract(c.env, c.err, tz, base, iv), OCI_SUCCESS);
    sb4 dy, hr, mi, ss, fs;
    ASSERT_EQ(OCIIntervalGetDaySecond(c.env, c.err, &dy, &hr, &mi, &ss, &fs, iv), OCI_SUCCESS);
    // 2026-03-15 09:30 UTC is 20527 days and 9.5 hours after the epoch.
    EXPECT_EQ(std::vector<sb4>({dy, hr, mi, ss, fs}), (std::vector<sb4>{20527, 9, 30, 0, 250000000}));

    ASSERT_EQ(OCIDateTimeIntervalAdd(c.env, c.err, base, iv, ltz), OCI_SUCCESS);
    sb2 y;
    ub1 mo, d, h, m, s;
    ub4 f;
    sb1 th, tm;
    ASSERT_EQ(OCIDateTimeGetDate(c.env, c.err, ltz, &y, &mo, &d), OCI_SUCCESS);
    ASSERT_EQ(OCIDateTimeGetTime(c.env, c.err, ltz, &h, &m, &s, &f), OCI_SUCCESS);
    ASSERT_EQ(OCIDateTimeGetTimeZoneOffset(c.env, c.err, ltz, &th, &tm), OCI_SUCCESS);
    EXPECT_EQ(std::vector<int>({y, mo, d, h, m, s, static_cast<int>(f), th, tm}),
              (std::vector<int>{2026, 3, 15, 14, 30, 0, 250000000, 5, 0}))
        << "the same instant shown in the session's zone";

    ASSERT_EQ(OCIDateTimeConvert(c.env, c.err, tz, ts), OCI_SUCCESS);
    OCIDateTimeGetTime(c.env, c.err, ts, &h, &m, &s, &f);
    EXPECT_EQ(h, 12) << "a TIMESTAMP keeps the wall clock of the value it came from";
    EXPECT_EQ(OCIDateTimeGetTimeZoneOffset(c.env, c.err, ts, &th, &tm), OCI_ERROR);
    EXPECT_EQ(code(), 30076);

    OraText minus = 0;
    EXPECT_EQ(OCIDateTimeConstruct(c.env, c.err, ts, 2025, 2, 29, 0, 0, 0, 0, &minus, 0), OCI_ERROR);
    EXPECT_EQ(code(), 1847);
    OraText region[] = "Mars/Olympus";
    EXPECT_EQ(OCIDateTimeConstruct(c.env, c.err, tz, 2025, 1, 1, 0, 0, 0, 0, region, 12), OCI_ERROR);
    EXPECT_EQ(code(), 1882);

    auto* ym = static_cast<OCIInterval*>(descriptor(c.env, OCI_DTYPE_INTERVAL_YM));
    ASSERT_EQ(OCIIntervalSetYearMonth(c.env, c.err, 0, 1, ym), OCI_SUCCESS);
    OCIDateTimeConstruct(c.env, c.err, ts, 2025, 1, 31, 0, 0, 0, 0, nullptr, 0);
    EXPECT_EQ(OCIDateTimeIntervalAdd(c.env, c.err, ts, ym, ts), OCI_ERROR) << "there is no 31 February";
    EXPECT_EQ(code(), 1839);
    ASSERT_EQ(OCIIntervalSetDaySecond(c.env, c.err, -1, -2, 0, 0, -500000000, iv), OCI_SUCCESS);
    OCIIntervalGetDaySecond(c.env, c.err, &dy, &hr, &mi, &ss, &fs, iv);
    EXPECT_EQ(std::vector<sb4>({dy, hr, mi, ss, fs}), (std::vector<sb4>{-1, -2, 0, 0, -500000000}));
    for (void* p : {static_cast<void*>(ltz), static_cast<void*>(tz), static_cast<void*>(base)})
        OCIDescriptorFree(p, 0) == OCI_SUCCESS ? void() : ADD_FAILURE();
}

TEST_F(DriverTest, DatesTravelAsTimestampDescriptorsInTheSessionZone) {
    ::setenv("ORA_SDTZ", "-04:00", 1);
    c.ok("CREATE TABLE events (id NUMBER(9), at DATE)");
    void* in[2] = {};
    ASSERT_EQ(OCIArrayDescriptorAlloc(c.env, in, OCI_DTYPE_TIMESTAMP_LTZ, 2, 0, nullptr), OCI_SUCCESS);
    OraText moscow[] = "+03:00";
    // 10:20:30 in Moscow is 03:20:30 in the session's zone; the DATE keeps the session's wall clock.
    OCIDateTimeConstruct(c.env, c.err, static_cast<OCIDateTime*>(in[0]), 1990, 5, 17, 10, 20, 30, 0, moscow,
                         6);
    OCIDateTimeConstruct(c.env, c.err, static_cast<OCIDateTime*>(in[1]), 2026, 1, 31, 23, 59, 59, 0, nullptr,
                         0);
    OCIStmt* ins = prepare2("INSERT INTO events VALUES (:1, :2)");
    std::array<sb4, 2> ids = {1, 2};
    OCIBind* b = nullptr;
    OCIBindByPos2(ins, &b, c.err, 1, ids.data(), sizeof(sb4), SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr,
                  OCI_DEFAULT);
    OCIBindByPos2(ins, &b, c.err, 2, in, sizeof(void*), SQLT_TIMESTAMP_LTZ, nullptr, nullptr, nullptr, 0,
                  nullptr, OCI_DEFAULT);
    ASSERT_EQ(OCIStmtExecute(c.svc, ins, c.err, 2, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS)
        << c.error();
    release(ins);
    EXPECT_EQ(c.scalar("SELECT TO_CHAR(at, 'YYYY-MM-DD HH24:MI:SS') FROM events WHERE id = 1"),
              "1990-05-17 03:20:30");
    EXPECT_EQ(c.scalar("SELECT TO_CHAR(at, 'YYYY-MM-DD HH24:MI:SS') FROM events WHERE id = 2"),
              "2026-01-31 23:59:59");

    void* out[2] = {};
    ASSERT_EQ(OCIArrayDescriptorAlloc(c.env, out, OCI_DTYPE_TIMESTAMP_TZ, 2, 0, nullptr), OCI_SUCCESS);
    OCIStmt* sel = prepare2("SELECT at FROM events ORDER BY id");
    ASSERT_EQ(OCIStmtExecute(c.svc, sel, c.err, 0, 0, nullptr, nullptr, OCI_DEFAULT), OCI_SUCCESS);
    OCIDefine* d = nullptr;
    OCIDefineByPos2(sel, &d, c.err, 1, out, sizeof(void*), SQLT_TIMESTAMP_TZ, nullptr, nullptr, nullptr,
                    OCI_DEFAULT);
    ASSERT_EQ(OCIStmtFetch2(sel, c.err, 2, OCI_FETCH_NEXT, 0, OCI_DEFAULT), OCI_SUCCESS) << c.error();
    auto* iv = static_cast<OCIInterval*>(descriptor(c.env, OCI_DTYPE_INTERVAL_DS));
    ASSERT_EQ(OCIDateTimeSubtract(c.env, c.err, static_cast<OCIDateTime*>(out[0]),
                                  static_cast<OCIDateTime*>(in[0]), iv),
              OCI_SUCCESS);
    sb4 dy, hr, mi, ss, fs;
    OCIIntervalGetDaySecond(c.env, c.err, &dy, &hr, &mi, &ss, &fs, iv);
    EXPECT_EQ(std::vector<sb4>({dy, hr, mi, ss, fs}), (std::vector<sb4>{0, 0, 0, 0, 0}))
        << "the same instant";
    sb1 th, tm;
    OCIDateTimeGetTimeZoneOffset(c.env, c.err, static_cast<OCIDateTime*>(out[1]), &th, &tm);
    EXPECT_EQ(th, -4);
    release(sel);
    EXPECT_EQ(OCIArrayDescriptorFree(in, OCI_DTYPE_TIMESTAMP_LTZ), OCI_SUCCESS);
    EXPECT_EQ(OCIArrayDescriptorFree(out, OCI_DTYPE_TIMESTAMP_TZ), OCI_SUCCESS);
    EXPECT_EQ(OCIArrayDescriptorFree(out, OCI_DTYPE_TIMESTAMP_TZ), OCI_INVALID_HANDLE);
}

// ---- NLS, server release, attributes read at connect ----

TEST_F(DriverTest, CharacterSetNamesIdsAndWidths) {
    OraText name[32] = {};
    ASSERT_EQ(OCINlsCharSetIdToName(c.env, name, sizeof name, OCI_AL32UTF8_ID), OCI_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(name), "AL32UTF8");
    EXPECT_EQ(OCINlsCharSetIdToName(c.env, name, 4, OCI_AL32UTF8_ID), OCI_ERROR) << "no room for the name";
    EXPECT_EQ(OCINlsCharSetNameToId(c.env, reinterpret_cast<const OraText*>("cl8mswin1251")), 171);
    EXPECT_EQ(OCINlsCharSetNameToId(c.env, reinterpret_cast<const OraText*>("NOSUCH")), 0);
    ASSERT_EQ(OCINlsNameMap(c.env, name, sizeof name, reinterpret_cast<const OraText*>("UTF-8"),
                            OCI_NLS_CS_IANA_TO_ORA),
              OCI_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(name), "AL32UTF8");
    ASSERT_EQ(OCINlsNameMap(c.env, name, sizeof name, reinterpret_cast<const OraText*>("CL8MSWIN1251"),
                            OCI_NLS_CS_ORA_TO_IANA),
              OCI_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(name), "WINDOWS-1251");
    sb4 width = 0;
    ASSERT_EQ(OCINlsNumericInfoGet(c.env, c.err, &width, OCI_NLS_CHARSET_MAXBYTESZ), OCI_SUCCESS);
    EXPECT_EQ(width, 4);

    ub2 id = 0;
    std::size_t size = 0;
    ::setenv("NLS_LANG", "RUSSIAN_CIS.CL8MSWIN1251", 1);
    ASSERT_EQ(OCINlsEnvironmentVariableGet(&id, sizeof id, OCI_NLS_CHARSET_ID, 0, &size), OCI_SUCCESS);
    EXPECT_EQ(id, 171);
    EXPECT_EQ(size, sizeof id);
    ::unsetenv("NLS_LANG");
    ASSERT_EQ(OCINlsEnvironmentVariableGet(&id, sizeof id, OCI_NLS_CHARSET_ID, 0, &size), OCI_SUCCESS);
    EXPECT_EQ(id, OCI_AL32UTF8_ID) << "this client works in AL32UTF8 when NLS_LANG is not set";
}

TEST_F(DriverTest, ServerReleaseNumberLayoutReferenceUnsure) {
    OraText banner[256] = {};
    ub4 release = 0;
    ASSERT_EQ(OCIServerRelease(c.svc, c.err, banner, sizeof banner, OCI_HTYPE_SVCCTX, &release), OCI_SUCCESS);
    EXPECT_NE(std::string(reinterpret_cast<char*>(banner)).find("19.3.0.0.0"), std::string::npos);
    EXPECT_EQ(release >> 24, 19u);
    EXPECT_EQ((release >> 16) & 0xFF, 3u);
    ASSERT_EQ(OCIServerRelease2(c.srv, c.err, banner, sizeof banner, OCI_HTYPE_SERVER, &release, OCI_DEFAULT),
              OCI_SUCCESS);
    EXPECT_EQ(release, ociReleaseNumber(19, 3, 0, 0, 0));
    OCIServer* detached = nullptr;
    OCIHandleAlloc(c.env, reinterpret_cast<void**>(&detached), OCI_HTYPE_SERVER, 0, nullptr);
    EXPECT_EQ(OCIServerRelease(detached, c.err, banner, sizeof banner, OCI_HTYPE_SERVER, &release),
              OCI_ERROR);
    EXPECT_EQ(code(), 3114);
}

TEST_F(DriverTest, AttributesDriversReadAtConnectAndAroundCallsReferenceUnsure) {
    ub2 charset = 0;
    ASSERT_EQ(OCIAttrGet(c.srv, OCI_HTYPE_SERVER, &charset, nullptr, OCI_ATTR_CHARSET_ID, c.err),
              OCI_SUCCESS);
    EXPECT_EQ(charset, OCI_AL32UTF8_ID);
    OraText* text = nullptr;
    ub4 len = 0;
    ASSERT_EQ(OCIAttrGet(c.srv, OCI_HTYPE_SERVER, &text, &len, OCI_ATTR_DBNAME, c.err), OCI_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text), len), "SRV");
    ASSERT_EQ(OCIAttrGet(c.ses, OCI_HTYPE_SESSION, &text, &len, OCI_ATTR_CURRENT_SCHEMA, c.err), OCI_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text), len), "SCOTT");
    char other[] = "HR";
    EXPECT_EQ(OCIAttrSet(c.ses, OCI_HTYPE_SESSION, other, 2, OCI_ATTR_CURRENT_SCHEMA, c.err), OCI_ERROR);
    EXPECT_EQ(code(), 3001);
    char driver[] = "test driver : 1.0";
    ASSERT_EQ(OCIAttrSet(c.ses, OCI_HTYPE_SESSION, driver, sizeof driver - 1, OCI_ATTR_DRIVER_NAME, c.err),
              OCI_SUCCESS);
    ASSERT_EQ(OCIAttrGet(c.ses, OCI_HTYPE_SESSION, &text, &len, OCI_ATTR_DRIVER_NAME, c.err), OCI_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text), len), driver);

    int inTransaction = 7;
    ASSERT_EQ(OCIAttrGet(c.ses, OCI_HTYPE_SESSION, &inTransaction, nullptr, OCI_ATTR_TRANSACTION_IN_PROGRESS,
                         c.err),
              OCI_SUCCESS);
    EXPECT_EQ(inTransaction, 0);
    c.ok("CREATE TABLE t (id NUMBER(9))");
    c.ok("INSERT INTO t VALUES (1)");
    OCIAttrGet(c.ses, OCI_HTYPE_SESSION, &inTransaction, nullptr, OCI_ATTR_TRANSACTION_IN_PROGRESS, c.err);
    EXPECT_EQ(inTransaction, 1);
    c.commit();
    OCIAttrGet(c.ses, OCI_HTYPE_SESSION, &inTransaction, nullptr, OCI_ATTR_TRANSACTION_IN_PROGRESS, c.err);
    EXPECT_EQ(inTransaction, 0);

    int recoverable = 7;
    ASSERT_EQ(OCIAttrGet(c.err, OCI_HTYPE_ERROR, &recoverable, nullptr, OCI_ATTR_ERROR_IS_RECOVERABLE, c.err),
              OCI_SUCCESS);
    EXPECT_EQ(recoverable, 0) << "a whole boolean is written";

    // A column's name stays readable after its descriptor is freed, while the statement lives.
    OCIStmt* st = prepare2("select * from dual");
    ASSERT_EQ(OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, OCI_DESCRIBE_ONLY), OCI_SUCCESS);
    void* param = nullptr;
    ASSERT_EQ(OCIParamGet(st, OCI_HTYPE_STMT, c.err, &param, 1), OCI_SUCCESS);
    ASSERT_EQ(OCIAttrGet(param, OCI_DTYPE_PARAM, &text, &len, OCI_ATTR_NAME, c.err), OCI_SUCCESS);
    ub1 isJson = 7;
    ASSERT_EQ(OCIAttrGet(param, OCI_DTYPE_PARAM, &isJson, nullptr, OCI_ATTR_JSON_COL, c.err), OCI_SUCCESS);
    EXPECT_EQ(isJson, 0);
    OCIDescriptorFree(param, OCI_DTYPE_PARAM);
    void* reuse = nullptr;
    OCIParamGet(st, OCI_HTYPE_STMT, c.err, &reuse, 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text), len), "DUMMY");
    OCIDescriptorFree(reuse, OCI_DTYPE_PARAM);
    release(st);
}

TEST_F(DriverTest, SqlIdIsOraclesHashOfTheTextReferenceUnsure) {
    OCIStmt* st = prepare2("select * from dual");
    OraText* text = nullptr;
    ub4 len = 0;
    ASSERT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, &text, &len, OCI_ATTR_SQL_ID, c.err), OCI_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text), len), "a5ks9fhw2v9s1");
    release(st);
}

// ---- what is refused ----

TEST_F(DriverTest, FeaturesNotBuiltFailWithOracleErrors) {
    c.ok("CREATE TABLE t (id NUMBER(9))");
    OCIStmt* st = prepare2("SELECT id FROM t");
    for (const ub4 mode : {OCI_STMT_SCROLLABLE_READONLY, OCI_BATCH_ERRORS, OCI_RETURN_ROW_COUNT_ARRAY}) {
        EXPECT_EQ(OCIStmtExecute(c.svc, st, c.err, 0, 0, nullptr, nullptr, mode), OCI_ERROR) << mode;
        EXPECT_EQ(c.error(), "ORA-03001: unimplemented feature\n");
    }
    release(st);

    void* pool = nullptr;
    ASSERT_EQ(OCIHandleAlloc(c.env, &pool, OCI_HTYPE_SPOOL, 0, nullptr), OCI_SUCCESS);
    ub4 value = 1;
    EXPECT_EQ(OCIAttrSet(pool, OCI_HTYPE_SPOOL, &value, 0, 1, c.err), OCI_ERROR);
    EXPECT_EQ(code(), 3001);
    EXPECT_EQ(OCISessionPoolDestroy(static_cast<OCISPool*>(pool), c.err, OCI_DEFAULT), OCI_ERROR);
    EXPECT_EQ(code(), 3001);
    void* lob = descriptor(c.env, OCI_DTYPE_LOB);
    EXPECT_EQ(OCILobGetLength2(c.svc, c.err, static_cast<OCILobLocator*>(lob), nullptr), OCI_ERROR);
    EXPECT_EQ(code(), 3001);
    EXPECT_EQ(OCITransStart(c.svc, c.err, 60, 0), OCI_ERROR);
    EXPECT_EQ(code(), 3001);
    EXPECT_EQ(OCIDBShutdown(c.svc, c.err, nullptr, 0), OCI_ERROR);
    EXPECT_EQ(c.error(), "ORA-01031: insufficient privileges\n");
    const std::string type = "SCOTT.POINT";
    EXPECT_EQ(OCITypeByFullName(c.env, c.err, c.svc, reinterpret_cast<const OraText*>(type.data()),
                                static_cast<ub4>(type.size()), nullptr, 0, OCI_DURATION_SESSION, 0, nullptr),
              OCI_ERROR);
    EXPECT_EQ(c.error(), "ORA-04043: object SCOTT.POINT does not exist\n");
    EXPECT_EQ(OCILobGetLength2(c.svc, nullptr, nullptr, nullptr), OCI_INVALID_HANDLE);
}

TEST(DriverExports, OnlyOciEntryPointsAreExported) {
    const std::string cmd = "nm -D --defined-only '" + std::string(KMR_BIN_DIR) + "/libocisqlite.so'";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    char line[512];
    std::vector<std::string> names;
    while (std::fgets(line, sizeof line, p)) {
        std::string s(line);
        s.erase(s.find_last_not_of("\n") + 1);
        names.push_back(s.substr(s.rfind(' ') + 1));
    }
    ASSERT_EQ(::pclose(p), 0);
    for (const char* wanted :
         {"OCIThreadProcessInit", "OCIThreadKeyGet", "OCIStmtPrepare2", "OCIStmtRelease", "OCIServerRelease2",
          "OCIBindByName2", "OCIDefineByPos2", "OCIBindDynamic", "OCINumberToReal", "OCIDateTimeSubtract",
          "OCIMemoryAlloc", "OCIContextGetValue", "OCISessionPoolCreate", "OCILobRead2"})
        EXPECT_NE(std::find(names.begin(), names.end(), wanted), names.end()) << wanted;
    for (const std::string& name : names)
        EXPECT_EQ(name.rfind("OCI", 0), 0u) << name << " should not be exported";
}

} // namespace
