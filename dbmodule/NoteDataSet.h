#pragma once

#include "OracleData.h"

// The logged dataset: bound to FOracleBase->ADatabase. GatedExecSQL passes the gate of the logged
// query; the Note* operations turn every failure into false without a message (the caller says
// what went wrong in its own words). Opening, fetching and record editing are not gated.
class TNoteDataSet : public TOracleDataSet {
    Q_OBJECT
public:
    explicit TNoteDataSet(QObject* owner = nullptr);

    // ExecSQL through the gate; errors of the main execution reach the caller.
    void GatedExecSQL();
    // On ADatabase: GatedExecSQL and, with commit, CommitAll; on any failure RollbackAll and false.
    bool NoteExecSQL(bool commit);
    // The same, keeping the message of the failure for the caller's own report.
    bool NoteExecSQL(bool commit, QString& error);
    bool NoteNext();
    bool NoteOpen();
    // Opens on the current main session; errors reach the caller.
    void OpenOnMain();
};

// Runs body for each row of an open dataset, from the current one to the last. A fetch that fails
// (NoteNext false, not at the end) stops the walk and keeps what was read; so does a body that
// throws (a column the statement should have returned is missing).
template <typename F> void ForEachRow(TNoteDataSet& dataSet, F body) {
    try {
        while (!dataSet.Eof()) {
            body();
            if (!dataSet.NoteNext())
                break;
        }
    } catch (const std::exception&) {
    }
}

// The text of a failure as the user is shown it: the server's message, or the exception's text.
QString FailureText(const std::exception& error);

// The highest key + 1 from a statement selecting the maximum of a key column as ID: 1 for an
// empty table, -1 when the statement fails. A caller must never use -1 as a key.
int NextId(const QString& sql);
