#include "Main.h"

#include "DBCheckBox.h"
#include "DBEdit.h"
#include "DBGridEh.h"
#include "DBNavigator.h"
#include "DBText.h"
#include "DataSource.h"
#include "DialogGateway.h"
#include "EdListGroup.h"
#include "EdListProp.h"
#include "ErrorOra.h"
#include "Login.h"
#include "LoginType.h"
#include "NoteDataSet.h"
#include "OracleBase.h"
#include "ProgramAccess.h"
#include "Protokol_View.h"
#include "ReserveStatus.h"
#include "TempTmp.h"
#include "Termination.h"
#include "UserAdmin.h"
#include "UserTools.h"

#include <QApplication>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

// How often the window follows the servers' state, which the server watchers change in the background.
constexpr int EditModePollMs = 500;

// Rows per fetch call of the user list (the dataset's default is 25): ten thousand users arrive in ten
// round trips.
constexpr int UserListReadBuffer = 1000;

// An image-only button: a screen reader reads its hint, or the command's words where it has none.
QToolButton* MakeToolButton(QToolBar* bar, const char* name, QStyle::StandardPixmap icon, const QString& hint,
                            const QString& command = {}) {
    auto* button = new QToolButton(bar);
    button->setObjectName(QLatin1String(name));
    button->setIcon(bar->style()->standardIcon(icon));
    button->setIconSize(QSize(19, 16));
    button->setAutoRaise(true);
    if (!hint.isEmpty())
        button->setToolTip(hint);
    button->setAccessibleName(hint.isEmpty() ? command : hint);
    bar->addWidget(button);
    return button;
}

} // namespace

TKMF_Admin::TKMF_Admin(QWidget* owner)
    : QMainWindow(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("KMF_Admin"));
    setWindowTitle(QStringLiteral("Администратор"));
    BuildLayout();
    resize(762, 419);
    FormCreate();
}

TKMF_Admin::~TKMF_Admin() {
    if (UsersSet) {
        UsersSet->AfterInsert = nullptr;
        UsersSet->BeforePost = nullptr;
        UsersSet->AfterPost = nullptr;
        UsersSet->BeforeDelete = nullptr;
        UsersSet->AfterDelete = nullptr;
    }
}

