#include "ReserveWords.h"

#include "ReserveTables.h"

#include <QDateTime>

namespace {

QString Quoted(const QString& text) {
    return QStringLiteral("«") + text + QStringLiteral("»");
}

QString Number(const QVariant& value) {
    const QString text = ReserveCellText(value);
    return text.isNull() ? QStringLiteral("без номера") : QStringLiteral("№ ") + text;
}

QVariant Cell(const TTableDiff& diff, const QVariantList& row, const char* column) {
    const int i = diff.Column(QLatin1String(column));
    return i < 0 ? QVariant() : row.at(i);
}

QString Text(const TTableDiff& diff, const QVariantList& row, const char* column) {
    return ReserveCellText(Cell(diff, row, column));
}

bool Is(const TTableDiff& diff, const char* table) {
    return diff.Table && diff.Table->Name == QLatin1String(table);
}

} // namespace

void TReserveNames::Add(const TReserveTable& table, const TTableRows& rows, ESide side) {
    auto column = [&rows](const char* name) { return int(rows.Columns.indexOf(QLatin1String(name))); };
    if (table.Name == QLatin1String("KMR_USER_PSW")) {
        const int tab = column("TABNUM"), all = column("ALLNAME"), name = column("NAME");
        if (tab < 0)
            return;
        for (const QVariantList& row : rows.Rows) {
            const QString key = ReserveCellText(row.at(tab));
            if (key.isNull() || FUsers[side].contains(key))
                continue;
            const QString full = all < 0 ? QString() : ReserveCellText(row.at(all));
            const QString login = name < 0 ? QString() : ReserveCellText(row.at(name));
            QString text = full.isEmpty() ? QStringLiteral("пользователь № ") + key : full;
            if (!login.isEmpty())
                text += QStringLiteral(" (") + login + QStringLiteral(")");
            FUsers[side].insert(key, text);
        }
    } else if (table.Name == QLatin1String("KMR_PROGRAMMEXE")) {
        const int id = column("ID_PROGRAMMEXE"), alias = column("PRALIAS"), file = column("PRNAME");
        if (id < 0)
            return;
        for (const QVariantList& row : rows.Rows) {
            const QString key = ReserveCellText(row.at(id));
            if (key.isNull() || FPrograms[side].contains(key))
                continue;
            QString text = alias < 0 ? QString() : ReserveCellText(row.at(alias));
            if (text.isEmpty() && file >= 0)
                text = ReserveCellText(row.at(file));
            if (!text.isEmpty())
                FPrograms[side].insert(key, Quoted(text));
        }
    } else if (table.Name == QLatin1String("KMR_GROUP_FOR_PROG")) {
        const int prog = column("ID_PROGRAMM"), group = column("ID_GROUP"), name = column("GROUP_NAME");
        if (prog < 0 || group < 0 || name < 0)
            return;
        for (const QVariantList& row : rows.Rows) {
            const QString key =
                ReserveCellText(row.at(prog)) + QLatin1Char('/') + ReserveCellText(row.at(group));
            const QString text = ReserveCellText(row.at(name));
            if (!FGroups[side].contains(key) && !text.isEmpty())
                FGroups[side].insert(key, Quoted(text));
        }
    }
}

QString TReserveNames::Find(const QHash<QString, QString> (&maps)[2], const QString& key, ESide side) const {
    const QString own = maps[side].value(key);
    return own.isNull() ? maps[1 - side].value(key) : own;
}

QString TReserveNames::User(const QVariant& tabNum, ESide side) const {
    const QString key = ReserveCellText(tabNum);
    if (key.isNull())
        return QStringLiteral("пользователь без номера");
    const QString name = Find(FUsers, key, side);
    return name.isNull() ? QStringLiteral("пользователь № ") + key : name;
}

QString TReserveNames::Program(const QVariant& id, ESide side) const {
    const QString key = ReserveCellText(id);
    if (key.isNull())
        return QStringLiteral("программа без номера");
    const QString name = Find(FPrograms, key, side);
    return name.isNull() ? QStringLiteral("программа № ") + key : name;
}

QString TReserveNames::Group(const QVariant& program, const QVariant& group, ESide side) const {
    const QString g = ReserveCellText(group);
    if (g.isNull())
        return QStringLiteral("группа без номера");
    const QString name = Find(FGroups, ReserveCellText(program) + QLatin1Char('/') + g, side);
    return name.isNull() ? QStringLiteral("группа № ") + g : name;
}

