#include "ReserveCompare.h"

#include "Oracle.h"
#include "ReserveTables.h"

#include <QElapsedTimer>

#include <algorithm>

namespace {

std::unique_ptr<TOracleSession> MakeSession(const TServerLogon& logon, bool rollbackOnDisconnect) {
    auto session = std::make_unique<TOracleSession>();
    session->SetLogonDatabase(logon.Database);
    session->SetLogonUsername(logon.Username);
    session->SetLogonPassword(logon.Password);
    session->SetRollbackOnDisconnect(rollbackOnDisconnect);
    return session;
}

void LogOffQuietly(TOracleSession* session) {
    try {
        if (session && session->Connected())
            session->LogOff();
    } catch (...) {
    }
}

int ErrorCodeOf(const Exception& e) {
    const auto* oracle = dynamic_cast<const EOracleError*>(&e);
    return oracle ? oracle->ErrorCode() : 0;
}

int BindType(int bufferType) {
    switch (bufferType) {
    case otInteger:
    case otFloat:
    case otDate:
        return bufferType;
    default:
        return otString;
    }
}

bool IsDelete(const TSyncStep& step) {
    return step.Op == TSyncStep::DeleteByKey || step.Op == TSyncStep::DeleteRow;
}

} // namespace

bool IsConnectionLost(int code) {
    // End-of-file on the channel, not connected, lost contact, connect time-out, no listener, the
    // identifier unknown or its service missing, an instance shutting down or gone.
    static const int codes[] = {3113,  3114,  3135,  12170, 12541, 12154, 12514,
                                12543, 12537, 12560, 1033,  1034,  1089,  1092};
    return std::find(std::begin(codes), std::end(codes), code) != std::end(codes);
}

TServerLogon ServerLogonOf(const TOracleSession& session) {
    return {session.LogonDatabase(), session.LogonUsername(), session.LogonPassword()};
}

int TReserveReport::Differences() const {
    int n = 0;
    for (const TTableDiff& diff : Diffs)
        n += int(diff.Changes.size()) + (diff.StructureDiffers() ? 1 : 0);
    return n;
}

struct TReserveComparer::TSessions {
    std::unique_ptr<TOracleSession> Main;
    std::unique_ptr<TOracleSession> Reserve;
    ~TSessions() {
        // The reserve session rolls back whatever an interrupted update left open.
        LogOffQuietly(Reserve.get());
        LogOffQuietly(Main.get());
    }
};

TReserveComparer::TReserveComparer(TServerLogon main, TServerLogon reserve)
    : FMain(std::move(main)), FReserve(std::move(reserve)) {}

void TReserveComparer::Step(const QString& text) const {
    if (Progress)
        Progress(text);
}

bool TReserveComparer::Connect(TSessions& sessions, TReserveReport& report) {
    sessions.Main = MakeSession(FMain, false);
    sessions.Reserve = MakeSession(FReserve, true);
    Step(QStringLiteral("Подключение к серверам"));
    try {
        sessions.Main->LogOn();
    } catch (const Exception& e) {
        report.Outcome = TReserveReport::MainUnreachable;
        report.Message = e.Message();
        return false;
    }
    try {
        sessions.Reserve->LogOn();
    } catch (const Exception& e) {
        report.Outcome = TReserveReport::ReserveUnreachable;
        report.Message = e.Message();
        return false;
    }
    return true;
}

bool TReserveComparer::Read(TSessions& sessions, TReserveReport& report, bool keepRows) {
    report.Tables.clear();
    report.Diffs.clear();
    auto names = std::make_shared<TReserveNames>();
    bool equal = true;
    for (const TReserveTable& table : ReserveTables()) {
        TTableRows rows[2];
        for (int side = 0; side < 2; ++side) {
            TOracleSession& session = side == 0 ? *sessions.Main : *sessions.Reserve;
            Step(table.Title +
                 (side == 0 ? QStringLiteral(": основной сервер") : QStringLiteral(": резервный сервер")));
            try {
                rows[side] = ReadTableRows(session, table, keepRows, Cancel,
                                           ReadBuffer > 0 ? ReadBuffer : table.RowsPerFetch);
            } catch (const TReserveCancelled&) {
                report.Outcome = TReserveReport::Cancelled;
                return false;
            } catch (const Exception& e) {
                if (IsConnectionLost(ErrorCodeOf(e)))
                    report.Outcome =
                        side == 0 ? TReserveReport::MainUnreachable : TReserveReport::ReserveUnreachable;
                else
                    report.Outcome = TReserveReport::Failed;
                report.Message = e.Message();
                report.Statement = table.SelectText;
                return false;
            }
        }
        const bool same = rows[0].SameFingerprint(rows[1]);
        equal = equal && same;
        report.Tables.append({table.Name, table.Title, rows[0].Count, rows[1].Count, same});
        if (keepRows) {
            names->Add(table, rows[0], TReserveNames::Main);
            names->Add(table, rows[1], TReserveNames::Reserve);
            report.Diffs.append(DiffTable(table, rows[0], rows[1]));
        }
    }
    report.Names = names;
    report.Outcome = equal ? TReserveReport::Equal : TReserveReport::Different;
    return true;
}

