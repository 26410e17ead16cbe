// Entry points of features the embedded server does not have. Each fails with an Oracle error, so a driver
// reports it instead of going on as if the call had worked: ORA-03001 for what is not built (pools, LOB
// locators, queues, distributed transactions), and what a server answers an ordinary session elsewhere.
#include "CallSupport.h"
#include "Engine.h"

namespace ocisqlite {

namespace {

using boolean = int;
using oraub8 = ub8;
using OCITypeGetOpt = int;

sword refuse(OCIError* errhp, int code, const std::string& text) {
    Error* err = errorOf(errhp);
    if (!err)
        return OCI_INVALID_HANDLE;
    return fail(err, code, text);
}

sword unimplemented(OCIError* errhp) {
    return refuse(errhp, 3001, "ORA-03001: unimplemented feature");
}

} // namespace

} // namespace ocisqlite

using namespace ocisqlite;

// ---- Session pools: sessions are begun one by one ----
OCI_EXPORT sword OCISessionPoolCreate(OCIEnv*, OCIError* errhp, OCISPool*, OraText**, ub4*, const OraText*,
                                      ub4, ub4, ub4, ub4, OraText*, ub4, OraText*, ub4, ub4) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCISessionPoolDestroy(OCISPool*, OCIError* errhp, ub4) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCISessionGet(OCIEnv*, OCIError* errhp, OCISvcCtx**, OCIAuthInfo*, OraText*, ub4,
                               const OraText*, ub4, OraText**, ub4*, boolean*, ub4) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCISessionRelease(OCISvcCtx*, OCIError* errhp, OraText*, ub4, ub4) {
    return unimplemented(errhp);
}

// ---- LOB locators: LOB columns are read and written as whole values (LONG, RAW, text) ----
OCI_EXPORT sword OCILobClose(OCISvcCtx*, OCIError* errhp, OCILobLocator*) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCILobCreateTemporary(OCISvcCtx*, OCIError* errhp, OCILobLocator*, ub2, ub1, ub1, boolean,
                                       OCIDuration) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCILobFileExists(OCISvcCtx*, OCIError* errhp, OCILobLocator*, boolean*) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCILobFileGetName(OCIEnv*, OCIError* errhp, const OCILobLocator*, OraText*, ub2*, OraText*,
                                   ub2*) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCILobFileSetName(OCIEnv*, OCIError* errhp, OCILobLocator**, const OraText*, ub2,
                                   const OraText*, ub2) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCILobFreeTemporary(OCISvcCtx*, OCIError* errhp, OCILobLocator*) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCILobGetChunkSize(OCISvcCtx*, OCIError* errhp, OCILobLocator*, ub4*) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCILobGetLength2(OCISvcCtx*, OCIError* errhp, OCILobLocator*, oraub8*) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCILobIsOpen(OCISvcCtx*, OCIError* errhp, OCILobLocator*, boolean*) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCILobIsTemporary(OCIEnv*, OCIError* errhp, OCILobLocator*, boolean*) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCILobLocatorAssign(OCISvcCtx*, OCIError* errhp, const OCILobLocator*, OCILobLocator**) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCILobOpen(OCISvcCtx*, OCIError* errhp, OCILobLocator*, ub1) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCILobRead2(OCISvcCtx*, OCIError* errhp, OCILobLocator*, oraub8*, oraub8*, oraub8, void*,
                             oraub8, ub1, void*, OCICallbackLobRead2, ub2, ub1) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCILobTrim2(OCISvcCtx*, OCIError* errhp, OCILobLocator*, oraub8) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCILobWrite2(OCISvcCtx*, OCIError* errhp, OCILobLocator*, oraub8*, oraub8*, oraub8, void*,
                              oraub8, ub1, void*, OCICallbackLobWrite2, ub2, ub1) {
    return unimplemented(errhp);
}

// ---- Advanced queuing ----
OCI_EXPORT sword OCIAQEnq(OCISvcCtx*, OCIError* errhp, OraText*, OCIAQEnqOptions*, OCIAQMsgProperties*,
                          OCIType*, void**, void**, OCIRaw**, ub4) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCIAQDeq(OCISvcCtx*, OCIError* errhp, OraText*, OCIAQDeqOptions*, OCIAQMsgProperties*,
                          OCIType*, void**, void**, OCIRaw**, ub4) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCIAQEnqArray(OCISvcCtx*, OCIError* errhp, OraText*, OCIAQEnqOptions*, ub4*,
                               OCIAQMsgProperties**, OCIType*, void**, void**, OCIRaw**, void*, void*, ub4) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCIAQDeqArray(OCISvcCtx*, OCIError* errhp, OraText*, OCIAQDeqOptions*, ub4*,
                               OCIAQMsgProperties**, OCIType*, void**, void**, OCIRaw**, void*, void*, ub4) {
    return unimplemented(errhp);
}

// Queue payloads of type RAW: there are no object or collection values either.
OCI_EXPORT sword OCIRawAssignBytes(OCIEnv*, OCIError* errhp, const ub1*, ub4, OCIRaw**) {
    return unimplemented(errhp);
}

// ---- Distributed (two-phase) transactions: only local ones ----
OCI_EXPORT sword OCITransStart(OCISvcCtx*, OCIError* errhp, uword, ub4) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCITransPrepare(OCISvcCtx*, OCIError* errhp, ub4) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCITransForget(OCISvcCtx*, OCIError* errhp, ub4) {
    return unimplemented(errhp);
}
OCI_EXPORT sword OCITransDetach(OCISvcCtx*, OCIError* errhp, ub4) {
    return unimplemented(errhp);
}

// ---- What a server refuses an ordinary session ----
// Starting and stopping the database needs SYSDBA or SYSOPER, which no account here has.
OCI_EXPORT sword OCIDBStartup(OCISvcCtx*, OCIError* errhp, OCIAdmin*, ub4, ub4) {
    return refuse(errhp, 1031, "ORA-01031: insufficient privileges");
}
OCI_EXPORT sword OCIDBShutdown(OCISvcCtx*, OCIError* errhp, OCIAdmin*, ub4) {
    return refuse(errhp, 1031, "ORA-01031: insufficient privileges");
}
// No object type exists: CREATE TYPE is not understood.
OCI_EXPORT sword OCITypeByFullName(OCIEnv*, OCIError* errhp, const OCISvcCtx*, const OraText* name,
                                   ub4 nameLength, const OraText*, ub4, OCIDuration, int, OCIType**) {
    const std::string full =
        name ? std::string(reinterpret_cast<const char*>(name), nameLength) : std::string();
    return refuse(errhp, 4043, "ORA-04043: object " + full + " does not exist");
}
