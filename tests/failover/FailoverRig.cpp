#include "FailoverRig.h"

#include "../support/FixedHost.h"
#include "../support/GridTyping.h"
#include "../support/QtTestApplication.h"
#include "../support/TraceFile.h"
#include "ChekExename.h"
#include "DBCheckBox.h"
#include "DBEdit.h"
#include "DBGridEh.h"
#include "DBNavigator.h"
#include "DialogGateway.h"
#include "ErrorOra.h"
#include "InfoFromDat.h"
#include "Login.h"
#include "LoginType.h"
#include "Main.h"
#include "NoteDataSet.h"
#include "Oracle.h"
#include "OracleBase.h"
#include "ProgramAccess.h"
#include "ProgramStore.h"
#include "Settings.h"
#include "StartUp.h"
#include "Termination.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QThread>
#include <QToolButton>

#include <sqlite3.h>

// Answers every question as an administrator who goes on: confirms deletes, closes messages, cancels
// file and input dialogs; keeps every question for the judgement of the action that raised it.
class TFailoverAnswerer : public IDialogAnswerer {
public:
    TFailoverAnswerer() : FPrevious(DialogGateway::Instance().SetAnswerer(this)) {}
    ~TFailoverAnswerer() override { DialogGateway::Instance().SetAnswerer(FPrevious); }

    DialogAnswer Answer(const DialogRequest& request) override {
        Asked << request;
        DialogAnswer answer;
        switch (request.Kind) {
        case DialogKind::Message:
            answer.ModalResult = request.Buttons.Contains(mbYes) ? mrYes : mrOk;
            break;
        case DialogKind::ErrorForm:
            answer.ModalResult = mrOk;
            break;
        default:
            answer.ModalResult = mrCancel;
            break;
        }
        return answer;
    }

    QList<DialogRequest> Asked;

private:
    IDialogAnswerer* FPrevious;
};

