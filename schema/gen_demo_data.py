#!/usr/bin/env python3
"""Writes demo_data.sql: a regional dispatch centre with its users, the three dispatch
applications, their groups and property catalogues, and two months of change log.

The output is deterministic (fixed seed, fixed base date), so the committed
demo_data.sql only changes when this script does:

    python3 schema/gen_demo_data.py > schema/demo_data.sql

Only plain INSERT ... VALUES statements with literals and TO_DATE are written, one per
line, each ending with ";" so that the script runner splits them there.
"""

import argparse
import datetime
import random
import sys

SEED = 20261209
# Dates of the change log lie in the 60 days before this moment.
BASE = datetime.datetime(2026, 12, 9, 8, 0, 0)
LOG_DAYS = 60
LOG_ROWS = 3000

DEFECTS, OUTAGES, REQUESTS = 1, 2, 3

# USER_GROUP: (ID, ACTIONID, rights in USER_G_P). 14 runs the administration tool;
# 24 narrows the rights but keeps 14; 27 and 42 grant nothing.
SIGNIN_GROUPS = [
    (1, 10, [0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 20, 21]),  # administrators
    (2, 20, [1, 2, 3, 5, 7, 9, 11, 29, 30]),                                       # dispatchers
    (3, 30, [1, 2, 3, 4, 5, 7, 9, 11, 12, 13, 29, 30, 31, 27]),                     # senior dispatchers
    (4, 40, [3, 17, 18, 19, 33, 42]),                                               # relay protection engineers
    (5, 50, [14, 16, 24, 1, 2]),                                                     # management
    (6, 60, []),                                                                     # field crews: no rights
]

