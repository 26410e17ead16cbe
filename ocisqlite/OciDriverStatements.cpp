// The statement calls of OCI 9 and later that drivers use: the statement cache (OCIStmtPrepare2 and
// OCIStmtRelease), binds and defines with 32-bit lengths, callback binds and the list of bind names.
#include "CallSupport.h"
#include "DriverSupport.h"
#include "Engine.h"

#include <algorithm>
#include <climits>

namespace ocisqlite {

namespace {

sb4 clampSize(sb8 size) {
    return size > INT_MAX ? INT_MAX : size < 0 ? 0 : static_cast<sb4>(size);
}

// The session whose statements a service context caches: only one begun with OCI_STMT_CACHE.
Session* cachingSession(SvcCtx* svc) {
    auto* session = static_cast<Session*>(findHandle(svc->session, OCI_HTYPE_SESSION));
    if (!session || !session->conn || !(session->beginMode & OCI_STMT_CACHE) || svc->stmtCacheSize == 0)
        return nullptr;
    return session;
}

bool liveCached(Stmt* s) {
    return findHandle(s, OCI_HTYPE_STMT) && s->inCache;
}

void dropFromCache(SvcCtx* svc, Stmt* s) {
    auto& cache = svc->stmtCache;
    cache.erase(std::remove(cache.begin(), cache.end(), s), cache.end());
    if (liveCached(s)) {
        s->inCache = false;
        OCIHandleFree(s, OCI_HTYPE_STMT);
    }
}

// Statements of another session (the service context was reused) and dead entries go first, then the
// least recently used ones beyond the cache size.
void trimCache(SvcCtx* svc, Session* current) {
    auto& cache = svc->stmtCache;
    for (std::size_t i = 0; i < cache.size();) {
        Stmt* s = cache[i];
        if (!liveCached(s) || s->cacheSession != current)
            dropFromCache(svc, s);
        else
            ++i;
    }
    const std::size_t limit = current ? svc->stmtCacheSize : 0;
    while (cache.size() > limit)
        dropFromCache(svc, cache.front());
}

Stmt* takeFromCache(SvcCtx* svc, const std::string& text, const std::string& tag) {
    auto& cache = svc->stmtCache;
    for (auto it = cache.rbegin(); it != cache.rend(); ++it) {
        Stmt* s = *it;
        const bool match = tag.empty() ? s->cacheTag.empty() && s->text == text : s->cacheTag == tag;
        if (match) {
            cache.erase(std::next(it).base());
            s->inCache = false;
            return s;
        }
    }
    return nullptr;
}

} // namespace

void collectCallbackBinds(Stmt* s, ub4 iters) {
    const ub4 n = std::max<ub4>(iters, 1);
    for (Bind* b : s->binds) {
        b->callbackValues.clear();
        if (!b->inCallback)
            continue;
        b->callbackValues.resize(n);
        for (ub4 iter = 0; iter < n; ++iter) {
            std::string value;
            bool null = false;
            ub1 piece = OCI_ONE_PIECE;
            for (;;) {
                void* buf = nullptr;
                ub4 alen = 0;
                void* indp = nullptr;
                const sb4 rc = b->inCallback(b->inCtx, reinterpret_cast<OCIBind*>(static_cast<Handle*>(b)),
                                             iter, 0, &buf, &alen, &piece, &indp);
                if (rc != OCI_CONTINUE)
                    throw OraError(24343, "ORA-24343: user defined callback error");
                if (indp && *static_cast<const sb2*>(indp) == OCI_IND_NULL)
                    null = true;
                else if (buf && alen)
                    value.append(static_cast<const char*>(buf), alen);
                // A value in pieces goes on until its last piece.
                if (piece == OCI_ONE_PIECE || piece == OCI_LAST_PIECE)
                    break;
                piece = OCI_NEXT_PIECE;
            }
            if (!null)
                b->callbackValues[iter] = std::move(value);
        }
    }
}

bool refusedExecuteMode(ub4 mode) {
    return mode & (OCI_STMT_SCROLLABLE_READONLY | OCI_BATCH_ERRORS | OCI_RETURN_ROW_COUNT_ARRAY);
}

void writeOutCallback(Bind& b, ub4 iter, const std::string* value) {
    // Callbacks ask OCI_ATTR_ROWS_RETURNED how many rows this iteration returns: one value, or none.
    b.rowsReturned = value ? 1 : 0;
    std::size_t offset = 0;
    ub1 piece = OCI_ONE_PIECE;
    for (;;) {
        void* buf = nullptr;
        ub4* alen = nullptr;
        void* indp = nullptr;
        ub2* rcode = nullptr;
        auto* self = reinterpret_cast<OCIBind*>(static_cast<Handle*>(&b));
        if (b.outCallback(b.outCtx, self, iter, 0, &buf, &alen, &piece, &indp, &rcode) != OCI_CONTINUE)
            throw OraError(24343, "ORA-24343: user defined callback error");
        auto* ind = static_cast<sb2*>(indp);
        if (!value) {
            if (alen)
                *alen = 0;
            if (ind)
                *ind = OCI_IND_NULL;
            if (rcode)
                *rcode = 1405;
            return;
        }
        const std::size_t room = alen ? *alen : 0;
        const std::size_t n = std::min(room, value->size() - offset);
        if (n && buf)
            std::memcpy(buf, value->data() + offset, n);
        if (alen)
            *alen = static_cast<ub4>(n);
        if (ind)
            *ind = OCI_IND_NOTNULL;
        if (rcode)
            *rcode = 0;
        offset += n;
        if (offset >= value->size())
            return;
        if (n == 0)
            throw OraError(24343, "ORA-24343: user defined callback error");
        piece = OCI_NEXT_PIECE;
    }
}

std::optional<sword> statementCacheAttrSet(SvcCtx* svc, const void* attributep) {
    ub4 size = 0;
    if (attributep)
        std::memcpy(&size, attributep, sizeof size);
    svc->stmtCacheSize = size;
    trimCache(svc, cachingSession(svc));
    return OCI_SUCCESS;
}

} // namespace ocisqlite

