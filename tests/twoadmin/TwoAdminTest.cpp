// Two administrators at work on the same pair of servers: two processes of the program, each with its
// own sessions, edit the same user, the same grants, the same group list and register the same file.
// Every conflict must end in the documented error or a clear message, never in a silent overwrite
// or a duplicate key, and the reserve server must hold what the main server holds.
//
// Races are made certain rather than hoped for: this process takes the main server's write lock, lets
// both administrators run into it (the round-trip trace shows each one's statement arriving), and
// lets go, so both have read the same state before either writes.
#include "../support/NamedServers.h"
#include "../support/QtTestApplication.h"
#include "Oracle.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

namespace {

[[maybe_unused]] ::testing::Environment* const App = RegisterQtTestApplication("twoadmin_test", "Admin_KMR");

const QString Main = QString::fromLatin1(TServerPair::MainServer);
const QString Reserve = QString::fromLatin1(TServerPair::ReserveServer);

// What a window answered to a command, for the checks and for failure messages.
struct TReply {
    QJsonObject Json;
    QJsonObject State() const { return Json.value(QStringLiteral("state")).toObject(); }
    QJsonArray Dialogs() const { return Json.value(QStringLiteral("dialogs")).toArray(); }
    bool Ok() const { return Json.value(QStringLiteral("ok")).toBool(); }
    QString Text() const { return QString::fromUtf8(QJsonDocument(Json).toJson(QJsonDocument::Compact)); }
    // Texts of the messages of one kind ("message", "error", "input"), in order.
    QStringList Messages(const QString& kind = QStringLiteral("message")) const {
        QStringList texts;
        for (const QJsonValue& d : Dialogs())
            if (d.toObject().value(QStringLiteral("kind")).toString() == kind)
                texts << d.toObject().value(QStringLiteral("text")).toString();
        return texts;
    }
    // Everything the administrator saw, texts and details, for matching a piece of it.
    QString Seen() const {
        QStringList all;
        for (const QJsonValue& d : Dialogs())
            all << d.toObject().value(QStringLiteral("text")).toString()
                << d.toObject().value(QStringLiteral("details")).toString();
        return all.join(u'\n');
    }
};

// One administrator: a driver process running the program on the servers of the folder.
class TAdmin {
public:
    TAdmin(const QString& dir, const QString& busyTimeoutMs) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("OCISQLITE_DATA"), dir);
        env.insert(QStringLiteral("OCISQLITE_TRACE"), dir + QStringLiteral("/trace.txt"));
        env.insert(QStringLiteral("OCISQLITE_BUSY_TIMEOUT_MS"), busyTimeoutMs);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.remove(QStringLiteral("ORACLE_HOME"));
        FProcess.setProcessEnvironment(env);
        FProcess.setWorkingDirectory(dir);
        FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        FProcess.start(QStringLiteral(KMR_BIN_DIR "/twoadmin_driver"), {});
        Started = Receive();
    }
    ~TAdmin() {
        if (FProcess.state() != QProcess::NotRunning) {
            FProcess.write("quit\n");
            if (!FProcess.waitForFinished(30000))
                FProcess.kill();
        }
        FProcess.waitForFinished(5000);
        // A program that ends badly (a sanitizer's finding included) fails the test.
        EXPECT_EQ(FProcess.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(FProcess.exitCode(), 0);
    }
    qint64 Pid() const { return FProcess.processId(); }

    // Sends a command without waiting for its answer (a window that will run into a lock).
    void Send(const QStringList& command) {
        FProcess.write(command.join(u'\t').toUtf8() + '\n');
        // Without an event loop here, the pipe is written only when asked to.
        FProcess.waitForBytesWritten(30000);
    }
    // The answer to the command sent last; an answer saying "no answer" when none came in time.
    TReply Receive() {
        QDeadlineTimer deadline(30000);
        while (!FBuffer.contains('\n') && !deadline.hasExpired()) {
            if (FProcess.state() == QProcess::NotRunning)
                break;
            FProcess.waitForReadyRead(100);
            FBuffer += FProcess.readAllStandardOutput();
        }
        const qsizetype end = FBuffer.indexOf('\n');
        if (end < 0)
            return {QJsonObject{{QStringLiteral("ok"), false},
                                {QStringLiteral("error"), QStringLiteral("no answer")}}};
        const QByteArray line = FBuffer.left(end);
        FBuffer.remove(0, end + 1);
        return {QJsonDocument::fromJson(line).object()};
    }
    // Whether an answer is waiting already.
    bool Answered() {
        FProcess.waitForReadyRead(0);
        FBuffer += FProcess.readAllStandardOutput();
        return FBuffer.contains('\n');
    }
    TReply Do(const QStringList& command) {
        Send(command);
        return Receive();
    }

    TReply Started;

private:
    QProcess FProcess;
    QByteArray FBuffer;
};

