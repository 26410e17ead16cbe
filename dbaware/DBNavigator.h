// The ten-button data navigator: first, prior, next, last, insert, delete, edit, post, cancel,
// refresh on the data source's dataset, each button enabled only where it can act. Delete asks
// "Удалить запись?" first. Errors the dataset raises are shown as the platform shows them.
#pragma once

#include "DataSource.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QToolButton;

enum TNavigateBtn {
    nbFirst,
    nbPrior,
    nbNext,
    nbLast,
    nbInsert,
    nbDelete,
    nbEdit,
    nbPost,
    nbCancel,
    nbRefresh
};

class TDBNavigator : public QWidget {
    Q_OBJECT
public:
    explicit TDBNavigator(QWidget* parent = nullptr);

    TDataSource* DataSource() const { return FDataSource; }
    void SetDataSource(TDataSource* source);
    // Object names "nbFirst" ... "nbRefresh"; the hint is the tool tip.
    QToolButton* Button(TNavigateBtn button) const { return FButtons[button]; }
    // The hints in button order.
    void SetHints(const QStringList& hints);
    bool ConfirmDelete() const { return FConfirmDelete; }
    void SetConfirmDelete(bool value) { FConfirmDelete = value; }
    // Runs before Delete asks its question: an error it raises is shown instead, and nothing is
    // asked or deleted (a delete that will be refused is not put to the user first).
    std::function<void()> BeforeDeleteQuestion;

    // What a click on the button does; errors are shown, not raised.
    void BtnClick(TNavigateBtn button);

signals:
    // After a button's action ran (also when it failed).
    void Click(TNavigateBtn button);

private:
    void UpdateButtons();

    QPointer<TDataSource> FDataSource;
    QToolButton* FButtons[nbRefresh + 1];
    bool FConfirmDelete = true;
};
