// Round trips per change of the selected user in the programs and groups half of the
// administration window: every statement call the servers saw, counted from the trace, for edit
// mode, edit mode with mirroring and view mode, over the demo users.
#include "DemoServers.h"

#include "DataSource.h"
#include "NoteDataSet.h"
#include "OracleBase.h"
#include "ProgramAccess.h"
#include "ScriptedAnswerer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QListWidget>

#include <cstdio>
#include <map>
#include <memory>
#include <optional>

namespace {

struct TFigures {
    int Changes = 0;
    std::map<QString, int> Calls;
    qint64 Ms = 0;
};

std::optional<TFigures> Measure(int servers, TSrvRow main, std::optional<TSrvRow> reserve) {
    TDemoServers demo;
    if (!demo.Error().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(demo.Error()));
        return std::nullopt;
    }
    ScriptedAnswerer answers(
        [](const QString& m) { std::fprintf(stderr, "unexpected dialog: %s\n", qPrintable(m)); });
    demo.Start(servers, main, reserve);
    TFigures figures;
    {
        TNoteDataSet users;
        users.SQL()
            << QStringLiteral(
                   "SELECT TABNUM, ALLNAME, NAME, GROUPID, WENABLED, IPADR, IP, ROWID FROM KMR_USER_PSW")
            << QStringLiteral("ORDER BY GROUPID, ALLNAME");
        if (!users.NoteOpen())
            return std::nullopt;
        TDataSource source;
        TProgramAccessPanel panel;
        panel.Access->SetDataSource(&source);
        panel.Access->LoadPrograms();
        source.SetDataSet(&users);
        // The selected program has groups and most users a membership in it.
        panel.clbProgrammName->setCurrentRow(2);

        demo.ClearTrace();
        QElapsedTimer timer;
        timer.start();
        for (int i = 1; i < users.RecordCount(); ++i) {
            users.MoveTo(i);
            ++figures.Changes;
        }
        figures.Ms = timer.elapsed();
        for (const TTraceLine& line : demo.Trace())
            ++figures.Calls[line.Call];
    }
    demo.Stop();
    return figures;
}

void Print(const char* mode, const TFigures& f) {
    int total = 0;
    for (const auto& [call, n] : f.Calls)
        total += n;
    std::printf("%-26s %4d changes  %6.2f round trips per change  (", mode, f.Changes,
                f.Changes ? double(total) / f.Changes : 0.0);
    bool first = true;
    for (const auto& [call, n] : f.Calls) {
        std::printf("%s%s %.2f", first ? "" : ", ", qPrintable(call), double(n) / f.Changes);
        first = false;
    }
    std::printf(")  %.2f ms per change\n", f.Changes ? double(f.Ms) / f.Changes : 0.0);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("Programs and groups: round trips per change of the selected user (embedded servers)\n");
    const auto edit = Measure(1, {0, 0, 0}, std::nullopt);
    const auto mirrored = Measure(2, {0, 1, 0}, TSrvRow{1, 0, 0});
    const auto view = Measure(1, {0, 0, 2}, std::nullopt);
    if (!edit || !mirrored || !view)
        return 1;
    Print("edit mode", *edit);
    Print("edit mode with mirroring", *mirrored);
    Print("view mode", *view);
    return 0;
}
