// The part of the documented OCI C interface that general-purpose drivers use beyond what our access layer
// needs: thread and memory services, the statement cache, the 64-bit bind and define calls, callback binds,
// OCINumber conversions, NLS look-ups and the server release. Values marked "check" were written from memory
// of Oracle's headers, not from the reference notes; keep them in this one place.
#pragma once

#include "OciDefs.h"

// ---- More scalar and opaque types ----
using OCIDuration = ub2;

extern "C" {
struct OCIThreadMutex;
struct OCIThreadKey;
struct OCIDateTime;
struct OCIInterval;
struct OCILobLocator;
struct OCIType;
struct OCIAuthInfo;
struct OCICPool;
struct OCISPool;
struct OCIAdmin;
struct OCIAQEnqOptions;
struct OCIAQDeqOptions;
struct OCIAQMsgProperties;
struct OCIRaw;

typedef void (*OCIThreadKeyDestFunc)(void* value);

// Oracle NUMBER as the client holds it: a length byte, then the internal bytes (the SQLT_VNU layout).
struct OCINumber {
    ub1 OCINumberPart[22];
};

// Callbacks of OCIBindDynamic.
typedef sb4 (*OCICallbackInBind)(void* ictxp, OCIBind* bindp, ub4 iter, ub4 index, void** bufpp, ub4* alenp,
                                 ub1* piecep, void** indpp);
typedef sb4 (*OCICallbackOutBind)(void* octxp, OCIBind* bindp, ub4 iter, ub4 index, void** bufpp,
                                  ub4** alenpp, ub1* piecep, void** indpp, ub2** rcodepp);
typedef sb4 (*OCICallbackLobRead2)(void* ctxp, const void* bufp, ub8 lenp, ub1 piecep, void** changed_bufpp,
                                   ub8* changed_lenp);
typedef sb4 (*OCICallbackLobWrite2)(void* ctxp, void* bufp, ub8* lenp, ub1* piecep, void** changed_bufpp,
                                    ub8* changed_lenp);
}

static_assert(sizeof(OCINumber) == 22, "OCINumber layout");

// ---- More handle and descriptor types (check) ----
inline constexpr ub4 OCI_HTYPE_CPOOL = 26;
inline constexpr ub4 OCI_HTYPE_SPOOL = 27;
inline constexpr ub4 OCI_DTYPE_AQENQ_OPTIONS = 57;
inline constexpr ub4 OCI_DTYPE_AQDEQ_OPTIONS = 58;
inline constexpr ub4 OCI_DTYPE_AQMSG_PROPERTIES = 59;
inline constexpr ub4 OCI_DTYPE_AQAGENT = 60;
inline constexpr ub4 OCI_DTYPE_DATE = 65;

// ---- More execute modes (check) ----
inline constexpr ub4 OCI_RETURN_ROW_COUNT_ARRAY = 0x00100000;

// ---- Durations and memory flags ----
inline constexpr OCIDuration OCI_DURATION_PROCESS = 5;
inline constexpr OCIDuration OCI_DURATION_SESSION = 10;
inline constexpr OCIDuration OCI_DURATION_TRANS = 11;
inline constexpr OCIDuration OCI_DURATION_CALL = 12;
inline constexpr OCIDuration OCI_DURATION_STATEMENT = 13;
inline constexpr ub4 OCI_MEMORY_CLEARED = 1;

// ---- Statement cache ----
inline constexpr ub4 OCI_PREP2_CACHE_SEARCHONLY = 0x10; // check
inline constexpr ub4 OCI_PREP2_GET_PLSQL_WARNINGS = 0x20;
inline constexpr ub4 OCI_PREP2_IMPL_RESULTS_CLIENT = 0x400;
inline constexpr ub4 OCI_STRLS_CACHE_DELETE = 0x10; // check
inline constexpr ub4 OCI_DEFAULT_STMT_CACHE_SIZE = 20;

// ---- OCINumber conversions ----
inline constexpr uword OCI_NUMBER_UNSIGNED = 0;
inline constexpr uword OCI_NUMBER_SIGNED = 2;

