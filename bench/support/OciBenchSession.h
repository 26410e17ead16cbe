// A session of the benches on the embedded server through the OCI entry points, signed in as
// "bench"; any failure prints the server's text and ends the bench.
#pragma once

#include "oracle/OciDefs.h"

#include <cstdio>
#include <cstdlib>
#include <string>

struct TOciBenchSession {
    OCIEnv* env = nullptr;
    OCIError* err = nullptr;
    OCIServer* srv = nullptr;
    OCISvcCtx* svc = nullptr;
    OCISession* ses = nullptr;

    void check(sword rc, const char* what) const {
        if (rc == OCI_SUCCESS || rc == OCI_SUCCESS_WITH_INFO || rc == OCI_NO_DATA)
            return;
        char buf[1024] = {};
        sb4 code = 0;
        OCIErrorGet(err, 1, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf, OCI_HTYPE_ERROR);
        std::fprintf(stderr, "%s failed (%d): %s", what, rc, buf);
        std::exit(1);
    }

    explicit TOciBenchSession(const std::string& db) {
        OCIEnvNlsCreate(&env, OCI_THREADED | OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0, nullptr,
                        OCI_AL32UTF8_ID, OCI_AL32UTF8_ID);
        OCIHandleAlloc(env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 0, nullptr);
        OCIHandleAlloc(env, reinterpret_cast<void**>(&srv), OCI_HTYPE_SERVER, 0, nullptr);
        OCIHandleAlloc(env, reinterpret_cast<void**>(&svc), OCI_HTYPE_SVCCTX, 0, nullptr);
        OCIHandleAlloc(env, reinterpret_cast<void**>(&ses), OCI_HTYPE_SESSION, 0, nullptr);
        check(OCIServerAttach(srv, err, reinterpret_cast<const OraText*>(db.c_str()),
                              static_cast<sb4>(db.size()), OCI_DEFAULT),
              "attach");
        OCIAttrSet(svc, OCI_HTYPE_SVCCTX, srv, 0, OCI_ATTR_SERVER, err);
        OCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char*>("bench"), 5, OCI_ATTR_USERNAME, err);
        OCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char*>("bench"), 5, OCI_ATTR_PASSWORD, err);
        OCIAttrSet(svc, OCI_HTYPE_SVCCTX, ses, 0, OCI_ATTR_SESSION, err);
        check(OCISessionBegin(svc, err, ses, OCI_CRED_RDBMS, OCI_DEFAULT), "logon");
    }
    ~TOciBenchSession() {
        OCISessionEnd(svc, err, ses, OCI_DEFAULT);
        OCIServerDetach(srv, err, OCI_DEFAULT);
        OCIHandleFree(env, OCI_HTYPE_ENV);
    }

    OCIStmt* prepare(const std::string& sql) {
        OCIStmt* st = nullptr;
        OCIHandleAlloc(env, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
        check(OCIStmtPrepare(st, err, reinterpret_cast<const OraText*>(sql.data()),
                             static_cast<ub4>(sql.size()), OCI_NTV_SYNTAX, OCI_DEFAULT),
              "prepare");
        return st;
    }
    void exec(const std::string& sql) {
        OCIStmt* st = prepare(sql);
        check(OCIStmtExecute(svc, st, err, 1, 0, nullptr, nullptr, OCI_DEFAULT), sql.c_str());
        OCIHandleFree(st, OCI_HTYPE_STMT);
    }
};