// A session of this process that holds a lock until released: a row lock (an administrator's post
// in flight) or the main server's write lock (a writer that has not committed yet).
class TLockHolder {
public:
    explicit TLockHolder(const QString& server) : FSession(TServerPair::LogOn(server)) {
        FQuery.SetSession(FSession.get());
    }
    void Hold(const QString& statement) {
        FQuery.SetSQLText(statement);
        FQuery.Execute();
    }
    void Release() { FSession->Rollback(); }

private:
    std::unique_ptr<TOracleSession> FSession;
    TOracleQuery FQuery;
};

class TwoAdministrators : public ::testing::Test {
protected:
    void SetUp() override { FServers = std::make_unique<TNamedServers>(true); }

    // Both administrators signed in; the busy timeout is how long a change waits for another
    // session's write transaction before it gives up.
    void StartBoth(const QString& busyTimeoutMs = QStringLiteral("60000")) {
        A = std::make_unique<TAdmin>(FServers->Dir(), busyTimeoutMs);
        B = std::make_unique<TAdmin>(FServers->Dir(), busyTimeoutMs);
        ASSERT_TRUE(A->Started.Ok()) << A->Started.Text().toStdString();
        ASSERT_TRUE(B->Started.Ok()) << B->Started.Text().toStdString();
    }
    void TearDown() override {
        A.reset();
        B.reset();
        FServers.reset();
    }

    QStringList Rows(const QString& server, const QString& select) const {
        return FServers->Rows(server, select);
    }
    // The administered tables as both servers hold them must agree.
    void ExpectReserveLikeMain(const QString& select) const {
        EXPECT_EQ(Rows(Reserve, select), Rows(Main, select)) << select.toStdString();
    }

    // Lets both administrators run into the main server's write lock with the given commands, waits
    // until both statements starting with `arriving` reached the server, lets go, and returns both
    // answers.
    std::pair<TReply, TReply> Race(const QStringList& forA, const QStringList& forB,
                                   const QString& arriving) {
        TLockHolder writer(Main);
        // Any change begins the write transaction; this one changes nothing.
        writer.Hold(QStringLiteral("UPDATE SRV SET RO = RO WHERE 1 = 0"));
        const qsizetype traceStart = QFile(FServers->Dir() + QStringLiteral("/trace.txt")).size();
        A->Send(forA);
        B->Send(forB);
        const bool arrived = WaitForStatement(A->Pid(), arriving, traceStart) &&
                             WaitForStatement(B->Pid(), arriving, traceStart);
        // Neither may have finished while the lock was held: both wait for it.
        EXPECT_FALSE(A->Answered());
        EXPECT_FALSE(B->Answered());
        writer.Release();
        EXPECT_TRUE(arrived) << "the statements did not arrive: " << arriving.toStdString() << " pids "
                             << A->Pid() << " " << B->Pid() << "\n"
                             << TraceTail(traceStart).toStdString();
        return {A->Receive(), B->Receive()};
    }

    QString TraceTail(qsizetype from) const {
        QFile trace(FServers->Dir() + QStringLiteral("/trace.txt"));
        if (!trace.open(QIODevice::ReadOnly))
            return QStringLiteral("(no trace)");
        trace.seek(from);
        return QString::fromUtf8(trace.readAll().right(3000));
    }
    // Waits until a process sent a statement beginning with the text (in the trace since `from`).
    bool WaitForStatement(qint64 pid, const QString& text, qsizetype from) const {
        const QByteArray prefix = QByteArray::number(pid) + ' ';
        const QByteArray wanted = "OCIStmtExecute " + text.toUtf8();
        QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired()) {
            QFile trace(FServers->Dir() + QStringLiteral("/trace.txt"));
            if (trace.open(QIODevice::ReadOnly)) {
                trace.seek(from);
                for (const QByteArray& line : trace.readAll().split('\n'))
                    if (line.startsWith(prefix) && line.indexOf(wanted) > 0)
                        return true;
            }
            QThread::msleep(20);
        }
        return false;
    }

    std::unique_ptr<TNamedServers> FServers;
    std::unique_ptr<TAdmin> A, B;
};

