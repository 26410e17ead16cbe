// Two administrators at work on the same pair of servers: two processes of the program, each with its
// own sessions, edit the same user, the same grants, the same group list and register the same file.
// Every conflict must end in the documented error or a clear message, never in a silent overwrite
// or a duplicate key, and the reserve server must hold what the main server holds.
//
// Races are made certain rather than hoped for: this process takes the main server's write lock, lets
// both administrators run into it (the round-trip trace shows each one's statement arriving), and
// lets go, so both have read the same state before either writes.
#include "Oracle.h"
#include "TestServers.h"

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

const QString Main = QString::fromLatin1(TTestServers::MainServer);
const QString Reserve = QString::fromLatin1(TTestServers::ReserveServer);

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
    }
    qint64 Pid() const { return FProcess.processId(); }

    // Sends a command without waiting for its answer (a window that will run into a lock).
    void Send(const QStringList& command) { FProcess.write(command.join(u'\t').toUtf8() + '\n'); }
    // The answer to the command sent last; an answer saying "no answer" when none came in time.
    TReply Receive() {
        QDeadlineTimer deadline(60000);
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
    explicit TLockHolder(const QString& server) {
        FSession.SetLogonUsername(QString::fromLatin1(TTestServers::DbUser));
        FSession.SetLogonPassword(QString::fromLatin1(TTestServers::DbPassword));
        FSession.SetLogonDatabase(server);
        FSession.LogOn();
        FQuery.SetSession(&FSession);
    }
    void Hold(const QString& statement) {
        FQuery.SetSQLText(statement);
        FQuery.Execute();
    }
    void Release() { FSession.Rollback(); }

private:
    TOracleSession FSession;
    TOracleQuery FQuery;
};

class TwoAdministrators : public ::testing::Test {
protected:
    void SetUp() override { FServers = std::make_unique<TTestServers>(true); }

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
        EXPECT_TRUE(arrived) << "the statements did not arrive: " << arriving.toStdString();
        return {A->Receive(), B->Receive()};
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

    std::unique_ptr<TTestServers> FServers;
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

} // namespace
