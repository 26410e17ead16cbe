// The exported OCI entry points: handle checks, locking and attribute plumbing around the engine.
#include "CallSupport.h"
#include "DriverSupport.h"
#include "Engine.h"
#include "Handles.h"
#include "Runtime.h"
#include "SqlText.h"

#include "Rowid.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <unistd.h>
#include <unordered_set>

namespace ocisqlite {

namespace {

std::unordered_set<Handle*>& registry() {
    static auto* set = new std::unordered_set<Handle*>();
    return *set;
}

void freeTree(Handle* h) {
    // Children first; each one leaves its parent's list.
    while (!h->children.empty())
        freeTree(h->children.back());
    if (h->parent) {
        // Searched from the back: children are freed last first, so a statement with 32 766 binds goes in
        // linear time.
        auto& sib = h->parent->children;
        if (const auto it = std::find(sib.rbegin(), sib.rend(), h); it != sib.rend())
            sib.erase(std::next(it).base());
    }
    switch (h->type) {
    case OCI_HTYPE_SESSION:
        if (!h->descriptor) {
            auto* s = static_cast<Session*>(h);
            if (s->conn) {
                detachStatements(s->conn.get());
                s->conn.reset();
            }
        }
        break;
    case OCI_HTYPE_BIND: {
        auto* b = static_cast<Bind*>(h);
        if (findHandle(b->stmt, OCI_HTYPE_STMT)) {
            auto& v = b->stmt->binds;
            if (const auto it = std::find(v.rbegin(), v.rend(), b); it != v.rend())
                v.erase(std::next(it).base());
            b->stmt->bindByKey.erase(bindKey(b->name, b->position));
        }
        break;
    }
    case OCI_HTYPE_DEFINE: {
        auto* d = static_cast<Define*>(h);
        if (findHandle(d->stmt, OCI_HTYPE_STMT))
            for (auto& slot : d->stmt->defines)
                if (slot == d)
                    slot = nullptr;
        break;
    }
    default:
        break;
    }
    unregisterHandle(h);
    delete h;
}

template <class T> T* make(Handle* parent, ub4 type, bool descriptor = false) {
    auto* h = new (std::nothrow) T();
    if (!h)
        return nullptr;
    h->type = type;
    h->descriptor = descriptor;
    h->parent = parent;
    h->env = parent ? parent->env : static_cast<Env*>(static_cast<Handle*>(h));
    if (parent)
        parent->children.push_back(h);
    registerHandle(h);
    return h;
}

sword envCreate(OCIEnv** envp, ub4 mode, ub2 charset, ub2 ncharset) {
    if (!envp)
        return OCI_INVALID_HANDLE;
    *envp = nullptr;
    std::lock_guard<std::recursive_mutex> lock(registryMutex());
    Env* env = make<Env>(nullptr, OCI_HTYPE_ENV);
    if (!env)
        return OCI_ERROR;
    env->mode = mode;
    if (charset)
        env->charset = charset;
    if (ncharset)
        env->ncharset = ncharset;
    *envp = reinterpret_cast<OCIEnv*>(static_cast<Handle*>(env));
    return OCI_SUCCESS;
}

// The session's module, action and client info into V$SESSION.
sword publishLabels(Session* s, Error* err, bool module, bool clientInfo) {
    if (!s->conn)
        return OCI_SUCCESS;
    try {
        if (module)
            s->conn->setModule(&s->module, &s->action);
        if (clientInfo)
            s->conn->setClientInfo(&s->clientInfo);
    } catch (const OraError& e) {
        return fail(err, e.code, e.what());
    } catch (const std::exception& e) {
        return fail(err, 600, std::string("ORA-00600: internal error code, arguments: [") + e.what() + "]");
    }
    return OCI_SUCCESS;
}

const char* kBanner = "Oracle Database 19c Enterprise Edition Release 19.0.0.0.0 - Production\n"
                      "Version 19.3.0.0.0 (ocisqlite embedded server)";

} // namespace

const char* HandedOutTexts::keep(const std::string& text) {
    for (const auto& [kept, size] : texts_)
        if (size == text.size() + 1 && std::memcmp(kept, text.c_str(), size) == 0)
            return kept;
    char* copy = new (std::nothrow) char[text.size() + 1];
    if (!copy)
        return nullptr;
    std::memcpy(copy, text.c_str(), text.size() + 1);
    texts_.emplace_back(copy, text.size() + 1);
    return copy;
}

void HandedOutTexts::clear() {
    for (const auto& [text, size] : texts_)
        retireDescriptorText(text, size);
    texts_.clear();
}

void registerHandle(Handle* h) {
    std::lock_guard<std::recursive_mutex> lock(registryMutex());
    registry().insert(h);
}

void unregisterHandle(Handle* h) {
    std::lock_guard<std::recursive_mutex> lock(registryMutex());
    registry().erase(h);
}

Handle* findAnyHandle(const void* p) {
    if (!p)
        return nullptr;
    std::lock_guard<std::recursive_mutex> lock(registryMutex());
    // The pointer is compared, never dereferenced, before it is known to be ours.
    Handle* h = static_cast<Handle*>(const_cast<void*>(p));
    return registry().count(h) ? h : nullptr;
}

Handle* findHandle(const void* p, ub4 type) {
    Handle* h = findAnyHandle(p);
    if (!h)
        return nullptr;
    if (type == 0 || h->type == type)
        return h;
    // Parameter descriptors are also addressed with OCI_HTYPE_DESCRIBE by some clients.
    if (type == OCI_HTYPE_DESCRIBE && h->type == OCI_DTYPE_PARAM)
        return h;
    return nullptr;
}

std::recursive_mutex& registryMutex() {
    static auto* m = new std::recursive_mutex();
    return *m;
}

void forEachHandle(void (*fn)(Handle*, void*), void* ctx) {
    std::lock_guard<std::recursive_mutex> lock(registryMutex());
    std::vector<Handle*> all(registry().begin(), registry().end());
    for (Handle* h : all)
        fn(h, ctx);
}

} // namespace ocisqlite

