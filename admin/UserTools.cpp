#include "UserTools.h"

#include "CopyRights.h"
#include "CsvFile.h"
#include "DBErrors.h"
#include "DBGridEh.h"
#include "DataSource.h"
#include "DialogGateway.h"
#include "ErrorOra.h"
#include "Main.h"
#include "NoteDataSet.h"
#include "OracleBase.h"
#include "ProgramAccess.h"
#include "ProgramStore.h"
#include "RightsOverviewWindow.h"
#include "SearchEdit.h"
#include "UserSearch.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {

QToolButton* AddToolButton(QToolBar* bar, const char* name, QStyle::StandardPixmap icon,
                           const QString& hint) {
    auto* button = new QToolButton(bar);
    button->setObjectName(QLatin1String(name));
    button->setIcon(bar->style()->standardIcon(icon));
    button->setIconSize(QSize(19, 16));
    button->setAutoRaise(true);
    button->setToolTip(hint);
    button->setAccessibleName(hint);
    bar->addWidget(button);
    return button;
}

QString FieldText(const TOracleDataSet& users, int record, const char* field) {
    const TField* f = users.FindField(QLatin1String(field));
    return f ? users.RecordValue(record, f->Index()).toString() : QString();
}

} // namespace

TUserTools::TUserTools(TKMF_Admin* window) : QObject(window), FWindow(window) {
    setObjectName(QStringLiteral("UserTools"));
    SearchPanel = new QWidget(window->Panel4);
    SearchPanel->setObjectName(QStringLiteral("SearchPanel"));
    auto* row = new QHBoxLayout(SearchPanel);
    row->setContentsMargins(2, 2, 2, 2);
    edSearch = new TSearchEdit(SearchPanel);
    edSearch->setObjectName(QStringLiteral("edSearch"));
    lbSearchCount = new QLabel(SearchPanel);
    lbSearchCount->setObjectName(QStringLiteral("lbSearchCount"));
    row->addWidget(edSearch, 1);
    row->addWidget(lbSearchCount);
    connect(edSearch, &QLineEdit::textChanged, this, &TUserTools::ApplySearch);
    auto* find = new QShortcut(QKeySequence::Find, window);
    find->setObjectName(QStringLiteral("FindShortcut"));
    connect(find, &QShortcut::activated, this, [this] {
        edSearch->setFocus(Qt::ShortcutFocusReason);
        edSearch->selectAll();
    });

    QToolBar* bar = window->ToolBar1;
    bar->addSeparator();
    tbCopyRights =
        AddToolButton(bar, "tbCopyRights", QStyle::SP_ArrowRight, QStringLiteral("Скопировать права от…"));
    tbRightsOverview = AddToolButton(bar, "tbRightsOverview", QStyle::SP_FileDialogInfoView,
                                     QStringLiteral("Права пользователей"));
    tbSaveCsv =
        AddToolButton(bar, "tbSaveCsv", QStyle::SP_DialogSaveButton, QStringLiteral("Сохранить в CSV"));
    connect(tbCopyRights, &QToolButton::clicked, this, &TUserTools::tbCopyRightsClick);
    connect(tbRightsOverview, &QToolButton::clicked, this, &TUserTools::tbRightsOverviewClick);
    connect(tbSaveCsv, &QToolButton::clicked, this, &TUserTools::tbSaveCsvClick);

    actCopyRights = new QAction(QStringLiteral("Скопировать права от…"), window->DBGridEh1);
    actCopyRights->setObjectName(QStringLiteral("actCopyRights"));
    connect(actCopyRights, &QAction::triggered, this, &TUserTools::tbCopyRightsClick);
    window->DBGridEh1->addAction(actCopyRights);
    window->DBGridEh1->setContextMenuPolicy(Qt::ActionsContextMenu);

    ChooseSource = [this](const QString& target, const std::vector<TfmCopyRights::TCandidate>& candidates) {
        return TfmCopyRights::Choose(FWindow, target, candidates);
    };
}

