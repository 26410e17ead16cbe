// The event log window "Журнал событий": what the dispatch applications' users changed, for a
// period of days, with coded values in words. Created hidden at start-up and kept to the end; the
// administration window shows it modally. The last result stays between showings.
//
// The search runs on a thread of its own (TProtocolSearch) on the main session, and so does the
// writing of a CSV file; the window stays responsive, shows progress when either takes longer than
// half a second, and can cancel it.
#pragma once

#include <QDateTime>
#include <QDialog>

#include <memory>
#include <optional>
#include <vector>

class QComboBox;
class QDateTimeEdit;
class QElapsedTimer;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTimer;
class QToolButton;
class QWidget;
class TProtocolGrid;
class TProtocolCsvSave;
class TProtocolModel;
class TProtocolSearch;

class TProtocol : public QDialog {
    Q_OBJECT
public:
    explicit TProtocol(QWidget* owner = nullptr);
    ~TProtocol() override;

    QWidget* Panel1;
    QLabel* Label1;
    QDateTimeEdit* DateTimePicker1;
    QLabel* Label2;
    QDateTimeEdit* DateTimePicker2;
    QToolButton* SpeedButton1;
    QWidget* Panel2;
    QLabel* Label3;
    QComboBox* cbProgramm;
    QLabel* Label4;
    QLineEdit* edFilter;
    QPushButton* bbSaveCsv;
    TProtocolGrid* StringGrid1;
    QStatusBar* StatusBar1;
    QLabel* StatusPanel0;
    QLabel* StatusPanel1;
    QProgressBar* ProgressBar1;
    // Cancels the search or the saving under way; shown with the progress.
    QPushButton* bbCancel;

    TProtocolModel* Model() const { return FModel; }

    // Shows the window modally; returns when it is closed.
    void ShowModal();

    void FormCreate();
    // Starts a search for the chosen period and program (the previous one, if any, is cancelled).
    void SpeedButton1Click();
    void bbCancelClick();
    // Asks for a file and writes the rows shown into it on a thread of its own.
    void bbSaveCsvClick();
    void edFilterChange();
    // Reads the registered applications into the program choice; the chosen one stays chosen.
    void LoadPrograms();

    // The program the next search lists; none for "Все программы".
    std::optional<int> ProgramNumber() const;
    // A search is under way.
    bool Searching() const { return FSearch != nullptr; }
    // A search or a saving is under way.
    bool Busy() const;
    // Records read so far by the search under way.
    qint64 SearchRowsRead() const;
    // The statement of the last search started.
    const QStringList& LastStatement() const { return FLastStatement; }
    // Rows per fetch of the next search.
    void SetReadBuffer(int rows) { FReadBuffer = rows; }

    // How long a search or a saving runs before its progress is shown.
    static constexpr int ProgressDelayMs = 500;

signals:
    // A search ended and its outcome is shown (complete, incomplete, failed or cancelled).
    void SearchEnded();
    // A saving ended and its outcome is shown.
    void SaveEnded();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildLayout();
    void TaskNews();
    void StartProgress(const QString& text, const QString& cancelName);
    void StopProgress();
    void FinishSearch();
    void FinishSave();
    void UpdateProgress();
    void UpdateCounts();
    void UpdateControls();

    TProtocolModel* FModel;
    std::unique_ptr<TProtocolSearch> FSearch;
    std::unique_ptr<TProtocolCsvSave> FSave;
    // Cancelled searches still finishing their server call; freed when they report.
    std::vector<std::unique_ptr<TProtocolSearch>> FFinishing;
    QTimer* FProgressTimer;
    QTimer* FFilterTimer;
    std::unique_ptr<QElapsedTimer> FTaskClock;
    QStringList FLastStatement;
    QDateTime FLastStart, FLastEnd;
    int FReadBuffer;
};

// The window created at start-up (null before and after).
extern TProtocol* Protocol;
