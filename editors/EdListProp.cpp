#include "EdListProp.h"

#include "DBErrors.h"
#include "DBGridEh.h"
#include "DBNavigator.h"
#include "DataSource.h"
#include "DialogGateway.h"
#include "NoteDataSet.h"
#include "OracleBase.h"
#include "PropCatalogue.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// How often the window looks at the edit-mode flag, which the server watchers change in the background.
constexpr int EditModePollMs = 500;

QString ViewModeRefusal() {
    return QStringLiteral("Режим просмотра: изменения сейчас невозможны.");
}

} // namespace

TfmEditListProp::TfmEditListProp(QWidget* owner) : TEditorDialog(owner) {
    setObjectName(QStringLiteral("fmEditListProp"));
    setWindowTitle(QStringLiteral("Редактирование списка свойств"));

    DataSource1 = new TDataSource(this);
    DataSource1->setObjectName(QStringLiteral("DataSource1"));

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBarGap = new QWidget(ToolBar1);
    ToolBarGap->setObjectName(QStringLiteral("ToolBarGap"));
    ToolBarGap->setFixedWidth(249);
    ToolBar1->addWidget(ToolBarGap);
    DBNavigator1 = new TDBNavigator(ToolBar1);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    DBNavigator1->setFixedWidth(230);
    const QStringList hints{QStringLiteral("В начало"),           QStringLiteral("Предыдущее"),
                            QStringLiteral("Следующее"),          QStringLiteral("В конец"),
                            QStringLiteral("Добавить"),           QStringLiteral("Удалить"),
                            QStringLiteral("Редактировать"),      QStringLiteral("Принять Изменения"),
                            QStringLiteral("Отменить Изменения"), QStringLiteral("Обновить")};
    DBNavigator1->SetHints(hints);
    DBNavigator1->SetDataSource(DataSource1);
    // A new or edited row is typed in the grid: the keyboard goes there at once.
    connect(DBNavigator1, &TDBNavigator::Click, this, [this](TNavigateBtn button) {
        if ((button == nbInsert || button == nbEdit) && PropSet->State() != dsBrowse)
            DBGridEh1->setFocus();
    });
    ToolBar1->addWidget(DBNavigator1);

    lbProg = new QListWidget(this);
    lbProg->setObjectName(QStringLiteral("lbProg"));
    lbProg->setAccessibleName(QStringLiteral("Программы"));
    lbProg->setFixedWidth(238);

    DBGridEh1 = new TDBGridEh(this);
    DBGridEh1->setObjectName(QStringLiteral("DBGridEh1"));
    DBGridEh1->setAccessibleName(QStringLiteral("Свойства программы"));
    DBGridEh1->SetFlat(true);
    DBGridEh1->SetColumns(
        {{QStringLiteral("FORM_NAME"), QStringLiteral("Имя формы"), 104, Qt::AlignCenter},
         {QStringLiteral("PROP_NAME"), QStringLiteral("Имя объекта"), 112, Qt::AlignCenter},
         {QStringLiteral("PROP_TYPE"), QStringLiteral("Имя свойства"), 100, Qt::AlignCenter},
         {QStringLiteral("PROP_ALIAS"), QStringLiteral("Функциональное назначение"), 159, Qt::AlignCenter}});
    DBGridEh1->SetDataSource(DataSource1);
    // The purpose column takes the room left, so its title is not cut.
    DBGridEh1->horizontalHeader()->setStretchLastSection(true);

    StateLabel = new QLabel(Panel1);
    StateLabel->setObjectName(QStringLiteral("StateLabel"));
    StateLabel->setWordWrap(true);
    static_cast<QHBoxLayout*>(Panel1->layout())->insertWidget(0, StateLabel, 10);

    auto* middle = new QHBoxLayout;
    middle->setContentsMargins(0, 0, 0, 0);
    middle->setSpacing(3);
    middle->addWidget(lbProg);
    middle->addWidget(DBGridEh1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar1);
    layout->addLayout(middle, 1);
    layout->addWidget(Panel1);

    connect(lbProg, &QListWidget::currentRowChanged, this, [this](int row) {
        if (FUpdating == 0 && row >= 0 && row != FShownRow)
            lbProgClick();
    });

    resize(755, 370);
    FormCreate();

    FModeTimer = new QTimer(this);
    FModeTimer->setObjectName(QStringLiteral("EditModeTimer"));
    FModeTimer->setInterval(EditModePollMs);
    connect(FModeTimer, &QTimer::timeout, this, &TfmEditListProp::UpdateEditMode);
}