void TUserTools::Attach() {
    if (FOracleBase)
        FGuard = TLockOutGuard(FOracleBase->UserTabNum, FOracleBase->GetHostAddress());
    TDataSource* source = FWindow->DataSource1;
    connect(source, &TDataSource::DataSetChanged, this, [this] {
        UpdateCount();
        // After the change has reached every control: a reload may have made a hidden user current.
        QTimer::singleShot(0, this, &TUserTools::KeepCurrentShown);
    });
    connect(source, &TDataSource::RecordInserted, this, &TUserTools::UpdateCount);
    connect(source, &TDataSource::RecordRemoved, this, &TUserTools::UpdateCount);
    UpdateCount();
}

void TUserTools::ApplySearch() {
    TOracleDataSet* users = FWindow->UsersSet;
    TDataSource* source = FWindow->DataSource1;
    const TUserSearch search(edSearch->text());
    if (search.IsEmpty() || !users || !users->Active()) {
        source->SetRecordFilter({});
    } else {
        const int fullName = users->FieldByName(QStringLiteral("ALLNAME"))->Index();
        const int signIn = users->FieldByName(QStringLiteral("NAME"))->Index();
        const int addresses = users->FieldByName(QStringLiteral("IPADR"))->Index();
        source->SetRecordFilter([users, search, fullName, signIn, addresses](int i) {
            return search.Matches(users->RecordValue(i, fullName).toString(),
                                  users->RecordValue(i, signIn).toString(),
                                  users->RecordValue(i, addresses).toString());
        });
    }
    KeepCurrentShown();
    UpdateCount();
}

void TUserTools::KeepCurrentShown() {
    TOracleDataSet* users = FWindow->UsersSet;
    TDataSource* source = FWindow->DataSource1;
    if (!users || !users->Active())
        return;
    if (users->State() == dsBrowse && !source->RecordShown(users->CurrentIndex())) {
        const int first = source->NextShown(0, 1);
        if (first >= 0)
            RunDataSetAction([&] { users->MoveTo(first); });
    }
    // Nobody shown: the panels below and beside the list would act on a user the list hides.
    const bool shown = source->RecordShown(users->CurrentIndex());
    FWindow->Panel5->setEnabled(shown);
    FWindow->Panel1->setEnabled(shown);
    tbCopyRights->setEnabled(shown);
    actCopyRights->setEnabled(shown);
}

void TUserTools::UpdateCount() {
    TDataSource* source = FWindow->DataSource1;
    const int total = source->Active() ? source->DataSet()->RecordCount() : 0;
    lbSearchCount->setText(QStringLiteral("%1 из %2").arg(source->ShownCount()).arg(total));
    lbSearchCount->setAccessibleName(QStringLiteral("Показано пользователей: ") + lbSearchCount->text());
}

void TUserTools::CheckPost(const TOracleDataSet& users) const {
    const TField* tabNum = users.FindField(QStringLiteral("TABNUM"));
    const TField* enabled = users.FindField(QStringLiteral("WENABLED"));
    const TField* addresses = users.FindField(QStringLiteral("IPADR"));
    if (!tabNum || !enabled || !addresses || users.State() != dsEdit)
        return;
    const QString reason = FGuard.RefusePost(tabNum->OldValue().toInt(), enabled->OldValue(),
                                             enabled->Value(), addresses->OldValue(), addresses->Value());
    if (!reason.isEmpty())
        throw EDatabaseError(reason);
}

void TUserTools::CheckDelete(const TOracleDataSet& users) const {
    const TField* tabNum = users.FindField(QStringLiteral("TABNUM"));
    if (!tabNum)
        return;
    const QString reason = FGuard.RefuseDelete(tabNum->OldValue().toInt());
    if (!reason.isEmpty())
        throw EDatabaseError(reason);
}

QString TUserTools::UserName(int tabNum) const {
    const TOracleDataSet* users = FWindow->UsersSet;
    if (users && users->Active()) {
        const int key = users->FieldByName(QStringLiteral("TABNUM"))->Index();
        for (int i = 0; i < users->RecordCount(); ++i)
            if (users->RecordValue(i, key).toInt() == tabNum)
                return FieldText(*users, i, "ALLNAME");
    }
    return QStringLiteral("№%1").arg(tabNum);
}

