#include "OracleBase.h"

#include "NoteQuery.h"
#include "Oracle.h"
#include "Settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <cmath>
#include <exception>

std::atomic<bool> CanWrite{false};
std::atomic<bool> MirrorWrites{false};
TFOracleBase* FOracleBase = nullptr;

namespace {

constexpr int NotRead = -10;

bool EditableAccess(int ro) {
    return ro == 0 || ro == 1;
}

// A SRV column as an integer: numbers are rounded; NULL reads as 0 (an unassigned value, as the
// session delivers it); anything else is no number and fails the read.
int SrvValue(const TOracleQuery& query, int column) {
    const QVariant v = query.Field(column);
    if (!v.isValid() || v.isNull())
        return 0;
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        throw Exception(QStringLiteral("'%1' is not a valid integer value").arg(v.toString()));
    return static_cast<int>(std::lround(d));
}

} // namespace

TFOracleBase::TFOracleBase(QObject* owner, TDbModuleEnvironment environment)
    : QObject(owner), FEnv(std::move(environment)) {
    if (!FEnv.Host)
        FEnv.Host = std::make_shared<TSystemHostInfo>();
    FOracleBase = this;
    InitProgramDir();

    ADatabase = new TOracleSession(this);
    ADatabase->setObjectName(QStringLiteral("ADatabase"));
    ADatabase->SetThreadSafe(true);
    BDatabase = new TOracleSession(this);
    BDatabase->setObjectName(QStringLiteral("BDatabase"));
    BDatabase->SetThreadSafe(true);
    // Until a second alias is configured the reserve session has only a placeholder password.
    BDatabase->SetLogonPassword(QStringLiteral("*"));

    UserTabNum = 0;
    AutoConnect = false;
    TimerAutoConnect = new QTimer(this);
    TimerAutoConnect->setInterval(1000);
    connect(TimerAutoConnect, &QTimer::timeout, this, &TFOracleBase::TimerAutoConnectTimer);

    OnCreateProc();
}

TFOracleBase::~TFOracleBase() {
    TimerAutoConnect->stop();
    StopServers();
    FNotice.reset();
    if (FOracleBase == this)
        FOracleBase = nullptr;
}

void TFOracleBase::OnCreateProc() {
    LoadModeSettings();
    // Every round trip of both sessions is bounded: a server that stops answering costs one call
    // timeout, after which the call fails with ORA-03156 and the server counts as lost.
    ADatabase->SetCallTimeout(::CallTimeout * 1000);
    BDatabase->SetCallTimeout(::CallTimeout * 1000);
    LoadAlias(ADatabase, 0);
    if (::TwoServers == 1)
        LoadAlias(BDatabase, 1);
    InitServers(::TwoServers);
}

void TFOracleBase::LoadAlias(TOracleSession* session, int number) {
    LogOffQuietly(session);
    const AliasSettings alias = ReadAliasSettings(number);
    session->SetLogonDatabase(alias.ServerName);
    session->SetLogonPassword(alias.Password);
    session->SetLogonUsername(alias.UserName);
    AutoConnect = alias.AutoConnect;
}

void TFOracleBase::InitServers(int twoServers) {
    Busy = true;
    MirrorWrites = false;
    MirrorWanted = false;
    CanWrite = false;
    MainOk = false;
    ReserveOk = false;
    TwoServers = twoServers;

    ReserveIdle = std::make_unique<TManualResetEvent>(false);
    ReserveIdle->Set();

    MainOk = EvaluateMain();
    if (MirrorWrites)
        ReserveOk = CheckReserve();
    MirrorWrites = MirrorWrites && ReserveOk;

    ADatabase->AfterLogOn = [this](TOracleSession* session) { SessionAfterLogOn(session); };
    // Every commit on the main server (also the dataset's own after a post) while mirroring is off
    // leaves the reserve behind.
    ADatabase->AfterCommit = [this](TOracleSession*) {
        if (!MirrorWrites)
            NoteUnmirroredChange();
    };
    try {
        SessionAfterLogOn(ADatabase);
    } catch (const Exception& e) {
        // The labelling of the server session failed; the program works on without it.
        ReportError(e.Message(), QString());
    }

    MainThread = std::make_unique<TBaseMainThread>([this] { MainOk = EvaluateMain(); });
    if (twoServers > 0)
        ReservThread =
            std::make_unique<TBaseReservThread>([this] { ReserveOk = CheckReserve(); }, *ReserveIdle);

    Busy = false;

    if (AutoConnect) {
        if (FEnv.CreateNotice && !FNotice)
            FNotice = FEnv.CreateNotice(*this);
        TimerAutoConnect->start();
    }
}

