#include "TempTmp.h"
#include "Desktop.h"
#include "Settings.h"
#include "TestFiles.h"
#include "WindowStore.h"

#include <QCoreApplication>
#include <QWidget>

namespace {

class TKMF_Admin : public QWidget {
    Q_OBJECT
};

class TempTmpTest : public TempFolderTest {
protected:
    void SetUp() override {
        FSavedTempFileName = TempFileName;
        TempFileName = Path("Temp.tmp");
    }
    void TearDown() override { TempFileName = FSavedTempFileName; }

    // The section the store uses for the test window class.
    static QString Section() {
        return WindowSectionName(QCoreApplication::applicationFilePath(), QStringLiteral("TKMF_Admin"));
    }
    void GivenSection(const QByteArray& keys) {
        WriteBytes(TempFileName, "[" + Section().toUtf8() + "]\n" + keys);
    }

    FixedDesktop Desktop{DesktopInfo{{QRect(0, 0, 1280, 1024)}, {}}};

private:
    QString FSavedTempFileName;
};

} // namespace

TEST_F(TempTmpTest, SectionIsExecutableNameAndClassName) {
    TKMF_Admin window;
    const TTempTmp store(&window);
    EXPECT_EQ(store.FileName(), Path("Temp.tmp"));
    EXPECT_EQ(store.Section(), QCoreApplication::applicationName() + ".TKMF_Admin");
    EXPECT_EQ(TTempTmp(&window, "TLogin").Section(), QCoreApplication::applicationName() + ".TLogin");
}

TEST_F(TempTmpTest, RestorePullsTheWindowBackOntoTheDesktop) {
    ScopedDesktop scoped(Desktop);
    struct Case {
        QByteArray Keys;
        QRect Expected;
    };
    const Case cases[] = {
        {"Left=5000\nTop=10\nWidth=800\nHeight=600\n", QRect(1240, 10, 800, 600)},
        {"Left=-2000\nTop=10\nWidth=800\nHeight=600\n", QRect(-760, 10, 800, 600)},
        {"Left=10\nTop=-300\nWidth=800\nHeight=600\n", QRect(10, -300, 800, 600)},
        {"Left=10\nTop=9000\n", QRect(10, 984, 300, 200)},
        // Values that are no number keep the current geometry.
        {"Left=abc\nTop=0x20\nWidth=\n", QRect(50, 32, 300, 200)},
    };
    for (const Case& c : cases) {
        GivenSection(c.Keys);
        TKMF_Admin window;
        window.setGeometry(50, 60, 300, 200);
        TTempTmp(&window).Restore(40);
        EXPECT_EQ(window.geometry(), c.Expected) << c.Keys.constData();
        EXPECT_EQ(window.windowState(), Qt::WindowNoState);
    }

    // Two monitors side by side: 2000 is on the desktop.
    FixedDesktop two(DesktopInfo{{QRect(0, 0, 1280, 1024), QRect(1280, 0, 1280, 1024)}, {}});
    ScopedDesktop scopedTwo(two);
    GivenSection("Left=2000\nTop=10\nWidth=800\nHeight=600\nWindowState=wsHuge\n");
    TKMF_Admin window;
    TTempTmp(&window).Restore(40);
    EXPECT_EQ(window.geometry(), QRect(2000, 10, 800, 600));
    EXPECT_EQ(window.windowState(), Qt::WindowNoState);
}

TEST_F(TempTmpTest, RestorePullsBackExactlyFromEveryEdge) {
    FixedDesktop one(DesktopInfo{{QRect(0, 0, 1280, 1024)}, {}});
    FixedDesktop two(DesktopInfo{{QRect(0, 0, 1280, 1024), QRect(1280, 0, 1920, 1200)}, {}});
    struct Case {
        const FixedDesktop* Desktop;
        QByteArray Position;
        QPoint Expected;
    };
    const Case cases[] = {
        {&one, "Left=10\nTop=-601\n", {10, -560}},
        {&one, "Left=10\nTop=-100000\n", {10, -560}},
        {&one, "Left=10\nTop=-560\n", {10, -560}},
        {&one, "Left=10\nTop=100000\n", {10, 984}},
        {&one, "Left=-100000\nTop=10\n", {-760, 10}},
        {&one, "Left=100000\nTop=10\n", {1240, 10}},
        {&one, "Left=-100000\nTop=-100000\n", {-760, -560}},
        {&one, "Left=100000\nTop=100000\n", {1240, 984}},
        {&two, "Left=100000\nTop=-100000\n", {3160, -560}},
        {&two, "Left=-100000\nTop=100000\n", {-760, 1160}},
        {&two, "Left=2000\nTop=900\n", {2000, 900}},
    };
    for (const Case& c : cases) {
        ScopedDesktop scoped(*c.Desktop);
        GivenSection(c.Position + "Width=800\nHeight=600\n");
        TKMF_Admin window;
        window.setGeometry(50, 60, 300, 200);
        TTempTmp(&window).Restore(40);
        EXPECT_EQ(window.geometry(), QRect(c.Expected, QSize(800, 600))) << c.Position.constData();
    }
}

