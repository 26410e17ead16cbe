// The NLS look-ups drivers make while they set up an environment: character set names and ids, their
// IANA names, the widest character, and the character sets the client's NLS variables ask for.
#include "CallSupport.h"
#include "Engine.h"
#include "SqlText.h"

#include <cstdlib>
#include <cstring>

namespace ocisqlite {

namespace {

struct Charset {
    ub2 id;
    const char* oracle;
    const char* iana;
    sb4 maxBytes;
};

// The character sets a client may name. Text is passed on byte for byte, so only the Unicode ones keep
// anything but ASCII intact.
constexpr Charset kCharsets[] = {
    {1, "US7ASCII", "US-ASCII", 1},
    {31, "WE8ISO8859P1", "ISO-8859-1", 1},
    {171, "CL8MSWIN1251", "WINDOWS-1251", 1},
    {178, "WE8MSWIN1252", "WINDOWS-1252", 1},
    {196, "CL8KOI8R", "KOI8-R", 1},
    {871, "UTF8", "UTF-8", 3},
    {873, "AL32UTF8", "UTF-8", 4},
    {1000, "UTF16", "UTF-16", 2},
    {2000, "AL16UTF16", "UTF-16BE", 2},
};

const Charset* byId(ub2 id) {
    for (const Charset& c : kCharsets)
        if (c.id == id)
            return &c;
    return nullptr;
}

const Charset* byOracleName(const std::string& name) {
    const std::string up = upperAscii(name);
    for (const Charset& c : kCharsets)
        if (up == c.oracle)
            return &c;
    return nullptr;
}

const Charset* byIanaName(const std::string& name) {
    const std::string up = upperAscii(name);
    // "UTF-8" is AL32UTF8, the full Unicode one, not the older UTF8.
    if (up == "UTF-8" || up == "UTF8")
        return byId(OCI_AL32UTF8_ID);
    for (const Charset& c : kCharsets)
        if (up == c.iana)
            return &c;
    return nullptr;
}

bool validEnv(const void* envhp) {
    Handle* h = findAnyHandle(envhp);
    return h && (h->type == OCI_HTYPE_ENV || h->type == OCI_HTYPE_SESSION) && !h->descriptor;
}

sword copyName(OraText* buf, size_t buflen, const char* name) {
    const std::size_t n = std::strlen(name);
    if (!buf || buflen <= n)
        return OCI_ERROR;
    std::memcpy(buf, name, n + 1);
    return OCI_SUCCESS;
}

// The character set part of an NLS_LANG-style value ("AMERICAN_AMERICA.AL32UTF8"); this client works in
// AL32UTF8 when the variable is not set.
ub2 charsetFromVariable(const char* variable, bool afterDot) {
    const char* value = std::getenv(variable);
    if (!value || !*value)
        return OCI_AL32UTF8_ID;
    std::string name = value;
    if (afterDot) {
        const auto dot = name.find('.');
        if (dot == std::string::npos)
            return OCI_AL32UTF8_ID;
        name = name.substr(dot + 1);
    }
    const Charset* c = byOracleName(name);
    return c ? c->id : 0;
}

} // namespace

} // namespace ocisqlite

using namespace ocisqlite;

OCI_EXPORT sword OCINlsCharSetIdToName(void* envhp, OraText* buf, size_t buflen, ub2 id) {
    if (!validEnv(envhp))
        return OCI_INVALID_HANDLE;
    const Charset* c = byId(id);
    return c ? copyName(buf, buflen, c->oracle) : OCI_ERROR;
}

OCI_EXPORT ub2 OCINlsCharSetNameToId(void* envhp, const OraText* name) {
    if (!validEnv(envhp) || !name)
        return 0;
    const Charset* c = byOracleName(reinterpret_cast<const char*>(name));
    return c ? c->id : 0;
}

OCI_EXPORT sword OCINlsNameMap(void* envhp, OraText* buf, size_t buflen, const OraText* srcbuf, uword flag) {
    if (!validEnv(envhp))
        return OCI_INVALID_HANDLE;
    if (!srcbuf)
        return OCI_ERROR;
    const std::string src = reinterpret_cast<const char*>(srcbuf);
    switch (flag) {
    case OCI_NLS_CS_IANA_TO_ORA:
        if (const Charset* c = byIanaName(src))
            return copyName(buf, buflen, c->oracle);
        return OCI_ERROR;
    case OCI_NLS_CS_ORA_TO_IANA:
        if (const Charset* c = byOracleName(src))
            return copyName(buf, buflen, c->iana);
        return OCI_ERROR;
    default:
        // Language and territory names are not kept here.
        return OCI_ERROR;
    }
}

OCI_EXPORT sword OCINlsNumericInfoGet(void* envhp, OCIError* errhp, sb4* val, ub2 item) {
    CallLock call(envhp, 0);
    Handle* h = call.handle();
    Error* err = errorOf(errhp);
    if (!h || !err || h->descriptor || (h->type != OCI_HTYPE_ENV && h->type != OCI_HTYPE_SESSION))
        return OCI_INVALID_HANDLE;
    err->clear();
    if (!val)
        return fail(err, 21560, "ORA-21560: argument 3 is null, invalid, or out of range");
    const Charset* c = byId(h->env->charset);
    const sb4 maxBytes = c ? c->maxBytes : 4;
    switch (item) {
    case OCI_NLS_CHARSET_MAXBYTESZ:
        *val = maxBytes;
        return OCI_SUCCESS;
    case OCI_NLS_CHARSET_FIXEDWIDTH:
        *val = maxBytes == 1 ? 1 : 0;
        return OCI_SUCCESS;
    default:
        return fail(err, 21560, "ORA-21560: argument 4 is null, invalid, or out of range");
    }
}

OCI_EXPORT sword OCINlsEnvironmentVariableGet(void* val, size_t size, ub2 item, ub2 charset, size_t* rsize) {
    // Numeric items come back as a ub2 and take no character set.
    if (!val || size < sizeof(ub2) || charset != 0)
        return OCI_ERROR;
    ub2 id = 0;
    if (item == OCI_NLS_CHARSET_ID)
        id = charsetFromVariable("NLS_LANG", true);
    else if (item == OCI_NLS_NCHARSET_ID)
        id = charsetFromVariable("NLS_NCHAR", false);
    else
        return OCI_ERROR;
    if (id == 0)
        return OCI_ERROR;
    std::memcpy(val, &id, sizeof id);
    if (rsize)
        *rsize = sizeof id;
    return OCI_SUCCESS;
}
