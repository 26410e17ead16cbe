// The rules of the sign-in that need no window and no server: taking a command-line sign-in
// apart, matching the workstation address against a user's address list, the shift-change time
// and the text of the credential statement.
#pragma once

#include <QString>
#include <QStringList>

// A sign-in given as the first command-line parameter: NAME/PASSWORD, optionally followed by "/"
// or "@" and anything (a database name, for instance), which is ignored.
struct TCommandLineLogin {
    QString Name;
    QString Password;
};
TCommandLineLogin ParseCommandLineLogin(const QString& parameter);

// True when the workstation address occurs in the free-form address list as a whole address:
// 10.0.0.1 is admitted by "10.0.0.1; 10.0.0.2" but not by "10.0.0.15". Any separator between the
// addresses serves. An empty list is not handled here: the statement admits it already.
bool AddressListAdmits(const QString& addressList, const QString& address);

// The nearest midnight or noon to `now` (a half rounded to the even multiple), plus 8 hours.
// Both are day numbers (days since 30 December 1899, the fraction being the time of day).
double ShiftTimeAfter(double now);
// What the shift time is when the shift-change password is not shown: 10 000 days ahead.
double ShiftTimeFarAhead(double now);

// The credential statement. Name, password and the address pattern are bind variables
// (:NAME, :PWD, :IPADR_LIKE), so no typed text ever becomes SQL; an empty name or password
// matches only rows where that column is NULL, as the server treats an empty text as NULL.
QStringList CredentialStatement(bool emptyName, bool emptyPassword);
// The value bound to :IPADR_LIKE: rows whose list holds the address anywhere are fetched, and
// AddressListAdmits then keeps only the whole-address matches.
QString AddressPattern(const QString& address);

// The text shown when no user matches.
QString RefusalMessage(const QString& name);
// The question asked when the dialog's cancel button is pressed.
QString CancelQuestion();
