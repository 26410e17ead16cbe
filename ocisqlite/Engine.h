// Statement execution and fetching behind OCIStmtExecute / OCIStmtFetch and the piecewise calls.
#pragma once

#include "Handles.h"

namespace ocisqlite {

sword executeStatement(SvcCtx* svc, Stmt* s, Error* err, ub4 iters, ub4 mode);
sword fetchStatement(Stmt* s, Error* err, ub4 nrows, const char* callName);
sword getPieceInfo(Stmt* s, Error* err, void** hndlpp, ub4* typep, ub1* inOut, ub4* iterp, ub4* idxp,
                   ub1* piecep);
sword setPieceInfo(Handle* h, Error* err, const void* buf, ub4* alenp, ub1 piece, const void* indp,
                   ub2* rcodep);

// Closes a statement's cursor and forgets its execution, keeping what was parsed (statement cache).
void closeCursor(Stmt* s);

// Statements prepared on a connection that is going away lose their SQLite side.
void detachStatements(Connection* conn);

// Oracle's describe values for a declared column type such as "NUMBER(9)" or "VARCHAR2(100)".
ColumnDesc describeDeclaredType(const std::string& declType);

// The text Oracle shows for a number: 0.5 as ".5", whole numbers without a point.
std::string oracleNumberText(double v);

// Records an Oracle error on the error handle and returns OCI_ERROR.
sword fail(Error* err, int code, const std::string& text);

} // namespace ocisqlite
