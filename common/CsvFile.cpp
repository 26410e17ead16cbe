#include "CsvFile.h"

#include <QSaveFile>

void AppendCsvValue(QByteArray& out, QStringView text) {
    const qsizetype start = out.size();
    out += text.toUtf8();
    auto holds = [&out, start](char c) { return out.indexOf(c, start) >= 0; };
    if (!holds(';') && !holds('"') && !holds('\n') && !holds('\r'))
        return;
    QByteArray quoted = out.mid(start);
    quoted.replace('"', "\"\"");
    out.truncate(start);
    out += '"' + quoted + '"';
}

QByteArray CsvValue(QStringView text) {
    QByteArray out;
    AppendCsvValue(out, text);
    return out;
}

bool WriteCsv(QIODevice& device, const QStringList& titles, qsizetype rows, const TCsvRow& row) {
    QByteArray out("\xEF\xBB\xBF");
    auto add = [&out](const QStringList& values) {
        for (qsizetype i = 0; i < values.size(); ++i) {
            if (i > 0)
                out += ';';
            AppendCsvValue(out, values[i]);
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

bool SaveFileWhole(const QString& fileName, const std::function<bool(QIODevice&)>& write, QString& error) {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    if (!write(file)) {
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

bool SaveCsvFile(const QString& fileName, const QStringList& titles, qsizetype rows, const TCsvRow& row,
                 QString& error) {
    return SaveFileWhole(
        fileName, [&](QIODevice& device) { return WriteCsv(device, titles, rows, row); }, error);
}

QString CsvFileFilter() {
    return QStringLiteral("Файлы CSV (*.csv);;Все файлы (*)");
}