namespace {

// The select that shows whether a user may run a program.
QString GrantCount(int tabNum, int programId) {
    return QStringLiteral("SELECT COUNT(*) FROM KMR_PROG_FOR_USER WHERE TABNUM = %1 AND ID_PROGRAMM = %2")
        .arg(tabNum)
        .arg(programId);
}

[[maybe_unused]] ::testing::Environment* const App = RegisterQtTestApplication("failover", "Admin_KMR");

TServer Other(TServer s) {
    return s == TServer::A ? TServer::B : TServer::A;
}

QString Letter(TServer s) {
    return s == TServer::A ? QStringLiteral("A") : QStringLiteral("B");
}

// Counts of rows compared as "none" or "some": a pair of servers known to differ may hold a grant
// twice on the one that missed its withdrawal.
QStringList AsPresence(const QStringList& counts) {
    QStringList out;
    for (const QString& c : counts)
        out << (c == QLatin1String("0") ? c : QStringLiteral("1"));
    return out;
}

bool Pump(const std::function<bool()>& cond, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!cond()) {
        if (clock.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

} // namespace

TFailoverRig::TFailoverRig(int callTimeoutSeconds) {
    TServerProfile profile;
    profile.CallTimeoutSeconds = callTimeoutSeconds;
    profile.Extra = QStringLiteral("[Timer]\nAutoConnect=1");
    FServers = std::make_unique<TNamedServers>(true, profile);
    FTrace = FServers->TraceFile().Path();
    FAnswerer = std::make_unique<TFailoverAnswerer>();
}

TFailoverRig::~TFailoverRig() {
    Finish();
    FAnswerer.reset();
    FServers.reset();
    TLoginForm::SetDefaultParameters({});
    ResetTerminationRequest();
}

QString TFailoverRig::Name(TServer s) {
    return QString::fromLatin1(s == TServer::A ? TServerPair::MainServer : TServerPair::ReserveServer);
}

bool TFailoverRig::Start() {
    ResetTerminationRequest();
    UserProfile.Clear();
    TempFileName.clear();
    TLoginForm::SetDefaultParameters({QStringLiteral("admin/kmr2026")});
    TDbModuleEnvironment env;
    env.Host = std::make_shared<TFixedHost>(QStringLiteral("10.20.1.1"));
    env.ShowError = [](const QString& text, const QString& details) { ShowError(text, details); };
    // No connection-loss window: its modal loop would hold the script until the server returns.
    env.ReserveIdleTimeoutMs = 20000;
    FProgram = std::make_unique<TAdminStartUp>();
    FProgram->Create(env);
    if (!FProgram->Show() || !Window()->UsersSet || !Window()->UsersSet->Active()) {
        Violations << QStringLiteral("the program did not open its window");
        return false;
    }
    Log(QStringLiteral("started; main %1").arg(Letter(MainFile())));
    return true;
}

bool TFailoverRig::StartModule() {
    TDbModuleEnvironment env;
    env.Host = std::make_shared<TFixedHost>(QStringLiteral("10.20.1.1"));
    env.ReserveIdleTimeoutMs = 20000;
    FModule = std::make_unique<TFOracleBase>(nullptr, env);
    FModule->RefreshServers();
    if (!TickUntil([] { return FOracleBase->MainOk && CanWrite; }, 10000)) {
        Violations << QStringLiteral("the database module found no main server");
        return false;
    }
    Log(QStringLiteral("module started; main %1").arg(Letter(MainFile())));
    return true;
}

std::optional<bool> TFailoverRig::ChangeGrant(int tabNum, int programId, bool grant) {
    const QString what = QStringLiteral("%1 program %2 for user %3 (module)")
                             .arg(grant ? "grant" : "withdraw")
                             .arg(programId)
                             .arg(tabNum);
    const QString sql = GrantCount(tabNum, programId);
    const TAction action = Begin(what, sql);
    TNoteDataSet change;
    change.SetSQLText(
        grant ? QStringLiteral("INSERT INTO KMR_PROG_FOR_USER VALUES (%1, %2)").arg(tabNum).arg(programId)
              : QStringLiteral("DELETE FROM KMR_PROG_FOR_USER WHERE TABNUM = %1 AND ID_PROGRAMM = %2")
                    .arg(tabNum)
                    .arg(programId));
    // As the windows do: in view mode the gate skips the change, so it is not tried.
    if (!CanWrite)
        return std::nullopt;
    const bool done = change.NoteExecSQL(true) && CanWrite;
    Log(QStringLiteral("change: %1").arg(what));
    Judge(action, done, {grant ? QStringLiteral("1") : QStringLiteral("0")});
    return done;
}

void TFailoverRig::Finish() {
    FModule.reset();
    if (!FProgram)
        return;
    if (fmAddProgramm && fmAddProgramm->isVisible() && !fmAddProgramm->Storing())
        fmAddProgramm->BitBtn2->click();
    FProgram.reset();
    QCoreApplication::removePostedEvents(nullptr);
}

TKMF_Admin* TFailoverRig::Window() const {
    return FProgram ? FProgram->MainWindow() : nullptr;
}

TServer TFailoverRig::MainFile() const {
    return FOracleBase->ADatabase->LogonDatabase().compare(Name(TServer::A), Qt::CaseInsensitive) == 0
               ? TServer::A
               : TServer::B;
}

void TFailoverRig::Admin(const QStringList& args) {
    // The tool's round trips stay out of the program's trace (RunTool leaves it out).
    std::vector<std::string> words;
    for (const QString& a : args)
        words.push_back(a.toStdString());
    const TToolResult r = RunTool("ocisqlite-admin", words, FServers->Dir().toStdString());
    if (r.ExitCode != 0)
        Violations << QStringLiteral("ocisqlite-admin %1 failed (%2): %3")
                          .arg(args.join(u' '))
                          .arg(r.ExitCode)
                          .arg(QString::fromStdString(r.All()).trimmed());
}

void TFailoverRig::Down(TServer s) {
    Log(QStringLiteral("down %1").arg(Letter(s)));
    Admin({QStringLiteral("down"), Name(s)});
}

void TFailoverRig::DownAfter(TServer s, int roundTrips) {
    Log(QStringLiteral("down %1 after %2 round trips").arg(Letter(s)).arg(roundTrips));
    Admin({QStringLiteral("down"), Name(s), QStringLiteral("--after"), QString::number(roundTrips)});
}

void TFailoverRig::Hang(TServer s, int seconds) {
    Log(QStringLiteral("hang %1 %2 s").arg(Letter(s)).arg(seconds));
    Admin({QStringLiteral("hang"), Name(s), QString::number(seconds)});
}

void TFailoverRig::Up(TServer s) {
    Log(QStringLiteral("up %1").arg(Letter(s)));
    if (IsDown(s))
        Admin({QStringLiteral("up"), Name(s)});
}

bool TFailoverRig::IsDown(TServer s) const {
    const QString file = FServers->DbFile(Name(s));
    for (const char* marker : {".down", ".down-after", ".hang"})
        if (QFile::exists(file + QLatin1String(marker)))
            return true;
    return false;
}

bool TFailoverRig::SetSrv(TServer s, int main, int second, int ro) {
    if (IsDown(s))
        return false;
    if (FileRows(s, QStringLiteral("SELECT MAIN, SECOND, RO FROM SRV")) ==
        QStringList{QStringLiteral("%1|%2|%3").arg(main).arg(second).arg(ro)})
        return true;
    Log(QStringLiteral("SRV of %1 := (%2, %3, %4)").arg(Letter(s)).arg(main).arg(second).arg(ro));
    try {
        FServers->Exec(Name(s), {QStringLiteral("DELETE FROM SRV"),
                                 QStringLiteral("INSERT INTO SRV (MAIN, SECOND, RO) VALUES (%1, %2, %3)")
                                     .arg(main)
                                     .arg(second)
                                     .arg(ro)});
    } catch (const std::exception& e) {
        Violations << QStringLiteral("SRV of %1 not written: %2").arg(Letter(s), QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

void TFailoverRig::Tick() {
    if (!FOracleBase)
        return;
    FOracleBase->AutoConnectTick();
    if (Window())
        Window()->WatchServers();
    QCoreApplication::processEvents();
}

bool TFailoverRig::TickUntil(const std::function<bool()>& cond, int ms) {
    // At least one tick: a statement may have found a server gone since the last one.
    QElapsedTimer clock;
    clock.start();
    do {
        Tick();
        if (cond())
            return true;
        Pump([] { return false; }, 5);
    } while (clock.elapsed() < ms);
    return cond();
}

bool TFailoverRig::ThreadsIdle(int ms) {
    return Pump(
        [] {
            const auto idle = [](const auto& t) { return !t || t->State() == TBaseWatchThread::stIdle; };
            return FOracleBase && idle(FOracleBase->MainThread) && idle(FOracleBase->ReservThread) &&
                   FOracleBase->ReserveIdle->IsSet() && (!FInfoFromDat || !FInfoFromDat->Transferring());
        },
        ms);
}

QStringList TFailoverRig::FileRows(TServer s, const QString& sql) const {
    QStringList rows;
    sqlite3* db = nullptr;
    const QByteArray path = FServers->DbFile(Name(s)).toUtf8();
    if (sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return {QStringLiteral("<cannot open>")};
    }
    sqlite3_busy_timeout(db, 10000);
    sqlite3_stmt* st = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), -1, &st, nullptr) != SQLITE_OK) {
        rows << QStringLiteral("<error: %1>").arg(QString::fromUtf8(sqlite3_errmsg(db)));
    } else {
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            QStringList cols;
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                const auto* v = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
                cols << (v ? QString::fromUtf8(v) : QString());
            }
            rows << cols.join(u'|');
        }
        if (rc != SQLITE_DONE)
            rows << QStringLiteral("<error: %1>").arg(QString::fromUtf8(sqlite3_errmsg(db)));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

TFailoverRig::TSnapshot TFailoverRig::Snap(const QString& sql) const {
    return {FileRows(TServer::A, sql), FileRows(TServer::B, sql)};
}

TFailoverRig::TAction TFailoverRig::Begin(const QString& what, const QString& sql) {
    TAction action{what, sql, MainFile(), FOracleBase->UnmirroredChanges(), Snap(sql)};
    FOpTrace = QFileInfo(FTrace).size();
    return action;
}

void TFailoverRig::Judge(const TAction& action, bool done, const QStringList& expected, int user) {
    const QString& what = action.What;
    const QString& sql = action.Sql;
    const TSnapshot& before = action.Before;
    const TServer mainAtStart = action.Main;
    const unsigned missedAtStart = action.Missed;
    const TSnapshot after = Snap(sql);
    const TServer mainNow = MainFile();
    const unsigned missedNow = FOracleBase->UnmirroredChanges();
    const auto rows = [&after](TServer s) { return s == TServer::A ? after.OnA : after.OnB; };
    const auto show = [](const QStringList& r) { return QLatin1Char('[') + r.join(u',') + QLatin1Char(']'); };
    Log(QStringLiteral("  %1: %2; A %3 -> %4, B %5 -> %6; missed %7 -> %8")
            .arg(what, done ? QStringLiteral("done") : QStringLiteral("not done"), show(before.OnA),
                 show(after.OnA), show(before.OnB), show(after.OnB))
            .arg(missedAtStart)
            .arg(missedNow));
    const qsizetype violationsBefore = Violations.size();
    // The round trips of a misjudged action go to the log.
    const auto traceOnViolation = qScopeGuard([&] {
        if (Violations.size() == violationsBefore)
            return;
        QFile file(FTrace);
        if (file.open(QIODevice::ReadOnly) && file.seek(FOpTrace))
            Log(QStringLiteral("  round trips of the action:\n") + QString::fromUtf8(file.readAll()));
    });
    if (!FKeyIndex.contains(sql)) {
        FKeyIndex.insert(sql, FKeys.size());
        TKey key;
        key.What = what;
        key.First = before;
        FKeys.push_back(key);
    }
    TKey& key = FKeys[FKeyIndex.value(sql)];
    key.User = user;
    if (!done) {
        if (after.OnA != before.OnA || after.OnB != before.OnB)
            Violations << QStringLiteral("%1 was reported as failed but changed a server").arg(what);
        return;
    }
    // Once the pair is known to differ, a grant may stand twice where a withdrawal was missed.
    const bool presence = missedAtStart > 0 && sql.startsWith(QLatin1String("SELECT COUNT(*)"));
    const auto matches = [&](TServer s) { return Matches(s, rows(s), expected, presence); };
    key.What = what;
    key.Done = true;
    key.Value = expected;
    key.Main = mainAtStart;
    key.MainNow = mainNow;
    key.Mirrored = missedNow == missedAtStart && mainNow == mainAtStart;
    key.Presence = presence;
    if (!matches(mainAtStart) && !(mainNow != mainAtStart && matches(mainNow)))
        Violations << QStringLiteral(
                          "%1 was reported as done but is not on the main server %2 (%3, expected %4)")
                          .arg(what, Letter(mainAtStart), show(rows(mainAtStart)), show(expected));
    const TServer reserve = Other(mainAtStart);
    if (missedNow == missedAtStart && mainNow == mainAtStart && !matches(reserve))
        Violations << QStringLiteral("%1 was reported as done while mirroring, but the reserve server %2 "
                                     "holds %3 (expected %4) and the module did not count it as missed")
                          .arg(what, Letter(reserve), show(rows(reserve)), show(expected));
}

bool TFailoverRig::Matches(TServer, const QStringList& rows, const QStringList& expected,
                           bool presence) const {
    return presence ? AsPresence(rows) == expected : rows == expected;
}

void TFailoverRig::ForgetUser(int tabNum, const QString& keep) {
    if (tabNum == 0)
        return;
    for (auto it = FKeyIndex.begin(); it != FKeyIndex.end();)
        if (it.key() != keep && FKeys[it.value()].User == tabNum)
            it = FKeyIndex.erase(it);
        else
            ++it;
}

void TFailoverRig::CheckKeys() {
    const auto show = [](const QStringList& r) { return QLatin1Char('[') + r.join(u',') + QLatin1Char(']'); };
    for (auto it = FKeyIndex.cbegin(); it != FKeyIndex.cend(); ++it) {
        const TKey& key = FKeys[it.value()];
        const TSnapshot now = Snap(it.key());
        const auto rows = [&now](TServer s) { return s == TServer::A ? now.OnA : now.OnB; };
        if (!key.Done) {
            if (now.OnA != key.First.OnA || now.OnB != key.First.OnB)
                Violations << QStringLiteral(
                                  "no change to %1 was reported as done, yet A holds %2 (was %3) and B %4 "
                                  "(was %5)")
                                  .arg(key.What, show(now.OnA), show(key.First.OnA), show(now.OnB),
                                       show(key.First.OnB));
            continue;
        }
        if (!Matches(key.Main, rows(key.Main), key.Value, key.Presence) &&
            !Matches(key.MainNow, rows(key.MainNow), key.Value, key.Presence))
            Violations << QStringLiteral("%1, reported as done, is no longer on the main server %2 (%3)")
                              .arg(key.What, Letter(key.Main), show(rows(key.Main)));
        if (key.Mirrored && !Matches(Other(key.Main), rows(Other(key.Main)), key.Value, key.Presence))
            Violations << QStringLiteral(
                              "%1, reported as done while mirroring, is no longer on the reserve server "
                              "%2 (%3)")
                              .arg(key.What, Letter(Other(key.Main)), show(rows(Other(key.Main))));
    }
}

void TFailoverRig::Log(const QString& line) {
    if (!FClock.isValid())
        FClock.start();
    FLog << QStringLiteral("%1 ms  ").arg(FClock.elapsed(), 6) + line;
}

QString TFailoverRig::Report() const {
    QString text = FLog.join(u'\n');
    const QList<TTraceLine> trace = ReadTraceFile(FTrace);
    text += QStringLiteral("\n-- last round trips (of %1):").arg(trace.size());
    for (qsizetype i = std::max<qsizetype>(0, trace.size() - 25); i < trace.size(); ++i)
        text += QStringLiteral("\n  %1 %2 %3").arg(trace[i].Sid, trace[i].Call, trace[i].Text.left(120));
    return text;
}

int TFailoverRig::RequestsSoFar() const {
    return int(FAnswerer->Asked.size());
}

bool TFailoverRig::FailureAskedSince(int from, const QStringList& textParts) const {
    for (qsizetype i = from; i < FAnswerer->Asked.size(); ++i) {
        const DialogRequest& r = FAnswerer->Asked[i];
        // Showing a program's groups may rewrite the user's membership; its failure is its own.
        if (textParts.isEmpty() && r.Text.contains(QStringLiteral("Не удалось сохранить группу")))
            continue;
        const bool failure = r.Kind == DialogKind::ErrorForm ||
                             (r.Kind == DialogKind::Message && (r.Type == mtError || r.Type == mtWarning));
        if (!failure)
            continue;
        if (textParts.isEmpty())
            return true;
        for (const QString& part : textParts)
            if (r.Text.contains(part))
                return true;
    }
    return false;
}

bool TFailoverRig::SelectUserByNumber(int tabNum) {
    TOracleDataSet* users = Window()->UsersSet;
    for (int i = 0; i < users->RecordCount(); ++i)
        if (users->RecordValue(i, 0).toInt() == tabNum) {
            Window()->DBGridEh1->setCurrentIndex(Window()->DBGridEh1->model()->index(i, 0));
            return users->FieldByName(QStringLiteral("TABNUM"))->AsInteger() == tabNum;
        }
    return false;
}

int TFailoverRig::SelectUserByPick(int pick) {
    TKMF_Admin* w = Window();
    if (!w || !w->UsersSet || !w->UsersSet->Active() || w->UsersSet->RecordCount() == 0)
        return 0;
    CancelOpenEdit();
    TOracleDataSet* users = w->UsersSet;
    // The signed-in administrator is left alone: barring or deleting oneself ends the program.
    const int self = FOracleBase->UserTabNum;
    for (int k = 0; k < users->RecordCount(); ++k) {
        const int i = (pick + k) % users->RecordCount();
        const int tabNum = users->RecordValue(i, 0).toInt();
        if (tabNum != self)
            return SelectUserByNumber(tabNum) ? tabNum : 0;
    }
    return 0;
}

void TFailoverRig::CancelOpenEdit() {
    TOracleDataSet* users = Window()->UsersSet;
    if (users && users->Active() && users->State() != dsBrowse)
        Window()->DBNavigator1->Button(nbCancel)->click();
}

namespace {

// The user list's values at the current row, for the log.
QString Field(TOracleDataSet* users, const char* name) {
    return users->FieldByName(QLatin1String(name))->AsString();
}

} // namespace

std::optional<bool> TFailoverRig::PostUserEdit(const TAction& action, const QString& label,
                                               const QStringList& expected, int tabNum) {
    TKMF_Admin* w = Window();
    if (w->UsersSet->State() != dsEdit) {
        CancelOpenEdit();
        return std::nullopt;
    }
    const int from = RequestsSoFar();
    w->DBNavigator1->Button(nbPost)->click();
    const bool done = w->UsersSet->State() == dsBrowse && !FailureAskedSince(from, {});
    CancelOpenEdit();
    Log(QStringLiteral("%1: %2").arg(label, action.What));
    Judge(action, done, expected, tabNum);
    return done;
}

std::optional<bool> TFailoverRig::EditUser(int pick, const QString& address) {
    const int tabNum = SelectUserByPick(pick);
    if (tabNum == 0 || Window()->DBEdit1->isReadOnly())
        return std::nullopt;
    TKMF_Admin* w = Window();
    const QString what = QStringLiteral("addresses of user %1 := %2").arg(tabNum).arg(address);
    const QString sql = QStringLiteral("SELECT IPADR FROM USER_PSW WHERE TABNUM = %1").arg(tabNum);
    const TAction action = Begin(what, sql);
    w->DBEdit1->setFocus();
    w->DBEdit1->selectAll();
    TypeText(w->DBEdit1, address);
    return PostUserEdit(action, QStringLiteral("edit"), {address}, tabNum);
}

std::optional<bool> TFailoverRig::ToggleUserPermission(int pick) {
    const int tabNum = SelectUserByPick(pick);
    TKMF_Admin* w = Window();
    if (tabNum == 0 || !w->DBCheckBox1->isEnabled())
        return std::nullopt;
    const QString now = Field(w->UsersSet, "WENABLED");
    const QString wanted = now == QLatin1String("T") ? QStringLiteral("F") : QStringLiteral("T");
    const QString what = QStringLiteral("permission of user %1 := %2").arg(tabNum).arg(wanted);
    const QString sql = QStringLiteral("SELECT WENABLED FROM USER_PSW WHERE TABNUM = %1").arg(tabNum);
    const TAction action = Begin(what, sql);
    w->DBCheckBox1->click();
    return PostUserEdit(action, QStringLiteral("toggle"), {wanted}, tabNum);
}

std::optional<bool> TFailoverRig::AddUser(const QString& name) {
    TKMF_Admin* w = Window();
    if (!w->UsersSet || !w->UsersSet->Active() || !w->DBNavigator1->Button(nbInsert)->isEnabled())
        return std::nullopt;
    CancelOpenEdit();
    const QString what = QStringLiteral("new user %1").arg(name);
    const QString sql = QStringLiteral("SELECT NAME FROM USER_PSW WHERE NAME = '%1'").arg(name);
    const TAction action = Begin(what, sql);
    const int from = RequestsSoFar();
    w->DBNavigator1->Button(nbInsert)->click();
    bool done = false;
    int tabNum = 0;
    if (w->UsersSet->State() == dsInsert) {
        tabNum = w->UsersSet->FieldByName(QStringLiteral("TABNUM"))->AsInteger();
        // The editor of the first cell is gone before the second is looked for.
        const auto typeInto = [w](int column, const QString& text) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            TypeIntoGridCell(w->DBGridEh1, w->DBGridEh1->currentIndex().row(), column, text);
        };
        typeInto(0, QStringLiteral("Пользователь ") + name);
        typeInto(1, name);
        w->DBNavigator1->Button(nbPost)->click();
        done = w->UsersSet->State() == dsBrowse && !FailureAskedSince(from, {});
    }
    CancelOpenEdit();
    Log(QStringLiteral("add: %1").arg(what));
    Judge(action, done, {name}, tabNum);
    if (done)
        ForgetUser(tabNum, sql);
    return done;
}

std::optional<bool> TFailoverRig::DeleteUser(int pick) {
    const int tabNum = SelectUserByPick(pick);
    TKMF_Admin* w = Window();
    if (tabNum == 0 || !w->DBNavigator1->Button(nbDelete)->isEnabled())
        return std::nullopt;
    const QString what = QStringLiteral("delete user %1").arg(tabNum);
    const QString sql = QStringLiteral("SELECT TABNUM FROM USER_PSW WHERE TABNUM = %1").arg(tabNum);
    const TAction action = Begin(what, sql);
    const int from = RequestsSoFar();
    w->DBNavigator1->Button(nbDelete)->click();
    bool listed = false;
    TOracleDataSet* users = w->UsersSet;
    if (users->Active())
        for (int i = 0; i < users->RecordCount(); ++i)
            listed = listed || users->RecordValue(i, 0).toInt() == tabNum;
    const bool done = users->Active() && !listed && !FailureAskedSince(from, {});
    CancelOpenEdit();
    Log(QStringLiteral("delete: %1").arg(what));
    Judge(action, done, {}, tabNum);
    if (done)
        ForgetUser(tabNum, sql);
    return done;
}

std::optional<bool> TFailoverRig::TickGrant(int userPick, int programPick) {
    const int tabNum = SelectUserByPick(userPick);
    TKMF_Admin* w = Window();
    QListWidget* list = w->clbProgrammName;
    if (tabNum == 0 || list->count() == 0 || !list->isEnabled())
        return std::nullopt;
    QListWidgetItem* item = list->item(programPick % list->count());
    const int programId = TProgramAccess::EntryId(item);
    const bool wanted = item->checkState() != Qt::Checked;
    const QString what = QStringLiteral("%1 program %2 for user %3")
                             .arg(wanted ? "grant" : "withdraw")
                             .arg(programId)
                             .arg(tabNum);
    const QString sql = GrantCount(tabNum, programId);
    const TAction action = Begin(what, sql);
    const int from = RequestsSoFar();
    item->setCheckState(wanted ? Qt::Checked : Qt::Unchecked);
    // The entry is found again: a reload on the way may have replaced the items.
    std::optional<bool> shown;
    for (int i = 0; i < list->count(); ++i)
        if (TProgramAccess::EntryId(list->item(i)) == programId)
            shown = list->item(i)->checkState() == Qt::Checked;
    const bool done =
        shown == wanted && w->Programs->SelectedUser() == tabNum &&
        !FailureAskedSince(from, {QStringLiteral("программу"), QStringLiteral("Режим просмотра")});
    Log(QStringLiteral("tick: %1").arg(what));
    Judge(action, done, {wanted ? QStringLiteral("1") : QStringLiteral("0")});
    return done;
}

std::optional<bool> TFailoverRig::PickGroup(int userPick, int programPick, int groupPick) {
    const int tabNum = SelectUserByPick(userPick);
    TKMF_Admin* w = Window();
    QListWidget* list = w->clbProgrammName;
    if (tabNum == 0 || list->count() == 0 || !list->isEnabled())
        return std::nullopt;
    // A group can be chosen only in a program the user may run.
    for (int k = 0; k < list->count(); ++k) {
        const int row = (programPick + k) % list->count();
        if (list->item(row)->checkState() == Qt::Checked) {
            list->setCurrentRow(row);
            break;
        }
    }
    const QList<QAbstractButton*> buttons = w->Programs->RGButtons->buttons();
    if (!w->RG->isEnabled() || buttons.isEmpty() || !list->currentItem())
        return std::nullopt;
    QAbstractButton* button = buttons[groupPick % buttons.size()];
    if (button->isChecked()) {
        if (buttons.size() == 1)
            return std::nullopt;
        button = buttons[(groupPick + 1) % buttons.size()];
    }
    const int programId = TProgramAccess::EntryId(list->currentItem());
    const int groupId = TProgramAccess::ButtonId(button);
    const QString what =
        QStringLiteral("group %1 in program %2 for user %3").arg(groupId).arg(programId).arg(tabNum);
    const QString sql = QStringLiteral("SELECT ID_GROUP FROM KMR_GROUP_FOR_USER WHERE TABNUM = %1 AND "
                                       "ID_PROGRAMM = %2 ORDER BY ID_GROUP")
                            .arg(tabNum)
                            .arg(programId);
    const TAction action = Begin(what, sql);
    const int from = RequestsSoFar();
    button->click();
    const bool done = w->Programs->SelectedGroup() == groupId && w->Programs->SelectedUser() == tabNum &&
                      !FailureAskedSince(from, {QStringLiteral("группу"), QStringLiteral("Режим просмотра")});
    Log(QStringLiteral("group: %1").arg(what));
    Judge(action, done, {QString::number(groupId)});
    return done;
}

std::optional<bool> TFailoverRig::RegisterProgram(const QString& title) {
    TKMF_Admin* w = Window();
    if (!fmAddProgramm || fmAddProgramm->isVisible())
        return std::nullopt;
    const QString path = FServers->Dir() + QStringLiteral("/prog_%1.exe").arg(++FCounter);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return std::nullopt;
        file.write(QByteArray(4096 + FCounter, char('A' + FCounter % 26)));
    }
    const QString name = ProgramFileName(path);
    const QString what = QStringLiteral("register %1 as %2").arg(name, title);
    const QString sql = QStringLiteral("SELECT PRALIAS FROM KMR_PROGRAMMEXE WHERE PRNAME = '%1'").arg(name);
    const TAction action = Begin(what, sql);
    const int from = RequestsSoFar();
    w->tbAddProgramm->click();
    if (!fmAddProgramm->isVisible())
        return std::nullopt;
    fmAddProgramm->edNameExe->setText(path);
    fmAddProgramm->edPrAlias->setText(title);
    fmAddProgramm->BitBtn1->click();
    // The store runs in the worker thread; the timers tick meanwhile, as they do for a person.
    if (!Pump([] { return !fmAddProgramm->Storing(); }, 60000))
        Violations << QStringLiteral("%1 never ended").arg(what);
    const bool done =
        !fmAddProgramm->isVisible() && fmAddProgramm->result() == mrOk && !FailureAskedSince(from, {});
    if (fmAddProgramm->isVisible())
        fmAddProgramm->BitBtn2->click();
    QCoreApplication::processEvents();
    Log(QStringLiteral("register: %1").arg(what));
    Judge(action, done, {title});
    return done;
}

