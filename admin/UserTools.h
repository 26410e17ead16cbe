// What administrators expect of the user list beyond its documented commands: finding a user (the
// search box above the list, Ctrl+F), copying another user's rights, the rights overview window,
// saving the list as a CSV file, and the guard that keeps the signed-in administrator from locking
// themselves out. Built into the administration window by TKMF_Admin; the work itself is done by
// TUserSearch, TCopyRights, TRightsOverviewData and TLockOutGuard, which need no window.
#pragma once

#include "CopyRightsDialog.h"
#include "LockOutGuard.h"

#include <QObject>

#include <functional>
#include <optional>

class QAction;
class QLabel;
class QToolButton;
class QWidget;
class TKMF_Admin;
class TOracleDataSet;
class TSearchEdit;
class TfmRightsOverview;

class TUserTools : public QObject {
    Q_OBJECT
public:
    // Adds the tool buttons to the window's tool bar and the context-menu entry to its grid; the
    // window puts SearchPanel above the grid.
    explicit TUserTools(TKMF_Admin* window);

    QWidget* SearchPanel;
    TSearchEdit* edSearch;
    QLabel* lbSearchCount;
    QToolButton* tbCopyRights;
    QToolButton* tbRightsOverview;
    QToolButton* tbSaveCsv;
    QAction* actCopyRights;
    // Created when first opened; lives with the window.
    TfmRightsOverview* Overview = nullptr;

    // After the user list was opened: who is signed in, from where.
    void Attach();

    // Raise EDatabaseError with the reason when the signed-in administrator would lock themselves
    // out by this post or delete of the current row.
    void CheckPost(const TOracleDataSet& users) const;
    void CheckDelete(const TOracleDataSet& users) const;

    void tbCopyRightsClick();
    // Copies the rights of this user to the selected user (after the confirmation) and says what changed.
    void CopyRightsFrom(int sourceTabNum);
    void tbRightsOverviewClick();
    // Saves the users the list shows (without passwords) to a CSV file asked for.
    void tbSaveCsvClick();
    // Makes the user current in the list (clearing a search that hides the user) and selects the
    // application in the program list.
    void SelectUserAndProgram(int tabNum, std::optional<int> programId);

    // The choice of the source user; tests replace it. nullopt: cancelled.
    std::function<std::optional<int>(const QString& targetName,
                                     const std::vector<TfmCopyRights::TCandidate>&)>
        ChooseSource;

    const TLockOutGuard& Guard() const { return FGuard; }

private:
    void ApplySearch();
    // The current user is one the list shows; the user panels are usable only then.
    void KeepCurrentShown();
    void UpdateCount();
    QString UserName(int tabNum) const;

    TKMF_Admin* FWindow;
    TLockOutGuard FGuard;
};
