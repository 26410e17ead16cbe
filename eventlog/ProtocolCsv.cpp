#include "ProtocolCsv.h"

#include "ProtocolModel.h"

#include <QSaveFile>

QByteArray ProtocolCsvValue(const QString& text) {
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(';') && !bytes.contains('"') && !bytes.contains('\n') && !bytes.contains('\r'))
        return bytes;
    bytes.replace('"', "\"\"");
    return '"' + bytes + '"';
}

bool WriteProtocolCsv(const TProtocolModel& model, QIODevice& device) {
    QByteArray out("\xEF\xBB\xBF");
    auto writeRow = [&out](const QStringList& values) {
        for (qsizetype i = 0; i < values.size(); ++i) {
            if (i > 0)
                out += ';';
            out += ProtocolCsvValue(values[i]);
        }
        out += "\r\n";
    };
    writeRow(TProtocolModel::Headers());
    const int columns = int(TProtocolModel::Headers().size());
    // Written in pieces: a million rows are not built in memory as one text.
    constexpr qsizetype FlushBytes = 1 << 20;
    for (qsizetype row = 0; row < model.ShownCount(); ++row) {
        QStringList values;
        for (int column = 0; column < columns; ++column)
            values << model.CellText(int(row), column);
        writeRow(values);
        if (out.size() >= FlushBytes) {
            if (device.write(out) != out.size())
                return false;
            out.clear();
        }
    }
    return device.write(out) == out.size();
}

bool SaveProtocolCsv(const TProtocolModel& model, const QString& fileName, QString& error) {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    if (!WriteProtocolCsv(model, file)) {
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
