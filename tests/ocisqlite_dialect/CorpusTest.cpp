// Every statement text the program sends, run in order through the OCI entry points of libocisqlite on a
// database made with the program's tables, each with its expected rows, row count, OUT value or error.
// statements.corpus (CR LF line ends, as the program joins its lines) holds the cases:
//   @@ case TITLE                  starts a case; a title "DISABLED_..." is listed but not run
//   @@ session A|B                 which of the two sessions runs it (A by default)
//   @@ bind NAME TYPE VALUE        int, text, date (YYYY-MM-DD HH:MM:SS), raw (hex), null, var (captured)
//   @@ commit / @@ rollback        an OCITransCommit / OCITransRollback instead of a statement
//   lines without "@@ "            the statement, each line sent with its CR LF
//   @@ rows N / @@ row a|b|c       row count, then the rows in order ("~" NULL, "*" any, "#rowid", "var:X")
//   @@ col NAME VALUE              a column of the first row
//   @@ count N                     rows processed by a change
//   @@ out NAME VALUE              a bind's value after execution ("#txn" a transaction id)
//   @@ error TEXT                  the expected OCIErrorGet text ("\n" for a line break)
//   @@ capture ROW COL VAR / @@ capture-out NAME VAR   keep a value for later binds
#include "oracle/OciDefs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Value = std::optional<std::string>;

struct Bind {
    std::string name, type, value;
};

struct Case {
    std::string title;
    char session = 'A';
    std::vector<Bind> binds;
    std::string sql;
    std::vector<std::string> expectations;
    std::string action; // "commit" / "rollback" instead of a statement
};

std::vector<Case> readCorpus(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    std::vector<Case> cases;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find("\r\n", pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + 2;
        if (line.rfind("#", 0) == 0 && cases.empty())
            continue;
        if (line.rfind("@@ ", 0) != 0) {
            if (!cases.empty())
                cases.back().sql +=
                    line + "\r\n"; // each line ends with its line break, as the program sends it
            continue;
        }
        const std::string d = line.substr(3);
        const std::string word = d.substr(0, d.find(' '));
        const std::string rest = d.size() > word.size() ? d.substr(word.size() + 1) : std::string();
        if (word == "case") {
            cases.emplace_back();
            cases.back().title = rest;
        } else if (word == "session") {
            cases.back().session = rest.empty() ? 'A' : rest[0];
        } else if (word == "bind") {
            std::istringstream f(rest);
            Bind b;
            f >> b.name >> b.type;
            std::getline(f, b.value);
            if (!b.value.empty() && b.value[0] == ' ')
                b.value.erase(0, 1);
            cases.back().binds.push_back(b);
        } else if (word == "commit" || word == "rollback") {
            cases.back().action = word;
        } else {
            cases.back().expectations.push_back(d);
        }
    }
    return cases;
}

std::string unescape(const std::string& s) {
    std::string r;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == 'n') {
            r += '\n';
            ++i;
        } else {
            r += s[i];
        }
    }
    return r;
}

std::string hex(const unsigned char* p, std::size_t n) {
    static const char* digits = "0123456789ABCDEF";
    std::string r;
    for (std::size_t i = 0; i < n; ++i) {
        r += digits[p[i] >> 4];
        r += digits[p[i] & 15];
    }
    return r;
}

std::vector<unsigned char> unhex(const std::string& s) {
    std::vector<unsigned char> r;
    for (std::size_t i = 0; i + 1 < s.size(); i += 2)
        r.push_back(static_cast<unsigned char>(std::stoi(s.substr(i, 2), nullptr, 16)));
    return r;
}

bool isRowidText(const Value& v) {
    if (!v || v->size() != 18)
        return false;
    for (char c : *v)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '/')
            return false;
    return true;
}

bool isTxnId(const Value& v) {
    if (!v)
        return false;
    int dots = 0;
    for (char c : *v) {
        if (c == '.')
            ++dots;
        else if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    }
    return dots == 2;
}