void TKMF_Admin::BuildLayout() {
    DataSource1 = new TDataSource(this);
    DataSource1->setObjectName(QStringLiteral("DataSource1"));

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setFixedHeight(29);
    ToolBar1->setIconSize(QSize(19, 16));
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    DBNavigator1 = new TDBNavigator(ToolBar1);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    DBNavigator1->setFixedWidth(230);
    DBNavigator1->SetHints({QStringLiteral("В начало"), QStringLiteral("Предыдущее"),
                            QStringLiteral("Следующее"), QStringLiteral("В конец"),
                            QStringLiteral("Добавить"), QStringLiteral("Удалить"),
                            QStringLiteral("Редактировать"), QStringLiteral("Принять Изменения"),
                            QStringLiteral("Отменить Изменения"), QStringLiteral("Обновить")});
    DBNavigator1->SetDataSource(DataSource1);
    ToolBar1->addWidget(DBNavigator1);
    ToolBar1->addSeparator();
    tbAddProgramm = MakeToolButton(ToolBar1, "tbAddProgramm", QStyle::SP_FileDialogNewFolder, {},
                                   QStringLiteral("Добавить программу"));
    tbDeleteProgramm = MakeToolButton(ToolBar1, "tbDeleteProgramm", QStyle::SP_TrashIcon, {},
                                      QStringLiteral("Удалить программу"));
    // Designed hidden, which left the property editor unreachable; shown so it can be used.
    ToolButton1 = MakeToolButton(ToolBar1, "ToolButton1", QStyle::SP_FileDialogDetailedView,
                                 QStringLiteral("Редактировать список свойств"));
    connect(ToolButton1, &QToolButton::clicked, this, &TKMF_Admin::ToolButton1Click);
    tbViewProtokol = MakeToolButton(ToolBar1, "tbViewProtokol", QStyle::SP_FileDialogContentsView,
                                    QStringLiteral("Промотр журнала событий"));
    connect(tbViewProtokol, &QToolButton::clicked, this, &TKMF_Admin::tbViewProtokolClick);
    tbAddGroup = MakeToolButton(ToolBar1, "tbAddGroup", QStyle::SP_FileDialogListView,
                                QStringLiteral("Добавить группу"));
    connect(tbAddGroup, &QToolButton::clicked, this, &TKMF_Admin::tbAddGroupClick);

    Splitter2 = new QSplitter(Qt::Horizontal, this);
    Splitter2->setObjectName(QStringLiteral("Splitter2"));
    Splitter2->setChildrenCollapsible(false);
    setCentralWidget(Splitter2);
    SetUpProgramRegistration();

    // Left half: the user list and the selected user's permission and addresses.
    Panel4 = new QWidget(Splitter2);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    auto* left = new QVBoxLayout(Panel4);
    left->setContentsMargins(0, 0, 0, 0);
    left->setSpacing(0);
    DBGridEh1 = new TDBGridEh(Panel4);
    DBGridEh1->setObjectName(QStringLiteral("DBGridEh1"));
    DBGridEh1->SetFlat(true);
    DBGridEh1->SetColumns(
        {{QStringLiteral("ALLNAME"), QStringLiteral("Ф.И.О. Пользователя"), 172, Qt::AlignCenter},
         {QStringLiteral("NAME"), QStringLiteral("Имя для входа"), 96, Qt::AlignCenter}});
    DBGridEh1->SetDataSource(DataSource1);
    DBGridEh1->setAccessibleName(QStringLiteral("Пользователи"));
    left->addWidget(DBGridEh1, 1);

    Panel5 = new QWidget(Panel4);
    Panel5->setObjectName(QStringLiteral("Panel5"));
    Panel5->setFixedHeight(67);
    Panel5->installEventFilter(this);
    Label3 = new QLabel(QStringLiteral("IP: "), Panel5);
    Label3->setObjectName(QStringLiteral("Label3"));
    Label3->move(5, 4);
    DBText1 = new TDBText(Panel5);
    DBText1->setObjectName(QStringLiteral("DBText1"));
    DBText1->SetDataSource(DataSource1);
    DBText1->SetDataField(QStringLiteral("IP"));
    DBText1->setGeometry(30, 4, 260, 16);
    DBCheckBox1 = new TDBCheckBox(QStringLiteral("Разрешение на работу"), Panel5);
    DBCheckBox1->setObjectName(QStringLiteral("DBCheckBox1"));
    DBCheckBox1->SetDataSource(DataSource1);
    DBCheckBox1->SetDataField(QStringLiteral("WENABLED"));
    DBCheckBox1->setGeometry(5, 22, 280, 18);
    DBEdit1 = new TDBEdit(Panel5);
    DBEdit1->setObjectName(QStringLiteral("DBEdit1"));
    DBEdit1->SetDataSource(DataSource1);
    DBEdit1->SetDataField(QStringLiteral("IPADR"));
    // The design sets this hint but does not show it.
    DBEdit1->setProperty("hintText", QStringLiteral("Возможные IP адреса машин"));
    DBEdit1->setAccessibleName(DBEdit1->property("hintText").toString());
    DBEdit1->setGeometry(5, 42, 290, 21);
    left->addWidget(Panel5);
    // Search, copying rights, the rights overview and the CSV file of the list.
    Tools = new TUserTools(this);
    left->insertWidget(0, Tools->SearchPanel);

    // Right half: programs and the user's group in the selected program.
    auto* right = new TProgramAccessPanel(Splitter2);
    Panel1 = right;
    Splitter1 = right->Splitter1;
    Panel3 = right->Panel3;
    Label2 = right->Label2;
    clbProgrammName = right->clbProgrammName;
    Panel2 = right->Panel2;
    Label1 = right->Label1;
    RG = right->RG;
    Programs = right->Access;
    Programs->SetDataSource(DataSource1);

    Splitter2->addWidget(Panel4);
    Splitter2->addWidget(Panel1);
    Splitter2->setStretchFactor(0, 0);
    Splitter2->setStretchFactor(1, 1);
    Splitter2->setSizes({300, 462});

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusPanel0 = new QLabel(StatusBar1);
    StatusPanel0->setObjectName(QStringLiteral("StatusPanel0"));
    StatusPanel0->setMinimumWidth(50);
    StatusPanel1 = new QLabel(StatusBar1);
    StatusPanel1->setObjectName(QStringLiteral("StatusPanel1"));
    StatusPanel1->setMinimumWidth(50);
    ReserveStatus = new QLabel(StatusBar1);
    ReserveStatus->setObjectName(QStringLiteral("ReserveStatus"));
    ReserveStatus->hide();
    StatusBar1->addWidget(StatusPanel0);
    StatusBar1->addWidget(StatusPanel1, 1);
    StatusBar1->addWidget(ReserveStatus);
    ReserveDiffers = new TReserveStatus(StatusBar1);
    StatusBar1->addPermanentWidget(ReserveDiffers);
    setStatusBar(StatusBar1);
}

