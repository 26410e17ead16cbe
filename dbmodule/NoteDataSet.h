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
    bool NoteNext();
    bool NoteOpen();
    // Opens on the current main session; errors reach the caller.
    void OpenOnMain();
};

// The highest key + 1 from a statement selecting the maximum of a key column as ID: 1 for an
// empty table, -1 when the statement fails. A caller must never use -1 as a key.
int NextId(const QString& sql);
