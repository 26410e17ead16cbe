// The CSV writer: what a value becomes, and a file written whole or not at all.
#include "CsvFile.h"
#include "../support/CsvReader.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(CsvFile, ValuesAreQuotedOnlyWhenTheyHoldASeparatorAQuoteOrALineBreak) {
    EXPECT_EQ(CsvValue(QStringLiteral("Иванов")), QStringLiteral("Иванов").toUtf8());
    EXPECT_EQ(CsvValue(QStringLiteral("a;b")), QByteArray("\"a;b\""));
    EXPECT_EQ(CsvValue(QStringLiteral("say \"hi\"")), QByteArray("\"say \"\"hi\"\"\""));
    EXPECT_EQ(CsvValue(QStringLiteral("one\ntwo")), QByteArray("\"one\ntwo\""));
    EXPECT_EQ(CsvValue(QStringLiteral("one\rtwo")), QByteArray("\"one\rtwo\""));
    EXPECT_EQ(CsvValue(QString()), QByteArray());
}

TEST(CsvFile, RoundTripKeepsEveryValue) {
    const QList<QStringList> rows{
        {QStringLiteral("Петров \"Петя\"; ст."), QStringLiteral("a\r\nb"), QString()},
        {QStringLiteral("ё"), QStringLiteral(";"), QStringLiteral("\"")}};
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(WriteCsv(buffer, {QStringLiteral("А"), QStringLiteral("Б"), QStringLiteral("В")}, rows.size(),
                         [&](qsizetype i) { return rows[i]; }));
    ASSERT_TRUE(buffer.data().startsWith("\xEF\xBB\xBF"));
    ASSERT_TRUE(buffer.data().endsWith("\r\n"));
    const TCsvContent csv = ReadCsv(buffer.data());
    ASSERT_EQ(csv.Rows.size(), 3);
    EXPECT_EQ(csv.Rows[0], (QStringList{QStringLiteral("А"), QStringLiteral("Б"), QStringLiteral("В")}));
    EXPECT_EQ(csv.Rows[1], rows[0]);
    EXPECT_EQ(csv.Rows[2], rows[1]);
}

TEST(CsvFile, AFileThatCannotBeWrittenIsReportedAndNothingIsLeft) {
    QTemporaryDir dir;
    // The "folder" is a file: the temporary file cannot be made next to the target.
    const QString notAFolder = dir.filePath(QStringLiteral("plain"));
    QFile plain(notAFolder);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    QString error;
    EXPECT_FALSE(SaveCsvFile(
        notAFolder + QStringLiteral("/out.csv"), {QStringLiteral("x")}, 1,
        [](qsizetype) { return QStringList{"1"}; }, error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("plain")});
    // A device that refuses to write.
    QBuffer closed;
    closed.open(QIODevice::ReadOnly);
    EXPECT_FALSE(WriteCsv(closed, {QStringLiteral("x")}, 0, [](qsizetype) { return QStringList(); }));
}

} // namespace