void TKMF_Admin::FormCreate() {
    {
        TTempTmp store(this);
        store.Restore(40);
    }
    {
        TNoteLogin login(nullptr);
        login.ParamLogin = true;
        login.ShowModal();
    }
    FOracleBase->RefreshServers();
    if (!AdminRight() || TerminationRequested()) {
        RequestTermination();
        return;
    }

    UsersSet = new TNoteDataSet(qApp);
    UsersSet->setObjectName(QStringLiteral("UsersSet"));
    UsersSet->SQL() << QStringLiteral("SELECT COUNT(*) CNT FROM KMR_USER_PSW");
    if (UsersSet->NoteOpen()) {
        SetProgramListByCount(UsersSet->FieldByName(QStringLiteral("CNT"))->AsInteger());
        UsersSet->Close();
    }
    UsersSet->SQL().clear();
    UsersSet->SQL() = TUserAdmin::UserListStatement();
    // Every row is fetched at open; larger blocks spare a round trip per 25 users on a slow link.
    UsersSet->SetReadBuffer(UserListReadBuffer);
    UsersSet->NoteOpen();

    // Before the user list is linked: linking marks the first user's programs.
    LoadPrograms();

    UsersSet->AfterInsert = [this](TOracleDataSet* ds) { UsersAfterInsert(ds); };
    UsersSet->BeforePost = [this](TOracleDataSet* ds) { UsersBeforePost(ds); };
    UsersSet->AfterPost = [this](TOracleDataSet* ds) { UsersAfterPost(ds); };
    UsersSet->BeforeDelete = [this](TOracleDataSet* ds) { UsersBeforeDelete(ds); };
    UsersSet->AfterDelete = [this](TOracleDataSet* ds) { UsersAfterDelete(ds); };
    // A delete that would be refused is refused before the navigator's question.
    DBNavigator1->BeforeDeleteQuestion = [this] {
        RefuseInViewMode();
        Tools->CheckDelete(*UsersSet);
    };

    FollowUserList();
    DataSource1->SetDataSet(UsersSet);
    Tools->Attach();

    WatchServers();
    FModeTimer = new QTimer(this);
    FModeTimer->setObjectName(QStringLiteral("EditModeTimer"));
    FModeTimer->setInterval(EditModePollMs);
    connect(FModeTimer, &QTimer::timeout, this, &TKMF_Admin::WatchServers);
    FModeTimer->start();
}

void TKMF_Admin::LoadPrograms() {
    Programs->LoadPrograms();
}

void TKMF_Admin::DataSource1DataChange(TField* Field) {
    Programs->DataSource1DataChange(Field);
}

void TKMF_Admin::tbAddGroupClick() {
    const QListWidgetItem* item = clbProgrammName->currentItem();
    if (!item)
        return;
    const int programId = TProgramAccess::EntryId(item);
    FinishEditor(EditListGroup(programId, item->text()));
    // An added group can be chosen at once.
    if (Programs->SelectedProgram() == programId)
        Programs->ShowGroups(programId);
}

void TKMF_Admin::ToolButton1Click() {
    FinishEditor(EditListProp());
}

void TKMF_Admin::FinishEditor(bool saved) {
    try {
        if (saved)
            FOracleBase->CommitAll();
        else
            FOracleBase->RollbackAll();
    } catch (const std::exception& e) {
        ShowError(saved ? QStringLiteral("Не удалось сохранить изменения.")
                        : QStringLiteral("Не удалось отменить изменения."),
                  FailureText(e));
    }
}

void TKMF_Admin::tbViewProtokolClick() {
    if (Protocol)
        Protocol->ShowModal();
}

void TKMF_Admin::SetProgramListByCount(int count) {
    clbProgrammName->setEnabled(count > 0);
}

void TKMF_Admin::UsersAfterInsert(TOracleDataSet* DataSet) {
    const int number = TUserAdmin::NextUserNumber();
    if (number <= 0) {
        // -1 would become a key; the row is dropped instead.
        DataSet->Cancel();
        MessageDlgAtMouse(
            QStringLiteral("Не удалось определить номер нового пользователя. Пользователь не добавлен."),
            mtError, {mbOK}, 0);
        return;
    }
    DataSet->FieldByName(QStringLiteral("TABNUM"))->SetAsInteger(number);
}

void TKMF_Admin::UsersAfterPost(TOracleDataSet* DataSet) {
    // The change reached the main server; the reserve server gets the same row while mirroring.
    if (FPostMirrored)
        TUserAdmin::MirrorPost(TUserAdmin::CurrentRow(*DataSet));
    const int count = TUserAdmin::UserCount();
    if (count >= 0)
        SetProgramListByCount(count);
    try {
        DataSet->Refresh();
    } catch (const Exception&) {
        // The row is stored; a main server lost right after the commit must not make it look refused.
        // The list is read again once a main server answers.
    }
}

void TKMF_Admin::UsersBeforeDelete(TOracleDataSet* DataSet) {
    RefuseInViewMode();
    Tools->CheckDelete(*DataSet);
    FDeletingTabNum = DataSet->Fields(0)->AsInteger();
    FDeleteMirrored = MirrorWrites;
}

void TKMF_Admin::UsersAfterDelete(TOracleDataSet*) {
    // Only a delete the main server took is repeated, so a refused delete never removes the
    // reserve server's copy alone.
    if (FDeleteMirrored)
        TUserAdmin::MirrorDelete(FDeletingTabNum);
    FDeleteMirrored = false;
}

void TKMF_Admin::Panel5Resize() {
    DBEdit1->resize(Panel5->width() - 10, DBEdit1->height());
}

bool TKMF_Admin::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Panel5 && event->type() == QEvent::Resize)
        Panel5Resize();
    return QMainWindow::eventFilter(watched, event);
}

void TKMF_Admin::FormDestroy() {
    TTempTmp store(this);
    store.Save();
}