bool TFOracleBase::ReadSrv(TOracleSession* session, int& main, int& second, int& ro) {
    main = NotRead;
    second = NotRead;
    TOracleQuery query;
    try {
        query.SetSession(session);
        if (!session->Connected())
            session->LogOn();
        query.SetSQLText(QStringLiteral("SELECT MAIN,SECOND,RO FROM SRV"));
        query.Execute();
        if (!query.Eof()) {
            main = SrvValue(query, 0);
            second = SrvValue(query, 1);
            ro = SrvValue(query, 2);
        }
        query.Close();
    } catch (...) {
        // Unreachable server, no SRV table, a value that is no number: not read.
        LogOffQuietly(session);
    }
    return !((main < 0 && second < 0) || main == 2);
}

bool TFOracleBase::EvaluateMain() {
    // The access code stays "not read" (view mode) when SRV has no row.
    int m = NotRead, s = NotRead, r = NotRead;
    const bool ok = ReadSrv(ADatabase, m, s, r);
    bool result = false;
    if (TwoServers == 0) {
        result = ADatabase->Connected();
        CanWrite = result && EditableAccess(r);
        MirrorWrites = false;
    } else if (::ServerChoice == 2) {
        if (m != 2 && SwapServers())
            ReadSrv(ADatabase, m, s, r);
        result = m == 2;
        CanWrite = result && EditableAccess(r);
        MirrorWrites = false;
    } else {
        if (!ok) {
            // Ask the partner: its MAIN is the state of the server we would swap to.
            int partnerSecond = NotRead;
            if (PartnerAnswersNow())
                ReadSrv(BDatabase, s, partnerSecond, r);
            else
                s = NotRead;
            m = NotRead;
            MirrorWrites = false;
        }
        if (m == 0)
            result = true;
        else if (s == 0)
            result = SwapServers();
        else
            result = false;
        const bool canWrite = result && EditableAccess(r) && (m == 0 || s == 0);
        CanWrite = canWrite;
        MirrorWrites = canWrite && (m == 1 || s == 1 || (m == 0 && s == 0));
    }
    MirrorWanted = MirrorWrites.load();
    return result;
}

bool TFOracleBase::SwapServers() {
    LogOffQuietly(ADatabase);
    // A running reserve probe finishes with BDatabase first; after the time-out we go on anyway.
    if (ReserveIdle)
        ReserveIdle->Wait(FEnv.ReserveIdleTimeoutMs);
    LogOffQuietly(BDatabase);

    const QString database = ADatabase->LogonDatabase();
    const QString password = ADatabase->LogonPassword();
    const QString username = ADatabase->LogonUsername();
    ADatabase->SetLogonDatabase(BDatabase->LogonDatabase());
    ADatabase->SetLogonPassword(BDatabase->LogonPassword());
    ADatabase->SetLogonUsername(BDatabase->LogonUsername());
    BDatabase->SetLogonDatabase(database);
    BDatabase->SetLogonPassword(password);
    BDatabase->SetLogonUsername(username);

    try {
        ADatabase->LogOn();
        if (MirrorWrites)
            BDatabase->LogOn();
    } catch (...) {
        // The caller sees the outcome in ADatabase's state; the next evaluation tries again.
    }
    return ADatabase->Connected();
}

bool TFOracleBase::CheckReserve() {
    bool result = false;
    TOracleQuery query;
    try {
        query.SetSession(BDatabase);
        if (!BDatabase->Connected())
            BDatabase->LogOn();
        query.SetSQLText(QStringLiteral("SELECT MAIN,SECOND FROM SRV"));
        query.Execute();
        result = !query.Eof();
        query.Close();
    } catch (...) {
        LogOffQuietly(BDatabase);
        result = false;
    }
    return result;
}

