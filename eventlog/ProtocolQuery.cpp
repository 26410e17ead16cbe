#include "ProtocolQuery.h"

namespace {

// Lines 2 to 9 of the statement for one stored value: the CASE that decodes it.
QStringList DecodedValue(const QString& column, const QString& alias) {
    const QString v = QStringLiteral("kmr_protokol.") + column;
    return {
        QStringLiteral("(CASE kmr_protokol.FIELD_NAME"),
        QStringLiteral("when 'openclose' then decode(%1, '0', 'Нереализована', '1', 'Открыта', '2', "
                       "'Закрыта')")
            .arg(v),
        QStringLiteral("when 'sost' then decode(%1, '0', 'Снята', '1', 'Разрешена', '2', 'Отказана', '3', "
                       "'Не расмотрена', '4', 'Перенесена')")
            .arg(v),
        QStringLiteral("when 'dostmer' then decode(SUBSTR(%1, 1,1), '0', '', '1', 'Достаточно. '||SUBSTR(%1, "
                       "2, 20), '2', 'Недостаточно. '||SUBSTR(%1, 2, 20))")
            .arg(v),
        QStringLiteral("when 'ComboBox1' then decode(%1, '0', 'Плановая', '1', 'Внеплановая', '2', "
                       "'Срочная', '3', 'Аварийная')")
            .arg(v),
        QStringLiteral("ELSE"),
        v,
        QStringLiteral("END) AS %1,").arg(alias),
    };
}

} // namespace

QString ProtocolDateText(const QDateTime& moment) {
    return moment.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

QStringList ProtocolStatement(std::optional<int> program, const QDateTime& start, const QDateTime& end) {
    QStringList lines;
    lines << QStringLiteral("select");
    lines << DecodedValue(QStringLiteral("OLD_VALUE"), QStringLiteral("OLD_VALUE1"));
    lines << DecodedValue(QStringLiteral("NEW_VALUE"), QStringLiteral("NEW_VALUE1"));
    lines << QStringLiteral("kmr_Programmexe.PRALIAS, kmr_field_name.OBJECT_NAME,")
          << QStringLiteral("TO_CHAR(kmr_protokol.DATE_CHANGE, 'HH24:MI DD:MM:YY') DTCHANGE,")
          << QStringLiteral("KMR_USER_PSW.ALLNAME")
          << QStringLiteral("from kmr_protokol, kmr_field_name, KMR_USER_PSW, kmr_Programmexe")
          << QStringLiteral("where kmr_protokol.FIELD_NAME=kmr_field_name.FIELD_NAME");
    if (program)
        lines << QStringLiteral("and kmr_protokol.ID_PROGRAMM = ") + QString::number(*program);
    lines << QStringLiteral("and kmr_protokol.ID_USER = KMR_USER_PSW.TABNUM")
          << QStringLiteral("and kmr_Programmexe.ID_PROGRAMMEXE = kmr_protokol.ID_PROGRAMM")
          << QStringLiteral("and ((kmr_protokol.DATE_CHANGE >= TO_DATE('") + ProtocolDateText(start) +
                 QStringLiteral("', 'dd.mm.yyyy hh24:mi:ss'))")
          << QStringLiteral("and (kmr_protokol.DATE_CHANGE <=TO_DATE('") + ProtocolDateText(end) +
                 QStringLiteral("', 'dd.mm.yyyy hh24:mi:ss')))")
          << QStringLiteral("order by kmr_protokol.ID_PROGRAMM, kmr_protokol.DATE_CHANGE");
    return lines;
}
