// Demo servers, a folder of program files and a look at what is stored, for the stored-programs
// tests.
#pragma once

#include "DemoServers.h"

#include "Oracle.h"
#include "OracleBase.h"
#include "ScriptedAnswerer.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

// A row of KMR_PROGRAMMEXE as another station reads it.
struct TStoredRow {
    int Id = 0;
    QString Alias;
    QDateTime Time;
    bool CodeNull = true;
    QByteArray Code;
};

class StorageTest : public ::testing::Test {
protected:
    void SetUp() override {
        Servers = std::make_unique<TDemoServers>();
        ASSERT_TRUE(Servers->Error().isEmpty()) << Servers->Error().toStdString();
        ASSERT_TRUE(Files.isValid());
        Answers =
            std::make_unique<ScriptedAnswerer>([](const QString& m) { ADD_FAILURE() << m.toStdString(); });
    }
    void TearDown() override {
        Answers.reset();
        Servers.reset();
    }

    void EditMode() {
        Servers->Start(1, {0, 0, 0});
        ASSERT_TRUE(CanWrite.load());
    }
    void Mirrored() {
        Servers->Start(2, {0, 1, 0}, TSrvRow{1, 0, 0});
        ASSERT_TRUE(MirrorWrites.load());
    }
    void ViewMode() {
        Servers->Start(1, {0, 0, 2});
        ASSERT_FALSE(CanWrite.load());
    }

    // A file in the test's folder (or a sub-folder) with these bytes and modification time.
    QString MakeFile(const QString& relative, const QByteArray& bytes,
                     const QDateTime& time = QDateTime(QDate(2026, 5, 4), QTime(13, 14, 15))) {
        const QString path = Files.filePath(relative);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.write(bytes);
        file.flush();
        EXPECT_TRUE(file.setFileTime(time, QFileDevice::FileModificationTime));
        file.close();
        return path;
    }

    static QByteArray Pattern(qsizetype size, int seed = 7) {
        QByteArray bytes(size, Qt::Uninitialized);
        quint32 x = quint32(seed) * 2654435761u + 1;
        for (qsizetype i = 0; i < size; ++i) {
            x = x * 1664525u + 1013904223u;
            bytes[i] = char(x >> 24);
        }
        return bytes;
    }

    // The stored row of a name as another session of the same server reads it.
    std::optional<TStoredRow> Stored(const QString& db, const QString& name) {
        auto session = TServerPair::LogOn(db);
        TOracleQuery query;
        query.SetSession(session.get());
        query.SetSQLText(QStringLiteral(
            "SELECT ID_PROGRAMMEXE, PRALIAS, PRDATE_TIME, PRCOD FROM KMR_PROGRAMMEXE WHERE PRNAME = :N"));
        query.DeclareVariable(QStringLiteral("N"), otString);
        query.SetVariable(QStringLiteral("N"), name);
        query.Execute();
        std::optional<TStoredRow> row;
        if (!query.Eof()) {
            row = TStoredRow{};
            row->Id = query.Field(0).toInt();
            row->Alias = query.Field(1).toString();
            row->Time = query.Field(2).toDateTime();
            row->CodeNull = query.FieldIsNull(QStringLiteral("PRCOD"));
            row->Code = query.Field(3).toByteArray();
        }
        query.Close();
        session->LogOff();
        return row;
    }
    std::optional<TStoredRow> Stored(const QString& name) { return Stored(Servers->MainDb(), name); }

    int Rows(const QString& sql) { return Servers->Column(Servers->MainDb(), sql).at(0); }

    // The statements that reached a server through OCIStmtExecute, in order, without the session's
    // own probe for an open transaction.
    QStringList Executed() const {
        QStringList texts;
        for (const TTraceLine& line : Servers->Trace())
            if (line.Call == QStringLiteral("OCIStmtExecute") &&
                !line.Text.contains(QStringLiteral("dbms_transaction")))
                texts << line.Text;
        return texts;
    }

    std::unique_ptr<TDemoServers> Servers;
    std::unique_ptr<ScriptedAnswerer> Answers;
    QTemporaryDir Files;
};
