// The background monitor, the status-bar entry, the comparison window driven by clicks, and the
// command kmr-reserve with its exit codes, against the demo servers.
#include "ReserveFixture.h"

#include "ReserveMonitor.h"
#include "ReserveStatus.h"
#include "ReserveView.h"
#include "ScriptedAnswerer.h"

#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

namespace {

// Texts of the tree: "table / row / detail" lines, each column separated by " | ".
QStringList TreeTexts(const QTreeWidget* tree) {
    QStringList out;
    std::function<void(const QTreeWidgetItem*, const QString&)> walk = [&](const QTreeWidgetItem* item,
                                                                           const QString& path) {
        const QString line = path + item->text(0) + QStringLiteral(" | ") + item->text(1);
        out << line;
        for (int i = 0; i < item->childCount(); ++i)
            walk(item->child(i), path + QStringLiteral("  "));
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        walk(tree->topLevelItem(i), QString());
    return out;
}

class ReserveMonitorTest : public ReserveTest {
protected:
    std::unique_ptr<TReserveMonitor> StartMonitor() {
        auto monitor = std::make_unique<TReserveMonitor>(*FOracleBase);
        monitor->PollTimer->setInterval(20);
        monitor->RetryMs = 100;
        monitor->Start();
        return monitor;
    }
};

TEST_F(ReserveMonitorTest, ComparesAtStartAfterAMissedChangeAndWhenTheReserveReturns) {
    Start();
    auto monitor = StartMonitor();
    ASSERT_TRUE(PumpUntil([&] { return monitor->State() == TReserveMonitor::msEqual; }));

    ReserveAway();
    WithdrawGrant(BarredUser, WithdrawnProgram);
    // The missed change is looked at at once; the reserve does not answer.
    ASSERT_TRUE(PumpUntil([&] { return monitor->State() == TReserveMonitor::msReserveAway; }));
    EXPECT_FALSE(monitor->LastReport().Message.isEmpty());

    Up(Demo->ReserveDb());
    ASSERT_TRUE(PumpUntil([&] { return monitor->State() == TReserveMonitor::msDifferent; }));

    bool done = false;
    monitor->RequestUpdate([&](const TReserveReport& report) {
        EXPECT_EQ(report.Outcome, TReserveReport::Equal);
        done = true;
    });
    ASSERT_TRUE(PumpUntil([&] { return done; }));
    EXPECT_EQ(monitor->State(), TReserveMonitor::msEqual);
}

TEST_F(ReserveMonitorTest, OneServerIsNotWatched) {
    Demo->Start(1, {0, 0, 0});
    TReserveMonitor monitor(*FOracleBase);
    monitor.Start();
    EXPECT_EQ(monitor.State(), TReserveMonitor::msOff);
    EXPECT_FALSE(monitor.Busy());
}

TEST_F(ReserveMonitorTest, TheWindowListsTheDifferenceAndUpdatesTheReserve) {
    Start();
    ThreeChangesWhileTheReserveIsAway();
    auto monitor = StartMonitor();
    QWidget bar;
    auto* status = new TReserveStatus(&bar);
    status->SetMonitor(monitor.get());
    bar.show();
    ASSERT_TRUE(PumpUntil([&] { return monitor->State() == TReserveMonitor::msDifferent; }));
    EXPECT_TRUE(status->isVisible());
    EXPECT_EQ(status->lbReserveDiffers->text(), QStringLiteral("Резервный сервер отличается от основного"));
    EXPECT_EQ(status->btReserveCompare->text(), QStringLiteral("Сравнить…"));

    QTest::mouseClick(status->btReserveCompare, Qt::LeftButton);
    TFReserveCompare* window = status->CompareWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(PumpUntil(
        [&] { return window->btCompare->isEnabled() && window->tvDifferences->topLevelItemCount() > 0; }));
    const QString tree = TreeTexts(window->tvDifferences).join(QLatin1Char('\n'));
    for (const char* expected :
         {"Пользователи | только на основном 0, только на резервном 0, отличаются 1",
          "  Белова Ирина Николаевна (belova), № 4 | отличается",
          "    Разрешение на работу | на основном нет, на резервном да",
          "  Белова Ирина Николаевна (belova) — программа «Отключения» | только на резервном сервере",
          "  Группа № 3 программы «Отключения» | отличается", "Программы | совпадает"})
        EXPECT_TRUE(tree.contains(QString::fromUtf8(expected))) << expected << "\n" << tree.toStdString();
    EXPECT_TRUE(window->btUpdate->isEnabled());

    // View mode: refused at the click, nothing asked further.
    {
        ScriptedAnswerer answers([](const QString& m) { ADD_FAILURE() << m.toStdString(); });
        answers.ExpectMessage(mrOk, QStringLiteral("Режим просмотра: изменения сейчас невозможны."));
        CanWrite = false;
        QTest::mouseClick(window->btUpdate, Qt::LeftButton);
        CanWrite = true;
    }
    // The administrator thinks again.
    {
        ScriptedAnswerer answers([](const QString& m) { ADD_FAILURE() << m.toStdString(); });
        answers.ExpectMessage(mrNo,
                              QStringLiteral("Переписать на резервном сервере отличающиеся строки (3)"));
        QTest::mouseClick(window->btUpdate, Qt::LeftButton);
        EXPECT_FALSE(monitor->Busy());
    }
    {
        ScriptedAnswerer answers([](const QString& m) { ADD_FAILURE() << m.toStdString(); });
        answers.ExpectMessage(mrYes, QStringLiteral("Переписать на резервном сервере"));
        answers.ExpectMessage(mrOk, QStringLiteral("Резервный сервер совпадает с основным"));
        QTest::mouseClick(window->btUpdate, Qt::LeftButton);
        ASSERT_TRUE(PumpUntil([&] { return answers.Pending() == 0 && !monitor->Busy(); }));
    }
    EXPECT_EQ(window->lbState->text(), QStringLiteral("Резервный сервер совпадает с основным"));
    EXPECT_FALSE(window->btUpdate->isEnabled());
    EXPECT_EQ(monitor->State(), TReserveMonitor::msEqual);
    EXPECT_FALSE(status->isVisible());
    EXPECT_EQ(Contents(Demo->MainDb()), Contents(Demo->ReserveDb()));
    delete window;
}

TEST_F(ReserveMonitorTest, AFailedUpdateIsReportedAndTheReserveKept) {
    Start();
    RefuseSecondGrantsOnTheReserve();
    ThreeChangesWhileTheReserveIsAway();
    Demo->Exec(Demo->MainDb(), QStringLiteral("INSERT INTO KMR_PROG_FOR_USER VALUES (1, 1)"));
    const QStringList reserveBefore = Contents(Demo->ReserveDb());
    auto monitor = StartMonitor();
    TFReserveCompare window(*monitor);
    window.show();
    window.btCompareClick();
    ASSERT_TRUE(PumpUntil([&] { return window.btUpdate->isEnabled(); }));

    ScriptedAnswerer answers([](const QString& m) { ADD_FAILURE() << m.toStdString(); });
    answers.ExpectMessage(mrYes, QStringLiteral("Переписать"));
    answers.ExpectError(
        QStringLiteral("Не удалось обновить резервный сервер. Резервный сервер оставлен без изменений."));
    QTest::mouseClick(window.btUpdate, Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return answers.Pending() == 0 && !monitor->Busy(); }));
    ASSERT_GE(answers.Asked().size(), 2);
    EXPECT_TRUE(answers.Asked().at(1).Details.contains(QStringLiteral("ORA-00001")));
    EXPECT_EQ(Contents(Demo->ReserveDb()), reserveBefore);
    // The list still shows what differs.
    EXPECT_GT(window.tvDifferences->topLevelItemCount(), 0);
    EXPECT_EQ(monitor->State(), TReserveMonitor::msDifferent);
}