# Users: (TABNUM, ALLNAME, NAME, PWD, GROUPID, WENABLED, IPADR, IP).
# TABNUM 23 was deleted: its grants and log records are still there.
USERS = [
    (1, "Соколов Андрей Викторович", "admin", "kmr2026", 1, "T", None, "10.20.1.10"),
    (2, "Кузнецова Елена Павловна", "kuznetsova", "ep1979", 1, "T", "10.20.1.11; 10.20.1.12", "10.20.1.11"),
    (3, "Морозов Виктор Иванович", "morozov", "zam2004", 5, "T", None, "10.20.1.30"),
    (4, "Белова Ирина Николаевна", "belova", "irina", 5, "T", "10.20.1.31", "10.20.1.31"),
    (5, "Волков Сергей Александрович", "volkov", "dsp01", 3, "T", "10.20.3.21, 10.20.3.22", "10.20.3.21"),
    (6, "Павлова Марина Юрьевна", "pavlova", "dsp02", 3, "T", None, "10.20.3.22"),
    (7, "Козлов Дмитрий Петрович", "kozlov", "dsp03", 3, "T", "10.20.3.23", "10.20.3.23"),
    (8, "Новикова Светлана Игоревна", "novikova", "dsp04", 2, "T", None, "10.20.3.24"),
    (9, "Федоров Алексей Михайлович", "fedorov", "dsp05", 2, "T", "10.20.3.21 10.20.3.24 10.20.3.25", "10.20.3.25"),
    (10, "Егорова Наталья Викторовна", "egorova", "dsp06", 2, "T", None, "10.20.3.26"),
    (11, "Смирнов Павел Андреевич", "smirnov", "dsp07", 2, "T", "10.20.3.27", "10.20.3.27"),
    (12, "Орлова Татьяна Сергеевна", "orlova", "dsp08", 2, "T", None, "10.20.3.28"),
    (13, "Лебедев Олег Сергеевич", "lebedev", "dsp09", 2, "F", None, "10.20.3.29"),
    (14, "Захаров Николай Геннадьевич", "zaharov", "dsp10", 2, "T", "10.20.4.10", "10.20.4.10"),
    (15, "Никитина Ольга Валерьевна", "nikitina", "dsp11", 2, "T", None, "10.20.4.11"),
    (16, "Степанов Игорь Владимирович", "stepanov", "dsp12", 2, "T", None, "10.20.4.12"),
    (17, "Алексеева Юлия Дмитриевна", "alekseeva", "dsp13", 2, "T", "10.20.4.13", "10.20.4.13"),
    (18, "Яковлев Роман Олегович", "yakovlev", None, 2, "T", None, None),
    (19, "Григорьев Василий Степанович", "grigoriev", "rza01", 4, "T", "10.20.5.40", "10.20.5.40"),
    (20, "Тихонова Анна Борисовна", "tihonova", "rza02", 4, "T", None, "10.20.5.41"),
    (21, "Макаров Евгений Юрьевич", "makarov", "rza03", 4, "T", None, "Неизвестный"),
    (22, "Андреева Людмила Викторовна", "andreeva", "rza04", 4, "F", "10.20.5.43", "10.20.5.43"),
    (24, "Сергеев Константин Львович", "sergeev", "br01", 6, "T", None, "10.20.7.50"),
    (25, "Ильин Артём Романович", "ilin", "br02", 6, "T", None, "10.20.7.51"),
    (26, "Комаров Денис Аркадьевич", "komarov", "br03", 6, "T", "10.20.7.52", "10.20.7.52"),
    (27, "Киселева Валентина Ивановна", "kiseleva", "br04", 6, "T", None, None),
    (28, "Герасимов Михаил Ефимович", "gerasimov", "br05", 6, "T", None, "10.20.7.54"),
    (29, "Воробьева Оксана Андреевна", "vorobieva", "dsp14", 2, "T", None, "10.20.4.14"),
    (30, "Фролов Станислав Игоревич", "frolov", "dsp15", 3, "T", "10.20.4.15", "10.20.4.15"),
    (31, "Антонова Елизавета Сергеевна", "antonova", "dsp16", 2, "T", None, "10.20.4.16"),
    (32, "Калинин Георгий Павлович", "kalinin", "dsp17", 2, "T", None, "10.20.4.17"),
    (33, "Борисова Дарья Максимовна", "borisova", "dsp18", 2, "T", "10.20.4.18", "10.20.4.18"),
    (34, "Тарасов Виталий Николаевич", "tarasov", "rza05", 4, "T", None, "10.20.5.44"),
    (35, "Мельникова Полина Олеговна", "melnikova", "dsp19", 2, "T", None, "10.20.4.19"),
    (36, "Виноградов Арсений Ильич", "vinogradov", "dsp20", 2, "T", None, "10.20.4.20"),
    (37, "Кудрявцева Галина Федоровна", "kudryavtseva", "ok01", 5, "T", "10.20.1.32", "10.20.1.32"),
    (38, "Жуков Фёдор Кириллович", "zhukov", "br06", 6, "T", None, "10.20.7.55"),
    (39, "Дмитриева Алина Вадимовна", "dmitrieva", "dsp21", 2, "T", None, None),
    (40, "Соловьев Максим Андреевич", "soloviev", "adm02", 1, "T", "10.20.1.13", "10.20.1.13"),
    # Added through the administration window: no password and no sign-in group yet.
    (41, "Романов Кирилл Евгеньевич", "romanov", None, None, "T", None, None),
]
DELETED_USER = 23

PROGRAMS = [
    (DEFECTS, "DEFECTS.EXE", "Дефекты", "14.03.2026 10:22:41"),
    (OUTAGES, "OTKL.EXE", "Отключения", "02.06.2026 16:05:12"),
    (REQUESTS, "ZAYAVKI.EXE", "Заявки", "21.09.2026 09:48:30"),
]

