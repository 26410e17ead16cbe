// The event log rows as a CSV file a spreadsheet opens with Cyrillic intact: UTF-8 with a byte
// order mark, ";" between values, CR LF between rows, the grid's headers first.
#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;
class TProtocolModel;

// One value as written: quoted (inner quotes doubled) when it holds ";", a quote or a line break.
QByteArray ProtocolCsvValue(const QString& text);

// Writes the headers and exactly the rows the grid shows, in its order. False when the device
// refused to write.
bool WriteProtocolCsv(const TProtocolModel& model, QIODevice& device);

// Writes the file whole or not at all (a temporary file renamed at the end). False with the reason
// in error when it failed; an existing file is then left as it was.
bool SaveProtocolCsv(const TProtocolModel& model, const QString& fileName, QString& error);