TReserveNames::ESide ReserveRowSide(const TRowChange& change) {
    return change.Kind == TRowChange::OnlyOnReserve ? TReserveNames::Reserve : TReserveNames::Main;
}

QString ReserveTimes(int n) {
    const int last = n % 10, lastTwo = n % 100;
    const bool few = last >= 2 && last <= 4 && !(lastTwo >= 12 && lastTwo <= 14);
    return QString::number(n) + (few ? QStringLiteral(" раза") : QStringLiteral(" раз"));
}

QString DescribeReserveRow(const TTableDiff& diff, const QVariantList& row, const TReserveNames& names,
                           bool identityOnly, TReserveNames::ESide side) {
    if (Is(diff, "KMR_USER_PSW")) {
        const QString full = Text(diff, row, "ALLNAME");
        const QString login = Text(diff, row, "NAME");
        QString text = full.isEmpty() ? QStringLiteral("Пользователь") : full;
        if (!login.isEmpty())
            text += QStringLiteral(" (") + login + QStringLiteral(")");
        return text + QStringLiteral(", ") + Number(Cell(diff, row, "TABNUM"));
    }
    if (Is(diff, "KMR_PROGRAMMEXE")) {
        const QString alias = Text(diff, row, "PRALIAS");
        const QString file = Text(diff, row, "PRNAME");
        QString text = alias.isEmpty() ? QStringLiteral("Программа") : Quoted(alias);
        if (!file.isEmpty())
            text += QStringLiteral(" (") + file + QStringLiteral(")");
        return text + QStringLiteral(", ") + Number(Cell(diff, row, "ID_PROGRAMMEXE"));
    }
    if (Is(diff, "KMR_PROG_FOR_USER"))
        return names.User(Cell(diff, row, "TABNUM"), side) + QStringLiteral(" — программа ") +
               names.Program(Cell(diff, row, "ID_PROGRAMM"), side);
    if (Is(diff, "KMR_GROUP_FOR_PROG")) {
        const QString name = Text(diff, row, "GROUP_NAME");
        QString text = QStringLiteral("Группа ");
        if (!identityOnly)
            text += (name.isEmpty() ? QStringLiteral("без названия") : Quoted(name)) + QLatin1Char(' ');
        return text + Number(Cell(diff, row, "ID_GROUP")) + QStringLiteral(" программы ") +
               names.Program(Cell(diff, row, "ID_PROGRAMM"), side);
    }
    if (Is(diff, "KMR_GROUP_FOR_USER")) {
        QString text = names.User(Cell(diff, row, "TABNUM"), side) + QStringLiteral(" в программе ") +
                       names.Program(Cell(diff, row, "ID_PROGRAMM"), side);
        if (!identityOnly)
            text += QStringLiteral(": группа ") +
                    names.Group(Cell(diff, row, "ID_PROGRAMM"), Cell(diff, row, "ID_GROUP"), side);
        return text;
    }
    if (Is(diff, "KMR_PROP_FOR_PROG")) {
        QString text = QStringLiteral("Свойство ") + Number(Cell(diff, row, "ID_PROP")) +
                       QStringLiteral(" программы ") + names.Program(Cell(diff, row, "ID_PROGRAMM"), side);
        if (!identityOnly) {
            QStringList parts;
            for (const char* c : {"FORM_NAME", "PROP_NAME", "PROP_TYPE"})
                if (!Text(diff, row, c).isEmpty())
                    parts << Text(diff, row, c);
            if (!parts.isEmpty())
                text += QStringLiteral(": ") + parts.join(QLatin1Char('.'));
        }
        return text;
    }
    QStringList cells;
    for (int i = 0; i < diff.Columns.size(); ++i)
        cells << diff.Columns.at(i) + QLatin1Char('=') + DescribeReserveValue(diff, i, row, names, side);
    return cells.join(QStringLiteral(", "));
}

