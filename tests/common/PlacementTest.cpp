#include "Placement.h"
#include "WindowStore.h"

#include <gtest/gtest.h>

namespace {

DesktopInfo OneMonitor(QPoint mouse = {}) {
    return DesktopInfo{{QRect(0, 0, 1280, 1024)}, mouse};
}

DesktopInfo TwoMonitors(QPoint mouse = {}) {
    return DesktopInfo{{QRect(0, 0, 1280, 1024), QRect(1280, 0, 1280, 1024)}, mouse};
}

} // namespace

TEST(Placement, MoveToMouseMonitorFollowsTheCursorOnlyWithSeveralMonitors) {
    const QRect dialog(490, 412, 300, 200);
    EXPECT_EQ(MoveToMouseMonitor(dialog, TwoMonitors({2000, 900})), QRect(1850, 800, 300, 200));
    EXPECT_EQ(MoveToMouseMonitor(dialog, TwoMonitors({2000, 500})), QRect(1850, 412, 300, 200));
    EXPECT_EQ(MoveToMouseMonitor(dialog, TwoMonitors({600, 100})), QRect(490, 0, 300, 200));
    // The cursor over the dialog, edges included, leaves it where it is.
    EXPECT_EQ(MoveToMouseMonitor(dialog, TwoMonitors({790, 612})), dialog);
    EXPECT_EQ(MoveToMouseMonitor(dialog, TwoMonitors({490, 412})), dialog);
    EXPECT_EQ(MoveToMouseMonitor(dialog, OneMonitor({2000, 900})), dialog);
    // Odd sizes halve rounding down.
    EXPECT_EQ(MoveToMouseMonitor(QRect(0, 0, 301, 201), TwoMonitors({2000, 900})),
              QRect(1850, 800, 301, 201));
}

TEST(Placement, FitToDesktopKeepsTheFormInsideTheMonitors) {
    EXPECT_EQ(FitToDesktop(QRect(100, 100, 3000, 200), OneMonitor()), QRect(0, 100, 1280, 200));
    EXPECT_EQ(FitToDesktop(QRect(1200, 900, 300, 200), OneMonitor()), QRect(980, 824, 300, 200));
    EXPECT_EQ(FitToDesktop(QRect(-50, -20, 300, 200), OneMonitor()), QRect(0, 0, 300, 200));
    EXPECT_EQ(FitToDesktop(QRect(2000, 100, 300, 200), TwoMonitors()), QRect(2000, 100, 300, 200));
    // A monitor left of the primary one: the limit is still (0, 0).
    const DesktopInfo leftOfPrimary{{QRect(-1280, 0, 1280, 1024), QRect(0, 0, 1280, 1024)}, {}};
    EXPECT_EQ(FitToDesktop(QRect(-900, 10, 300, 200), leftOfPrimary), QRect(0, 10, 300, 200));
    // Monitors of different heights: the extent is the largest bottom.
    const DesktopInfo mixed{{QRect(0, 0, 1280, 1024), QRect(1280, 0, 1920, 1200)}, {}};
    EXPECT_EQ(FitToDesktop(QRect(0, 1100, 300, 200), mixed), QRect(0, 1000, 300, 200));
}

TEST(Placement, DesktopMonitorAndMessageBoxPosition) {
    EXPECT_FALSE(UseDesktopMonitor(OneMonitor()));
    EXPECT_TRUE(UseDesktopMonitor(TwoMonitors()));
    EXPECT_FALSE(MessageBoxPosition(OneMonitor({500, 500})).has_value());
    EXPECT_EQ(MessageBoxPosition(TwoMonitors({2000, 900})), QPoint(1900, 800));
    EXPECT_FALSE(MessageBoxPosition(DesktopInfo{}).has_value());
    // No monitor described: nothing to fit into, nothing changes.
    EXPECT_EQ(FitToDesktop(QRect(10, 20, 300, 200), DesktopInfo{}), QRect(10, 20, 300, 200));
    EXPECT_EQ(PullOntoDesktop(QRect(10, 20, 300, 200), 40, DesktopInfo{}), QRect(10, 20, 300, 200));
}

