#include "CopyRightsDialog.h"

#include "SearchEdit.h"
#include "TitleBar.h"
#include "UserSearch.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

TfmCopyRights::TfmCopyRights(const QString& targetName, const std::vector<TCandidate>& candidates,
                             QWidget* owner)
    : QDialog(owner) {
    setObjectName(QStringLiteral("fmCopyRights"));
    setWindowTitle(QStringLiteral("Скопировать права от…"));
    auto* layout = new QVBoxLayout(this);
    Label1 = new QLabel(
        QStringLiteral("Пользователь \"%1\" получит программы и группы выбранного пользователя; его "
                       "собственные будут заменены.")
            .arg(targetName),
        this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    layout->addWidget(Label1);
    edSearch = new TSearchEdit(this);
    edSearch->setObjectName(QStringLiteral("edSearch"));
    layout->addWidget(edSearch);
    lbUsers = new QListWidget(this);
    lbUsers->setObjectName(QStringLiteral("lbUsers"));
    lbUsers->setAccessibleName(QStringLiteral("Пользователи"));
    lbUsers->setUniformItemSizes(true);
    for (const TCandidate& c : candidates) {
        auto* item = new QListWidgetItem(
            c.Name.isEmpty() ? c.AllName : QStringLiteral("%1 (%2)").arg(c.AllName, c.Name), lbUsers);
        item->setData(Qt::UserRole, c.TabNum);
        item->setData(Qt::UserRole + 1, c.AllName);
        item->setData(Qt::UserRole + 2, c.Name);
    }
    layout->addWidget(lbUsers, 1);
    Buttons = new QDialogButtonBox(this);
    Buttons->setObjectName(QStringLiteral("Buttons"));
    OKBtn = Buttons->addButton(QStringLiteral("Скопировать"), QDialogButtonBox::AcceptRole);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setDefault(true);
    QPushButton* cancel = Buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("CancelBtn"));
    layout->addWidget(Buttons);

    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(edSearch, &QLineEdit::textChanged, this, &TfmCopyRights::ApplySearch);
    connect(lbUsers, &QListWidget::currentRowChanged, this, &TfmCopyRights::UpdateButtons);
    connect(lbUsers, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    AllowTitleBarButtons(this, TTitleBarButtons::SystemMenuAndClose);
    resize(420, 480);
    ApplySearch();
    edSearch->setFocus();
}

void TfmCopyRights::ApplySearch() {
    const TUserSearch search(edSearch->text());
    QListWidgetItem* first = nullptr;
    for (int i = 0; i < lbUsers->count(); ++i) {
        QListWidgetItem* item = lbUsers->item(i);
        const bool shown =
            search.Matches(item->data(Qt::UserRole + 1).toString(), item->data(Qt::UserRole + 2).toString());
        item->setHidden(!shown);
        if (shown && !first)
            first = item;
    }
    QListWidgetItem* current = lbUsers->currentItem();
    if (!current || current->isHidden())
        lbUsers->setCurrentItem(first);
    UpdateButtons();
}

void TfmCopyRights::UpdateButtons() {
    QListWidgetItem* current = lbUsers->currentItem();
    OKBtn->setEnabled(current && !current->isHidden());
}

std::optional<int> TfmCopyRights::Chosen() const {
    const QListWidgetItem* current = lbUsers->currentItem();
    if (!current || current->isHidden())
        return std::nullopt;
    return current->data(Qt::UserRole).toInt();
}

std::optional<int> TfmCopyRights::Choose(QWidget* owner, const QString& targetName,
                                         const std::vector<TCandidate>& candidates) {
    TfmCopyRights dialog(targetName, candidates, owner);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.Chosen();
}