// ---- NLS look-ups ----
inline constexpr ub2 OCI_NLS_CHARSET_MAXBYTESZ = 91;
inline constexpr ub2 OCI_NLS_CHARSET_FIXEDWIDTH = 92;
inline constexpr uword OCI_NLS_CS_IANA_TO_ORA = 0;
inline constexpr uword OCI_NLS_CS_ORA_TO_IANA = 1;
inline constexpr uword OCI_NLS_LANG_ISO_TO_ORA = 2;
inline constexpr uword OCI_NLS_LANG_ORA_TO_ISO = 3;
inline constexpr uword OCI_NLS_TERR_ISO_TO_ORA = 4;
inline constexpr uword OCI_NLS_TERR_ORA_TO_ISO = 5;
inline constexpr uword OCI_NLS_TERR_ISO3_TO_ORA = 6;
inline constexpr uword OCI_NLS_TERR_ORA_TO_ISO3 = 7;

// ---- More attributes (check) ----
inline constexpr ub4 OCI_ATTR_INTERNAL_NAME = 25;            // server, text
inline constexpr ub4 OCI_ATTR_EXTERNAL_NAME = 26;            // server, text
inline constexpr ub4 OCI_ATTR_XID = 27;                      // trans
inline constexpr ub4 OCI_ATTR_ROWS_RETURNED = 42;            // bind, ub4
inline constexpr ub4 OCI_ATTR_NUM_DML_ERRORS = 73;           // stmt, ub4
inline constexpr ub4 OCI_ATTR_FSPRECISION = 16;              // param, ub1
inline constexpr ub4 OCI_ATTR_LFPRECISION = 17;              // param, ub1
inline constexpr ub4 OCI_ATTR_STMTCACHESIZE = 176;           // svcctx, ub4
inline constexpr ub4 OCI_ATTR_BIND_COUNT = 190;              // stmt, ub4
inline constexpr ub4 OCI_ATTR_CURRENT_SCHEMA = 224;          // session, text
inline constexpr ub4 OCI_ATTR_CLIENT_IDENTIFIER = 278;       // session, text
inline constexpr ub4 OCI_ATTR_EDITION = 288;                 // session, text
inline constexpr ub4 OCI_ATTR_ECONTEXT_ID = 371;             // session, text
inline constexpr ub4 OCI_ATTR_DBNAME = 391;                  // server, text
inline constexpr ub4 OCI_ATTR_INSTNAME = 392;                // server, text
inline constexpr ub4 OCI_ATTR_SERVICENAME = 393;             // server, text
inline constexpr ub4 OCI_ATTR_DBDOMAIN = 399;                // server, text
inline constexpr ub4 OCI_ATTR_LOBPREFETCH_SIZE = 438;        // define
inline constexpr ub4 OCI_ATTR_LOBPREFETCH_LENGTH = 440;      // define
inline constexpr ub4 OCI_ATTR_DRIVER_NAME = 424;             // session, text
inline constexpr ub4 OCI_ATTR_LTXID = 462;                   // session, bytes
inline constexpr ub4 OCI_ATTR_DML_ROW_COUNT_ARRAY = 469;     // stmt
inline constexpr ub4 OCI_ATTR_MAX_OPEN_CURSORS = 471;        // session, ub4
inline constexpr ub4 OCI_ATTR_ERROR_IS_RECOVERABLE = 472;    // error, boolean
inline constexpr ub4 OCI_ATTR_MAX_IDENTIFIER_LEN = 500;      // svcctx, ub1
inline constexpr ub4 OCI_ATTR_TRANSACTION_IN_PROGRESS = 484; // session, ub1
inline constexpr ub4 OCI_ATTR_DBOP = 485;                    // session, text
inline constexpr ub4 OCI_ATTR_SQL_ID = 504;                  // stmt, text
inline constexpr ub4 OCI_ATTR_JSON_COL = 534;                // param, boolean

