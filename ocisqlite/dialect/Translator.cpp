#include "Translator.h"

#include "DateFormat.h"
#include "Rowid.h"
#include "SqlTokenizer.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace ocisqlite {

namespace {

[[noreturn]] void ora(int code, const std::string& text) {
    char head[16];
    std::snprintf(head, sizeof head, "ORA-%05d: ", code);
    throw OraError(code, head + text);
}

[[noreturn]] void invalidIdentifier(const std::string& name) {
    ora(904, "\"" + name + "\": invalid identifier");
}

// Words that end an expression or a list: never a column name or an alias.
const std::set<std::string, std::less<>> kReserved = {
    "ALL",   "ALTER",   "AND",    "ANY",       "AS",      "ASC",    "BETWEEN", "BY",       "CASE",
    "CHECK", "CONNECT", "CREATE", "CROSS",     "DEFAULT", "DELETE", "DESC",    "DISTINCT", "DROP",
    "ELSE",  "END",     "ESCAPE", "EXISTS",    "FOR",     "FROM",   "FULL",    "GROUP",    "HAVING",
    "IN",    "INNER",   "INSERT", "INTERSECT", "INTO",    "IS",     "JOIN",    "LEFT",     "LIKE",
    "MINUS", "NOT",     "NOWAIT", "NULL",      "NULLS",   "OF",     "ON",      "OR",       "ORDER",
    "OUTER", "PRIOR",   "RETURN", "RETURNING", "RIGHT",   "SELECT", "SET",     "START",    "TABLE",
    "THEN",  "UNION",   "UNIQUE", "UPDATE",    "VALUES",  "WHEN",   "WHERE",   "WITH"};

std::string quoteIdent(std::string_view name) {
    std::string r = "\"";
    for (char c : name) {
        if (c == '"')
            r += '"';
        r += c;
    }
    return r + "\"";
}

std::string quoteString(std::string_view value) {
    std::string r = "'";
    for (char c : value) {
        if (c == '\'')
            r += '\'';
        r += c;
    }
    return r + "'";
}

// Oracle names an unaliased expression column by its text: upper case, blanks removed outside literals.
std::string derivedName(std::string_view text) {
    std::string r;
    bool inString = false, inQuotes = false;
    for (char c : text) {
        if (c == '\'' && !inQuotes)
            inString = !inString;
        else if (c == '"' && !inString) {
            inQuotes = !inQuotes;
            continue;
        }
        if (!inString && !inQuotes) {
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
                continue;
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
        }
        r += c;
    }
    return r;
}

const char* const kText = "VARCHAR2(4000)";

struct Expr {
    enum class Kind { Other, Column, Rowid, Bind, String, Null, Number } kind = Kind::Other;
    std::string sql;
    std::string type;  // Oracle type when the translator knows it (expressions)
    std::string name;  // Column: the column's name; Bind: the bind name
    std::string value; // String: the literal's value
    std::string rowidQualifier;
    std::uint32_t rowidObject = 0;
};

struct TableRef {
    std::string exposed; // the name that qualifies its columns (alias, or the name as written)
    std::string base;    // the base table; empty for sub-queries, DUAL and V$SESSION
    std::uint32_t object = 0;
};

struct SelectCore {
    std::string sql, fromSql, whereSql;
    std::vector<TableRef> tables;
};

struct FunctionInfo {
    const char* name;
    const char* sqliteName;
    int minArgs, maxArgs;
    enum Result { Number, Text, Date, FirstArg, FirstResult, AnyArg } result;
};

const FunctionInfo kFunctions[] = {
    {"COUNT", "count", 1, 1, FunctionInfo::Number},
    {"SUM", "sum", 1, 1, FunctionInfo::Number},
    {"AVG", "avg", 1, 1, FunctionInfo::Number},
    {"MAX", "max", 1, 1, FunctionInfo::FirstArg},
    {"MIN", "min", 1, 1, FunctionInfo::FirstArg},
    {"DECODE", "decode", 3, 255, FunctionInfo::FirstResult},
    {"NVL", "nvl", 2, 2, FunctionInfo::AnyArg},
    {"COALESCE", "coalesce", 2, 255, FunctionInfo::AnyArg},
    {"NULLIF", "nullif", 2, 2, FunctionInfo::FirstArg},
    {"SUBSTR", "substr", 2, 3, FunctionInfo::Text},
    {"TO_CHAR", "to_char", 1, 2, FunctionInfo::Text},
    {"TO_DATE", "to_date", 1, 2, FunctionInfo::Date},
    {"TO_NUMBER", "to_number", 1, 1, FunctionInfo::Number},
    {"UPPER", "upper", 1, 1, FunctionInfo::Text},
    {"LOWER", "lower", 1, 1, FunctionInfo::Text},
    {"TRIM", "trim", 1, 1, FunctionInfo::Text},
    {"LTRIM", "ltrim", 1, 2, FunctionInfo::Text},
    {"RTRIM", "rtrim", 1, 2, FunctionInfo::Text},
    {"LENGTH", "length", 1, 1, FunctionInfo::Number},
    {"INSTR", "instr", 2, 2, FunctionInfo::Number},
    {"REPLACE", "replace", 2, 3, FunctionInfo::Text},
    {"ABS", "abs", 1, 1, FunctionInfo::Number},
    {"ROUND", "round", 1, 2, FunctionInfo::Number},
    {"GREATEST", "max", 2, 255, FunctionInfo::FirstArg},
    {"LEAST", "min", 2, 255, FunctionInfo::FirstArg},
};

class Parser {
public:
    Parser(std::string_view source, const CatalogView& catalog, Translation& out)
        : src_(source), tokens_(tokenize(source)), catalog_(catalog), out_(out) {}

