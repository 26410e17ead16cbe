#include "Engine.h"

#include "DateFormat.h"
#include "DriverSupport.h"
#include "OraNumber.h"
#include "RowLocks.h"
#include "Rowid.h"
#include "Runtime.h"
#include "SqlText.h"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

namespace ocisqlite {

namespace {

// The translator's Oracle type for an expression column, "" when it has none.
std::string hintFor(const Translation& t, const std::string& name) {
    auto it = t.columnTypes.find(name);
    return it == t.columnTypes.end() ? std::string() : it->second;
}

bool isDml(StatementKind k) {
    return k == StatementKind::Insert || k == StatementKind::Update || k == StatementKind::Delete ||
           k == StatementKind::Merge;
}
bool isDdl(StatementKind k) {
    return k == StatementKind::Create || k == StatementKind::Drop || k == StatementKind::Alter ||
           k == StatementKind::Truncate;
}

char* slotPtr(void* base, sb4 size, ub4 iter) {
    return static_cast<char*>(base) + static_cast<std::size_t>(size < 0 ? 0 : size) * iter;
}

std::string hexText(const unsigned char* p, std::size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.resize(n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        out[2 * i] = digits[p[i] >> 4];
        out[2 * i + 1] = digits[p[i] & 15];
    }
    return out;
}

bool isCharType(ub2 dty) {
    switch (dty) {
    case SQLT_CHR:
    case SQLT_STR:
    case SQLT_VCS:
    case SQLT_LNG:
    case SQLT_AFC:
    case SQLT_AVC:
    case SQLT_LVC:
        return true;
    default:
        return false;
    }
}

bool isBinaryType(ub2 dty) {
    return dty == SQLT_BIN || dty == SQLT_LBI || dty == SQLT_VBI || dty == SQLT_LVB;
}

// ---- bind side ----

struct BindInput {
    bool null = false;
    enum class Kind { Int, Real, Text, Blob } kind = Kind::Text;
    sqlite3_int64 i = 0;
    double d = 0;
    std::string owned;          // converted text
    const char* data = nullptr; // text or blob bytes (owned or the caller's buffer)
    std::size_t len = 0;
};

void setText(BindInput& in, std::string s) {
    in.kind = BindInput::Kind::Text;
    in.owned = std::move(s);
    in.data = in.owned.data();
    in.len = in.owned.size();
    in.null = in.len == 0;
}

// Reads the caller's bind buffer for one iteration as OCI would send it.
BindInput readBind(const Bind& b, ub4 iter) {
    BindInput in;
    if (b.inCallback) {
        // The bytes stay in the bind until the statement has run.
        const std::string* v =
            iter < b.callbackValues.size() && b.callbackValues[iter] ? &*b.callbackValues[iter] : nullptr;
        in.null = !v || v->empty();
        in.kind = isBinaryType(b.dty) ? BindInput::Kind::Blob : BindInput::Kind::Text;
        in.data = v ? v->data() : nullptr;
        in.len = v ? v->size() : 0;
        if (!in.null && !isCharType(b.dty) && !isBinaryType(b.dty))
            throw OraError(3115, "ORA-03115: unsupported network datatype or representation");
        return in;
    }
    if (b.mode & OCI_DATA_AT_EXEC) {
        in.null = b.piecesNull || b.pieces.empty();
        in.kind = isBinaryType(b.dty) ? BindInput::Kind::Blob : BindInput::Kind::Text;
        in.data = b.pieces.data();
        in.len = b.pieces.size();
        return in;
    }
    if ((b.indp && b.indp[iter] == OCI_IND_NULL) || !b.valuep) {
        in.null = true;
        return in;
    }
    const char* p = slotPtr(b.valuep, b.valueSize, iter);
    const std::size_t size = b.valueSize < 0 ? 0 : static_cast<std::size_t>(b.valueSize);
    const std::size_t alen = b.hasLength() ? std::min<std::size_t>(b.length(iter), size) : size;
    switch (b.dty) {
    case SQLT_INT:
        in.kind = BindInput::Kind::Int;
        if (size == 1)
            in.i = *reinterpret_cast<const sb1*>(p);
        else if (size == 2) {
            sb2 v;
            std::memcpy(&v, p, 2);
            in.i = v;
        } else if (size == 4) {
            sb4 v;
            std::memcpy(&v, p, 4);
            in.i = v;
        } else if (size == 8) {
            sb8 v;
            std::memcpy(&v, p, 8);
            in.i = v;
        } else
            throw OraError(3115, "ORA-03115: unsupported network datatype or representation");
        return in;
    case SQLT_UIN:
        in.kind = BindInput::Kind::Int;
        if (size == 1)
            in.i = *reinterpret_cast<const ub1*>(p);
        else if (size == 2) {
            ub2 v;
            std::memcpy(&v, p, 2);
            in.i = v;
        } else if (size == 4) {
            ub4 v;
            std::memcpy(&v, p, 4);
            in.i = v;
        } else if (size == 8) {
            ub8 v;
            std::memcpy(&v, p, 8);
            in.i = static_cast<sqlite3_int64>(v);
        } else
            throw OraError(3115, "ORA-03115: unsupported network datatype or representation");
        return in;
    case SQLT_FLT:
    case SQLT_BFLOAT:
    case SQLT_BDOUBLE:
    case SQLT_IBFLOAT:
    case SQLT_IBDOUBLE:
        in.kind = BindInput::Kind::Real;
        if (size == 4) {
            float v;
            std::memcpy(&v, p, 4);
            in.d = v;
        } else if (size == 8) {
            std::memcpy(&in.d, p, 8);
        } else
            throw OraError(3115, "ORA-03115: unsupported network datatype or representation");
        return in;
    case SQLT_STR: {
        const std::size_t n = strnlen(p, size);
        in.data = p;
        in.len = n;
        in.null = n == 0; // '' is NULL
        return in;
    }
    case SQLT_CHR:
    case SQLT_AFC:
    case SQLT_LNG:
        in.data = p;
        in.len = alen;
        in.null = alen == 0;
        return in;
    case SQLT_AVC:
        in.data = p;
        in.len = strnlen(p, alen);
        in.null = in.len == 0;
        return in;
    case SQLT_VCS:
    case SQLT_VBI: {
        ub2 n = 0;
        if (size >= 2)
            std::memcpy(&n, p, 2);
        in.kind = b.dty == SQLT_VBI ? BindInput::Kind::Blob : BindInput::Kind::Text;
        in.data = p + 2;
        in.len = std::min<std::size_t>(n, size >= 2 ? size - 2 : 0);
        in.null = in.len == 0;
        return in;
    }
    case SQLT_LVC:
    case SQLT_LVB: {
        sb4 n = 0;
        if (size >= 4)
            std::memcpy(&n, p, 4);
        in.kind = b.dty == SQLT_LVB ? BindInput::Kind::Blob : BindInput::Kind::Text;
        in.data = p + 4;
        in.len = std::min<std::size_t>(n < 0 ? 0 : static_cast<std::size_t>(n), size >= 4 ? size - 4 : 0);
        in.null = in.len == 0;
        return in;
    }
    case SQLT_BIN:
    case SQLT_LBI:
        in.kind = BindInput::Kind::Blob;
        in.data = p;
        in.len = alen;
        in.null = alen == 0;
        return in;
    case SQLT_DAT: {
        if (size < 7)
            throw OraError(3115, "ORA-03115: unsupported network datatype or representation");
        setText(in, toStorage(fromOciDate(reinterpret_cast<const unsigned char*>(p))));
        return in;
    }
    case SQLT_ODT: {
        OCIDate od;
        std::memcpy(&od, p, sizeof od);
        OraDate d;
        d.year = od.OCIDateYYYY;
        d.month = od.OCIDateMM;
        d.day = od.OCIDateDD;
        d.hour = od.OCIDateTime.OCITimeHH;
        d.minute = od.OCIDateTime.OCITimeMI;
        d.second = od.OCIDateTime.OCITimeSS;
        if (!isValidDate(d))
            throw OraError(1858, "ORA-01858: a non-numeric character was found where a numeric was expected");
        setText(in, toStorage(d));
        return in;
    }
    case SQLT_NUM:
    case SQLT_VNU: {
        const auto* u = reinterpret_cast<const unsigned char*>(p);
        std::size_t n = b.dty == SQLT_NUM ? std::min<std::size_t>(alen, 22) : 0;
        if (b.dty == SQLT_VNU && size > 0) {
            n = std::min<std::size_t>(u[0], size - 1);
            ++u;
        }
        in.kind = BindInput::Kind::Real;
        in.d = decodeNumber(u, n);
        if (std::floor(in.d) == in.d && std::fabs(in.d) < 9e15) {
            in.kind = BindInput::Kind::Int;
            in.i = static_cast<sqlite3_int64>(in.d);
        }
        return in;
    }
    case SQLT_DATE:
    case SQLT_TIMESTAMP:
    case SQLT_TIMESTAMP_TZ:
    case SQLT_TIMESTAMP_LTZ: {
        void* desc = nullptr;
        std::memcpy(&desc, p, sizeof desc);
        if (const auto d = dateTimeBindValue(desc))
            setText(in, toStorage(*d));
        else
            in.null = true;
        return in;
    }
    case SQLT_RDD: {
        OCIRowid* desc = nullptr;
        std::memcpy(&desc, p, sizeof desc);
        auto* r = static_cast<Rowid*>(findHandle(desc, OCI_DTYPE_ROWID));
        if (!r || !r->valid) {
            in.null = true;
            return in;
        }
        setText(in, encodeRowid(r->objectNumber, r->rowid));
        return in;
    }
    default:
        throw OraError(3115, "ORA-03115: unsupported network datatype or representation");
    }
}

void bindToSqlite(sqlite3_stmt* st, int idx, const BindInput& in) {
    if (in.null) {
        sqlite3_bind_null(st, idx);
        return;
    }
    switch (in.kind) {
    case BindInput::Kind::Int:
        sqlite3_bind_int64(st, idx, in.i);
        break;
    case BindInput::Kind::Real:
        sqlite3_bind_double(st, idx, in.d);
        break;
    case BindInput::Kind::Text:
        sqlite3_bind_text64(st, idx, in.data, in.len, SQLITE_TRANSIENT, SQLITE_UTF8);
        break;
    case BindInput::Kind::Blob:
        // The caller's bytes stay put until the statement has run; large LONG RAW values are not copied.
        sqlite3_bind_blob64(st, idx, in.data, in.len, SQLITE_STATIC);
        break;
    }
}

std::string inputAsText(const BindInput& in) {
    switch (in.kind) {
    case BindInput::Kind::Int:
        return std::to_string(in.i);
    case BindInput::Kind::Real:
        return oracleNumberText(in.d);
    default:
        return std::string(in.data ? in.data : "", in.len);
    }
}

Bind* findBind(Stmt* s, const std::string& name) {
    for (Bind* b : s->binds)
        if (b->name == name)
            return b;
    // Positional binds follow the placeholders' order of first appearance.
    for (Bind* b : s->binds)
        if (b->name.empty() && b->position >= 1 && b->position <= s->placeholders.size() &&
            s->placeholders[b->position - 1] == name)
            return b;
    return nullptr;
}

// ---- out side: writing a value into a caller's buffer ----

struct OutResult {
    ub2 rcode = 0;
    bool truncated = false;
};

// Writes bytes for a character or binary external type. Returns the column return code.
OutResult putBytes(ub2 dty, char* buf, std::size_t cap, const char* data, std::size_t len, sb2* ind,
                   std::size_t* rlen) {
    OutResult r;
    std::size_t written = 0;
    switch (dty) {
    case SQLT_STR: {
        if (cap == 0) {
            r.truncated = len > 0;
            break;
        }
        written = std::min(len, cap - 1);
        std::memcpy(buf, data, written);
        buf[written] = '\0';
        r.truncated = written < len;
        break;
    }
    case SQLT_AVC: {
        if (cap == 0) {
            r.truncated = len > 0;
            break;
        }
        written = std::min(len, cap - 1);
        std::memcpy(buf, data, written);
        std::memset(buf + written, ' ', cap - 1 - written);
        buf[cap - 1] = '\0';
        r.truncated = written < len;
        written = cap - 1;
        break;
    }
    case SQLT_AFC: {
        written = std::min(len, cap);
        std::memcpy(buf, data, written);
        r.truncated = written < len;
        if (written < cap)
            std::memset(buf + written, ' ', cap - written);
        written = cap;
        break;
    }
    case SQLT_VCS:
    case SQLT_VBI: {
        const std::size_t room = cap >= 2 ? cap - 2 : 0;
        const std::size_t n = std::min(len, room);
        if (cap >= 2) {
            const ub2 n2 = static_cast<ub2>(n);
            std::memcpy(buf, &n2, 2);
            std::memcpy(buf + 2, data, n);
        }
        r.truncated = n < len;
        written = n;
        break;
    }
    case SQLT_LVC:
    case SQLT_LVB: {
        const std::size_t room = cap >= 4 ? cap - 4 : 0;
        const std::size_t n = std::min(len, room);
        if (cap >= 4) {
            const sb4 n4 = static_cast<sb4>(n);
            std::memcpy(buf, &n4, 4);
            std::memcpy(buf + 4, data, n);
        }
        r.truncated = n < len;
        written = n;
        break;
    }
    default: // CHR, LNG, BIN, LBI
        written = std::min(len, cap);
        if (written)
            std::memcpy(buf, data, written);
        r.truncated = written < len;
        break;
    }
    if (rlen)
        *rlen = written;
    if (ind)
        *ind = r.truncated ? (len > 32767 ? OCI_IND_BADNULL : static_cast<sb2>(len)) : OCI_IND_NOTNULL;
    if (r.truncated)
        r.rcode = 1406;
    return r;
}

[[noreturn]] void invalidNumber() {
    throw OraError(1722, "ORA-01722: invalid number");
}

bool parseNumber(const char* p, std::size_t n, double& out) {
    std::string s(p, n);
    const char* b = s.c_str();
    while (*b == ' ')
        ++b;
    if (!*b)
        return false;
    char* end = nullptr;
    out = std::strtod(b, &end);
    while (end && *end == ' ')
        ++end;
    return end && *end == '\0';
}

} // namespace

sword fail(Error* err, int code, const std::string& text) {
    if (err)
        err->set(code, text);
    return OCI_ERROR;
}

std::string oracleNumberText(double v) {
    if (std::isnan(v))
        return "~";
    if (std::floor(v) == v && std::fabs(v) < 1e15) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
        return buf;
    }
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    std::string s = buf;
    if (s.rfind("0.", 0) == 0)
        s.erase(0, 1);
    else if (s.rfind("-0.", 0) == 0)
        s.erase(1, 1);
    return s;
}