// ---- Entry points ----
extern "C" {
// threads
void OCIThreadProcessInit();
sword OCIThreadInit(void* hndl, OCIError* err);
sword OCIThreadTerm(void* hndl, OCIError* err);
sword OCIThreadMutexInit(void* hndl, OCIError* err, OCIThreadMutex** mutex);
sword OCIThreadMutexDestroy(void* hndl, OCIError* err, OCIThreadMutex** mutex);
sword OCIThreadMutexAcquire(void* hndl, OCIError* err, OCIThreadMutex* mutex);
sword OCIThreadMutexRelease(void* hndl, OCIError* err, OCIThreadMutex* mutex);
sword OCIThreadKeyInit(void* hndl, OCIError* err, OCIThreadKey** key, OCIThreadKeyDestFunc destFn);
sword OCIThreadKeyDestroy(void* hndl, OCIError* err, OCIThreadKey** key);
sword OCIThreadKeyGet(void* hndl, OCIError* err, OCIThreadKey* key, void** pValue);
sword OCIThreadKeySet(void* hndl, OCIError* err, OCIThreadKey* key, void* value);
// memory and context values
sword OCIMemoryAlloc(void* hdl, OCIError* err, void** mem, OCIDuration dur, ub4 size, ub4 flags);
sword OCIMemoryResize(void* hdl, OCIError* err, void** mem, ub4 newsize, ub4 flags);
sword OCIMemoryFree(void* hdl, OCIError* err, void* mem);
sword OCIContextSetValue(void* hdl, OCIError* err, OCIDuration duration, ub1* key, ub1 keylen,
                         void* ctx_value);
sword OCIContextGetValue(void* hdl, OCIError* err, ub1* key, ub1 keylen, void** ctx_value);
sword OCIContextClearValue(void* hdl, OCIError* err, ub1* key, ub1 keylen);
// NLS
sword OCINlsCharSetIdToName(void* envhp, OraText* buf, size_t buflen, ub2 id);
ub2 OCINlsCharSetNameToId(void* envhp, const OraText* name);
sword OCINlsNameMap(void* envhp, OraText* buf, size_t buflen, const OraText* srcbuf, uword flag);
sword OCINlsNumericInfoGet(void* envhp, OCIError* errhp, sb4* val, ub2 item);
sword OCINlsEnvironmentVariableGet(void* val, size_t size, ub2 item, ub2 charset, size_t* rsize);
// statements
sword OCIStmtPrepare2(OCISvcCtx* svchp, OCIStmt** stmtp, OCIError* errhp, const OraText* stmt, ub4 stmt_len,
                      const OraText* key, ub4 keylen, ub4 language, ub4 mode);
sword OCIStmtRelease(OCIStmt* stmtp, OCIError* errhp, const OraText* key, ub4 keylen, ub4 mode);
sword OCIStmtGetNextResult(OCIStmt* stmthp, OCIError* errhp, void** result, ub4* rtype, ub4 mode);
sword OCIStmtGetBindInfo(OCIStmt* stmtp, OCIError* errhp, ub4 size, ub4 startloc, sb4* found, OraText* bvnp[],
                         ub1 bvnl[], OraText* invp[], ub1 inpl[], ub1 dupl[], OCIBind** hndl);
sword OCIBindByName2(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, const OraText* placeholder,
                     sb4 placeh_len, void* valuep, sb8 value_sz, ub2 dty, void* indp, ub4* alenp, ub2* rcodep,
                     ub4 maxarr_len, ub4* curelep, ub4 mode);
sword OCIBindByPos2(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, ub4 position, void* valuep,
                    sb8 value_sz, ub2 dty, void* indp, ub4* alenp, ub2* rcodep, ub4 maxarr_len, ub4* curelep,
                    ub4 mode);
sword OCIBindDynamic(OCIBind* bindp, OCIError* errhp, void* ictxp, OCICallbackInBind icbfp, void* octxp,
                     OCICallbackOutBind ocbfp);
sword OCIDefineByPos2(OCIStmt* stmtp, OCIDefine** defnp, OCIError* errhp, ub4 position, void* valuep,
                      sb8 value_sz, ub2 dty, void* indp, ub4* rlenp, ub2* rcodep, ub4 mode);
// server
sword OCIServerRelease(void* hndlp, OCIError* errhp, OraText* bufp, ub4 bufsz, ub1 hndltype, ub4* version);
sword OCIServerRelease2(void* hndlp, OCIError* errhp, OraText* bufp, ub4 bufsz, ub1 hndltype, ub4* version,
                        ub4 mode);
// datetimes and intervals
sword OCIArrayDescriptorAlloc(const void* parenth, void** descpp, const ub4 type, ub4 array_size,
                              const size_t xtramem_sz, void** usrmempp);
sword OCIArrayDescriptorFree(void** descp, const ub4 type);
sword OCIDateTimeConstruct(void* hndl, OCIError* err, OCIDateTime* datetime, sb2 year, ub1 month, ub1 day,
                           ub1 hour, ub1 min, ub1 sec, ub4 fsec, OraText* timezone, size_t timezone_length);
sword OCIDateTimeGetDate(void* hndl, OCIError* err, const OCIDateTime* date, sb2* year, ub1* month, ub1* day);
sword OCIDateTimeGetTime(void* hndl, OCIError* err, OCIDateTime* datetime, ub1* hour, ub1* min, ub1* sec,
                         ub4* fsec);
sword OCIDateTimeGetTimeZoneOffset(void* hndl, OCIError* err, const OCIDateTime* datetime, sb1* hour,
                                   sb1* min);
sword OCIDateTimeConvert(void* hndl, OCIError* err, OCIDateTime* indate, OCIDateTime* outdate);
sword OCIDateTimeSubtract(void* hndl, OCIError* err, OCIDateTime* indate1, OCIDateTime* indate2,
                          OCIInterval* inter);
sword OCIDateTimeIntervalAdd(void* hndl, OCIError* err, OCIDateTime* datetime, OCIInterval* inter,
                             OCIDateTime* outdatetime);
sword OCIIntervalSetDaySecond(void* hndl, OCIError* err, sb4 dy, sb4 hr, sb4 mm, sb4 ss, sb4 fsec,
                              OCIInterval* result);
sword OCIIntervalGetDaySecond(void* hndl, OCIError* err, sb4* dy, sb4* hr, sb4* mm, sb4* ss, sb4* fsec,
                              const OCIInterval* result);
sword OCIIntervalSetYearMonth(void* hndl, OCIError* err, sb4 yr, sb4 mnth, OCIInterval* result);
sword OCIIntervalGetYearMonth(void* hndl, OCIError* err, sb4* yr, sb4* mnth, const OCIInterval* result);
// numbers
sword OCINumberFromInt(OCIError* err, const void* inum, uword inum_length, uword inum_s_flag,
                       OCINumber* number);
sword OCINumberToInt(OCIError* err, const OCINumber* number, uword rsl_length, uword rsl_flag, void* rsl);
sword OCINumberFromReal(OCIError* err, const void* rnum, uword rnum_length, OCINumber* number);
sword OCINumberToReal(OCIError* err, const OCINumber* number, uword rsl_length, void* rsl);
}

