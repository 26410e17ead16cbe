// The add-program dialog "Добавить программу": the path of a program's executable and the
// functional name under which it is listed. "Добавить" stores the file through the stored-programs
// window (in its worker thread, so a large file does not freeze the dialog) and closes with 1 once
// it is stored; "Отменить" and Esc close with 2.
#pragma once

#include "ProgramStore.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;

class TfmAddProgramm : public QDialog {
    Q_OBJECT
public:
    explicit TfmAddProgramm(QWidget* parent = nullptr);
    ~TfmAddProgramm() override;

    // The administration window's program list, refilled after a program is stored (not owned).
    QListWidget* ProgramList = nullptr;

    QLabel* Label1;
    QLineEdit* edNameExe;
    QToolButton* sbCheckExeFile;
    QLabel* Label2;
    QLineEdit* edPrAlias;
    QLabel* lbState;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;

    // Shows the dialog modally without waiting for it; finished(result) tells the outcome.
    void ShowModalFor(QWidget* owner);
    // A store is under way in the background.
    bool Storing() const { return FStoring; }

    void FormShow();
    void sbCheckExeFileClick();
    void BitBtn1Click();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void StoreDone(TSaveOutcome::TResult result);
    void SetStoring(bool storing);
    void RefillProgramList();

    bool FStoring = false;
};

// The one instance, created with the other long-lived windows at start-up (null before and after).
extern TfmAddProgramm* fmAddProgramm;
