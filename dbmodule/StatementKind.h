#pragma once

#include <QString>

// A statement that only reads: after trimming every character below code 33 from both ends its
// first six characters are "SELECT" in any case, or its text names RMT_QUERY or AUTO_HOUR in capitals.
// Everything else (INSERT, UPDATE, DELETE, PL/SQL, WITH, a leading comment) modifies.
bool IsReadStatement(const QString& sql);
