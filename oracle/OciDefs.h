// Our own declarations of the documented OCI C interface: scalar types, opaque handles, constants and
// the entry points, both as prototypes (implemented by libocisqlite) and as function-pointer types (used by
// code that loads a client library at run time). No vendor header is needed to build against this file.
#pragma once

#include <cstddef>

// ---- Scalar types (fixed widths; ub4 is 32 bits on every platform we build for) ----
using ub1 = unsigned char;
using sb1 = signed char;
using ub2 = unsigned short;
using sb2 = signed short;
using ub4 = unsigned int;
using sb4 = signed int;
using ub8 = unsigned long long;
using sb8 = signed long long;
using sword = signed int;
using uword = unsigned int;
using eword = int;
using OraText = unsigned char;
using OCIInd = sb2;

static_assert(sizeof(ub2) == 2 && sizeof(ub4) == 4 && sizeof(ub8) == 8, "OCI scalar widths");

// ---- Opaque handles and descriptors ----
extern "C" {
struct OCIEnv;
struct OCIError;
struct OCISvcCtx;
struct OCIServer;
struct OCISession;
struct OCIStmt;
struct OCIBind;
struct OCIDefine;
struct OCIDescribe;
struct OCITrans;
struct OCIParam;
struct OCIRowid;
struct OCISnapshot;

// Client-side date (SQLT_ODT), 8 bytes.
struct OCITime {
    ub1 OCITimeHH;
    ub1 OCITimeMI;
    ub1 OCITimeSS;
};
struct OCIDate {
    sb2 OCIDateYYYY;
    ub1 OCIDateMM;
    ub1 OCIDateDD;
    OCITime OCIDateTime;
};

// Callback of OCIDefineDynamic; must return OCI_CONTINUE to go on.
typedef sb4 (*OCICallbackDefine)(void* octxp, OCIDefine* defnp, ub4 iter, void** bufpp, ub4** alenp,
                                 ub1* piecep, void** indp, ub2** rcodep);
}

static_assert(sizeof(OCIDate) == 8, "OCIDate layout");

// ---- Return codes ----
inline constexpr sword OCI_SUCCESS = 0;
inline constexpr sword OCI_SUCCESS_WITH_INFO = 1;
inline constexpr sword OCI_NEED_DATA = 99;
inline constexpr sword OCI_NO_DATA = 100;
inline constexpr sword OCI_ERROR = -1;
inline constexpr sword OCI_INVALID_HANDLE = -2;
inline constexpr sword OCI_STILL_EXECUTING = -3123;
inline constexpr sword OCI_CONTINUE = -24200;

// ---- Handle types ----
inline constexpr ub4 OCI_HTYPE_ENV = 1;
inline constexpr ub4 OCI_HTYPE_ERROR = 2;
inline constexpr ub4 OCI_HTYPE_SVCCTX = 3;
inline constexpr ub4 OCI_HTYPE_STMT = 4;
inline constexpr ub4 OCI_HTYPE_BIND = 5;
inline constexpr ub4 OCI_HTYPE_DEFINE = 6;
inline constexpr ub4 OCI_HTYPE_DESCRIBE = 7;
inline constexpr ub4 OCI_HTYPE_SERVER = 8;
inline constexpr ub4 OCI_HTYPE_SESSION = 9;
inline constexpr ub4 OCI_HTYPE_AUTHINFO = 9;
inline constexpr ub4 OCI_HTYPE_TRANS = 10;

// ---- Descriptor types ----
inline constexpr ub4 OCI_DTYPE_LOB = 50;
inline constexpr ub4 OCI_DTYPE_SNAP = 51;
inline constexpr ub4 OCI_DTYPE_PARAM = 53;
inline constexpr ub4 OCI_DTYPE_ROWID = 54;
inline constexpr ub4 OCI_DTYPE_INTERVAL_YM = 62;
inline constexpr ub4 OCI_DTYPE_INTERVAL_DS = 63;
inline constexpr ub4 OCI_DTYPE_TIMESTAMP = 68;
inline constexpr ub4 OCI_DTYPE_TIMESTAMP_TZ = 69;
inline constexpr ub4 OCI_DTYPE_TIMESTAMP_LTZ = 70;

