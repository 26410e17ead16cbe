// The administration window "Администратор": the user list on the left, the programs the selected
// user may run and the user's group on the right.
#pragma once

#include <QMainWindow>

class QGroupBox;
class QLabel;
class QListWidget;
class QSplitter;
class QStatusBar;
class QTimer;
class QToolBar;
class QToolButton;
class QWidget;
class TDataSource;
class TField;
class TProgramAccess;
class TUserTools;
class TDBCheckBox;
class TDBEdit;
class TDBGridEh;
class TDBNavigator;
class TDBText;
class TNoteDataSet;
class TOracleDataSet;
class TReserveStatus;

class TKMF_Admin : public QMainWindow {
    Q_OBJECT
public:
    // Creation runs FormCreate: geometry, sign-in, server check, and the lists for an administrator.
    explicit TKMF_Admin(QWidget* owner = nullptr);
    ~TKMF_Admin() override;

    // The user list; created by FormCreate for an administrator (owned by the application object),
    // none when creation stopped early.
    TNoteDataSet* UsersSet = nullptr;

    QToolBar* ToolBar1;
    TDBNavigator* DBNavigator1;
    QToolButton* tbAddProgramm;
    QToolButton* tbDeleteProgramm;
    // Opens the stored-programs window.
    QToolButton* tbStoredPrograms = nullptr;
    QToolButton* ToolButton1;
    QToolButton* tbViewProtokol;
    QToolButton* tbAddGroup;
    QWidget* Panel4;
    TDBGridEh* DBGridEh1;
    QWidget* Panel5;
    QLabel* Label3;
    TDBText* DBText1;
    TDBCheckBox* DBCheckBox1;
    TDBEdit* DBEdit1;
    QSplitter* Splitter2;
    QWidget* Panel1;
    QWidget* Panel3;
    QLabel* Label2;
    QListWidget* clbProgrammName;
    QSplitter* Splitter1;
    QWidget* Panel2;
    QLabel* Label1;
    QGroupBox* RG;
    QStatusBar* StatusBar1;
    QLabel* StatusPanel0;
    QLabel* StatusPanel1;
    // "Резервный сервер недоступен: ...", shown while the reserve server is away.
    QLabel* ReserveStatus;
    // "Резервный сервер отличается от основного" with "Сравнить…", while the servers differ.
    TReserveStatus* ReserveDiffers;
    TDataSource* DataSource1;
    // The right half: program grants and the group within the selected program.
    TProgramAccess* Programs = nullptr;
    // The user search, copying rights, the rights overview and the CSV file (UserTools).
    TUserTools* Tools = nullptr;

    void FormCreate();
    // Stores the window's geometry; the program calls it once at its end. A Temp.tmp that cannot be
    // written raises EIniFileException.
    void FormDestroy();
    void Panel5Resize();
    void LoadPrograms();
    void DataSource1DataChange(TField* Field);
    // The group editor for the selected program; its closing button commits or rolls back both
    // sessions, and the program's groups are shown again at once.
    void tbAddGroupClick();
    // The property editor; its closing button commits or rolls back both sessions.
    void ToolButton1Click();
    // Shows the event log window modally.
    void tbViewProtokolClick();

    // Registering and removing programs, and the stored-programs window (ProgramRegistration.cpp).
    void tbAddProgrammClick();
    void tbDeleteProgrammClick();
    void tbStoredProgramsClick();

    void UsersAfterInsert(TOracleDataSet* DataSet);
    void UsersBeforePost(TOracleDataSet* DataSet);
    void UsersAfterPost(TOracleDataSet* DataSet);
    void UsersBeforeDelete(TOracleDataSet* DataSet);
    void UsersAfterDelete(TOracleDataSet* DataSet);

    // Following the servers (MainServers.cpp), every poll interval and also in the middle of an
    // edit: the mode, the reserve server's absence, and the user list after the main server returned.
    void WatchServers();
    // View mode: the list is read-only and the status bar says why; edit mode opens it again.
    void UpdateEditMode();
    bool ListReadOnly() const { return FListReadOnly; }
    void UpdateReserveStatus();
    // The user list was closed by a lost main server: reopens it once a main server answers, keeps the
    // selected user where that user still exists, and reloads the programs. True when it is open.
    bool ReloadUsers();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildLayout();
    void SetUpProgramRegistration();
    // After an editor closed: "Сохранить" commits both sessions, "Отменить" rolls them back.
    void FinishEditor(bool saved);
    void SetProgramListByCount(int count);
    // Remembers the selected user, and empties the program panel while the list is closed.
    void FollowUserList();
    // A row is sent to the server only in edit mode; view mode raises its reason.
    static void RefuseInViewMode();

    QTimer* FModeTimer = nullptr;
    bool FListReadOnly = false;
    bool FModeKnown = false;
    // The user being deleted and whether the reserve server is to follow (read once per delete).
    int FDeletingTabNum = 0;
    bool FDeleteMirrored = false;
    // Whether the reserve server follows the row being posted (read when it is sent).
    bool FPostMirrored = false;
    // The selected user, kept while the list is closed by a lost server.
    int FSelectedTabNum = 0;
};
