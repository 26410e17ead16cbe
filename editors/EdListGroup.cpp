#include "EdListGroup.h"

#include "DialogGateway.h"
#include "ErrorOra.h"
#include "OracleBase.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPointer>
#include <QSplitter>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const char* const DefaultGroupName = "Новая группа";
constexpr int ItemHeight = 16;

QString Quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QToolButton* MakeToolButton(QToolBar* bar, const char* name, QStyle::StandardPixmap icon,
                            const QString& hint) {
    auto* button = new QToolButton(bar);
    button->setObjectName(QLatin1String(name));
    button->setIcon(bar->style()->standardIcon(icon));
    button->setAutoRaise(true);
    button->setToolTip(hint);
    button->setAccessibleName(hint);
    bar->addWidget(button);
    return button;
}

} // namespace

TfmEditListGroup::TfmEditListGroup(int programId, const QString& programName, QWidget* owner)
    : TEditorDialog(owner), FGroups(programId), FProgramName(programName) {
    setObjectName(QStringLiteral("fmEditListGroup"));
    setWindowTitle(QStringLiteral("Редактирование списка групп ") + Quoted(programName));

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setIconSize(QSize(19, 16));
    tbAddGroup = MakeToolButton(ToolBar1, "tbAddGroup", QStyle::SP_FileDialogNewFolder,
                                QStringLiteral("Добавить группу"));
    tbDeleteGroup =
        MakeToolButton(ToolBar1, "tbDeleteGroup", QStyle::SP_TrashIcon, QStringLiteral("Удалить группу"));

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);

    lbGroup = new QListWidget(Splitter1);
    lbGroup->setObjectName(QStringLiteral("lbGroup"));
    lbGroup->setAccessibleName(QStringLiteral("Группы программы"));
    lbGroup->setSelectionMode(QAbstractItemView::SingleSelection);
    lbGroup->setUniformItemSizes(true);
    QFont font = lbGroup->font();
    font.setPixelSize(13);
    lbGroup->setFont(font);

    clbProp = new QListWidget(Splitter1);
    clbProp->setObjectName(QStringLiteral("clbProp"));
    clbProp->setAccessibleName(QStringLiteral("Свойства программы"));
    // The marks have no stored meaning; the window says so instead of pretending to keep them.
    const QString marksHint =
        QStringLiteral("Отметки свойств нигде не сохраняются: список только показывает свойства программы.");
    clbProp->setToolTip(marksHint);
    clbProp->setAccessibleDescription(marksHint);
    // Two columns, filled top to bottom.
    clbProp->setFlow(QListView::TopToBottom);
    clbProp->setWrapping(true);
    clbProp->setResizeMode(QListView::Adjust);
    clbProp->setUniformItemSizes(true);
    clbProp->viewport()->installEventFilter(this);

    Splitter1->addWidget(lbGroup);
    Splitter1->addWidget(clbProp);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({214, 317});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar1);
    layout->addWidget(Splitter1, 1);
    layout->addWidget(Panel1);

    connect(tbAddGroup, &QToolButton::clicked, this, &TfmEditListGroup::tbAddGroupClick);
    connect(tbDeleteGroup, &QToolButton::clicked, this, &TfmEditListGroup::tbDeleteGroupClick);
    connect(lbGroup, &QListWidget::itemSelectionChanged, this, &TfmEditListGroup::UpdateButtons);

    resize(531, 412);
    FormCreate();
}

void TfmEditListGroup::FormCreate() {
    lbGroup->clear();
    clbProp->clear();
    for (const TProgramGroups::TEntry& group : FGroups.Groups())
        AddGroupEntry(group.Name, group.Id);
    for (const TProgramGroups::TEntry& property : FGroups.Properties()) {
        auto* item = new QListWidgetItem(property.Name, clbProp);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        item->setData(Qt::UserRole, property.Id + 1000);
        item->setToolTip(property.Name);
        item->setSizeHint(QSize(-1, ItemHeight));
    }
    if (lbGroup->count() > 0)
        lbGroup->setCurrentRow(0);
    UpdateButtons();
    FitPropertyColumns();
}

QListWidgetItem* TfmEditListGroup::AddGroupEntry(const QString& name, int groupId) {
    auto* item = new QListWidgetItem(name, lbGroup);
    item->setData(Qt::UserRole, groupId + 1000);
    item->setToolTip(name);
    item->setSizeHint(QSize(-1, ItemHeight));
    return item;
}

int TfmEditListGroup::Carried(const QListWidgetItem* item) {
    return item->data(Qt::UserRole).toInt();
}