ColumnDesc describeDeclaredType(const std::string& declType) {
    ColumnDesc c;
    const std::string t = upperAscii(declType);
    auto args = [&](int& a, int& b) {
        a = -1;
        b = -1;
        const auto open = t.find('(');
        if (open == std::string::npos)
            return;
        a = std::atoi(t.c_str() + open + 1);
        const auto comma = t.find(',', open);
        if (comma != std::string::npos)
            b = std::atoi(t.c_str() + comma + 1);
    };
    auto starts = [&](const char* w) { return t.rfind(w, 0) == 0; };
    int a = -1, b = -1;
    args(a, b);
    if (starts("NUMBER") || starts("NUMERIC") || starts("DECIMAL") || starts("DEC(")) {
        c.dataType = SQLT_NUM;
        c.dataSize = 22;
        if (a < 0) {
            c.precision = 0;
            c.scale = -127;
        } else {
            c.precision = static_cast<sb2>(a);
            c.scale = static_cast<sb1>(b < 0 ? 0 : b);
        }
    } else if (starts("INT") || starts("SMALLINT") || starts("BIGINT")) {
        c.dataType = SQLT_NUM;
        c.dataSize = 22;
        c.precision = 38;
        c.scale = 0;
    } else if (starts("FLOAT") || starts("REAL") || starts("DOUBLE")) {
        c.dataType = SQLT_NUM;
        c.dataSize = 22;
        c.precision = static_cast<sb2>(a < 0 ? 126 : a);
        c.scale = -127;
    } else if (starts("BINARY_FLOAT")) {
        c.dataType = SQLT_IBFLOAT;
        c.dataSize = 4;
    } else if (starts("BINARY_DOUBLE")) {
        c.dataType = SQLT_IBDOUBLE;
        c.dataSize = 8;
    } else if (starts("LONG RAW")) {
        c.dataType = SQLT_LBI;
        c.dataSize = 0;
    } else if (starts("LONG")) {
        c.dataType = SQLT_LNG;
        c.dataSize = 0;
    } else if (starts("RAW")) {
        c.dataType = SQLT_BIN;
        c.dataSize = static_cast<ub2>(a < 0 ? 2000 : a);
    } else if (starts("DATE")) {
        c.dataType = SQLT_DAT;
        c.dataSize = 7;
    } else if (starts("TIMESTAMP")) {
        c.dataType = SQLT_TIMESTAMP;
        c.dataSize = 11;
    } else if (starts("CLOB") || starts("NCLOB")) {
        c.dataType = SQLT_CLOB;
        c.dataSize = 4000;
    } else if (starts("BLOB")) {
        c.dataType = SQLT_BLOB;
        c.dataSize = 4000;
    } else if (starts("ROWID") || starts("UROWID")) {
        c.dataType = SQLT_RDD;
        c.dataSize = 10;
    } else if (starts("CHAR") || starts("NCHAR") || starts("CHARACTER")) {
        const bool varying = t.find("VARYING") != std::string::npos;
        c.dataType = varying ? SQLT_CHR : SQLT_AFC;
        c.dataSize = static_cast<ub2>(a < 0 ? 1 : a);
    } else {
        // VARCHAR2(n), VARCHAR(n), NVARCHAR2(n), TEXT and anything unknown
        c.dataType = SQLT_CHR;
        c.dataSize = static_cast<ub2>(a < 0 ? 4000 : std::min(a, 32767));
    }
    if (c.dataType == SQLT_CHR || c.dataType == SQLT_AFC) {
        c.charSize = c.dataSize;
        c.charUsed = t.find(" CHAR)") != std::string::npos ? 1 : 0;
        if (c.dataSize > 4000 && c.charUsed)
            c.dataSize = 4000;
    }
    return c;
}

