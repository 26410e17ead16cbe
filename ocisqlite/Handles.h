// The objects behind the opaque OCI handles and descriptors.
// Every handle is registered in a process-wide table so that a stale or foreign pointer is recognised
// (OCI_INVALID_HANDLE) instead of being dereferenced.
#pragma once

#include "Connection.h"
#include "Translator.h"
#include "oracle/OciDriverDefs.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace ocisqlite {

struct Env;

struct Handle {
    ub4 type = 0;
    bool descriptor = false;
    Env* env = nullptr;
    Handle* parent = nullptr;
    std::vector<Handle*> children;
    virtual ~Handle() = default;
};

struct ErrorRecord {
    sb4 code = 0;
    std::string text; // "ORA-nnnnn: ..." without the final line end
};

struct Error : Handle {
    std::vector<ErrorRecord> records;
    void clear() { records.clear(); }
    void set(int code, std::string text) {
        records.clear();
        records.push_back({code, std::move(text)});
    }
};

struct Env : Handle {
    // Serialises every call on the handles of this environment (OCI_THREADED semantics).
    std::shared_ptr<std::recursive_mutex> mutex = std::make_shared<std::recursive_mutex>();
    ub4 mode = 0;
    ub2 charset = OCI_AL32UTF8_ID;
    ub2 ncharset = OCI_AL32UTF8_ID;
    Error errors; // records of failures reported on the environment handle
    // Blocks of OCIMemoryAlloc and values of OCIContextSetValue; the blocks go with the environment.
    std::unordered_map<void*, std::size_t> userMemory; // block -> size
    std::map<std::string, void*> contextValues;
    ~Env() override {
        for (const auto& [p, size] : userMemory)
            std::free(p);
    }
};

struct Server : Handle {
    bool attached = false;
    std::string identifier;
    std::string path;
    std::map<ub4, std::string> textAttributes; // database and service names read by drivers
};

struct Session : Handle {
    // OCI_ATTR_USERNAME and OCI_ATTR_PASSWORD point into the client's own buffers until
    // OCISessionBegin reads them, as with a real client library: a buffer freed before then gives a
    // wrong logon, not a lucky one.
    const char* usernameRef = nullptr;
    ub4 usernameSize = 0;
    const char* passwordRef = nullptr;
    ub4 passwordSize = 0;
    std::string username; // read at OCISessionBegin
    std::string password;
    std::string module, action, clientInfo;
    std::unique_ptr<Connection> conn; // present between OCISessionBegin and OCISessionEnd
    ub4 beginMode = 0;                // mode of the last OCISessionBegin (OCI_STMT_CACHE)
    std::map<std::string, void*> contextValues;
    std::map<ub4, std::string> textAttributes; // driver name, client identifier ...
};

struct Stmt;

struct SvcCtx : Handle {
    Server* server = nullptr;
    Session* session = nullptr;
    ub4 callTimeoutMs = 0; // OCI_ATTR_CALL_TIMEOUT; also given to the session's connection
    // Statements released through OCIStmtRelease, least recently used first.
    ub4 stmtCacheSize = OCI_DEFAULT_STMT_CACHE_SIZE;
    std::vector<Stmt*> stmtCache;
    void* transaction = nullptr; // OCI_ATTR_TRANS: kept for reading back, only local transactions run
};

struct Bind : Handle {
    Stmt* stmt = nullptr;
    std::string name; // upper case, no colon; empty for a positional bind
    ub4 position = 0;
    void* valuep = nullptr;
    sb4 valueSize = 0;
    ub2 dty = 0;
    sb2* indp = nullptr;
    ub2* alenp = nullptr;
    ub4* alen4p = nullptr; // OCIBindByName2/OCIBindByPos2
    ub2* rcodep = nullptr;
    ub4 maxarr = 0;
    ub4* curelep = nullptr;
    ub4 mode = 0;
    // OCI_DATA_AT_EXEC: the pieces received through OCIStmtSetPieceInfo.
    std::string pieces;
    bool piecesNull = false;
    bool piecesComplete = false;
    // OCIBindDynamic: values asked from the in-callback, one per iteration, before the statement runs.
    void* inCtx = nullptr;
    OCICallbackInBind inCallback = nullptr;
    void* outCtx = nullptr;
    OCICallbackOutBind outCallback = nullptr;
    std::vector<std::optional<std::string>> callbackValues;
    ub4 rowsReturned = 0; // OCI_ATTR_ROWS_RETURNED while an out-callback runs