    void run();

private:
    // ---- tokens
    const Token& peek(std::size_t ahead = 0) const {
        return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)];
    }
    const Token& next() {
        const Token& t = peek();
        if (pos_ < tokens_.size() - 1)
            ++pos_;
        return t;
    }
    bool atWord(std::string_view w, std::size_t ahead = 0) const { return peek(ahead).isWord(w); }
    bool atOp(std::string_view op, std::size_t ahead = 0) const { return peek(ahead).is(op); }
    bool atEnd() const { return peek().type == TokenType::End; }
    bool acceptWord(std::string_view w) {
        if (!atWord(w))
            return false;
        next();
        return true;
    }
    bool acceptOp(std::string_view op) {
        if (!atOp(op))
            return false;
        next();
        return true;
    }
    void expectOp(std::string_view op) {
        if (acceptOp(op))
            return;
        if (op == ")")
            ora(907, "missing right parenthesis");
        if (op == "(")
            ora(906, "missing left parenthesis");
        if (op == "=")
            ora(927, "missing equal sign");
        if (op == ",")
            ora(917, "missing comma");
        ora(933, "SQL command not properly ended");
    }
    bool isNameToken(const Token& t) const {
        return t.type == TokenType::QuotedIdent || (t.type == TokenType::Ident && !kReserved.count(t.text));
    }
    // An identifier as Oracle stores it: upper case unless quoted (the tokenizer upper-cased already).
    std::string name(int code, const char* text) {
        if (!isNameToken(peek()))
            ora(code, text);
        return next().text;
    }
    void finish() {
        if (!atEnd())
            ora(933, "SQL command not properly ended");
    }
    void addBind(const std::string& bind) {
        if (std::find(out_.binds.begin(), out_.binds.end(), bind) == out_.binds.end())
            out_.binds.push_back(bind);
    }

    // ---- statements
    void selectStatement();
    void insertStatement();
    void updateStatement();
    void deleteStatement();
    void createStatement();
    void dropStatement();
    void alterStatement();
    void transactionStatement();
    void plsqlBlock();

    // ---- queries
    std::string query(bool topLevel, SelectCore* firstCore = nullptr);
    SelectCore selectCore(bool topLevel);
    std::string selectItem(bool topLevel);
    std::string fromClause();
    std::string tableRef(bool allowAlias = true);
    std::string orderBy();
    void forUpdate();

    // ---- expressions
    Expr expr();
    Expr orExpr();
    Expr andExpr();
    Expr notExpr();
    Expr predicate();
    Expr additive();
    Expr multiplicative();
    Expr unary();
    Expr primary();
    Expr caseExpr();
    Expr functionCall(const Token& nameToken);
    Expr columnRef();
    std::string exprList(); // "(a, b)" after the opening parenthesis was seen
    TableRef rowidTable(const std::string* qualifier) const;
    std::string rowidCompare(const Expr& rowid, const Expr& other, const std::string& op);

    // ---- DDL pieces
    std::string columnDefinition();
    std::string dataType();
    std::string columnConstraints();
    std::string tableConstraint();
    std::string identList(); // "(a, b)"
    std::string newObjectName();

    std::string returning();

    std::string_view src_;
    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
    const CatalogView& catalog_;
    Translation& out_;
    std::vector<std::vector<TableRef>> scopes_;
    int depth_ = 0;
};

