#pragma once

#include "Oracle.h"
#include "StatementKind.h"

#include <functional>

// The gate every logged statement passes (user-interface thread): in edit mode run on the main
// session and, while mirroring, repeat a modifying statement on the reserve session (a failure
// there only switches mirroring off); in view mode run read statements only and skip the rest
// silently. run executes on the session last given to setSession.
void RunGated(const QString& statementText, const std::function<void()>& run,
              const std::function<void(TOracleSession*)>& setSession);

// The logged query: bound to FOracleBase->ADatabase; Execute passes the gate. Errors of the main
// execution reach the caller.
class TNoteQuery : public TOracleQuery {
    Q_OBJECT
public:
    explicit TNoteQuery(QObject* owner = nullptr);
    void Execute() override;
};