TfmEditListProp::~TfmEditListProp() {
    // FormDestroy: the controls let go of the dataset before it is freed.
    DataSource1->SetDataSet(nullptr);
    if (PropSet) {
        PropSet->AfterInsert = nullptr;
        PropSet->BeforePost = nullptr;
        PropSet->AfterPost = nullptr;
        PropSet->BeforeDelete = nullptr;
        PropSet->AfterDelete = nullptr;
        delete PropSet;
    }
}

void TfmEditListProp::FormCreate() {
    PropSet = new TNoteDataSet(this);
    PropSet->setObjectName(QStringLiteral("PropSet"));
    PropSet->AfterInsert = [this](TOracleDataSet* ds) { PropAfterInsert(ds); };
    PropSet->BeforePost = [this](TOracleDataSet* ds) { PropBeforePost(ds); };
    PropSet->AfterPost = [this](TOracleDataSet* ds) { PropAfterPost(ds); };
    PropSet->BeforeDelete = [this](TOracleDataSet* ds) { PropBeforeDelete(ds); };
    PropSet->AfterDelete = [this](TOracleDataSet* ds) { PropAfterDelete(ds); };

    ++FUpdating;
    lbProg->clear();
    for (const TPropCatalogue::TProgram& program : TPropCatalogue::Programs()) {
        auto* item = new QListWidgetItem(program.Name, lbProg);
        item->setData(Qt::UserRole, program.Id);
        item->setToolTip(program.Name);
    }
    if (lbProg->count() > 0)
        lbProg->setCurrentRow(0);
    --FUpdating;
}

void TfmEditListProp::showEvent(QShowEvent* event) {
    TEditorDialog::showEvent(event);
    // Once: reloading on every activation would drop a row being typed whenever a message box
    // closes over the window.
    if (!FActivated) {
        FActivated = true;
        FormActivate();
    }
}

void TfmEditListProp::FormActivate() {
    OpenCatalogue();
    DataSource1->SetDataSet(PropSet);
    FModeKnown = false;
    UpdateEditMode();
    FModeTimer->start();
}

void TfmEditListProp::lbProgClick() {
    // A row still being typed belongs to the application shown: store it first, or stay there.
    if (PropSet->Active() && (PropSet->State() == dsEdit || PropSet->State() == dsInsert)) {
        if (!RunDataSetAction([this] { PropSet->CheckBrowseMode(); })) {
            ++FUpdating;
            lbProg->setCurrentRow(FShownRow);
            --FUpdating;
            return;
        }
    }
    OpenCatalogue();
    FModeKnown = false;
    UpdateEditMode();
}

bool TfmEditListProp::OpenCatalogue() {
    PropSet->Close();
    PropSet->SQL().clear();
    FShownRow = lbProg->currentRow();
    const int programId = SelectedProgram();
    FReadFailed = false;
    if (programId < 0)
        return false;
    PropSet->SQL() = TPropCatalogue::CatalogueStatement(programId);
    FReadFailed = !PropSet->NoteOpen();
    return !FReadFailed;
}

int TfmEditListProp::SelectedProgram() const {
    const QListWidgetItem* item = lbProg->currentItem();
    return item ? item->data(Qt::UserRole).toInt() : -1;
}

void TfmEditListProp::PropAfterInsert(TOracleDataSet* DataSet) {
    const int programId = SelectedProgram();
    const int number = TPropCatalogue::NextPropNumber();
    if (programId < 0 || number <= 0) {
        // -1 would become a key; the row is dropped instead.
        DataSet->Cancel();
        MessageDlgAtMouse(QStringLiteral("Не удалось определить номер нового свойства. Строка не добавлена."),
                          mtError, {mbOK}, 0);
        return;
    }
    DataSet->FieldByName(QStringLiteral("ID_PROP"))->SetAsInteger(number);
    DataSet->FieldByName(QStringLiteral("ID_PROGRAMM"))->SetAsInteger(programId);
}

