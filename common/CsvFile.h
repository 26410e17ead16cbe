// Tables saved as CSV files that a spreadsheet opens with Cyrillic intact: UTF-8 with a byte order
// mark, ";" between values, CR LF between rows, the column titles first. A value holding ";", a
// quote or a line break is put in quotes, its quotes doubled.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class QIODevice;

// One value as written.
QByteArray CsvValue(QStringView text);
// Appends one value as written (no copy of the whole row for the usual value without quotes).
void AppendCsvValue(QByteArray& out, QStringView text);

// The values of row `index` (0 to rows - 1), in the order of the titles.
using TCsvRow = std::function<QStringList(qsizetype index)>;

// Writes the titles and the rows, in pieces (a million rows are not built in memory as one text).
// False when the device refused to write.
bool WriteCsv(QIODevice& device, const QStringList& titles, qsizetype rows, const TCsvRow& row);

// Writes a file whole or not at all through write (a temporary file renamed at the end). False with
// the reason in error when write or the file failed; an existing file is then left as it was.
bool SaveFileWhole(const QString& fileName, const std::function<bool(QIODevice&)>& write, QString& error);
// SaveFileWhole of WriteCsv.
bool SaveCsvFile(const QString& fileName, const QStringList& titles, qsizetype rows, const TCsvRow& row,
                 QString& error);

// The file filter of the save dialogs.
QString CsvFileFilter();
