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
    if (!FOracleBase || IsReadStatement(statementText))
        return;
    // A reserve whose probe has gone unanswered is not waited for; the change is noted as missing there.
    if (!MirrorWrites || !FOracleBase->ReserveAnswersNow()) {
        FOracleBase->NoteUnmirroredChange();
        return;
    }
    try {
        FOracleBase->NoteReserveStatement();
        setSession(FOracleBase->BDatabase);
        run();
    } catch (...) {
        // The reserve server did not take the change: stop mirroring until an evaluation
        // switches it on again. The main server's change stands.
        MirrorWrites = false;
        FOracleBase->NoteUnmirroredChange();
    }
    setSession(FOracleBase->ADatabase);
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
