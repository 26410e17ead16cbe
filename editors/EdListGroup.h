// The group list editor: the groups of one application (add, delete) beside its properties.
// Additions and deletions are committed as they happen; the closing buttons only tell the caller
// whether to commit or roll back whatever else is open on the two sessions.
#pragma once

#include "EditorDialog.h"
#include "ProgramGroups.h"

class QListWidget;
class QListWidgetItem;
class QSplitter;
class QToolBar;
class QToolButton;

class TfmEditListGroup : public TEditorDialog {
    Q_OBJECT
public:
    // Builds the window for the application and loads both lists (FormCreate).
    TfmEditListGroup(int programId, const QString& programName, QWidget* owner = nullptr);

    QToolBar* ToolBar1;
    QToolButton* tbAddGroup;
    QToolButton* tbDeleteGroup;
    QSplitter* Splitter1;
    QListWidget* lbGroup;
    QListWidget* clbProp;

    void FormCreate();
    void tbAddGroupClick();
    void tbDeleteGroupClick();

    int ProgramId() const { return FGroups.ProgramId(); }
    const QString& ProgramName() const { return FProgramName; }
    // The number an entry carries (ID_GROUP or ID_PROP + 1000) and the row number it stands for.
    static int Carried(const QListWidgetItem* item);
    static int RowNumber(const QListWidgetItem* item) { return Carried(item) - 1000; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QListWidgetItem* AddGroupEntry(const QString& name, int groupId);
    void UpdateButtons();
    void FitPropertyColumns();
    // Says why a change cannot be made now.
    void TellViewMode();
    // After a change reported as done: in view mode the gate may have skipped it, so the server is
    // asked whether the group is there. False when the change did not happen (and says so).
    bool ChangeTookPlace(int groupId, bool shouldExist);

    TProgramGroups FGroups;
    QString FProgramName;
};

// Shows the editor modally for the application and destroys it afterwards; true when it was closed
// with "Сохранить".
bool EditListGroup(int programId, const QString& programName);
