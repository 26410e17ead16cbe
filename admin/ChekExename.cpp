#include "ChekExename.h"

#include "DialogGateway.h"
#include "InfoFromDat.h"
#include "NoteDataSet.h"
#include "OracleBase.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QToolButton>

#include <memory>

TfmAddProgramm* fmAddProgramm = nullptr;

namespace {

QString WrongNameText() {
    return QStringLiteral("Неправильно указано имя программы!");
}

} // namespace

TfmAddProgramm::TfmAddProgramm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("fmAddProgramm"));
    setWindowTitle(QStringLiteral("Добавить программу"));
    setAccessibleName(windowTitle());
    setSizeGripEnabled(true);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 6, 8, 8);
    grid->setVerticalSpacing(3);
    Label1 = new QLabel(QStringLiteral("Имя программы (Полный путь)"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    edNameExe = new QLineEdit(this);
    edNameExe->setObjectName(QStringLiteral("edNameExe"));
    edNameExe->setAccessibleName(Label1->text());
    Label1->setBuddy(edNameExe);
    sbCheckExeFile = new QToolButton(this);
    sbCheckExeFile->setObjectName(QStringLiteral("sbCheckExeFile"));
    sbCheckExeFile->setText(QStringLiteral("..."));
    sbCheckExeFile->setToolTip(QStringLiteral("Выбрать файл программы"));
    sbCheckExeFile->setAccessibleName(QStringLiteral("Выбрать файл программы"));
    Label2 = new QLabel(QStringLiteral("Функциональное имя"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    edPrAlias = new QLineEdit(this);
    edPrAlias->setObjectName(QStringLiteral("edPrAlias"));
    edPrAlias->setAccessibleName(Label2->text());
    Label2->setBuddy(edPrAlias);
    lbState = new QLabel(this);
    lbState->setObjectName(QStringLiteral("lbState"));
    lbState->setAccessibleName(QStringLiteral("Состояние"));
    lbState->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogApplyButton), QStringLiteral("Добавить"),
                              this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setAccessibleName(QStringLiteral("Добавить"));
    BitBtn1->setDefault(true);
    BitBtn2 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton),
                              QStringLiteral("Отменить"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setAccessibleName(QStringLiteral("Отменить"));
    BitBtn2->setAutoDefault(false);

    grid->addWidget(Label1, 0, 0, 1, 2);
    grid->addWidget(edNameExe, 1, 0);
    grid->addWidget(sbCheckExeFile, 1, 1);
    grid->addWidget(Label2, 2, 0, 1, 2);
    grid->addWidget(edPrAlias, 3, 0, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lbState, 1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    grid->addLayout(buttons, 4, 0, 1, 2);
    grid->setRowStretch(5, 1);

    connect(sbCheckExeFile, &QToolButton::clicked, this, &TfmAddProgramm::sbCheckExeFileClick);
    connect(BitBtn1, &QPushButton::clicked, this, &TfmAddProgramm::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfmAddProgramm::reject);

    resize(324, 162);
    fmAddProgramm = this;
}

TfmAddProgramm::~TfmAddProgramm() {
    if (fmAddProgramm == this)
        fmAddProgramm = nullptr;
}

void TfmAddProgramm::ShowModalFor(QWidget* owner) {
    if (owner)
        move(owner->frameGeometry().center() - QPoint(width() / 2, height() / 2));
    setWindowModality(Qt::ApplicationModal);
    setResult(mrNone);
    show();
    raise();
    activateWindow();
}

void TfmAddProgramm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TfmAddProgramm::FormShow() {
    edNameExe->clear();
    edPrAlias->clear();
    lbState->clear();
    edNameExe->setFocus();
}

void TfmAddProgramm::sbCheckExeFileClick() {
    // Programs may be stored from any platform, so every file can be chosen as well.
    const QString file =
        OpenFileDialog(this, QStringLiteral("Выбор программы"), QCoreApplication::applicationDirPath(),
                       QStringLiteral("Исполняемые модули (*.exe);;Все файлы (*)"));
    if (!file.isEmpty())
        edNameExe->setText(QDir::toNativeSeparators(file));
}

void TfmAddProgramm::BitBtn1Click() {
    if (FStoring)
        return;
    const QString path = edNameExe->text();
    const QFileInfo info(path);
    if (path.trimmed().isEmpty() || !info.exists() || info.isDir()) {
        MessageDlgAtMouse(WrongNameText(), mtError, {mbOK}, 0);
        return;
    }
    if (!CanWrite) {
        // The gate would skip the insert; the dialog must not close as if the program were stored.
        MessageDlgAtMouse(ViewModeText(), mtWarning, {mbOK}, 0);
        return;
    }
    if (!FInfoFromDat || !FInfoFromDat->SaveInBackground(path, edPrAlias->text(),
                                                         [this](TSaveOutcome::TResult r) { StoreDone(r); })) {
        MessageDlgAtMouse(QStringLiteral("Идёт передача программ на сервер. Повторите позже."), mtWarning,
                          {mbOK}, 0);
        return;
    }
    SetStoring(true);
}

void TfmAddProgramm::StoreDone(TSaveOutcome::TResult result) {
    SetStoring(false);
    if (result == TSaveOutcome::NoFile) {
        // The file went away after the check above.
        MessageDlgAtMouse(WrongNameText(), mtError, {mbOK}, 0);
        return;
    }
    if (result != TSaveOutcome::Stored)
        return; // already said by the stored-programs window; the dialog stays open
    RefillProgramList();
    done(mrOk);
}

void TfmAddProgramm::RefillProgramList() {
    if (!ProgramList)
        return;
    // The administration window reloads its list itself afterwards; its handlers must not take
    // this refill for the user's doing.
    const QSignalBlocker blocker(ProgramList);
    ProgramList->clear();
    auto dataSet = std::make_unique<TNoteDataSet>(this);
    dataSet->SQL() << QStringLiteral(
        "SELECT ID_PROGRAMMEXE, PRALIAS FROM KMR_PROGRAMMEXE ORDER BY ID_PROGRAMMEXE");
    if (!dataSet->NoteOpen())
        return;
    try {
        while (!dataSet->Eof()) {
            auto* item = new QListWidgetItem(dataSet->FieldByName(QStringLiteral("PRALIAS"))->AsString());
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Unchecked);
            item->setData(Qt::UserRole, dataSet->FieldByName(QStringLiteral("ID_PROGRAMMEXE"))->AsInteger());
            ProgramList->addItem(item);
            if (!dataSet->NoteNext())
                break;
        }
    } catch (const std::exception&) {
        // The rows read so far stay; the window's own reload follows.
    }
}

void TfmAddProgramm::SetStoring(bool storing) {
    FStoring = storing;
    edNameExe->setEnabled(!storing);
    edPrAlias->setEnabled(!storing);
    sbCheckExeFile->setEnabled(!storing);
    BitBtn1->setEnabled(!storing);
    BitBtn2->setEnabled(!storing);
    lbState->setText(storing ? QStringLiteral("Сохранение на сервере...") : QString());
}

void TfmAddProgramm::closeEvent(QCloseEvent* event) {
    if (FStoring) {
        // The file is on its way; the dialog closes once it is stored or refused.
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TfmAddProgramm::reject() {
    if (FStoring)
        return;
    done(mrCancel);
}