TEST_F(TempTmpTest, MissingFileKeepsTheCurrentGeometry) {
    ScopedDesktop scoped(Desktop);
    TKMF_Admin window;
    window.setGeometry(70, 80, 640, 480);
    TTempTmp(&window).Restore(40);
    EXPECT_EQ(window.geometry(), QRect(70, 80, 640, 480));
    // A child control is not pulled onto the desktop.
    QWidget child(&window);
    child.setGeometry(1, 2, 3, 4);
    const TTempTmp childStore(&child, "TPanel");
    WriteBytes(TempFileName, "[" + childStore.Section().toUtf8() + "]\nLeft=5000\n");
    TTempTmp(&child, "TPanel").Restore(40);
    EXPECT_EQ(child.geometry(), QRect(5000, 2, 3, 4));
    // A window never placed, with nothing stored, is left to the window manager to place, so its
    // title bar is not put above the screen at 0, 0; a stored size still applies.
    WriteBytes(TempFileName, "[" + Section().toUtf8() + "]\nWidth=700\n");
    TKMF_Admin fresh;
    fresh.resize(762, 419);
    TTempTmp(&fresh).Restore(40);
    EXPECT_FALSE(fresh.testAttribute(Qt::WA_Moved));
    EXPECT_EQ(fresh.size(), QSize(700, 419));
}

TEST_F(TempTmpTest, MaximisedWindowRoundTrip) {
    ScopedDesktop scoped(Desktop);
    {
        TKMF_Admin window;
        window.setGeometry(100, 120, 640, 480);
        window.show();
        window.setWindowState(Qt::WindowMaximized);
        ASSERT_TRUE(window.isMaximized());
        TTempTmp(&window).Save();
    }
    const ProfileFile file(TempFileName);
    EXPECT_EQ(file.ReadString(Section(), "WindowState", ""), "wsMaximized");
    EXPECT_EQ(file.ReadInteger(Section(), "Left", 0), 100);
    EXPECT_EQ(file.ReadInteger(Section(), "Width", 0), 640);

    TKMF_Admin window;
    TTempTmp(&window).Restore(40);
    window.show();
    EXPECT_TRUE(window.isMaximized());
    window.setWindowState(Qt::WindowNoState);
    EXPECT_EQ(window.geometry(), QRect(100, 120, 640, 480));

    // Back in the normal state the key goes away and the rectangle stays.
    TTempTmp(&window).Save();
    EXPECT_FALSE(file.ValueExists(Section(), "WindowState"));
    EXPECT_EQ(file.ReadInteger(Section(), "Top", 0), 120);
    EXPECT_EQ(file.ReadInteger(Section(), "Height", 0), 480);
}

TEST_F(TempTmpTest, FixedSizeWindowStoresOnlyItsPosition) {
    GivenSection("; kept\nLeft=1\nWidth=999\nHeight=999\n");
    TKMF_Admin window;
    window.setGeometry(30, 40, 200, 100);
    window.setFixedSize(200, 100);
    TTempTmp(&window).Save();
    EXPECT_EQ(ReadBytes(TempFileName), "[" + Section().toUtf8() + "]\n; kept\nLeft=30\nTop=40\n");
}

TEST_F(TempTmpTest, RefusedWriteRaises) {
    TempFileName = Path("missing/Temp.tmp");
    TKMF_Admin window;
    try {
        TTempTmp(&window).Save();
        FAIL() << "no exception";
    } catch (const EIniFileException& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + TempFileName);
    }
}

TEST_F(TempTmpTest, LoginSection) {
    EXPECT_EQ(ReadLoginName(), "");
    EXPECT_FALSE(ReadLoginShowTime());
    WriteLoginName(QStringLiteral("Иванов"));
    WriteLoginShowTime(true);
    EXPECT_EQ(ReadLoginName(), QStringLiteral("Иванов"));
    EXPECT_TRUE(ReadLoginShowTime());
    WriteBytes(TempFileName, "[LOGIN]\nname=\xCF\xE5\xF2\xF0\xEE\xE2\nShowTime=7\n");
    EXPECT_EQ(ReadLoginName(), QStringLiteral("Петров"));
    EXPECT_TRUE(ReadLoginShowTime());
}

#include "TempTmpTest.moc"