// ---- Modes and flags ----
inline constexpr ub4 OCI_DEFAULT = 0x0;
// environment creation
inline constexpr ub4 OCI_THREADED = 0x1;
inline constexpr ub4 OCI_OBJECT = 0x2;
inline constexpr ub4 OCI_EVENTS = 0x4;
inline constexpr ub4 OCI_NO_MUTEX = 0x80;
// define / bind
inline constexpr ub4 OCI_DYNAMIC_FETCH = 0x2;
inline constexpr ub4 OCI_DATA_AT_EXEC = 0x2;
// statement execution
inline constexpr ub4 OCI_EXACT_FETCH = 0x2;
inline constexpr ub4 OCI_STMT_SCROLLABLE_READONLY = 0x8;
inline constexpr ub4 OCI_DESCRIBE_ONLY = 0x10;
inline constexpr ub4 OCI_COMMIT_ON_SUCCESS = 0x20;
inline constexpr ub4 OCI_BATCH_ERRORS = 0x80;
inline constexpr ub4 OCI_PARSE_ONLY = 0x100;
// session begin
inline constexpr ub4 OCI_STMT_CACHE = 0x40;
inline constexpr ub4 OCI_CRED_RDBMS = 1;
inline constexpr ub4 OCI_CRED_EXT = 2;
inline constexpr ub4 OCI_SYSDBA = 0x2;
inline constexpr ub4 OCI_SYSOPER = 0x4;
// statement prepare language
inline constexpr ub4 OCI_NTV_SYNTAX = 1;
inline constexpr ub4 OCI_V7_SYNTAX = 2;
inline constexpr ub4 OCI_V8_SYNTAX = 3;
// fetch orientation
inline constexpr ub2 OCI_FETCH_CURRENT = 0x01;
inline constexpr ub2 OCI_FETCH_NEXT = 0x02;
inline constexpr ub2 OCI_FETCH_FIRST = 0x04;
inline constexpr ub2 OCI_FETCH_LAST = 0x08;
inline constexpr ub2 OCI_FETCH_PRIOR = 0x10;
inline constexpr ub2 OCI_FETCH_ABSOLUTE = 0x20;
inline constexpr ub2 OCI_FETCH_RELATIVE = 0x40;
// piece codes
inline constexpr ub1 OCI_ONE_PIECE = 0;
inline constexpr ub1 OCI_FIRST_PIECE = 1;
inline constexpr ub1 OCI_NEXT_PIECE = 2;
inline constexpr ub1 OCI_LAST_PIECE = 3;
// direction reported by OCIStmtGetPieceInfo
inline constexpr ub1 OCI_PARAM_IN = 0x01;
inline constexpr ub1 OCI_PARAM_OUT = 0x02;
// character set forms
inline constexpr ub1 SQLCS_IMPLICIT = 1;
inline constexpr ub1 SQLCS_NCHAR = 2;
// server status (OCI_ATTR_SERVER_STATUS)
inline constexpr ub4 OCI_SERVER_NOT_CONNECTED = 0x0;
inline constexpr ub4 OCI_SERVER_NORMAL = 0x1;

// ---- Indicator values ----
inline constexpr sb2 OCI_IND_NOTNULL = 0;
inline constexpr sb2 OCI_IND_NULL = -1;
inline constexpr sb2 OCI_IND_BADNULL = -2;