bool TFailoverRig::HealAndProve() {
    Log(QStringLiteral("heal"));
    Up(TServer::A);
    Up(TServer::B);
    const TServer main = MainFile();
    SetSrv(main, 0, 1, 0);
    SetSrv(Other(main), 1, 0, 0);
    TKMF_Admin* w = Window();
    const auto back = [w] {
        return FOracleBase->MainOk && CanWrite && MirrorWrites &&
               (!w || (w->UsersSet->Active() && !w->ListReadOnly()));
    };
    // Followed once a tick after the watchers finished still finds everything in place.
    const bool followed = TickUntil([&] { return back() && ThreadsIdle(0) && (Tick(), back()); }, 20000);
    if (!followed) {
        Violations << QStringLiteral(
                          "the window did not follow the servers back (MainOk %1, edit %2, mirroring %3, "
                          "list open %4)")
                          .arg(FOracleBase->MainOk.load())
                          .arg(CanWrite.load())
                          .arg(MirrorWrites.load())
                          .arg(!w || w->UsersSet->Active());
        return false;
    }
    if (!ThreadsIdle()) {
        Violations << QStringLiteral("a thread is still busy after the servers came back");
        return false;
    }
    CheckKeys();
    if (w && w->UsersSet->State() != dsBrowse)
        Violations << QStringLiteral("the user list was left in the middle of an edit");
    const std::optional<bool> proof = w ? TickGrant(0, 0) : ChangeGrant(900 + ++FCounter, 1, true);
    if (proof != true)
        Violations << QStringLiteral("a grant tick after the servers came back was not done");
    return Violations.isEmpty();
}