void TUserTools::tbCopyRightsClick() {
    TOracleDataSet* users = FWindow->UsersSet;
    if (!users || !users->Active() || users->CurrentIndex() < 0 ||
        !FWindow->DataSource1->RecordShown(users->CurrentIndex()))
        return;
    if (!CanWrite) {
        MessageDlgAtMouse(
            QStringLiteral("Режим просмотра: права скопировать нельзя, изменения сейчас невозможны."),
            mtWarning, {mbOK}, 0);
        return;
    }
    const int current = users->CurrentIndex();
    const QString targetName = FieldText(*users, current, "ALLNAME");
    if (users->State() == dsEdit || users->State() == dsInsert) {
        MessageDlgAtMouse(
            QStringLiteral("Пользователь \"%1\" сейчас изменяется. Сначала примите или отмените "
                           "изменения: права копируются только сохранённому пользователю.")
                .arg(targetName),
            mtWarning, {mbOK}, 0);
        return;
    }
    const int target = users->FieldByName(QStringLiteral("TABNUM"))->AsInteger();
    std::vector<TfmCopyRights::TCandidate> candidates;
    const int key = users->FieldByName(QStringLiteral("TABNUM"))->Index();
    for (int i = 0; i < users->RecordCount(); ++i) {
        const int tabNum = users->RecordValue(i, key).toInt();
        if (tabNum != target)
            candidates.push_back({tabNum, FieldText(*users, i, "ALLNAME"), FieldText(*users, i, "NAME")});
    }
    const std::optional<int> source = ChooseSource(targetName, candidates);
    if (source)
        CopyRightsFrom(*source);
}

void TUserTools::CopyRightsFrom(int sourceTabNum) {
    TOracleDataSet* users = FWindow->UsersSet;
    if (!users || !users->Active() || users->CurrentIndex() < 0)
        return;
    const int target = users->FieldByName(QStringLiteral("TABNUM"))->AsInteger();
    const QString targetName = UserName(target);
    const QString sourceName = UserName(sourceTabNum);
    if (sourceTabNum == target)
        return;
    if (MessageDlgAtMouse(
            QStringLiteral("Дать пользователю \"%1\" права пользователя \"%2\"? Его собственные "
                           "программы и группы будут заменены.")
                .arg(targetName, sourceName),
            mtConfirmation, {mbYes, mbNo}, 0) != mrYes)
        return;
    // The row may have been put into editing while the question was open.
    if (users->State() == dsEdit || users->State() == dsInsert) {
        MessageDlgAtMouse(
            QStringLiteral("Пользователь \"%1\" сейчас изменяется. Права не скопированы.").arg(targetName),
            mtWarning, {mbOK}, 0);
        return;
    }
    const TCopyRights::TResult result = TCopyRights::Copy(sourceTabNum, target);
    switch (result.Outcome) {
    case TCopyRights::TOutcome::Copied:
        MessageDlgAtMouse(QStringLiteral("Пользователю \"%1\" даны права пользователя \"%2\".\n\n%3")
                              .arg(targetName, sourceName,
                                   result.Changes.isEmpty()
                                       ? QStringLiteral("Права уже совпадали: ничего не изменилось.")
                                       : result.Changes.join(QChar(u'\n'))),
                          mtInformation, {mbOK}, 0);
        break;
    case TCopyRights::TOutcome::ViewMode:
        MessageDlgAtMouse(
            QStringLiteral("Режим просмотра: права скопировать нельзя, изменения сейчас невозможны. "
                           "Права пользователя \"%1\" не изменились.")
                .arg(targetName),
            mtWarning, {mbOK}, 0);
        break;
    case TCopyRights::TOutcome::SourceMissing:
        MessageDlgAtMouse(
            QStringLiteral("Пользователь \"%1\" удалён другим администратором. Права не скопированы, "
                           "у пользователя \"%2\" ничего не изменилось.")
                .arg(sourceName, targetName),
            mtWarning, {mbOK}, 0);
        break;
    case TCopyRights::TOutcome::TargetMissing:
        MessageDlgAtMouse(
            QStringLiteral("Пользователь \"%1\" удалён другим администратором. Права не скопированы.")
                .arg(targetName),
            mtWarning, {mbOK}, 0);
        break;
    case TCopyRights::TOutcome::Failed:
        ShowError(QStringLiteral("Не удалось скопировать права. У пользователя \"%1\" ничего не изменилось.")
                      .arg(targetName),
                  result.Error);
        break;
    }
    // The marks and the group show what the server holds now.
    FWindow->DataSource1DataChange(nullptr);
}

