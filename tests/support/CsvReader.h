// Reads back a CSV file as the program writes it (UTF-8 with a byte order mark, ";" between values,
// quoted values with doubled quotes, CR LF between rows), independently of the writer, so a round
// trip through both catches a fault in either.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

struct TCsvContent {
    bool Bom = false;
    QList<QStringList> Rows;
};

inline TCsvContent ReadCsv(QByteArray bytes) {
    TCsvContent out;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        out.Bom = true;
        bytes.remove(0, 3);
    }
    const QString text = QString::fromUtf8(bytes);
    QStringList row;
    QString value;
    bool quoted = false, any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                value += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                value += c;
            }
        } else if (c == u'"') {
            quoted = true;
            any = true;
        } else if (c == u';') {
            row << value;
            value.clear();
            any = true;
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            row << value;
            out.Rows << row;
            row.clear();
            value.clear();
            any = false;
            ++i;
        } else {
            value += c;
            any = true;
        }
    }
    if (any || !row.isEmpty()) {
        row << value;
        out.Rows << row;
    }
    return out;
}