// ---- Entry points of features the embedded server does not have (they fail with Oracle errors) ----
extern "C" {
sword OCISessionPoolCreate(OCIEnv* envhp, OCIError* errhp, OCISPool* spoolhp, OraText** poolName,
                           ub4* poolNameLen, const OraText* connStr, ub4 connStrLen, ub4 sessMin, ub4 sessMax,
                           ub4 sessIncr, OraText* userid, ub4 useridLen, OraText* password, ub4 passwordLen,
                           ub4 mode);
sword OCISessionPoolDestroy(OCISPool* spoolhp, OCIError* errhp, ub4 mode);
sword OCISessionGet(OCIEnv* envhp, OCIError* errhp, OCISvcCtx** svchp, OCIAuthInfo* authhp, OraText* poolName,
                    ub4 poolName_len, const OraText* tagInfo, ub4 tagInfo_len, OraText** retTagInfo,
                    ub4* retTagInfo_len, int* found, ub4 mode);
sword OCISessionRelease(OCISvcCtx* svchp, OCIError* errhp, OraText* tag, ub4 tag_len, ub4 mode);
sword OCILobClose(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp);
sword OCILobCreateTemporary(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub2 csid, ub1 csfrm,
                            ub1 lobtype, int cache, OCIDuration duration);
sword OCILobFileExists(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* filep, int* flag);
sword OCILobFileGetName(OCIEnv* envhp, OCIError* errhp, const OCILobLocator* filep, OraText* dir_alias,
                        ub2* d_length, OraText* filename, ub2* f_length);
sword OCILobFileSetName(OCIEnv* envhp, OCIError* errhp, OCILobLocator** filepp, const OraText* dir_alias,
                        ub2 d_length, const OraText* filename, ub2 f_length);
sword OCILobFreeTemporary(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp);
sword OCILobGetChunkSize(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub4* chunksizep);
sword OCILobGetLength2(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub8* lenp);
sword OCILobIsOpen(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, int* flag);
sword OCILobIsTemporary(OCIEnv* envp, OCIError* errhp, OCILobLocator* locp, int* is_temporary);
sword OCILobLocatorAssign(OCISvcCtx* svchp, OCIError* errhp, const OCILobLocator* src_locp,
                          OCILobLocator** dst_locpp);
sword OCILobOpen(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub1 mode);
sword OCILobRead2(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub8* byte_amtp, ub8* char_amtp,
                  ub8 offset, void* bufp, ub8 bufl, ub1 piece, void* ctxp, OCICallbackLobRead2 cbfp, ub2 csid,
                  ub1 csfrm);
sword OCILobTrim2(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub8 newlen);
sword OCILobWrite2(OCISvcCtx* svchp, OCIError* errhp, OCILobLocator* locp, ub8* byte_amtp, ub8* char_amtp,
                   ub8 offset, void* bufp, ub8 buflen, ub1 piece, void* ctxp, OCICallbackLobWrite2 cbfp,
                   ub2 csid, ub1 csfrm);
sword OCIAQEnq(OCISvcCtx* svchp, OCIError* errhp, OraText* queue_name, OCIAQEnqOptions* enqopt,
               OCIAQMsgProperties* msgprop, OCIType* payload_tdo, void** payload, void** payload_ind,
               OCIRaw** msgid, ub4 flags);
sword OCIAQDeq(OCISvcCtx* svchp, OCIError* errhp, OraText* queue_name, OCIAQDeqOptions* deqopt,
               OCIAQMsgProperties* msgprop, OCIType* payload_tdo, void** payload, void** payload_ind,
               OCIRaw** msgid, ub4 flags);
sword OCIAQEnqArray(OCISvcCtx* svchp, OCIError* errhp, OraText* queue_name, OCIAQEnqOptions* enqopt,
                    ub4* iters, OCIAQMsgProperties** msgprop, OCIType* payload_tdo, void** payload,
                    void** payload_ind, OCIRaw** msgid, void* ctxp, void* enqcbfp, ub4 flags);
sword OCIAQDeqArray(OCISvcCtx* svchp, OCIError* errhp, OraText* queue_name, OCIAQDeqOptions* deqopt,
                    ub4* iters, OCIAQMsgProperties** msgprop, OCIType* payload_tdo, void** payload,
                    void** payload_ind, OCIRaw** msgid, void* ctxp, void* deqcbfp, ub4 flags);
sword OCIRawAssignBytes(OCIEnv* env, OCIError* err, const ub1* rhs, ub4 rhs_len, OCIRaw** lhs);
sword OCITransStart(OCISvcCtx* svchp, OCIError* errhp, uword timeout, ub4 flags);
sword OCITransPrepare(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);
sword OCITransForget(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);
sword OCITransDetach(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);
sword OCIDBStartup(OCISvcCtx* svchp, OCIError* errhp, OCIAdmin* admhp, ub4 mode, ub4 flags);
sword OCIDBShutdown(OCISvcCtx* svchp, OCIError* errhp, OCIAdmin* admhp, ub4 mode);
sword OCITypeByFullName(OCIEnv* env, OCIError* errhp, const OCISvcCtx* svc, const OraText* full_type_name,
                        ub4 full_type_name_length, const OraText* version_name, ub4 version_name_length,
                        OCIDuration pin_duration, int get_option, OCIType** tdo);
}

// The encoded release number of OCIServerRelease (18c and later layout): release, update, revision,
// increment, extension.
inline constexpr ub4 ociReleaseNumber(ub4 rel, ub4 upd, ub4 rev, ub4 inc, ub4 ext) {
    return (rel << 24) | (upd << 16) | (rev << 12) | (inc << 4) | ext;
}