const QString UserColumns =
    QStringLiteral("SELECT TABNUM, ALLNAME, NAME, WENABLED, IPADR FROM KMR_USER_PSW ORDER BY TABNUM");

TEST_F(TwoAdministrators, EditingTheSameUser) {
    StartBoth();
    ASSERT_TRUE(A->Do({"select", "2"}).Ok());
    ASSERT_TRUE(B->Do({"select", "2"}).Ok());

    // Both begin editing; the first post wins, the second is refused and keeps its typing.
    ASSERT_TRUE(B->Do({"type", "0", "Кузнецова (Б)"}).Ok());
    ASSERT_TRUE(A->Do({"type", "0", "Кузнецова (А)"}).Ok());
    TReply posted = A->Do({"post"});
    EXPECT_TRUE(posted.Dialogs().isEmpty()) << posted.Text().toStdString();
    TReply refused = B->Do({"post"});
    EXPECT_EQ(refused.Messages(), QStringList{"Record has been changed by another user"})
        << refused.Text().toStdString();
    EXPECT_EQ(refused.State().value("dataset").toString(), "edit");
    EXPECT_EQ(FServers->Scalar(Main, "SELECT ALLNAME FROM KMR_USER_PSW WHERE TABNUM = 2").toString(),
              "Кузнецова (А)");
    ASSERT_TRUE(B->Do({"cancel"}).Ok());

    // A stale list: the change is refused when the editing begins.
    ASSERT_TRUE(A->Do({"type", "0", "Кузнецова Е. П."}).Ok());
    ASSERT_TRUE(A->Do({"post"}).Dialogs().isEmpty());
    refused = B->Do({"type", "0", "Кузнецова (Б)"});
    EXPECT_EQ(refused.Messages(), QStringList{"Record has been changed by another user"})
        << refused.Text().toStdString();
    EXPECT_EQ(refused.State().value("dataset").toString(), "browse");

    // Another administrator's post in flight holds the row: refused at once, while it is held.
    ASSERT_TRUE(B->Do({"refresh"}).Ok());
    ASSERT_TRUE(B->Do({"select", "2"}).Ok());
    ASSERT_TRUE(B->Do({"type", "0", "Кузнецова (Б)"}).Ok());
    {
        TLockHolder other(Main);
        other.Hold("SELECT * FROM KMR_USER_PSW WHERE TABNUM = 2 FOR UPDATE NOWAIT");
        refused = B->Do({"post"});
        EXPECT_EQ(refused.Messages(), QStringList{"Record is locked by another user"})
            << refused.Text().toStdString();
        EXPECT_EQ(refused.State().value("dataset").toString(), "edit");
        other.Release();
    }
    posted = B->Do({"post"});
    EXPECT_TRUE(posted.Dialogs().isEmpty()) << posted.Text().toStdString();
    EXPECT_EQ(FServers->Scalar(Main, "SELECT ALLNAME FROM KMR_USER_PSW WHERE TABNUM = 2").toString(),
              "Кузнецова (Б)");

    // A user deleted by one is gone for the other.
    ASSERT_TRUE(A->Do({"refresh"}).Ok());
    ASSERT_TRUE(A->Do({"select", "2"}).Ok());
    TReply deleted = A->Do({"delete"});
    EXPECT_EQ(deleted.Messages(), QStringList{"Удалить запись?"}) << deleted.Text().toStdString();
    refused = B->Do({"type", "1", "kuznetsova2"});
    EXPECT_EQ(refused.Messages(), QStringList{"Record has been deleted by another user"})
        << refused.Text().toStdString();
    EXPECT_TRUE(Rows(Main, "SELECT TABNUM FROM KMR_USER_PSW WHERE TABNUM = 2").isEmpty());
    ExpectReserveLikeMain(UserColumns);
}

