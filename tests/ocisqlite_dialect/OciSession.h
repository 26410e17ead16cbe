// One OCI session on an embedded-server database and one statement run through the entry points, as the
// dialect tests use them: binds from text, every column fetched as text (DATE as YYYY-MM-DD HH:MM:SS, RAW as
// hexadecimal), the error text of a failure.
#pragma once

#include "oracle/OciDefs.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace ocisqlite::test {

using Value = std::optional<std::string>;

struct Bind {
    std::string name, type, value;
};

inline std::string hex(const unsigned char* p, std::size_t n) {
    static const char* digits = "0123456789ABCDEF";
    std::string r;
    for (std::size_t i = 0; i < n; ++i) {
        r += digits[p[i] >> 4];
        r += digits[p[i] & 15];
    }
    return r;
}

inline std::vector<unsigned char> unhex(const std::string& s) {
    std::vector<unsigned char> r;
    for (std::size_t i = 0; i + 1 < s.size(); i += 2)
        r.push_back(static_cast<unsigned char>(std::stoi(s.substr(i, 2), nullptr, 16)));
    return r;
}

class Session {
public:
    // Throws std::runtime_error with the call and its Oracle error when the session cannot begin.
    Session(const std::string& db, const std::string& user, const std::string& password) {
        try {
            open(db, user, password);
        } catch (...) {
            close();
            throw;
        }
    }
    ~Session() { close(); }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // The error text of the last failed call, without OCIErrorGet's final line feed.
    std::string error() {
        char buf[4096] = {};
        sb4 code = 0;
        OCIErrorGet(err_, 1, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf, OCI_HTYPE_ERROR);
        std::string s = buf;
        while (!s.empty() && s.back() == '\n')
            s.pop_back();
        return s;
    }
    void check(sword rc, const char* what) {
        if (rc != OCI_SUCCESS && rc != OCI_SUCCESS_WITH_INFO)
            throw std::runtime_error(std::string(what) + ": " + (err_ ? error() : std::to_string(rc)));
    }

    void open(const std::string& db, const std::string& user, const std::string& password) {
        check(OCIEnvNlsCreate(&env_, OCI_THREADED, nullptr, nullptr, nullptr, nullptr, 0, nullptr, 873, 873),
              "OCIEnvNlsCreate");
        OCIHandleAlloc(env_, reinterpret_cast<void**>(&err_), OCI_HTYPE_ERROR, 0, nullptr);
        OCIHandleAlloc(env_, reinterpret_cast<void**>(&srv_), OCI_HTYPE_SERVER, 0, nullptr);
        OCIHandleAlloc(env_, reinterpret_cast<void**>(&svc_), OCI_HTYPE_SVCCTX, 0, nullptr);
        OCIHandleAlloc(env_, reinterpret_cast<void**>(&ses_), OCI_HTYPE_SESSION, 0, nullptr);
        check(OCIServerAttach(srv_, err_, reinterpret_cast<const OraText*>(db.c_str()),
                              static_cast<sb4>(db.size()), OCI_DEFAULT),
              "OCIServerAttach");
        OCIAttrSet(svc_, OCI_HTYPE_SVCCTX, srv_, 0, OCI_ATTR_SERVER, err_);
        OCIAttrSet(ses_, OCI_HTYPE_SESSION, const_cast<char*>(user.c_str()), static_cast<ub4>(user.size()),
                   OCI_ATTR_USERNAME, err_);
        OCIAttrSet(ses_, OCI_HTYPE_SESSION, const_cast<char*>(password.c_str()),
                   static_cast<ub4>(password.size()), OCI_ATTR_PASSWORD, err_);
        check(OCISessionBegin(svc_, err_, ses_, OCI_CRED_RDBMS, OCI_DEFAULT), "OCISessionBegin");
        OCIAttrSet(svc_, OCI_HTYPE_SVCCTX, ses_, 0, OCI_ATTR_SESSION, err_);
    }
    void close() {
        if (ses_)
            OCISessionEnd(svc_, err_, ses_, OCI_DEFAULT);
        if (srv_)
            OCIServerDetach(srv_, err_, OCI_DEFAULT);
        if (ses_)
            OCIHandleFree(ses_, OCI_HTYPE_SESSION);
        if (svc_)
            OCIHandleFree(svc_, OCI_HTYPE_SVCCTX);
        if (srv_)
            OCIHandleFree(srv_, OCI_HTYPE_SERVER);
        if (err_)
            OCIHandleFree(err_, OCI_HTYPE_ERROR);
        if (env_)
            OCIHandleFree(env_, OCI_HTYPE_ENV);
        ses_ = nullptr;
        svc_ = nullptr;
        srv_ = nullptr;
        err_ = nullptr;
        env_ = nullptr;
    }