# KMR_GROUP_FOR_PROG: group 4 of "Отключения" was deleted; its members' rows stay.
PROGRAM_GROUPS = {
    DEFECTS: [(1, "Диспетчеры"), (2, "Старшие диспетчеры"), (3, "Мастера участков"),
              (4, "Служба РЗА"), (5, "Только просмотр")],
    OUTAGES: [(1, "Диспетчеры"), (2, "Старшие диспетчеры"), (3, "Оформление заявок"),
              (5, "Руководство")],
    REQUESTS: [(1, "Диспетчеры"), (2, "Оперативные бригады"), (3, "Руководство"),
               (4, "Согласование")],
}

# Sign-in group -> (programs granted, group in each program)
GRANTS_BY_SIGNIN_GROUP = {
    1: {DEFECTS: 2, OUTAGES: 2, REQUESTS: 3},
    2: {DEFECTS: 1, OUTAGES: 1, REQUESTS: 1},
    3: {DEFECTS: 2, OUTAGES: 2, REQUESTS: 1},
    4: {DEFECTS: 4, REQUESTS: 4},
    5: {DEFECTS: 5, OUTAGES: 5, REQUESTS: 3},
    6: {REQUESTS: 2},
}

PROG_PROP = {
    DEFECTS: ["Ввод нового дефекта", "Изменение дефекта", "Закрытие дефекта", "Удаление дефекта",
              "Оценка достаточности мер", "Печать журнала дефектов", "Выгрузка в Excel",
              "Просмотр архива", "Настройка справочника оборудования"],
    OUTAGES: ["Ввод отключения", "Изменение отключения", "Согласование отключения",
              "Отмена отключения", "Печать бланка переключений", "Просмотр графика отключений",
              "Редактирование графика"],
    REQUESTS: ["Ввод заявки", "Изменение заявки", "Разрешение заявки", "Отказ по заявке",
               "Перенос заявки", "Снятие заявки", "Печать заявки", "Просмотр всех заявок",
               "Рассылка уведомлений", "Справочник бригад"],
}

# KMR_PROP_FOR_PROG: (program, form, object, property, purpose)
PROP_CATALOGUE = [
    (DEFECTS, "TfmDefects", "tbAddDefect", "Enabled", "Кнопка ввода нового дефекта"),
    (DEFECTS, "TfmDefects", "tbCloseDefect", "Enabled", "Кнопка закрытия дефекта"),
    (DEFECTS, "TfmDefects", "tbDeleteDefect", "Visible", "Кнопка удаления дефекта"),
    (DEFECTS, "TfmDefects", "miPrint", "Enabled", "Пункт меню печати журнала"),
    (DEFECTS, "TfmDefectCard", "cbOpenClose", "ReadOnly", "Состояние дефекта в карточке"),
    (DEFECTS, "TfmDefectCard", "edDostMer", "ReadOnly", "Оценка достаточности мер"),
    (DEFECTS, "TfmDefectCard", "Memo1", "ReadOnly", "Примечание к дефекту"),
    (DEFECTS, "TfmOborud", "DBGridEh1", "ReadOnly", "Справочник оборудования"),
    (OUTAGES, "TfmOtkl", "tbAddOtkl", "Enabled", "Кнопка ввода отключения"),
    (OUTAGES, "TfmOtkl", "tbSoglas", "Enabled", "Кнопка согласования отключения"),
    (OUTAGES, "TfmOtkl", "tbCancel", "Enabled", "Кнопка отмены отключения"),
    (OUTAGES, "TfmOtklCard", "ComboBox1", "Enabled", "Вид отключения в карточке"),
    (OUTAGES, "TfmOtklCard", "DateBeg", "ReadOnly", "Начало работ"),
    (OUTAGES, "TfmOtklCard", "DateEnd", "ReadOnly", "Окончание работ"),
    (OUTAGES, "TfmGraph", "pnlEdit", "Visible", "Панель редактирования графика"),
    (REQUESTS, "TfmZayavki", "tbAddZayavka", "Enabled", "Кнопка ввода заявки"),
    (REQUESTS, "TfmZayavki", "tbRazresh", "Enabled", "Кнопка разрешения заявки"),
    (REQUESTS, "TfmZayavki", "tbOtkaz", "Enabled", "Кнопка отказа по заявке"),
    (REQUESTS, "TfmZayavki", "tbPerenos", "Enabled", "Кнопка переноса заявки"),
    (REQUESTS, "TfmZayavkaCard", "cbSost", "Enabled", "Состояние заявки в карточке"),
    (REQUESTS, "TfmZayavkaCard", "ComboBox1", "Enabled", "Вид заявки"),
    (REQUESTS, "TfmZayavkaCard", "edFIO", "ReadOnly", "Ответственный за работы"),
    (REQUESTS, "TfmBrigady", "DBNavigator1", "Visible", "Навигатор справочника бригад"),
    (REQUESTS, "TfmMain", "miSendMail", "Visible", "Пункт меню рассылки уведомлений"),
]

