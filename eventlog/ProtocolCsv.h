// The event log rows as a CSV file a spreadsheet opens with Cyrillic intact: UTF-8 with a byte
// order mark, ";" between values, CR LF between rows, the grid's headers first (the format of
// common's CsvFile, written here with progress and cancel).
#pragma once

#include "BackgroundTask.h"
#include "ProtocolModel.h"

#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

// Writes the headers and exactly the rows given, in their order. A task, when given, is told each
// row written and stops the writing when cancelled. False when the device refused or it was stopped.
bool WriteProtocolCsv(const TProtocolRows& rows, QIODevice& device, TBackgroundTask* task = nullptr);

// Writes the file whole or not at all (a temporary file renamed at the end): false with the reason in
// error when it failed or was stopped; an existing file is then left as it was.
bool SaveProtocolCsv(const TProtocolRows& rows, const QString& fileName, QString& error,
                     TBackgroundTask* task = nullptr);

// "Сохранить в CSV" on a thread of its own: a million rows take seconds.
class TProtocolCsvSave {
public:
    TProtocolCsvSave(TProtocolRows rows, const QString& fileName, std::function<void()> news);

    void Cancel() { FTask.Cancel(); }
    bool Cancelled() const { return FTask.Cancelled(); }
    bool Finished() const { return FTask.Finished(); }
    qint64 RowsWritten() const { return FTask.Progress(); }
    qsizetype RowCount() const { return FRows.Count(); }
    const QString& FileName() const { return FFileName; }
    // Once Finished(): whether the file was written, and why not.
    bool Saved() const { return Finished() && FSaved; }
    QString Error() const { return Finished() ? FError : QString(); }

private:
    const TProtocolRows FRows;
    const QString FFileName;
    bool FSaved = false;
    QString FError;
    TBackgroundTask FTask; // last: starts when everything above is ready, stops first
};