    std::size_t length(ub4 iter) const { return alen4p ? alen4p[iter] : alenp ? alenp[iter] : 0; }
    bool hasLength() const { return alenp || alen4p; }
    void setLength(ub4 iter, std::size_t n) const {
        if (alen4p)
            alen4p[iter] = static_cast<ub4>(n);
        else if (alenp)
            alenp[iter] = static_cast<ub2>(n);
    }
};

struct Define : Handle {
    Stmt* stmt = nullptr;
    ub4 position = 0;
    void* valuep = nullptr;
    sb4 valueSize = 0;
    ub2 dty = 0;
    sb2* indp = nullptr;
    ub2* rlenp = nullptr;
    ub4* rlen4p = nullptr; // OCIDefineByPos2
    ub2* rcodep = nullptr;
    ub4 mode = 0;
    void* cbctx = nullptr;
    OCICallbackDefine callback = nullptr;

    void setLength(ub4 iter, std::size_t n) const {
        if (rlen4p)
            rlen4p[iter] = static_cast<ub4>(n);
        else if (rlenp)
            rlenp[iter] = static_cast<ub2>(n);
    }
};

// Oracle's view of one select-list item.
struct ColumnDesc {
    std::string name;
    ub2 dataType = SQLT_CHR;
    ub2 dataSize = 0;
    sb2 precision = 0;
    sb1 scale = 0;
    ub1 isNull = 1;
    ub1 charUsed = 0;
    ub2 charSize = 0;
    bool isDate() const { return dataType == SQLT_DAT; }
};

// Texts that OCIAttrGet hands out and that stay valid while their owner lives; when the owner lets go
// of them they are retired (retireDescriptorText), so a client that reads one too late sees garbage.
class HandedOutTexts {
public:
    HandedOutTexts() = default;
    HandedOutTexts(const HandedOutTexts&) = delete;
    HandedOutTexts& operator=(const HandedOutTexts&) = delete;
    ~HandedOutTexts() { clear(); }
    // A stable, NUL-terminated copy of text, one per distinct text; null when out of memory.
    const char* keep(const std::string& text);
    void clear();

private:
    std::vector<std::pair<char*, std::size_t>> texts_;
};

struct Param : Handle {
    ColumnDesc desc;
    HandedOutTexts texts; // the name when its statement no longer describes the column
};

struct Rowid : Handle {
    bool valid = false;
    std::uint32_t objectNumber = 0;
    std::int64_t rowid = 0;
};

// OCIDateTime: a TIMESTAMP keeps its wall-clock time as if it were UTC; TIMESTAMP WITH (LOCAL) TIME ZONE
// keep the instant, and WITH TIME ZONE also its offset.
struct DateTime : Handle {
    bool set = false;
    std::int64_t seconds = 0; // since 1970-01-01 00:00:00
    ub4 fsec = 0;             // nanoseconds
    int tzMinutes = 0;        // OCI_DTYPE_TIMESTAMP_TZ only
};

// OCIInterval: day to second as seconds and nanoseconds (nanos take the sign of seconds), or months.
struct Interval : Handle {
    bool set = false;
    std::int64_t seconds = 0;
    std::int32_t nanos = 0;
    std::int32_t months = 0;
};

struct Generic : Handle {};

