#include "Translator.h"

#include "DateFormat.h"
#include "Rowid.h"
#include "SqlTokenizer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

// A construct whose Oracle meaning the engine cannot give: refused rather than answered differently.
[[noreturn]] void unimplemented() {
    ora(3001, "unimplemented feature");
}

[[noreturn]] void inconsistent(const std::string& expected, const std::string& got) {
    ora(932, "inconsistent datatypes: expected " + expected + " got " + got);
}

// Words that end an expression or a list: never a column name or an alias.
const std::set<std::string, std::less<>> kReserved = {
    "ALL",   "ALTER",   "AND",    "ANY",       "AS",      "ASC",    "BETWEEN", "BY",       "CASE",
    "CHECK", "CONNECT", "CREATE", "CROSS",     "DEFAULT", "DELETE", "DESC",    "DISTINCT", "DROP",
    "ELSE",  "END",     "ESCAPE", "EXISTS",    "FOR",     "FROM",   "FULL",    "GROUP",    "HAVING",
    "IN",    "INNER",   "INSERT", "INTERSECT", "INTO",    "IS",     "JOIN",    "LEFT",     "LIKE",
    "MINUS", "NOT",     "NOWAIT", "NULL",      "NULLS",   "OF",     "ON",      "OR",       "ORDER",
    "OUTER", "PRIOR",   "RETURN", "RETURNING", "RIGHT",   "SELECT", "SET",     "START",    "TABLE",
    "THEN",  "UNION",   "UNIQUE", "UPDATE",    "USING",   "VALUES", "WHEN",    "WHERE",    "WITH"};

std::string quoteIdent(std::string_view name) {
    std::string r = "\"";
    for (char c : name) {
        if (c == '"')
            r += '"';
        r += c;
    }
    return r + "\"";
}

