#include "EditorDialog.h"

#include "DialogGateway.h"
#include "TitleBar.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPushButton>

TEditorDialog::TEditorDialog(QWidget* owner) : QDialog(owner, Qt::Dialog) {
    // No buttons on the title bar; a minimised or maximised state a window manager offers anyway is
    // undone, and its close button is refused (closeEvent).
    AllowTitleBarButtons(this, TTitleBarButtons::None);
    setModal(true);
    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    auto* buttons = new QHBoxLayout(Panel1);
    buttons->setContentsMargins(6, 4, 6, 6);
    buttons->addStretch(1);
    BitBtn1 = new QPushButton(QStringLiteral("Сохранить"), Panel1);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setToolTip(QStringLiteral("Сохранить изменения"));
    BitBtn1->setDefault(true);
    BitBtn1->setMinimumWidth(90);
    BitBtn2 = new QPushButton(QStringLiteral("Отменить"), Panel1);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setToolTip(QStringLiteral("Отменить изменения"));
    BitBtn2->setMinimumWidth(90);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(mrOk); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { done(mrCancel); });
}

bool TEditorDialog::CanClose(int) {
    return true;
}

void TEditorDialog::done(int result) {
    // QDialog maps Esc to Rejected (0); here it is the cancel button's result.
    if (result == QDialog::Rejected)
        result = mrCancel;
    if (FClosing || !CanClose(result))
        return;
    FClosing = true;
    QDialog::done(result);
    FClosing = false;
}

void TEditorDialog::closeEvent(QCloseEvent* event) {
    // A close from the window manager (Alt+F4) is not one of the two buttons.
    if (FClosing)
        QDialog::closeEvent(event);
    else
        event->ignore();
}