// One OCI session (environment, server, service context, user session).
class Session {
public:
    Session(const std::string& db, const std::string& user, const std::string& password) {
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
    ~Session() {
        OCISessionEnd(svc_, err_, ses_, OCI_DEFAULT);
        OCIServerDetach(srv_, err_, OCI_DEFAULT);
        OCIHandleFree(ses_, OCI_HTYPE_SESSION);
        OCIHandleFree(svc_, OCI_HTYPE_SVCCTX);
        OCIHandleFree(srv_, OCI_HTYPE_SERVER);
        OCIHandleFree(err_, OCI_HTYPE_ERROR);
        OCIHandleFree(env_, OCI_HTYPE_ENV);
    }
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

Outcome execute(Session& s, const std::string& sql, const std::vector<Bind>& binds,
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

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t p = s.find(sep, start);
        parts.push_back(s.substr(start, p == std::string::npos ? std::string::npos : p - start));
        if (p == std::string::npos)
            return parts;
        start = p + 1;
    }
}

// "~" is NULL, "*" any value, "#rowid" an 18-character ROWID, "#txn" a transaction id, "var:X" a captured
// value.
bool matches(const std::string& expected, const Value& actual,
             const std::map<std::string, std::string>& vars) {
    if (expected == "~")
        return !actual;
    if (expected == "*")
        return actual.has_value();
    if (expected == "#rowid")
        return isRowidText(actual);
    if (expected == "#txn")
        return isTxnId(actual);
    if (expected.rfind("var:", 0) == 0) {
        auto v = vars.find(expected.substr(4));
        return v != vars.end() && actual == v->second;
    }
    return actual == expected;
}

std::string show(const Value& v) {
    return v ? *v : "~";
}

TEST(StatementCorpus, RunsEveryStatementThroughTheEntryPoints) {
    const std::string dir =
        std::filesystem::temp_directory_path() / ("ocisqlite_corpus_" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string db = dir + "/corpus.db";
    const std::string admin = std::string(KMR_BIN_DIR) + "/ocisqlite-admin create " + db +
                              " --user ADMIN --password secret > /dev/null";
    ASSERT_EQ(std::system(admin.c_str()), 0) << admin;

    const std::vector<Case> cases =
        readCorpus(std::string(KMR_SOURCE_DIR) + "/tests/ocisqlite_dialect/statements.corpus");
    ASSERT_GT(cases.size(), 100u);
    Session a(db, "ADMIN", "secret");
    Session b(db, "ADMIN", "secret");
    std::map<std::string, std::string> vars;
    int disabled = 0;
    for (const Case& c : cases) {
        if (c.title.rfind("DISABLED_", 0) == 0) {
            ++disabled;
            continue;
        }
        SCOPED_TRACE(c.title + "\n" + c.sql);
        Session& s = c.session == 'B' ? b : a;
        if (!c.action.empty()) {
            const sword rc = c.action == "commit" ? OCITransCommit(s.svc_, s.err_, OCI_DEFAULT)
                                                  : OCITransRollback(s.svc_, s.err_, OCI_DEFAULT);
            EXPECT_EQ(rc, OCI_SUCCESS) << s.error();
            continue;
        }
        const Outcome o = execute(s, c.sql, c.binds, vars);
        std::string expectedError;
        std::size_t rowIndex = 0;
        for (const std::string& e : c.expectations)
            if (e.rfind("error ", 0) == 0)
                expectedError = unescape(e.substr(6));
        if (expectedError.empty() && !o.error.empty()) {
            ADD_FAILURE() << "failed: " << o.error;
            continue;
        }
        if (!expectedError.empty()) {
            EXPECT_EQ(o.error, expectedError);
            continue;
        }
        for (const std::string& e : c.expectations) {
            const auto words = split(e, ' ');
            const std::string& what = words[0];
            const std::string arg = e.size() > what.size() ? e.substr(what.size() + 1) : std::string();
            if (what == "rows") {
                EXPECT_EQ(o.rows.size(), std::stoul(arg));
            } else if (what == "row") {
                const auto expected = split(arg, '|');
                if (rowIndex >= o.rows.size()) {
                    ADD_FAILURE() << "missing row " << rowIndex + 1 << ": " << arg;
                } else {
                    const auto& row = o.rows[rowIndex];
                    EXPECT_EQ(row.size(), expected.size()) << "row " << rowIndex + 1;
                    for (std::size_t k = 0; k < expected.size() && k < row.size(); ++k)
                        EXPECT_TRUE(matches(expected[k], row[k], vars))
                            << "row " << rowIndex + 1 << " column " << o.columns[k] << ": expected "
                            << expected[k] << ", got " << show(row[k]);
                }
                ++rowIndex;
            } else if (what == "col") {
                const std::string name = words[1];
                const std::string value = arg.substr(name.size() + 1);
                std::size_t k = 0;
                while (k < o.columns.size() && o.columns[k] != name)
                    ++k;
                if (o.rows.empty() || k == o.columns.size())
                    ADD_FAILURE() << "no column " << name << " in a first row";
                else
                    EXPECT_TRUE(matches(value, o.rows[0][k], vars))
                        << name << ": expected " << value << ", got " << show(o.rows[0][k]);
            } else if (what == "count") {
                EXPECT_EQ(o.rowCount, std::stoul(arg));
            } else if (what == "out") {
                const std::string name = words[1];
                const std::string value = arg.substr(name.size() + 1);
                auto it = o.outs.find(name);
                const Value actual = it == o.outs.end() ? Value() : it->second;
                EXPECT_TRUE(matches(value, actual, vars))
                    << name << ": expected " << value << ", got " << show(actual);
            } else if (what == "capture") {
                const std::size_t row = std::stoul(words[1]) - 1;
                std::size_t k = 0;
                while (k < o.columns.size() && o.columns[k] != words[2])
                    ++k;
                if (row < o.rows.size() && k < o.columns.size() && o.rows[row][k])
                    vars[words[3]] = *o.rows[row][k];
                else
                    ADD_FAILURE() << "nothing to capture for " << words[3];
            } else if (what == "capture-out") {
                auto it = o.outs.find(words[1]);
                if (it != o.outs.end() && it->second)
                    vars[words[2]] = *it->second;
                else
                    ADD_FAILURE() << "no OUT value " << words[1];
            } else {
                ADD_FAILURE() << "unknown expectation: " << e;
            }
        }
    }
    if (disabled)
        std::printf("%d corpus cases disabled\n", disabled);
    std::filesystem::remove_all(dir);
}

// Another process sees this one's row lock (ORA-00054 at once under NOWAIT) and its V$SESSION labels.
TEST(StatementCorpus, AnotherProcessSeesTheLockAndTheSessionLabels) {
    const std::string dir =
        std::filesystem::temp_directory_path() / ("ocisqlite_twoproc_" + std::to_string(getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string db = dir + "/two.db";
    const std::string admin = std::string(KMR_BIN_DIR) + "/ocisqlite-admin create " + db +
                              " --user ADMIN --password secret > /dev/null";
    ASSERT_EQ(std::system(admin.c_str()), 0);
    int toChild[2];
    ASSERT_EQ(pipe(toChild), 0);
    // The child starts before this process opens anything, so it shares no handle with it.
    const pid_t child = fork();
    if (child == 0) {
        char rowid[19] = {};
        if (read(toChild[0], rowid, 18) != 18)
            _exit(10);
        try {
            Session s(db, "ADMIN", "secret");
            const Outcome lock =
                execute(s, "select * from T where rowid = :tav__rowid\r\nfor update nowait\r\n",
                        {Bind{"TAV__ROWID", "text", rowid}}, {});
            if (lock.error != "ORA-00054: resource busy and acquire with NOWAIT specified or timeout expired")
                _exit(11);
            const Outcome other = execute(s, "select * from T where ID = 2 for update nowait", {}, {});
            if (!other.error.empty() || other.rows.size() != 1)
                _exit(12);
            const Outcome view =
                execute(s, "SELECT MODULE, ACTION, CLIENT_INFO FROM V$SESSION WHERE MODULE = 'Администратор'",
                        {}, {});
            if (!view.error.empty() || view.rows.size() != 1 || view.rows[0][1] != "10.0.0.5" ||
                view.rows[0][2] != "7")
                _exit(13);
        } catch (...) {
            _exit(14);
        }
        _exit(0);
    }
    {
        Session a(db, "ADMIN", "secret");
        ASSERT_EQ(execute(a, "CREATE TABLE T (ID NUMBER(9), NAME VARCHAR2(20))", {}, {}).error, "");
        ASSERT_EQ(execute(a, "INSERT INTO T VALUES (1, 'one')", {}, {}).error, "");
        ASSERT_EQ(execute(a, "INSERT INTO T VALUES (2, 'two')", {}, {}).error, "");
        ASSERT_EQ(OCITransCommit(a.svc_, a.err_, OCI_DEFAULT), OCI_SUCCESS);
        ASSERT_EQ(
            execute(a,
                    "begin\r\n  sys.DBMS_Application_Info.set_module(module_name => :module_name, "
                    "action_name => :action_name);\r\nend;\r\n",
                    {Bind{"MODULE_NAME", "text", "Администратор"}, Bind{"ACTION_NAME", "text", "10.0.0.5"}},
                    {})
                .error,
            "");
        ASSERT_EQ(execute(a,
                          "begin\r\n  sys.DBMS_Application_Info.set_client_info(client_info => :client_info);"
                          "\r\nend;\r\n",
                          {Bind{"CLIENT_INFO", "text", "7"}}, {})
                      .error,
                  "");
        const Outcome locked = execute(a, "select ID, ROWID from T where ID = 1 for update nowait", {}, {});
        ASSERT_EQ(locked.rows.size(), 1u);
        ASSERT_TRUE(isRowidText(locked.rows[0][1]));
        ASSERT_EQ(write(toChild[1], locked.rows[0][1]->data(), 18), 18);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "10: no rowid, 11: not locked out, 12: other row, 13: V$SESSION";
        OCITransRollback(a.svc_, a.err_, OCI_DEFAULT);
    }
    close(toChild[0]);
    close(toChild[1]);
    std::filesystem::remove_all(dir);
}

} // namespace
