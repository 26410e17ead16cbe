#include "NoteQuery.h"

#include "OracleBase.h"

void RunGated(const QString& statementText, const std::function<void()>& run,
              const std::function<void(TOracleSession*)>& setSession) {
    if (!CanWrite) {
        if (IsReadStatement(statementText))
            run();
        return;
    }
    run();
    if (MirrorWrites && FOracleBase && !IsReadStatement(statementText) && FOracleBase->ReserveAnswersNow()) {
        try {
            setSession(FOracleBase->BDatabase);
            run();
        } catch (...) {
            // The reserve server did not take the change: stop mirroring until an evaluation
            // switches it on again. The main server's change stands.
            MirrorWrites = false;
        }
        setSession(FOracleBase->ADatabase);
    }
}

TNoteQuery::TNoteQuery(QObject* owner) : TOracleQuery(owner) {
    if (FOracleBase)
        SetSession(FOracleBase->ADatabase);
}

void TNoteQuery::Execute() {
    RunGated(
        SQL().join(QStringLiteral("\r\n")), [this] { TOracleQuery::Execute(); },
        [this](TOracleSession* s) { SetSession(s); });
}