using namespace ocisqlite;

OCI_EXPORT sword OCIEnvCreate(OCIEnv** envp, ub4 mode, void*, void* (*)(void*, size_t),
                              void* (*)(void*, void*, size_t), void (*)(void*, void*), size_t,
                              void** usrmempp) {
    if (usrmempp)
        *usrmempp = nullptr;
    return envCreate(envp, mode, 0, 0);
}

OCI_EXPORT sword OCIEnvNlsCreate(OCIEnv** envp, ub4 mode, void*, void* (*)(void*, size_t),
                                 void* (*)(void*, void*, size_t), void (*)(void*, void*), size_t,
                                 void** usrmempp, ub2 charset, ub2 ncharset) {
    if (usrmempp)
        *usrmempp = nullptr;
    return envCreate(envp, mode, charset, ncharset);
}

OCI_EXPORT sword OCIHandleAlloc(const void* parenth, void** hndlpp, const ub4 type, const size_t,
                                void** usrmempp) {
    if (!hndlpp)
        return OCI_INVALID_HANDLE;
    if (usrmempp)
        *usrmempp = nullptr;
    CallLock call(parenth, 0);
    Handle* parent = call.handle();
    if (!parent)
        return OCI_INVALID_HANDLE;
    Handle* h = nullptr;
    switch (type) {
    case OCI_HTYPE_ERROR:
        h = make<Error>(parent, type);
        break;
    case OCI_HTYPE_SVCCTX:
        h = make<SvcCtx>(parent, type);
        break;
    case OCI_HTYPE_STMT:
        h = make<Stmt>(parent, type);
        break;
    case OCI_HTYPE_SERVER:
        h = make<Server>(parent, type);
        break;
    case OCI_HTYPE_SESSION:
        h = make<Session>(parent, type);
        break;
    case OCI_HTYPE_DESCRIBE:
    case OCI_HTYPE_TRANS:
    case OCI_HTYPE_CPOOL: // pools exist only for their creation to be refused
    case OCI_HTYPE_SPOOL:
        h = make<Generic>(parent, type);
        break;
    default:
        return OCI_INVALID_HANDLE;
    }
    if (!h)
        return OCI_INVALID_HANDLE;
    *hndlpp = h;
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIHandleFree(void* hndlp, const ub4 type) {
    if (type == OCI_HTYPE_ENV) {
        // The lock is held through a shared pointer: it outlives the environment it guards.
        std::shared_ptr<std::recursive_mutex> m;
        {
            std::lock_guard<std::recursive_mutex> lock(registryMutex());
            Handle* h = findHandle(hndlp, OCI_HTYPE_ENV);
            if (!h || h->descriptor)
                return OCI_INVALID_HANDLE;
            m = h->env->mutex;
        }
        std::lock_guard<std::recursive_mutex> envLock(*m);
        std::lock_guard<std::recursive_mutex> lock(registryMutex());
        Handle* h = findHandle(hndlp, OCI_HTYPE_ENV);
        if (!h)
            return OCI_INVALID_HANDLE;
        freeTree(h);
        return OCI_SUCCESS;
    }
    CallLock call(hndlp, type);
    Handle* h = call.handle();
    if (!h || h->descriptor || type == OCI_HTYPE_BIND || type == OCI_HTYPE_DEFINE)
        return OCI_INVALID_HANDLE;
    std::lock_guard<std::recursive_mutex> lock(registryMutex());
    freeTree(h);
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIDescriptorAlloc(const void* parenth, void** descpp, const ub4 type, const size_t,
                                    void** usrmempp) {
    if (!descpp)
        return OCI_INVALID_HANDLE;
    if (usrmempp)
        *usrmempp = nullptr;
    CallLock call(parenth, 0);
    Handle* parent = call.handle();
    if (!parent)
        return OCI_INVALID_HANDLE;
    Handle* h = nullptr;
    switch (type) {
    case OCI_DTYPE_ROWID:
        h = make<Rowid>(parent, type, true);
        break;
    case OCI_DTYPE_INTERVAL_YM:
    case OCI_DTYPE_INTERVAL_DS:
        h = make<Interval>(parent, type, true);
        break;
    case OCI_DTYPE_DATE:
    case OCI_DTYPE_TIMESTAMP:
    case OCI_DTYPE_TIMESTAMP_TZ:
    case OCI_DTYPE_TIMESTAMP_LTZ:
        h = make<DateTime>(parent, type, true);
        break;
    case OCI_DTYPE_SNAP:
    case OCI_DTYPE_LOB:
    case OCI_DTYPE_AQENQ_OPTIONS: // queues and LOB locators exist only for their use to be refused
    case OCI_DTYPE_AQDEQ_OPTIONS:
    case OCI_DTYPE_AQMSG_PROPERTIES:
    case OCI_DTYPE_AQAGENT:
        h = make<Generic>(parent, type, true);
        break;
    default:
        return OCI_INVALID_HANDLE;
    }
    if (!h)
        return OCI_INVALID_HANDLE;
    *descpp = h;
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIDescriptorFree(void* descp, const ub4 type) {
    CallLock call(descp, type);
    Handle* h = call.handle();
    if (!h || !h->descriptor)
        return OCI_INVALID_HANDLE;
    std::lock_guard<std::recursive_mutex> lock(registryMutex());
    freeTree(h);
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIServerAttach(OCIServer* srvhp, OCIError* errhp, const OraText* dblink, sb4 dblink_len,
                                 ub4) {
    CallLock call(srvhp, OCI_HTYPE_SERVER);
    auto* srv = call.as<Server>();
    Error* err = errorOf(errhp);
    if (!srv || !err)
        return OCI_INVALID_HANDLE;
    err->clear();
    if (srv->attached)
        return fail(err, 24309, "ORA-24309: already connected to a server");
    std::string id;
    if (dblink) {
        const char* p = reinterpret_cast<const char*>(dblink);
        id = dblink_len > 0 ? std::string(p, static_cast<std::size_t>(dblink_len)) : std::string(p);
    }
    const std::string path = databasePath(id);
    roundTrip(0, "OCIServerAttach", id);
    if (path.empty() || ::access(path.c_str(), F_OK) != 0)
        return fail(err, 12154, "ORA-12154: TNS:could not resolve the connect identifier specified");
    // No call timeout reaches the connect: a silent host answers when the network gives up.
    switch (serverReach(path, 0)) {
    case Reach::Down:
        return fail(err, 12541, "ORA-12541: TNS:no listener");
    case Reach::Silent:
    case Reach::TimedOut:
        return fail(err, 12170, "ORA-12170: TNS:Connect timeout occurred");
    case Reach::Answered:
        break;
    }
    srv->identifier = id;
    srv->path = path;
    srv->attached = true;
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIServerDetach(OCIServer* srvhp, OCIError* errhp, ub4) {
    CallLock call(srvhp, OCI_HTYPE_SERVER);
    auto* srv = call.as<Server>();
    Error* err = errorOf(errhp);
    if (!srv || !err)
        return OCI_INVALID_HANDLE;
    err->clear();
    if (!srv->attached)
        return fail(err, 24327, "ORA-24327: need explicit attach before authenticating a user");
    srv->attached = false;
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIAttrSet(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size, ub4 attrtype,
                            OCIError* errhp) {
    CallLock call(trgthndlp, trghndltyp);
    Handle* h = call.handle();
    if (!h)
        return OCI_INVALID_HANDLE;
    Error* err = errorOf(errhp);
    auto unsupported = [&] {
        return err ? fail(err, 24315, "ORA-24315: illegal attribute type") : OCI_ERROR;
    };
    if (auto rc = driverAttrSet(h, attributep, size, attrtype, err))
        return *rc;
    switch (h->type) {
    case OCI_HTYPE_SVCCTX: {
        auto* svc = static_cast<SvcCtx*>(h);
        if (attrtype == OCI_ATTR_SERVER) {
            svc->server = static_cast<Server*>(findHandle(attributep, OCI_HTYPE_SERVER));
            return attributep && !svc->server ? OCI_INVALID_HANDLE : OCI_SUCCESS;
        }
        if (attrtype == OCI_ATTR_SESSION) {
            svc->session = static_cast<Session*>(findHandle(attributep, OCI_HTYPE_SESSION));
            return attributep && !svc->session ? OCI_INVALID_HANDLE : OCI_SUCCESS;
        }
        if (attrtype == OCI_ATTR_TRANS)
            return OCI_SUCCESS;
        // Clients before 18.1 do not know the attribute.
        if (attrtype == OCI_ATTR_CALL_TIMEOUT && clientFeatureRelease() >= 18) {
            if (!attributep)
                return err ? fail(err, 24315, "ORA-24315: illegal attribute type") : OCI_ERROR;
            std::memcpy(&svc->callTimeoutMs, attributep, sizeof svc->callTimeoutMs);
            if (auto* s = static_cast<Session*>(findHandle(svc->session, OCI_HTYPE_SESSION)); s && s->conn)
                s->conn->setCallTimeoutMs(svc->callTimeoutMs);
            return OCI_SUCCESS;
        }
        return unsupported();
    }
    case OCI_HTYPE_SESSION: {
        auto* s = static_cast<Session*>(h);
        switch (attrtype) {
        case OCI_ATTR_USERNAME:
            s->usernameRef = static_cast<const char*>(attributep);
            s->usernameSize = attributep ? size : 0;
            return OCI_SUCCESS;
        case OCI_ATTR_PASSWORD:
            s->passwordRef = static_cast<const char*>(attributep);
            s->passwordSize = attributep ? size : 0;
            return OCI_SUCCESS;
        // Module, action and client info of a running session show in V$SESSION at once.
        case OCI_ATTR_MODULE:
            copyText(s->module, attributep, size);
            return publishLabels(s, err, true, false);
        case OCI_ATTR_ACTION:
            copyText(s->action, attributep, size);
            return publishLabels(s, err, true, false);
        case OCI_ATTR_CLIENT_INFO:
            copyText(s->clientInfo, attributep, size);
            return publishLabels(s, err, false, true);
        default:
            return unsupported();
        }
    }
    case OCI_HTYPE_STMT:
        switch (attrtype) {
        case OCI_ATTR_PREFETCH_ROWS:
            if (!attributep)
                return unsupported();
            std::memcpy(&static_cast<Stmt*>(h)->prefetchRows, attributep, sizeof(ub4));
            return OCI_SUCCESS;
        case OCI_ATTR_PREFETCH_MEMORY:
            // Kept for reading back; rows are counted, not bytes.
            if (!attributep)
                return unsupported();
            std::memcpy(&static_cast<Stmt*>(h)->prefetchMemory, attributep, sizeof(ub4));
            return OCI_SUCCESS;
        default:
            return unsupported();
        }
    case OCI_HTYPE_BIND:
    case OCI_HTYPE_DEFINE:
        if (attrtype == OCI_ATTR_CHARSET_ID || attrtype == OCI_ATTR_CHARSET_FORM ||
            attrtype == OCI_ATTR_MAXDATA_SIZE)
            return OCI_SUCCESS;
        return unsupported();
    case OCI_HTYPE_ENV:
    case OCI_HTYPE_SERVER:
    case OCI_HTYPE_ERROR:
        return OCI_SUCCESS; // options without effect here
    default:
        return unsupported();
    }
}

OCI_EXPORT sword OCIAttrGet(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep, ub4 attrtype,
                            OCIError* errhp) {
    CallLock call(trgthndlp, trghndltyp);
    Handle* h = call.handle();
    if (!h)
        return OCI_INVALID_HANDLE;
    Error* err = errorOf(errhp);
    auto unsupported = [&] {
        return err ? fail(err, 24315, "ORA-24315: illegal attribute type") : OCI_ERROR;
    };
    if (auto rc = driverAttrGet(h, attributep, sizep, attrtype, err))
        return *rc;
    switch (h->type) {
    case OCI_HTYPE_ENV: {
        auto* env = static_cast<Env*>(h);
        if (attrtype == OCI_ATTR_CHARSET_ID) {
            put<ub2>(attributep, env->charset);
            return OCI_SUCCESS;
        }
        if (attrtype == OCI_ATTR_NCHARSET_ID) {
            put<ub2>(attributep, env->ncharset);
            return OCI_SUCCESS;
        }
        return unsupported();
    }
    case OCI_HTYPE_SVCCTX: {
        auto* svc = static_cast<SvcCtx*>(h);
        if (attrtype == OCI_ATTR_SERVER) {
            put<void*>(attributep, findHandle(svc->server, OCI_HTYPE_SERVER));
            return OCI_SUCCESS;
        }
        if (attrtype == OCI_ATTR_SESSION) {
            put<void*>(attributep, findHandle(svc->session, OCI_HTYPE_SESSION));
            return OCI_SUCCESS;
        }
        if (attrtype == OCI_ATTR_CALL_TIMEOUT) {
            put<ub4>(attributep, svc->callTimeoutMs);
            return OCI_SUCCESS;
        }
        return unsupported();
    }
    case OCI_HTYPE_SERVER: {
        auto* srv = static_cast<Server*>(h);
        if (attrtype == OCI_ATTR_SERVER_STATUS) {
            put<ub4>(attributep,
                     srv->attached && !serverDown(srv->path) ? OCI_SERVER_NORMAL : OCI_SERVER_NOT_CONNECTED);
            return OCI_SUCCESS;
        }
        return unsupported();
    }
    case OCI_HTYPE_SESSION: {
        auto* s = static_cast<Session*>(h);
        switch (attrtype) {
        case OCI_ATTR_USERNAME:
            if (!s->conn && s->usernameRef) {
                // Not begun yet: the client's own buffer, as it gave it.
                put<const char*>(attributep, s->usernameRef);
                if (sizep)
                    *sizep = s->usernameSize;
                return OCI_SUCCESS;
            }
            putText(attributep, sizep, s->username);
            return OCI_SUCCESS;
        case OCI_ATTR_MODULE:
            putText(attributep, sizep, s->module);
            return OCI_SUCCESS;
        case OCI_ATTR_ACTION:
            putText(attributep, sizep, s->action);
            return OCI_SUCCESS;
        case OCI_ATTR_CLIENT_INFO:
            putText(attributep, sizep, s->clientInfo);
            return OCI_SUCCESS;
        default:
            return unsupported();
        }
    }
    case OCI_HTYPE_STMT: {
        auto* s = static_cast<Stmt*>(h);
        switch (attrtype) {
        case OCI_ATTR_STMT_TYPE:
            put<ub2>(attributep, s->stmtType);
            return OCI_SUCCESS;
        case OCI_ATTR_ROW_COUNT:
            put<ub4>(attributep, static_cast<ub4>(s->rowCount8));
            return OCI_SUCCESS;
        case OCI_ATTR_UB8_ROW_COUNT:
            put<ub8>(attributep, s->rowCount8);
            return OCI_SUCCESS;
        case OCI_ATTR_ROWS_FETCHED:
            put<ub4>(attributep, s->rowsFetched);
            return OCI_SUCCESS;
        case OCI_ATTR_PREFETCH_ROWS:
            put<ub4>(attributep, s->prefetchRows);
            return OCI_SUCCESS;
        case OCI_ATTR_PREFETCH_MEMORY:
            put<ub4>(attributep, s->prefetchMemory);
            return OCI_SUCCESS;
        case OCI_ATTR_PARAM_COUNT:
            if (!s->executed || !s->described)
                return err ? fail(err, 24338, "ORA-24338: statement handle not executed") : OCI_ERROR;
            put<ub4>(attributep, static_cast<ub4>(s->columns.size()));
            return OCI_SUCCESS;
        case OCI_ATTR_STMT_IS_RETURNING: {
            const std::string up = upperAscii(s->text);
            put<ub1>(attributep, up.find("RETURNING") != std::string::npos ? 1 : 0);
            return OCI_SUCCESS;
        }
        case OCI_ATTR_PARSE_ERROR_OFFSET:
            put<ub2>(attributep, 0);
            return OCI_SUCCESS;
        case OCI_ATTR_ROWID: {
            // The caller's descriptor is passed itself, not its address.
            auto* r = static_cast<Rowid*>(findHandle(attributep, OCI_DTYPE_ROWID));
            if (!r)
                return OCI_INVALID_HANDLE;
            if (!s->haveLastRowid) {
                r->valid = false;
                if (sizep)
                    *sizep = 0;
                return OCI_SUCCESS;
            }
            r->valid = true;
            r->objectNumber = s->lastObject;
            r->rowid = s->lastRowid;
            if (sizep)
                *sizep = sizeof(OCIRowid*);
            return OCI_SUCCESS;
        }
        default:
            return unsupported();
        }
    }
    case OCI_DTYPE_PARAM: {
        const ColumnDesc& c = static_cast<Param*>(h)->desc;
        switch (attrtype) {
        case OCI_ATTR_DATA_SIZE:
            put<ub2>(attributep, c.dataSize);
            return OCI_SUCCESS;
        case OCI_ATTR_DATA_TYPE:
            put<ub2>(attributep, c.dataType);
            return OCI_SUCCESS;
        case OCI_ATTR_DISP_SIZE:
            put<ub2>(attributep, c.dataType == SQLT_NUM ? ub2(40) : c.dataSize);
            return OCI_SUCCESS;
        case OCI_ATTR_NAME: {
            const char* name = static_cast<Param*>(h)->texts.keep(c.name);
            put<const char*>(attributep, name);
            if (sizep)
                *sizep = name ? static_cast<ub4>(c.name.size()) : 0;
            return OCI_SUCCESS;
        }
        case OCI_ATTR_PRECISION:
            put<sb2>(attributep, c.precision);
            return OCI_SUCCESS;
        case OCI_ATTR_SCALE:
            put<sb1>(attributep, c.scale);
            return OCI_SUCCESS;
        case OCI_ATTR_IS_NULL:
            put<ub1>(attributep, c.isNull);
            return OCI_SUCCESS;
        case OCI_ATTR_CHAR_USED:
            put<ub1>(attributep, c.charUsed);
            return OCI_SUCCESS;
        case OCI_ATTR_CHAR_SIZE:
            put<ub2>(attributep, c.charSize);
            return OCI_SUCCESS;
        case OCI_ATTR_CHARSET_ID:
            put<ub2>(attributep, OCI_AL32UTF8_ID);
            return OCI_SUCCESS;
        case OCI_ATTR_CHARSET_FORM:
            put<ub1>(attributep, SQLCS_IMPLICIT);
            return OCI_SUCCESS;
        default:
            return unsupported();
        }
    }
    case OCI_HTYPE_ERROR:
        if (attrtype == OCI_ATTR_PARSE_ERROR_OFFSET) {
            put<ub2>(attributep, 0);
            return OCI_SUCCESS;
        }
        return unsupported();
    default:
        return unsupported();
    }
}

OCI_EXPORT sword OCISessionBegin(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 credt, ub4 mode) {
    CallLock call(svchp, OCI_HTYPE_SVCCTX);
    auto* svc = call.as<SvcCtx>();
    Error* err = errorOf(errhp);
    auto* session = static_cast<Session*>(findHandle(usrhp, OCI_HTYPE_SESSION));
    if (!svc || !err || !session)
        return OCI_INVALID_HANDLE;
    err->clear();
    auto* srv = static_cast<Server*>(findHandle(svc->server, OCI_HTYPE_SERVER));
    if (!srv || !srv->attached)
        return fail(err, 24327, "ORA-24327: need explicit attach before authenticating a user");
    if (session->conn)
        return fail(err, 24309, "ORA-24309: already connected to a server");
    // The credentials are read now, from the buffers the client gave to OCIAttrSet.
    copyText(session->username, session->usernameRef, session->usernameSize);
    copyText(session->password, session->passwordRef, session->passwordSize);
    switch (serverReach(srv->path, svc->callTimeoutMs)) {
    case Reach::Answered:
        break;
    case Reach::TimedOut:
        roundTrip(0, "OCISessionBegin", session->username);
        return fail(err, 3156, "ORA-03156: OCI call timed out");
    case Reach::Down:
    case Reach::Silent:
        roundTrip(0, "OCISessionBegin", session->username);
        return fail(err, 3113, "ORA-03113: end-of-file on communication channel");
    }
    if (credt != OCI_CRED_RDBMS) {
        // Operating-system authentication has no account to check against here.
        roundTrip(0, "OCISessionBegin", session->username);
        return fail(err, 1017, "ORA-01017: invalid username/password; logon denied");
    }
    try {
        session->conn = std::make_unique<Connection>(srv->path, session->username, session->password);
    } catch (const OraError& e) {
        roundTrip(0, "OCISessionBegin", session->username);
        return fail(err, e.code, e.what());
    } catch (const std::exception& e) {
        roundTrip(0, "OCISessionBegin", session->username);
        return fail(err, 600, std::string("ORA-00600: internal error code, arguments: [") + e.what() + "]");
    }
    roundTrip(session->conn->sid(), "OCISessionBegin", session->username);
    session->conn->setCallTimeoutMs(svc->callTimeoutMs);
    session->beginMode = mode;
    svc->session = session;
    return publishLabels(session, err, !session->module.empty() || !session->action.empty(),
                         !session->clientInfo.empty());
}

OCI_EXPORT sword OCISessionEnd(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4) {
    CallLock call(svchp, OCI_HTYPE_SVCCTX);
    auto* svc = call.as<SvcCtx>();
    Error* err = errorOf(errhp);
    if (!svc || !err)
        return OCI_INVALID_HANDLE;
    err->clear();
    auto* session = static_cast<Session*>(
        findHandle(usrhp ? static_cast<void*>(usrhp) : svc->session, OCI_HTYPE_SESSION));
    if (!session)
        return OCI_INVALID_HANDLE;
    if (!session->conn)
        return fail(err, 1012, "ORA-01012: not logged on");
    Connection* conn = session->conn.get();
    sword rc = OCI_SUCCESS;
    if (conn->lost()) {
        rc = fail(err, 3114, "ORA-03114: not connected to ORACLE");
    } else {
        roundTrip(conn->sid(), "OCISessionEnd");
        try {
            // As documented, ending a session commits its transaction.
            conn->awaitAnswer();
            conn->commit();
        } catch (const OraError& e) {
            conn->rollback();
            rc = fail(err, e.code, e.what());
        } catch (const std::exception& e) {
            conn->rollback();
            rc = fail(err, 600, std::string("ORA-00600: internal error code, arguments: [") + e.what() + "]");
        }
    }
    detachStatements(conn);
    session->conn.reset();
    return rc;
}

OCI_EXPORT sword OCIServerVersion(void* hndlp, OCIError* errhp, OraText* bufp, ub4 bufsz, ub1 hndltype) {
    CallLock call(hndlp, hndltype);
    Handle* h = call.handle();
    Error* err = errorOf(errhp);
    if (!h || !err || (h->type != OCI_HTYPE_SVCCTX && h->type != OCI_HTYPE_SERVER))
        return OCI_INVALID_HANDLE;
    err->clear();
    Server* srv = nullptr;
    std::int64_t sid = 0;
    Connection* conn = nullptr;
    if (h->type == OCI_HTYPE_SVCCTX) {
        auto* svc = static_cast<SvcCtx*>(h);
        srv = static_cast<Server*>(findHandle(svc->server, OCI_HTYPE_SERVER));
        if (auto* s = static_cast<Session*>(findHandle(svc->session, OCI_HTYPE_SESSION)); s && s->conn) {
            conn = s->conn.get();
            sid = conn->sid();
        }
    } else {
        srv = static_cast<Server*>(h);
    }
    if (!srv || !srv->attached)
        return fail(err, 3114, "ORA-03114: not connected to ORACLE");
    if (conn && conn->lost())
        return fail(err, 3114, "ORA-03114: not connected to ORACLE");
    roundTrip(sid, "OCIServerVersion");
    if (conn) {
        try {
            conn->awaitAnswer();
        } catch (const OraError& e) {
            return fail(err, e.code, e.what());
        }
    } else if (serverReach(srv->path, 0) != Reach::Answered) {
        return fail(err, 3113, "ORA-03113: end-of-file on communication channel");
    }
    if (bufp && bufsz > 0) {
        const std::size_t n = std::min<std::size_t>(std::strlen(kBanner), bufsz - 1);
        std::memcpy(bufp, kBanner, n);
        bufp[n] = 0;
    }
    return OCI_SUCCESS;
}

OCI_EXPORT void OCIClientVersion(sword* featureRelease, sword* releaseUpdate, sword* releaseUpdateRevision,
                                 sword* increment, sword* ext) {
    if (featureRelease)
        *featureRelease = clientFeatureRelease();
    if (releaseUpdate)
        *releaseUpdate = clientFeatureRelease() == 19 ? 3 : 0;
    if (releaseUpdateRevision)
        *releaseUpdateRevision = 0;
    if (increment)
        *increment = 0;
    if (ext)
        *ext = 0;
}

OCI_EXPORT sword OCIPing(OCISvcCtx* svchp, OCIError* errhp, ub4) {
    CallLock call(svchp, OCI_HTYPE_SVCCTX);
    auto* svc = call.as<SvcCtx>();
    Error* err = errorOf(errhp);
    if (!svc || !err)
        return OCI_INVALID_HANDLE;
    err->clear();
    auto* session = static_cast<Session*>(findHandle(svc->session, OCI_HTYPE_SESSION));
    if (!session || !session->conn)
        return fail(err, 1012, "ORA-01012: not logged on");
    Connection* conn = session->conn.get();
    if (conn->lost())
        return fail(err, 3114, "ORA-03114: not connected to ORACLE");
    roundTrip(conn->sid(), "OCIPing");
    try {
        conn->awaitAnswer();
    } catch (const OraError& e) {
        return fail(err, e.code, e.what());
    }
    return OCI_SUCCESS;
}

namespace {

sword transEnd(OCISvcCtx* svchp, OCIError* errhp, bool commit) {
    CallLock call(svchp, OCI_HTYPE_SVCCTX);
    auto* svc = call.as<SvcCtx>();
    Error* err = errorOf(errhp);
    if (!svc || !err)
        return OCI_INVALID_HANDLE;
    err->clear();
    auto* session = static_cast<Session*>(findHandle(svc->session, OCI_HTYPE_SESSION));
    if (!session || !session->conn)
        return fail(err, 1012, "ORA-01012: not logged on");
    Connection* conn = session->conn.get();
    if (conn->lost())
        return fail(err, 3114, "ORA-03114: not connected to ORACLE");
    roundTrip(conn->sid(), commit ? "OCITransCommit" : "OCITransRollback");
    try {
        conn->awaitAnswer();
        if (commit)
            conn->commit();
        else
            conn->rollback();
    } catch (const OraError& e) {
        return fail(err, e.code, e.what());
    } catch (const std::exception& e) {
        return fail(err, 600, std::string("ORA-00600: internal error code, arguments: [") + e.what() + "]");
    }
    return OCI_SUCCESS;
}

} // namespace

OCI_EXPORT sword OCITransCommit(OCISvcCtx* svchp, OCIError* errhp, ub4) {
    return transEnd(svchp, errhp, true);
}

OCI_EXPORT sword OCITransRollback(OCISvcCtx* svchp, OCIError* errhp, ub4) {
    return transEnd(svchp, errhp, false);
}

OCI_EXPORT sword OCIErrorGet(void* hndlp, ub4 recordno, OraText*, sb4* errcodep, OraText* bufp, ub4 bufsiz,
                             ub4 type) {
    if (type != OCI_HTYPE_ERROR && type != OCI_HTYPE_ENV)
        return OCI_INVALID_HANDLE;
    CallLock call(hndlp, type);
    Handle* h = call.handle();
    if (!h)
        return OCI_INVALID_HANDLE;
    const Error& e = type == OCI_HTYPE_ERROR ? *static_cast<Error*>(h) : static_cast<Env*>(h)->errors;
    if (recordno == 0 || recordno > e.records.size())
        return OCI_NO_DATA;
    const ErrorRecord& r = e.records[recordno - 1];
    if (errcodep)
        *errcodep = r.code;
    if (bufp && bufsiz > 0) {
        const std::string text = r.text + "\n";
        const std::size_t n = std::min<std::size_t>(text.size(), bufsiz - 1);
        std::memcpy(bufp, text.data(), n);
        bufp[n] = 0;
    }
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIStmtPrepare(OCIStmt* stmtp, OCIError* errhp, const OraText* stmt, ub4 stmt_len, ub4,
                                ub4) {
    CallLock call(stmtp, OCI_HTYPE_STMT);
    auto* s = call.as<Stmt>();
    Error* err = errorOf(errhp);
    if (!s || !err)
        return OCI_INVALID_HANDLE;
    err->clear();
    if (!stmt)
        return fail(err, 900, "ORA-00900: invalid SQL statement");
    // A new text forgets everything about the previous one, binds and defines included.
    while (!s->children.empty())
        freeTree(s->children.back());
    s->binds.clear();
    s->bindByKey.clear();
    s->defines.clear();
    s->resetCursor();
    s->columns.clear();
    s->describeTexts.clear();
    s->executed = false;
    s->described = false;
    s->haveLastRowid = false;
    s->rowCount = 0;
    s->rowCount8 = 0;
    s->rowsFetched = 0;
    s->execNeedsData = false;
    s->piece = PieceState{};
    s->text.assign(reinterpret_cast<const char*>(stmt), stmt_len);
    s->stmtType = classifyStatement(s->text);
    s->placeholders = scanPlaceholders(s->text);
    s->placeholderSet = std::unordered_set<std::string>(s->placeholders.begin(), s->placeholders.end());
    s->prepared = true;
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters, ub4,
                                const OCISnapshot*, OCISnapshot*, ub4 mode) {
    CallLock call(stmtp, OCI_HTYPE_STMT);
    auto* s = call.as<Stmt>();
    Error* err = errorOf(errhp);
    auto* svc = static_cast<SvcCtx*>(findHandle(svchp, OCI_HTYPE_SVCCTX));
    if (!s || !err || !svc)
        return OCI_INVALID_HANDLE;
    err->clear();
    if (refusedExecuteMode(mode))
        return fail(err, 3001, "ORA-03001: unimplemented feature");
    return executeStatement(svc, s, err, iters, mode);
}

OCI_EXPORT sword OCIStmtFetch(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation, ub4) {
    CallLock call(stmtp, OCI_HTYPE_STMT);
    auto* s = call.as<Stmt>();
    Error* err = errorOf(errhp);
    if (!s || !err)
        return OCI_INVALID_HANDLE;
    err->clear();
    if (orientation != OCI_FETCH_NEXT && orientation != OCI_DEFAULT)
        return fail(err, 24391, "ORA-24391: invalid fetch operation");
    return fetchStatement(s, err, nrows, "OCIStmtFetch");
}

OCI_EXPORT sword OCIStmtFetch2(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation, sb4, ub4) {
    CallLock call(stmtp, OCI_HTYPE_STMT);
    auto* s = call.as<Stmt>();
    Error* err = errorOf(errhp);
    if (!s || !err)
        return OCI_INVALID_HANDLE;
    err->clear();
    if (orientation != OCI_FETCH_NEXT && orientation != OCI_DEFAULT)
        return fail(err, 24391, "ORA-24391: invalid fetch operation");
    return fetchStatement(s, err, nrows, "OCIStmtFetch2");
}

namespace {

sword bindCommon(Stmt* s, OCIBind** bindp, Error* err, std::string name, ub4 position, void* valuep,
                 sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep, ub4 maxarr_len, ub4* curelep,
                 ub4 mode) {
    if (!bindp)
        return OCI_INVALID_HANDLE;
    if (!s->prepared)
        return fail(err, 24337, "ORA-24337: statement handle not prepared");
    if (!name.empty()) {
        if (name[0] == ':')
            name.erase(0, 1);
        name = upperAscii(name);
        if (!s->placeholderSet.count(name))
            return fail(err, 1036, "ORA-01036: illegal variable name/number");
    } else if (position == 0 || position > s->placeholders.size()) {
        return fail(err, 1036, "ORA-01036: illegal variable name/number");
    }
    // Binding the same name again replaces the earlier bind.
    Bind*& b = s->bindByKey[bindKey(name, position)];
    if (!b) {
        std::lock_guard<std::recursive_mutex> lock(registryMutex());
        b = make<Bind>(s, OCI_HTYPE_BIND);
        if (!b) {
            s->bindByKey.erase(bindKey(name, position));
            return fail(err, 1019, "ORA-01019: unable to allocate memory in the user side");
        }
        s->binds.push_back(b);
    }
    b->stmt = s;
    b->name = name;
    b->position = position;
    b->valuep = valuep;
    b->valueSize = value_sz;
    b->dty = dty;
    b->indp = static_cast<sb2*>(indp);
    b->alenp = alenp;
    b->alen4p = nullptr;
    b->rcodep = rcodep;
    b->maxarr = maxarr_len;
    b->curelep = curelep;
    b->mode = mode;
    b->inCallback = nullptr;
    b->outCallback = nullptr;
    b->inCtx = b->outCtx = nullptr;
    *bindp = reinterpret_cast<OCIBind*>(static_cast<Handle*>(b));
    return OCI_SUCCESS;
}

} // namespace

OCI_EXPORT sword OCIBindByName(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, const OraText* placeholder,
                               sb4 placeh_len, void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* alenp,
                               ub2* rcodep, ub4 maxarr_len, ub4* curelep, ub4 mode) {
    CallLock call(stmtp, OCI_HTYPE_STMT);
    auto* s = call.as<Stmt>();
    Error* err = errorOf(errhp);
    if (!s || !err)
        return OCI_INVALID_HANDLE;
    err->clear();
    if (!placeholder)
        return fail(err, 1036, "ORA-01036: illegal variable name/number");
    const char* p = reinterpret_cast<const char*>(placeholder);
    std::string name =
        placeh_len >= 0 ? std::string(p, static_cast<std::size_t>(placeh_len)) : std::string(p);
    if (name.empty() || name == ":")
        return fail(err, 1036, "ORA-01036: illegal variable name/number");
    return bindCommon(s, bindp, err, name, 0, valuep, value_sz, dty, indp, alenp, rcodep, maxarr_len, curelep,
                      mode);
}

OCI_EXPORT sword OCIBindByPos(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, ub4 position, void* valuep,
                              sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep, ub4 maxarr_len,
                              ub4* curelep, ub4 mode) {
    CallLock call(stmtp, OCI_HTYPE_STMT);
    auto* s = call.as<Stmt>();
    Error* err = errorOf(errhp);
    if (!s || !err)
        return OCI_INVALID_HANDLE;
    err->clear();
    return bindCommon(s, bindp, err, std::string(), position, valuep, value_sz, dty, indp, alenp, rcodep,
                      maxarr_len, curelep, mode);
}

OCI_EXPORT sword OCIDefineByPos(OCIStmt* stmtp, OCIDefine** defnp, OCIError* errhp, ub4 position,
                                void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* rlenp, ub2* rcodep,
                                ub4 mode) {
    CallLock call(stmtp, OCI_HTYPE_STMT);
    auto* s = call.as<Stmt>();
    Error* err = errorOf(errhp);
    if (!s || !err || !defnp)
        return OCI_INVALID_HANDLE;
    err->clear();
    if (position == 0 || (s->described && position > s->columns.size()))
        return fail(err, 1007, "ORA-01007: variable not in select list");
    if (position > 1000)
        return fail(err, 1007, "ORA-01007: variable not in select list");
    if (s->defines.size() < position)
        s->defines.resize(position, nullptr);
    Define* d = s->defines[position - 1];
    if (!d) {
        std::lock_guard<std::recursive_mutex> lock(registryMutex());
        d = make<Define>(s, OCI_HTYPE_DEFINE);
        if (!d)
            return fail(err, 1019, "ORA-01019: unable to allocate memory in the user side");
        s->defines[position - 1] = d;
    }
    d->stmt = s;
    d->position = position;
    d->valuep = valuep;
    d->valueSize = value_sz;
    d->dty = dty;
    d->indp = static_cast<sb2*>(indp);
    d->rlenp = rlenp;
    d->rlen4p = nullptr;
    d->rcodep = rcodep;
    d->mode = mode;
    d->callback = nullptr;
    d->cbctx = nullptr;
    *defnp = reinterpret_cast<OCIDefine*>(static_cast<Handle*>(d));
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIDefineDynamic(OCIDefine* defnp, OCIError* errhp, void* octxp, OCICallbackDefine ocbfp) {
    CallLock call(defnp, OCI_HTYPE_DEFINE);
    auto* d = call.as<Define>();
    Error* err = errorOf(errhp);
    if (!d || !err)
        return OCI_INVALID_HANDLE;
    err->clear();
    if (!(d->mode & OCI_DYNAMIC_FETCH))
        return fail(err, 24300, "ORA-24300: bad value for mode");
    d->cbctx = octxp;
    d->callback = ocbfp;
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIStmtGetPieceInfo(OCIStmt* stmtp, OCIError* errhp, void** hndlpp, ub4* typep, ub1* in_outp,
                                     ub4* iterp, ub4* idxp, ub1* piecep) {
    CallLock call(stmtp, OCI_HTYPE_STMT);
    auto* s = call.as<Stmt>();
    Error* err = errorOf(errhp);
    if (!s || !err)
        return OCI_INVALID_HANDLE;
    err->clear();
    return getPieceInfo(s, err, hndlpp, typep, in_outp, iterp, idxp, piecep);
}

OCI_EXPORT sword OCIStmtSetPieceInfo(void* hndlp, ub4 type, OCIError* errhp, const void* bufp, ub4* alenp,
                                     ub1 piece, const void* indp, ub2* rcodep) {
    if (type != OCI_HTYPE_BIND && type != OCI_HTYPE_DEFINE)
        return OCI_INVALID_HANDLE;
    CallLock call(hndlp, type);
    Handle* h = call.handle();
    Error* err = errorOf(errhp);
    if (!h || !err)
        return OCI_INVALID_HANDLE;
    err->clear();
    return setPieceInfo(h, err, bufp, alenp, piece, indp, rcodep);
}

OCI_EXPORT sword OCIParamGet(const void* hndlp, ub4 htype, OCIError* errhp, void** parmdpp, ub4 pos) {
    CallLock call(hndlp, htype);
    Handle* h = call.handle();
    Error* err = errorOf(errhp);
    if (!h || !err || !parmdpp)
        return OCI_INVALID_HANDLE;
    err->clear();
    if (h->type != OCI_HTYPE_STMT)
        return fail(err, 24315, "ORA-24315: illegal attribute type");
    auto* s = static_cast<Stmt*>(h);
    if (!s->executed || !s->described)
        return fail(err, 24338, "ORA-24338: statement handle not executed");
    if (pos == 0 || pos > s->columns.size())
        return fail(err, 24334, "ORA-24334: no descriptor for this position");
    std::lock_guard<std::recursive_mutex> lock(registryMutex());
    auto* p = make<Param>(s, OCI_DTYPE_PARAM, true);
    if (!p)
        return fail(err, 1019, "ORA-01019: unable to allocate memory in the user side");
    p->desc = s->columns[pos - 1];
    *parmdpp = p;
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIRowidToChar(OCIRowid* rowidDesc, OraText* outbfp, ub2* outbflp, OCIError* errhp) {
    CallLock call(rowidDesc, OCI_DTYPE_ROWID);
    auto* r = call.as<Rowid>();
    Error* err = errorOf(errhp);
    if (!r || !err || !outbflp)
        return OCI_INVALID_HANDLE;
    err->clear();
    if (!r->valid)
        return fail(err, 1410, "ORA-01410: invalid ROWID");
    const std::string text = encodeRowid(r->objectNumber, r->rowid);
    if (!outbfp || *outbflp < text.size()) {
        *outbflp = static_cast<ub2>(text.size());
        return fail(err, 1405, "ORA-01405: fetched column value is NULL");
    }
    std::memcpy(outbfp, text.data(), text.size());
    if (*outbflp > text.size())
        outbfp[text.size()] = 0;
    *outbflp = static_cast<ub2>(text.size());
    return OCI_SUCCESS;
}