FIELD_NAMES = [
    ("openclose", "Состояние дефекта"),
    ("sost", "Состояние заявки"),
    ("dostmer", "Достаточность мер"),
    ("ComboBox1", "Вид заявки"),
    ("Memo1", "Примечание"),
    ("edOborud", "Оборудование"),
    ("edFIO", "Ответственный"),
    ("DateBeg", "Начало работ"),
    ("DateEnd", "Окончание работ"),
    ("edNumber", "Номер документа"),
]
# Logged by an application but missing from kmr_field_name: never listed by the event log.
UNLISTED_FIELD = "Edit7"

EQUIPMENT = ["ВЛ-110 кВ Северная-1", "ВЛ-35 кВ Озерная", "ПС 110/10 Заречная, Т-1",
             "ПС 35/10 Лесная, В-10 ф.4", "КЛ-10 кВ ф.12 ТП-417", "ОРУ-110 ПС Южная, СВ-110",
             "ТП-231, РУ-0,4 кВ", "ВЛ-10 кВ ф.7 ПС Полевая", "ПС 110/35/10 Центральная, ТН-35",
             "ЗРУ-10 ПС Восточная, яч.15"]
MEASURES = ["замена изолятора", "перетяжка контактов", "осмотр выполнен", "замена разрядника",
            "ремонт привода", "смена масла", "чистка изоляции", "замена опоры №14",
            "усиление контроля до устранения", "вывод в ремонт согласован"]
NOTES = ["Бригада выехала на место.", "Работы выполнены в полном объеме.",
         "Требуется повторный осмотр после грозы.", "Согласовано с диспетчером РДУ.",
         "Отключение перенесено по погодным условиям, работы будут продолжены после "
         "восстановления нормального режима сети и получения разрешения главного инженера.",
         "Замечание устранено, оборудование введено в работу.",
         "Нет доступа к ячейке, ключи у дежурного подстанции.",
         "Ожидается поставка материалов со склада в течение недели."]

# Coded fields: program that logs them, the codes, and values outside the codes.
CODED = {
    "openclose": ([DEFECTS], ["0", "1", "2"], ["5", "-1"]),
    "sost": ([REQUESTS, OUTAGES], ["0", "1", "2", "3", "4"], ["7", "9"]),
    "ComboBox1": ([REQUESTS, OUTAGES], ["0", "1", "2", "3"], ["4", "Прочая"]),
}


def q(value):
    """SQL literal: NULL, a number, or text between apostrophes."""
    if value is None:
        return "NULL"
    if isinstance(value, int):
        return str(value)
    text = str(value)
    if text == "":
        return "NULL"
    for bad in ("\n", "\r", "&"):
        assert bad not in text, text
    return "'" + text.replace("'", "''") + "'"


def to_date(moment):
    return "TO_DATE('%s', 'dd.mm.yyyy hh24:mi:ss')" % moment.strftime("%d.%m.%Y %H:%M:%S")


