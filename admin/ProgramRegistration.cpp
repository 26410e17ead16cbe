// The administration window's commands that register and remove programs, and the one that opens
// the stored-programs window.
#include "ChekExename.h"
#include "InfoFromDat.h"
#include "Main.h"
#include "ProgramAccess.h"
#include "ProgramStore.h"

#include "DialogGateway.h"
#include "ErrorOra.h"

#include <QListWidget>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

void TKMF_Admin::SetUpProgramRegistration() {
    const QString addHint = QStringLiteral("Добавить программу");
    const QString deleteHint = QStringLiteral("Удалить программу");
    const QString storedHint = QStringLiteral("Программы на сервере");
    tbAddProgramm->setToolTip(addHint);
    tbAddProgramm->setAccessibleName(addHint);
    tbDeleteProgramm->setToolTip(deleteHint);
    tbDeleteProgramm->setAccessibleName(deleteHint);

    tbStoredPrograms = new QToolButton(ToolBar1);
    tbStoredPrograms->setObjectName(QStringLiteral("tbStoredPrograms"));
    tbStoredPrograms->setIcon(ToolBar1->style()->standardIcon(QStyle::SP_DriveNetIcon));
    tbStoredPrograms->setIconSize(QSize(19, 16));
    tbStoredPrograms->setAutoRaise(true);
    tbStoredPrograms->setToolTip(storedHint);
    tbStoredPrograms->setAccessibleName(storedHint);
    // Right after the delete button, so the three program commands stand together.
    QAction* before = nullptr;
    const QList<QAction*> actions = ToolBar1->actions();
    for (qsizetype i = 0; i + 1 < actions.size(); ++i)
        if (ToolBar1->widgetForAction(actions[i]) == tbDeleteProgramm)
            before = actions[i + 1];
    if (before)
        ToolBar1->insertWidget(before, tbStoredPrograms);
    else
        ToolBar1->addWidget(tbStoredPrograms);

    connect(tbAddProgramm, &QToolButton::clicked, this, &TKMF_Admin::tbAddProgrammClick);
    connect(tbDeleteProgramm, &QToolButton::clicked, this, &TKMF_Admin::tbDeleteProgrammClick);
    connect(tbStoredPrograms, &QToolButton::clicked, this, &TKMF_Admin::tbStoredProgramsClick);
}

void TKMF_Admin::tbAddProgrammClick() {
    if (!fmAddProgramm || fmAddProgramm->isVisible())
        return;
    fmAddProgramm->ProgramList = clbProgrammName;
    // The dialog is modal but not waited for: its result arrives with finished.
    connect(
        fmAddProgramm, &QDialog::finished, this,
        [this](int result) {
            if (result != 1)
                return;
            clbProgrammName->update();
            LoadPrograms();
            DataSource1DataChange(nullptr);
        },
        Qt::SingleShotConnection);
    fmAddProgramm->ShowModalFor(this);
}

void TKMF_Admin::tbDeleteProgrammClick() {
    const QListWidgetItem* item = clbProgrammName->currentItem();
    if (!item)
        return;
    const QString name = item->text();
    const int id = TProgramAccess::EntryId(item);
    if (MessageDlgAtMouse(QStringLiteral("Вы хотите удалить программу  \"") + name + QStringLiteral("\" ?"),
                          mtConfirmation, {mbYes, mbNo}, 0) != mrYes)
        return;
    const TRemoveOutcome outcome = RemoveProgram(id);
    switch (outcome.Result) {
    case TRemoveOutcome::Removed:
        break;
    case TRemoveOutcome::ViewMode:
        // Nothing was deleted; the removal must not look done.
        MessageDlgAtMouse(ViewModeText(), mtWarning, {mbOK}, 0);
        return;
    case TRemoveOutcome::ProgramFailed:
        // As the toolkit shows an error nobody caught; nothing is reloaded.
        MessageDlgAtMouse(outcome.Error, mtError, {mbOK}, 0);
        return;
    case TRemoveOutcome::GrantsFailed:
        ShowError(QStringLiteral("Программа \"%1\" не удалена.").arg(name),
                  outcome.Error + QStringLiteral("\n\r") + outcome.Statement);
        break;
    }
    LoadPrograms();
    DataSource1DataChange(nullptr);
}

void TKMF_Admin::tbStoredProgramsClick() {
    if (!FInfoFromDat || FInfoFromDat->isVisible())
        return;
    // Programs stored there for the first time belong in the program list as well.
    connect(
        FInfoFromDat, &QDialog::finished, this,
        [this](int) {
            LoadPrograms();
            DataSource1DataChange(nullptr);
        },
        Qt::SingleShotConnection);
    FInfoFromDat->ShowFor(this);
}