void TfmEditListProp::PropBeforePost(TOracleDataSet* DataSet) {
    // Decided when the row is sent: a switch to view mode during typing keeps the row in edit.
    if (!CanWrite)
        throw EDatabaseError(ViewModeRefusal());
    if (DataSet->State() == dsInsert) {
        // The number was taken when the row was begun; another editor may have stored it since.
        TField* id = DataSet->FieldByName(QStringLiteral("ID_PROP"));
        const int number = TPropCatalogue::NextPropNumber();
        if (number > id->AsInteger())
            id->SetAsInteger(number);
    }
}

void TfmEditListProp::PropAfterPost(TOracleDataSet* DataSet) {
    // The row reached the main server; the reserve server gets the same row while mirroring.
    if (MirrorWrites)
        TPropCatalogue::MirrorPost(TPropCatalogue::CurrentRow(*DataSet));
}

void TfmEditListProp::PropBeforeDelete(TOracleDataSet* DataSet) {
    if (!CanWrite)
        throw EDatabaseError(ViewModeRefusal());
    FDeletingId = DataSet->Fields(0)->AsInteger();
    FDeleteMirrored = MirrorWrites;
}

void TfmEditListProp::PropAfterDelete(TOracleDataSet*) {
    // Only a delete the main server took is repeated, so a refused delete never removes the
    // reserve server's copy alone.
    if (FDeleteMirrored)
        TPropCatalogue::MirrorDelete(FDeletingId);
    FDeleteMirrored = false;
}

void TfmEditListProp::UpdateEditMode() {
    const bool noProgram = lbProg->count() == 0;
    const bool readOnly = !CanWrite || noProgram || !PropSet->Active();
    if (FModeKnown && readOnly == FReadOnly)
        return;
    // A row being typed is left to the user; the switch waits until it is posted or cancelled.
    if (PropSet->State() == dsEdit || PropSet->State() == dsInsert)
        return;
    FModeKnown = true;
    FReadOnly = readOnly;
    PropSet->SetReadOnly(readOnly);
    DBGridEh1->setEnabled(!noProgram);
    DBNavigator1->setEnabled(!noProgram);
    // The navigator re-reads its buttons on the next change of the dataset; until then set them here.
    const bool canModify = PropSet->CanModify();
    DBNavigator1->Button(nbInsert)->setEnabled(canModify);
    DBNavigator1->Button(nbDelete)->setEnabled(canModify && !PropSet->IsEmpty());
    DBNavigator1->Button(nbEdit)->setEnabled(canModify && !PropSet->IsEmpty());
    DBNavigator1->Button(nbPost)->setEnabled(false);
    DBNavigator1->Button(nbCancel)->setEnabled(false);
    DBGridEh1->viewport()->update();
    ShowState();
}

void TfmEditListProp::ShowState() {
    QString text;
    if (lbProg->count() == 0)
        text = QStringLiteral("Ни одна программа не зарегистрирована: свойства вносить некуда.");
    else if (FReadFailed)
        text = QStringLiteral("Не удалось прочитать свойства программы \"%1\".")
                   .arg(lbProg->currentItem()->text());
    else if (!CanWrite)
        text = QStringLiteral("Режим просмотра: изменения списка свойств запрещены");
    StateLabel->setText(text);
}

bool TfmEditListProp::CanClose(int result) {
    if (!PropSet->Active() || (PropSet->State() != dsEdit && PropSet->State() != dsInsert))
        return true;
    if (result != mrOk) {
        PropSet->Cancel();
        return true;
    }
    // "Сохранить" stores the row still being typed; one the server refuses keeps the window open.
    return RunDataSetAction([this] { PropSet->CheckBrowseMode(); });
}

bool EditListProp() {
    // One window at a time: a leftover of an earlier call goes first.
    static QPointer<TfmEditListProp> form;
    delete form.data();
    form = new TfmEditListProp(QApplication::activeWindow());
    const int result = form->exec();
    delete form.data();
    return result == mrOk;
}