// ---- Attributes ----
// parameter (select-list item) attributes
inline constexpr ub4 OCI_ATTR_DATA_SIZE = 1;   // ub2
inline constexpr ub4 OCI_ATTR_DATA_TYPE = 2;   // ub2
inline constexpr ub4 OCI_ATTR_DISP_SIZE = 3;   // ub2
inline constexpr ub4 OCI_ATTR_NAME = 4;        // OraText* + length, not NUL-terminated
inline constexpr ub4 OCI_ATTR_PRECISION = 5;   // sb2 for select-list describe
inline constexpr ub4 OCI_ATTR_SCALE = 6;       // sb1
inline constexpr ub4 OCI_ATTR_IS_NULL = 7;     // ub1
inline constexpr ub4 OCI_ATTR_CHAR_USED = 285; // ub1
inline constexpr ub4 OCI_ATTR_CHAR_SIZE = 286; // ub2
// service context attributes
inline constexpr ub4 OCI_ATTR_SERVER = 6;  // OCIServer*
inline constexpr ub4 OCI_ATTR_SESSION = 7; // OCISession*
inline constexpr ub4 OCI_ATTR_TRANS = 8;   // OCITrans*
// ub4 milliseconds for each round trip, clients 18.1 and later; past it the call fails with ORA-03156
inline constexpr ub4 OCI_ATTR_CALL_TIMEOUT = 531;
// statement attributes
inline constexpr ub4 OCI_ATTR_ROW_COUNT = 9;            // ub4
inline constexpr ub4 OCI_ATTR_PREFETCH_ROWS = 11;       // ub4
inline constexpr ub4 OCI_ATTR_PREFETCH_MEMORY = 13;     // ub4
inline constexpr ub4 OCI_ATTR_PARAM_COUNT = 18;         // ub4
inline constexpr ub4 OCI_ATTR_ROWID = 19;               // caller-allocated OCIRowid* passed as attributep
inline constexpr ub4 OCI_ATTR_STMT_TYPE = 24;           // ub2
inline constexpr ub4 OCI_ATTR_PARSE_ERROR_OFFSET = 129; // ub2
inline constexpr ub4 OCI_ATTR_ROWS_FETCHED = 197;       // ub4
inline constexpr ub4 OCI_ATTR_STMT_IS_RETURNING = 218;  // ub1
inline constexpr ub4 OCI_ATTR_UB8_ROW_COUNT = 457;      // ub8
// session attributes
inline constexpr ub4 OCI_ATTR_USERNAME = 22;     // OraText*, size = byte length
inline constexpr ub4 OCI_ATTR_PASSWORD = 23;     // OraText*, size = byte length
inline constexpr ub4 OCI_ATTR_MODULE = 366;      // OraText*
inline constexpr ub4 OCI_ATTR_ACTION = 367;      // OraText*
inline constexpr ub4 OCI_ATTR_CLIENT_INFO = 368; // OraText*
// server attributes
inline constexpr ub4 OCI_ATTR_SERVER_STATUS = 143; // ub4
// environment / bind / define attributes
inline constexpr ub4 OCI_ATTR_CHARSET_ID = 31;   // ub2
inline constexpr ub4 OCI_ATTR_CHARSET_FORM = 32; // ub1
inline constexpr ub4 OCI_ATTR_MAXDATA_SIZE = 33; // sb4
inline constexpr ub4 OCI_ATTR_NCHARSET_ID = 262; // ub2

// ---- Statement types (OCI_ATTR_STMT_TYPE) ----
inline constexpr ub2 OCI_STMT_UNKNOWN = 0;
inline constexpr ub2 OCI_STMT_SELECT = 1;
inline constexpr ub2 OCI_STMT_UPDATE = 2;
inline constexpr ub2 OCI_STMT_DELETE = 3;
inline constexpr ub2 OCI_STMT_INSERT = 4;
inline constexpr ub2 OCI_STMT_CREATE = 5;
inline constexpr ub2 OCI_STMT_DROP = 6;
inline constexpr ub2 OCI_STMT_ALTER = 7;
inline constexpr ub2 OCI_STMT_BEGIN = 8;
inline constexpr ub2 OCI_STMT_DECLARE = 9;
inline constexpr ub2 OCI_STMT_CALL = 10;
inline constexpr ub2 OCI_STMT_EXPLAIN = 15;
inline constexpr ub2 OCI_STMT_MERGE = 16;
inline constexpr ub2 OCI_STMT_ROLLBACK = 17;
inline constexpr ub2 OCI_STMT_COMMIT = 21;