// Where a polling (OCIStmtGetPieceInfo) piecewise transfer stands.
struct PieceState {
    bool active = false;
    Handle* handle = nullptr; // the Bind or Define waiting for a buffer
    ub1 inOut = OCI_PARAM_OUT;
    ub1 piece = OCI_FIRST_PIECE;
    ub4 iter = 0;
    // buffer supplied through OCIStmtSetPieceInfo
    bool supplied = false;
    void* buf = nullptr;
    ub4* alenp = nullptr;
    sb2* indp = nullptr;
    ub2* rcodep = nullptr;
    // output side: how much of the current value went out
    std::size_t offset = 0;
};

// The key of a bind in Stmt::bindByKey: its name, or "#<position>" for a bind by position.
inline std::string bindKey(const std::string& name, ub4 position) {
    return name.empty() ? "#" + std::to_string(position) : name;
}

struct Stmt : Handle {
    // Column names handed out through parameter descriptors: as in Oracle, they belong to the
    // statement's describe and outlive the descriptor, until the statement is prepared anew or freed.
    HandedOutTexts describeTexts;
    std::string text;
    ub2 stmtType = OCI_STMT_UNKNOWN;
    std::vector<std::string> placeholders; // upper case, from the Oracle text, in order of appearance
    bool prepared = false;

    std::vector<Bind*> binds;
    // Lookups that stay cheap with thousands of binds: the placeholder names, the binds by bindKey().
    std::unordered_set<std::string> placeholderSet;
    std::unordered_map<std::string, Bind*> bindByKey;
    std::vector<Define*> defines; // index = position - 1 (null when not defined)

    // Execution state, tied to the connection it ran on.
    Connection* conn = nullptr;
    std::uint64_t schemaGeneration = 0;
    std::optional<Translation> translation;
    sqlite3_stmt* st = nullptr;
    // In-memory copy of a cursor's remaining rows (see materializeOpenCursors); st then reads from it.
    sqlite3* memDb = nullptr;
    std::vector<ColumnDesc> columns;
    bool executed = false;
    bool described = false;

    // Cursor state of a query.
    bool cursorDone = false;
    // Row prefetching (OCI_ATTR_PREFETCH_ROWS, 1 by default as in OCI): a round trip of a query brings the
    // rows asked for, at least the prefetch count, and says when the rows ended among them. Rows brought
    // and not handed out yet are given by later fetches without a round trip.
    ub4 prefetchRows = 1;
    ub4 prefetchMemory = 0;
    ub4 rowsOnClient = 0;
    bool endOnClient = false;     // the last round trip found the end of the rows
    bool fetchRowCounted = false; // the row being delivered is one of rowsOnClient already taken
    ub4 rowCount = 0;
    ub4 rowsFetched = 0;
    ub8 rowCount8 = 0;
    // A fetch interrupted by a polling piecewise define.
    ub4 fetchWant = 0;
    ub4 fetchIter = 0;
    std::size_t fetchCol = 0;
    bool fetchRowPending = false; // current SQLite row is stepped and partly delivered
    bool fetchInProgress = false;
    bool fetchTruncated = false;
    // An execute interrupted for OCI_DATA_AT_EXEC binds.
    bool execNeedsData = false;
    PieceState piece;

    // Row id of the last row touched by DML.
    bool haveLastRowid = false;
    std::uint32_t lastObject = 0;
    std::int64_t lastRowid = 0;

    // OCIStmtPrepare2: owned by the service context's statement cache while released.
    bool prepared2 = false;
    bool inCache = false;
    Session* cacheSession = nullptr;
    std::string cacheTag;
    std::string sqlId; // OCI_ATTR_SQL_ID, from the text

    void resetCursor();
    ~Stmt() override;
};

// Registry of live handles.
void registerHandle(Handle* h);
void unregisterHandle(Handle* h);
// The live handle at p whose type matches (any type when type == 0), or null.
Handle* findHandle(const void* p, ub4 type);
// The live handle at p, of any type, or null.
Handle* findAnyHandle(const void* p);
std::recursive_mutex& registryMutex();
void forEachHandle(void (*fn)(Handle*, void*), void* ctx);

} // namespace ocisqlite