// Nesting (parentheses, sub-queries) is bounded so that hostile text cannot exhaust the stack.
class DepthGuard {
public:
    explicit DepthGuard(int& depth) : depth_(depth) {
        if (++depth_ > 100)
            ora(600, "internal error code, arguments: [nesting too deep]");
    }
    ~DepthGuard() { --depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    int& depth_;
};

// ================================================================ statements

void Parser::run() {
    const Token& first = peek();
    if (first.type != TokenType::Ident)
        ora(900, "invalid SQL statement");
    const std::string& w = first.text;
    if (w == "SELECT") {
        selectStatement();
    } else if (w == "INSERT") {
        insertStatement();
    } else if (w == "UPDATE") {
        updateStatement();
    } else if (w == "DELETE") {
        deleteStatement();
    } else if (w == "CREATE") {
        createStatement();
    } else if (w == "DROP") {
        dropStatement();
    } else if (w == "ALTER") {
        alterStatement();
    } else if (w == "SAVEPOINT" || w == "ROLLBACK" || w == "COMMIT") {
        transactionStatement();
    } else if (w == "BEGIN" || w == "DECLARE") {
        plsqlBlock();
    } else {
        ora(900, "invalid SQL statement");
    }
}

void Parser::selectStatement() {
    out_.kind = StatementKind::Select;
    out_.ociStmtType = 1;
    SelectCore core;
    out_.sql = query(true, &core);
    finish();
    if (out_.forUpdate) {
        // Rows of the first table are the ones locked (the program locks single-table selects).
        if (core.tables.empty() || core.tables.front().base.empty())
            ora(2014, "cannot select FOR UPDATE from view with DISTINCT, GROUP BY, etc.");
        const TableRef& t = core.tables.front();
        out_.targetTable = t.base;
        out_.lockRowsSql = "SELECT " + quoteIdent(t.exposed) + ".rowid FROM " + core.fromSql;
        if (!core.whereSql.empty())
            out_.lockRowsSql += " WHERE " + core.whereSql;
    }
}

void Parser::insertStatement() {
    out_.kind = StatementKind::Insert;
    out_.ociStmtType = 4;
    next(); // INSERT
    if (!acceptWord("INTO"))
        ora(925, "missing INTO keyword");
    scopes_.emplace_back();
    const std::string table = tableRef();
    out_.targetTable = scopes_.back().front().base;
    if (out_.targetTable.empty())
        ora(1732, "data manipulation operation not legal on this view");
    std::string sql = "INSERT INTO " + table;
    int columns = -1;
    if (atOp("(") && !atWord("SELECT", 1)) {
        next();
        std::string list;
        columns = 0;
        do {
            std::string col = name(904, "invalid identifier");
            if (acceptOp(".")) // a qualified column: T.COL
                col = name(904, "invalid identifier");
            list += (columns++ ? ", " : "") + quoteIdent(col);
        } while (acceptOp(","));
        expectOp(")");
        sql += " (" + list + ")";
    }
    if (acceptWord("VALUES")) {
        expectOp("(");
        std::string values;
        int count = 0;
        do {
            values += (count++ ? ", " : "") + expr().sql;
        } while (acceptOp(","));
        expectOp(")");
        if (columns >= 0 && count < columns)
            ora(947, "not enough values");
        if (columns >= 0 && count > columns)
            ora(913, "too many values");
        sql += " VALUES (" + values + ")";
    } else if (atWord("SELECT") || atOp("(")) {
        sql += " " + query(false);
    } else {
        ora(926, "missing VALUES keyword");
    }
    sql += returning();
    scopes_.pop_back();
    finish();
    out_.sql = sql;
}

void Parser::updateStatement() {
    out_.kind = StatementKind::Update;
    out_.ociStmtType = 2;
    next(); // UPDATE
    scopes_.emplace_back();
    const std::string table = tableRef();
    const TableRef target = scopes_.back().front();
    if (target.base.empty())
        ora(1732, "data manipulation operation not legal on this view");
    out_.targetTable = target.base;
    if (!acceptWord("SET"))
        ora(971, "missing SET keyword");
    std::string sets;
    do {
        if (!sets.empty())
            sets += ", ";
        if (acceptOp("(")) {
            std::string cols;
            do {
                cols += (cols.empty() ? "" : ", ") + quoteIdent(name(904, "invalid identifier"));
            } while (acceptOp(","));
            expectOp(")");
            expectOp("=");
            expectOp("(");
            const std::string sub = query(false);
            expectOp(")");
            sets += "(" + cols + ") = (" + sub + ")";
            continue;
        }
        std::string col = name(904, "invalid identifier");
        if (acceptOp("."))
            col = name(904, "invalid identifier");
        expectOp("=");
        sets += quoteIdent(col) + " = " + expr().sql;
    } while (acceptOp(","));
    std::string where;
    if (acceptWord("WHERE"))
        where = expr().sql;
    const std::string ret = returning();
    scopes_.pop_back();
    finish();
    out_.sql = "UPDATE " + table + " SET " + sets + (where.empty() ? "" : " WHERE " + where) + ret;
    out_.lockRowsSql = "SELECT " + quoteIdent(target.exposed) + ".rowid FROM " + table +
                       (where.empty() ? "" : " WHERE " + where);
}

void Parser::deleteStatement() {
    out_.kind = StatementKind::Delete;
    out_.ociStmtType = 3;
    next(); // DELETE
    acceptWord("FROM");
    scopes_.emplace_back();
    const std::string table = tableRef();
    const TableRef target = scopes_.back().front();
    if (target.base.empty())
        ora(1732, "data manipulation operation not legal on this view");
    out_.targetTable = target.base;
    std::string where;
    if (acceptWord("WHERE"))
        where = expr().sql;
    const std::string ret = returning();
    scopes_.pop_back();
    finish();
    out_.sql = "DELETE FROM " + table + (where.empty() ? "" : " WHERE " + where) + ret;
    out_.lockRowsSql = "SELECT " + quoteIdent(target.exposed) + ".rowid FROM " + table +
                       (where.empty() ? "" : " WHERE " + where);
}

std::string Parser::returning() {
    if (!acceptWord("RETURNING") && !acceptWord("RETURN"))
        return {};
    // Only "RETURNING ROWID INTO :x": the engine turns the SQLite rowid into the ROWID text.
    if (!acceptWord("ROWID"))
        ora(900, "invalid SQL statement");
    if (!acceptWord("INTO"))
        ora(925, "missing INTO keyword");
    if (peek().type != TokenType::Bind)
        ora(1036, "illegal variable name/number");
    out_.returningRowidBind = next().text;
    addBind(out_.returningRowidBind);
    return " RETURNING rowid";
}

void Parser::transactionStatement() {
    const std::string w = next().text;
    if (w == "SAVEPOINT") {
        out_.kind = StatementKind::Savepoint;
        out_.savepointName = name(933, "SQL command not properly ended");
        out_.sql = "SAVEPOINT " + quoteIdent(out_.savepointName);
    } else if (w == "COMMIT") {
        out_.kind = StatementKind::Commit;
        out_.ociStmtType = 21;
        acceptWord("WORK");
        out_.sql = "COMMIT";
    } else {
        out_.ociStmtType = 17;
        acceptWord("WORK");
        if (acceptWord("TO")) {
            acceptWord("SAVEPOINT");
            out_.kind = StatementKind::RollbackToSavepoint;
            out_.savepointName = name(933, "SQL command not properly ended");
            out_.sql = "ROLLBACK TO SAVEPOINT " + quoteIdent(out_.savepointName);
        } else {
            out_.kind = StatementKind::Rollback;
            out_.sql = "ROLLBACK";
        }
    }
    finish();
}

// ================================================================ DDL

std::string Parser::newObjectName() {
    std::string n = name(903, "invalid table name");
    if (acceptOp("."))
        n = name(903, "invalid table name"); // schema.name: one schema here
    return n;
}

void Parser::createStatement() {
    out_.kind = StatementKind::Create;
    out_.ociStmtType = 5;
    next(); // CREATE
    bool orReplace = false;
    if (acceptWord("OR")) {
        if (!acceptWord("REPLACE"))
            ora(922, "missing or invalid option");
        orReplace = true;
    }
    acceptWord("PUBLIC");
    if (acceptWord("SYNONYM")) {
        out_.kind = StatementKind::CreateSynonym;
        const std::string syn = newObjectName();
        if (!acceptWord("FOR"))
            ora(905, "missing keyword");
        std::string target = name(903, "invalid table name");
        if (acceptOp("."))
            target = name(903, "invalid table name");
        if (acceptOp("@"))
            name(933, "SQL command not properly ended"); // database links lead to this one database
        finish();
        const std::string existing = catalog_.resolveTable(syn);
        // A table of that name, or a synonym without OR REPLACE, already uses the name.
        if (!existing.empty() && (existing == syn || !orReplace))
            ora(955, "name is already used by an existing object");
        out_.synonymName = syn;
        out_.synonymTarget = target;
        return;
    }
    if (orReplace)
        ora(901, "invalid CREATE command");
    if (acceptWord("GLOBAL")) {
        if (!acceptWord("TEMPORARY"))
            ora(901, "invalid CREATE command");
    }
    if (acceptWord("TABLE")) {
        const std::string table = newObjectName();
        if (!catalog_.resolveTable(table).empty())
            ora(955, "name is already used by an existing object");
        out_.targetTable = table;
        if (acceptWord("AS")) {
            out_.sql = "CREATE TABLE " + quoteIdent(table) + " AS " + query(false);
            finish();
            return;
        }
        expectOp("(");
        std::string defs;
        do {
            if (!defs.empty())
                defs += ", ";
            if (atWord("CONSTRAINT") || atWord("PRIMARY") || atWord("UNIQUE") || atWord("CHECK") ||
                atWord("FOREIGN"))
                defs += tableConstraint();
            else
                defs += columnDefinition();
        } while (acceptOp(","));
        expectOp(")");
        // Storage clauses (TABLESPACE x, PCTFREE n ...) mean nothing here.
        while (peek().type == TokenType::Ident || peek().type == TokenType::Number)
            next();
        finish();
        out_.sql = "CREATE TABLE " + quoteIdent(table) + " (" + defs + ")";
        return;
    }
    const bool unique = acceptWord("UNIQUE");
    if (acceptWord("INDEX")) {
        const std::string index = newObjectName();
        if (!acceptWord("ON"))
            ora(969, "missing ON keyword");
        scopes_.emplace_back();
        const std::string table = tableRef(false);
        scopes_.pop_back();
        expectOp("(");
        std::string cols;
        do {
            cols += (cols.empty() ? "" : ", ") + quoteIdent(name(904, "invalid identifier"));
            if (acceptWord("DESC"))
                cols += " DESC";
            else
                acceptWord("ASC");
        } while (acceptOp(","));
        expectOp(")");
        while (peek().type == TokenType::Ident || peek().type == TokenType::Number)
            next();
        finish();
        out_.sql = std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " + quoteIdent(index) +
                   " ON " + table + " (" + cols + ")";
        return;
    }
    ora(901, "invalid CREATE command");
}

std::string Parser::dataType() {
    if (peek().type != TokenType::Ident)
        ora(902, "invalid datatype");
    std::string type = next().text;
    static const std::set<std::string, std::less<>> kTypes = {
        "NUMBER", "INTEGER",  "INT",     "SMALLINT",  "DECIMAL",   "NUMERIC",      "FLOAT",        "REAL",
        "DOUBLE", "VARCHAR2", "VARCHAR", "NVARCHAR2", "CHAR",      "NCHAR",        "DATE",         "LONG",
        "RAW",    "CLOB",     "NCLOB",   "BLOB",      "TIMESTAMP", "BINARY_FLOAT", "BINARY_DOUBLE"};
    if (!kTypes.count(type))
        ora(902, "invalid datatype");
    // INTEGER is NUMBER(38); spelling it so also keeps SQLite from making the column a rowid alias.
    if (type == "INTEGER" || type == "INT" || type == "SMALLINT")
        return "NUMBER(38)";
    if (type == "LONG" && acceptWord("RAW"))
        type = "LONG RAW";
    if (type == "DOUBLE") {
        if (!acceptWord("PRECISION"))
            ora(902, "invalid datatype");
        type = "DOUBLE PRECISION";
    }
    if (acceptOp("(")) {
        std::string args;
        if (acceptOp("*"))
            args = "*";
        else if (peek().type == TokenType::Number)
            args = next().text;
        else
            ora(910, "specified length too long for its datatype");
        if (acceptOp(",")) {
            bool negative = acceptOp("-");
            if (peek().type != TokenType::Number)
                ora(2017, "integer value required");
            args += std::string(",") + (negative ? "-" : "") + next().text;
        }
        // VARCHAR2(n BYTE | n CHAR): lengths are bytes here.
        if (!acceptWord("BYTE"))
            acceptWord("CHAR");
        expectOp(")");
        if (args == "*")
            args = "38";
        else if (args.rfind("*,", 0) == 0)
            args = "38" + args.substr(1);
        type += "(" + args + ")";
    }
    if (type.rfind("TIMESTAMP", 0) == 0 && acceptWord("WITH")) {
        acceptWord("LOCAL");
        if (!acceptWord("TIME") || !acceptWord("ZONE"))
            ora(902, "invalid datatype");
    }
    return type;
}

std::string Parser::columnConstraints() {
    std::string r;
    for (;;) {
        std::string constraintName;
        if (acceptWord("CONSTRAINT"))
            constraintName = " CONSTRAINT " + quoteIdent(name(904, "invalid identifier"));
        if (acceptWord("NOT")) {
            if (!acceptWord("NULL"))
                ora(905, "missing keyword");
            r += constraintName + " NOT NULL";
        } else if (acceptWord("NULL")) {
            r += constraintName + " NULL";
        } else if (acceptWord("PRIMARY")) {
            if (!acceptWord("KEY"))
                ora(905, "missing keyword");
            r += constraintName + " PRIMARY KEY";
        } else if (acceptWord("UNIQUE")) {
            r += constraintName + " UNIQUE";
        } else if (acceptWord("CHECK")) {
            expectOp("(");
            r += constraintName + " CHECK (" + expr().sql + ")";
            expectOp(")");
        } else if (acceptWord("REFERENCES")) {
            scopes_.emplace_back();
            const std::string t = tableRef(false);
            scopes_.pop_back();
            r += constraintName + " REFERENCES " + t;
            if (atOp("("))
                r += " " + identList();
        } else if (!constraintName.empty()) {
            ora(902, "invalid datatype");
        } else {
            return r;
        }
    }
}

std::string Parser::columnDefinition() {
    const std::string col = name(904, "invalid identifier");
    std::string def = quoteIdent(col) + " " + dataType();
    if (acceptWord("DEFAULT")) {
        scopes_.emplace_back();
        def += " DEFAULT (" + expr().sql + ")";
        scopes_.pop_back();
    }
    return def + columnConstraints();
}

std::string Parser::identList() {
    expectOp("(");
    std::string r;
    do {
        r += (r.empty() ? "" : ", ") + quoteIdent(name(904, "invalid identifier"));
    } while (acceptOp(","));
    expectOp(")");
    return "(" + r + ")";
}

std::string Parser::tableConstraint() {
    std::string r;
    if (acceptWord("CONSTRAINT"))
        r = "CONSTRAINT " + quoteIdent(name(904, "invalid identifier")) + " ";
    if (acceptWord("PRIMARY")) {
        if (!acceptWord("KEY"))
            ora(905, "missing keyword");
        return r + "PRIMARY KEY " + identList();
    }
    if (acceptWord("UNIQUE"))
        return r + "UNIQUE " + identList();
    if (acceptWord("CHECK")) {
        expectOp("(");
        scopes_.emplace_back();
        r += "CHECK (" + expr().sql + ")";
        scopes_.pop_back();
        expectOp(")");
        return r;
    }
    if (acceptWord("FOREIGN")) {
        if (!acceptWord("KEY"))
            ora(905, "missing keyword");
        r += "FOREIGN KEY " + identList();
        if (!acceptWord("REFERENCES"))
            ora(905, "missing keyword");
        scopes_.emplace_back();
        r += " REFERENCES " + tableRef(false);
        scopes_.pop_back();
        if (atOp("("))
            r += " " + identList();
        return r;
    }
    ora(902, "invalid datatype");
}

void Parser::dropStatement() {
    out_.kind = StatementKind::Drop;
    out_.ociStmtType = 6;
    next(); // DROP
    acceptWord("PUBLIC");
    if (acceptWord("SYNONYM")) {
        const std::string syn = newObjectName();
        acceptWord("FORCE");
        finish();
        const std::string base = catalog_.resolveTable(syn);
        if (base.empty() || base == syn)
            ora(1434, "private synonym to be dropped does not exist");
        out_.synonymName = syn;
        return;
    }
    if (acceptWord("TABLE")) {
        const std::string table = newObjectName();
        if (acceptWord("CASCADE")) {
            if (!acceptWord("CONSTRAINTS"))
                ora(905, "missing keyword");
        }
        acceptWord("PURGE");
        finish();
        if (catalog_.resolveTable(table) != table)
            ora(942, "table or view does not exist");
        out_.targetTable = table;
        out_.sql = "DROP TABLE " + quoteIdent(table);
        return;
    }
    if (acceptWord("INDEX")) {
        const std::string index = newObjectName();
        finish();
        out_.sql = "DROP INDEX " + quoteIdent(index);
        return;
    }
    ora(950, "invalid DROP option");
}

void Parser::alterStatement() {
    out_.kind = StatementKind::Alter;
    out_.ociStmtType = 7;
    next(); // ALTER
    if (!acceptWord("TABLE"))
        ora(940, "invalid ALTER command");
    const std::string table = newObjectName();
    if (catalog_.resolveTable(table) != table)
        ora(942, "table or view does not exist");
    out_.targetTable = table;
    std::string sql = "ALTER TABLE " + quoteIdent(table);
    if (acceptWord("ADD")) {
        // SQLite adds one column per statement.
        const bool paren = acceptOp("(");
        sql += " ADD COLUMN " + columnDefinition();
        if (paren) {
            if (atOp(","))
                ora(1735, "invalid ALTER TABLE option");
            expectOp(")");
        }
    } else if (acceptWord("DROP")) {
        std::string col;
        if (acceptWord("COLUMN")) {
            col = name(904, "invalid identifier");
        } else {
            expectOp("(");
            col = name(904, "invalid identifier");
            expectOp(")");
        }
        sql += " DROP COLUMN " + quoteIdent(col);
    } else if (acceptWord("RENAME")) {
        if (acceptWord("COLUMN")) {
            const std::string from = name(904, "invalid identifier");
            if (!acceptWord("TO"))
                ora(905, "missing keyword");
            sql +=
                " RENAME COLUMN " + quoteIdent(from) + " TO " + quoteIdent(name(904, "invalid identifier"));
        } else {
            if (!acceptWord("TO"))
                ora(905, "missing keyword");
            sql += " RENAME TO " + quoteIdent(name(903, "invalid table name"));
        }
    } else {
        ora(1735, "invalid ALTER TABLE option");
    }
    finish();
    out_.sql = sql;
}

// ================================================================ queries

std::string Parser::query(bool topLevel, SelectCore* firstCore) {
    DepthGuard guard(depth_);
    std::string sql;
    bool compound = false;
    for (;;) {
        if (atOp("(")) {
            // A parenthesised query as a member of a compound.
            next();
            sql += "SELECT * FROM (" + query(false) + ")";
            expectOp(")");
        } else {
            if (!atWord("SELECT"))
                ora(928, "missing SELECT keyword");
            SelectCore core = selectCore(topLevel && !compound);
            sql += core.sql;
            if (firstCore && !compound)
                *firstCore = std::move(core);
        }
        if (acceptWord("UNION")) {
            sql += acceptWord("ALL") ? " UNION ALL " : " UNION ";
        } else if (acceptWord("MINUS")) {
            sql += " EXCEPT ";
        } else if (acceptWord("INTERSECT")) {
            sql += " INTERSECT ";
        } else {
            break;
        }
        compound = true;
    }
    if (atWord("ORDER"))
        sql += orderBy();
    if (atWord("FOR")) {
        if (!topLevel || compound)
            ora(907, "missing right parenthesis");
        forUpdate();
    }
    return sql;
}

SelectCore Parser::selectCore(bool topLevel) {
    SelectCore core;
    next(); // SELECT
    std::string head = "SELECT ";
    if (acceptWord("DISTINCT") || acceptWord("UNIQUE"))
        head += "DISTINCT ";
    else
        acceptWord("ALL");
    // The FROM clause is read first, so that ROWID in the select list knows its table.
    const std::size_t listStart = pos_;
    int depth = 0;
    while (!atEnd()) {
        if (atOp("("))
            ++depth;
        else if (atOp(")")) {
            if (depth == 0)
                break;
            --depth;
        } else if (depth == 0 && atWord("FROM"))
            break;
        next();
    }
    if (!atWord("FROM")) {
        pos_ = listStart;
        if (atWord("FROM"))
            ora(936, "missing expression");
        // Parse the list to report its own errors before the missing FROM.
        scopes_.emplace_back();
        do {
            selectItem(false);
        } while (acceptOp(","));
        scopes_.pop_back();
        ora(923, "FROM keyword not found where expected");
    }
    next(); // FROM
    scopes_.emplace_back();
    core.fromSql = fromClause();
    core.tables = scopes_.back();
    const std::size_t afterFrom = pos_;
    pos_ = listStart;
    if (atWord("FROM"))
        ora(936, "missing expression");
    std::string list;
    do {
        list += (list.empty() ? "" : ", ") + selectItem(topLevel);
    } while (acceptOp(","));
    if (!atWord("FROM"))
        ora(923, "FROM keyword not found where expected");
    pos_ = afterFrom;
    core.sql = head + list + " FROM " + core.fromSql;
    if (acceptWord("WHERE")) {
        core.whereSql = expr().sql;
        core.sql += " WHERE " + core.whereSql;
    }
    if (acceptWord("GROUP")) {
        if (!acceptWord("BY"))
            ora(924, "missing BY keyword");
        std::string group;
        do {
            group += (group.empty() ? "" : ", ") + expr().sql;
        } while (acceptOp(","));
        core.sql += " GROUP BY " + group;
    }
    if (acceptWord("HAVING"))
        core.sql += " HAVING " + expr().sql;
    scopes_.pop_back();
    return core;
}

std::string Parser::selectItem(bool topLevel) {
    if (acceptOp("*"))
        return "*";
    if (isNameToken(peek()) && atOp(".", 1) && atOp("*", 2)) {
        const std::string q = next().text;
        next();
        next();
        return quoteIdent(q) + ".*";
    }
    const std::size_t first = pos_;
    const Expr e = expr();
    const std::size_t last = pos_ - 1;
    std::string alias;
    if (acceptWord("AS")) {
        alias = name(923, "FROM keyword not found where expected");
    } else if (isNameToken(peek())) {
        alias = next().text;
    }
    if (alias.empty()) {
        if (e.kind == Expr::Kind::Column)
            alias = e.name;
        else if (e.kind == Expr::Kind::Rowid)
            alias = "ROWID";
        else
            alias = derivedName(src_.substr(tokens_[first].begin, tokens_[last].end - tokens_[first].begin));
    }
    if (topLevel && !e.type.empty())
        out_.columnTypes[alias] = e.type;
    return e.sql + " AS " + quoteIdent(alias);
}

std::string Parser::fromClause() {
    std::string sql = tableRef();
    for (;;) {
        if (acceptOp(",")) {
            sql += ", " + tableRef();
            continue;
        }
        std::string join;
        if (acceptWord("JOIN")) {
            join = " JOIN ";
        } else if (acceptWord("INNER")) {
            if (!acceptWord("JOIN"))
                ora(905, "missing keyword");
            join = " JOIN ";
        } else if (acceptWord("LEFT")) {
            acceptWord("OUTER");
            if (!acceptWord("JOIN"))
                ora(905, "missing keyword");
            join = " LEFT JOIN ";
        } else if (acceptWord("CROSS")) {
            if (!acceptWord("JOIN"))
                ora(905, "missing keyword");
            sql += " CROSS JOIN " + tableRef();
            continue;
        } else {
            return sql;
        }
        sql += join + tableRef();
        if (!acceptWord("ON"))
            ora(905, "missing keyword");
        sql += " ON " + expr().sql;
    }
}

std::string Parser::tableRef(bool allowAlias) {
    std::string sql;
    TableRef ref;
    if (acceptOp("(")) {
        scopes_.emplace_back();
        sql = "(" + query(false) + ")";
        scopes_.pop_back();
        expectOp(")");
    } else {
        if (!isNameToken(peek()))
            ora(903, "invalid table name");
        std::string tableName = next().text;
        std::string schema;
        if (acceptOp(".")) {
            schema = tableName;
            tableName = name(903, "invalid table name");
        }
        if (acceptOp("@"))
            name(933, "SQL command not properly ended"); // a database link leads to this same database
        ref.exposed = tableName;
        if (tableName == "DUAL" && (schema.empty() || schema == "SYS")) {
            sql = "(SELECT 'X' AS \"DUMMY\")";
        } else if (tableName == "V$SESSION" || tableName == "V_$SESSION") {
            out_.usesSessionView = true;
            sql = "temp.\"ocisqlite\"\"v$session\"";
        } else {
            ref.base = catalog_.resolveTable(tableName);
            if (ref.base.empty())
                ora(942, "table or view does not exist");
            ref.object = catalog_.objectNumber(ref.base);
            sql = quoteIdent(ref.base);
        }
    }
    if (allowAlias && atWord("AS"))
        ora(933, "SQL command not properly ended");
    if (allowAlias && isNameToken(peek()))
        ref.exposed = next().text;
    if (!ref.exposed.empty() && ref.exposed != ref.base)
        sql += " AS " + quoteIdent(ref.exposed);
    scopes_.back().push_back(ref);
    return sql;
}

std::string Parser::orderBy() {
    next(); // ORDER
    if (!acceptWord("BY"))
        ora(924, "missing BY keyword");
    std::string sql;
    do {
        std::string item = expr().sql;
        bool desc = false;
        if (acceptWord("DESC"))
            desc = true;
        else
            acceptWord("ASC");
        item += desc ? " DESC" : " ASC";
        // Oracle sorts NULL as the largest value: last ascending, first descending.
        if (acceptWord("NULLS")) {
            if (acceptWord("FIRST"))
                item += " NULLS FIRST";
            else if (acceptWord("LAST"))
                item += " NULLS LAST";
            else
                ora(933, "SQL command not properly ended");
        } else {
            item += desc ? " NULLS FIRST" : " NULLS LAST";
        }
        sql += (sql.empty() ? "" : ", ") + item;
    } while (acceptOp(","));
    return " ORDER BY " + sql;
}

void Parser::forUpdate() {
    next(); // FOR
    if (!acceptWord("UPDATE"))
        ora(933, "SQL command not properly ended");
    out_.forUpdate = true;
    if (acceptWord("OF")) {
        do {
            name(904, "invalid identifier");
            if (acceptOp("."))
                name(904, "invalid identifier");
        } while (acceptOp(","));
    }
    if (acceptWord("NOWAIT")) {
        out_.noWait = true;
    } else if (acceptWord("WAIT")) {
        if (peek().type != TokenType::Number)
            ora(30005, "missing or invalid WAIT interval");
        next();
    } else if (acceptWord("SKIP")) {
        if (!acceptWord("LOCKED"))
            ora(933, "SQL command not properly ended");
    }
}

// ================================================================ expressions

Expr Parser::expr() {
    DepthGuard guard(depth_);
    return orExpr();
}

Expr Parser::orExpr() {
    Expr l = andExpr();
    while (acceptWord("OR")) {
        const Expr r = andExpr();
        l = Expr{Expr::Kind::Other, "(" + l.sql + " OR " + r.sql + ")", "", "", "", "", 0};
    }
    return l;
}

Expr Parser::andExpr() {
    Expr l = notExpr();
    while (acceptWord("AND")) {
        const Expr r = notExpr();
        l = Expr{Expr::Kind::Other, "(" + l.sql + " AND " + r.sql + ")", "", "", "", "", 0};
    }
    return l;
}

Expr Parser::notExpr() {
    if (acceptWord("NOT")) {
        DepthGuard guard(depth_);
        const Expr e = notExpr();
        return Expr{Expr::Kind::Other, "(NOT " + e.sql + ")", "", "", "", "", 0};
    }
    return predicate();
}

std::string Parser::rowidCompare(const Expr& rowid, const Expr& other, const std::string& op) {
    const std::string column = quoteIdent(rowid.rowidQualifier) + ".rowid";
    if (other.kind == Expr::Kind::Bind) {
        out_.rowidBinds[other.name] = rowid.rowidObject;
        return "(" + column + " " + op + " " + other.sql + ")";
    }
    if (other.kind == Expr::Kind::String) {
        const auto value = rowidForBind(other.value, rowid.rowidObject);
        return "(" + column + " " + op + " " + (value ? std::to_string(*value) : std::string("NULL")) + ")";
    }
    return {};
}

Expr Parser::predicate() {
    if (acceptWord("EXISTS")) {
        expectOp("(");
        scopes_.emplace_back();
        const std::string sub = query(false);
        scopes_.pop_back();
        expectOp(")");
        return Expr{Expr::Kind::Other, "(EXISTS (" + sub + "))", "", "", "", "", 0};
    }
    Expr l = additive();
    auto wrap = [](std::string sql) { return Expr{Expr::Kind::Other, std::move(sql), "", "", "", "", 0}; };
    const Token& t = peek();
    if (t.type == TokenType::Op && (t.text == "=" || t.text == "<>" || t.text == "!=" || t.text == "^=" ||
                                    t.text == "<" || t.text == ">" || t.text == "<=" || t.text == ">=")) {
        std::string op = next().text;
        if (op == "!=" || op == "^=")
            op = "<>";
        const Expr r = additive();
        if (op == "=" || op == "<>") {
            std::string sql;
            if (l.kind == Expr::Kind::Rowid)
                sql = rowidCompare(l, r, op);
            else if (r.kind == Expr::Kind::Rowid)
                sql = rowidCompare(r, l, op);
            if (!sql.empty())
                return wrap(sql);
        }
        return wrap("(" + l.sql + " " + op + " " + r.sql + ")");
    }
    if (acceptWord("IS")) {
        const bool negated = acceptWord("NOT");
        if (!acceptWord("NULL"))
            ora(908, "missing NULL keyword");
        return wrap("(" + l.sql + (negated ? " IS NOT NULL)" : " IS NULL)"));
    }
    const bool negated = atWord("NOT") && (atWord("LIKE", 1) || atWord("IN", 1) || atWord("BETWEEN", 1));
    if (negated)
        next();
    const std::string notText = negated ? " NOT" : "";
    if (acceptWord("LIKE")) {
        std::string sql = "(" + l.sql + notText + " LIKE " + additive().sql;
        if (acceptWord("ESCAPE"))
            sql += " ESCAPE " + additive().sql;
        return wrap(sql + ")");
    }
    if (acceptWord("IN")) {
        expectOp("(");
        std::string inner;
        if (atWord("SELECT")) {
            scopes_.emplace_back();
            inner = query(false);
            scopes_.pop_back();
        } else {
            do {
                inner += (inner.empty() ? "" : ", ") + expr().sql;
            } while (acceptOp(","));
        }
        expectOp(")");
        return wrap("(" + l.sql + notText + " IN (" + inner + "))");
    }
    if (acceptWord("BETWEEN")) {
        const Expr low = additive();
        if (!acceptWord("AND"))
            ora(905, "missing keyword");
        const Expr high = additive();
        return wrap("(" + l.sql + notText + " BETWEEN " + low.sql + " AND " + high.sql + ")");
    }
    return l;
}

Expr Parser::additive() {
    Expr l = multiplicative();
    for (;;) {
        if (acceptOp("||")) {
            const Expr r = multiplicative();
            // Oracle's || treats NULL as an empty text; ora_concat returns NULL only for an empty result.
            l = Expr{Expr::Kind::Other, "ora_concat(" + l.sql + ", " + r.sql + ")", kText, "", "", "", 0};
        } else if (atOp("+") || atOp("-")) {
            const std::string op = next().text;
            const Expr r = multiplicative();
            l = Expr{Expr::Kind::Other, "(" + l.sql + " " + op + " " + r.sql + ")", "NUMBER", "", "", "", 0};
        } else {
            return l;
        }
    }
}

Expr Parser::multiplicative() {
    Expr l = unary();
    while (atOp("*") || atOp("/")) {
        const std::string op = next().text;
        const Expr r = unary();
        l = Expr{Expr::Kind::Other, "(" + l.sql + " " + op + " " + r.sql + ")", "NUMBER", "", "", "", 0};
    }
    return l;
}

Expr Parser::unary() {
    if (atOp("+") || atOp("-")) {
        DepthGuard guard(depth_);
        const std::string op = next().text;
        const Expr e = unary();
        return Expr{Expr::Kind::Other, "(" + op + e.sql + ")", "NUMBER", "", "", "", 0};
    }
    return primary();
}

Expr Parser::primary() {
    const Token& t = peek();
    switch (t.type) {
    case TokenType::Number: {
        next();
        return Expr{Expr::Kind::Number, t.text, "NUMBER", "", "", "", 0};
    }
    case TokenType::String: {
        next();
        if (t.text.empty()) // Oracle's empty string is NULL
            return Expr{Expr::Kind::Null, "NULL", "", "", "", "", 0};
        return Expr{Expr::Kind::String, quoteString(t.text), kText, "", t.text, "", 0};
    }
    case TokenType::Bind: {
        next();
        addBind(t.text);
        return Expr{Expr::Kind::Bind, ":" + t.text, "", t.text, "", "", 0};
    }
    case TokenType::Op:
        if (t.text == "(") {
            next();
            if (atWord("SELECT")) {
                scopes_.emplace_back();
                const std::string sub = query(false);
                scopes_.pop_back();
                expectOp(")");
                return Expr{Expr::Kind::Other, "(" + sub + ")", "", "", "", "", 0};
            }
            Expr e = expr();
            expectOp(")");
            e.sql = "(" + e.sql + ")";
            if (e.kind != Expr::Kind::Bind && e.kind != Expr::Kind::String && e.kind != Expr::Kind::Rowid)
                e.kind = Expr::Kind::Other;
            return e;
        }
        ora(936, "missing expression");
    case TokenType::Ident:
        if (t.text == "NULL") {
            next();
            return Expr{Expr::Kind::Null, "NULL", "", "", "", "", 0};
        }
        if (t.text == "CASE")
            return caseExpr();
        if (t.text == "SYSDATE") {
            next();
            return Expr{Expr::Kind::Other, "ora_sysdate()", "DATE", "", "", "", 0};
        }
        if (kReserved.count(t.text))
            ora(936, "missing expression");
        if (atOp("(", 1)) {
            const Token& nameToken = next();
            return functionCall(nameToken);
        }
        return columnRef();
    case TokenType::QuotedIdent:
        return columnRef();
    case TokenType::End:
        break;
    }
    ora(936, "missing expression");
}

Expr Parser::columnRef() {
    std::vector<std::string> parts{next().text};
    while (atOp(".") && (isNameToken(peek(1)) || atWord("ROWID", 1))) {
        next();
        parts.push_back(next().text);
    }
    if (atOp("(")) {
        // pkg.function(...): no stored code exists here.
        std::string shown;
        for (const auto& p : parts)
            shown += (shown.empty() ? "\"" : ".\"") + p + "\"";
        ora(904, shown + ": invalid identifier");
    }
    if (parts.size() > 3)
        ora(904, "\"" + parts.back() + "\": invalid identifier");
    if (parts.size() == 3)
        parts.erase(parts.begin()); // schema.table.column
    const bool quotedLast = tokens_[pos_ - 1].type == TokenType::QuotedIdent;
    if (parts.back() == "ROWID" && !quotedLast) {
        const std::string* qualifier = parts.size() == 2 ? &parts.front() : nullptr;
        const TableRef table = rowidTable(qualifier);
        Expr e;
        e.kind = Expr::Kind::Rowid;
        e.rowidQualifier = table.exposed;
        e.rowidObject = table.object;
        e.sql = "ora_rowid(" + std::to_string(table.object) + ", " + quoteIdent(table.exposed) + ".rowid)";
        e.type = "ROWID";
        return e;
    }
    Expr e;
    e.kind = Expr::Kind::Column;
    e.name = parts.back();
    for (const auto& p : parts)
        e.sql += (e.sql.empty() ? "" : ".") + quoteIdent(p);
    return e;
}

TableRef Parser::rowidTable(const std::string* qualifier) const {
    if (qualifier) {
        for (auto scope = scopes_.rbegin(); scope != scopes_.rend(); ++scope)
            for (const TableRef& t : *scope)
                if (t.exposed == *qualifier) {
                    if (t.base.empty())
                        ora(1446,
                            "cannot select ROWID from, or sample, a view with DISTINCT, GROUP BY, etc.");
                    return t;
                }
        ora(904, "\"" + *qualifier + "\".\"ROWID\": invalid identifier");
    }
    if (scopes_.empty() || scopes_.back().empty())
        invalidIdentifier("ROWID");
    if (scopes_.back().size() > 1)
        ora(918, "column ambiguously defined");
    const TableRef& t = scopes_.back().front();
    if (t.base.empty())
        ora(1446, "cannot select ROWID from, or sample, a view with DISTINCT, GROUP BY, etc.");
    return t;
}

Expr Parser::caseExpr() {
    next(); // CASE
    std::string sql = "CASE";
    std::string type;
    if (!atWord("WHEN"))
        sql += " " + expr().sql;
    if (!atWord("WHEN"))
        ora(905, "missing keyword");
    while (acceptWord("WHEN")) {
        sql += " WHEN " + expr().sql;
        if (!acceptWord("THEN"))
            ora(905, "missing keyword");
        const Expr r = expr();
        if (type.empty())
            type = r.type;
        sql += " THEN " + r.sql;
    }
    if (acceptWord("ELSE")) {
        const Expr r = expr();
        if (type.empty())
            type = r.type;
        sql += " ELSE " + r.sql;
    }
    if (!acceptWord("END"))
        ora(905, "missing keyword");
    return Expr{Expr::Kind::Other, sql + " END", type, "", "", "", 0};
}

Expr Parser::functionCall(const Token& nameToken) {
    const FunctionInfo* fn = nullptr;
    for (const FunctionInfo& f : kFunctions)
        if (nameToken.text == f.name)
            fn = &f;
    if (!fn)
        invalidIdentifier(nameToken.text);
    next(); // (
    std::vector<Expr> args;
    std::string head;
    if (nameToken.text == "COUNT" && acceptOp("*")) {
        expectOp(")");
        return Expr{Expr::Kind::Other, "count(*)", "NUMBER", "", "", "", 0};
    }
    if (acceptWord("DISTINCT") || acceptWord("UNIQUE"))
        head = "DISTINCT ";
    else
        acceptWord("ALL");
    if (!atOp(")")) {
        do {
            args.push_back(expr());
        } while (acceptOp(","));
    }
    expectOp(")");
    if (static_cast<int>(args.size()) < fn->minArgs || static_cast<int>(args.size()) > fn->maxArgs)
        ora(909, "invalid number of arguments");
    std::string list;
    for (const Expr& a : args)
        list += (list.empty() ? "" : ", ") + a.sql;
    Expr e;
    e.sql = std::string(fn->sqliteName) + "(" + head + list + ")";
    const std::string fname = fn->name;
    if (fname == "TRIM" || fname == "LTRIM" || fname == "RTRIM") {
        e.sql = "nullif(" + e.sql + ", '')"; // a blank-only text trims to NULL
    } else if (fname == "REPLACE") {
        // REPLACE(s, NULL) keeps s; a NULL replacement removes the searched text.
        e.sql = "nullif(replace(" + args[0].sql + ", coalesce(" + args[1].sql + ", ''), " +
                (args.size() > 2 ? "coalesce(" + args[2].sql + ", '')" : std::string("''")) + "), '')";
    }
    switch (fn->result) {
    case FunctionInfo::Number:
        e.type = "NUMBER";
        break;
    case FunctionInfo::Text:
        e.type = kText;
        if (fname == "TO_CHAR" && args.size() == 2 && args[1].kind == Expr::Kind::String) {
            try {
                e.type = "VARCHAR2(" +
                         std::to_string(std::max<std::size_t>(
                             1, formatDate(OraDate{2000, 12, 28, 23, 59, 59}, args[1].value).size())) +
                         ")";
            } catch (const OraError&) {
                // Not a date format: the function reports it when it runs.
            }
        }
        break;
    case FunctionInfo::Date:
        e.type = "DATE";
        break;
    case FunctionInfo::FirstArg:
        e.type = args.empty() ? "" : args[0].type;
        break;
    case FunctionInfo::FirstResult:
        for (std::size_t k = 2; k < args.size() && e.type.empty(); k += 2)
            e.type = args[k].type;
        if (e.type.empty() && args.size() % 2 == 0)
            e.type = args.back().type;
        break;
    case FunctionInfo::AnyArg:
        for (const Expr& a : args)
            if (e.type.empty())
                e.type = a.type;
        break;
    }
    return e;
}

// ================================================================ PL/SQL

[[noreturn]] void plsError(const Token& at, const Token& statement, const std::string& message) {
    char buf[96];
    std::string text;
    std::snprintf(buf, sizeof buf, "ORA-06550: line %d, column %d:\n", at.line, at.column);
    text += buf + message + "\n";
    std::snprintf(buf, sizeof buf, "ORA-06550: line %d, column %d:\n", statement.line, statement.column);
    text += buf;
    text += "PL/SQL: Statement ignored";
    throw OraError(6550, text);
}

[[noreturn]] void plsSyntax(const Token& at) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "ORA-06550: line %d, column %d:\n", at.line, at.column);
    std::string symbol = at.type == TokenType::End ? "end-of-file" : at.text;
    if (at.type == TokenType::Bind)
        symbol = ":" + at.text;
    throw OraError(6550, std::string(buf) + "PLS-00103: Encountered the symbol \"" + symbol +
                             "\" when expecting one of the following:\n\n   ;");
}

