#include "ProtocolCsv.h"

#include "CsvFile.h"

#include <QIODevice>

#include <vector>

bool WriteProtocolCsv(const TProtocolRows& rows, QIODevice& device, TBackgroundTask* task) {
    QByteArray out("\xEF\xBB\xBF");
    const QStringList headers = TProtocolModel::Headers();
    for (qsizetype i = 0; i < headers.size(); ++i) {
        if (i > 0)
            out += ';';
        AppendCsvValue(out, headers[i]);
    }
    out += "\r\n";
    const qsizetype count = rows.Count();
    if (count > 0) {
        const TProtocolRecords& records = *rows.Records;
        // Program, user and field names repeat: each is encoded once.
        std::vector<QByteArray> names(size_t(records.NameCount()));
        for (int i = 0; i < records.NameCount(); ++i)
            names[size_t(i)] = CsvValue(records.Name(i));
        // Written in pieces: a million rows are not built in memory as one text.
        constexpr qsizetype FlushBytes = 1 << 20;
        for (qsizetype row = 0; row < count; ++row) {
            if (task && task->Cancelled())
                return false;
            const qsizetype record = rows.RecordAt(row);
            out += QByteArray::number(record + 1);
            for (int column = 0; column < TProtocolRecords::ColumnCount; ++column) {
                out += ';';
                const int name = records.NameOf(record, column);
                if (name >= 0)
                    out += names[size_t(name)];
                else
                    AppendCsvValue(out, records.Text(record, column));
            }
            out += "\r\n";
            if (out.size() >= FlushBytes) {
                if (device.write(out) != out.size())
                    return false;
                out.clear();
            }
            if (task)
                task->AddProgress();
        }
    }
    return device.write(out) == out.size();
}

bool SaveProtocolCsv(const TProtocolRows& rows, const QString& fileName, QString& error,
                     TBackgroundTask* task) {
    const bool saved = SaveFileWhole(
        fileName, [&](QIODevice& device) { return WriteProtocolCsv(rows, device, task); }, error);
    if (!saved && task && task->Cancelled())
        error = QStringLiteral("cancelled");
    return saved;
}

TProtocolCsvSave::TProtocolCsvSave(TProtocolRows rows, const QString& fileName, std::function<void()> news)
    : FRows(std::move(rows)), FFileName(fileName),
      FTask([this](TBackgroundTask& task) { FSaved = SaveProtocolCsv(FRows, FFileName, FError, &task); },
            std::move(news)) {}
