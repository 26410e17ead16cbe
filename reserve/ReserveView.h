// The comparison window: per table, the rows only on the main server, only on the reserve, and the
// rows that differ, in words; "Обновить резервный сервер" brings the reserve up to date. The
// window only shows and asks: the comparisons run on the monitor's background thread.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;
class TReserveMonitor;
struct TReserveReport;

class TFReserveCompare : public QDialog {
    Q_OBJECT
public:
    TFReserveCompare(TReserveMonitor& monitor, QWidget* parent = nullptr);

    QLabel* lbServers;
    QTreeWidget* tvDifferences;
    QLabel* lbState;
    QPushButton* btCompare;
    QPushButton* btUpdate;
    QPushButton* btClose;

    // A fresh detailed comparison (also run when the window is opened by the status bar).
    void btCompareClick();
    void btUpdateClick();

    // Fills the list from a report; the window shows the last one it received.
    void ShowReport(const TReserveReport& report);

private:
    void SetBusy(bool busy);
    void CompareDone(const TReserveReport& report);
    void UpdateDone(const TReserveReport& report);

    TReserveMonitor& FMonitor;
    bool FBusy = false;
    int FDifferences = 0;
    bool FReserveReached = false;
};