TEST(Placement, PullOntoDesktopLeavesMarginPixelsVisible) {
    EXPECT_EQ(PullOntoDesktop(QRect(5000, 10, 800, 600), 40, OneMonitor()).x(), 1240);
    EXPECT_EQ(PullOntoDesktop(QRect(-2000, 10, 800, 600), 40, OneMonitor()).x(), -760);
    EXPECT_EQ(PullOntoDesktop(QRect(10, -300, 800, 600), 40, OneMonitor()).y(), -300);
    EXPECT_EQ(PullOntoDesktop(QRect(10, 5000, 800, 600), 40, OneMonitor()).y(), 984);
    EXPECT_EQ(PullOntoDesktop(QRect(2000, 10, 800, 600), 40, TwoMonitors()), QRect(2000, 10, 800, 600));
    EXPECT_EQ(PullOntoDesktop(QRect(5000, 5000, 800, 600), 40, OneMonitor()).size(), QSize(800, 600));
}

TEST(Placement, PullOntoDesktopStopsExactlyAtTheMarginOnEveryEdge) {
    const QSize size(800, 600);
    const DesktopInfo sideBySide{{QRect(0, 0, 1280, 1024), QRect(1280, 0, 1920, 1200)}, {}};
    const DesktopInfo stacked{{QRect(0, 0, 1280, 1024), QRect(0, 1024, 1280, 1024)}, {}};
    const DesktopInfo leftOfPrimary{{QRect(-1280, 0, 1280, 1024), QRect(0, 0, 1280, 1024)}, {}};
    struct Case {
        const char* Where;
        DesktopInfo Desktop;
        int Margin;
        QPoint Stored;
        QPoint Expected;
    } cases[] = {
        // One pixel beyond each limit, exactly on it, and far beyond it.
        {"above", OneMonitor(), 40, {10, -561}, {10, -560}},
        {"above, on the limit", OneMonitor(), 40, {10, -560}, {10, -560}},
        {"far above", OneMonitor(), 40, {10, -100000}, {10, -560}},
        {"below", OneMonitor(), 40, {10, 985}, {10, 984}},
        {"below, on the limit", OneMonitor(), 40, {10, 984}, {10, 984}},
        {"far below", OneMonitor(), 40, {10, 100000}, {10, 984}},
        {"left", OneMonitor(), 40, {-761, 10}, {-760, 10}},
        {"left, on the limit", OneMonitor(), 40, {-760, 10}, {-760, 10}},
        {"far left", OneMonitor(), 40, {-100000, 10}, {-760, 10}},
        {"right", OneMonitor(), 40, {1241, 10}, {1240, 10}},
        {"right, on the limit", OneMonitor(), 40, {1240, 10}, {1240, 10}},
        {"far right", OneMonitor(), 40, {100000, 10}, {1240, 10}},
        {"far above and left", OneMonitor(), 40, {-100000, -100000}, {-760, -560}},
        {"far below and right", OneMonitor(), 40, {100000, 100000}, {1240, 984}},
        {"far above and right", OneMonitor(), 40, {100000, -100000}, {1240, -560}},
        {"far below and left", OneMonitor(), 40, {-100000, 100000}, {-760, 984}},
        // Several monitors: the limits are those of the whole desktop, from (0, 0).
        {"side by side, far right", sideBySide, 40, {100000, 10}, {3160, 10}},
        {"side by side, far below", sideBySide, 40, {2000, 100000}, {2000, 1160}},
        {"side by side, far above", sideBySide, 40, {2000, -100000}, {2000, -560}},
        {"side by side, inside the second", sideBySide, 40, {2000, 500}, {2000, 500}},
        {"stacked, far below", stacked, 40, {10, 100000}, {10, 2008}},
        {"stacked, far above", stacked, 40, {10, -100000}, {10, -560}},
        {"left of the primary, far left", leftOfPrimary, 40, {-100000, 10}, {-760, 10}},
        {"left of the primary, far right", leftOfPrimary, 40, {100000, 10}, {1240, 10}},
        // Other margins.
        {"no margin, far above", OneMonitor(), 0, {10, -100000}, {10, -600}},
        {"no margin, far right", OneMonitor(), 0, {100000, 10}, {1280, 10}},
        {"wide margin, far above", OneMonitor(), 100, {10, -100000}, {10, -500}},
        {"wide margin, far below", OneMonitor(), 100, {10, 100000}, {10, 924}},
    };
    for (const Case& c : cases) {
        const QRect pulled = PullOntoDesktop(QRect(c.Stored, size), c.Margin, c.Desktop);
        EXPECT_EQ(pulled, QRect(c.Expected, size)) << c.Where;
        // Where the window had to move, exactly the margin of it is left on the desktop.
        const DesktopExtent extent = DesktopExtentOf(c.Desktop);
        if (pulled.x() != c.Stored.x()) {
            const int visible = std::min(pulled.x() + size.width(), extent.Right) - std::max(pulled.x(), 0);
            EXPECT_EQ(visible, c.Margin) << c.Where;
        }
        if (pulled.y() != c.Stored.y()) {
            const int visible = std::min(pulled.y() + size.height(), extent.Bottom) - std::max(pulled.y(), 0);
            EXPECT_EQ(visible, c.Margin) << c.Where;
        }
    }
}