QString DescribeReserveValue(const TTableDiff& diff, int column, const QVariantList& row,
                             const TReserveNames& names, TReserveNames::ESide side) {
    const QString name = diff.Columns.at(column);
    const QVariant value = row.at(column);
    const QString text = ReserveCellText(value);
    if (text.isNull())
        return QStringLiteral("пусто");
    if (name == QLatin1String("PWD"))
        return QStringLiteral("(скрыт)");
    if (name == QLatin1String("WENABLED"))
        return text == QLatin1String("T")   ? QStringLiteral("да")
               : text == QLatin1String("F") ? QStringLiteral("нет")
                                            : Quoted(text);
    if (name == QLatin1String("TABNUM") && !Is(diff, "KMR_USER_PSW"))
        return names.User(value, side);
    if (name == QLatin1String("ID_PROGRAMM"))
        return names.Program(value, side);
    if (name == QLatin1String("ID_GROUP") && !Is(diff, "KMR_GROUP_FOR_PROG"))
        return names.Group(Cell(diff, row, "ID_PROGRAMM"), value, side);
    if (name == QLatin1String(ExecutableLengthColumn))
        return text + QStringLiteral(" байт");
    if (value.typeId() == QMetaType::QDateTime)
        return value.toDateTime().toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
    if (value.typeId() == QMetaType::QString)
        return Quoted(text);
    return text;
}

QString DescribeReserveKind(const TRowChange& change) {
    if (change.Kind == TRowChange::Differs)
        return QStringLiteral("отличается");
    const bool multiset = change.MainCopies + change.ReserveCopies > 1;
    if (!multiset)
        return change.Kind == TRowChange::OnlyOnMain ? QStringLiteral("только на основном сервере")
                                                     : QStringLiteral("только на резервном сервере");
    auto side = [](int n) { return n == 0 ? QStringLiteral("нет") : ReserveTimes(n); };
    return QStringLiteral("на основном ") + side(change.MainCopies) + QStringLiteral(", на резервном ") +
           side(change.ReserveCopies);
}

QStringList DescribeReserveColumns(const TTableDiff& diff, const TRowChange& change,
                                   const TReserveNames& names) {
    QStringList lines;
    for (const int c : change.Changed) {
        const QString title = ReserveColumnTitle(diff.Columns.at(c));
        if (diff.Columns.at(c) == QLatin1String("PWD")) {
            lines << title + QStringLiteral(": отличается");
            continue;
        }
        lines << title + QStringLiteral(": на основном ") +
                     DescribeReserveValue(diff, c, change.Main, names, TReserveNames::Main) +
                     QStringLiteral(", на резервном ") +
                     DescribeReserveValue(diff, c, change.Reserve, names, TReserveNames::Reserve);
    }
    return lines;
}

QString DescribeReserveCounts(const TTableDiff& diff) {
    return QStringLiteral("только на основном %1, только на резервном %2, отличаются %3")
        .arg(diff.Count(TRowChange::OnlyOnMain))
        .arg(diff.Count(TRowChange::OnlyOnReserve))
        .arg(diff.Count(TRowChange::Differs));
}

QStringList DescribeReserveTable(const TTableDiff& diff, const TReserveNames& names) {
    const QString title = diff.Table ? diff.Table->Title : QString();
    QStringList lines;
    if (diff.StructureDiffers()) {
        lines << title + QStringLiteral(": столбцы таблицы различаются");
        if (!diff.MainOnlyColumns.isEmpty())
            lines << QStringLiteral("  только на основном сервере: ") +
                         diff.MainOnlyColumns.join(QStringLiteral(", "));
        if (!diff.ReserveOnlyColumns.isEmpty())
            lines << QStringLiteral("  только на резервном сервере: ") +
                         diff.ReserveOnlyColumns.join(QStringLiteral(", "));
        return lines;
    }
    if (diff.Equal())
        return {title + QStringLiteral(": совпадает")};
    lines << title + QStringLiteral(": ") + DescribeReserveCounts(diff);
    for (const TRowChange& change : diff.Changes) {
        const QVariantList& row = change.Kind == TRowChange::OnlyOnReserve ? change.Reserve : change.Main;
        QString line =
            QStringLiteral("  ") +
            DescribeReserveRow(diff, row, names, change.Kind == TRowChange::Differs, ReserveRowSide(change)) +
            QStringLiteral(" — ") + DescribeReserveKind(change);
        if (change.NullKey)
            line += QStringLiteral(" (ключ не заполнен)");
        lines << line;
        for (const QString& column : DescribeReserveColumns(diff, change, names))
            lines << QStringLiteral("    ") + column;
    }
    return lines;
}