bool TFOracleBase::PartnerAnswersNow() {
    if (!AutoConnect || !ReservThread)
        return true;
    if (!BDatabase->Connected()) {
        ReservThread->Pulse();
        return false;
    }
    return ReservThread->State() != TBaseWatchThread::stEvaluating;
}

bool TFOracleBase::CheckServers() {
    if (Busy)
        return false;
    if (BackgroundCalls > 0)
        return MainOk;
    // A statement found the main server gone (ORA-03113, ORA-03156 after the call timeout ...): the
    // watcher takes over, and this thread does not wait for that server again.
    if (ADatabase->TakeConnectionLost())
        MainOk = false;
    if (!MainOk) {
        if (MainThread)
            MainThread->Pulse();
        return false;
    }
    MainOk = EvaluateMain();
    if (MirrorWrites) {
        if (BDatabase->TakeConnectionLost())
            ReserveOk = false;
        // The reserve is probed by its watcher, so a reserve that stops answering never holds up this
        // thread; the tick goes by the previous probe's result. A probe seen without an answer for
        // half a second means the reserve does not answer now: changes are not repeated on it (and so
        // do not wait for it) until a probe answers again.
        if (ReservThread) {
            // The count first: a probe that ends between the two reads is not taken for a new one.
            const int finished = ReservThread->Evaluations();
            const bool probing = ReservThread->State() == TBaseWatchThread::stEvaluating;
            if (!probing) {
                FReserveProbeSeen = -1;
            } else if (finished != FReserveProbeSeen) {
                FReserveProbeSeen = finished;
                FReserveProbeClock.start();
            } else if (FReserveProbeClock.elapsed() >= ReserveAnswerMs) {
                ReserveOk = false;
            }
        }
        if (ReservThread)
            ReservThread->Pulse();
        else if (ReserveOk)
            ReserveOk = CheckReserve();
        MirrorWrites = MirrorWrites && ReserveOk;
    }
    return MainOk;
}

bool TFOracleBase::ReserveAnswersNow() {
    if (!ReservThread || !ReserveIdle || ReserveIdle->Wait(int(ReserveAnswerMs)))
        return true;
    ReserveOk = false;
    MirrorWrites = false;
    return false;
}

void TFOracleBase::RefreshServers() {
    MirrorWrites = false;
    CanWrite = false;
    CheckServers();
}

void TFOracleBase::SessionAfterLogOn(TOracleSession* session) {
    if (!session || !session->Connected())
        return;
    const int userTabNum = UserTabNum;
    if (userTabNum > 0) {
        TNoteQuery query;
        query.SetSQLText(
            QStringLiteral("SELECT * FROM USER_PSW WHERE (TABNUM =%1) AND (WENABLED = 'F')").arg(userTabNum));
        try {
            query.Execute();
            if (!query.Eof()) {
                query.Close();
                OnGuiThread([this] {
                    ReportError(QStringLiteral("Вам запрещена работа с сервером. Сеанс прекращен."),
                                QStringLiteral("Обратитесь к администратору ОИК за допуском к работе."));
                    RequestTermination();
                });
                return;
            }
            query.Close();
        } catch (const Exception& e) {
            ReportError(query.SQL().join(QStringLiteral("\r\n")), e.Message());
        }
    }
    const QString address = GetHostAddress();
    TDBMS_Application_Info info(session);
    info.SetModule(ApplicationTitle(), address);
    info.SetClientInfo(QString::number(userTabNum));
}

QString TFOracleBase::GetHostAddress() const {
    return HostAddressText(*FEnv.Host);
}

void TFOracleBase::CommitAll() {
    if (!CanWrite)
        return;
    if (ADatabase->InTransaction())
        ADatabase->Commit();
    // From here on the main server holds the change: whatever the reserve does, it stands, and a
    // reserve that cannot take it only misses it, as when it refuses a repeated statement.
    const bool touched = FReserveTouched.exchange(false);
    if (!MirrorWrites && !touched)
        return;
    try {
        if (BDatabase->InTransaction()) {
            if (MirrorWrites) {
                BDatabase->Commit();
            } else {
                // Mirroring stopped after part of the change reached the reserve: that part is dropped
                // rather than left open for a later commit.
                BDatabase->Rollback();
                NoteUnmirroredChange();
            }
        }
    } catch (...) {
        MirrorWrites = false;
        NoteUnmirroredChange();
        RollbackQuietly(BDatabase);
    }
}

