#include "ReserveTables.h"

#include <QHash>

const QList<TReserveTable>& ReserveTables() {
    // LENGTH of the executable is computed by the server: the bytes of a stored program (tens of
    // megabytes) never travel for a comparison.
    static const QList<TReserveTable> tables = {
        {QStringLiteral("KMR_USER_PSW"),
         QStringLiteral("Пользователи"),
         QStringLiteral("SELECT * FROM KMR_USER_PSW"),
         {QStringLiteral("TABNUM")},
         {QStringLiteral("IP")},
         {},
         false,
         500},
        {QStringLiteral("KMR_PROGRAMMEXE"),
         QStringLiteral("Программы"),
         QStringLiteral("SELECT ID_PROGRAMMEXE, PRNAME, PRALIAS, PRDATE_TIME, LENGTH(PRCOD) PRCOD_LENGTH "
                        "FROM KMR_PROGRAMMEXE"),
         {QStringLiteral("ID_PROGRAMMEXE")},
         {},
         {},
         true,
         500},
        {QStringLiteral("KMR_PROG_FOR_USER"),
         QStringLiteral("Программы пользователей"),
         QStringLiteral("SELECT TABNUM, ID_PROGRAMM FROM KMR_PROG_FOR_USER"),
         {},
         {},
         {},
         false,
         10000},
        {QStringLiteral("KMR_GROUP_FOR_PROG"),
         QStringLiteral("Группы программ"),
         QStringLiteral("SELECT ID_PROGRAMM, ID_GROUP, GROUP_NAME FROM KMR_GROUP_FOR_PROG"),
         {QStringLiteral("ID_PROGRAMM"), QStringLiteral("ID_GROUP")},
         {},
         {},
         false,
         2000},
        {QStringLiteral("KMR_GROUP_FOR_USER"),
         QStringLiteral("Группы пользователей"),
         QStringLiteral("SELECT TABNUM, ID_PROGRAMM, ID_GROUP FROM KMR_GROUP_FOR_USER"),
         {},
         {},
         {QStringLiteral("TABNUM"), QStringLiteral("ID_PROGRAMM")},
         false,
         10000},
        {QStringLiteral("KMR_PROP_FOR_PROG"),
         QStringLiteral("Свойства программ"),
         QStringLiteral("SELECT ID_PROP, ID_PROGRAMM, FORM_NAME, PROP_NAME, PROP_TYPE, PROP_ALIAS "
                        "FROM KMR_PROP_FOR_PROG"),
         {QStringLiteral("ID_PROP")},
         {},
         {},
         false,
         1000},
    };
    return tables;
}

const TReserveTable* FindReserveTable(const QString& name) {
    for (const TReserveTable& table : ReserveTables())
        if (table.Name.compare(name, Qt::CaseInsensitive) == 0)
            return &table;
    return nullptr;
}

QString ReserveColumnTitle(const QString& column) {
    static const QHash<QString, QString> titles = {
        {QStringLiteral("TABNUM"), QStringLiteral("Номер пользователя")},
        {QStringLiteral("ALLNAME"), QStringLiteral("Ф.И.О.")},
        {QStringLiteral("NAME"), QStringLiteral("Имя для входа")},
        {QStringLiteral("PWD"), QStringLiteral("Пароль")},
        {QStringLiteral("GROUPID"), QStringLiteral("Группа входа")},
        {QStringLiteral("WENABLED"), QStringLiteral("Разрешение на работу")},
        {QStringLiteral("IPADR"), QStringLiteral("IP адреса")},
        {QStringLiteral("ID_PROGRAMMEXE"), QStringLiteral("Номер программы")},
        {QStringLiteral("PRNAME"), QStringLiteral("Файл программы")},
        {QStringLiteral("PRALIAS"), QStringLiteral("Название программы")},
        {QStringLiteral("PRDATE_TIME"), QStringLiteral("Время файла")},
        {QStringLiteral("PRCOD_LENGTH"), QStringLiteral("Длина файла")},
        {QStringLiteral("ID_PROGRAMM"), QStringLiteral("Программа")},
        {QStringLiteral("ID_GROUP"), QStringLiteral("Группа")},
        {QStringLiteral("GROUP_NAME"), QStringLiteral("Название группы")},
        {QStringLiteral("ID_PROP"), QStringLiteral("Номер свойства")},
        {QStringLiteral("FORM_NAME"), QStringLiteral("Окно")},
        {QStringLiteral("PROP_NAME"), QStringLiteral("Объект")},
        {QStringLiteral("PROP_TYPE"), QStringLiteral("Свойство")},
        {QStringLiteral("PROP_ALIAS"), QStringLiteral("Назначение")},
    };
    return titles.value(column.toUpper(), column);
}