void TfmEditListGroup::tbAddGroupClick() {
    if (!CanWrite) {
        TellViewMode();
        return;
    }
    const QString defaultName = QString::fromUtf8(DefaultGroupName);
    QString answer = defaultName;
    if (!InputQuery(QStringLiteral("Добавить группу "),
                    QStringLiteral("Группа в программе ") + Quoted(FProgramName), answer))
        answer = defaultName;
    if (answer == defaultName)
        return;

    switch (FGroups.CheckName(answer)) {
    case TProgramGroups::TNameFault::Blank:
        MessageDlgAtMouse(QStringLiteral("Имя группы не может быть пустым."), mtWarning, {mbOK}, 0);
        return;
    case TProgramGroups::TNameFault::TooLong:
        MessageDlgAtMouse(QStringLiteral("Имя группы слишком длинное: %1 байт, а помещается не больше %2 "
                                         "(буква кириллицы занимает два байта). Группа не добавлена.")
                              .arg(answer.toUtf8().size())
                              .arg(FGroups.NameLimit()),
                          mtWarning, {mbOK}, 0);
        return;
    case TProgramGroups::TNameFault::None:
        break;
    }

    const QString failure = QStringLiteral("Ошибка добавления группы ") + Quoted(answer);
    int groupId = 0;
    // Another administrator may store a group between the check and the insert: the number is then
    // taken (the key refuses it), and the check and the number are made again, up to three times.
    for (int attempt = 1;; ++attempt) {
        const std::optional<bool> duplicate = FGroups.IsDuplicate(answer);
        if (!duplicate) {
            ShowError(failure, QStringLiteral("Не удалось прочитать имена групп программы ") +
                                   Quoted(FProgramName) + QLatin1Char('.'));
            return;
        }
        if (*duplicate) {
            MessageDlgAtMouse(QStringLiteral("Дублирование имени группы ") + Quoted(answer) +
                                  QStringLiteral(" !"),
                              mtError, {mbOK}, 0);
            return;
        }
        groupId = FGroups.NextGroupNumber();
        if (groupId <= 0) {
            // -1 would become a key.
            ShowError(failure, QStringLiteral("Не удалось определить номер новой группы."));
            return;
        }
        QString error;
        if (FGroups.Insert(groupId, answer, error))
            break;
        if (attempt >= 3 || !error.startsWith(QLatin1String("ORA-00001"))) {
            ShowError(failure, error);
            return;
        }
    }
    if (!ChangeTookPlace(groupId, true))
        return;
    ShowPlainMessage(QStringLiteral("Группа ") + Quoted(answer) + QStringLiteral(" добавлена."));
    AddGroupEntry(answer, groupId);
    UpdateButtons();
}

void TfmEditListGroup::tbDeleteGroupClick() {
    QListWidgetItem* item = lbGroup->currentItem();
    if (!item || !item->isSelected())
        return;
    if (!CanWrite) {
        TellViewMode();
        return;
    }
    const QString name = item->text();
    if (MessageDlgAtMouse(QStringLiteral("Удалить группу ") + Quoted(name) + QStringLiteral(" ?"),
                          mtConfirmation, {mbYes, mbNo}, 0) != mrYes)
        return;
    const int groupId = RowNumber(item);
    QString error;
    if (!FGroups.Delete(groupId, error)) {
        ShowError(QStringLiteral("Не удалось удалить группу ") + Quoted(name) + QLatin1Char('.'), error);
        return;
    }
    if (!ChangeTookPlace(groupId, false))
        return;
    delete item;
    lbGroup->setCurrentRow(-1);
    lbGroup->clearSelection();
    UpdateButtons();
}

bool TfmEditListGroup::ChangeTookPlace(int groupId, bool shouldExist) {
    // In edit mode the gate ran the statement; only a switch to view mode on the way can have
    // skipped it.
    if (CanWrite)
        return true;
    if (FGroups.Stored(groupId) == shouldExist)
        return true;
    TellViewMode();
    return false;
}

void TfmEditListGroup::TellViewMode() {
    MessageDlgAtMouse(QStringLiteral("Режим просмотра: изменения сейчас невозможны."), mtWarning, {mbOK}, 0);
}

void TfmEditListGroup::UpdateButtons() {
    tbDeleteGroup->setEnabled(!lbGroup->selectedItems().isEmpty());
}

void TfmEditListGroup::FitPropertyColumns() {
    // Two columns, filled top to bottom; while the first holds every property it takes the whole width, so
    // no name is cut beside an empty column.
    const QSize room = clbProp->viewport()->size();
    const bool oneColumn = clbProp->count() * ItemHeight <= room.height();
    const int width = std::max(40, oneColumn ? room.width() - 2 : (room.width() - 2) / 2);
    clbProp->setGridSize(QSize(width, ItemHeight));
}

bool TfmEditListGroup::eventFilter(QObject* watched, QEvent* event) {
    if (watched == clbProp->viewport() && event->type() == QEvent::Resize)
        FitPropertyColumns();
    return TEditorDialog::eventFilter(watched, event);
}

bool EditListGroup(int programId, const QString& programName) {
    // One window at a time: a leftover of an earlier call goes first.
    static QPointer<TfmEditListGroup> form;
    delete form.data();
    form = new TfmEditListGroup(programId, programName, QApplication::activeWindow());
    const int result = form->exec();
    delete form.data();
    return result == mrOk;
}
