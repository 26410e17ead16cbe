#include "NoteDataSet.h"

#include "NoteQuery.h"
#include "OracleBase.h"

#include <memory>

TNoteDataSet::TNoteDataSet(QObject* owner) : TOracleDataSet(owner) {
    if (FOracleBase)
        SetSession(FOracleBase->ADatabase);
}

void TNoteDataSet::GatedExecSQL() {
    RunGated(
        SQL().join(QStringLiteral("\r\n")), [this] { ExecSQL(); },
        [this](TOracleSession* s) { SetSession(s); });
}

bool TNoteDataSet::NoteExecSQL(bool commit) {
    QString error;
    return NoteExecSQL(commit, error);
}

bool TNoteDataSet::NoteExecSQL(bool commit, QString& error) {
    try {
        if (!FOracleBase)
            throw Exception(QStringLiteral("The database module does not exist"));
        SetSession(FOracleBase->ADatabase);
        GatedExecSQL();
        if (commit)
            FOracleBase->CommitAll();
        return true;
    } catch (const std::exception& e) {
        error = FailureText(e);
    } catch (...) {
        error = QStringLiteral("Unknown error");
    }
    try {
        if (FOracleBase)
            FOracleBase->RollbackAll();
    } catch (...) {
        // The server that failed may also refuse the roll-back; the result is false either way.
    }
    return false;
}

bool TNoteDataSet::NoteNext() {
    try {
        Next();
        return true;
    } catch (...) {
        return false;
    }
}

bool TNoteDataSet::NoteOpen() {
    try {
        OpenOnMain();
        return true;
    } catch (...) {
        return false;
    }
}

void TNoteDataSet::OpenOnMain() {
    SetSession(FOracleBase->ADatabase);
    Open();
}

QString FailureText(const std::exception& error) {
    if (const auto* oracle = dynamic_cast<const Exception*>(&error))
        return oracle->Message().trimmed();
    return QString::fromUtf8(error.what());
}

int NextId(const QString& sql) {
    auto dataSet = std::make_unique<TNoteDataSet>();
    dataSet->SetSQLText(sql);
    if (!dataSet->NoteOpen())
        return -1;
    if (dataSet->IsEmpty())
        return 0;
    try {
        TField* id = dataSet->FieldByName(QStringLiteral("ID"));
        return id->IsNull() ? 1 : id->AsInteger() + 1;
    } catch (...) {
        return -1;
    }
}