namespace {

// ---- execution helpers ----

void finalizeSqlite(Stmt* s) {
    if (s->st) {
        sqlite3_finalize(s->st);
        s->st = nullptr;
    }
    if (s->memDb) {
        sqlite3_close(s->memDb);
        s->memDb = nullptr;
    }
    s->cursorDone = false;
    s->fetchRowPending = false;
    s->fetchRowCounted = false;
    s->fetchInProgress = false;
}

void checkAlive(Connection* conn, const char* call, const std::string& text) {
    if (conn->lost())
        throw OraError(3114, "ORA-03114: not connected to ORACLE");
    roundTrip(conn->sid(), call, text);
    conn->awaitAnswer();
}

void describeColumns(Stmt* s) {
    s->columns.clear();
    if (!s->st)
        return;
    const int n = sqlite3_column_count(s->st);
    Connection* conn = s->conn;
    for (int i = 0; i < n; ++i) {
        const char* stored = sqlite3_column_name(s->st, i);
        // The translator names every column as Oracle does; SQLite holds the name in its stored form.
        const std::string name = oracleName(stored ? stored : "");
        const std::string upper = upperAscii(name);
        const char* decl = sqlite3_column_decltype(s->st, i);
        ColumnDesc c;
        std::string hint = s->translation ? hintFor(*s->translation, name) : std::string();
        if (decl && *decl) {
            c = describeDeclaredType(decl);
            const char* table = sqlite3_column_table_name(s->st, i);
            const char* origin = sqlite3_column_origin_name(s->st, i);
            if (table && origin) {
                bool notNull = false;
                conn->columnType(table, origin, &notNull);
                c.isNull = notNull ? 0 : 1;
            }
            // The rowid alias of a table is a hidden INTEGER: an Oracle NUMBER.
            if (upperAscii(decl) == "INTEGER" && !hint.empty())
                c = describeDeclaredType(hint);
        } else if (!hint.empty()) {
            c = describeDeclaredType(hint);
        } else {
            // An expression: the first row's value decides (it is stepped at execute).
            c = describeDeclaredType("VARCHAR2(4000)");
            if (s->fetchRowPending) {
                switch (sqlite3_column_type(s->st, i)) {
                case SQLITE_INTEGER:
                case SQLITE_FLOAT:
                    c = describeDeclaredType("NUMBER");
                    break;
                case SQLITE_BLOB:
                    c = describeDeclaredType("LONG RAW");
                    break;
                case SQLITE_TEXT: {
                    const char* v = reinterpret_cast<const char*>(sqlite3_column_text(s->st, i));
                    if (v && std::strlen(v) == 19 && fromStorage(v))
                        c = describeDeclaredType("DATE");
                    break;
                }
                default:
                    break;
                }
            } else if (upper.rfind("COUNT(", 0) == 0 || upper.rfind("SUM(", 0) == 0 ||
                       upper.rfind("AVG(", 0) == 0) {
                c = describeDeclaredType("NUMBER");
            }
        }
        c.name = name;
        s->columns.push_back(std::move(c));
    }
    s->described = true;
}

// Binds the parameters of st (names[i] is the bind of the (i+1)-th "?") for one iteration. copy: SQLite keeps
// its own copy of every value (a statement run after the caller's buffers may change).
void bindStatement(Stmt* s, sqlite3_stmt* st, const std::vector<std::string>& names, ub4 iter, bool copy) {
    const Translation& t = *s->translation;
    sqlite3_clear_bindings(st);
    // The binds by name, once per execution (a statement may have 32 766 of them).
    std::unordered_map<std::string, Bind*> byName;
    for (Bind* b : s->binds)
        if (!b->name.empty())
            byName.emplace(b->name, b);
    for (Bind* b : s->binds)
        if (b->name.empty() && b->position >= 1 && b->position <= s->placeholders.size())
            byName.emplace(s->placeholders[b->position - 1], b);
    const int count = std::min(sqlite3_bind_parameter_count(st), static_cast<int>(names.size()));
    for (int idx = 1; idx <= count; ++idx) {
        const std::string& name = names[static_cast<std::size_t>(idx - 1)];
        const auto found = byName.find(name);
        if (found == byName.end())
            throw OraError(1008, "ORA-01008: not all variables bound");
        BindInput in = readBind(*found->second, iter);
        auto rb = t.rowidBinds.find(name);
        if (rb != t.rowidBinds.end() && !in.null) {
            std::optional<std::int64_t> rowid = rowidForBind(inputAsText(in), rb->second);
            if (rowid)
                sqlite3_bind_int64(st, idx, *rowid);
            else
                sqlite3_bind_null(st, idx);
        } else if (in.kind == BindInput::Kind::Text && !in.owned.empty()) {
            sqlite3_bind_text64(st, idx, in.owned.data(), in.owned.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        } else if (copy && in.kind == BindInput::Kind::Blob && !in.null) {
            sqlite3_bind_blob64(st, idx, in.data, in.len, SQLITE_TRANSIENT);
        } else {
            bindToSqlite(st, idx, in);
        }
    }
}

void bindAll(Stmt* s, ub4 iter) {
    bindStatement(s, s->st, s->translation->parameters, iter, false);
}

// Writes a text result (ROWID, PL/SQL OUT value) into an OUT bind, iteration 0.
void writeOutBind(Stmt* s, const std::string& name, const std::optional<std::string>& value,
                  const std::optional<std::pair<std::uint32_t, std::int64_t>>& rowid = std::nullopt) {
    Bind* b = findBind(s, name);
    if (!b)
        throw OraError(1008, "ORA-01008: not all variables bound");
    if (b->outCallback) {
        writeOutCallback(*b, 0, value ? &*value : nullptr);
        return;
    }
    if (!value) {
        if (b->indp)
            b->indp[0] = OCI_IND_NULL;
        b->setLength(0, 0);
        if (b->rcodep)
            b->rcodep[0] = 1405;
        return;
    }
    if (!b->valuep)
        return;
    if (b->dty == SQLT_RDD) {
        OCIRowid* desc = nullptr;
        std::memcpy(&desc, b->valuep, sizeof desc);
        if (auto* r = static_cast<Rowid*>(findHandle(desc, OCI_DTYPE_ROWID)); r && rowid) {
            r->valid = true;
            r->objectNumber = rowid->first;
            r->rowid = rowid->second;
        }
        if (b->indp)
            b->indp[0] = OCI_IND_NOTNULL;
        return;
    }
    if (!isCharType(b->dty) && !isBinaryType(b->dty))
        throw OraError(3115, "ORA-03115: unsupported network datatype or representation");
    const std::size_t cap = b->valueSize < 0 ? 0 : static_cast<std::size_t>(b->valueSize);
    std::size_t alen = 0;
    OutResult r =
        putBytes(b->dty, static_cast<char*>(b->valuep), cap, value->data(), value->size(), b->indp, &alen);
    b->setLength(0, alen);
    if (b->rcodep)
        b->rcodep[0] = r.rcode;
    if (r.truncated)
        throw OraError(6502, "ORA-06502: PL/SQL: numeric or value error: character string buffer too small");
}

std::optional<std::string> argValue(Stmt* s, const PlSqlCall& call, const char* key) {
    auto it = call.args.find(key);
    if (it == call.args.end())
        return std::nullopt;
    const std::string& v = it->second;
    if (!v.empty() && v[0] == ':') {
        Bind* b = findBind(s, upperAscii(v.substr(1)));
        if (!b)
            throw OraError(1008, "ORA-01008: not all variables bound");
        BindInput in = readBind(*b, 0);
        if (in.null)
            return std::nullopt;
        return inputAsText(in);
    }
    if (upperAscii(v) == "NULL" || v.empty() || v == "''")
        return std::nullopt;
    if (v.size() >= 2 && v.front() == '\'' && v.back() == '\'')
        return v.substr(1, v.size() - 2);
    return v;
}

void runPlSql(Stmt* s, Connection* conn) {
    const PlSqlCall& call = s->translation->plsql;
    switch (call.kind) {
    case PlSqlCall::Kind::Null:
    case PlSqlCall::Kind::None:
        break;
    case PlSqlCall::Kind::LocalTransactionId: {
        auto it = call.args.find("RESULT");
        if (it == call.args.end())
            break;
        const std::string bind =
            upperAscii(it->second.rfind(':', 0) == 0 ? it->second.substr(1) : it->second);
        std::optional<std::string> id;
        if (conn->inTransaction())
            id = conn->transactionId();
        writeOutBind(s, bind, id);
        break;
    }
    case PlSqlCall::Kind::SetModule: {
        auto m = argValue(s, call, "MODULE_NAME");
        auto a = argValue(s, call, "ACTION_NAME");
        conn->setModule(m ? &*m : nullptr, a ? &*a : nullptr);
        break;
    }
    case PlSqlCall::Kind::SetClientInfo: {
        auto c = argValue(s, call, "CLIENT_INFO");
        conn->setClientInfo(c ? &*c : nullptr);
        break;
    }
    }
}

// Ties a statement handle to the connection its SQLite statement lives on (or to none).
void useConnection(Stmt* s, Connection* conn) {
    if (s->conn == conn)
        return;
    if (s->conn) {
        auto& v = s->conn->users();
        v.erase(std::remove(v.begin(), v.end(), static_cast<void*>(s)), v.end());
    }
    s->conn = conn;
    if (conn)
        conn->users().push_back(s);
}

// Prepares the SQLite side for this connection (again after DDL or on another session).
void ensurePrepared(Stmt* s, Connection* conn) {
    if (s->conn == conn && s->translation && s->schemaGeneration == conn->schemaGeneration() && !s->memDb)
        return;
    finalizeSqlite(s);
    s->translation.reset();
    useConnection(s, conn);
    s->schemaGeneration = conn->schemaGeneration();
    s->described = false;
    s->columns.clear();
    Translation t = translate(s->text, *conn);
    // V$SESSION is a temp table of the session's own connection: it must exist before the statement compiles.
    if (t.usesSessionView && conn->locks())
        conn->locks()->fillSessionView(conn->db());
    if (!t.sql.empty()) {
        std::string sql = t.sql;
        // SQLite's factoring of constants compares each new constant with all earlier ones: switched off for
        // a statement of thousands of terms, where it would take quadratic time.
        constexpr int kFactorOutConst = 0x08;
        if (t.manyTerms)
            sqlite3_test_control(SQLITE_TESTCTRL_OPTIMIZATIONS, conn->db(), kFactorOutConst);
        // The row id of the last row a DML touched (OCI_ATTR_ROWID) comes back through RETURNING.
        if (isDml(t.kind) && t.kind != StatementKind::Merge && !t.targetTable.empty() &&
            t.returningRowidBind.empty() && upperAscii(sql).find("RETURNING") == std::string::npos) {
            const std::string withReturning = sql + " RETURNING rowid";
            if (sqlite3_prepare_v2(conn->db(), withReturning.c_str(), -1, &s->st, nullptr) != SQLITE_OK) {
                sqlite3_finalize(s->st);
                s->st = nullptr;
            }
        }
        int rc = SQLITE_OK;
        if (!s->st)
            rc = sqlite3_prepare_v2(conn->db(), sql.c_str(), -1, &s->st, nullptr);
        if (t.manyTerms)
            sqlite3_test_control(SQLITE_TESTCTRL_OPTIMIZATIONS, conn->db(), 0);
        if (rc != SQLITE_OK) {
            sqlite3_finalize(s->st);
            s->st = nullptr;
            useConnection(s, nullptr);
            throw mapSqliteError(conn->db(), rc, t.kind, conn->schema());
        }
    }
    s->translation = std::move(t);
}

int stepChecked(Stmt* s) {
    const int rc = sqlite3_step(s->st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        OraError e = mapSqliteError(s->conn->db(), rc, s->translation->kind, s->conn->schema());
        sqlite3_reset(s->st);
        throw e;
    }
    return rc;
}

// Moves the rows a cursor has not delivered yet into an in-memory table and points the cursor there.
void materialize(Stmt* s) {
    if (!s->st || s->memDb || s->cursorDone || !sqlite3_stmt_busy(s->st))
        return;
    sqlite3* mem = nullptr;
    if (sqlite3_open(":memory:", &mem) != SQLITE_OK) {
        sqlite3_close(mem);
        return;
    }
    const int n = sqlite3_column_count(s->st);
    std::string create = "CREATE TABLE m(", insert = "INSERT INTO m VALUES(";
    for (int i = 0; i < n; ++i) {
        create += (i ? ",c" : "c") + std::to_string(i);
        insert += i ? ",?" : "?";
    }
    create += ")";
    insert += ")";
    sqlite3_stmt* ins = nullptr;
    sqlite3_exec(mem, create.c_str(), nullptr, nullptr, nullptr);
    sqlite3_exec(mem, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_prepare_v2(mem, insert.c_str(), -1, &ins, nullptr);
    auto copyRow = [&] {
        for (int i = 0; i < n; ++i)
            sqlite3_bind_value(ins, i + 1, sqlite3_column_value(s->st, i));
        sqlite3_step(ins);
        sqlite3_reset(ins);
    };
    const bool positioned = s->fetchRowPending;
    if (positioned)
        copyRow();
    while (sqlite3_step(s->st) == SQLITE_ROW)
        copyRow();
    sqlite3_finalize(ins);
    sqlite3_exec(mem, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_finalize(s->st);
    s->st = nullptr;
    sqlite3_prepare_v2(mem, "SELECT * FROM m ORDER BY rowid", -1, &s->st, nullptr);
    s->memDb = mem;
    if (positioned && sqlite3_step(s->st) != SQLITE_ROW)
        s->fetchRowPending = s->fetchRowCounted = false;
}

// An open cursor pins its read snapshot, and SQLite refuses to start writing from a snapshot that another
// connection has moved past (SQLITE_BUSY_SNAPSHOT). Oracle's cursors live on through the session's own
// changes, so before the first change the open cursors of the connection are moved into memory.
void materializeOpenCursors(Connection* conn) {
    if (conn->writing())
        return;
    for (void* user : conn->users())
        materialize(static_cast<Stmt*>(user));
}

// Runs the translator's row-id query for the rows a statement will lock, with the statement's binds.
std::vector<std::int64_t> selectRowids(Stmt* s, Connection* conn, const std::string& sql,
                                       const std::vector<std::string>& names, ub4 iter) {
    const Translation& t = *s->translation;
    sqlite3_stmt* ls = nullptr;
    int rc = sqlite3_prepare_v2(conn->db(), sql.c_str(), -1, &ls, nullptr);
    if (rc != SQLITE_OK) {
        OraError e = mapSqliteError(conn->db(), rc, t.kind, conn->schema());
        sqlite3_finalize(ls);
        throw e;
    }
    try {
        bindStatement(s, ls, names, iter, true);
    } catch (...) {
        sqlite3_finalize(ls);
        throw;
    }
    std::vector<std::int64_t> rowids;
    while ((rc = sqlite3_step(ls)) == SQLITE_ROW)
        rowids.push_back(sqlite3_column_int64(ls, 0));
    if (rc != SQLITE_DONE) {
        OraError e = mapSqliteError(conn->db(), rc, t.kind, conn->schema());
        sqlite3_finalize(ls);
        throw e;
    }
    sqlite3_finalize(ls);
    return rowids;
}

// The second statement of a MERGE: inserts the source rows without a match; returns their rowids.
std::vector<std::int64_t> runMergeInsert(Stmt* s, Connection* conn, ub4 iter, ub8& rows) {
    const Translation& t = *s->translation;
    sqlite3_stmt* ins = nullptr;
    const std::string sql = t.mergeInsertSql + " RETURNING rowid";
    int rc = sqlite3_prepare_v2(conn->db(), sql.c_str(), -1, &ins, nullptr);
    std::vector<std::int64_t> inserted;
    try {
        if (rc != SQLITE_OK)
            throw mapSqliteError(conn->db(), rc, StatementKind::Insert, conn->schema());
        bindStatement(s, ins, t.mergeParameters, iter, false);
        while ((rc = sqlite3_step(ins)) == SQLITE_ROW)
            inserted.push_back(sqlite3_column_int64(ins, 0));
        if (rc != SQLITE_DONE)
            throw mapSqliteError(conn->db(), rc, StatementKind::Insert, conn->schema());
        rows += static_cast<ub8>(sqlite3_changes(conn->db()));
    } catch (...) {
        sqlite3_finalize(ins);
        throw;
    }
    sqlite3_finalize(ins);
    return inserted;
}

void runDmlOnce(Stmt* s, Connection* conn, ub4 iter, ub8& rows) {
    const Translation& t = *s->translation;
    if (s->st)
        bindAll(s, iter);
    // Rows about to change are locked in the registry first (ORA-00054 when another session holds them).
    const std::string& lockSql = t.lockRowsSql;
    if (conn->locks() && !lockSql.empty() && !t.targetTable.empty()) {
        std::vector<std::int64_t> rowids = selectRowids(s, conn, lockSql, t.lockParameters, iter);
        if (t.kind == StatementKind::Merge) {
            // A target row that two source rows match would be updated twice.
            std::sort(rowids.begin(), rowids.end());
            if (std::adjacent_find(rowids.begin(), rowids.end()) != rowids.end())
                throw OraError(30926, "ORA-30926: unable to get a stable set of rows in the source tables");
        }
        if (!rowids.empty()) {
            conn->startLogical();
            conn->locks()->lock(conn->sid(), t.targetTable, rowids, busyTimeoutMs());
        }
    }
    materializeOpenCursors(conn);
    conn->beginStatement();
    bool ok = false;
    try {
        bool sawRow = false;
        std::int64_t lastRowid = 0;
        std::vector<std::int64_t> inserted;
        if (s->st) {
            int rc;
            while ((rc = stepChecked(s)) == SQLITE_ROW) {
                if (sqlite3_column_count(s->st) > 0) {
                    lastRowid = sqlite3_column_int64(s->st, 0);
                    sawRow = true;
                    if (t.kind == StatementKind::Insert)
                        inserted.push_back(lastRowid);
                }
            }
            rows += static_cast<ub8>(sqlite3_changes(conn->db()));
            sqlite3_reset(s->st);
            if (!sawRow && t.kind == StatementKind::Insert && sqlite3_changes(conn->db()) > 0) {
                lastRowid = sqlite3_last_insert_rowid(conn->db());
                sawRow = true;
            }
        }
        if (!t.mergeInsertSql.empty()) {
            inserted = runMergeInsert(s, conn, iter, rows);
            if (!inserted.empty()) {
                lastRowid = inserted.back();
                sawRow = true;
            }
        }
        // New rows belong to this transaction until it ends.
        if (conn->locks() && !t.targetTable.empty() && !inserted.empty())
            conn->locks()->lock(conn->sid(), t.targetTable, inserted, 0);
        const std::uint32_t obj = conn->objectNumber(t.targetTable);
        if (sawRow) {
            s->haveLastRowid = true;
            s->lastObject = obj;
            s->lastRowid = lastRowid;
        }
        if (!t.returningRowidBind.empty()) {
            if (sawRow)
                writeOutBind(s, t.returningRowidBind, encodeRowid(obj, lastRowid),
                             std::make_pair(obj, lastRowid));
            else
                writeOutBind(s, t.returningRowidBind, std::nullopt);
        }
        ok = true;
    } catch (...) {
        if (s->st)
            sqlite3_reset(s->st);
        conn->endStatement(false);
        throw;
    }
    conn->endStatement(ok);
}

// ---- fetch ----

bool nextRow(Stmt* s) {
    if (s->cursorDone || !s->st)
        return false;
    if (stepChecked(s) == SQLITE_ROW)
        return true;
    s->cursorDone = true;
    sqlite3_reset(s->st); // ends the read transaction
    return false;
}

// Bytes of a cell as a character or binary define wants them.
const char* cellBytes(Stmt* s, int col, sqlite3_value* cell, ub2 dty, std::size_t& len, std::string& scratch,
                      int type = -1) {
    const ColumnDesc& cd = s->columns[static_cast<std::size_t>(col)];
    switch (type >= 0 ? type : sqlite3_value_type(cell)) {
    case SQLITE_INTEGER:
        scratch = std::to_string(sqlite3_value_int64(cell));
        len = scratch.size();
        return scratch.data();
    case SQLITE_FLOAT:
        scratch = oracleNumberText(sqlite3_value_double(cell));
        len = scratch.size();
        return scratch.data();
    case SQLITE_BLOB: {
        const void* p = sqlite3_value_blob(cell);
        len = static_cast<std::size_t>(sqlite3_value_bytes(cell));
        if (isCharType(dty) && dty != SQLT_LNG) {
            // RAW shown as text is hexadecimal.
            scratch = hexText(static_cast<const unsigned char*>(p), len);
            len = scratch.size();
            return scratch.data();
        }
        return static_cast<const char*>(p);
    }
    default: {
        const char* p = reinterpret_cast<const char*>(sqlite3_value_text(cell));
        len = static_cast<std::size_t>(sqlite3_value_bytes(cell));
        if (cd.isDate() && isCharType(dty)) {
            if (auto d = fromStorage(std::string_view(p, len))) {
                scratch = formatDate(*d, kDefaultDateFormat);
                len = scratch.size();
                return scratch.data();
            }
        }
        return p;
    }
    }
}

bool cellIsNull(sqlite3_value* cell, int type = -1) {
    if (type < 0)
        type = sqlite3_value_type(cell);
    if (type == SQLITE_NULL)
        return true;
    // A stored '' reads as NULL, as Oracle cannot hold it.
    return (type == SQLITE_TEXT || type == SQLITE_BLOB) && sqlite3_value_bytes(cell) == 0;
}

// Delivers one cell into a static define. Returns rcode; sets truncated.
ub2 deliverCell(Stmt* s, Define* d, int col, ub4 iter, bool& truncated, std::string& scratch) {
    sqlite3_stmt* st = s->st;
    char* buf = d->valuep ? slotPtr(d->valuep, d->valueSize, iter) : nullptr;
    sb2* ind = d->indp ? d->indp + iter : nullptr;
    ub2* rcode = d->rcodep ? d->rcodep + iter : nullptr;
    const std::size_t cap = d->valueSize < 0 ? 0 : static_cast<std::size_t>(d->valueSize);
    // The cell is read through its value: one look-up of the column instead of one per access.
    sqlite3_value* cell = sqlite3_column_value(st, col);
    const int type = sqlite3_value_type(cell);
    // A text cell's bytes, read once for the NULL test and the delivery.
    const char* text = nullptr;
    std::size_t textLength = 0;
    if (type == SQLITE_TEXT) {
        text = reinterpret_cast<const char*>(sqlite3_value_text(cell));
        textLength = static_cast<std::size_t>(sqlite3_value_bytes(cell));
    }
    if (type == SQLITE_TEXT ? textLength == 0 : cellIsNull(cell, type)) {
        d->setLength(iter, 0);
        if (rcode)
            *rcode = 1405;
        if (!ind)
            throw OraError(1405, "ORA-01405: fetched column value is NULL");
        *ind = OCI_IND_NULL;
        return 1405;
    }
    ub2 code = 0;
    auto done = [&](std::size_t n) {
        if (ind)
            *ind = OCI_IND_NOTNULL;
        d->setLength(iter, n);
        if (rcode)
            *rcode = 0;
    };
    if (!buf)
        throw OraError(1007, "ORA-01007: variable not in select list");
    switch (d->dty) {
    case SQLT_INT:
    case SQLT_UIN: {
        sqlite3_int64 v;
        if (type == SQLITE_INTEGER) {
            v = sqlite3_value_int64(cell);
        } else {
            double x;
            if (type == SQLITE_FLOAT)
                x = sqlite3_value_double(cell);
            else if (!parseNumber(reinterpret_cast<const char*>(sqlite3_value_text(cell)),
                                  static_cast<std::size_t>(sqlite3_value_bytes(cell)), x))
                invalidNumber();
            v = static_cast<sqlite3_int64>(std::llround(x));
        }
        switch (cap) {
        case 1: {
            const sb1 x = static_cast<sb1>(v);
            std::memcpy(buf, &x, 1);
            break;
        }
        case 2: {
            const sb2 x = static_cast<sb2>(v);
            std::memcpy(buf, &x, 2);
            break;
        }
        case 4: {
            const sb4 x = static_cast<sb4>(v);
            std::memcpy(buf, &x, 4);
            break;
        }
        case 8:
            std::memcpy(buf, &v, 8);
            break;
        default:
            throw OraError(3115, "ORA-03115: unsupported network datatype or representation");
        }
        done(cap);
        return 0;
    }
    case SQLT_FLT:
    case SQLT_BFLOAT:
    case SQLT_BDOUBLE:
    case SQLT_IBFLOAT:
    case SQLT_IBDOUBLE: {
        double x;
        if (type == SQLITE_INTEGER || type == SQLITE_FLOAT)
            x = sqlite3_value_double(cell);
        else if (!parseNumber(reinterpret_cast<const char*>(sqlite3_value_text(cell)),
                              static_cast<std::size_t>(sqlite3_value_bytes(cell)), x))
            invalidNumber();
        if (cap == 4) {
            const float f = static_cast<float>(x);
            std::memcpy(buf, &f, 4);
        } else if (cap == 8) {
            std::memcpy(buf, &x, 8);
        } else {
            throw OraError(3115, "ORA-03115: unsupported network datatype or representation");
        }
        done(cap);
        return 0;
    }
    case SQLT_NUM:
    case SQLT_VNU: {
        unsigned char num[22];
        std::size_t n = 0;
        if (type == SQLITE_INTEGER) {
            n = encodeInteger(sqlite3_value_int64(cell), num);
        } else {
            double x;
            if (type == SQLITE_FLOAT)
                x = sqlite3_value_double(cell);
            else if (!parseNumber(reinterpret_cast<const char*>(sqlite3_value_text(cell)),
                                  static_cast<std::size_t>(sqlite3_value_bytes(cell)), x))
                invalidNumber();
            n = encodeDouble(x, num);
        }
        if (d->dty == SQLT_NUM) {
            if (cap < n)
                throw OraError(3115, "ORA-03115: unsupported network datatype or representation");
            std::memcpy(buf, num, n);
        } else {
            if (cap < n + 1)
                throw OraError(3115, "ORA-03115: unsupported network datatype or representation");
            buf[0] = static_cast<char>(n);
            std::memcpy(buf + 1, num, n);
            n += 1;
        }
        done(n);
        return 0;
    }
    case SQLT_DAT:
    case SQLT_ODT: {
        const char* p = text ? text : reinterpret_cast<const char*>(sqlite3_value_text(cell));
        auto dt = fromStorage(
            std::string_view(p, text ? textLength : static_cast<std::size_t>(sqlite3_value_bytes(cell))));
        if (!dt)
            throw OraError(1858, "ORA-01858: a non-numeric character was found where a numeric was expected");
        if (d->dty == SQLT_DAT) {
            if (cap < 7)
                throw OraError(3115, "ORA-03115: unsupported network datatype or representation");
            toOciDate(*dt, reinterpret_cast<unsigned char*>(buf));
            done(7);
        } else {
            if (cap < sizeof(OCIDate))
                throw OraError(3115, "ORA-03115: unsupported network datatype or representation");
            OCIDate od{};
            od.OCIDateYYYY = static_cast<sb2>(dt->year);
            od.OCIDateMM = static_cast<ub1>(dt->month);
            od.OCIDateDD = static_cast<ub1>(dt->day);
            od.OCIDateTime.OCITimeHH = static_cast<ub1>(dt->hour);
            od.OCIDateTime.OCITimeMI = static_cast<ub1>(dt->minute);
            od.OCIDateTime.OCITimeSS = static_cast<ub1>(dt->second);
            std::memcpy(buf, &od, sizeof od);
            done(sizeof od);
        }
        return 0;
    }
    case SQLT_DATE:
    case SQLT_TIMESTAMP:
    case SQLT_TIMESTAMP_TZ:
    case SQLT_TIMESTAMP_LTZ: {
        const char* p = reinterpret_cast<const char*>(sqlite3_value_text(cell));
        auto dt = fromStorage(std::string_view(p, static_cast<std::size_t>(sqlite3_value_bytes(cell))));
        if (!dt)
            throw OraError(1858, "ORA-01858: a non-numeric character was found where a numeric was expected");
        void* desc = nullptr;
        std::memcpy(&desc, buf, sizeof desc);
        dateTimeDefineValue(desc, *dt);
        done(sizeof desc);
        return 0;
    }
    case SQLT_RDD: {
        OCIRowid* desc = nullptr;
        std::memcpy(&desc, buf, sizeof desc);
        auto* r = static_cast<Rowid*>(findHandle(desc, OCI_DTYPE_ROWID));
        if (!r)
            throw OraError(1410, "ORA-01410: invalid ROWID");
        std::size_t len = 0;
        const char* p = cellBytes(s, col, cell, SQLT_CHR, len, scratch);
        if (sqlite3_value_type(cell) == SQLITE_INTEGER) {
            r->objectNumber = 0;
            r->rowid = sqlite3_value_int64(cell);
        } else {
            const DecodedRowid dr = decodeRowid(std::string_view(p, len));
            r->objectNumber = dr.objectNumber;
            r->rowid = dr.rowid;
        }
        r->valid = true;
        done(sizeof desc);
        return 0;
    }
    default: {
        if (!isCharType(d->dty) && !isBinaryType(d->dty))
            throw OraError(3115, "ORA-03115: unsupported network datatype or representation");
        std::size_t len = textLength;
        const char* p = text && !s->columns[static_cast<std::size_t>(col)].isDate()
                            ? text
                            : cellBytes(s, col, cell, d->dty, len, scratch, type);
        std::size_t n = 0;
        OutResult r = putBytes(d->dty, buf, cap, p, len, ind, &n);
        d->setLength(iter, n);
        if (rcode)
            *rcode = r.rcode;
        truncated = truncated || r.truncated;
        code = r.rcode;
        return code;
    }
    }
}

// OCIDefineDynamic: hands the value to the callback piece by piece.
void deliverDynamic(Stmt* s, Define* d, int col, ub4 iter, std::string& scratch) {
    sqlite3_value* cell = sqlite3_column_value(s->st, col);
    const bool null = cellIsNull(cell);
    std::size_t len = 0;
    const char* data = null ? nullptr : cellBytes(s, col, cell, d->dty, len, scratch);
    std::size_t offset = 0;
    ub1 piece = OCI_FIRST_PIECE;
    for (;;) {
        void* buf = nullptr;
        ub4* alen = nullptr;
        void* indv = nullptr;
        ub2* rcode = nullptr;
        const sb4 rc =
            d->callback(d->cbctx, reinterpret_cast<OCIDefine*>(d), iter, &buf, &alen, &piece, &indv, &rcode);
        if (rc != OCI_CONTINUE)
            throw OraError(24343, "ORA-24343: user defined callback error");
        auto* ind = static_cast<sb2*>(indv);
        if (null) {
            if (alen)
                *alen = 0;
            if (ind)
                *ind = OCI_IND_NULL;
            if (rcode)
                *rcode = 1405;
            return;
        }
        const std::size_t room = alen ? *alen : 0;
        const std::size_t n = std::min(room, len - offset);
        if (n && buf)
            std::memcpy(buf, data + offset, n);
        if (alen)
            *alen = static_cast<ub4>(n);
        if (ind)
            *ind = OCI_IND_NOTNULL;
        if (rcode)
            *rcode = 0;
        offset += n;
        if (offset >= len)
            return;
        if (n == 0 && room == 0)
            throw OraError(24343, "ORA-24343: user defined callback error");
        piece = OCI_NEXT_PIECE;
    }
}

bool isPolling(const Define* d) {
    return (d->mode & OCI_DYNAMIC_FETCH) && !d->callback;
}

// A select list with a LONG or LONG RAW column is fetched without prefetching, as by OCI.
bool prefetchApplies(const Stmt* s) {
    for (const ColumnDesc& c : s->columns)
        if (c.dataType == SQLT_LNG || c.dataType == SQLT_LBI)
            return false;
    return true;
}

// Rows the round trip of an execute or a fetch brings: those asked for, at least the prefetch count.
ub4 rowsPerRoundTrip(const Stmt* s, ub4 wanted) {
    return prefetchApplies(s) ? std::max(wanted, s->prefetchRows) : wanted;
}

// Makes the next row of the cursor the one being delivered. Rows still on the client cost nothing;
// otherwise this is a round trip. False at the end of the rows.
bool takeRow(Stmt* s, const char* call) {
    if (s->rowsOnClient == 0) {
        if (s->endOnClient)
            return false;
        checkAlive(s->conn, call, s->text);
        s->rowsOnClient = rowsPerRoundTrip(s, s->fetchWant - s->fetchIter);
    }
    if (!s->fetchRowPending && !nextRow(s)) {
        // The round trip that brought the last rows said so.
        s->endOnClient = true;
        s->rowsOnClient = 0;
        return false;
    }
    --s->rowsOnClient;
    s->fetchRowPending = true;
    s->fetchRowCounted = true;
    return true;
}

// The fetch loop; resumable after OCI_NEED_DATA for polling piecewise defines.
sword runFetch(Stmt* s, Error* err, const char* call) {
    std::string scratch;
    const std::size_t ncols = s->columns.size();
    while (s->fetchIter < s->fetchWant) {
        if (!s->fetchRowCounted) {
            if (!takeRow(s, call))
                break;
            s->fetchCol = 0;
        }
        for (; s->fetchCol < ncols; ++s->fetchCol) {
            Define* d = s->fetchCol < s->defines.size() ? s->defines[s->fetchCol] : nullptr;
            if (!d)
                continue;
            const int col = static_cast<int>(s->fetchCol);
            if (isPolling(d)) {
                PieceState& p = s->piece;
                if (!p.active || p.handle != d) {
                    p = PieceState{};
                    p.active = true;
                    p.handle = d;
                    p.inOut = OCI_PARAM_OUT;
                    p.piece = OCI_FIRST_PIECE;
                    p.iter = s->fetchIter;
                    return OCI_NEED_DATA;
                }
                if (!p.supplied)
                    return fail(err, 3130,
                                "ORA-03130: the buffer for the next piece to be fetched is required");
                sqlite3_value* cell = sqlite3_column_value(s->st, col);
                const bool null = cellIsNull(cell);
                std::size_t len = 0;
                const char* data = null ? nullptr : cellBytes(s, col, cell, d->dty, len, scratch);
                if (null) {
                    if (p.alenp)
                        *p.alenp = 0;
                    if (p.indp)
                        *p.indp = OCI_IND_NULL;
                    if (p.rcodep)
                        *p.rcodep = 1405;
                } else {
                    const std::size_t room = p.alenp ? *p.alenp : 0;
                    const std::size_t n = std::min(room, len - p.offset);
                    if (n && p.buf)
                        std::memcpy(p.buf, data + p.offset, n);
                    p.offset += n;
                    if (p.alenp)
                        *p.alenp = static_cast<ub4>(n);
                    if (p.indp)
                        *p.indp = OCI_IND_NOTNULL;
                    if (p.rcodep)
                        *p.rcodep = 0;
                    if (p.offset < len) {
                        p.piece = OCI_NEXT_PIECE;
                        p.supplied = false;
                        return OCI_NEED_DATA;
                    }
                }
                p = PieceState{};
                continue;
            }
            if ((d->mode & OCI_DYNAMIC_FETCH) && d->callback) {
                deliverDynamic(s, d, col, s->fetchIter, scratch);
                continue;
            }
            deliverCell(s, d, col, s->fetchIter, s->fetchTruncated, scratch);
        }
        s->fetchRowPending = false;
        s->fetchRowCounted = false;
        ++s->fetchIter;
        ++s->rowCount8;
    }
    s->fetchInProgress = false;
    s->rowsFetched = s->fetchIter;
    s->rowCount = static_cast<ub4>(s->rowCount8);
    if (s->fetchIter < s->fetchWant) {
        if (err)
            err->set(1403, "ORA-01403: no data found");
        return OCI_NO_DATA;
    }
    if (s->fetchTruncated) {
        if (err)
            err->set(1406, "ORA-01406: fetched column value was truncated");
        return OCI_SUCCESS_WITH_INFO;
    }
    return OCI_SUCCESS;
}

sword startFetch(Stmt* s, Error* err, ub4 nrows, const char* call) {
    bool anyDefine = false;
    for (Define* d : s->defines)
        anyDefine = anyDefine || d;
    if (!anyDefine && !s->columns.empty())
        return fail(err, 24374, "ORA-24374: define not done before fetch or execute and fetch");
    s->fetchInProgress = true;
    s->fetchWant = nrows;
    s->fetchIter = 0;
    s->fetchTruncated = false;
    s->rowsFetched = 0;
    return runFetch(s, err, call);
}

Connection* sessionConnection(SvcCtx* svc) {
    auto* session = static_cast<Session*>(findHandle(svc->session, OCI_HTYPE_SESSION));
    if (!session || !session->conn)
        return nullptr;
    return session->conn.get();
}

sword executeInner(SvcCtx* svc, Stmt* s, Error* err, ub4 iters, ub4 mode) {
    Connection* conn = sessionConnection(svc);
    if (!conn)
        return fail(err, 1012, "ORA-01012: not logged on");
    if (!s->prepared)
        return fail(err, 24337, "ORA-24337: statement handle not prepared");

    // Continuation of an execute that asked for OCI_DATA_AT_EXEC pieces.
    if (!s->execNeedsData) {
        checkAlive(conn, "OCIStmtExecute", s->text);
        for (Bind* b : s->binds)
            if (b->mode & OCI_DATA_AT_EXEC) {
                b->pieces.clear();
                b->piecesNull = false;
                b->piecesComplete = false;
            }
        collectCallbackBinds(s, iters);
    }
    // Ask for the pieces of the next OCI_DATA_AT_EXEC bind still incomplete (callback binds gave theirs).
    for (Bind* b : s->binds) {
        if (!(b->mode & OCI_DATA_AT_EXEC) || b->piecesComplete || b->inCallback || b->outCallback)
            continue;
        PieceState& p = s->piece;
        if (!p.active || p.handle != b) {
            p = PieceState{};
            p.active = true;
            p.handle = b;
            p.inOut = OCI_PARAM_IN;
            p.piece = OCI_FIRST_PIECE;
            s->execNeedsData = true;
            return OCI_NEED_DATA;
        }
        if (!p.supplied) {
            s->execNeedsData = true;
            return OCI_NEED_DATA;
        }
        // Take the piece set through OCIStmtSetPieceInfo.
        const ub4 n = p.alenp ? *p.alenp : 0;
        if (p.indp && *p.indp == OCI_IND_NULL)
            b->piecesNull = true;
        else if (n && p.buf)
            b->pieces.append(static_cast<const char*>(p.buf), n);
        const ub1 piece = p.piece;
        if (piece == OCI_LAST_PIECE || piece == OCI_ONE_PIECE) {
            b->piecesComplete = true;
            p = PieceState{};
            continue;
        }
        p.piece = OCI_NEXT_PIECE;
        p.supplied = false;
        s->execNeedsData = true;
        return OCI_NEED_DATA;
    }
    s->execNeedsData = false;
    s->piece = PieceState{};

    ensurePrepared(s, conn);
    const Translation& t = *s->translation;
    s->executed = true;
    s->haveLastRowid = false;
    s->rowCount = 0;
    s->rowCount8 = 0;
    s->rowsFetched = 0;

    if (t.kind == StatementKind::Select) {
        s->fetchInProgress = false;
        s->fetchRowPending = false;
        s->fetchRowCounted = false;
        s->rowsOnClient = 0;
        s->endOnClient = false;
        s->cursorDone = false;
        if (s->st)
            sqlite3_reset(s->st);
        if (mode & OCI_DESCRIBE_ONLY) {
            describeColumns(s);
            return OCI_SUCCESS;
        }
        bindAll(s, 0);
        if (t.usesSessionView && conn->locks())
            conn->locks()->fillSessionView(conn->db());
        if (t.forUpdate) {
            const std::string& lockSql = t.lockRowsSql;
            if (conn->locks() && !lockSql.empty()) {
                const std::vector<std::int64_t> rowids = selectRowids(s, conn, lockSql, t.lockParameters, 0);
                conn->startLogical();
                if (!rowids.empty())
                    conn->locks()->lock(conn->sid(), t.targetTable, rowids, t.noWait ? 0 : busyTimeoutMs());
            } else {
                conn->startLogical();
            }
        }
        // The first row is read at once: errors surface at execute and the cursor's snapshot starts here.
        if (s->st) {
            if (stepChecked(s) == SQLITE_ROW) {
                s->fetchRowPending = true;
                s->fetchCol = 0;
            } else {
                s->cursorDone = true;
                sqlite3_reset(s->st);
            }
        } else {
            s->cursorDone = true;
        }
        if (!s->described)
            describeColumns(s);
        // Undelivered first row: runFetch starts with it.
        if (s->fetchRowPending)
            s->fetchCol = 0;
        // The execute's round trip brings the first rows.
        s->rowsOnClient = rowsPerRoundTrip(s, iters);
        if (iters > 0) {
            return startFetch(s, err, iters, "OCIStmtExecute");
        }
        return OCI_SUCCESS;
    }

    if (mode & OCI_DESCRIBE_ONLY)
        return OCI_SUCCESS;
    if (iters == 0)
        return fail(err, 24333, "ORA-24333: zero iteration count");

    if (isDml(t.kind)) {
        ub8 rows = 0;
        for (ub4 i = 0; i < iters; ++i)
            runDmlOnce(s, conn, i, rows);
        s->rowCount8 = rows;
        s->rowCount = static_cast<ub4>(rows);
    } else if (isDdl(t.kind)) {
        // Oracle commits before and after DDL.
        conn->commit();
        materializeOpenCursors(conn);
        if (t.kind == StatementKind::Truncate && conn->locks()) {
            // TRUNCATE takes the whole table: a row that another session holds makes it fail at once.
            const std::vector<std::int64_t> rowids =
                selectRowids(s, conn, t.lockRowsSql, t.lockParameters, 0);
            if (!rowids.empty())
                conn->locks()->lock(conn->sid(), t.targetTable, rowids, 0);
        }
        if (t.kind == StatementKind::Drop && !t.synonymName.empty())
            conn->dropSynonym(t.synonymName);
        if (s->st) {
            const int rc = sqlite3_step(s->st);
            sqlite3_reset(s->st);
            if (rc != SQLITE_DONE && rc != SQLITE_ROW)
                throw mapSqliteError(conn->db(), rc, t.kind, conn->schema());
        }
        finalizeSqlite(s);
        if (t.kind == StatementKind::Truncate)
            conn->commit(); // releases the rows it held
        if (t.kind == StatementKind::Create || t.kind == StatementKind::Alter)
            conn->installColumnChecks();
        conn->schemaChanged();
        useConnection(s, nullptr);
    } else {
        switch (t.kind) {
        case StatementKind::CreateSynonym:
            conn->commit();
            conn->addSynonym(t.synonymName, t.synonymTarget);
            useConnection(s, nullptr);
            break;
        case StatementKind::PlSqlBlock:
            runPlSql(s, conn);
            break;
        case StatementKind::Savepoint:
            conn->savepoint(t.savepointName);
            break;
        case StatementKind::RollbackToSavepoint:
            conn->rollbackTo(t.savepointName);
            break;
        case StatementKind::Commit:
            conn->commit();
            break;
        case StatementKind::Rollback:
            conn->rollback();
            break;
        default:
            if (s->st) {
                bindAll(s, 0);
                int rc;
                while ((rc = stepChecked(s)) == SQLITE_ROW) {
                }
                sqlite3_reset(s->st);
            }
            break;
        }
    }
    if (mode & OCI_COMMIT_ON_SUCCESS)
        conn->commit();
    return OCI_SUCCESS;
}

} // namespace

void closeCursor(Stmt* s) {
    if (s->memDb)
        s->resetCursor(); // the in-memory copy of the rows goes with the cursor
    else if (s->st)
        sqlite3_reset(s->st); // ends the cursor's read snapshot
    s->cursorDone = true;
    s->fetchRowPending = false;
    s->fetchRowCounted = false;
    s->rowsOnClient = 0;
    s->endOnClient = false;
    s->fetchInProgress = false;
    s->executed = false;
    s->execNeedsData = false;
    s->piece = PieceState{};
    s->rowCount = 0;
    s->rowCount8 = 0;
    s->rowsFetched = 0;
}

void Stmt::resetCursor() {
    finalizeSqlite(this);
    useConnection(this, nullptr);
    translation.reset();
}

Stmt::~Stmt() {
    resetCursor();
}

void detachStatements(Connection* conn) {
    // Each statement leaves the list as it lets go of the connection.
    while (!conn->users().empty())
        static_cast<Stmt*>(conn->users().back())->resetCursor();
}

sword executeStatement(SvcCtx* svc, Stmt* s, Error* err, ub4 iters, ub4 mode) {
    try {
        return executeInner(svc, s, err, iters, mode);
    } catch (const OraError& e) {
        s->execNeedsData = false;
        s->piece = PieceState{};
        return fail(err, e.code, e.what());
    } catch (const std::exception& e) {
        s->execNeedsData = false;
        return fail(err, 600, std::string("ORA-00600: internal error code, arguments: [") + e.what() + "]");
    }
}

sword fetchStatement(Stmt* s, Error* err, ub4 nrows, const char* callName) {
    try {
        if (!s->executed || !s->translation || s->translation->kind != StatementKind::Select || !s->conn)
            return fail(err, 1002, "ORA-01002: fetch out of sequence");
        Connection* conn = s->conn;
        if (s->fetchInProgress)
            return runFetch(s, err, callName); // a polling piece continues the same fetch
        if (nrows == 0) {
            // Cancels the cursor.
            checkAlive(conn, callName, s->text);
            s->cursorDone = true;
            s->fetchRowPending = false;
            s->fetchRowCounted = false;
            s->rowsOnClient = 0;
            s->endOnClient = true;
            if (s->st)
                sqlite3_reset(s->st);
            s->rowsFetched = 0;
            return OCI_SUCCESS;
        }
        return startFetch(s, err, nrows, callName);
    } catch (const OraError& e) {
        s->fetchInProgress = false;
        s->piece = PieceState{};
        return fail(err, e.code, e.what());
    } catch (const std::exception& e) {
        s->fetchInProgress = false;
        return fail(err, 600, std::string("ORA-00600: internal error code, arguments: [") + e.what() + "]");
    }
}

sword getPieceInfo(Stmt* s, Error* err, void** hndlpp, ub4* typep, ub1* inOut, ub4* iterp, ub4* idxp,
                   ub1* piecep) {
    const PieceState& p = s->piece;
    if (!p.active)
        return fail(err, 24303, "ORA-24303: call not supported in non-deferred linkage");
    if (hndlpp)
        *hndlpp = p.handle;
    if (typep)
        *typep = p.handle->type;
    if (inOut)
        *inOut = p.inOut;
    if (iterp)
        *iterp = p.iter;
    if (idxp)
        *idxp = 0;
    if (piecep)
        *piecep = p.piece;
    return OCI_SUCCESS;
}

sword setPieceInfo(Handle* h, Error* err, const void* buf, ub4* alenp, ub1 piece, const void* indp,
                   ub2* rcodep) {
    Stmt* s = h->type == OCI_HTYPE_BIND ? static_cast<Bind*>(h)->stmt : static_cast<Define*>(h)->stmt;
    PieceState& p = s->piece;
    if (!p.active || p.handle != h)
        return fail(err, 24303, "ORA-24303: call not supported in non-deferred linkage");
    p.buf = const_cast<void*>(buf);
    p.alenp = alenp;
    p.indp = static_cast<sb2*>(const_cast<void*>(indp));
    p.rcodep = rcodep;
    if (p.inOut == OCI_PARAM_IN)
        p.piece = piece;
    p.supplied = true;
    return OCI_SUCCESS;
}

} // namespace ocisqlite