void Parser::plsqlBlock() {
    out_.kind = StatementKind::PlSqlBlock;
    out_.ociStmtType = atWord("DECLARE") ? 9 : 8;
    if (acceptWord("DECLARE")) {
        // Declarations are not run; a block that needs them fails at its first use of one.
        while (!atEnd() && !atWord("BEGIN"))
            next();
    }
    if (!acceptWord("BEGIN"))
        plsSyntax(peek());
    PlSqlCall call;
    bool haveCall = false;
    for (;;) {
        const Token statement = peek();
        if (atWord("END"))
            break;
        if (atEnd())
            plsSyntax(statement);
        if (acceptWord("NULL")) {
            if (!acceptOp(";"))
                plsSyntax(peek());
            continue;
        }
        std::string target;
        if (peek().type == TokenType::Bind && atOp(":=", 1)) {
            target = next().text;
            next();
        } else if ((peek().type == TokenType::Ident || peek().type == TokenType::QuotedIdent) &&
                   atOp(":=", 1)) {
            plsError(statement, statement, "PLS-00201: identifier '" + statement.text + "' must be declared");
        }
        // A (package) procedure or function name.
        if (peek().type != TokenType::Ident && peek().type != TokenType::QuotedIdent)
            plsSyntax(peek());
        std::vector<Token> parts{next()};
        while (acceptOp(".")) {
            if (peek().type != TokenType::Ident && peek().type != TokenType::QuotedIdent)
                plsSyntax(peek());
            parts.push_back(next());
        }
        std::size_t first = 0;
        if (parts.size() >= 3 && parts[0].text == "SYS")
            first = 1;
        PlSqlCall::Kind kind = PlSqlCall::Kind::None;
        std::vector<std::string> params;
        std::size_t required = 0;
        bool isFunction = false;
        const std::string package = parts[first].text;
        const bool knownPackage = parts.size() - first == 2 &&
                                  (package == "DBMS_TRANSACTION" || package == "DBMS_APPLICATION_INFO");
        if (!knownPackage) {
            std::string unknown = parts[0].text;
            if (parts[0].text == "SYS" && parts.size() >= 2)
                unknown += "." + parts[1].text;
            plsError(parts[0], statement, "PLS-00201: identifier '" + unknown + "' must be declared");
        }
        const Token& procToken = parts[first + 1];
        const std::string& proc = procToken.text;
        if (package == "DBMS_TRANSACTION" && proc == "LOCAL_TRANSACTION_ID") {
            kind = PlSqlCall::Kind::LocalTransactionId;
            params = {"CREATE_TRANSACTION"};
            isFunction = true;
        } else if (package == "DBMS_APPLICATION_INFO" && proc == "SET_MODULE") {
            kind = PlSqlCall::Kind::SetModule;
            params = {"MODULE_NAME", "ACTION_NAME"};
            required = 2;
        } else if (package == "DBMS_APPLICATION_INFO" && proc == "SET_CLIENT_INFO") {
            kind = PlSqlCall::Kind::SetClientInfo;
            params = {"CLIENT_INFO"};
            required = 1;
        } else {
            plsError(procToken, statement, "PLS-00302: component '" + proc + "' must be declared");
        }
        if (isFunction && target.empty())
            plsError(procToken, statement, "PLS-00221: '" + proc + "' is not a procedure or is undefined");
        if (!isFunction && !target.empty())
            plsError(procToken, statement,
                     "PLS-00222: no function with name '" + proc + "' exists in this scope");
        const std::string wrongArgs =
            "PLS-00306: wrong number or types of arguments in call to '" + proc + "'";
        std::map<std::string, std::string> args;
        std::set<std::string> given;
        if (acceptOp("(")) {
            std::size_t positional = 0;
            bool named = false;
            do {
                std::string param;
                if ((peek().type == TokenType::Ident || peek().type == TokenType::QuotedIdent) &&
                    atOp("=>", 1)) {
                    param = next().text;
                    next();
                    named = true;
                } else {
                    if (named || positional >= params.size())
                        plsError(procToken, statement, wrongArgs);
                    param = params[positional++];
                }
                if (std::find(params.begin(), params.end(), param) == params.end() || given.count(param))
                    plsError(procToken, statement, wrongArgs);
                given.insert(param);
                const Token& v = peek();
                if (v.type == TokenType::Bind) {
                    next();
                    addBind(v.text);
                    args[param] = ":" + v.text;
                } else if (v.type == TokenType::String || v.type == TokenType::Number) {
                    next();
                    if (!v.text.empty()) // '' is NULL: no value
                        args[param] = v.text;
                } else if (v.isWord("NULL")) {
                    next();
                } else if (v.isWord("TRUE") || v.isWord("FALSE")) {
                    next();
                    args[param] = v.text;
                } else if (v.type == TokenType::Ident) {
                    plsError(v, statement, "PLS-00201: identifier '" + v.text + "' must be declared");
                } else {
                    plsSyntax(v);
                }
            } while (acceptOp(","));
            if (!acceptOp(")"))
                plsSyntax(peek());
        }
        if (given.size() < required)
            plsError(procToken, statement, wrongArgs);
        if (!acceptOp(";"))
            plsSyntax(peek());
        if (haveCall) // one call per block is what the engine runs
            plsError(parts[0], statement, "PLS-00201: identifier '" + parts[0].text + "' must be declared");
        haveCall = true;
        call.kind = kind;
        call.args = std::move(args);
        if (!target.empty()) {
            addBind(target);
            call.args["RESULT"] = ":" + target;
        }
    }
    next(); // END
    if (peek().type == TokenType::Ident)
        next(); // END label
    if (!acceptOp(";"))
        plsSyntax(peek());
    acceptOp("/");
    if (!atEnd())
        plsSyntax(peek());
    out_.plsql = haveCall ? call : PlSqlCall{PlSqlCall::Kind::Null, {}};
}

} // namespace

Translation translate(std::string_view oracleSql, const CatalogView& catalog) {
    Translation out;
    Parser parser(oracleSql, catalog, out);
    parser.run();
    // DDL takes no binds.
    if ((out.kind == StatementKind::Create || out.kind == StatementKind::Drop ||
         out.kind == StatementKind::Alter || out.kind == StatementKind::CreateSynonym) &&
        !out.binds.empty())
        throw OraError(1027, "ORA-01027: bind variables not allowed for data definition operations");
    return out;
}

} // namespace ocisqlite