struct TCommand {
    int Exit = -1;
    QString Out, Err;
};

TCommand RunCommand(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(KMR_BIN_DIR "/kmr-reserve"), args);
    TCommand c;
    if (!p.waitForFinished(120000))
        return c;
    c.Exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
    c.Out = QString::fromUtf8(p.readAllStandardOutput());
    c.Err = QString::fromUtf8(p.readAllStandardError());
    return c;
}

TEST_F(ReserveTest, TheCommandExitsWithWhatItFound) {
    // mvtu.ini of the current folder names both servers.
    Start();
    TCommand c = RunCommand({QStringLiteral("compare")});
    EXPECT_EQ(c.Exit, 0) << c.Err.toStdString();
    EXPECT_TRUE(c.Out.contains(QStringLiteral("Резервный сервер совпадает с основным")));

    ThreeChangesWhileTheReserveIsAway();
    c = RunCommand({QStringLiteral("compare")});
    EXPECT_EQ(c.Exit, 1) << c.Err.toStdString();
    EXPECT_TRUE(
        c.Out.contains(QStringLiteral("Белова Ирина Николаевна (belova) — программа «Отключения» — только на "
                                      "резервном сервере")))
        << c.Out.toStdString();
    EXPECT_TRUE(c.Out.contains(QStringLiteral("Резервный сервер отличается от основного")));

    // View mode on the main server: the update is refused and the reserve stays as it was.
    const QStringList reserveBefore = Contents(Demo->ReserveDb());
    Demo->Exec(Demo->MainDb(), QStringLiteral("UPDATE SRV SET RO = 2"));
    c = RunCommand({QStringLiteral("sync")});
    EXPECT_EQ(c.Exit, 1);
    EXPECT_TRUE(c.Err.contains(QStringLiteral("Режим просмотра"))) << c.Err.toStdString();
    EXPECT_EQ(Contents(Demo->ReserveDb()), reserveBefore);
    Demo->Exec(Demo->MainDb(), QStringLiteral("UPDATE SRV SET RO = 0"));

    c = RunCommand({QStringLiteral("sync")});
    EXPECT_EQ(c.Exit, 0) << c.Out.toStdString() << c.Err.toStdString();
    EXPECT_TRUE(c.Out.contains(QStringLiteral("Резервный сервер совпадает с основным")));
    EXPECT_EQ(RunCommand({QStringLiteral("compare")}).Exit, 0);

    Down(Demo->ReserveDb());
    c = RunCommand({QStringLiteral("compare")});
    EXPECT_EQ(c.Exit, 2);
    EXPECT_TRUE(c.Err.contains(QStringLiteral("Резервный сервер недоступен"))) << c.Err.toStdString();
    EXPECT_EQ(RunCommand({QStringLiteral("sync")}).Exit, 2);
    Up(Demo->ReserveDb());

    Down(Demo->MainDb());
    Down(Demo->ReserveDb());
    EXPECT_EQ(RunCommand({QStringLiteral("compare")}).Exit, 2);
    Up(Demo->MainDb());
    Up(Demo->ReserveDb());

    EXPECT_EQ(RunCommand({}).Exit, 2);
    EXPECT_EQ(RunCommand({QStringLiteral("compare"), QStringLiteral("sync")}).Exit, 2);
}

} // namespace