def insert(out, table, *values):
    out.append("INSERT INTO %s VALUES (%s);" % (table, ", ".join(
        v if isinstance(v, Raw) else q(v) for v in values)))


class Raw(str):
    """An SQL expression written as it stands."""


def dostmer_value(rng, code=None):
    code = code if code is not None else rng.choice("012")
    if code == "0":
        return "0"
    return code + rng.choice(MEASURES)


def log_value(rng, field):
    if field in CODED:
        _, codes, outside = CODED[field]
        if rng.random() < 0.04:
            return rng.choice(outside)
        return rng.choice(codes)
    if field == "dostmer":
        if rng.random() < 0.03:
            return "3" + rng.choice(MEASURES)
        return dostmer_value(rng)
    if field == "Memo1":
        return rng.choice(NOTES)
    if field == "edOborud":
        return rng.choice(EQUIPMENT)
    if field == "edFIO":
        return rng.choice(USERS)[1]
    if field in ("DateBeg", "DateEnd"):
        day = BASE - datetime.timedelta(days=rng.randint(0, 70), hours=rng.randint(0, 10))
        return day.strftime("%d.%m.%Y %H:00")
    if field == "edNumber":
        return "%d/%02d" % (rng.randint(1, 999), rng.randint(1, 12))
    return rng.choice(NOTES)


def change_moment(rng):
    day = rng.randint(0, LOG_DAYS - 1)
    # Most changes in the day shift, some at night.
    if rng.random() < 0.85:
        seconds = rng.randint(7 * 3600, 20 * 3600)
    else:
        seconds = rng.randint(0, 24 * 3600 - 1)
    midnight = datetime.datetime(BASE.year, BASE.month, BASE.day) - datetime.timedelta(days=day)
    moment = midnight + datetime.timedelta(seconds=seconds)
    if moment > BASE:
        moment -= datetime.timedelta(days=1)
    return moment