TEST_F(TwoAdministrators, AddingUsersAtTheSameTime) {
    StartBoth();
    const int next = FServers->Scalar(Main, "SELECT MAX(TABNUM) FROM KMR_USER_PSW").toInt() + 1;
    // Both new rows are numbered before either is stored.
    ASSERT_TRUE(A->Do({"insert"}).Ok());
    ASSERT_TRUE(B->Do({"insert"}).Ok());
    EXPECT_EQ(A->Do({"state"}).State().value("tabnum").toInt(), next);
    EXPECT_EQ(B->Do({"state"}).State().value("tabnum").toInt(), next);
    ASSERT_TRUE(A->Do({"type", "0", "Новиков Павел"}).Ok());
    ASSERT_TRUE(A->Do({"type", "1", "novikov"}).Ok());
    ASSERT_TRUE(B->Do({"type", "0", "Орлова Анна"}).Ok());
    ASSERT_TRUE(B->Do({"type", "1", "orlova"}).Ok());
    const TReply first = A->Do({"post"});
    EXPECT_TRUE(first.Dialogs().isEmpty()) << first.Text().toStdString();
    const TReply second = B->Do({"post"});
    // Not a duplicate key and not a lost user: the second gets the next free number.
    EXPECT_TRUE(second.Dialogs().isEmpty()) << second.Text().toStdString();
    EXPECT_EQ(
        Rows(Main, QStringLiteral("SELECT TABNUM, NAME FROM KMR_USER_PSW WHERE TABNUM >= %1 ORDER BY TABNUM")
                       .arg(next)),
        (QStringList{QStringLiteral("%1|novikov").arg(next), QStringLiteral("%1|orlova").arg(next + 1)}));
    ExpectReserveLikeMain(UserColumns);
}

const QString Grants = QStringLiteral("SELECT TABNUM, ID_PROGRAMM, COUNT(*) FROM KMR_PROG_FOR_USER "
                                      "GROUP BY TABNUM, ID_PROGRAMM ORDER BY TABNUM, ID_PROGRAMM");
const QString Memberships = QStringLiteral("SELECT TABNUM, ID_PROGRAMM, ID_GROUP FROM KMR_GROUP_FOR_USER "
                                           "ORDER BY TABNUM, ID_PROGRAMM, ID_GROUP");

TEST_F(TwoAdministrators, GrantsAndGroupsOfTheSameUser) {
    StartBoth();
    ASSERT_TRUE(A->Do({"select", "10"}).Ok());
    ASSERT_TRUE(B->Do({"select", "10"}).Ok());
    const QString grant10 = "SELECT COUNT(*) FROM KMR_PROG_FOR_USER WHERE TABNUM = 10 AND ID_PROGRAMM = 2";

    // Both tick the same program: the user may run it, and one clearing takes it away everywhere.
    TReply ticked = A->Do({"tick", "Отключения", "on"});
    EXPECT_TRUE(ticked.Dialogs().isEmpty()) << ticked.Text().toStdString();
    ticked = B->Do({"tick", "Отключения", "on"});
    EXPECT_TRUE(ticked.Dialogs().isEmpty()) << ticked.Text().toStdString();
    EXPECT_GE(FServers->Scalar(Main, grant10).toInt(), 1);
    ExpectReserveLikeMain(Grants);
    TReply cleared = A->Do({"tick", "Отключения", "off"});
    EXPECT_TRUE(cleared.Dialogs().isEmpty()) << cleared.Text().toStdString();
    EXPECT_EQ(FServers->Scalar(Main, grant10).toInt(), 0);
    EXPECT_EQ(FServers->Scalar(Reserve, grant10).toInt(), 0);
    // The other window, still showing the mark, learns what is stored at the next change of user.
    ASSERT_TRUE(B->Do({"select", "11"}).Ok());
    EXPECT_FALSE(
        B->Do({"select", "10"}).State().value("checked").toArray().contains(QStringLiteral("Отключения")));

    // Both pick a group for the user in the same program at the same moment: one membership row.
    ASSERT_TRUE(A->Do({"tick", "Отключения", "on"}).Ok());
    ASSERT_TRUE(B->Do({"select", "11"}).Ok());
    ASSERT_TRUE(B->Do({"select", "10"}).Ok());
    ASSERT_TRUE(B->Do({"state"}).State().value("checked").toArray().contains(QStringLiteral("Отключения")));
    const auto [pickedA, pickedB] =
        Race({"pick", "Отключения", "Диспетчеры"}, {"pick", "Отключения", "Руководство"},
             "DELETE FROM KMR_GROUP_FOR_USER");
    EXPECT_TRUE(pickedA.Dialogs().isEmpty()) << pickedA.Text().toStdString();
    EXPECT_TRUE(pickedB.Dialogs().isEmpty()) << pickedB.Text().toStdString();
    const QStringList stored =
        Rows(Main, "SELECT ID_GROUP FROM KMR_GROUP_FOR_USER WHERE TABNUM = 10 AND ID_PROGRAMM = 2");
    ASSERT_EQ(stored.size(), 1);
    EXPECT_TRUE(stored[0] == "1" || stored[0] == "5") << stored[0].toStdString();
    ExpectReserveLikeMain(Memberships);
    ExpectReserveLikeMain(Grants);
}