// ---- External data types ----
inline constexpr ub2 SQLT_CHR = 1;
inline constexpr ub2 SQLT_NUM = 2;
inline constexpr ub2 SQLT_INT = 3;
inline constexpr ub2 SQLT_FLT = 4;
inline constexpr ub2 SQLT_STR = 5;
inline constexpr ub2 SQLT_VNU = 6;
inline constexpr ub2 SQLT_PDN = 7;
inline constexpr ub2 SQLT_LNG = 8;
inline constexpr ub2 SQLT_VCS = 9;
inline constexpr ub2 SQLT_RID = 11;
inline constexpr ub2 SQLT_DAT = 12;
inline constexpr ub2 SQLT_VBI = 15;
inline constexpr ub2 SQLT_BFLOAT = 21;
inline constexpr ub2 SQLT_BDOUBLE = 22;
inline constexpr ub2 SQLT_BIN = 23;
inline constexpr ub2 SQLT_LBI = 24;
inline constexpr ub2 SQLT_UIN = 68;
inline constexpr ub2 SQLT_LVC = 94;
inline constexpr ub2 SQLT_LVB = 95;
inline constexpr ub2 SQLT_AFC = 96;
inline constexpr ub2 SQLT_AVC = 97;
inline constexpr ub2 SQLT_IBFLOAT = 100;
inline constexpr ub2 SQLT_IBDOUBLE = 101;
inline constexpr ub2 SQLT_RDD = 104;
inline constexpr ub2 SQLT_CLOB = 112;
inline constexpr ub2 SQLT_BLOB = 113;
inline constexpr ub2 SQLT_BFILEE = 114;
inline constexpr ub2 SQLT_RSET = 116;
inline constexpr ub2 SQLT_ODT = 156;
inline constexpr ub2 SQLT_DATE = 184;
inline constexpr ub2 SQLT_TIMESTAMP = 187;
inline constexpr ub2 SQLT_TIMESTAMP_TZ = 188;
inline constexpr ub2 SQLT_INTERVAL_YM = 189;
inline constexpr ub2 SQLT_INTERVAL_DS = 190;
inline constexpr ub2 SQLT_TIMESTAMP_LTZ = 232;

// ---- Character set ids ----
inline constexpr ub2 OCI_US7ASCII_ID = 1;
inline constexpr ub2 OCI_AL32UTF8_ID = 873;
inline constexpr ub2 OCI_UTF16ID = 1000;
inline constexpr ub2 OCI_NLS_CHARSET_ID = 93;
inline constexpr ub2 OCI_NLS_NCHARSET_ID = 94;