// An Oracle name as SQLite text.
std::string ident(std::string_view oracle) {
    return quoteIdent(sqliteName(oracle));
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

std::size_t charCount(std::string_view s) {
    std::size_t n = 0;
    for (unsigned char c : s)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

const char* const kText = "VARCHAR2(4000)";

// What kind of value an Oracle type holds, as far as comparisons and arithmetic care.
enum class Cat { Unknown, Number, Text, Char, Date, Raw, Rowid };

bool startsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

Cat category(const std::string& type) {
    if (type.empty())
        return Cat::Unknown;
    if (startsWith(type, "NUMBER") || startsWith(type, "INTEGER") || startsWith(type, "FLOAT") ||
        startsWith(type, "DECIMAL") || startsWith(type, "NUMERIC") || startsWith(type, "BINARY_") ||
        startsWith(type, "REAL") || startsWith(type, "DOUBLE") || startsWith(type, "INT") ||
        startsWith(type, "SMALLINT"))
        return Cat::Number;
    if (startsWith(type, "CHAR") || startsWith(type, "NCHAR"))
        return Cat::Char;
    if (startsWith(type, "DATE") || startsWith(type, "TIMESTAMP"))
        return Cat::Date;
    if (startsWith(type, "LONG RAW") || startsWith(type, "RAW") || startsWith(type, "BLOB"))
        return Cat::Raw;
    if (startsWith(type, "ROWID") || startsWith(type, "UROWID"))
        return Cat::Rowid;
    return Cat::Text;
}

// n of CHAR(n); 1 when not given.
std::size_t charLength(const std::string& type) {
    const auto open = type.find('(');
    if (open == std::string::npos)
        return 1;
    const long n = std::strtol(type.c_str() + open + 1, nullptr, 10);
    return n > 0 ? static_cast<std::size_t>(n) : 1;
}

const char* typeName(Cat c) {
    switch (c) {
    case Cat::Number:
        return "NUMBER";
    case Cat::Date:
        return "DATE";
    case Cat::Raw:
        return "BINARY";
    case Cat::Rowid:
        return "ROWID";
    default:
        return "CHAR";
    }
}

struct Expr {
    enum class Kind {
        Other,
        Column,
        Rowid,
        Bind,
        String,
        Null,
        Number,
        Rownum,
        RownumBound
    } kind = Kind::Other;
    std::string sql;
    std::string type;  // Oracle type when the translator knows it
    std::string name;  // Column: the column's name; Bind: the bind name
    std::string value; // String: the literal's value; Number: its text
    std::string rowidColumn;
    std::uint32_t rowidObject = 0;
    bool notNull = false;           // Column, Rowid: never NULL in any row of the query block
    bool constant = false;          // no column, ROWNUM, aggregate or sub-query: the same for every row
    bool agg = false;               // holds an aggregate (outside sub-queries)
    bool groupOk = true;            // allowed in a grouped select list under the GROUP BY keys in force
    bool rownum = false;            // holds ROWNUM
    std::string rownumOp;           // RownumBound: "ROWNUM <op> value" with value in sql
    std::vector<std::string> outer; // tables marked with (+)
    std::vector<std::string> refs;  // tables whose columns it reads (kept only when (+) occurs)
};

// Only a bare column or rowid is trusted: anything built on one (a function, a sub-query) may yield NULL.
bool neverNull(const Expr& e) {
    return (e.kind == Expr::Kind::Column || e.kind == Expr::Kind::Rowid) && e.notNull;
}

void mergeNames(std::vector<std::string>& into, const std::vector<std::string>& from) {
    for (const std::string& n : from)
        if (std::find(into.begin(), into.end(), n) == into.end())
            into.push_back(n);
}

struct TableRef {
    std::string exposed; // the name that qualifies its columns (alias, or the name as written); "" unnamed
    std::string base;    // the base table; empty for sub-queries, DUAL, V$SESSION and WITH names
    std::uint32_t object = 0;
    std::vector<ColumnInfo> columns;
    bool known = false;    // columns is its full list
    std::string sql;       // the FROM item as emitted
    std::string rowid;     // the SQL of its rowid
    bool ansi = false;     // joined with JOIN ... ON
    bool optional = false; // outer-joined (LEFT JOIN or (+)): a row may have NULL in every column
};

struct Scope {
    std::vector<TableRef> tables;
    bool lenient = false; // names of a table being defined: taken as written
};

// A WITH name: its columns, and whether its own body reads it (then the WITH is recursive).
struct Cte {
    TableRef table;
    bool defining = false;
    bool selfReferenced = false;
};

struct SelectCore {
    std::string sql, fromSql, whereSql, limitSql, with;
    std::vector<TableRef> tables;
    std::vector<ColumnInfo> out; // the output columns
    bool outKnown = true;
    bool grouped = false;
    std::set<std::string> groupKeys;
    const TableRef* first() const { return tables.empty() ? nullptr : &tables.front(); }
};

struct FunctionInfo {
    const char* name;
    const char* sqliteName;
    int minArgs, maxArgs;
    enum Result { Number, Text, Date, FirstArg, FirstResult, AnyArg, Typed } result;
    bool aggregate;
};

const FunctionInfo kFunctions[] = {
    {"COUNT", "count", 1, 1, FunctionInfo::Number, true},
    {"SUM", "sum", 1, 1, FunctionInfo::Number, true},
    {"AVG", "avg", 1, 1, FunctionInfo::Number, true},
    {"MAX", "max", 1, 1, FunctionInfo::FirstArg, true},
    {"MIN", "min", 1, 1, FunctionInfo::FirstArg, true},
    {"DECODE", "decode", 3, 255, FunctionInfo::FirstResult, false},
    {"NVL", "nvl", 2, 2, FunctionInfo::AnyArg, false},
    {"COALESCE", "coalesce", 2, 255, FunctionInfo::AnyArg, false},
    {"NULLIF", "nullif", 2, 2, FunctionInfo::FirstArg, false},
    {"SUBSTR", "substr", 2, 3, FunctionInfo::Text, false},
    {"TO_CHAR", "to_char", 1, 2, FunctionInfo::Text, false},
    {"TO_DATE", "to_date", 1, 2, FunctionInfo::Date, false},
    {"TO_NUMBER", "to_number", 1, 1, FunctionInfo::Number, false},
    {"UPPER", "upper", 1, 1, FunctionInfo::Text, false},
    {"LOWER", "lower", 1, 1, FunctionInfo::Text, false},
    {"TRIM", "trim", 1, 1, FunctionInfo::Text, false},
    {"LTRIM", "ltrim", 1, 2, FunctionInfo::Text, false},
    {"RTRIM", "rtrim", 1, 2, FunctionInfo::Text, false},
    {"LENGTH", "length", 1, 1, FunctionInfo::Number, false},
    {"LENGTHB", "ora_lengthb", 1, 1, FunctionInfo::Number, false},
    {"INSTR", "ora_instr", 2, 4, FunctionInfo::Number, false},
    {"REPLACE", "replace", 2, 3, FunctionInfo::Text, false},
    {"ABS", "abs", 1, 1, FunctionInfo::Number, false},
    {"ROUND", "ora_round", 1, 2, FunctionInfo::Number, false},
    {"MOD", "ora_mod", 2, 2, FunctionInfo::Number, false},
    {"TRUNC", "ora_trunc", 1, 2, FunctionInfo::Typed, false},
    {"ADD_MONTHS", "ora_add_months", 2, 2, FunctionInfo::Date, false},
    {"GREATEST", "max", 2, 255, FunctionInfo::FirstArg, false},
    {"LEAST", "min", 2, 255, FunctionInfo::FirstArg, false},
};

// Longest flat chain emitted: SQLite parses "a OR b OR ..." into a tree as deep as the chain, and refuses
// trees deeper than 1000; longer chains are grouped in parentheses, 64 to a group.
constexpr std::size_t kChainGroup = 64;
// SQLite takes at most 127 arguments per function call.
constexpr std::size_t kArgsPerCall = 100;
// Beyond this many terms SQLite's constant factoring turns quadratic (see Translation::manyTerms).
constexpr std::size_t kManyTerms = 2000;

std::string joinChain(std::vector<std::string> parts, const std::string& separator) {
    auto join = [&](std::size_t from, std::size_t to) {
        std::size_t size = 2;
        for (std::size_t i = from; i < to; ++i)
            size += parts[i].size() + separator.size();
        std::string r;
        r.reserve(size);
        r += '(';
        for (std::size_t i = from; i < to; ++i) {
            if (i > from)
                r += separator;
            r += parts[i];
        }
        r += ')';
        return r;
    };
    while (parts.size() > kChainGroup) {
        std::vector<std::string> grouped;
        for (std::size_t i = 0; i < parts.size(); i += kChainGroup)
            grouped.push_back(join(i, std::min(parts.size(), i + kChainGroup)));
        parts = std::move(grouped);
    }
    return join(0, parts.size());
}

// f(a1, ..., an) for a variadic function that may be applied group-wise (the result of f on a group is a
// valid first argument of the next call): f(f(a1..a100), a101, ...).
std::string chunkedCall(const std::string& function, std::vector<std::string> args) {
    while (args.size() > kArgsPerCall) {
        std::vector<std::string> grouped;
        for (std::size_t i = 0; i < args.size(); i += kArgsPerCall) {
            std::string call = function + "(";
            for (std::size_t k = i; k < std::min(args.size(), i + kArgsPerCall); ++k)
                call += (k > i ? ", " : "") + args[k];
            grouped.push_back(call + ")");
        }
        args = std::move(grouped);
    }
    std::string call = function + "(";
    for (std::size_t k = 0; k < args.size(); ++k)
        call += (k ? ", " : "") + args[k];
    return call + ")";
}

class Parser {
public:
    Parser(std::string_view source, const CatalogView& catalog, Translation& out)
        : src_(source), tokens_(tokenize(source)), catalog_(catalog), out_(out) {
        // Old-style outer joins need to know which tables each condition reads.
        for (std::size_t i = 0; i + 2 < tokens_.size(); ++i)
            if (tokens_[i].is("(") && tokens_[i + 1].is("+") && tokens_[i + 2].is(")"))
                trackRefs_ = true;
    }

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
    std::string addBind(const std::string& bind) {
        auto [it, added] = bindIndex_.emplace(bind, out_.binds.size() + 1);
        if (added)
            out_.binds.push_back(bind);
        return "?" + std::to_string(it->second);
    }
    void countTerms(std::size_t n) {
        terms_ += n;
        if (terms_ > kManyTerms)
            out_.manyTerms = true;
    }

    // ---- statements
    void selectStatement();
    void insertStatement();
    void updateStatement();
    void deleteStatement();
    void mergeStatement();
    void createStatement();
    void dropStatement();
    void alterStatement();
    void truncateStatement();
    void transactionStatement();
    void plsqlBlock();

    // ---- queries
    std::string query(bool topLevel, SelectCore* firstCore = nullptr);
    std::string withClause();
    SelectCore selectCore(bool topLevel, bool compoundMember);
    std::string selectList(SelectCore& core, bool topLevel, bool& anyAgg, bool& anyRowid, bool& anyUngrouped);
    std::string fromClause();
    std::string tableRef(bool allowAlias = true);
    std::string orderBy(const SelectCore& core, bool compound);
    void forUpdate();
    std::vector<Expr> conditionTerms();
    std::string rownumLimit(const std::vector<Expr>& bounds);
    void pushScope() { scopes_.emplace_back(); }
    void popScope() { scopes_.pop_back(); }

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
    Expr subquery(); // after "(": a query as a value
    Expr make(std::string sql, std::string type, const std::vector<const Expr*>& kids) const;
    Expr chain(const std::vector<Expr>& terms, const std::string& op);
    Expr compare(Expr l, std::string op, Expr r);
    Expr coerceTo(const Expr& subject, Expr e) const;
    Expr sum(Expr first, std::vector<std::pair<std::string, Expr>> terms);
    Expr rownumBound(const std::string& op, const Expr& value) const;
    bool grouped(const std::string& sql) const { return groupKeys_ && groupKeys_->count(sql); }
    TableRef rowidTable(const std::string* qualifier) const;
    std::string rowidCompare(const Expr& rowid, const Expr& other, const std::string& op);

    // ---- DDL pieces
    std::string dataType();
    std::string columnConstraints(bool& primaryKey);
    std::string identList(std::vector<std::string>* names = nullptr);
    std::string newObjectName();
    TableRef namedTable(const std::string& name) const;

    std::string returning();
    // The WHERE of an UPDATE or DELETE (empty without one); ROWNUM bounds become a LIMIT on rowids.
    std::string dmlWhere(const TableRef& target, const std::string& table);

    std::string_view src_;
    std::vector<Token> tokens_;
    std::size_t pos_ = 0;
    const CatalogView& catalog_;
    Translation& out_;
    std::vector<Scope> scopes_;
    std::vector<std::map<std::string, Cte>> ctes_;
    std::map<std::string, std::size_t> bindIndex_;
    const std::set<std::string>* groupKeys_ = nullptr;
    bool trackRefs_ = false;
    bool columnsForbidden_ = false; // INSERT ... VALUES: ORA-00984 for a column
    std::size_t terms_ = 0;
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
    if (w == "SELECT" || w == "WITH") {
        selectStatement();
    } else if (w == "INSERT") {
        insertStatement();
    } else if (w == "UPDATE") {
        updateStatement();
    } else if (w == "DELETE") {
        deleteStatement();
    } else if (w == "MERGE") {
        mergeStatement();
    } else if (w == "CREATE") {
        createStatement();
    } else if (w == "DROP") {
        dropStatement();
    } else if (w == "ALTER") {
        alterStatement();
    } else if (w == "TRUNCATE") {
        truncateStatement();
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
        const TableRef* t = core.first();
        if (!t || t->base.empty() || core.grouped)
            ora(2014, "cannot select FOR UPDATE from view with DISTINCT, GROUP BY, etc.");
        out_.targetTable = t->base;
        out_.lockRowsSql = core.with + "SELECT " + t->rowid + " FROM " + core.fromSql;
        if (!core.whereSql.empty())
            out_.lockRowsSql += " WHERE " + core.whereSql;
        if (!core.limitSql.empty())
            out_.lockRowsSql += " LIMIT " + core.limitSql;
    }
}

TableRef Parser::namedTable(const std::string& tableName) const {
    TableRef ref;
    ref.exposed = tableName;
    ref.base = resolveTable(catalog_, tableName);
    if (ref.base.empty())
        ora(942, "table or view does not exist");
    ref.object = catalog_.objectNumber(ref.base);
    ref.columns = catalog_.columns(ref.base);
    ref.known = !ref.columns.empty();
    return ref;
}

void Parser::insertStatement() {
    out_.kind = StatementKind::Insert;
    out_.ociStmtType = 4;
    next(); // INSERT
    if (!acceptWord("INTO"))
        ora(925, "missing INTO keyword");
    pushScope();
    const std::string table = tableRef();
    const TableRef target = scopes_.back().tables.front();
    out_.targetTable = target.base;
    if (out_.targetTable.empty())
        ora(1732, "data manipulation operation not legal on this view");
    std::string sql = "INSERT INTO " + table;
    int columns = -1;
    if (atOp("(") && !atWord("SELECT", 1) && !atWord("WITH", 1)) {
        next();
        std::string list;
        columns = 0;
        do {
            std::string col = name(904, "invalid identifier");
            if (acceptOp(".")) // a qualified column: T.COL
                col = name(904, "invalid identifier");
            if (target.known && std::none_of(target.columns.begin(), target.columns.end(),
                                             [&](const ColumnInfo& c) { return c.name == col; }))
                invalidIdentifier(col);
            list += (columns++ ? ", " : "") + ident(col);
        } while (acceptOp(","));
        expectOp(")");
        sql += " (" + list + ")";
    }
    if (acceptWord("VALUES")) {
        expectOp("(");
        std::string values;
        int count = 0;
        // Oracle takes no column in VALUES (ORA-00984); the target's columns are not in scope there.
        popScope();
        pushScope();
        columnsForbidden_ = true;
        do {
            values += (count++ ? ", " : "") + expr().sql;
        } while (acceptOp(","));
        columnsForbidden_ = false;
        expectOp(")");
        if (columns >= 0 && count < columns)
            ora(947, "not enough values");
        if (columns >= 0 && count > columns)
            ora(913, "too many values");
        if (columns < 0 && target.known && count < static_cast<int>(target.columns.size()))
            ora(947, "not enough values");
        if (columns < 0 && target.known && count > static_cast<int>(target.columns.size()))
            ora(913, "too many values");
        sql += " VALUES (" + values + ")";
    } else if (atWord("SELECT") || atWord("WITH") || atOp("(")) {
        popScope();
        pushScope();
        sql += " " + query(false);
    } else {
        ora(926, "missing VALUES keyword");
    }
    sql += returning();
    popScope();
    finish();
    out_.sql = sql;
}

// WHERE of UPDATE and DELETE: ROWNUM bounds pick that many rows (by rowid), nothing else about ROWNUM.
std::string Parser::rownumLimit(const std::vector<Expr>& bounds) {
    std::vector<std::string> args;
    for (const Expr& b : bounds) {
        args.push_back(quoteString(b.rownumOp));
        args.push_back(b.sql);
    }
    return "ora_rownum_limit(" + [&] {
        std::string r;
        for (const std::string& a : args)
            r += (r.empty() ? "" : ", ") + a;
        return r;
    }() + ")";
}

void Parser::updateStatement() {
    out_.kind = StatementKind::Update;
    out_.ociStmtType = 2;
    next(); // UPDATE
    pushScope();
    const std::string table = tableRef();
    const TableRef target = scopes_.back().tables.front();
    if (target.base.empty())
        ora(1732, "data manipulation operation not legal on this view");
    out_.targetTable = target.base;
    if (!acceptWord("SET"))
        ora(971, "missing SET keyword");
    auto column = [&] {
        std::string col = name(904, "invalid identifier");
        if (acceptOp("."))
            col = name(904, "invalid identifier");
        if (target.known && std::none_of(target.columns.begin(), target.columns.end(),
                                         [&](const ColumnInfo& c) { return c.name == col; }))
            invalidIdentifier(col);
        return col;
    };
    std::string sets;
    do {
        if (!sets.empty())
            sets += ", ";
        if (acceptOp("(")) {
            std::string cols;
            do {
                cols += (cols.empty() ? "" : ", ") + ident(column());
            } while (acceptOp(","));
            expectOp(")");
            expectOp("=");
            expectOp("(");
            pushScope();
            const std::string sub = query(false);
            popScope();
            expectOp(")");
            sets += "(" + cols + ") = (" + sub + ")";
            continue;
        }
        const std::string col = column();
        expectOp("=");
        Expr value = expr();
        if (value.rownum)
            unimplemented();
        sets += ident(col) + " = " + value.sql;
    } while (acceptOp(","));
    const std::string where = dmlWhere(target, table);
    const std::string ret = returning();
    popScope();
    finish();
    out_.sql = "UPDATE " + table + " SET " + sets + (where.empty() ? "" : " WHERE " + where) + ret;
    out_.lockRowsSql = "SELECT " + target.rowid + " FROM " + table + (where.empty() ? "" : " WHERE " + where);
}

std::string Parser::dmlWhere(const TableRef& target, const std::string& table) {
    std::string where;
    if (!acceptWord("WHERE"))
        return where;
    std::vector<Expr> rest, bounds;
    for (Expr& t : conditionTerms()) {
        if (t.kind == Expr::Kind::RownumBound)
            bounds.push_back(std::move(t));
        else if (t.rownum || !t.outer.empty())
            unimplemented();
        else
            rest.push_back(std::move(t));
    }
    if (!rest.empty())
        where = chain(rest, "AND").sql;
    if (!bounds.empty())
        where = target.rowid + " IN (SELECT " + target.rowid + " FROM " + table +
                (where.empty() ? "" : " WHERE " + where) + " LIMIT " + rownumLimit(bounds) + ")";
    return where;
}

void Parser::deleteStatement() {
    out_.kind = StatementKind::Delete;
    out_.ociStmtType = 3;
    next(); // DELETE
    acceptWord("FROM");
    pushScope();
    const std::string table = tableRef();
    const TableRef target = scopes_.back().tables.front();
    if (target.base.empty())
        ora(1732, "data manipulation operation not legal on this view");
    out_.targetTable = target.base;
    const std::string where = dmlWhere(target, table);
    const std::string ret = returning();
    popScope();
    finish();
    out_.sql = "DELETE FROM " + table + (where.empty() ? "" : " WHERE " + where) + ret;
    out_.lockRowsSql = "SELECT " + target.rowid + " FROM " + table + (where.empty() ? "" : " WHERE " + where);
}

// MERGE INTO t USING s ON (c) WHEN MATCHED THEN UPDATE SET ... [WHERE ...] WHEN NOT MATCHED THEN INSERT
// (cols) VALUES (...) [WHERE ...]: the matched rows are updated first (UPDATE ... FROM), then the source rows
// without a match are inserted; a target row matched by two source rows is ORA-30926, as in Oracle.
void Parser::mergeStatement() {
    out_.kind = StatementKind::Merge;
    out_.ociStmtType = 16;
    next(); // MERGE
    if (!acceptWord("INTO"))
        ora(925, "missing INTO keyword");
    pushScope();
    const std::string table = tableRef();
    const TableRef target = scopes_.back().tables.front();
    if (target.base.empty())
        ora(1732, "data manipulation operation not legal on this view");
    out_.targetTable = target.base;
    if (!acceptWord("USING"))
        ora(969, "missing ON keyword");
    const std::string source = tableRef();
    const TableRef src = scopes_.back().tables.back();
    if (src.exposed.empty())
        unimplemented(); // SQLite needs a name for the source in UPDATE ... FROM
    if (!acceptWord("ON"))
        ora(969, "missing ON keyword");
    expectOp("(");
    const Expr on = expr();
    expectOp(")");
    if (on.rownum || on.agg || !on.outer.empty())
        unimplemented();
    std::string updateSets, updateWhere, insertCols, insertValues, insertWhere;
    bool matched = false, notMatched = false;
    while (acceptWord("WHEN")) {
        const bool negated = acceptWord("NOT");
        if (!acceptWord("MATCHED") || !acceptWord("THEN"))
            ora(905, "missing keyword");
        if (!negated) {
            if (matched || !acceptWord("UPDATE") || !acceptWord("SET"))
                ora(905, "missing keyword");
            matched = true;
            do {
                std::string col = name(904, "invalid identifier");
                if (acceptOp("."))
                    col = name(904, "invalid identifier");
                if (target.known && std::none_of(target.columns.begin(), target.columns.end(),
                                                 [&](const ColumnInfo& c) { return c.name == col; }))
                    invalidIdentifier(col);
                // Oracle refuses to change what decides the match.
                if (on.sql.find(ident(target.exposed) + "." + ident(col)) != std::string::npos)
                    ora(38104, "Columns referenced in the ON Clause cannot be updated: \"" + target.exposed +
                                   "\".\"" + col + "\"");
                expectOp("=");
                const Expr v = expr();
                updateSets += (updateSets.empty() ? "" : ", ") + ident(col) + " = " + v.sql;
            } while (acceptOp(","));
            if (acceptWord("WHERE"))
                updateWhere = expr().sql;
            if (atWord("DELETE"))
                unimplemented();
        } else {
            if (notMatched || !acceptWord("INSERT"))
                ora(905, "missing keyword");
            notMatched = true;
            // The inserted values may read only the source.
            Scope sourceOnly;
            sourceOnly.tables.push_back(src);
            if (atOp("(")) {
                std::vector<std::string> names;
                insertCols = identList(&names);
                for (const std::string& c : names)
                    if (target.known && std::none_of(target.columns.begin(), target.columns.end(),
                                                     [&](const ColumnInfo& k) { return k.name == c; }))
                        invalidIdentifier(c);
            }
            if (!acceptWord("VALUES"))
                ora(926, "missing VALUES keyword");
            scopes_.push_back(sourceOnly);
            expectOp("(");
            do {
                insertValues += (insertValues.empty() ? "" : ", ") + expr().sql;
            } while (acceptOp(","));
            expectOp(")");
            if (acceptWord("WHERE"))
                insertWhere = expr().sql;
            popScope();
        }
    }
    if (!matched && !notMatched)
        ora(905, "missing keyword");
    popScope();
    finish();
    if (matched) {
        // UPDATE ... FROM names the target by its table; the condition uses the exposed names.
        out_.sql = "UPDATE " + table + " SET " + updateSets + " FROM " + source + " WHERE " + on.sql +
                   (updateWhere.empty() ? "" : " AND " + updateWhere);
        out_.lockRowsSql = "SELECT " + target.rowid + " FROM " + table + " JOIN " + source + " ON " + on.sql +
                           (updateWhere.empty() ? "" : " WHERE " + updateWhere);
    }
    if (notMatched)
        out_.mergeInsertSql = "INSERT INTO " + ident(target.base) +
                              (insertCols.empty() ? "" : " " + insertCols) + " SELECT " + insertValues +
                              " FROM " + source + " WHERE NOT EXISTS (SELECT 1 FROM " + table + " WHERE " +
                              on.sql + ")" + (insertWhere.empty() ? "" : " AND (" + insertWhere + ")");
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
        out_.sql = "SAVEPOINT " + ident(out_.savepointName);
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
            out_.sql = "ROLLBACK TO SAVEPOINT " + ident(out_.savepointName);
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
        if (catalog_.hasTable(syn) || (catalog_.synonymTarget(syn) && !orReplace))
            ora(955, "name is already used by an existing object");
        if (target == syn)
            ora(1471, "cannot create a synonym with same name as object");
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
        if (catalog_.hasTable(table) || catalog_.synonymTarget(table))
            ora(955, "name is already used by an existing object");
        out_.targetTable = table;
        if (acceptWord("AS")) {
            pushScope();
            out_.sql = "CREATE TABLE " + ident(table) + " AS " + query(false);
            popScope();
            finish();
            return;
        }
        expectOp("(");
        struct Column {
            std::string name, sql;
            bool notNull = false;
        };
        std::vector<Column> columns;
        std::vector<std::string> constraints;
        std::vector<std::string> keyColumns;
        Scope defining;
        defining.lenient = true;
        scopes_.push_back(defining);
        do {
            if (atWord("CONSTRAINT") || atWord("PRIMARY") || atWord("UNIQUE") || atWord("CHECK") ||
                atWord("FOREIGN")) {
                std::string r;
                if (acceptWord("CONSTRAINT"))
                    r = "CONSTRAINT " + ident(name(904, "invalid identifier")) + " ";
                if (acceptWord("PRIMARY")) {
                    if (!acceptWord("KEY"))
                        ora(905, "missing keyword");
                    std::vector<std::string> names;
                    r += "PRIMARY KEY " + identList(&names);
                    mergeNames(keyColumns, names);
                } else if (acceptWord("UNIQUE")) {
                    r += "UNIQUE " + identList();
                } else if (acceptWord("CHECK")) {
                    expectOp("(");
                    r += "CHECK (" + expr().sql + ")";
                    expectOp(")");
                } else if (acceptWord("FOREIGN")) {
                    if (!acceptWord("KEY"))
                        ora(905, "missing keyword");
                    r += "FOREIGN KEY " + identList();
                    if (!acceptWord("REFERENCES"))
                        ora(905, "missing keyword");
                    pushScope();
                    r += " REFERENCES " + tableRef(false);
                    popScope();
                    if (atOp("("))
                        r += " " + identList();
                } else {
                    ora(902, "invalid datatype");
                }
                constraints.push_back(r);
                continue;
            }
            Column c;
            c.name = name(904, "invalid identifier");
            for (const Column& other : columns)
                if (other.name == c.name)
                    ora(957, "duplicate column name");
            c.sql = ident(c.name) + " " + dataType();
            if (acceptWord("DEFAULT"))
                c.sql += " DEFAULT (" + expr().sql + ")";
            bool primaryKey = false;
            const std::string cons = columnConstraints(primaryKey);
            c.notNull = cons.find(" NOT NULL") != std::string::npos;
            if (primaryKey)
                keyColumns.push_back(c.name);
            c.sql += cons;
            columns.push_back(std::move(c));
        } while (acceptOp(","));
        popScope();
        expectOp(")");
        // Storage clauses (TABLESPACE x, PCTFREE n ...) mean nothing here.
        while (peek().type == TokenType::Ident || peek().type == TokenType::Number)
            next();
        finish();
        std::string defs;
        for (Column& c : columns) {
            // A primary key never holds NULL in Oracle (ORA-01400); SQLite lets it unless told.
            if (!c.notNull && std::find(keyColumns.begin(), keyColumns.end(), c.name) != keyColumns.end())
                c.sql += " NOT NULL";
            defs += (defs.empty() ? "" : ", ") + c.sql;
        }
        for (const std::string& k : keyColumns)
            if (std::none_of(columns.begin(), columns.end(), [&](const Column& c) { return c.name == k; }))
                invalidIdentifier(k);
        for (const std::string& c : constraints)
            defs += ", " + c;
        out_.sql = "CREATE TABLE " + ident(table) + " (" + defs + ")";
        return;
    }
    const bool unique = acceptWord("UNIQUE");
    if (acceptWord("INDEX")) {
        const std::string index = newObjectName();
        if (!acceptWord("ON"))
            ora(969, "missing ON keyword");
        pushScope();
        const std::string table = tableRef(false);
        const TableRef target = scopes_.back().tables.front();
        popScope();
        if (target.base.empty())
            ora(942, "table or view does not exist");
        expectOp("(");
        std::string cols;
        do {
            const std::string col = name(904, "invalid identifier");
            if (target.known && std::none_of(target.columns.begin(), target.columns.end(),
                                             [&](const ColumnInfo& c) { return c.name == col; }))
                invalidIdentifier(col);
            cols += (cols.empty() ? "" : ", ") + ident(col);
            if (acceptWord("DESC"))
                cols += " DESC";
            else
                acceptWord("ASC");
        } while (acceptOp(","));
        expectOp(")");
        while (peek().type == TokenType::Ident || peek().type == TokenType::Number)
            next();
        finish();
        out_.sql = std::string("CREATE ") + (unique ? "UNIQUE " : "") + "INDEX " + ident(index) + " ON " +
                   ident(target.base) + " (" + cols + ")";
        (void)table;
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

std::string Parser::columnConstraints(bool& primaryKey) {
    std::string r;
    for (;;) {
        std::string constraintName;
        if (acceptWord("CONSTRAINT"))
            constraintName = " CONSTRAINT " + ident(name(904, "invalid identifier"));
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
            primaryKey = true;
        } else if (acceptWord("UNIQUE")) {
            r += constraintName + " UNIQUE";
        } else if (acceptWord("CHECK")) {
            expectOp("(");
            r += constraintName + " CHECK (" + expr().sql + ")";
            expectOp(")");
        } else if (acceptWord("REFERENCES")) {
            pushScope();
            const std::string t = tableRef(false);
            popScope();
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

std::string Parser::identList(std::vector<std::string>* names) {
    expectOp("(");
    std::string r;
    do {
        const std::string n = name(904, "invalid identifier");
        if (names)
            names->push_back(n);
        r += (r.empty() ? "" : ", ") + ident(n);
    } while (acceptOp(","));
    expectOp(")");
    return "(" + r + ")";
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
        // Any synonym can be dropped, also one that leads nowhere or in a circle.
        if (!catalog_.synonymTarget(syn))
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
        if (!catalog_.hasTable(table))
            ora(942, "table or view does not exist");
        out_.targetTable = table;
        out_.sql = "DROP TABLE " + ident(table);
        return;
    }
    if (acceptWord("INDEX")) {
        const std::string index = newObjectName();
        finish();
        out_.sql = "DROP INDEX " + ident(index);
        return;
    }
    ora(950, "invalid DROP option");
}

void Parser::truncateStatement() {
    out_.kind = StatementKind::Truncate;
    next(); // TRUNCATE
    if (!acceptWord("TABLE"))
        ora(3290, "Invalid truncate command - missing CLUSTER or TABLE keyword");
    const std::string table = newObjectName();
    if ((acceptWord("DROP") || acceptWord("REUSE")) && !acceptWord("STORAGE"))
        ora(905, "missing keyword");
    finish();
    if (!catalog_.hasTable(table))
        ora(942, "table or view does not exist");
    out_.targetTable = table;
    out_.sql = "DELETE FROM " + ident(table);
    out_.lockRowsSql = "SELECT rowid FROM " + ident(table);
}

void Parser::alterStatement() {
    out_.kind = StatementKind::Alter;
    out_.ociStmtType = 7;
    next(); // ALTER
    if (!acceptWord("TABLE"))
        ora(940, "invalid ALTER command");
    const std::string table = newObjectName();
    if (!catalog_.hasTable(table))
        ora(942, "table or view does not exist");
    out_.targetTable = table;
    std::string sql = "ALTER TABLE " + ident(table);
    if (acceptWord("ADD")) {
        // SQLite adds one column per statement.
        const bool paren = acceptOp("(");
        Scope defining;
        defining.lenient = true;
        scopes_.push_back(defining);
        const std::string col = name(904, "invalid identifier");
        std::string def = ident(col) + " " + dataType();
        if (acceptWord("DEFAULT"))
            def += " DEFAULT (" + expr().sql + ")";
        bool primaryKey = false;
        def += columnConstraints(primaryKey);
        popScope();
        if (primaryKey)
            ora(1735, "invalid ALTER TABLE option");
        sql += " ADD COLUMN " + def;
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
        sql += " DROP COLUMN " + ident(col);
    } else if (acceptWord("RENAME")) {
        if (acceptWord("COLUMN")) {
            const std::string from = name(904, "invalid identifier");
            if (!acceptWord("TO"))
                ora(905, "missing keyword");
            sql += " RENAME COLUMN " + ident(from) + " TO " + ident(name(904, "invalid identifier"));
        } else {
            if (!acceptWord("TO"))
                ora(905, "missing keyword");
            const std::string to = name(903, "invalid table name");
            if (catalog_.hasTable(to) || catalog_.synonymTarget(to))
                ora(955, "name is already used by an existing object");
            sql += " RENAME TO " + ident(to);
        }
    } else {
        ora(1735, "invalid ALTER TABLE option");
    }
    finish();
    out_.sql = sql;
}

// ================================================================ queries

std::string Parser::withClause() {
    next(); // WITH
    std::string sql;
    bool recursive = false;
    ctes_.emplace_back();
    do {
        const std::string cteName = name(903, "invalid table name");
        std::vector<std::string> names;
        std::string list;
        if (atOp("("))
            list = identList(&names);
        if (!acceptWord("AS"))
            ora(905, "missing keyword");
        expectOp("(");
        // The name is visible in its own body (a recursive WITH) with the columns its list gives.
        {
            Cte& c = ctes_.back()[cteName];
            c.table.exposed = cteName;
            for (const std::string& n : names)
                c.table.columns.push_back({n, ""});
            c.table.known = !names.empty();
            c.defining = true;
        }
        pushScope();
        SelectCore core;
        const std::string body = query(false, &core);
        popScope();
        expectOp(")");
        if (atWord("SEARCH") || atWord("CYCLE"))
            unimplemented();
        Cte& done = ctes_.back()[cteName];
        done.defining = false;
        recursive = recursive || done.selfReferenced;
        if (names.empty()) {
            done.table.columns = core.out;
            done.table.known = core.outKnown;
        } else {
            if (core.outKnown && core.out.size() != names.size())
                ora(32038,
                    "number of WITH clause column names does not match number of elements in select list");
            for (std::size_t i = 0; i < names.size() && i < core.out.size(); ++i) {
                done.table.columns[i].type = core.out[i].type;
                done.table.columns[i].notNull = core.out[i].notNull;
            }
        }
        sql += (sql.empty() ? "" : ", ") + ident(cteName) + (list.empty() ? "" : " " + list) + " AS (" +
               body + ")";
    } while (acceptOp(","));
    return std::string("WITH ") + (recursive ? "RECURSIVE " : "") + sql + " ";
}

std::string Parser::query(bool topLevel, SelectCore* firstCore) {
    DepthGuard guard(depth_);
    // A query inside a grouped select list or a VALUES list has its own rules.
    struct Restore {
        Parser& p;
        const std::set<std::string>* keys;
        bool forbidden;
        ~Restore() {
            p.groupKeys_ = keys;
            p.columnsForbidden_ = forbidden;
        }
    } restore{*this, groupKeys_, columnsForbidden_};
    groupKeys_ = nullptr;
    columnsForbidden_ = false;
    std::string with;
    const bool hasWith = atWord("WITH");
    if (hasWith)
        with = withClause();
    std::string sql;
    bool compound = false;
    SelectCore first;
    for (;;) {
        SelectCore core;
        if (atOp("(")) {
            // A parenthesised query as a member of a compound.
            next();
            pushScope();
            SelectCore inner;
            const std::string sub = query(false, &inner);
            popScope();
            expectOp(")");
            core.sql = "SELECT * FROM (" + sub + ")";
            core.out = inner.out;
            core.outKnown = inner.outKnown;
            pushScope(); // the member's scope (none), popped below like a core's
        } else {
            if (!atWord("SELECT"))
                ora(928, "missing SELECT keyword");
            core = selectCore(topLevel && !compound, compound);
        }
        sql += core.sql;
        const bool setOp = atWord("UNION") || atWord("MINUS") || atWord("INTERSECT");
        if (!compound)
            first = core;
        if (setOp || compound)
            popScope();
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
        sql += orderBy(first, compound);
    if (!compound)
        popScope();
    if (atWord("FOR")) {
        if (!topLevel || compound)
            ora(907, "missing right parenthesis");
        forUpdate();
    }
    if (hasWith)
        ctes_.pop_back();
    // The other members may give NULL where the first never does.
    if (compound)
        for (ColumnInfo& c : first.out)
            c.notNull = false;
    if (firstCore) {
        *firstCore = std::move(first);
        firstCore->with = with;
    }
    return with + sql;
}

// Parses FROM, WHERE, GROUP BY and HAVING first, then the select list (so ROWID and grouping know the
// tables and keys). Leaves the query block's scope pushed: ORDER BY reads it; query() pops it.
SelectCore Parser::selectCore(bool topLevel, bool compoundMember) {
    SelectCore core;
    next(); // SELECT
    std::string head = "SELECT ";
    const bool distinct = acceptWord("DISTINCT") || acceptWord("UNIQUE");
    if (distinct)
        head += "DISTINCT ";
    else
        acceptWord("ALL");
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
        // Parse the list to report its own errors before the missing FROM (its names are not known yet).
        pushScope();
        scopes_.back().lenient = true;
        bool anyAgg = false, anyRowid = false, anyUngrouped = false;
        selectList(core, false, anyAgg, anyRowid, anyUngrouped);
        popScope();
        ora(923, "FROM keyword not found where expected");
    }
    next(); // FROM
    pushScope();
    const std::size_t scopeIndex = scopes_.size() - 1;
    core.fromSql = fromClause();

    // WHERE: plain conditions, ROWNUM bounds and (+) join conditions.
    std::vector<Expr> where, bounds;
    std::map<std::string, std::vector<Expr>> outerConditions;
    if (acceptWord("WHERE")) {
        for (Expr& t : conditionTerms()) {
            if (t.agg)
                ora(934, "group function is not allowed here");
            if (t.kind == Expr::Kind::RownumBound) {
                bounds.push_back(std::move(t));
            } else if (t.rownum) {
                unimplemented();
            } else if (!t.outer.empty()) {
                if (t.outer.size() > 1)
                    ora(1468, "a predicate may reference only one outer-joined table");
                outerConditions[t.outer.front()].push_back(std::move(t));
            } else {
                where.push_back(std::move(t));
            }
        }
    }
    if (!outerConditions.empty()) {
        const Scope& scope = scopes_[scopeIndex];
        // Old-style outer joins become LEFT JOINs: tables without (+) first, in their order, then each
        // outer-joined table once every table its conditions read is placed.
        if (std::any_of(scope.tables.begin(), scope.tables.end(), [](const TableRef& t) { return t.ansi; }))
            ora(25156, "old style outer join (+) cannot be used with ANSI joins");
        std::vector<std::string> placed;
        std::string from;
        for (const TableRef& t : scope.tables)
            if (!outerConditions.count(t.exposed)) {
                from += (from.empty() ? "" : ", ") + t.sql;
                placed.push_back(t.exposed);
            }
        if (from.empty())
            ora(1416, "two tables cannot be outer-joined to each other");
        for (TableRef& t : scopes_[scopeIndex].tables)
            t.optional = t.optional || outerConditions.count(t.exposed) > 0;
        std::vector<const TableRef*> pending;
        for (const TableRef& t : scope.tables)
            if (outerConditions.count(t.exposed))
                pending.push_back(&t);
        while (!pending.empty()) {
            auto ready = std::find_if(pending.begin(), pending.end(), [&](const TableRef* t) {
                for (const Expr& c : outerConditions[t->exposed])
                    for (const std::string& r : c.refs)
                        if (r != t->exposed && std::find(placed.begin(), placed.end(), r) == placed.end())
                            return false;
                return true;
            });
            if (ready == pending.end())
                ora(1416, "two tables cannot be outer-joined to each other");
            const TableRef* t = *ready;
            from += " LEFT JOIN " + t->sql + " ON " + chain(outerConditions[t->exposed], "AND").sql;
            placed.push_back(t->exposed);
            pending.erase(ready);
        }
        core.fromSql = from;
    }
    if (!where.empty())
        core.whereSql = chain(where, "AND").sql;

    std::vector<std::string> groupSql;
    if (acceptWord("GROUP")) {
        if (!acceptWord("BY"))
            ora(924, "missing BY keyword");
        do {
            const Expr g = expr();
            if (g.agg)
                ora(934, "group function is not allowed here");
            if (g.rownum)
                unimplemented();
            if (!g.outer.empty())
                ora(30563, "outer join operator (+) is not allowed here");
            groupSql.push_back(g.sql);
            core.groupKeys.insert(g.sql);
        } while (acceptOp(","));
    }
    std::string havingSql;
    bool havingAgg = false;
    if (acceptWord("HAVING")) {
        groupKeys_ = &core.groupKeys;
        const Expr h = expr();
        groupKeys_ = nullptr;
        if (h.rownum)
            unimplemented();
        if (!h.outer.empty())
            ora(30563, "outer join operator (+) is not allowed here");
        if (!h.groupOk)
            ora(core.groupKeys.empty() ? 937 : 979,
                core.groupKeys.empty() ? "not a single-group group function" : "not a GROUP BY expression");
        havingSql = h.sql;
        havingAgg = true;
    }
    const std::size_t afterHaving = pos_;
    const bool setOpFollows = atWord("UNION") || atWord("MINUS") || atWord("INTERSECT");
    compoundMember = compoundMember || setOpFollows;
    const bool orderFollows = !compoundMember && atWord("ORDER");
    if (!bounds.empty())
        core.limitSql = rownumLimit(bounds);

    // The select list, with the GROUP BY keys in force.
    auto needsWrap = [&](bool anyAgg) {
        return !core.limitSql.empty() &&
               (!groupSql.empty() || havingAgg || distinct || orderFollows || anyAgg);
    };
    bool wrap = needsWrap(false);
    bool anyAgg = false, anyRowid = false, anyUngrouped = false;
    const std::set<std::string> none;
    auto parseList = [&] {
        if (wrap) {
            // ROWNUM counts the rows before grouping, DISTINCT and sorting: the rows are limited in a
            // derived table with the one table's columns (and its rowid) and the rest runs on top. (OFFSET 0
            // keeps SQLite from merging it into the outer query, which would sort before limiting.)
            Scope& scope = scopes_[scopeIndex];
            if (scope.tables.size() != 1 || scope.tables.front().ansi)
                unimplemented();
            TableRef& t = scope.tables.front();
            if (!t.base.empty())
                t.rowid = ident(t.exposed) + ".\"ocisqlite\"\"rowid\"";
        }
        pos_ = listStart;
        groupKeys_ = core.groupKeys.empty() ? &none : &core.groupKeys;
        anyAgg = anyRowid = anyUngrouped = false;
        std::string list = selectList(core, topLevel, anyAgg, anyRowid, anyUngrouped);
        groupKeys_ = nullptr;
        return list;
    };
    std::string list = parseList();
    if (!atWord("FROM"))
        ora(923, "FROM keyword not found where expected");
    if (!wrap && needsWrap(anyAgg)) {
        wrap = true;
        if (anyRowid)
            list = parseList();
    }
    pos_ = afterHaving;
    core.grouped = !groupSql.empty() || anyAgg || havingAgg;
    if (core.grouped && anyUngrouped)
        ora(groupSql.empty() ? 937 : 979,
            groupSql.empty() ? "not a single-group group function" : "not a GROUP BY expression");
    core.tables = scopes_[scopeIndex].tables;

    std::string from = core.fromSql;
    std::string whereSql = core.whereSql;
    std::string limit;
    if (wrap) {
        const TableRef& t = core.tables.front();
        const std::string inner = t.base.empty() ? "*" : "rowid AS \"ocisqlite\"\"rowid\", *";
        from = "(SELECT " + inner + " FROM " + t.sql + (whereSql.empty() ? "" : " WHERE " + whereSql) +
               " LIMIT " + core.limitSql + " OFFSET 0) AS " +
               ident(t.exposed.empty() ? std::string("ocisqlite\"rows") : t.exposed);
        whereSql.clear();
    } else if (!core.limitSql.empty()) {
        limit = " LIMIT " + core.limitSql;
    }
    core.sql = head + list + " FROM " + from;
    if (!whereSql.empty())
        core.sql += " WHERE " + whereSql;
    if (!groupSql.empty()) {
        std::string g;
        for (const std::string& s : groupSql)
            g += (g.empty() ? "" : ", ") + s;
        core.sql += " GROUP BY " + g;
    }
    if (!havingSql.empty())
        core.sql += " HAVING " + havingSql;
    core.sql += limit;
    // SQLite takes LIMIT only at the end of a compound: a member with its own limit becomes a sub-query.
    if (!limit.empty() && compoundMember)
        core.sql = "SELECT * FROM (" + core.sql + ")";
    return core;
}

std::string Parser::selectList(SelectCore& core, bool topLevel, bool& anyAgg, bool& anyRowid,
                               bool& anyUngrouped) {
    std::string list;
    core.out.clear();
    core.outKnown = true;
    const std::size_t scopeIndex = scopes_.size() - 1;
    do {
        std::string item;
        if (acceptOp("*")) {
            item = "*";
            for (const TableRef& t : scopes_[scopeIndex].tables) {
                core.outKnown = core.outKnown && t.known;
                for (const ColumnInfo& c : t.columns)
                    core.out.push_back({c.name, c.type, c.notNull && !t.optional});
            }
            anyUngrouped = true;
        } else if (isNameToken(peek()) && atOp(".", 1) && atOp("*", 2)) {
            const std::string q = next().text;
            next();
            next();
            const TableRef* found = nullptr;
            for (const TableRef& t : scopes_[scopeIndex].tables)
                if (t.exposed == q)
                    found = &t;
            if (!found)
                ora(904, "\"" + q + "\": invalid identifier");
            core.outKnown = core.outKnown && found->known;
            for (const ColumnInfo& c : found->columns)
                core.out.push_back({c.name, c.type, c.notNull && !found->optional});
            item = ident(q) + ".*";
            anyUngrouped = true;
        } else {
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
                    alias = derivedName(
                        src_.substr(tokens_[first].begin, tokens_[last].end - tokens_[first].begin));
            }
            if (!e.outer.empty())
                ora(30563, "outer join operator (+) is not allowed here");
            anyAgg = anyAgg || e.agg;
            anyRowid = anyRowid || e.kind == Expr::Kind::Rowid;
            anyUngrouped = anyUngrouped || !e.groupOk;
            if (topLevel && !e.type.empty())
                out_.columnTypes[alias] = e.type;
            core.out.push_back({alias, e.type, neverNull(e)});
            item = e.sql + " AS " + ident(alias);
        }
        list += (list.empty() ? "" : ", ") + item;
    } while (acceptOp(","));
    return list;
}

std::string Parser::fromClause() {
    std::string sql = tableRef();
    for (;;) {
        if (acceptOp(",")) {
            sql += ", " + tableRef();
            continue;
        }
        std::string join;
        bool optional = false;
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
            optional = true;
        } else if (acceptWord("CROSS")) {
            if (!acceptWord("JOIN"))
                ora(905, "missing keyword");
            sql += " CROSS JOIN " + tableRef();
            scopes_.back().tables.back().ansi = true;
            continue;
        } else {
            return sql;
        }
        sql += join + tableRef();
        scopes_.back().tables.back().ansi = true;
        scopes_.back().tables.back().optional = optional;
        if (!acceptWord("ON"))
            ora(905, "missing keyword");
        const Expr on = expr();
        if (!on.outer.empty())
            ora(25156, "old style outer join (+) cannot be used with ANSI joins");
        if (on.rownum)
            unimplemented();
        sql += " ON " + on.sql;
    }
}

std::string Parser::tableRef(bool allowAlias) {
    std::string sql;
    TableRef ref;
    if (acceptOp("(")) {
        pushScope();
        SelectCore inner;
        sql = "(" + query(false, &inner) + ")";
        popScope();
        expectOp(")");
        ref.columns = inner.out;
        ref.known = inner.outKnown;
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
        Cte* cte = nullptr;
        if (schema.empty())
            for (auto level = ctes_.rbegin(); level != ctes_.rend() && !cte; ++level) {
                auto it = level->find(tableName);
                if (it != level->end())
                    cte = &it->second;
            }
        if (cte) {
            // A WITH name; read inside its own body it makes the WITH recursive.
            if (cte->defining)
                cte->selfReferenced = true;
            ref.columns = cte->table.columns;
            ref.known = cte->table.known;
            sql = ident(tableName);
        } else if (tableName == "DUAL" && (schema.empty() || schema == "SYS")) {
            sql = "(SELECT 'X' AS \"DUMMY\")";
            ref.columns = {{"DUMMY", "VARCHAR2(1)"}};
            ref.known = true;
        } else if (tableName == "V$SESSION" || tableName == "V_$SESSION") {
            out_.usesSessionView = true;
            sql = "temp.\"ocisqlite\"\"v$session\"";
            ref.columns = {{"SID", "NUMBER"},
                           {"USERNAME", "VARCHAR2(128)"},
                           {"MODULE", "VARCHAR2(48)"},
                           {"ACTION", "VARCHAR2(32)"},
                           {"CLIENT_INFO", "VARCHAR2(64)"}};
            ref.known = true;
        } else {
            const TableRef named = namedTable(tableName);
            ref.base = named.base;
            ref.object = named.object;
            ref.columns = named.columns;
            ref.known = named.known;
            sql = ident(ref.base);
        }
    }
    if (allowAlias && atWord("AS"))
        ora(933, "SQL command not properly ended");
    if (allowAlias && isNameToken(peek()))
        ref.exposed = next().text;
    if (!ref.exposed.empty() && ref.exposed != ref.base && !(sql.size() > 1 && sql == ident(ref.exposed)))
        sql += " AS " + ident(ref.exposed);
    ref.sql = sql;
    ref.rowid = (ref.exposed.empty() ? std::string() : ident(ref.exposed) + ".") + "rowid";
    scopes_.back().tables.push_back(ref);
    return sql;
}

std::string Parser::orderBy(const SelectCore& core, bool compound) {
    next(); // ORDER
    if (!acceptWord("BY"))
        ora(924, "missing BY keyword");
    std::vector<std::string> names;
    for (const ColumnInfo& c : core.out)
        names.push_back(c.name);
    auto endOfKey = [&](std::size_t ahead) {
        const Token& t = peek(ahead);
        return t.type == TokenType::End || t.is(",") || t.is(")") || t.isWord("ASC") || t.isWord("DESC") ||
               t.isWord("NULLS") || t.isWord("FOR");
    };
    // Whether the select-list column a position or name stands for is never NULL. A compound's other
    // members, or a list with columns the translator does not know, may hold NULL there.
    auto outputNeverNull = [&](auto matches) {
        if (compound || !core.outKnown)
            return false;
        bool any = false;
        for (std::size_t i = 0; i < core.out.size(); ++i)
            if (matches(i, core.out[i])) {
                if (!core.out[i].notNull)
                    return false;
                any = true;
            }
        return any;
    };
    std::string sql;
    do {
        std::string item;
        bool neverNullKey = false;
        if (peek().type == TokenType::Number && endOfKey(1)) {
            item = next().text;
            const bool digits = item.size() < 6 && std::all_of(item.begin(), item.end(), [](char ch) {
                                    return ch >= '0' && ch <= '9';
                                });
            const std::size_t position = digits ? std::stoul(item) : 0;
            neverNullKey =
                outputNeverNull([&](std::size_t i, const ColumnInfo&) { return i + 1 == position; });
        } else if (isNameToken(peek()) && endOfKey(1) &&
                   std::find(names.begin(), names.end(), peek().text) != names.end()) {
            const std::string n = next().text;
            item = ident(n); // a select-list name
            neverNullKey = outputNeverNull([&](std::size_t, const ColumnInfo& c) { return c.name == n; });
        } else if (compound) {
            ora(1785, "ORDER BY item must be the number of a SELECT-list expression");
        } else {
            const std::set<std::string> none;
            if (core.grouped)
                groupKeys_ = &core.groupKeys;
            const Expr e = expr();
            groupKeys_ = nullptr;
            if (e.rownum)
                unimplemented();
            if (!e.outer.empty())
                ora(30563, "outer join operator (+) is not allowed here");
            if (core.grouped && !e.groupOk)
                ora(core.groupKeys.empty() ? 937 : 979, core.groupKeys.empty()
                                                            ? "not a single-group group function"
                                                            : "not a GROUP BY expression");
            item = e.sql;
            neverNullKey = neverNull(e);
        }
        bool desc = false;
        if (acceptWord("DESC"))
            desc = true;
        else
            acceptWord("ASC");
        item += desc ? " DESC" : " ASC";
        // Oracle sorts NULL as the largest value: last ascending, first descending. A key that is never NULL
        // needs no NULLS clause, and without one SQLite's sorter compares integers and texts directly.
        if (acceptWord("NULLS")) {
            if (acceptWord("FIRST"))
                item += " NULLS FIRST";
            else if (acceptWord("LAST"))
                item += " NULLS LAST";
            else
                ora(933, "SQL command not properly ended");
        } else if (!neverNullKey) {
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

Expr Parser::make(std::string sql, std::string type, const std::vector<const Expr*>& kids) const {
    Expr e;
    e.sql = std::move(sql);
    e.type = std::move(type);
    e.constant = true;
    bool kidsOk = true;
    for (const Expr* k : kids) {
        // ROWNUM bounds stand only as a condition of a WHERE clause.
        if (k->kind == Expr::Kind::RownumBound)
            unimplemented();
        e.constant = e.constant && k->constant;
        e.agg = e.agg || k->agg;
        e.rownum = e.rownum || k->rownum;
        kidsOk = kidsOk && k->groupOk;
        if (!k->outer.empty())
            mergeNames(e.outer, k->outer);
        if (trackRefs_)
            mergeNames(e.refs, k->refs);
    }
    e.groupOk = kidsOk || grouped(e.sql);
    return e;
}

Expr Parser::chain(const std::vector<Expr>& terms, const std::string& op) {
    if (terms.size() == 1)
        return terms.front();
    countTerms(terms.size());
    std::vector<std::string> parts;
    parts.reserve(terms.size());
    std::vector<const Expr*> kids;
    kids.reserve(terms.size());
    for (const Expr& t : terms) {
        parts.push_back(t.sql);
        kids.push_back(&t);
    }
    Expr e = make(joinChain(std::move(parts), " " + op + " "), "", kids);
    if (op == "OR" && !e.outer.empty())
        ora(1719, "outer join operator (+) not allowed in operand of OR or IN");
    return e;
}

Expr Parser::expr() {
    DepthGuard guard(depth_);
    return orExpr();
}

// The AND-ed terms of a condition (WHERE), so that ROWNUM bounds and (+) joins can be taken out of it.
std::vector<Expr> Parser::conditionTerms() {
    DepthGuard guard(depth_);
    std::vector<Expr> terms;
    terms.push_back(notExpr());
    while (acceptWord("AND"))
        terms.push_back(notExpr());
    if (!atWord("OR"))
        return terms;
    std::vector<Expr> ors;
    ors.push_back(chain(terms, "AND"));
    while (acceptWord("OR"))
        ors.push_back(andExpr());
    return {chain(ors, "OR")};
}

Expr Parser::orExpr() {
    Expr first = andExpr();
    if (!atWord("OR"))
        return first;
    std::vector<Expr> terms;
    terms.push_back(std::move(first));
    while (acceptWord("OR"))
        terms.push_back(andExpr());
    return chain(terms, "OR");
}

Expr Parser::andExpr() {
    Expr first = notExpr();
    if (!atWord("AND"))
        return first;
    std::vector<Expr> terms;
    terms.push_back(std::move(first));
    while (acceptWord("AND"))
        terms.push_back(notExpr());
    return chain(terms, "AND");
}

Expr Parser::notExpr() {
    if (acceptWord("NOT")) {
        DepthGuard guard(depth_);
        const Expr e = notExpr();
        if (e.kind == Expr::Kind::RownumBound)
            unimplemented();
        return make("(NOT " + e.sql + ")", "", {&e});
    }
    return predicate();
}

std::string Parser::rowidCompare(const Expr& rowid, const Expr& other, const std::string& op) {
    const std::string& column = rowid.rowidColumn;
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

Expr Parser::rownumBound(const std::string& op, const Expr& value) const {
    Expr e = make(value.sql, "", {&value});
    e.kind = Expr::Kind::RownumBound;
    e.rownumOp = op;
    e.rownum = true;
    e.constant = false;
    e.groupOk = false;
    return e;
}

// A text literal as the number Oracle would convert it to; ORA-01722 when it is none (raised when the
// statement runs, as Oracle does).
std::string numberLiteral(const std::string& text) {
    std::size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ')
        ++b;
    while (e > b && text[e - 1] == ' ')
        --e;
    const std::string t = text.substr(b, e - b);
    bool digit = false, ok = !t.empty();
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    bool dot = false, exp = false;
    for (; i < t.size() && ok; ++i) {
        const char c = t[i];
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c == '.' && !dot && !exp)
            dot = true;
        else if ((c == 'e' || c == 'E') && digit && !exp) {
            exp = true;
            if (i + 1 < t.size() && (t[i + 1] == '+' || t[i + 1] == '-'))
                ++i;
            if (i + 1 >= t.size())
                ok = false;
        } else
            ok = false;
    }
    if (ok && digit) {
        std::string n = t;
        if (n[0] == '+')
            n.erase(0, 1);
        if (n[0] == '.')
            n.insert(0, "0");
        else if (n.size() > 1 && n[0] == '-' && n[1] == '.')
            n.insert(1, "0");
        if (n.back() == '.')
            n.pop_back();
        return n;
    }
    return "ora_num(" + quoteString(text) + ")";
}

// e converted as Oracle converts it to compare with subject: text to a number against a NUMBER, text to a
// date against a DATE, a literal blank-padded to the width of a CHAR column.
Expr Parser::coerceTo(const Expr& subject, Expr e) const {
    const Cat s = category(subject.type);
    const Cat c = e.kind == Expr::Kind::String ? Cat::Text : category(e.type);
    if (s == Cat::Number && (c == Cat::Text || c == Cat::Char || e.kind == Expr::Kind::Bind)) {
        e.sql = e.kind == Expr::Kind::String ? numberLiteral(e.value) : "ora_num(" + e.sql + ")";
        e.type = "NUMBER";
        return e;
    }
    if (s == Cat::Date && (c == Cat::Text || c == Cat::Char || e.kind == Expr::Kind::Bind)) {
        e.sql = "to_date(" + e.sql + ")";
        e.type = "DATE";
        return e;
    }
    if ((s == Cat::Date && c == Cat::Number) || (s == Cat::Number && c == Cat::Date))
        inconsistent(typeName(s), typeName(c));
    if (s == Cat::Char && e.kind == Expr::Kind::String) {
        const std::size_t width = charLength(subject.type);
        std::string v = e.value;
        while (charCount(v) > width && !v.empty() && v.back() == ' ')
            v.pop_back();
        if (charCount(v) <= width) {
            v.append(width - charCount(v), ' ');
            e.sql = quoteString(v);
            e.value = v;
        }
    }
    return e;
}

Expr Parser::compare(Expr l, std::string op, Expr r) {
    auto flip = [](const std::string& o) {
        if (o == "<")
            return std::string(">");
        if (o == ">")
            return std::string("<");
        if (o == "<=")
            return std::string(">=");
        if (o == ">=")
            return std::string("<=");
        return o;
    };
    if (l.kind == Expr::Kind::Rownum && r.constant && op != "<>")
        return rownumBound(op, r);
    if (r.kind == Expr::Kind::Rownum && l.constant && op != "<>")
        return rownumBound(flip(op), l);
    if (op == "=" || op == "<>") {
        std::string sql;
        if (l.kind == Expr::Kind::Rowid)
            sql = rowidCompare(l, r, op);
        else if (r.kind == Expr::Kind::Rowid)
            sql = rowidCompare(r, l, op);
        if (!sql.empty())
            return make(sql, "", {&l, &r});
    }
    const Cat lc = l.kind == Expr::Kind::String ? Cat::Text : category(l.type);
    const Cat rc = r.kind == Expr::Kind::String ? Cat::Text : category(r.type);
    auto textual = [](Cat c, const Expr& e) {
        return c == Cat::Text || c == Cat::Char || e.kind == Expr::Kind::Bind;
    };
    // CHAR values compare blank-padded (a text literal is a CHAR value too); VARCHAR2 values and binds do
    // not.
    const bool lChar = lc == Cat::Char || l.kind == Expr::Kind::String;
    const bool rChar = rc == Cat::Char || r.kind == Expr::Kind::String;
    if ((lc == Cat::Number || lc == Cat::Date) && textual(rc, r)) {
        r = coerceTo(l, std::move(r));
    } else if ((rc == Cat::Number || rc == Cat::Date) && textual(lc, l)) {
        l = coerceTo(r, std::move(l));
    } else if ((lc == Cat::Number && rc == Cat::Date) || (lc == Cat::Date && rc == Cat::Number)) {
        inconsistent(typeName(lc), typeName(rc));
    } else if (lChar && rChar) {
        bool padded = false;
        if (lc == Cat::Char && r.kind == Expr::Kind::String) {
            r = coerceTo(l, std::move(r));
            padded = charCount(r.value) == charLength(l.type);
        } else if (rc == Cat::Char && l.kind == Expr::Kind::String) {
            l = coerceTo(r, std::move(l));
            padded = charCount(l.value) == charLength(r.type);
        } else if (lc == Cat::Char && rc == Cat::Char) {
            padded = charLength(l.type) == charLength(r.type);
        }
        if (!padded)
            return make("(rtrim(" + l.sql + ", ' ') " + op + " rtrim(" + r.sql + ", ' '))", "", {&l, &r});
    }
    return make("(" + l.sql + " " + op + " " + r.sql + ")", "", {&l, &r});
}

Expr Parser::subquery() {
    pushScope();
    SelectCore inner;
    const std::string sub = query(false, &inner);
    popScope();
    Expr e;
    e.sql = "(" + sub + ")";
    if (inner.out.size() == 1)
        e.type = inner.out.front().type;
    e.groupOk = true;
    return e;
}

Expr Parser::predicate() {
    if (acceptWord("EXISTS")) {
        expectOp("(");
        Expr sub = subquery();
        expectOp(")");
        sub.sql = "(EXISTS " + sub.sql + ")";
        sub.type.clear();
        return sub;
    }
    Expr l = additive();
    const Token& t = peek();
    if (t.type == TokenType::Op && (t.text == "=" || t.text == "<>" || t.text == "!=" || t.text == "^=" ||
                                    t.text == "<" || t.text == ">" || t.text == "<=" || t.text == ">=")) {
        std::string op = next().text;
        if (op == "!=" || op == "^=")
            op = "<>";
        Expr r = additive();
        return compare(std::move(l), op, std::move(r));
    }
    if (acceptWord("IS")) {
        const bool negated = acceptWord("NOT");
        if (!acceptWord("NULL"))
            ora(908, "missing NULL keyword");
        if (l.rownum)
            unimplemented();
        return make("(" + l.sql + (negated ? " IS NOT NULL)" : " IS NULL)"), "", {&l});
    }
    const bool negated = atWord("NOT") && (atWord("LIKE", 1) || atWord("IN", 1) || atWord("BETWEEN", 1));
    if (negated)
        next();
    const std::string notText = negated ? " NOT" : "";
    if (l.rownum && (atWord("LIKE") || atWord("IN") || atWord("BETWEEN")))
        unimplemented();
    if (acceptWord("LIKE")) {
        const Expr pattern = additive();
        std::string sql = "(" + l.sql + notText + " LIKE " + pattern.sql;
        std::vector<const Expr*> kids{&l, &pattern};
        Expr escape;
        if (acceptWord("ESCAPE")) {
            escape = additive();
            sql += " ESCAPE " + escape.sql;
            kids.push_back(&escape);
        }
        return make(sql + ")", "", kids);
    }
    if (acceptWord("IN")) {
        expectOp("(");
        std::string inner;
        std::vector<Expr> items;
        if (atWord("SELECT") || atWord("WITH")) {
            Expr sub = subquery();
            inner = sub.sql.substr(1, sub.sql.size() - 2);
            items.push_back(std::move(sub));
        } else {
            do {
                items.push_back(coerceTo(l, expr()));
            } while (acceptOp(","));
            countTerms(items.size());
            std::size_t size = 0;
            for (const Expr& i : items)
                size += i.sql.size() + 2;
            inner.reserve(size);
            for (const Expr& i : items) {
                if (!inner.empty())
                    inner += ", ";
                inner += i.sql;
            }
        }
        expectOp(")");
        std::vector<const Expr*> kids{&l};
        for (const Expr& i : items)
            kids.push_back(&i);
        Expr e = make("(" + l.sql + notText + " IN (" + inner + "))", "", kids);
        if (!e.outer.empty())
            ora(1719, "outer join operator (+) not allowed in operand of OR or IN");
        return e;
    }
    if (acceptWord("BETWEEN")) {
        const Expr low = coerceTo(l, additive());
        if (!acceptWord("AND"))
            ora(905, "missing keyword");
        const Expr high = coerceTo(l, additive());
        return make("(" + l.sql + notText + " BETWEEN " + low.sql + " AND " + high.sql + ")", "",
                    {&l, &low, &high});
    }
    return l;
}

// The value of an operand of arithmetic: a number, or ORA-01722 for text that is none.
std::string numeric(const Expr& e) {
    if (e.kind == Expr::Kind::String)
        return numberLiteral(e.value);
    const Cat c = category(e.type);
    if (c == Cat::Number || e.kind == Expr::Kind::Null)
        return e.sql;
    if (c == Cat::Date)
        inconsistent("NUMBER", "DATE");
    return "ora_num(" + e.sql + ")";
}

Expr Parser::sum(Expr first, std::vector<std::pair<std::string, Expr>> terms) {
    const bool dates = category(first.type) == Cat::Date ||
                       std::any_of(terms.begin(), terms.end(),
                                   [](const auto& t) { return category(t.second.type) == Cat::Date; });
    if (dates) {
        // DATE arithmetic, left to right: date +/- days is a date, date - date a number of days.
        Expr acc = std::move(first);
        for (auto& [op, t] : terms) {
            const bool accDate = category(acc.type) == Cat::Date, tDate = category(t.type) == Cat::Date;
            std::string sql, type = "DATE";
            if (accDate && tDate) {
                if (op == "+")
                    ora(975, "date + date not allowed");
                sql = "ora_date_diff(" + acc.sql + ", " + t.sql + ")";
                type = "NUMBER";
            } else if (accDate) {
                sql = std::string(op == "+" ? "ora_date_add(" : "ora_date_sub(") + acc.sql + ", " +
                      numeric(t) + ")";
            } else if (op == "+") {
                sql = "ora_date_add(" + t.sql + ", " + numeric(acc) + ")";
            } else {
                inconsistent("NUMBER", "DATE");
            }
            acc = make(sql, type, {&acc, &t});
        }
        return acc;
    }
    countTerms(terms.size() + 1);
    std::vector<const Expr*> kids{&first};
    for (const auto& t : terms)
        kids.push_back(&t.second);
    std::string sql;
    if (terms.size() + 1 <= kChainGroup) {
        sql = "(" + numeric(first);
        for (const auto& [op, t] : terms)
            sql += " " + op + " " + numeric(t);
        sql += ")";
    } else {
        // A long chain is regrouped, so a subtraction becomes the addition of the negated term.
        std::vector<std::string> parts{numeric(first)};
        for (const auto& [op, t] : terms)
            parts.push_back(op == "-" ? "(-" + numeric(t) + ")" : numeric(t));
        sql = joinChain(std::move(parts), " + ");
    }
    return make(sql, "NUMBER", kids);
}

Expr Parser::additive() {
    Expr acc = multiplicative();
    for (;;) {
        if (atOp("||")) {
            // Oracle's || treats NULL as an empty text; ora_concat returns NULL only for an empty result.
            std::vector<Expr> parts;
            parts.push_back(std::move(acc));
            while (acceptOp("||"))
                parts.push_back(multiplicative());
            countTerms(parts.size());
            std::vector<std::string> args;
            std::vector<const Expr*> kids;
            for (const Expr& p : parts) {
                // A DATE in a text is written in the session's date format.
                args.push_back(category(p.type) == Cat::Date ? "to_char(" + p.sql + ")" : p.sql);
                kids.push_back(&p);
            }
            acc = make(chunkedCall("ora_concat", std::move(args)), kText, kids);
        } else if (atOp("+") || atOp("-")) {
            std::vector<std::pair<std::string, Expr>> terms;
            while (atOp("+") || atOp("-")) {
                const std::string op = next().text;
                terms.emplace_back(op, multiplicative());
            }
            acc = sum(std::move(acc), std::move(terms));
        } else {
            return acc;
        }
    }
}

Expr Parser::multiplicative() {
    Expr acc = unary();
    for (;;) {
        if (atOp("*")) {
            std::vector<Expr> factors;
            factors.push_back(std::move(acc));
            while (acceptOp("*"))
                factors.push_back(unary());
            countTerms(factors.size());
            std::vector<std::string> parts;
            std::vector<const Expr*> kids;
            for (const Expr& f : factors) {
                parts.push_back(numeric(f));
                kids.push_back(&f);
            }
            acc = make(joinChain(std::move(parts), " * "), "NUMBER", kids);
        } else if (atOp("/")) {
            // Oracle divides exactly (7/2 is 3.5) and refuses a zero divisor (ORA-01476).
            std::vector<Expr> operands;
            operands.push_back(std::move(acc));
            while (acceptOp("/"))
                operands.push_back(unary());
            countTerms(operands.size());
            std::vector<std::string> args;
            std::vector<const Expr*> kids;
            for (const Expr& o : operands) {
                args.push_back(numeric(o));
                kids.push_back(&o);
            }
            acc = make(chunkedCall("ora_div", std::move(args)), "NUMBER", kids);
        } else {
            return acc;
        }
    }
}

Expr Parser::unary() {
    if (atOp("+") || atOp("-")) {
        DepthGuard guard(depth_);
        const std::string op = next().text;
        const Expr e = unary();
        if (op == "+")
            return e;
        if (e.kind == Expr::Kind::Number) {
            Expr n = e;
            n.sql = "(-" + e.sql + ")";
            n.kind = Expr::Kind::Other;
            return n;
        }
        return make("(-" + numeric(e) + ")", "NUMBER", {&e});
    }
    return primary();
}

Expr Parser::primary() {
    const Token& t = peek();
    auto literal = [](Expr::Kind kind, std::string sql, std::string type) {
        Expr e;
        e.kind = kind;
        e.sql = std::move(sql);
        e.type = std::move(type);
        e.constant = true;
        return e;
    };
    switch (t.type) {
    case TokenType::Number: {
        next();
        Expr e = literal(Expr::Kind::Number, t.text, "NUMBER");
        e.value = t.text;
        return e;
    }
    case TokenType::String: {
        next();
        if (t.text.empty()) // Oracle's empty string is NULL
            return literal(Expr::Kind::Null, "NULL", "");
        Expr e = literal(Expr::Kind::String, quoteString(t.text), kText);
        e.value = t.text;
        return e;
    }
    case TokenType::Bind: {
        next();
        Expr e = literal(Expr::Kind::Bind, addBind(t.text), "");
        e.name = t.text;
        return e;
    }
    case TokenType::Op:
        if (t.text == "(") {
            next();
            if (atWord("SELECT") || atWord("WITH")) {
                Expr sub = subquery();
                expectOp(")");
                return sub;
            }
            Expr e = expr();
            expectOp(")");
            e.sql = "(" + e.sql + ")";
            if (e.kind != Expr::Kind::Bind && e.kind != Expr::Kind::String && e.kind != Expr::Kind::Rowid &&
                e.kind != Expr::Kind::Rownum && e.kind != Expr::Kind::RownumBound)
                e.kind = Expr::Kind::Other;
            return e;
        }
        ora(936, "missing expression");
    case TokenType::Ident:
        if (t.text == "NULL") {
            next();
            return literal(Expr::Kind::Null, "NULL", "");
        }
        if (t.text == "CASE")
            return caseExpr();
        if (t.text == "SYSDATE") {
            next();
            return literal(Expr::Kind::Other, "ora_sysdate()", "DATE");
        }
        if ((t.text == "USER" || t.text == "ROWNUM") && !atOp("(", 1) && !atOp(".", 1)) {
            next();
            if (t.text == "USER")
                return literal(Expr::Kind::Other, quoteString(catalog_.currentUser()), "VARCHAR2(128)");
            // ROWNUM in the select list numbers the rows as they come, before any sorting.
            Expr e;
            e.kind = Expr::Kind::Rownum;
            e.sql = "row_number() OVER ()";
            e.type = "NUMBER";
            e.rownum = true;
            e.groupOk = false;
            return e;
        }
        if (kReserved.count(t.text))
            ora(936, "missing expression");
        if (atOp("(", 1) && !(atOp("+", 2) && atOp(")", 3))) {
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
    const bool quotedLast = tokens_[pos_ - 1].type == TokenType::QuotedIdent;
    bool outerMark = false;
    if (atOp("(") && atOp("+", 1) && atOp(")", 2)) {
        next();
        next();
        next();
        outerMark = true;
    } else if (atOp("(")) {
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
    if (columnsForbidden_)
        ora(984, "column not allowed here");
    if (parts.back() == "ROWID" && !quotedLast) {
        const std::string* qualifier = parts.size() == 2 ? &parts.front() : nullptr;
        const TableRef table = rowidTable(qualifier);
        Expr e;
        e.kind = Expr::Kind::Rowid;
        e.rowidColumn = table.rowid;
        e.rowidObject = table.object;
        e.sql = "ora_rowid(" + std::to_string(table.object) + ", " + table.rowid + ")";
        e.type = "ROWID";
        e.notNull = !table.optional;
        e.groupOk = grouped(e.sql);
        if (trackRefs_)
            e.refs.push_back(table.exposed);
        if (outerMark)
            e.outer.push_back(table.exposed);
        return e;
    }
    const std::string column = parts.back();
    Expr e;
    e.kind = Expr::Kind::Column;
    e.name = column;
    const TableRef* owner = nullptr;
    const ColumnInfo* info = nullptr;
    if (parts.size() == 2) {
        const std::string& q = parts.front();
        for (auto scope = scopes_.rbegin(); scope != scopes_.rend() && !owner; ++scope)
            for (const TableRef& t : scope->tables)
                if (t.exposed == q) {
                    owner = &t;
                    break;
                }
        if (!owner)
            ora(904, "\"" + q + "\".\"" + column + "\": invalid identifier");
        for (const ColumnInfo& c : owner->columns)
            if (c.name == column)
                info = &c;
        if (owner->known && !info)
            ora(904, "\"" + q + "\".\"" + column + "\": invalid identifier");
        e.sql = ident(q) + "." + ident(column);
    } else {
        bool unresolved = false;
        for (auto scope = scopes_.rbegin(); scope != scopes_.rend(); ++scope) {
            int found = 0;
            bool unknownTables = scope->lenient;
            for (const TableRef& t : scope->tables) {
                if (!t.known)
                    unknownTables = true;
                for (const ColumnInfo& c : t.columns)
                    if (c.name == column) {
                        if (owner != &t)
                            ++found;
                        owner = &t;
                        info = &c;
                    }
            }
            if (found > 1)
                ora(918, "column ambiguously defined");
            if (found == 1)
                break;
            if (unknownTables) {
                unresolved = true;
                break;
            }
        }
        if (!owner && !unresolved)
            invalidIdentifier(column);
        e.sql =
            owner && !owner->exposed.empty() ? ident(owner->exposed) + "." + ident(column) : ident(column);
    }
    if (info)
        e.type = info->type;
    e.notNull = owner && info && info->notNull && !owner->optional;
    e.groupOk = grouped(e.sql);
    if (owner && trackRefs_)
        e.refs.push_back(owner->exposed);
    if (outerMark) {
        if (!owner || owner->exposed.empty())
            ora(1416, "two tables cannot be outer-joined to each other");
        e.outer.push_back(owner->exposed);
    }
    return e;
}

TableRef Parser::rowidTable(const std::string* qualifier) const {
    if (qualifier) {
        for (auto scope = scopes_.rbegin(); scope != scopes_.rend(); ++scope)
            for (const TableRef& t : scope->tables)
                if (t.exposed == *qualifier) {
                    if (t.base.empty())
                        ora(1446,
                            "cannot select ROWID from, or sample, a view with DISTINCT, GROUP BY, etc.");
                    return t;
                }
        ora(904, "\"" + *qualifier + "\".\"ROWID\": invalid identifier");
    }
    if (scopes_.empty() || scopes_.back().tables.empty())
        invalidIdentifier("ROWID");
    if (scopes_.back().tables.size() > 1)
        ora(918, "column ambiguously defined");
    const TableRef& t = scopes_.back().tables.front();
    if (t.base.empty())
        ora(1446, "cannot select ROWID from, or sample, a view with DISTINCT, GROUP BY, etc.");
    return t;
}

Expr Parser::caseExpr() {
    next(); // CASE
    std::string sql = "CASE";
    std::string type;
    std::vector<Expr> parts;
    parts.reserve(16);
    auto keep = [&](Expr e) {
        parts.push_back(std::move(e));
        return parts.back().sql;
    };
    std::optional<Expr> subject;
    if (!atWord("WHEN")) {
        subject = expr();
        sql += " " + subject->sql;
    }
    if (!atWord("WHEN"))
        ora(905, "missing keyword");
    while (acceptWord("WHEN")) {
        Expr w = expr();
        if (subject)
            w = coerceTo(*subject, std::move(w));
        sql += " WHEN " + keep(std::move(w));
        if (!acceptWord("THEN"))
            ora(905, "missing keyword");
        Expr r = expr();
        if (type.empty())
            type = r.type;
        sql += " THEN " + keep(std::move(r));
    }
    if (acceptWord("ELSE")) {
        Expr r = expr();
        if (type.empty())
            type = r.type;
        sql += " ELSE " + keep(std::move(r));
    }
    if (!acceptWord("END"))
        ora(905, "missing keyword");
    std::vector<const Expr*> kids;
    if (subject)
        kids.push_back(&*subject);
    for (const Expr& p : parts)
        kids.push_back(&p);
    return make(sql + " END", type, kids);
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
    auto aggregate = [&](std::string sql, std::string type) {
        Expr e = make(std::move(sql), std::move(type), {});
        e.constant = false;
        e.agg = true;
        e.groupOk = true;
        return e;
    };
    if (nameToken.text == "COUNT" && acceptOp("*")) {
        expectOp(")");
        return aggregate("count(*)", "NUMBER");
    }
    if (fn->aggregate && (acceptWord("DISTINCT") || acceptWord("UNIQUE")))
        head = "DISTINCT ";
    else if (fn->aggregate)
        acceptWord("ALL");
    if (!atOp(")")) {
        do {
            args.push_back(expr());
        } while (acceptOp(","));
    }
    expectOp(")");
    if (static_cast<int>(args.size()) < fn->minArgs || static_cast<int>(args.size()) > fn->maxArgs)
        ora(909, "invalid number of arguments");
    if (fn->aggregate && args[0].agg)
        ora(935, "group function is nested too deeply");
    const std::string fname = fn->name;
    std::vector<std::string> sqlArgs;
    for (const Expr& a : args)
        sqlArgs.push_back(a.sql);
    std::string function = fn->sqliteName;
    std::string type;
    if (fname == "TRUNC") {
        // TRUNC of a DATE cuts the time (or to the format's unit), of a number the decimals.
        const Cat c = category(args[0].type);
        if (c == Cat::Date) {
            function = "ora_trunc_date";
            type = "DATE";
        } else if (c == Cat::Number || c == Cat::Text || c == Cat::Char ||
                   args[0].kind == Expr::Kind::String) {
            function = "ora_trunc_number";
            type = "NUMBER";
        }
    } else if (fname == "ADD_MONTHS") {
        const Cat c = args[0].kind == Expr::Kind::String ? Cat::Text : category(args[0].type);
        if (c == Cat::Number)
            inconsistent("DATE", "NUMBER");
        if (c == Cat::Text || c == Cat::Char || args[0].kind == Expr::Kind::Bind)
            sqlArgs[0] = "to_date(" + sqlArgs[0] + ")";
        sqlArgs[1] = numeric(args[1]);
    } else if (fname == "MOD" || fname == "ROUND") {
        for (std::size_t i = 0; i < args.size(); ++i)
            sqlArgs[i] = numeric(args[i]);
    }
    std::string list;
    for (const std::string& a : sqlArgs)
        list += (list.empty() ? "" : ", ") + a;
    std::vector<const Expr*> kids;
    for (const Expr& a : args)
        kids.push_back(&a);
    if (fn->aggregate) {
        Expr e = aggregate(function + "(" + head + list + ")",
                           fn->result == FunctionInfo::Number ? std::string("NUMBER") : args[0].type);
        e.rownum = args[0].rownum;
        e.outer = args[0].outer;
        e.refs = args[0].refs;
        return e;
    }
    std::string sql = function + "(" + list + ")";
    if (fname == "TRIM" || fname == "LTRIM" || fname == "RTRIM") {
        sql = "nullif(" + sql + ", '')"; // a blank-only text trims to NULL
    } else if (fname == "REPLACE") {
        // REPLACE(s, NULL) keeps s; a NULL replacement removes the searched text.
        sql = "nullif(replace(" + sqlArgs[0] + ", coalesce(" + sqlArgs[1] + ", ''), " +
              (args.size() > 2 ? "coalesce(" + sqlArgs[2] + ", '')" : std::string("''")) + "), '')";
    }
    switch (fn->result) {
    case FunctionInfo::Number:
        type = "NUMBER";
        break;
    case FunctionInfo::Text:
        type = kText;
        if (fname == "TO_CHAR" && args.size() == 2 && args[1].kind == Expr::Kind::String) {
            try {
                type = "VARCHAR2(" +
                       std::to_string(std::max<std::size_t>(
                           1, formatDate(OraDate{2000, 12, 28, 23, 59, 59}, args[1].value).size())) +
                       ")";
            } catch (const OraError&) {
                // Not a date format: the function reports it when it runs.
            }
        }
        break;
    case FunctionInfo::Date:
        type = "DATE";
        break;
    case FunctionInfo::FirstArg:
        type = args.empty() ? "" : args[0].type;
        break;
    case FunctionInfo::FirstResult:
        for (std::size_t k = 2; k < args.size() && type.empty(); k += 2)
            type = args[k].type;
        if (type.empty() && args.size() % 2 == 0)
            type = args.back().type;
        break;
    case FunctionInfo::AnyArg:
        for (const Expr& a : args)
            if (type.empty())
                type = a.type;
        break;
    case FunctionInfo::Typed:
        break;
    }
    return make(sql, type, kids);
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

std::string sqliteName(std::string_view oracle) {
    bool lower = false;
    for (char c : oracle)
        lower = lower || (c >= 'a' && c <= 'z');
    if (!lower)
        return std::string(oracle);
    std::string r(oracle);
    r += '"';
    for (char c : oracle)
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
            r += (c >= 'a' && c <= 'z') ? '1' : '0';
    return r;
}

std::string oracleName(std::string_view stored) {
    return std::string(stored.substr(0, stored.find('"')));
}

std::string resolveTable(const CatalogView& catalog, const std::string& name) {
    std::vector<std::string> seen;
    std::string current = name;
    for (;;) {
        if (catalog.hasTable(current))
            return current;
        const auto target = catalog.synonymTarget(current);
        if (!target)
            break;
        if (std::find(seen.begin(), seen.end(), current) != seen.end())
            ora(1775, "looping chain of synonyms");
        seen.push_back(current);
        current = *target;
    }
    if (!seen.empty())
        ora(980, "synonym translation is no longer valid");
    return {};
}

namespace {

// The translator numbers binds ("?3" is binds[2]); SQLite gets plain "?" and the name of each, in order.
std::string positional(const std::string& sql, const std::vector<std::string>& binds,
                       std::vector<std::string>& names) {
    std::string out;
    out.reserve(sql.size());
    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {
            std::size_t j = i + 1;
            while (j < sql.size() && (sql[j] != c || (j + 1 < sql.size() && sql[j + 1] == c)))
                j += sql[j] == c ? 2 : 1;
            j = std::min(j + 1, sql.size());
            out.append(sql, i, j - i);
            i = j;
        } else if (c == '?' && i + 1 < sql.size() && sql[i + 1] >= '0' && sql[i + 1] <= '9') {
            std::size_t n = 0, j = i + 1;
            for (; j < sql.size() && sql[j] >= '0' && sql[j] <= '9'; ++j)
                n = n * 10 + static_cast<std::size_t>(sql[j] - '0');
            names.push_back(binds.at(n - 1));
            out += '?';
            i = j;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

} // namespace

Translation translate(std::string_view oracleSql, const CatalogView& catalog) {
    Translation out;
    Parser parser(oracleSql, catalog, out);
    parser.run();
    out.sql = positional(out.sql, out.binds, out.parameters);
    out.lockRowsSql = positional(out.lockRowsSql, out.binds, out.lockParameters);
    out.mergeInsertSql = positional(out.mergeInsertSql, out.binds, out.mergeParameters);
    // DDL takes no binds.
    if ((out.kind == StatementKind::Create || out.kind == StatementKind::Drop ||
         out.kind == StatementKind::Alter || out.kind == StatementKind::CreateSynonym ||
         out.kind == StatementKind::Truncate) &&
        !out.binds.empty())
        throw OraError(1027, "ORA-01027: bind variables not allowed for data definition operations");
    return out;
}

} // namespace ocisqlite
