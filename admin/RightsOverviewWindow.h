// The window "Права пользователей": users as rows, registered applications as columns, the user's
// group in a cell where the application is granted. Read only; everything is read anew each time
// the window is shown. A double-click on a cell asks the administration window to select that user
// and application.
#pragma once

#include <QDialog>

#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class TRightsOverviewModel;
class TSearchEdit;

class TfmRightsOverview : public QDialog {
    Q_OBJECT
public:
    explicit TfmRightsOverview(QWidget* owner = nullptr);

    TSearchEdit* edSearch;
    TSearchEdit* edPrograms;
    QComboBox* cbProgram;
    QCheckBox* chkOnlyAccess;
    QLabel* lbCount;
    QPushButton* bbSaveCsv;
    QPushButton* bbClose;
    QTableView* Grid;
    TRightsOverviewModel* Model;

    // The application "only users with access" refers to at first (the one selected in the
    // administration window); applied when the data is next read.
    void SetSelectedProgram(std::optional<int> programId);
    // Reads everything from the main server; a failure is shown and the previous content kept.
    bool Reload();
    // Saves what the table shows; the file name is asked.
    void bbSaveCsvClick();

signals:
    // A cell was double-clicked: the user and the application of its column (none for the name columns).
    void UserProgramChosen(int tabNum, std::optional<int> programId);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FitColumns();
    void FillProgramChoice();
    void ApplyAccessFilter();
    void UpdateCount();

    std::optional<int> FSelectedProgram;
};
