// The statement of the event log search: the change log of a period, with the coded values of four
// well-known fields turned into words by the server, ordered by application and time.
#pragma once

#include <QDateTime>
#include <QStringList>

#include <optional>

// The period as the statement writes it: day.month.four-digit year hours:minutes:seconds (24 h),
// matching the mask 'dd.mm.yyyy hh24:mi:ss'.
QString ProtocolDateText(const QDateTime& moment);

// The lines of the search statement, sent joined by line breaks. With a program number the listing
// is restricted to that application; without one (all programs) the restricting line is left out.
QStringList ProtocolStatement(std::optional<int> program, const QDateTime& start, const QDateTime& end);

// Result columns of the statement, in the order the grid shows them after the running number.
inline constexpr const char* ProtocolColumns[] = {"PRALIAS",     "ALLNAME",    "DTCHANGE",
                                                  "OBJECT_NAME", "OLD_VALUE1", "NEW_VALUE1"};
