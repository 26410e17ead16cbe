// Helpers for tests that drive libocisqlite through the documented OCI calls only.
#pragma once

#include "ServerTools.h"

#include "oracle/OciDefs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace ocitest {

// A fresh folder with OCISQLITE_DATA pointing at it.
class TempData {
public:
    TempData() : folder_("ocisqlite-test") { ::setenv("OCISQLITE_DATA", folder_.Path().c_str(), 1); }
    const std::string& dir() const { return folder_.Path(); }
    std::string file(const std::string& name) const { return folder_.File(name + ".db"); }
    // ocisqlite-admin on this folder with the words of args ("create srv --user scott ..."); its
    // exit status, or all it did.
    TToolResult run(const std::string& args) const {
        std::istringstream in(args);
        std::vector<std::string> words;
        for (std::string word; in >> word;)
            words.push_back(word);
        return RunTool("ocisqlite-admin", words, dir());
    }
    int admin(const std::string& args) const { return run(args).ExitCode; }

private:
    TTempFolder folder_;
};

// One environment with a logged-on session.
struct Conn {
    OCIEnv* env = nullptr;
    OCIError* err = nullptr;
    OCIServer* srv = nullptr;
    OCISvcCtx* svc = nullptr;
    OCISession* ses = nullptr;
    bool loggedOn = false;

    Conn() {
        OCIEnvNlsCreate(&env, OCI_THREADED | OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0, nullptr,
                        OCI_AL32UTF8_ID, OCI_AL32UTF8_ID);
        OCIHandleAlloc(env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 0, nullptr);
        OCIHandleAlloc(env, reinterpret_cast<void**>(&srv), OCI_HTYPE_SERVER, 0, nullptr);
        OCIHandleAlloc(env, reinterpret_cast<void**>(&svc), OCI_HTYPE_SVCCTX, 0, nullptr);
        OCIHandleAlloc(env, reinterpret_cast<void**>(&ses), OCI_HTYPE_SESSION, 0, nullptr);
    }
    ~Conn() {
        if (loggedOn)
            OCISessionEnd(svc, err, ses, OCI_DEFAULT);
        OCIHandleFree(env, OCI_HTYPE_ENV);
    }
    Conn(const Conn&) = delete;
    Conn& operator=(const Conn&) = delete;

    // Full logon; returns the status of the first failing call. mode goes to OCISessionBegin.
    sword logon(const std::string& db, const std::string& user, const std::string& password,
                ub4 mode = OCI_DEFAULT) {
        sword rc = OCIServerAttach(srv, err, reinterpret_cast<const OraText*>(db.c_str()),
                                   static_cast<sb4>(db.size()), OCI_DEFAULT);
        if (rc != OCI_SUCCESS)
            return rc;
        OCIAttrSet(svc, OCI_HTYPE_SVCCTX, srv, 0, OCI_ATTR_SERVER, err);
        OCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char*>(user.c_str()), static_cast<ub4>(user.size()),
                   OCI_ATTR_USERNAME, err);
        OCIAttrSet(ses, OCI_HTYPE_SESSION, const_cast<char*>(password.c_str()),
                   static_cast<ub4>(password.size()), OCI_ATTR_PASSWORD, err);
        OCIAttrSet(svc, OCI_HTYPE_SVCCTX, ses, 0, OCI_ATTR_SESSION, err);
        rc = OCISessionBegin(svc, err, ses, OCI_CRED_RDBMS, mode);
        loggedOn = rc == OCI_SUCCESS;
        return rc;
    }

    // Text of error record 1 (with Oracle's trailing line end) and its code.
    std::string error(sb4* code = nullptr) const {
        OraText buf[4001] = {};
        sb4 c = 0;
        if (OCIErrorGet(err, 1, nullptr, &c, buf, sizeof buf, OCI_HTYPE_ERROR) != OCI_SUCCESS)
            return "<no error>";
        if (code)
            *code = c;
        return reinterpret_cast<char*>(buf);
    }

    OCIStmt* prepare(const std::string& sql) {
        OCIStmt* st = nullptr;
        OCIHandleAlloc(env, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
        OCIStmtPrepare(st, err, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()),
                       OCI_NTV_SYNTAX, OCI_DEFAULT);
        return st;
    }

    // Runs a statement without binds; returns the OCI status.
    sword exec(const std::string& sql) {
        OCIStmt* st = prepare(sql);
        ub2 type = 0;
        OCIAttrGet(st, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, err);
        const sword rc =
            OCIStmtExecute(svc, st, err, type == OCI_STMT_SELECT ? 0 : 1, 0, nullptr, nullptr, OCI_DEFAULT);
        OCIHandleFree(st, OCI_HTYPE_STMT);
        return rc;
    }

    // Executes and expects success, reporting the Oracle text otherwise.
    void ok(const std::string& sql) { ASSERT_EQ(exec(sql), OCI_SUCCESS) << sql << ": " << error(); }

    // The first column of the first row as text ("<null>" for NULL, "<none>" without rows).
    std::string scalar(const std::string& sql) {
        OCIStmt* st = prepare(sql);
        char buf[4001] = {};
        sb2 ind = 0;
        OCIDefine* def = nullptr;
        std::string out = "<none>";
        if (OCIStmtExecute(svc, st, err, 0, 0, nullptr, nullptr, OCI_DEFAULT) == OCI_SUCCESS) {
            OCIDefineByPos(st, &def, err, 1, buf, sizeof buf, SQLT_STR, &ind, nullptr, nullptr, OCI_DEFAULT);
            const sword rc = OCIStmtFetch2(st, err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT);
            if (rc == OCI_SUCCESS || rc == OCI_SUCCESS_WITH_INFO)
                out = ind == OCI_IND_NULL ? "<null>" : buf;
        } else {
            out = "<error> " + error();
        }
        OCIHandleFree(st, OCI_HTYPE_STMT);
        return out;
    }

    sword commit() { return OCITransCommit(svc, err, OCI_DEFAULT); }
    sword rollback() { return OCITransRollback(svc, err, OCI_DEFAULT); }
};

} // namespace ocitest
