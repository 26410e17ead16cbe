#include "CsvFile.h"

#include <QSaveFile>

QByteArray CsvValue(const QString& text) {
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(';') && !bytes.contains('"') && !bytes.contains('\n') && !bytes.contains('\r'))
        return bytes;
    bytes.replace('"', "\"\"");
    return '"' + bytes + '"';
}

bool WriteCsv(QIODevice& device, const QStringList& titles, qsizetype rows, const TCsvRow& row) {
    QByteArray out("\xEF\xBB\xBF");
    auto add = [&out](const QStringList& values) {
        for (qsizetype i = 0; i < values.size(); ++i) {
            if (i > 0)
                out += ';';
            out += CsvValue(values[i]);
        }
        out += "\r\n";
    };
    add(titles);
    constexpr qsizetype FlushBytes = 1 << 20;
    for (qsizetype index = 0; index < rows; ++index) {
        add(row(index));
        if (out.size() >= FlushBytes) {
            if (device.write(out) != out.size())
                return false;
            out.clear();
        }
    }
    return device.write(out) == out.size();
}

bool SaveCsvFile(const QString& fileName, const QStringList& titles, qsizetype rows, const TCsvRow& row,
                 QString& error) {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    if (!WriteCsv(file, titles, rows, row)) {
        error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

QString CsvFileFilter() {
    return QStringLiteral("Файлы CSV (*.csv);;Все файлы (*)");
}
