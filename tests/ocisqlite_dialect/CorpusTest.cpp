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
#include "OciSession.h"
#include "ServerTools.h"

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

using namespace ocisqlite::test;

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
    const TTempFolder dir("ocisqlite_corpus");
    const std::string db = dir.File("corpus.db");
    ASSERT_EQ(CreateServerFile(db, "ADMIN", "secret"), "");

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
}

// Another process sees this one's row lock (ORA-00054 at once under NOWAIT) and its V$SESSION labels.
TEST(StatementCorpus, AnotherProcessSeesTheLockAndTheSessionLabels) {
    const TTempFolder dir("ocisqlite_twoproc");
    const std::string db = dir.File("two.db");
    ASSERT_EQ(CreateServerFile(db, "ADMIN", "secret"), "");
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
}

} // namespace