void TFOracleBase::RollbackAll() {
    if (!CanWrite)
        return;
    // Both sessions are rolled back even when the first refuses (a lost main server): a change left
    // open on the reserve would hold its locks and be committed by the next mirrored change.
    std::exception_ptr failure;
    try {
        if (ADatabase->InTransaction())
            ADatabase->Rollback();
    } catch (...) {
        failure = std::current_exception();
    }
    const bool touched = FReserveTouched.exchange(false);
    try {
        if ((MirrorWrites || touched) && BDatabase->InTransaction())
            BDatabase->Rollback();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TFOracleBase::RollbackQuietly(TOracleSession* session) {
    try {
        session->Rollback();
    } catch (...) {
        // A session that cannot roll back has lost its connection, and its open change with it.
    }
}

void TFOracleBase::LogOffQuietly(TOracleSession* session) {
    try {
        if (session && session->Connected())
            session->LogOff();
    } catch (...) {
    }
}

void TFOracleBase::StopServers() {
    Busy = true;
    MirrorWrites = false;
    MirrorWanted = false;
    CanWrite = false;
    MainOk = false;
    ReserveOk = false;
    // An evaluation under way finishes first; the watchers never wait for this thread.
    if (MainThread) {
        MainThread->Stop();
        MainThread.reset();
    }
    if (ReservThread) {
        ReservThread->Stop();
        ReservThread.reset();
    }
    ReserveIdle.reset();
    LogOffQuietly(ADatabase);
    LogOffQuietly(BDatabase);
}

void TFOracleBase::TimerAutoConnectTimer() {
    AutoConnectTick();
}

void TFOracleBase::AutoConnectTick() {
    if (Busy)
        return;
    const bool ok = CheckServers();
    if (!FNotice)
        return;
    if (ok) {
        // Closed also when it lost activation while on screen.
        if (FNotice->Shown() || FNotice->IsVisible())
            FNotice->CloseNotice();
    } else if (!FNotice->Shown() && !FNotice->IsVisible()) {
        FNotice->ShowNotice();
    }
}

bool TFOracleBase::ReserveUnavailable() const {
    return TwoServers > 0 && MainOk && CanWrite && MirrorWanted && !MirrorWrites;
}

QString TFOracleBase::StatusText() const {
    const QString blanks = QStringLiteral("   ");
    QString text;
    if (TwoServers > 0)
        text = QStringLiteral("   Два сервера. Основной: \"") + ADatabase->LogonDatabase() +
               QStringLiteral("\"") + blanks;
    else
        text =
            blanks + ADatabase->LogonUsername() + QStringLiteral("@") + ADatabase->LogonDatabase() + blanks;
    if (!FUserFullName.isEmpty())
        text += QStringLiteral("Пользователь: \"") + FUserFullName + QStringLiteral("\"") + blanks;
    return text;
}

void TFOracleBase::NoteUnmirroredChange() {
    if (TwoServers > 0)
        ++FUnmirroredChanges;
}

QString TFOracleBase::ApplicationTitle() const {
    return FEnv.ApplicationTitle.isEmpty() ? QStringLiteral("Admin_KMR") : FEnv.ApplicationTitle;
}

void TFOracleBase::RequestTermination() {
    if (FEnv.RequestTermination) {
        FEnv.RequestTermination();
        return;
    }
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
}

void TFOracleBase::OnGuiThread(std::function<void()> f) {
    if (QThread::currentThread() == thread())
        f();
    else
        QMetaObject::invokeMethod(this, std::move(f), Qt::QueuedConnection);
}

void TFOracleBase::ReportError(const QString& text, const QString& details) {
    OnGuiThread([this, text, details] {
        if (FEnv.ShowError)
            FEnv.ShowError(text, details);
        else
            qWarning("%s\n%s", qPrintable(text), qPrintable(details));
    });
}