// A change waiting longer than the server allows for another session's write ends in a message.
TEST_F(TwoAdministrators, AWriterThatDoesNotLetGo) {
    StartBoth(QStringLiteral("300"));
    ASSERT_TRUE(A->Do({"select", "10"}).Ok());
    ASSERT_TRUE(A->Do({"program", "Заявки"}).Ok());
    TLockHolder writer(Main);
    writer.Hold(QStringLiteral("UPDATE SRV SET RO = RO WHERE 1 = 0"));
    const TReply picked = A->Do({"pick", "Заявки", "Руководство"});
    EXPECT_EQ(picked.Messages("error"),
              QStringList{"Не удалось сохранить группу \"Руководство\" в программе \"Заявки\"."})
        << picked.Text().toStdString();
    EXPECT_TRUE(picked.Seen().contains("ORA-00054")) << picked.Text().toStdString();
    EXPECT_EQ(picked.State().value("group").toString(), "Диспетчеры");
    const TReply ticked = A->Do({"tick", "Отключения", "on"});
    EXPECT_EQ(ticked.Messages("error"),
              QStringList{"Не удалось разрешить пользователю программу \"Отключения\"."})
        << ticked.Text().toStdString();
    EXPECT_FALSE(ticked.State().value("checked").toArray().contains(QStringLiteral("Отключения")));
    writer.Release();
    EXPECT_EQ(
        FServers->Scalar(Main, "SELECT COUNT(*) FROM KMR_PROG_FOR_USER WHERE TABNUM = 10 AND ID_PROGRAMM = 2")
            .toInt(),
        0);
    EXPECT_EQ(Rows(Main, "SELECT ID_GROUP FROM KMR_GROUP_FOR_USER WHERE TABNUM = 10 AND ID_PROGRAMM = 3"),
              QStringList{"1"});
    ExpectReserveLikeMain(Grants);
    ExpectReserveLikeMain(Memberships);
}

const QString GroupList = QStringLiteral(
    "SELECT ID_PROGRAMM, ID_GROUP, GROUP_NAME FROM KMR_GROUP_FOR_PROG ORDER BY ID_PROGRAMM, ID_GROUP");

TEST_F(TwoAdministrators, TheSameGroupList) {
    StartBoth();
    ASSERT_TRUE(A->Do({"groups.open", "Заявки"}).Ok());
    ASSERT_TRUE(B->Do({"groups.open", "Заявки"}).Ok());

    // A name one added is a duplicate for the other, whatever the other's list shows.
    TReply added = A->Do({"groups.add", "Смена"});
    EXPECT_EQ(added.Messages(), QStringList{"Группа \"Смена\" добавлена."}) << added.Text().toStdString();
    TReply refused = B->Do({"groups.add", " смена"});
    EXPECT_EQ(refused.Messages(), QStringList{"Дублирование имени группы \" смена\" !"})
        << refused.Text().toStdString();

    // Two names at the same moment: both computed the same number; both groups are stored.
    auto [first, second] =
        Race({"groups.add", "Связь"}, {"groups.add", "Ремонт"}, "INSERT INTO KMR_GROUP_FOR_PROG");
    EXPECT_EQ(first.Messages(), QStringList{"Группа \"Связь\" добавлена."}) << first.Text().toStdString();
    EXPECT_EQ(second.Messages(), QStringList{"Группа \"Ремонт\" добавлена."}) << second.Text().toStdString();

    // The same name at the same moment: stored once, the other hears it is a duplicate.
    std::tie(first, second) =
        Race({"groups.add", "Аварийная"}, {"groups.add", "аварийная"}, "INSERT INTO KMR_GROUP_FOR_PROG");
    const QStringList said = first.Messages() + second.Messages();
    EXPECT_EQ(said.size(), 2) << first.Text().toStdString() << second.Text().toStdString();
    EXPECT_EQ(said.filter("добавлена.").size(), 1) << said.join(" / ").toStdString();
    EXPECT_EQ(said.filter("Дублирование имени группы").size(), 1) << said.join(" / ").toStdString();

    // A group one deletes is gone for the other.
    TReply deleted = A->Do({"groups.delete", "Смена"});
    EXPECT_EQ(deleted.Messages(), QStringList{"Удалить группу \"Смена\" ?"}) << deleted.Text().toStdString();
    ASSERT_TRUE(A->Do({"groups.close", "save"}).Ok());
    ASSERT_TRUE(B->Do({"groups.close", "save"}).Ok());
    EXPECT_EQ(Rows(Main, "SELECT GROUP_NAME FROM KMR_GROUP_FOR_PROG WHERE ID_PROGRAMM = 3 AND ID_GROUP > 4 "
                         "ORDER BY GROUP_NAME")
                  .size(),
              3);
    EXPECT_EQ(FServers
                  ->Scalar(Main, "SELECT COUNT(*) FROM KMR_GROUP_FOR_PROG WHERE ID_PROGRAMM = 3 AND "
                                 "UPPER(GROUP_NAME) = 'АВАРИЙНАЯ'")
                  .toInt(),
              1);
    ExpectReserveLikeMain(GroupList);
}

