#include "ReserveRows.h"

#include "Oracle.h"
#include "ReserveTables.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

QString ReserveCellText(const QVariant& value) {
    if (!value.isValid() || value.isNull())
        return QString();
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        return QString::number(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (std::isfinite(d) && std::floor(d) == d && std::fabs(d) < 1e15)
            return QString::number(static_cast<qint64>(d));
        return QString::number(d, 'g', 17);
    }
    case QMetaType::QDateTime:
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case QMetaType::QByteArray:
        return QString::fromLatin1(value.toByteArray().toHex());
    default: {
        // A text never reads back empty (the server stores '' as NULL); keep it non-null anyway.
        const QString text = value.toString();
        return text.isNull() ? QStringLiteral("") : text;
    }
    }
}

QString ReserveRowText(const QVariantList& cells) {
    QString text;
    for (const QVariant& cell : cells) {
        const QString c = ReserveCellText(cell);
        if (c.isNull()) {
            text += QLatin1Char('-');
        } else {
            text += QString::number(c.size());
            text += QLatin1Char(':');
            text += c;
        }
        text += QLatin1Char(';');
    }
    return text;
}

quint64 ReserveRowHash(const QVariantList& cells) {
    // FNV-1a over the UTF-16 text, then the splitmix64 finaliser: sums of such hashes do not cancel.
    const QString text = ReserveRowText(cells);
    quint64 h = 1469598103934665603ULL;
    for (const QChar c : text) {
        h ^= c.unicode();
        h *= 1099511628211ULL;
    }
    h += 0x9E3779B97F4A7C15ULL;
    h = (h ^ (h >> 30)) * 0xBF58476D1CE4E5B9ULL;
    h = (h ^ (h >> 27)) * 0x94D049BB133111EBULL;
    return h ^ (h >> 31);
}

TTableRows ReadTableRows(TOracleSession& session, const TReserveTable& table, bool keepRows,
                         const std::atomic<bool>* cancel, int readBuffer) {
    TOracleQuery query;
    query.SetSession(&session);
    query.SetReadBuffer(readBuffer);
    query.SetSQLText(table.SelectText);
    query.Execute();

    // Which server column feeds which compared column, in name order.
    QList<QPair<QString, int>> named;
    for (int i = 0; i < query.FieldCount(); ++i) {
        const QString name = query.FieldName(i).toUpper();
        if (!table.SkippedColumns.contains(name, Qt::CaseInsensitive))
            named.append({name, i});
    }
    std::sort(named.begin(), named.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    TTableRows rows;
    rows.Kept = keepRows;
    QList<int> source;
    for (const auto& [name, index] : named) {
        rows.Columns << name;
        rows.Types << query.FieldType(index);
        source << index;
    }
    QVariantList cells;
    cells.reserve(source.size());
    for (; !query.Eof(); query.Next()) {
        if (cancel && cancel->load())
            throw TReserveCancelled{};
        cells.clear();
        for (const int index : source)
            cells.append(query.Field(index));
        ++rows.Count;
        rows.Hash += ReserveRowHash(cells);
        if (keepRows)
            rows.Rows.push_back(cells);
    }
    query.Close();
    return rows;
}