using namespace ocisqlite;

OCI_EXPORT sword OCIStmtPrepare2(OCISvcCtx* svchp, OCIStmt** stmtp, OCIError* errhp, const OraText* stmt,
                                 ub4 stmt_len, const OraText* key, ub4 keylen, ub4 language, ub4 mode) {
    CallLock call(svchp, OCI_HTYPE_SVCCTX);
    auto* svc = call.as<SvcCtx>();
    Error* err = errorOf(errhp);
    if (!svc || !err || !stmtp)
        return OCI_INVALID_HANDLE;
    err->clear();
    *stmtp = nullptr;
    const std::string text =
        stmt ? std::string(reinterpret_cast<const char*>(stmt), stmt_len) : std::string();
    const std::string tag = key ? std::string(reinterpret_cast<const char*>(key), keylen) : std::string();
    Session* session = cachingSession(svc);
    trimCache(svc, session);
    if (session && (!text.empty() || !tag.empty())) {
        if (Stmt* s = takeFromCache(svc, text, tag)) {
            *stmtp = reinterpret_cast<OCIStmt*>(static_cast<Handle*>(s));
            return OCI_SUCCESS;
        }
    }
    if ((mode & OCI_PREP2_CACHE_SEARCHONLY) || text.empty())
        return fail(err, 24431, "ORA-24431: Statement does not exist in the cache");
    void* h = nullptr;
    if (OCIHandleAlloc(svc, &h, OCI_HTYPE_STMT, 0, nullptr) != OCI_SUCCESS)
        return fail(err, 1019, "ORA-01019: unable to allocate memory in the user side");
    const sword rc = OCIStmtPrepare(static_cast<OCIStmt*>(h), errhp, stmt, stmt_len, language, OCI_DEFAULT);
    if (rc != OCI_SUCCESS) {
        OCIHandleFree(h, OCI_HTYPE_STMT);
        return rc;
    }
    auto* s = static_cast<Stmt*>(static_cast<Handle*>(h));
    s->prepared2 = true;
    s->cacheSession = session;
    s->cacheTag = tag;
    *stmtp = static_cast<OCIStmt*>(h);
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIStmtRelease(OCIStmt* stmtp, OCIError* errhp, const OraText* key, ub4 keylen, ub4 mode) {
    CallLock call(stmtp, OCI_HTYPE_STMT);
    auto* s = call.as<Stmt>();
    Error* err = errorOf(errhp);
    if (!s || !err)
        return OCI_INVALID_HANDLE;
    err->clear();
    if (!s->prepared2 || s->inCache)
        return fail(err, 21560, "ORA-21560: argument 1 is null, invalid, or out of range");
    auto* svc = static_cast<SvcCtx*>(findHandle(s->parent, OCI_HTYPE_SVCCTX));
    Session* session = svc ? cachingSession(svc) : nullptr;
    const bool keep = session && session == s->cacheSession && !(mode & OCI_STRLS_CACHE_DELETE) &&
                      !s->execNeedsData && !s->fetchInProgress;
    if (!keep) {
        OCIHandleFree(s, OCI_HTYPE_STMT);
        return OCI_SUCCESS;
    }
    // The cursor closes; the parsed statement, its binds and defines stay for the next prepare.
    closeCursor(s);
    if (key)
        s->cacheTag.assign(reinterpret_cast<const char*>(key), keylen);
    s->inCache = true;
    svc->stmtCache.push_back(s);
    trimCache(svc, session);
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIBindByName2(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, const OraText* placeholder,
                                sb4 placeh_len, void* valuep, sb8 value_sz, ub2 dty, void* indp, ub4* alenp,
                                ub2* rcodep, ub4 maxarr_len, ub4* curelep, ub4 mode) {
    CallLock call(stmtp, OCI_HTYPE_STMT);
    if (!call.handle())
        return OCI_INVALID_HANDLE;
    const sword rc = OCIBindByName(stmtp, bindp, errhp, placeholder, placeh_len, valuep, clampSize(value_sz),
                                   dty, indp, nullptr, rcodep, maxarr_len, curelep, mode);
    if (rc == OCI_SUCCESS)
        reinterpret_cast<Bind*>(*bindp)->alen4p = alenp;
    return rc;
}

OCI_EXPORT sword OCIBindByPos2(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, ub4 position, void* valuep,
                               sb8 value_sz, ub2 dty, void* indp, ub4* alenp, ub2* rcodep, ub4 maxarr_len,
                               ub4* curelep, ub4 mode) {
    CallLock call(stmtp, OCI_HTYPE_STMT);
    if (!call.handle())
        return OCI_INVALID_HANDLE;
    const sword rc = OCIBindByPos(stmtp, bindp, errhp, position, valuep, clampSize(value_sz), dty, indp,
                                  nullptr, rcodep, maxarr_len, curelep, mode);
    if (rc == OCI_SUCCESS)
        reinterpret_cast<Bind*>(*bindp)->alen4p = alenp;
    return rc;
}

OCI_EXPORT sword OCIBindDynamic(OCIBind* bindp, OCIError* errhp, void* ictxp, OCICallbackInBind icbfp,
                                void* octxp, OCICallbackOutBind ocbfp) {
    CallLock call(bindp, OCI_HTYPE_BIND);
    auto* b = call.as<Bind>();
    Error* err = errorOf(errhp);
    if (!b || !err)
        return OCI_INVALID_HANDLE;
    err->clear();
    // Callbacks supply the data at execute time, so the bind must have said so.
    if (!(b->mode & OCI_DATA_AT_EXEC))
        return fail(err, 24300, "ORA-24300: bad value for mode");
    b->inCtx = ictxp;
    b->inCallback = icbfp;
    b->outCtx = octxp;
    b->outCallback = ocbfp;
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIDefineByPos2(OCIStmt* stmtp, OCIDefine** defnp, OCIError* errhp, ub4 position,
                                 void* valuep, sb8 value_sz, ub2 dty, void* indp, ub4* rlenp, ub2* rcodep,
                                 ub4 mode) {
    CallLock call(stmtp, OCI_HTYPE_STMT);
    if (!call.handle())
        return OCI_INVALID_HANDLE;
    const sword rc = OCIDefineByPos(stmtp, defnp, errhp, position, valuep, clampSize(value_sz), dty, indp,
                                    nullptr, rcodep, mode);
    if (rc == OCI_SUCCESS)
        reinterpret_cast<Define*>(*defnp)->rlen4p = rlenp;
    return rc;
}

OCI_EXPORT sword OCIStmtGetBindInfo(OCIStmt* stmtp, OCIError* errhp, ub4 size, ub4 startloc, sb4* found,
                                    OraText* bvnp[], ub1 bvnl[], OraText* invp[], ub1 inpl[], ub1 dupl[],
                                    OCIBind** hndl) {
    CallLock call(stmtp, OCI_HTYPE_STMT);
    auto* s = call.as<Stmt>();
    Error* err = errorOf(errhp);
    if (!s || !err)
        return OCI_INVALID_HANDLE;
    err->clear();
    if (!s->prepared)
        return fail(err, 24337, "ORA-24337: statement handle not prepared");
    const auto& names = s->placeholders;
    if (names.empty())
        return OCI_NO_DATA;
    if (startloc == 0 || startloc > names.size())
        return fail(err, 21560, "ORA-21560: argument 4 is null, invalid, or out of range");
    const std::size_t total = names.size();
    const std::size_t n = std::min<std::size_t>(size, total - (startloc - 1));
    for (std::size_t i = 0; i < n; ++i) {
        const std::string& name = names[startloc - 1 + i];
        if (bvnp)
            bvnp[i] = reinterpret_cast<OraText*>(const_cast<char*>(name.c_str()));
        if (bvnl)
            bvnl[i] = static_cast<ub1>(std::min<std::size_t>(name.size(), 255));
        if (invp)
            invp[i] = nullptr;
        if (inpl)
            inpl[i] = 0;
        if (dupl)
            dupl[i] = 0; // names are listed once each
        if (hndl) {
            Bind* bound = nullptr;
            for (Bind* b : s->binds)
                if (b->name == name || (b->name.empty() && b->position == startloc + i))
                    bound = b;
            hndl[i] = reinterpret_cast<OCIBind*>(static_cast<Handle*>(bound));
        }
    }
    // A negative count says that more names follow than fitted.
    if (found)
        *found = startloc - 1 + n < total ? -static_cast<sb4>(total) : static_cast<sb4>(total);
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIStmtGetNextResult(OCIStmt* stmthp, OCIError* errhp, void** result, ub4* rtype, ub4) {
    CallLock call(stmthp, OCI_HTYPE_STMT);
    auto* s = call.as<Stmt>();
    Error* err = errorOf(errhp);
    if (!s || !err)
        return OCI_INVALID_HANDLE;
    err->clear();
    // No statement returns implicit results here (there is no DBMS_SQL.RETURN_RESULT).
    if (result)
        *result = nullptr;
    if (rtype)
        *rtype = 0;
    return OCI_NO_DATA;
}
