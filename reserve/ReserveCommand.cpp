// kmr-reserve: the comparison of the reserve server with the main server, and its update, for a
// scheduled check. Reads mvtu.ini of the current folder and decides which server is the main one
// exactly as the program does (the SRV rows, a swap after a failover).
//
//   kmr-reserve compare   prints the differences; exit 0 equal, 1 different, 2 a server cannot be reached
//   kmr-reserve sync      updates the reserve; exit 0 equal afterwards, 1 refused or failed (the reserve
//                         is left as it was), 2 a server cannot be reached
#include "Oracle.h"
#include "OracleBase.h"
#include "ReserveCompare.h"
#include "Settings.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

namespace {

enum { ExitEqual = 0, ExitDifferent = 1, ExitUnreachable = 2 };

const char* const Usage =
    "usage: kmr-reserve compare|sync\n"
    "  compare  prints how the reserve server differs from the main server;\n"
    "           exit 0 equal, 1 different, 2 a server cannot be reached\n"
    "  sync     rewrites the differing rows on the reserve server;\n"
    "           exit 0 equal afterwards, 1 refused or failed, 2 a server cannot be reached\n"
    "Reads mvtu.ini of the current folder.\n";

void PrintReport(QTextStream& out, const TReserveReport& report) {
    const TReserveNames empty;
    const TReserveNames& names = report.Names ? *report.Names : empty;
    for (const TTableDiff& diff : report.Diffs)
        for (const QString& line : DescribeReserveTable(diff, names))
            out << line << '\n';
}

int Unreached(QTextStream& err, const TReserveReport& report) {
    switch (report.Outcome) {
    case TReserveReport::MainUnreachable:
        err << "Основной сервер недоступен: " << report.Message.trimmed() << '\n';
        return ExitUnreachable;
    case TReserveReport::ReserveUnreachable:
        err << "Резервный сервер недоступен: " << report.Message.trimmed() << '\n';
        return ExitUnreachable;
    default:
        err << "Сравнить серверы не удалось: " << report.Message.trimmed() << '\n';
        if (!report.Statement.isEmpty())
            err << report.Statement << '\n';
        return ExitUnreachable;
    }
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kmr-reserve"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() != 1 ||
        (args.front() != QLatin1String("compare") && args.front() != QLatin1String("sync"))) {
        err << Usage;
        return ExitUnreachable;
    }
    const bool sync = args.front() == QLatin1String("sync");

    TDbModuleEnvironment env;
    env.ApplicationTitle = QStringLiteral("kmr-reserve");
    env.ShowError = [&err](const QString& text, const QString& details) {
        err << text << '\n';
        if (!details.isEmpty())
            err << details << '\n';
    };
    env.RequestTermination = [] {};
    TFOracleBase module(nullptr, env);
    module.TimerAutoConnect->stop();
    if (::TwoServers == 0) {
        err << "В mvtu.ini указан один сервер ([Mode] N_Server): резервного сервера нет.\n";
        return ExitUnreachable;
    }
    if (!module.MainOk) {
        err << "Основной сервер недоступен (" << module.ADatabase->LogonDatabase() << ").\n";
        return ExitUnreachable;
    }
    out << "Основной сервер: " << module.ADatabase->LogonDatabase() << '\n';
    out << "Резервный сервер: " << module.BDatabase->LogonDatabase() << '\n';
    out.flush();

    TReserveComparer comparer(ServerLogonOf(*module.ADatabase), ServerLogonOf(*module.BDatabase));
    comparer.MayWrite = [] { return CanWrite.load(); };
    const TReserveReport report = sync ? comparer.Update() : comparer.Compare();
    out.flush();

    switch (report.Outcome) {
    case TReserveReport::Equal:
        if (report.Updated)
            out << "Резервный сервер обновлён: выполнено изменений " << report.Written << ".\n";
        out << "Резервный сервер совпадает с основным\n";
        return ExitEqual;
    case TReserveReport::Different:
        PrintReport(out, report);
        out << "Резервный сервер отличается от основного\n";
        return ExitDifferent;
    case TReserveReport::ViewMode:
        PrintReport(out, report);
        err << "Режим просмотра: изменения сейчас невозможны. Резервный сервер не обновлён.\n";
        return ExitDifferent;
    case TReserveReport::Failed:
        if (report.RolledBack) {
            PrintReport(out, report);
            err << "Не удалось обновить резервный сервер. Резервный сервер оставлен без изменений.\n"
                << report.Message.trimmed() << '\n';
            if (!report.Statement.isEmpty())
                err << report.Statement << '\n';
            return ExitDifferent;
        }
        return Unreached(err, report);
    default:
        if (sync && report.Outcome != TReserveReport::Cancelled)
            err << "Резервный сервер не обновлён.\n";
        return Unreached(err, report);
    }
}