TEST(NextTokenTest, WalksTheSignInApart) {
    const QString text = QStringLiteral("ivan/secret@server");
    int position = 1;
    EXPECT_EQ(NextToken(text, u'/', position), "ivan");
    EXPECT_EQ(position, 6);
    EXPECT_EQ(NextToken(text, u'/', position), "secret@server");
    EXPECT_EQ(position, 0);
    EXPECT_EQ(NextToken(text, u'/', position), "");
    EXPECT_EQ(position, 0);
}

TEST(NextTokenTest, EmptyTokensAndPositionsOutside) {
    const QString text = QStringLiteral("a//b/");
    int position = 1;
    EXPECT_EQ(NextToken(text, u'/', position), "a");
    EXPECT_EQ(position, 3);
    EXPECT_EQ(NextToken(text, u'/', position), "");
    EXPECT_EQ(position, 4);
    EXPECT_EQ(NextToken(text, u'/', position), "b");
    EXPECT_EQ(position, 6);
    // Past the end after a final delimiter.
    EXPECT_EQ(NextToken(text, u'/', position), "");
    EXPECT_EQ(position, 0);
    for (const int start : {-3, 0, 6, 100}) {
        position = start;
        EXPECT_EQ(NextToken(text, u'/', position), "") << start;
        EXPECT_EQ(position, 0) << start;
    }
    position = 1;
    EXPECT_EQ(NextToken(QString(), u'/', position), "");
    EXPECT_EQ(position, 0);
}

TEST(WindowStoreNames, SectionsAndStates) {
    EXPECT_EQ(WindowSectionName("C:\\KMR\\Admin_KMR.exe", "TKMF_Admin"), "Admin_KMR.TKMF_Admin");
    EXPECT_EQ(WindowSectionName("/opt/kmr/Admin_KMR", "TKMF_Admin"), "Admin_KMR.TKMF_Admin");
    EXPECT_EQ(WindowSectionName("/opt/kmr.d/Admin.copy.exe", "TLogin"), "Admin.copy.TLogin");
    EXPECT_EQ(WindowStateName(wsMaximized), "wsMaximized");
    EXPECT_EQ(WindowStateFromName("WSMINIMIZED"), wsMinimized);
    EXPECT_EQ(WindowStateFromName("wsNormal"), wsNormal);
    EXPECT_FALSE(WindowStateFromName("wsHuge").has_value());
}