    OCIEnv* env_ = nullptr;
    OCIError* err_ = nullptr;
    OCIServer* srv_ = nullptr;
    OCISvcCtx* svc_ = nullptr;
    OCISession* ses_ = nullptr;
};

struct Outcome {
    std::string error; // empty on success
    std::vector<std::string> columns;
    std::vector<std::vector<Value>> rows;
    ub4 rowCount = 0;
    std::map<std::string, Value> outs; // bind values after execute
};

struct BindBuffer {
    std::vector<unsigned char> data;
    sb2 indicator = 0;
    ub2 length = 0;
    ub2 type = 0;
};

inline Outcome execute(Session& s, const std::string& sql, const std::vector<Bind>& binds,
                       const std::map<std::string, std::string>& vars) {
    Outcome out;
    OCIStmt* st = nullptr;
    OCIHandleAlloc(s.env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
    std::unique_ptr<OCIStmt, void (*)(OCIStmt*)> guard(st,
                                                       [](OCIStmt* p) { OCIHandleFree(p, OCI_HTYPE_STMT); });
    auto fail = [&]() {
        out.error = s.error();
        return out;
    };
    if (OCIStmtPrepare(st, s.err_, reinterpret_cast<const OraText*>(sql.data()), static_cast<ub4>(sql.size()),
                       OCI_NTV_SYNTAX, OCI_DEFAULT) != OCI_SUCCESS)
        return fail();
    ub2 type = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, s.err_);

    std::vector<BindBuffer> buffers(binds.size());
    for (std::size_t i = 0; i < binds.size(); ++i) {
        const Bind& b = binds[i];
        BindBuffer& buf = buffers[i];
        std::string text = b.value;
        if (b.type == "var") {
            auto v = vars.find(b.value);
            text = v == vars.end() ? std::string() : v->second;
        }
        if (b.type == "int") {
            buf.type = SQLT_INT;
            buf.data.resize(4);
            const int v = std::stoi(b.value);
            std::memcpy(buf.data.data(), &v, 4);
        } else if (b.type == "date") {
            buf.type = SQLT_DAT;
            int y, mo, d, h, mi, se;
            std::sscanf(b.value.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &se);
            buf.data = {static_cast<unsigned char>(y / 100 + 100),
                        static_cast<unsigned char>(y % 100 + 100),
                        static_cast<unsigned char>(mo),
                        static_cast<unsigned char>(d),
                        static_cast<unsigned char>(h + 1),
                        static_cast<unsigned char>(mi + 1),
                        static_cast<unsigned char>(se + 1)};
        } else if (b.type == "raw") {
            buf.type = SQLT_LBI;
            buf.data = unhex(b.value);
        } else { // text, var, null: a string buffer large enough for an OUT value
            buf.type = SQLT_STR;
            buf.data.assign(4001, 0);
            std::memcpy(buf.data.data(), text.data(), std::min<std::size_t>(text.size(), 4000));
            buf.indicator = b.type == "null" ? -1 : 0;
        }
        buf.length =
            static_cast<ub2>(buf.type == SQLT_STR ? std::strlen(reinterpret_cast<char*>(buf.data.data())) + 1
                                                  : buf.data.size());
        const std::string placeholder = ":" + b.name;
        OCIBind* bnd = nullptr;
        if (OCIBindByName(st, &bnd, s.err_, reinterpret_cast<const OraText*>(placeholder.c_str()),
                          static_cast<sb4>(placeholder.size()), buf.data.empty() ? nullptr : buf.data.data(),
                          static_cast<sb4>(buf.data.size()), buf.type, &buf.indicator, nullptr, nullptr, 0,
                          nullptr, OCI_DEFAULT) != OCI_SUCCESS)
            return fail();
    }
    const ub4 iters = type == OCI_STMT_SELECT ? 0 : 1;
    if (OCIStmtExecute(s.svc_, st, s.err_, iters, 0, nullptr, nullptr, OCI_DEFAULT) != OCI_SUCCESS)
        return fail();
    for (std::size_t i = 0; i < binds.size(); ++i) {
        if (buffers[i].type != SQLT_STR)
            continue;
        out.outs[binds[i].name] = buffers[i].indicator == -1
                                      ? Value()
                                      : Value(std::string(reinterpret_cast<char*>(buffers[i].data.data())));
    }
    if (type == OCI_STMT_SELECT) {
        ub4 count = 0;
        OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_PARAM_COUNT, s.err_);
        struct Column {
            ub2 type = 0;
            std::vector<unsigned char> buf;
            sb2 ind = 0;
            ub2 len = 0;
        };
        std::vector<Column> cols(count);
        for (ub4 c = 0; c < count; ++c) {
            void* param = nullptr;
            OCIParamGet(st, OCI_HTYPE_STMT, s.err_, &param, c + 1);
            ub2 dtype = 0;
            OCIAttrGet(param, OCI_DTYPE_PARAM, &dtype, nullptr, OCI_ATTR_DATA_TYPE, s.err_);
            OraText* name = nullptr;
            ub4 nameLen = 0;
            OCIAttrGet(param, OCI_DTYPE_PARAM, &name, &nameLen, OCI_ATTR_NAME, s.err_);
            out.columns.emplace_back(reinterpret_cast<char*>(name), nameLen);
            Column& col = cols[c];
            col.type = dtype == SQLT_DAT ? SQLT_DAT : dtype == SQLT_LBI ? SQLT_LBI : SQLT_STR;
            col.buf.assign(col.type == SQLT_LBI ? 65000 : 4001, 0);
            OCIDefine* def = nullptr;
            if (OCIDefineByPos(st, &def, s.err_, c + 1, col.buf.data(), static_cast<sb4>(col.buf.size()),
                               col.type, &col.ind, &col.len, nullptr, OCI_DEFAULT) != OCI_SUCCESS)
                return fail();
        }
        for (;;) {
            const sword rc = OCIStmtFetch2(st, s.err_, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT);
            if (rc == OCI_NO_DATA)
                break;
            if (rc != OCI_SUCCESS && rc != OCI_SUCCESS_WITH_INFO)
                return fail();
            std::vector<Value> row;
            for (Column& col : cols) {
                if (col.ind == -1) {
                    row.emplace_back();
                } else if (col.type == SQLT_DAT) {
                    const unsigned char* d = col.buf.data();
                    char text[32];
                    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d",
                                  (d[0] - 100) * 100 + d[1] - 100, d[2], d[3], d[4] - 1, d[5] - 1, d[6] - 1);
                    row.emplace_back(text);
                } else if (col.type == SQLT_LBI) {
                    row.emplace_back(hex(col.buf.data(), col.len));
                } else {
                    row.emplace_back(reinterpret_cast<char*>(col.buf.data()));
                }
            }
            out.rows.push_back(std::move(row));
        }
    }
    OCIAttrGet(st, OCI_HTYPE_STMT, &out.rowCount, nullptr, OCI_ATTR_ROW_COUNT, s.err_);
    return out;
}

} // namespace ocisqlite::test
