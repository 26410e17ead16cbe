// Session-level services that drivers read at connect and around calls: the server release as a number,
// the statement cache size, whether a transaction is open, and the attributes drivers set to name themselves.
#include "CallSupport.h"
#include "DriverSupport.h"
#include "Engine.h"
#include "SqlId.h"
#include "SqlText.h"

#include <limits>

namespace ocisqlite {

namespace {

// The release the embedded server reports, the same as its banner says.
constexpr ub4 kServerRelease = ociReleaseNumber(19, 3, 0, 0, 0);

using boolean = int; // OCI's boolean, as its attributes carry it

// Names the server's database by its file: "srv" for ".../srv.db".
std::string databaseStem(const Server& srv) {
    std::string name = srv.path;
    if (const auto slash = name.rfind('/'); slash != std::string::npos)
        name.erase(0, slash + 1);
    if (name.size() > 3 && name.compare(name.size() - 3, 3, ".db") == 0)
        name.resize(name.size() - 3);
    return name;
}

// Handles and descriptors of features that are not built: every attribute is refused.
bool refusedHandle(const Handle* h) {
    switch (h->type) {
    case OCI_HTYPE_TRANS:
    case OCI_HTYPE_CPOOL:
    case OCI_HTYPE_SPOOL:
        return !h->descriptor;
    case OCI_DTYPE_LOB:
    case OCI_DTYPE_AQENQ_OPTIONS:
    case OCI_DTYPE_AQDEQ_OPTIONS:
    case OCI_DTYPE_AQMSG_PROPERTIES:
    case OCI_DTYPE_AQAGENT:
        return h->descriptor;
    default:
        return false;
    }
}

bool refusedAttribute(ub4 attrtype) {
    switch (attrtype) {
    case OCI_ATTR_LOBPREFETCH_SIZE:
    case OCI_ATTR_LOBPREFETCH_LENGTH:
    case OCI_ATTR_NUM_DML_ERRORS:
    case OCI_ATTR_DML_ROW_COUNT_ARRAY:
        return true;
    default:
        return false;
    }
}

// Session attributes kept as given, for reading back; nothing on the server shows them.
bool keptText(ub4 attrtype) {
    switch (attrtype) {
    case OCI_ATTR_DRIVER_NAME:
    case OCI_ATTR_CLIENT_IDENTIFIER:
    case OCI_ATTR_DBOP:
    case OCI_ATTR_ECONTEXT_ID:
        return true;
    default:
        return false;
    }
}

sword unimplemented(Error* err) {
    return fail(err, 3001, "ORA-03001: unimplemented feature");
}

} // namespace

std::optional<sword> driverAttrSet(Handle* h, void* attributep, ub4 size, ub4 attrtype, Error* err) {
    if (refusedHandle(h) || refusedAttribute(attrtype))
        return unimplemented(err);
    switch (h->type) {
    case OCI_HTYPE_SVCCTX:
        if (attrtype == OCI_ATTR_STMTCACHESIZE)
            return statementCacheAttrSet(static_cast<SvcCtx*>(h), attributep);
        if (attrtype == OCI_ATTR_TRANS) {
            static_cast<SvcCtx*>(h)->transaction = attributep;
            return OCI_SUCCESS;
        }
        return std::nullopt;
    case OCI_HTYPE_SERVER:
        // Names for distributed transactions, which the server does not run: kept for reading back.
        if (attrtype == OCI_ATTR_INTERNAL_NAME || attrtype == OCI_ATTR_EXTERNAL_NAME) {
            copyText(static_cast<Server*>(h)->textAttributes[attrtype], attributep, size);
            return OCI_SUCCESS;
        }
        return std::nullopt;
    case OCI_HTYPE_SESSION: {
        auto* s = static_cast<Session*>(h);
        if (keptText(attrtype)) {
            copyText(s->textAttributes[attrtype], attributep, size);
            return OCI_SUCCESS;
        }
        const std::string value = attributep ? std::string(static_cast<const char*>(attributep), size) : "";
        switch (attrtype) {
        case OCI_ATTR_EDITION:
            // Editions do not exist here; only the default one can be asked for.
            if (!value.empty() && upperAscii(value) != "ORA$BASE")
                return fail(err, 38802, "ORA-38802: edition does not exist");
            return OCI_SUCCESS;
        case OCI_ATTR_CURRENT_SCHEMA:
            // Each account sees its own schema only.
            if (!value.empty() && upperAscii(value) != upperAscii(s->username))
                return unimplemented(err);
            return OCI_SUCCESS;
        default:
            return std::nullopt;
        }
    }
    default:
        return std::nullopt;
    }
}

std::optional<sword> driverAttrGet(Handle* h, void* attributep, ub4* sizep, ub4 attrtype, Error* err) {
    if (refusedHandle(h) || refusedAttribute(attrtype))
        return unimplemented(err);
    switch (h->type) {
    case OCI_HTYPE_SVCCTX:
        if (attrtype == OCI_ATTR_STMTCACHESIZE) {
            put<ub4>(attributep, static_cast<SvcCtx*>(h)->stmtCacheSize);
            return OCI_SUCCESS;
        }
        if (attrtype == OCI_ATTR_TRANS) {
            put<void*>(attributep, static_cast<SvcCtx*>(h)->transaction);
            return OCI_SUCCESS;
        }
        if (attrtype == OCI_ATTR_MAX_IDENTIFIER_LEN) {
            // Oracle's limit since 12.2; longer names are not refused here, but would not move to a server.
            put<ub1>(attributep, 128);
            return OCI_SUCCESS;
        }
        return std::nullopt;
    case OCI_HTYPE_SERVER: {
        auto* srv = static_cast<Server*>(h);
        switch (attrtype) {
        case OCI_ATTR_CHARSET_ID:
            // The database character set: the files hold UTF-8 text.
            put<ub2>(attributep, OCI_AL32UTF8_ID);
            return OCI_SUCCESS;
        case OCI_ATTR_DBNAME:
        case OCI_ATTR_INSTNAME:
        case OCI_ATTR_SERVICENAME:
        case OCI_ATTR_DBDOMAIN: {
            if (!srv->attached)
                return fail(err, 3114, "ORA-03114: not connected to ORACLE");
            std::string& text = srv->textAttributes[attrtype];
            const std::string stem = databaseStem(*srv);
            text = attrtype == OCI_ATTR_DBNAME ? upperAscii(stem) : attrtype == OCI_ATTR_DBDOMAIN ? "" : stem;
            putText(attributep, sizep, text);
            return OCI_SUCCESS;
        }
        case OCI_ATTR_INTERNAL_NAME:
        case OCI_ATTR_EXTERNAL_NAME:
            putText(attributep, sizep, srv->textAttributes[attrtype]);
            return OCI_SUCCESS;
        default:
            return std::nullopt;
        }
    }
    case OCI_HTYPE_SESSION: {
        auto* s = static_cast<Session*>(h);
        if (keptText(attrtype)) {
            putText(attributep, sizep, s->textAttributes[attrtype]);
            return OCI_SUCCESS;
        }
        switch (attrtype) {
        case OCI_ATTR_MAX_OPEN_CURSORS:
            // Cursors are limited by memory only.
            put<ub4>(attributep, std::numeric_limits<ub4>::max());
            return OCI_SUCCESS;
        case OCI_ATTR_TRANSACTION_IN_PROGRESS:
            put<boolean>(attributep, s->conn && s->conn->inTransaction() ? 1 : 0);
            return OCI_SUCCESS;
        case OCI_ATTR_CURRENT_SCHEMA: {
            std::string& text = s->textAttributes[attrtype];
            text = s->conn ? s->conn->schema() : std::string();
            putText(attributep, sizep, text);
            return OCI_SUCCESS;
        }
        case OCI_ATTR_LTXID:
            // No transaction guard: no logical transaction id, and nothing to replay.
            if (attributep)
                *static_cast<const ub1**>(attributep) = nullptr;
            if (sizep)
                *sizep = 0;
            return OCI_SUCCESS;
        case OCI_ATTR_EDITION: {
            std::string& text = s->textAttributes[attrtype];
            text = "ORA$BASE";
            putText(attributep, sizep, text);
            return OCI_SUCCESS;
        }
        default:
            return std::nullopt;
        }
    }
    case OCI_HTYPE_STMT: {
        auto* s = static_cast<Stmt*>(h);
        switch (attrtype) {
        case OCI_ATTR_SQL_ID:
            if (!s->prepared)
                return fail(err, 24337, "ORA-24337: statement handle not prepared");
            s->sqlId = sqlId(s->text);
            putText(attributep, sizep, s->sqlId);
            return OCI_SUCCESS;
        case OCI_ATTR_BIND_COUNT:
            if (!s->prepared)
                return fail(err, 24337, "ORA-24337: statement handle not prepared");
            put<ub4>(attributep, static_cast<ub4>(s->placeholders.size()));
            return OCI_SUCCESS;
        default:
            return std::nullopt;
        }
    }
    case OCI_HTYPE_BIND:
        if (attrtype == OCI_ATTR_ROWS_RETURNED) {
            put<ub4>(attributep, static_cast<Bind*>(h)->rowsReturned);
            return OCI_SUCCESS;
        }
        return std::nullopt;
    case OCI_DTYPE_PARAM: {
        const ColumnDesc& c = static_cast<Param*>(h)->desc;
        switch (attrtype) {
        case OCI_ATTR_NAME:
            // The name stays readable after the descriptor is freed, as long as its statement lives: drivers
            // copy it late. The statement keeps it until it is prepared anew or freed.
            if (auto* s = static_cast<Stmt*>(findHandle(h->parent, OCI_HTYPE_STMT)))
                for (const ColumnDesc& column : s->columns)
                    if (column.name == c.name) {
                        const char* name = s->describeTexts.keep(column.name);
                        if (!name)
                            return std::nullopt;
                        put<const char*>(attributep, name);
                        if (sizep)
                            *sizep = static_cast<ub4>(column.name.size());
                        return OCI_SUCCESS;
                    }
            return std::nullopt;
        case OCI_ATTR_FSPRECISION:
            // Fractional seconds: none in a DATE, six by default in a TIMESTAMP.
            put<ub1>(attributep, c.dataType == SQLT_TIMESTAMP ? 6 : 0);
            return OCI_SUCCESS;
        case OCI_ATTR_LFPRECISION:
            put<ub1>(attributep, 0);
            return OCI_SUCCESS;
        case OCI_ATTR_JSON_COL:
            // No column holds JSON: there is no IS JSON constraint here.
            put<ub1>(attributep, 0);
            return OCI_SUCCESS;
        default:
            return std::nullopt;
        }
    }
    case OCI_HTYPE_ERROR:
        if (attrtype == OCI_ATTR_ERROR_IS_RECOVERABLE) {
            // No transaction guard: no failure is known to be safe to replay.
            put<boolean>(attributep, 0);
            return OCI_SUCCESS;
        }
        return std::nullopt;
    default:
        return std::nullopt;
    }
}

} // namespace ocisqlite

using namespace ocisqlite;

OCI_EXPORT sword OCIServerRelease2(void* hndlp, OCIError* errhp, OraText* bufp, ub4 bufsz, ub1 hndltype,
                                   ub4* version, ub4 mode) {
    if (mode != OCI_DEFAULT) {
        CallLock call(hndlp, hndltype);
        Error* err = errorOf(errhp);
        if (!call.handle() || !err)
            return OCI_INVALID_HANDLE;
        return fail(err, 24300, "ORA-24300: bad value for mode");
    }
    // Same round trip and failures as OCIServerVersion; the number comes with the banner.
    const sword rc = OCIServerVersion(hndlp, errhp, bufp, bufsz, hndltype);
    if (rc == OCI_SUCCESS && version)
        *version = kServerRelease;
    return rc;
}

OCI_EXPORT sword OCIServerRelease(void* hndlp, OCIError* errhp, OraText* bufp, ub4 bufsz, ub1 hndltype,
                                  ub4* version) {
    return OCIServerRelease2(hndlp, errhp, bufp, bufsz, hndltype, version, OCI_DEFAULT);
}