// ---- Entry points ----
extern "C" {
sword OCIEnvCreate(OCIEnv** envp, ub4 mode, void* ctxp, void* (*malocfp)(void* ctxp, size_t size),
                   void* (*ralocfp)(void* ctxp, void* memptr, size_t newsize),
                   void (*mfreefp)(void* ctxp, void* memptr), size_t xtramem_sz, void** usrmempp);
sword OCIEnvNlsCreate(OCIEnv** envp, ub4 mode, void* ctxp, void* (*malocfp)(void* ctxp, size_t size),
                      void* (*ralocfp)(void* ctxp, void* memptr, size_t newsize),
                      void (*mfreefp)(void* ctxp, void* memptr), size_t xtramem_sz, void** usrmempp,
                      ub2 charset, ub2 ncharset);
sword OCIHandleAlloc(const void* parenth, void** hndlpp, const ub4 type, const size_t xtramem_sz,
                     void** usrmempp);
sword OCIHandleFree(void* hndlp, const ub4 type);
sword OCIDescriptorAlloc(const void* parenth, void** descpp, const ub4 type, const size_t xtramem_sz,
                         void** usrmempp);
sword OCIDescriptorFree(void* descp, const ub4 type);
sword OCIServerAttach(OCIServer* srvhp, OCIError* errhp, const OraText* dblink, sb4 dblink_len, ub4 mode);
sword OCIServerDetach(OCIServer* srvhp, OCIError* errhp, ub4 mode);
sword OCIAttrSet(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size, ub4 attrtype, OCIError* errhp);
sword OCIAttrGet(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep, ub4 attrtype,
                 OCIError* errhp);
sword OCISessionBegin(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 credt, ub4 mode);
sword OCISessionEnd(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 mode);
sword OCIServerVersion(void* hndlp, OCIError* errhp, OraText* bufp, ub4 bufsz, ub1 hndltype);
sword OCITransCommit(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);
sword OCITransRollback(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);
sword OCIErrorGet(void* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep, OraText* bufp, ub4 bufsiz,
                  ub4 type);
sword OCIStmtPrepare(OCIStmt* stmtp, OCIError* errhp, const OraText* stmt, ub4 stmt_len, ub4 language,
                     ub4 mode);
sword OCIStmtExecute(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters, ub4 rowoff,
                     const OCISnapshot* snap_in, OCISnapshot* snap_out, ub4 mode);
sword OCIStmtFetch(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation, ub4 mode);
sword OCIStmtFetch2(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation, sb4 scrollOffset, ub4 mode);
sword OCIBindByName(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, const OraText* placeholder,
                    sb4 placeh_len, void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep,
                    ub4 maxarr_len, ub4* curelep, ub4 mode);
sword OCIBindByPos(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, ub4 position, void* valuep, sb4 value_sz,
                   ub2 dty, void* indp, ub2* alenp, ub2* rcodep, ub4 maxarr_len, ub4* curelep, ub4 mode);
sword OCIDefineByPos(OCIStmt* stmtp, OCIDefine** defnp, OCIError* errhp, ub4 position, void* valuep,
                     sb4 value_sz, ub2 dty, void* indp, ub2* rlenp, ub2* rcodep, ub4 mode);
sword OCIDefineDynamic(OCIDefine* defnp, OCIError* errhp, void* octxp, OCICallbackDefine ocbfp);
sword OCIStmtGetPieceInfo(OCIStmt* stmtp, OCIError* errhp, void** hndlpp, ub4* typep, ub1* in_outp,
                          ub4* iterp, ub4* idxp, ub1* piecep);
sword OCIStmtSetPieceInfo(void* hndlp, ub4 type, OCIError* errhp, const void* bufp, ub4* alenp, ub1 piece,
                          const void* indp, ub2* rcodep);
sword OCIParamGet(const void* hndlp, ub4 htype, OCIError* errhp, void** parmdpp, ub4 pos);
sword OCIRowidToChar(OCIRowid* rowidDesc, OraText* outbfp, ub2* outbflp, OCIError* errhp);
sword OCIPing(OCISvcCtx* svchp, OCIError* errhp, ub4 mode);
void OCIClientVersion(sword* featureRelease, sword* releaseUpdate, sword* releaseUpdateRevision,
                      sword* increment, sword* ext);
}

// ---- Function-pointer types of the entry points, for run-time loading ----
using OCIEnvCreate_t = sword (*)(OCIEnv** envp, ub4 mode, void* ctxp,
                                 void* (*malocfp)(void* ctxp, size_t size),
                                 void* (*ralocfp)(void* ctxp, void* memptr, size_t newsize),
                                 void (*mfreefp)(void* ctxp, void* memptr), size_t xtramem_sz,
                                 void** usrmempp);
using OCIEnvNlsCreate_t = sword (*)(OCIEnv** envp, ub4 mode, void* ctxp,
                                    void* (*malocfp)(void* ctxp, size_t size),
                                    void* (*ralocfp)(void* ctxp, void* memptr, size_t newsize),
                                    void (*mfreefp)(void* ctxp, void* memptr), size_t xtramem_sz,
                                    void** usrmempp, ub2 charset, ub2 ncharset);
using OCIHandleAlloc_t = sword (*)(const void* parenth, void** hndlpp, const ub4 type,
                                   const size_t xtramem_sz, void** usrmempp);
using OCIHandleFree_t = sword (*)(void* hndlp, const ub4 type);
using OCIDescriptorAlloc_t = sword (*)(const void* parenth, void** descpp, const ub4 type,
                                       const size_t xtramem_sz, void** usrmempp);
using OCIDescriptorFree_t = sword (*)(void* descp, const ub4 type);
using OCIServerAttach_t = sword (*)(OCIServer* srvhp, OCIError* errhp, const OraText* dblink, sb4 dblink_len,
                                    ub4 mode);