def generate():
    rng = random.Random(SEED)
    out = ["-- Generated by schema/gen_demo_data.py; edit that script, not this file."]

    for group_id, action_id, rights in SIGNIN_GROUPS:
        insert(out, "USER_GROUP", group_id, action_id)
    for group_id, _, rights in SIGNIN_GROUPS:
        for prop in rights:
            insert(out, "USER_G_P", group_id, prop)

    for tabnum, allname, name, pwd, group, enabled, ipadr, ip in USERS:
        shema = rng.randint(0, 3)
        flags = ["T" if rng.random() < 0.6 else "F" for _ in range(6)]
        insert(out, "USER_PSW", tabnum, name, pwd, allname, group, enabled, ipadr, ip, shema, *flags)

    for pid, prname, alias, stored in PROGRAMS:
        moment = datetime.datetime.strptime(stored, "%d.%m.%Y %H:%M:%S")
        insert(out, "KMR_PROGRAMMEXE", pid, prname, alias, Raw(to_date(moment)), None)

    for pid, groups in PROGRAM_GROUPS.items():
        for gid, name in groups:
            insert(out, "KMR_GROUP_FOR_PROG", pid, gid, name)

    granted = {}  # tabnum -> [program]
    for tabnum, _, _, _, group, _, _, _ in USERS:
        if group is None:
            continue
        programs = GRANTS_BY_SIGNIN_GROUP[group]
        for pid, gid in programs.items():
            # A few dispatchers lack one program; the barred and the new users keep theirs.
            if group == 2 and pid == OUTAGES and tabnum % 5 == 0:
                continue
            insert(out, "KMR_PROG_FOR_USER", tabnum, pid)
            granted.setdefault(tabnum, []).append(pid)
            insert(out, "KMR_GROUP_FOR_USER", tabnum, pid, gid)
    # The deleted user's rows stay behind.
    insert(out, "KMR_PROG_FOR_USER", DELETED_USER, DEFECTS)
    insert(out, "KMR_GROUP_FOR_USER", DELETED_USER, DEFECTS, 1)
    # A grant ticked twice, and a member with two rows for one program.
    insert(out, "KMR_PROG_FOR_USER", 8, DEFECTS)
    insert(out, "KMR_GROUP_FOR_USER", 6, REQUESTS, 4)
    # A member of the deleted group 4 of "Отключения".
    insert(out, "KMR_PROG_FOR_USER", 19, OUTAGES)
    insert(out, "KMR_GROUP_FOR_USER", 19, OUTAGES, 4)

    for pid, names in PROG_PROP.items():
        for number, name in enumerate(names, start=1):
            insert(out, "KMR_PROG_PROP", number, name, pid)

    # Catalogue numbers run over the whole table; number 9 was deleted.
    number = 0
    for pid, form, obj, prop, alias in PROP_CATALOGUE:
        number += 1
        if number == 9:
            number += 1
        insert(out, "KMR_PROP_FOR_PROG", number, pid, form, obj, prop, alias)

    for field, name in FIELD_NAMES:
        insert(out, "kmr_field_name", field, name)

    writers = [u for u in USERS if u[5] == "T" and u[4] in (1, 2, 3, 4, 5, 6)]
    records = []

    def record(pid, user, moment, field, old, new):
        records.append((moment, pid, user, field, old, new))

    # Every code of every coded field, before and after, at least once in each program that logs it.
    for field, (programs, codes, outside) in CODED.items():
        for pid in programs:
            for value in codes + outside:
                user = rng.choice(writers)[0]
                record(pid, user, change_moment(rng), field, rng.choice(codes), value)
                record(pid, user, change_moment(rng), field, value, rng.choice(codes))
    for code in "012":
        record(DEFECTS, 5, change_moment(rng), "dostmer", dostmer_value(rng, code),
               dostmer_value(rng, "012".replace(code, "")[0]))
        record(DEFECTS, 6, change_moment(rng), "dostmer", None, dostmer_value(rng, code))
    # Longer than the 20 characters the log shows after the code.
    record(DEFECTS, 7, change_moment(rng), "dostmer", "1осмотр выполнен",
           "2требуется замена трансформатора тока ТТ-10 фазы В")
    record(DEFECTS, 7, change_moment(rng), "dostmer", "2недостаточно", "3нет данных")
    # Changes by the deleted user, by nobody known, and of a field without a display name.
    record(DEFECTS, DELETED_USER, change_moment(rng), "openclose", "1", "2")
    record(REQUESTS, 99, change_moment(rng), "sost", "3", "1")
    record(OUTAGES, 9, change_moment(rng), UNLISTED_FIELD, "12", "14")

    field_weights = [("openclose", 14), ("sost", 16), ("dostmer", 9), ("ComboBox1", 9),
                     ("Memo1", 14), ("edOborud", 8), ("edFIO", 8), ("DateBeg", 8),
                     ("DateEnd", 8), ("edNumber", 6)]
    fields = [f for f, w in field_weights for _ in range(w)]
    while len(records) < LOG_ROWS:
        field = rng.choice(fields)
        if field in ("openclose", "dostmer"):
            pid = DEFECTS
        elif field in CODED:
            pid = rng.choice(CODED[field][0])
        else:
            pid = rng.choice([DEFECTS, OUTAGES, REQUESTS])
        candidates = [u[0] for u in writers if pid in granted.get(u[0], [])]
        user = rng.choice(candidates)
        old = None if rng.random() < 0.08 else log_value(rng, field)
        new = log_value(rng, field)
        record(pid, user, change_moment(rng), field, old, new)

    records.sort(key=lambda r: r[0])
    for moment, pid, user, field, old, new in records:
        insert(out, "kmr_protokol", pid, user, Raw(to_date(moment)), field, old, new)

    out.append("COMMIT;")
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.parse_args()
    lines = generate()
    sys.stdout.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