void TUserTools::tbRightsOverviewClick() {
    if (!Overview) {
        Overview = new TfmRightsOverview(FWindow);
        connect(Overview, &TfmRightsOverview::UserProgramChosen, this, &TUserTools::SelectUserAndProgram);
    }
    Overview->SetSelectedProgram(FWindow->Programs->SelectedProgram());
    if (Overview->isVisible()) {
        Overview->Reload();
        Overview->raise();
        Overview->activateWindow();
        return;
    }
    Overview->show();
}

void TUserTools::SelectUserAndProgram(int tabNum, std::optional<int> programId) {
    TOracleDataSet* users = FWindow->UsersSet;
    if (!users || !users->Active())
        return;
    const int key = users->FieldByName(QStringLiteral("TABNUM"))->Index();
    int record = -1;
    for (int i = 0; i < users->RecordCount() && record < 0; ++i)
        if (users->RecordValue(i, key).toInt() == tabNum)
            record = i;
    if (record < 0) {
        MessageDlgAtMouse(
            QStringLiteral("Пользователя нет в списке: он удалён или добавлен другим администратором. "
                           "Обновите список."),
            mtWarning, {mbOK}, 0);
        return;
    }
    if (!FWindow->DataSource1->RecordShown(record))
        edSearch->clear();
    // As a click on the row: a row being edited is posted first, and stays when that is refused.
    TDBGridEh* grid = FWindow->DBGridEh1;
    grid->setCurrentIndex(
        grid->model()->index(record, grid->currentIndex().isValid() ? grid->currentIndex().column() : 0));
    if (users->CurrentIndex() != record)
        return;
    if (programId) {
        QListWidget* programs = FWindow->clbProgrammName;
        for (int i = 0; i < programs->count(); ++i)
            if (TProgramAccess::EntryId(programs->item(i)) == *programId)
                programs->setCurrentRow(i);
    }
    FWindow->raise();
    FWindow->activateWindow();
}

void TUserTools::tbSaveCsvClick() {
    TOracleDataSet* users = FWindow->UsersSet;
    TDataSource* source = FWindow->DataSource1;
    if (!users || !users->Active())
        return;
    const QString fileName = SaveFileDialog(FWindow, QStringLiteral("Сохранить в CSV"),
                                            QStringLiteral("Пользователи.csv"), CsvFileFilter());
    if (fileName.isEmpty())
        return;
    // The list as it is shown: its order, the rows the search leaves, and no password.
    std::vector<int> shown;
    for (int i = 0; i < users->RecordCount(); ++i)
        if (source->RecordShown(i))
            shown.push_back(i);
    const QStringList titles{QStringLiteral("Ф.И.О. Пользователя"), QStringLiteral("Имя для входа"),
                             QStringLiteral("Разрешение на работу"),
                             QStringLiteral("Возможные IP адреса машин"), QStringLiteral("IP")};
    QString error;
    const bool saved = SaveCsvFile(
        fileName, titles, qsizetype(shown.size()),
        [&](qsizetype row) {
            const int i = shown[size_t(row)];
            return QStringList{FieldText(*users, i, "ALLNAME"), FieldText(*users, i, "NAME"),
                               FieldText(*users, i, "WENABLED") == QStringLiteral("T")
                                   ? QStringLiteral("Да")
                                   : QStringLiteral("Нет"),
                               FieldText(*users, i, "IPADR"), FieldText(*users, i, "IP")};
        },
        error);
    if (!saved)
        ShowError(QStringLiteral("Не удалось сохранить файл \"%1\".").arg(fileName), error);
}
