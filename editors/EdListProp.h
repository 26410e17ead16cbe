// The property list editor: the registered applications on the left, the selected application's
// catalogue of controllable interface objects in an editable grid on the right. Rows are written
// by the editing dataset on the main server and committed as they are posted or deleted; while
// mirroring they are repeated on the reserve server by ID_PROP. The closing buttons only tell the
// caller whether to commit or roll back whatever else is open on the two sessions.
#pragma once

#include "EditorDialog.h"

class QLabel;
class QListWidget;
class QTimer;
class QToolBar;
class QWidget;
class TDBGridEh;
class TDBNavigator;
class TDataSource;
class TNoteDataSet;
class TOracleDataSet;

class TfmEditListProp : public TEditorDialog {
    Q_OBJECT
public:
    // Builds the window (FormCreate) and loads the application list; the catalogue is opened when
    // the window is first shown (FormActivate).
    explicit TfmEditListProp(QWidget* owner = nullptr);
    ~TfmEditListProp() override;

    QListWidget* lbProg;
    QToolBar* ToolBar1;
    QWidget* ToolBarGap;
    TDBNavigator* DBNavigator1;
    TDBGridEh* DBGridEh1;
    TDataSource* DataSource1;
    // Why nothing can be changed now (view mode, no application), or why the rows are missing.
    QLabel* StateLabel;
    // The editing dataset, owned by the window for its whole life.
    TNoteDataSet* PropSet = nullptr;

    void FormCreate();
    void FormActivate();
    void lbProgClick();

    void PropAfterInsert(TOracleDataSet* DataSet);
    void PropBeforePost(TOracleDataSet* DataSet);
    void PropAfterPost(TOracleDataSet* DataSet);
    void PropBeforeDelete(TOracleDataSet* DataSet);
    void PropAfterDelete(TOracleDataSet* DataSet);

    // View mode (or no application): the grid is read-only and the window says why.
    void UpdateEditMode();
    // ID_PROGRAMMEXE of the selected entry, or -1.
    int SelectedProgram() const;

protected:
    bool CanClose(int result) override;
    void showEvent(QShowEvent* event) override;

private:
    // Opens the selected application's rows; false (and says so) when they cannot be read.
    bool OpenCatalogue();
    void ShowState();

    QTimer* FModeTimer = nullptr;
    bool FActivated = false;
    bool FModeKnown = false;
    bool FReadOnly = false;
    bool FReadFailed = false;
    int FUpdating = 0;
    int FShownRow = -1;
    // The row being deleted and whether the reserve server is to follow (read once per delete).
    int FDeletingId = 0;
    bool FDeleteMirrored = false;
};

// Shows the editor modally and destroys it afterwards; true when it was closed with "Сохранить".
bool EditListProp();
