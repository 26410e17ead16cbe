// The auto-connect tick with the real connection-loss window (offscreen), driven by the test.
#include "ServerFixture.h"

#include "MesConnect.h"
#include "StatusPanel.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>

namespace {

class AutoConnect : public ServerTest {
protected:
    TFMesConnect* Window() { return dynamic_cast<TFMesConnect*>(FModule->Notice()); }
    void UseRealWindow() {
        FNoticeFactory = [](TFOracleBase& module) -> std::unique_ptr<IConnectNotice> {
            TFOracleBase* m = &module;
            return std::make_unique<TFMesConnect>([m] { m->RequestTermination(); });
        };
    }
    // One tick, then let the watcher finish what the tick woke it for.
    void Tick() {
        FModule->AutoConnectTick();
        QCoreApplication::processEvents();
        ASSERT_TRUE(PumpUntil([&] { return FModule->MainThread->State() == TBaseWatchThread::stIdle; }));
    }
};

TEST_F(AutoConnect, NoticeWindowWhileTheMainServerIsMissing) {
    UseRealWindow();
    SetSrv(MainDb(), TSrvRow{0, 0, 0});
    Down(MainDb());
    WriteIni(1, 0, true);
    TFOracleBase& m = CreateModule();
    ASSERT_TRUE(m.AutoConnect);
    TFMesConnect* w = Window();
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8("Обмен с сервером"));
    EXPECT_EQ(w->lNoMainSrv->text(), QString::fromUtf8("Отсутсвует основной сервер баз данных "));
    EXPECT_EQ(w->Button1->text(), QString::fromUtf8("Выход с программы"));
    EXPECT_TRUE(w->windowFlags() & Qt::WindowStaysOnTopHint);

    Tick();
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->Shown());
    EXPECT_TRUE(w->isModal());
    // Ticks while the server is still missing change nothing.
    for (int i = 0; i < 3; ++i) {
        Tick();
        EXPECT_TRUE(w->isVisible());
    }
    EXPECT_EQ(QApplication::topLevelWidgets().count(w), 1);

    // Escape does not dismiss it.
    w->reject();
    EXPECT_TRUE(w->isVisible());

    Up(MainDb());
    int ticks = 0;
    while (w->isVisible() && ticks < 2) {
        Tick();
        ++ticks;
    }
    EXPECT_FALSE(w->isVisible()) << "still shown after two ticks";
    EXPECT_FALSE(w->Shown());
    EXPECT_TRUE(CanWrite.load());
    EXPECT_TRUE(FErrors.empty());
}

TEST_F(AutoConnect, DeactivatedWindowIsNotShownAgainButClosedWhenTheServerReturns) {
    SetSrv(MainDb(), TSrvRow{0, 0, 0});
    Down(MainDb());
    WriteIni(1, 0, true);
    CreateModule();
    ASSERT_NE(FNotice, nullptr);
    Tick();
    EXPECT_EQ(FNotice->Shows, 1);
    FNotice->ShownFlag = false; // the user switched to another application
    Tick();
    EXPECT_EQ(FNotice->Shows, 1);
    Up(MainDb());
    Tick();
    Tick();
    EXPECT_EQ(FNotice->Closes, 1);
    EXPECT_FALSE(FNotice->Visible);
}

TEST_F(AutoConnect, ExitButtonEndsTheProgram) {
    UseRealWindow();
    SetSrv(MainDb(), TSrvRow{0, 0, 0});
    Down(MainDb());
    WriteIni(1, 0, true);
    CreateModule();
    Tick();
    ASSERT_TRUE(Window()->isVisible());
    Window()->Button1->click();
    EXPECT_EQ(FTerminations, 1);
}

TEST_F(AutoConnect, BusyModuleIgnoresTheTick) {
    SetSrv(MainDb(), TSrvRow{0, 0, 0});
    Down(MainDb());
    WriteIni(1, 0, true);
    TFOracleBase& m = CreateModule();
    m.Busy = true;
    m.AutoConnectTick();
    EXPECT_EQ(FNotice->Shows, 0);
    EXPECT_EQ(m.MainThread->Evaluations(), 0);
    m.Busy = false;
}

TEST_F(AutoConnect, WithoutAutoConnectThereIsNoWindowNorTimer) {
    SetSrv(MainDb(), TSrvRow{0, 0, 0});
    WriteIni(1, 0, false);
    TFOracleBase& m = CreateModule();
    EXPECT_EQ(m.Notice(), nullptr);
    EXPECT_FALSE(m.TimerAutoConnect->isActive());
    EXPECT_EQ(m.TimerAutoConnect->interval(), 1000);
}

TEST_F(AutoConnect, StatusPanelShowsTheConnectionSummary) {
    SetSrv(MainDb(), TSrvRow{0, 0, 0});
    WriteIni(1, 0, false);
    TFOracleBase& m = CreateModule();
    m.SetUserFullName(QString::fromUtf8("Соколов Андрей Викторович"));
    QStatusBar bar;
    ShowStatus(&bar);
    ShowStatus(&bar); // the panel is reused, not added twice
    const auto panels = bar.findChildren<QLabel*>(QStringLiteral("Panel0"));
    ASSERT_EQ(panels.size(), 1);
    EXPECT_EQ(panels[0]->text(), m.StatusText());
    EXPECT_GE(panels[0]->width(), QFontMetrics(bar.font()).horizontalAdvance(m.StatusText()));
}

} // namespace
