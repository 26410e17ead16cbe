// The right half of the administration window: the programs the selected user may run (the check
// list clbProgrammName) and the user's group in the selected program (the radio group RG).
//
// TProgramAccess drives two existing controls and holds the documented handlers, so the window only
// hands it its controls and its data source. TProgramAccessPanel builds the two controls with their
// captions for a window (or a test) that has none of its own.
//
// Every read and write runs through a TNoteDataSet made for the operation and freed with it. A mark
// or a group never claims what the server does not hold: a write that fails or that view mode skips
// is put back to what is stored, and the user is told why. User-interface thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QWidget>

#include <optional>

class QAbstractButton;
class QButtonGroup;
class QGroupBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QSplitter;
class TDataSource;
class TField;

class TProgramAccess : public QObject {
    Q_OBJECT
public:
    // The controls stay owned by their window; RG gets a vertical layout when it has none.
    TProgramAccess(QListWidget* programs, QGroupBox* groups, QObject* owner = nullptr);

    // The user list: its current row's TABNUM is the selected user, and every data change of the
    // source runs DataSource1DataChange. Connect it before the source is linked to its dataset.
    void SetDataSource(TDataSource* source);
    // TABNUM of the data source's current row; 0 without a source, an open dataset or a row.
    int SelectedUser() const;
    // ID_PROGRAMMEXE of the selected entry; nullopt when the list has none.
    std::optional<int> SelectedProgram() const;
    // ID_GROUP of the selected button; nullopt when no button is selected.
    std::optional<int> SelectedGroup() const;

    void LoadPrograms();
    void ShowGroups(int ProgramId);
    void DataSource1DataChange(TField* Field = nullptr);
    void clbProgrammNameClick();
    void clbProgrammNameClickCheck();
    void RGClick();
    // No user is selected (the user list is closed): no marks, no groups, nothing to tick.
    void ShowNoUser();

    QListWidget* clbProgrammName;
    QGroupBox* RG;
    QButtonGroup* RGButtons;

    // The numbers kept with the entries and the buttons.
    static int EntryId(const QListWidgetItem* item);
    static int ButtonId(const QAbstractButton* button);

private:
    // Who selected the group: the user, or ShowGroups rewriting the stored membership.
    enum class TGroupPick { ByUser, Rewrite };

    void WriteGroup(TGroupPick pick);
    // Reads the user's grants and sets every mark; false (marks untouched) when the read fails.
    bool MarkGrants(int tabNum);
    // The user's stored group in a program (0: none); nullopt when the read fails.
    std::optional<int> StoredGroup(int tabNum, int programId);
    // Selects the button with this number, or none; raises no click.
    void SelectGroupButton(int groupId);
    void SetMark(QListWidgetItem* item, bool checked);
    void ClearGroupButtons();
    void SetGroupsEnabledByMark();
    void TellViewMode();

    TDataSource* FDataSource = nullptr;
    // Set while the controls are filled or marked from the server, so their signals are not taken
    // for the user's doing.
    int FUpdating = 0;
    // The group shown before the user's click, put back when the click cannot be stored.
    int FShownGroup = 0;
};

// clbProgrammName under "  Программы" and RG under "   Группы пользоателей", side by side.
class TProgramAccessPanel : public QWidget {
    Q_OBJECT
public:
    explicit TProgramAccessPanel(QWidget* parent = nullptr);

    QSplitter* Splitter1;
    QWidget* Panel3;
    QLabel* Label2;
    QListWidget* clbProgrammName;
    QWidget* Panel2;
    QLabel* Label1;
    QGroupBox* RG;
    TProgramAccess* Access;
};
