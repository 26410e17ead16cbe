// The event log's rows without a server: the compact records, the grid's model with its filter and
// the CSV file of the rows shown.
#include "ProtocolModel.h"
#include "ProtocolCsv.h"
#include "ProtocolRecords.h"

#include <QAbstractItemModelTester>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using R = TProtocolRecords;

std::shared_ptr<TProtocolRecords> SampleRecords() {
    auto records = std::make_shared<TProtocolRecords>();
    records->Append(u"Дефекты", u"Соколов Андрей Викторович", u"08:01 20:11:26", u"Состояние заявки",
                    u"Снята", u"Разрешена");
    records->Append(u"Дефекты", u"Кузнецова Елена Павловна", u"08:02 20:11:26", u"Примечание", u"",
                    u"Бригада выехала; \"срочно\"\r\nна место");
    records->Append(u"Заявки", u"Соколов Андрей Викторович", u"08:03 20:11:26", u"Вид заявки", u"Плановая",
                    u"Аварийная");
    records->Append(u"Заявки", u"Морозов Виктор Иванович", u"08:04 20:11:26", u"Состояние заявки",
                    u"Разрешена", u"Отказана");
    return records;
}

TEST(ProtocolRecords, KeepEveryTextAndShareRepeatedNames) {
    TProtocolRecords records;
    const QString longValue(2000, QChar(u'Ж'));
    for (int i = 0; i < 3000; ++i)
        records.Append(u"Дефекты", i % 2 ? u"Первый" : u"Второй", QString::number(i), u"Поле",
                       i == 1500 ? QStringView(longValue) : QStringView(u"старое"), QString::number(i * 7));
    ASSERT_EQ(records.Count(), 3000);
    // Program, two users and the field: four distinct names however many records.
    EXPECT_EQ(records.NameCount(), 4);
    EXPECT_EQ(records.Text(1, R::colUser), QStringLiteral("Первый"));
    EXPECT_EQ(records.Text(2, R::colUser), QStringLiteral("Второй"));
    EXPECT_EQ(records.NameOf(1, R::colUser), records.NameOf(3, R::colUser));
    // Texts that cross the end of a storage block come back whole.
    for (int i : {0, 1499, 1500, 1501, 2999}) {
        EXPECT_EQ(records.Text(i, R::colDate), QString::number(i));
        EXPECT_EQ(records.Text(i, R::colOldValue), i == 1500 ? longValue : QStringLiteral("старое"));
        EXPECT_EQ(records.Text(i, R::colNewValue), QString::number(i * 7));
        EXPECT_EQ(records.Text(i, R::colProgram), QStringLiteral("Дефекты"));
        EXPECT_EQ(records.Text(i, R::colField), QStringLiteral("Поле"));
    }
    // A record larger than a block gets one of its own.
    const QString huge(1 << 21, QChar(u'x'));
    records.Append(u"", u"", u"", u"", huge, u"после");
    EXPECT_EQ(records.Text(3000, R::colOldValue), huge);
    EXPECT_EQ(records.Text(3000, R::colNewValue), QStringLiteral("после"));
    EXPECT_EQ(records.Text(3000, R::colUser), QString());
    EXPECT_GT(records.MemoryBytes(), size_t(huge.size()) * 2);
}

TEST(ProtocolModel, OneEmptyRowUntilThereAreRecordsAndTheNumberAsRowHeader) {
    TProtocolModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.columnCount(), 6);
    EXPECT_EQ(model.RecordAt(0), -1);
    EXPECT_EQ(model.headerData(0, Qt::Vertical).toString(), QString());
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), QString());
    QStringList headers, hints;
    for (int c = 0; c < model.columnCount(); ++c) {
        headers << model.headerData(c, Qt::Horizontal).toString();
        hints << model.headerData(c, Qt::Horizontal, Qt::ToolTipRole).toString();
    }
    EXPECT_EQ(headers, TProtocolModel::Headers().mid(1));
    // The whole title, also when its column cuts it short.
    EXPECT_EQ(hints, headers);

    model.SetRecords(SampleRecords());
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.headerData(3, Qt::Vertical).toString(), QStringLiteral("4"));
    EXPECT_EQ(model.data(model.index(2, 0)).toString(), QStringLiteral("Заявки"));
    EXPECT_EQ(model.data(model.index(3, 5)).toString(), QStringLiteral("Отказана"));

    // A search without records: the header and one empty row again.
    model.SetRecords(std::make_shared<TProtocolRecords>());
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.RecordCount(), 0);
}

TEST(ProtocolModel, FilterMatchesUserFieldAndValuesWhateverTheCaseAndKeepsRecordNumbers) {
    TProtocolModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model.SetRecords(SampleRecords());
    struct Case {
        const char16_t* Filter;
        std::vector<qsizetype> Records;
    } cases[] = {
        {u"соколов", {0, 2}},    // user, lower case
        {u"СОСТОЯНИЕ", {0, 3}},  // field, upper case
        {u"разрешена", {0, 3}},  // new value of one record, old value of another
        {u"выехала", {1}},       // part of a value
        {u"Дефекты", {}},        // the program is not searched
        {u"нет такого", {}},     //
        {u"  Аварийная  ", {2}}, // blanks around the text do not count
    };
    for (const Case& c : cases) {
        model.SetFilter(QString::fromUtf16(c.Filter));
        std::vector<qsizetype> shown;
        for (int row = 0; row < model.ShownCount(); ++row)
            shown.push_back(model.RecordAt(row));
        EXPECT_EQ(shown, c.Records) << QString::fromUtf16(c.Filter).toStdString();
        EXPECT_EQ(model.rowCount(), std::max<int>(1, int(c.Records.size())));
    }
    // The running number stays the record's number in the search.
    model.SetFilter(QStringLiteral("Морозов"));
    EXPECT_EQ(model.headerData(0, Qt::Vertical).toString(), QStringLiteral("4"));
    // New records are filtered by the text already typed.
    model.SetRecords(SampleRecords());
    EXPECT_EQ(model.ShownCount(), 1);
    model.SetFilter(QString());
    EXPECT_EQ(model.ShownCount(), 4);
}

TEST(ProtocolCsv, FileHoldsTheHeadersAndExactlyTheRowsShown) {
    TProtocolModel model;
    model.SetRecords(SampleRecords());
    model.SetFilter(QStringLiteral("кузнецова"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("журнал.csv"));
    QString error;
    ASSERT_TRUE(SaveProtocolCsv(model.ShownRows(), path, error)) << error.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray expected =
        QByteArray("\xEF\xBB\xBF") +
        QStringLiteral("№ пп;Задача;Пользователь;Дата изменения;Поле;Предыдущее "
                       "значение;Новое значение\r\n"
                       "2;Дефекты;Кузнецова Елена Павловна;08:02 20:11:26;Примечание;;"
                       "\"Бригада выехала; \"\"срочно\"\"\r\nна место\"\r\n")
            .toUtf8();
    EXPECT_EQ(file.readAll(), expected);

    // Nothing shown: the headers alone.
    model.SetFilter(QStringLiteral("нет такого"));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(WriteProtocolCsv(model.ShownRows(), buffer));
    EXPECT_EQ(buffer.data().count("\r\n"), 1);
}

TEST(ProtocolCsv, AFileThatCannotBeWrittenSaysWhyAndLeavesNothing) {
    TProtocolModel model;
    model.SetRecords(SampleRecords());
    QTemporaryDir dir;
    QString error;
    EXPECT_FALSE(
        SaveProtocolCsv(model.ShownRows(), dir.filePath(QStringLiteral("нет/такой/папки.csv")), error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

} // namespace
