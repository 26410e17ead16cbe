// The credential check of the sign-in, without a window: the user table on the main session, the
// workstation address, the permission to work, and the recording of the accepted sign-in.
#pragma once

#include <QString>

#include <functional>

class TOracleQuery;

class TLoginCheck {
public:
    enum TOutcome {
        Accepted, // the row is recorded and the profile loaded
        Refused,  // no user with that name, password, address and permission
        Failed    // no connection, or a statement the server rejected
    };
    struct TResult {
        TOutcome Outcome = Refused;
        int ModalResult = 0; // what the dialog ends with: ReadUserInfo's result on acceptance, else 0
        QString Message;     // Failed: the failure's message
        QString Details;     // Failed: the statement text
    };
    // Loads the profile from the accepted row the query is positioned on; returns the modal result.
    using TReadUserInfo = std::function<int(TOracleQuery&)>;

    // Runs the check on the database module's main session. On acceptance the module's user number is
    // set, the workstation address is written to the user's row and committed, and the session is
    // registered anew with the user's number; a failure in that last step is rolled back and ignored.
    static TResult Check(const QString& name, const QString& password, const TReadUserInfo& readUserInfo);
};
