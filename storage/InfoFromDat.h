// The stored-programs window "Сохранение рабочих программ на сервере баз данных.": the executables
// of a folder beside their stored copies, with commands that store the ticked ones on the server or
// fetch them from it. It also holds SaveToServer, through which the add-program dialog registers a
// program.
//
// Transfers run in the window's worker thread one file at a time; each file's result comes back as
// a queued call, which shows what went wrong and starts the next file, so the window repaints
// throughout and a transfer can be cancelled between files. User-interface thread only, apart from
// the tasks handed to the worker.
#pragma once

#include "ProgramFolder.h"
#include "ProgramStore.h"

#include <QDialog>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;
class QWidget;
class TPieGauge;
class TTransferWorker;

class TFInfoFromDat : public QDialog {
    Q_OBJECT
public:
    explicit TFInfoFromDat(QWidget* parent = nullptr);
    ~TFInfoFromDat() override;

    // Stores a file (True) or reports why not: no file (silently), unreadable, view mode, or the
    // server's refusal in the error dialog. Runs on the calling thread.
    bool SaveToServer(const QString& path, const QString& title);
    // Writes the stored copy to the path (True, title := the stored title); a copy not stored gives
    // False silently, a server or file error "Файл не сохранён! " with the reason.
    bool LoadFromServer(const QString& path, QString& title);
    // Stores or fetches every ticked entry in the background, one after the other.
    void TransferChecked(bool toServer);

    // SaveToServer in the worker thread: done runs on this thread after the messages, with what the
    // store came to. False (nothing started) while a transfer is under way.
    bool SaveInBackground(const QString& path, const QString& title,
                          std::function<void(TSaveOutcome::TResult)> done);
    // Cancels a transfer after the file under way.
    void CancelTransfer();
    bool Transferring() const;

    // Shows the stored copies against this folder's executables.
    void SetFolder(const QString& folder);
    const QString& Folder() const { return FFolder; }
    // Re-reads the stored copies and the folder; false (list unchanged) when the server cannot be read.
    bool RefreshList();
    const std::vector<TProgramEntry>& Entries() const { return FEntries; }
    // Opens the window for the owner: centred over it, modal, closed by "Выход" with result 1.
    void ShowFor(QWidget* owner);

    // Column widths shared by the header and the entries.
    std::array<int, 4> ColumnWidths() const { return FWidths; }
    void SetColumnWidth(int column, int width);
    // Left edge of the first column in the header picture and in an entry's field area.
    int FieldStart() const;
    // The separator of each column in header coordinates.
    int SeparatorX(int column) const;
    // The one-line summary of the last transfer.
    QString Summary() const;
    // The summary of a transfer: stored or fetched, failed, and not reached when cancelled.
    static QString TransferSummary(bool toServer, int done, int failed, int notReached);
    // The header titles, each beginning with a blank.
    static const std::array<QString, 4>& HeaderTitles();

    QLabel* Label1;
    QPushButton* bbFolder;
    QLabel* lbFolder;
    QWidget* Panel1;
    QLabel* Image1;
    QListWidget* clb;
    TPieGauge* g1;
    QLabel* lbState;
    QPushButton* bbSave;
    QPushButton* bbWrite;
    QPushButton* bbCancel;
    QPushButton* BitBtn4;

    void DrawHeader();
    void FormResize();
    void FormActivate();
    void bbFolderClick();
    void bbSaveClick() { TransferChecked(true); }
    void bbWriteClick() { TransferChecked(false); }
    void BitBtn4Click();
    void Image1MouseMove(int x);
    void Image1MouseDown(int x);
    void Image1MouseUp();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    struct TJob {
        int Row;
        QString Path;
        QString Title;
    };
    // Messages of SaveToServer and LoadFromServer, shared by the synchronous and background runs.
    bool ReportSave(const TSaveOutcome& outcome, const QString& path, const QString& title);
    bool ReportFetch(const TFetchOutcome& outcome);
    void FillList();
    void StartNextJob();
    void JobDone(bool ok, bool viewMode);
    void FinishTransfer();
    void SetControlsForTransfer(bool running);
    // The main session is held by a transfer from its start to its completion on this thread: the
    // database module's tick goes by its last evaluation meanwhile instead of waiting for it.
    void BeginBackgroundCalls();
    void EndBackgroundCalls();
    // The separator within reach of the pointer; -1 when none.
    int SeparatorAt(int x) const;

    std::unique_ptr<TTransferWorker> FWorker;
    int FCallsHeld = 0;
    QString FFolder;
    std::vector<TProgramEntry> FEntries;
    std::array<int, 4> FWidths{};
    int FDragColumn = -1;
    bool FActivated = false;

    // The transfer under way.
    bool FToServer = true;
    std::vector<TJob> FJobs;
    size_t FNextJob = 0;
    bool FCancelled = false;
    bool FBatchRunning = false;
    bool FViewModeSeen = false;
    int FDone = 0;
    int FFailed = 0;
    QString FSummary;
};

// The one instance, created with the other long-lived windows at start-up (null before and after).
extern TFInfoFromDat* FInfoFromDat;