using OCIServerDetach_t = sword (*)(OCIServer* srvhp, OCIError* errhp, ub4 mode);
using OCIAttrSet_t = sword (*)(void* trgthndlp, ub4 trghndltyp, void* attributep, ub4 size, ub4 attrtype,
                               OCIError* errhp);
using OCIAttrGet_t = sword (*)(const void* trgthndlp, ub4 trghndltyp, void* attributep, ub4* sizep,
                               ub4 attrtype, OCIError* errhp);
using OCISessionBegin_t = sword (*)(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 credt,
                                    ub4 mode);
using OCISessionEnd_t = sword (*)(OCISvcCtx* svchp, OCIError* errhp, OCISession* usrhp, ub4 mode);
using OCIServerVersion_t = sword (*)(void* hndlp, OCIError* errhp, OraText* bufp, ub4 bufsz, ub1 hndltype);
using OCITransCommit_t = sword (*)(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);
using OCITransRollback_t = sword (*)(OCISvcCtx* svchp, OCIError* errhp, ub4 flags);
using OCIErrorGet_t = sword (*)(void* hndlp, ub4 recordno, OraText* sqlstate, sb4* errcodep, OraText* bufp,
                                ub4 bufsiz, ub4 type);
using OCIStmtPrepare_t = sword (*)(OCIStmt* stmtp, OCIError* errhp, const OraText* stmt, ub4 stmt_len,
                                   ub4 language, ub4 mode);
using OCIStmtExecute_t = sword (*)(OCISvcCtx* svchp, OCIStmt* stmtp, OCIError* errhp, ub4 iters, ub4 rowoff,
                                   const OCISnapshot* snap_in, OCISnapshot* snap_out, ub4 mode);
using OCIStmtFetch_t = sword (*)(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation, ub4 mode);
using OCIStmtFetch2_t = sword (*)(OCIStmt* stmtp, OCIError* errhp, ub4 nrows, ub2 orientation,
                                  sb4 scrollOffset, ub4 mode);
using OCIBindByName_t = sword (*)(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp,
                                  const OraText* placeholder, sb4 placeh_len, void* valuep, sb4 value_sz,
                                  ub2 dty, void* indp, ub2* alenp, ub2* rcodep, ub4 maxarr_len, ub4* curelep,
                                  ub4 mode);
using OCIBindByPos_t = sword (*)(OCIStmt* stmtp, OCIBind** bindp, OCIError* errhp, ub4 position, void* valuep,
                                 sb4 value_sz, ub2 dty, void* indp, ub2* alenp, ub2* rcodep, ub4 maxarr_len,
                                 ub4* curelep, ub4 mode);
using OCIDefineByPos_t = sword (*)(OCIStmt* stmtp, OCIDefine** defnp, OCIError* errhp, ub4 position,
                                   void* valuep, sb4 value_sz, ub2 dty, void* indp, ub2* rlenp, ub2* rcodep,
                                   ub4 mode);
using OCIDefineDynamic_t = sword (*)(OCIDefine* defnp, OCIError* errhp, void* octxp, OCICallbackDefine ocbfp);
using OCIStmtGetPieceInfo_t = sword (*)(OCIStmt* stmtp, OCIError* errhp, void** hndlpp, ub4* typep,
                                        ub1* in_outp, ub4* iterp, ub4* idxp, ub1* piecep);
using OCIStmtSetPieceInfo_t = sword (*)(void* hndlp, ub4 type, OCIError* errhp, const void* bufp, ub4* alenp,
                                        ub1 piece, const void* indp, ub2* rcodep);
using OCIParamGet_t = sword (*)(const void* hndlp, ub4 htype, OCIError* errhp, void** parmdpp, ub4 pos);
using OCIRowidToChar_t = sword (*)(OCIRowid* rowidDesc, OraText* outbfp, ub2* outbflp, OCIError* errhp);
using OCIPing_t = sword (*)(OCISvcCtx* svchp, OCIError* errhp, ub4 mode);
using OCIClientVersion_t = void (*)(sword* featureRelease, sword* releaseUpdate, sword* releaseUpdateRevision,
                                    sword* increment, sword* ext);