const QString ProgramList = QStringLiteral(
    "SELECT ID_PROGRAMMEXE, PRNAME, PRALIAS, PRDATE_TIME FROM KMR_PROGRAMMEXE ORDER BY ID_PROGRAMMEXE");

TEST_F(TwoAdministrators, RegisteringTheSameFile) {
    StartBoth();
    auto makeFile = [this](const QString& name, const QByteArray& bytes) {
        QFile file(FServers->Dir() + u'/' + name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    };
    const QString journal = makeFile("journal.exe", "MZ journal");

    // One after the other: the second replaces the first's copy under the same number.
    TReply stored = A->Do({"register", journal, "Журнал"});
    EXPECT_TRUE(stored.Dialogs().isEmpty()) << stored.Text().toStdString();
    stored = B->Do({"register", journal, "Журнал смены"});
    EXPECT_TRUE(stored.Dialogs().isEmpty()) << stored.Text().toStdString();
    EXPECT_EQ(Rows(Main, "SELECT ID_PROGRAMMEXE, PRALIAS FROM KMR_PROGRAMMEXE WHERE PRNAME = 'JOURNAL.EXE'"),
              QStringList{"4|Журнал смены"});

    // The same new file at the same moment: stored once; the other station is told it was not
    // stored rather than replacing, unseen, the copy the first has just stored.
    const QString reports = makeFile("reports.exe", "MZ reports");
    auto [first, second] = Race({"register", reports, "Отчёты"}, {"register", reports, "Отчёты (Б)"},
                                "INSERT INTO KMR_PROGRAMMEXE");
    const bool firstWon = first.Dialogs().isEmpty();
    const TReply& loser = firstWon ? second : first;
    EXPECT_NE(first.Dialogs().isEmpty(), second.Dialogs().isEmpty())
        << first.Text().toStdString() << second.Text().toStdString();
    EXPECT_EQ(loser.Messages("error").size(), 1) << loser.Text().toStdString();
    EXPECT_TRUE(loser.Messages("error").value(0).endsWith("' не сохранена!")) << loser.Text().toStdString();
    EXPECT_TRUE(loser.Seen().contains("ORA-00001")) << loser.Text().toStdString();
    EXPECT_EQ(Rows(Main, "SELECT PRALIAS FROM KMR_PROGRAMMEXE WHERE PRNAME = 'REPORTS.EXE'"),
              QStringList{firstWon ? "Отчёты" : "Отчёты (Б)"});

    // Two new files at the same moment: both numbered, both stored.
    const QString left = makeFile("left.exe", "MZ left");
    const QString right = makeFile("right.exe", "MZ right");
    std::tie(first, second) =
        Race({"register", left, "Левый"}, {"register", right, "Правый"}, "INSERT INTO KMR_PROGRAMMEXE");
    EXPECT_TRUE(first.Dialogs().isEmpty()) << first.Text().toStdString();
    EXPECT_TRUE(second.Dialogs().isEmpty()) << second.Text().toStdString();
    EXPECT_EQ(
        Rows(Main,
             "SELECT PRNAME FROM KMR_PROGRAMMEXE WHERE PRNAME IN ('LEFT.EXE', 'RIGHT.EXE') ORDER BY PRNAME"),
        (QStringList{"LEFT.EXE", "RIGHT.EXE"}));
    ExpectReserveLikeMain(ProgramList);
    EXPECT_EQ(FServers->Scalar(Main, "SELECT COUNT(*) FROM KMR_PROGRAMMEXE").toInt(), 7);
}

} // namespace