TReserveReport TReserveComparer::Fingerprint() {
    QElapsedTimer timer;
    timer.start();
    TReserveReport report;
    TSessions sessions;
    if (Connect(sessions, report))
        Read(sessions, report, false);
    report.Milliseconds = timer.elapsed();
    return report;
}

TReserveReport TReserveComparer::Compare() {
    QElapsedTimer timer;
    timer.start();
    TReserveReport report;
    TSessions sessions;
    if (Connect(sessions, report))
        Read(sessions, report, true);
    report.Milliseconds = timer.elapsed();
    return report;
}

TReserveReport TReserveComparer::Update() {
    QElapsedTimer timer;
    timer.start();
    TReserveReport report;
    TSessions sessions;
    if (Connect(sessions, report) && Read(sessions, report, true) &&
        report.Outcome == TReserveReport::Different && Apply(sessions, report)) {
        // Compare again: a cheap read first; the rows only when something is still different
        // (another workstation changed the main server meanwhile).
        if (Read(sessions, report, false) && report.Outcome == TReserveReport::Different)
            Read(sessions, report, true);
    }
    report.Milliseconds = timer.elapsed();
    return report;
}

bool TReserveComparer::Apply(TSessions& sessions, TReserveReport& report) {
    for (const TTableDiff& diff : report.Diffs) {
        if (diff.StructureDiffers()) {
            report.Outcome = TReserveReport::Failed;
            report.Message =
                QStringLiteral("Столбцы таблицы %1 на серверах различаются; строки не переписываются.")
                    .arg(diff.Table->Name);
            return false;
        }
    }
    if (MayWrite && !MayWrite()) {
        report.Outcome = TReserveReport::ViewMode;
        return false;
    }

    struct TPlanned {
        const TTableDiff* Diff;
        const TSyncStep* Step;
    };
    QList<TPlanned> plan;
    // Deletes first, then updates, then inserts: a row that moves to another key never meets itself.
    for (const int phase : {0, 1, 2})
        for (const TTableDiff& diff : report.Diffs)
            for (const TSyncStep& step : diff.Steps) {
                const int p = IsDelete(step) ? 0 : step.Op == TSyncStep::Update ? 1 : 2;
                if (p == phase)
                    plan.append({&diff, &step});
            }

    TOracleSession& reserve = *sessions.Reserve;
    QString statement;
    bool onMain = false;
    try {
        int done = 0;
        for (const TPlanned& planned : plan) {
            if (Cancel && Cancel->load())
                throw TReserveCancelled{};
            const TTableDiff& diff = *planned.Diff;
            const TSyncStep& step = *planned.Step;
            if (done % 100 == 0)
                Step(QStringLiteral("Запись на резервный сервер: %1 из %2").arg(done).arg(plan.size()));

            const int lengthColumn = diff.Column(QLatin1String(ExecutableLengthColumn));
            const int keyColumn =
                diff.Table->KeyColumns.isEmpty() ? -1 : diff.Column(diff.Table->KeyColumns.front());
            // The stored bytes come from the main server, read once for this row.
            QVariant bytes;
            const bool withBytes = step.Executable && keyColumn >= 0 && step.Row.at(keyColumn).isValid();
            if (withBytes) {
                onMain = true;
                TOracleQuery read;
                read.SetSession(sessions.Main.get());
                statement = QStringLiteral("SELECT PRCOD FROM KMR_PROGRAMMEXE WHERE ID_PROGRAMMEXE = :ID");
                read.SetSQLText(statement);
                read.DeclareVariable(QStringLiteral("ID"), otInteger);
                read.SetVariable(QStringLiteral("ID"), step.Row.at(keyColumn));
                read.Execute();
                if (!read.Eof())
                    bytes = read.Field(0);
                read.Close();
                onMain = false;
            }

            TOracleQuery write;
            write.SetSession(&reserve);
            QStringList parts;
            auto bind = [&write, &diff](const QString& name, int column, const QVariant& value) {
                write.DeclareVariable(name, BindType(diff.Types.at(column)));
                write.SetVariable(name, value);
            };
            const QList<int> key = [&] {
                QList<int> k;
                for (const QString& c : diff.Table->KeyColumns)
                    k << diff.Column(c);
                return k;
            }();
            QStringList where;
            switch (step.Op) {
            case TSyncStep::DeleteByKey:
                for (int i = 0; i < key.size(); ++i) {
                    where << diff.Columns.at(key[i]) + QStringLiteral(" = :K%1").arg(i);
                    bind(QStringLiteral("K%1").arg(i), key[i], step.Row.at(key[i]));
                }
                statement = QStringLiteral("DELETE FROM ") + diff.Table->Name + QStringLiteral(" WHERE ") +
                            where.join(QStringLiteral(" AND "));
                break;
            case TSyncStep::DeleteRow:
                for (int c = 0; c < diff.Columns.size(); ++c) {
                    if (c == lengthColumn)
                        continue;
                    if (ReserveCellText(step.Row.at(c)).isNull()) {
                        where << diff.Columns.at(c) + QStringLiteral(" IS NULL");
                    } else {
                        where << diff.Columns.at(c) + QStringLiteral(" = :W%1").arg(c);
                        bind(QStringLiteral("W%1").arg(c), c, step.Row.at(c));
                    }
                }
                statement = QStringLiteral("DELETE FROM ") + diff.Table->Name + QStringLiteral(" WHERE ") +
                            where.join(QStringLiteral(" AND "));
                break;
            case TSyncStep::Update:
                for (const int c : step.Columns) {
                    parts << diff.Columns.at(c) + QStringLiteral(" = :V%1").arg(c);
                    bind(QStringLiteral("V%1").arg(c), c, step.Row.at(c));
                }
                if (withBytes)
                    parts << QStringLiteral("PRCOD = :PRCOD");
                for (int i = 0; i < key.size(); ++i) {
                    where << diff.Columns.at(key[i]) + QStringLiteral(" = :K%1").arg(i);
                    bind(QStringLiteral("K%1").arg(i), key[i], step.Row.at(key[i]));
                }
                statement = QStringLiteral("UPDATE ") + diff.Table->Name + QStringLiteral(" SET ") +
                            parts.join(QStringLiteral(", ")) + QStringLiteral(" WHERE ") +
                            where.join(QStringLiteral(" AND "));
                break;
            case TSyncStep::Insert: {
                QStringList values;
                for (int c = 0; c < diff.Columns.size(); ++c) {
                    if (c == lengthColumn)
                        continue;
                    parts << diff.Columns.at(c);
                    values << QStringLiteral(":V%1").arg(c);
                    bind(QStringLiteral("V%1").arg(c), c, step.Row.at(c));
                }
                if (withBytes) {
                    parts << QStringLiteral("PRCOD");
                    values << QStringLiteral(":PRCOD");
                }
                statement = QStringLiteral("INSERT INTO ") + diff.Table->Name + QStringLiteral(" (") +
                            parts.join(QStringLiteral(", ")) + QStringLiteral(") VALUES (") +
                            values.join(QStringLiteral(", ")) + QStringLiteral(")");
                break;
            }
            }
            if (parts.isEmpty() && step.Op == TSyncStep::Update)
                continue;
            if (withBytes) {
                write.DeclareVariable(QStringLiteral("PRCOD"), otLongRaw);
                const QByteArray data = bytes.toByteArray();
                if (data.isEmpty())
                    write.SetVariable(QStringLiteral("PRCOD"), QVariant());
                else
                    write.SetLongVariable(QStringLiteral("PRCOD"), data.constData(), int(data.size()));
                write.SetSQLText(statement);
                write.Execute();
            } else {
                write.SetSQLText(statement);
                write.Execute();
            }
            ++done;
        }
        statement = QStringLiteral("COMMIT");
        reserve.Commit();
        report.Written = done;
        report.Updated = true;
        return true;
    } catch (const TReserveCancelled&) {
        report.Outcome = TReserveReport::Cancelled;
    } catch (const Exception& e) {
        const bool lost = IsConnectionLost(ErrorCodeOf(e));
        report.Outcome = !lost    ? TReserveReport::Failed
                         : onMain ? TReserveReport::MainUnreachable
                                  : TReserveReport::ReserveUnreachable;
        report.Message = e.Message();
        report.Statement = statement;
    }
    report.RolledBack = true;
    try {
        reserve.Rollback();
    } catch (...) {
        // A reserve that went away has rolled back on its own.
    }
    return false;
}
