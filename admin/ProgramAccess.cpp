#include "ProgramAccess.h"

#include "DataSource.h"
#include "DialogGateway.h"
#include "ErrorOra.h"
#include "NoteDataSet.h"
#include "OracleBase.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QSplitter>
#include <QVBoxLayout>

#include <memory>

namespace {

const char* const GroupIdProperty = "ID_GROUP";
constexpr int ProgramListReadBuffer = 250;

QString ViewModeText() {
    return QStringLiteral("Режим просмотра: изменения сейчас невозможны.");
}

void RollbackQuietly() {
    try {
        if (FOracleBase)
            FOracleBase->RollbackAll();
    } catch (...) {
        // The server that refused the statement may refuse the roll-back as well.
    }
}

QLabel* MakeCaptionLabel(const QString& text, QWidget* parent, const char* name) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setAutoFillBackground(true);
    label->setStyleSheet(
        QStringLiteral("QLabel { font-weight: bold; color: aqua; background-color: palette(button-text); }"));
    return label;
}

} // namespace

TProgramAccess::TProgramAccess(QListWidget* programs, QGroupBox* groups, QObject* owner)
    : QObject(owner), clbProgrammName(programs), RG(groups), RGButtons(new QButtonGroup(this)) {
    setObjectName(QStringLiteral("ProgramAccess"));
    RGButtons->setExclusive(true);
    if (!RG->layout())
        new QVBoxLayout(RG);
    RG->layout()->setAlignment(Qt::AlignTop);

    connect(clbProgrammName, &QListWidget::currentRowChanged, this, [this](int row) {
        if (FUpdating == 0 && row >= 0)
            clbProgrammNameClick();
    });
    connect(clbProgrammName, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        if (FUpdating != 0)
            return;
        // The toggled entry must be the selected one; selecting it shows its groups first.
        if (clbProgrammName->currentItem() != item)
            clbProgrammName->setCurrentItem(item);
        clbProgrammNameClickCheck();
    });
    connect(RGButtons, &QButtonGroup::buttonClicked, this, [this](QAbstractButton*) {
        if (FUpdating == 0)
            RGClick();
    });
}

void TProgramAccess::SetDataSource(TDataSource* source) {
    if (FDataSource)
        disconnect(FDataSource, nullptr, this, nullptr);
    FDataSource = source;
    if (FDataSource)
        connect(FDataSource, &TDataSource::OnDataChange, this, &TProgramAccess::DataSource1DataChange);
}

int TProgramAccess::SelectedUser() const {
    if (!FDataSource)
        return 0;
    const TField* field = FDataSource->Field(QStringLiteral("TABNUM"));
    if (!field || field->DataSet()->CurrentIndex() < 0)
        return 0;
    return field->AsInteger();
}

std::optional<int> TProgramAccess::SelectedProgram() const {
    if (const QListWidgetItem* item = clbProgrammName->currentItem())
        return EntryId(item);
    return std::nullopt;
}

std::optional<int> TProgramAccess::SelectedGroup() const {
    if (const QAbstractButton* button = RGButtons->checkedButton())
        return ButtonId(button);
    return std::nullopt;
}

int TProgramAccess::EntryId(const QListWidgetItem* item) {
    return item->data(Qt::UserRole).toInt();
}

int TProgramAccess::ButtonId(const QAbstractButton* button) {
    return button->property(GroupIdProperty).toInt();
}

void TProgramAccess::LoadPrograms() {
    ++FUpdating;
    clbProgrammName->clear();
    {
        auto dataSet = std::make_unique<TNoteDataSet>(this);
        // Registered programs are few: one block brings them all in one round trip.
        dataSet->SetReadBuffer(ProgramListReadBuffer);
        dataSet->SQL() << QStringLiteral(
            "SELECT ID_PROGRAMMEXE, PRALIAS FROM KMR_PROGRAMMEXE ORDER BY ID_PROGRAMMEXE");
        if (dataSet->NoteOpen())
            ForEachRow(*dataSet, [&] {
                auto* item = new QListWidgetItem(dataSet->FieldByName(QStringLiteral("PRALIAS"))->AsString());
                item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
                item->setCheckState(Qt::Unchecked);
                item->setData(Qt::UserRole,
                              dataSet->FieldByName(QStringLiteral("ID_PROGRAMMEXE"))->AsInteger());
                clbProgrammName->addItem(item);
            });
    }
    if (clbProgrammName->count() > 0)
        clbProgrammName->setCurrentRow(0);
    --FUpdating;
    if (clbProgrammName->count() > 0)
        ShowGroups(EntryId(clbProgrammName->item(0)));
}

void TProgramAccess::ShowGroups(int ProgramId) {
    ClearGroupButtons();
    const QListWidgetItem* selected = clbProgrammName->currentItem();
    RG->setTitle(selected ? selected->text() : QString());

    const int tabNum = SelectedUser();
    bool surplusRows = false;
    {
        auto dataSet = std::make_unique<TNoteDataSet>(this);
        dataSet->SQL() << QStringLiteral("SELECT ID_GROUP, GROUP_NAME FROM KMR_GROUP_FOR_PROG")
                       << QStringLiteral("WHERE ID_PROGRAMM = ") + QString::number(ProgramId)
                       << QStringLiteral("ORDER BY ID_GROUP");
        if (dataSet->NoteOpen())
            ForEachRow(*dataSet, [&] {
                auto* button =
                    new QRadioButton(dataSet->FieldByName(QStringLiteral("GROUP_NAME"))->AsString(), RG);
                button->setProperty(GroupIdProperty,
                                    dataSet->FieldByName(QStringLiteral("ID_GROUP"))->AsInteger());
                RGButtons->addButton(button);
                RG->layout()->addWidget(button);
            });
        dataSet->Close();
        dataSet->SQL().clear();
        dataSet->SQL() << QStringLiteral("SELECT ID_GROUP FROM KMR_GROUP_FOR_USER")
                       << QStringLiteral("WHERE TABNUM = ") + QString::number(tabNum)
                       << QStringLiteral("AND ID_PROGRAMM = ") + QString::number(ProgramId);
        if (dataSet->NoteOpen()) {
            // Only the first row counts; rewriting it below drops any further rows.
            const int group = dataSet->IsEmpty() ? 0 : dataSet->Fields(0)->AsInteger();
            SelectGroupButton(group);
            // One stored row is what the rewrite would write again: it is left alone, so that moving
            // through the users writes nothing.
            surplusRows = dataSet->RecordCount() > 1;
        }
    }
    FShownGroup = SelectedGroup().value_or(0);
    if (SelectedGroup() && surplusRows)
        WriteGroup(TGroupPick::Rewrite);
    SetGroupsEnabledByMark();
}

void TProgramAccess::DataSource1DataChange(TField*) {
    ++FUpdating;
    for (int i = 0; i < clbProgrammName->count(); ++i)
        clbProgrammName->item(i)->setCheckState(Qt::Unchecked);
    --FUpdating;
    MarkGrants(SelectedUser());
    // The selected entry stays; without entries RG keeps what it showed.
    if (const auto program = SelectedProgram())
        ShowGroups(*program);
}

void TProgramAccess::clbProgrammNameClick() {
    if (const auto program = SelectedProgram())
        ShowGroups(*program);
}

void TProgramAccess::clbProgrammNameClickCheck() {
    QListWidgetItem* item = clbProgrammName->currentItem();
    if (!item)
        return;
    const bool checked = item->checkState() == Qt::Checked;
    const int programId = EntryId(item);
    const int tabNum = SelectedUser();
    const QString programName = item->text();

    // Put the mark back to what the server holds; without an answer, to what it showed before.
    auto restore = [&] {
        if (!MarkGrants(tabNum))
            SetMark(item, !checked);
        SetGroupsEnabledByMark();
    };

    if (!FDataSource || !FDataSource->Active() || FDataSource->DataSet()->CurrentIndex() < 0) {
        // No user is selected: a grant would belong to nobody.
        restore();
        return;
    }
    if (!CanWrite) {
        restore();
        TellViewMode();
        return;
    }

    QString error;
    bool stored = false;
    {
        auto dataSet = std::make_unique<TNoteDataSet>(this);
        try {
            if (checked) {
                dataSet->SQL() << QStringLiteral("INSERT INTO KMR_PROG_FOR_USER VALUES (:IDUSER, :IDPRG)");
                dataSet->DeclareVariable(QStringLiteral("IDUSER"), otInteger);
                dataSet->DeclareVariable(QStringLiteral("IDPRG"), otInteger);
                dataSet->SetVariable(QStringLiteral("IDUSER"), tabNum);
                dataSet->SetVariable(QStringLiteral("IDPRG"), programId);
            } else {
                dataSet->SQL() << QStringLiteral("DELETE FROM KMR_PROG_FOR_USER ")
                               << QStringLiteral("WHERE TABNUM = ") + QString::number(tabNum)
                               << QStringLiteral("AND ID_PROGRAMM = ") + QString::number(programId);
            }
            stored = dataSet->NoteExecSQL(true, error);
        } catch (const std::exception& e) {
            error = FailureText(e);
        }
    }
    if (!stored) {
        restore();
        ShowError(
            checked ? QStringLiteral("Не удалось разрешить пользователю программу \"%1\".").arg(programName)
                    : QStringLiteral("Не удалось запретить пользователю программу \"%1\".").arg(programName),
            error);
        return;
    }
    if (!CanWrite) {
        // View mode began while the statement was on its way: the gate may have skipped it.
        restore();
        if ((item->checkState() == Qt::Checked) != checked) {
            TellViewMode();
            return;
        }
    }
    ShowGroups(programId);
}

void TProgramAccess::ShowNoUser() {
    ++FUpdating;
    for (int i = 0; i < clbProgrammName->count(); ++i)
        clbProgrammName->item(i)->setCheckState(Qt::Unchecked);
    --FUpdating;
    ClearGroupButtons();
    RG->setEnabled(false);
    clbProgrammName->setEnabled(false);
}

void TProgramAccess::RGClick() {
    WriteGroup(TGroupPick::ByUser);
}

void TProgramAccess::WriteGroup(TGroupPick pick) {
    const QAbstractButton* button = RGButtons->checkedButton();
    const QListWidgetItem* item = clbProgrammName->currentItem();
    if (!button || !item)
        return;
    const int tabNum = SelectedUser();
    const int programId = EntryId(item);
    const int groupId = ButtonId(button);
    const QString groupName = button->text();
    const QString programName = item->text();

    // Shows the group the server holds; without an answer, the one shown before the click.
    auto showStored = [&] {
        const auto stored = StoredGroup(tabNum, programId);
        SelectGroupButton(stored.value_or(FShownGroup));
        FShownGroup = SelectedGroup().value_or(0);
    };

    if (!CanWrite) {
        // ShowGroups only rewrites what it has just read; nothing to say when that is skipped.
        if (pick == TGroupPick::ByUser) {
            showStored();
            TellViewMode();
        }
        return;
    }

    QString error;
    bool stored = false;
    {
        auto dataSet = std::make_unique<TNoteDataSet>(this);
        dataSet->SQL() << QStringLiteral("DELETE FROM KMR_GROUP_FOR_USER")
                       << QStringLiteral("WHERE TABNUM = ") + QString::number(tabNum)
                       << QStringLiteral("AND ID_PROGRAMM = ") + QString::number(programId);
        try {
            // Not committed yet: the insert below commits both or rolls both back.
            dataSet->GatedExecSQL();
            stored = true;
        } catch (const std::exception& e) {
            error = FailureText(e);
            RollbackQuietly();
        }
        if (stored) {
            dataSet->Close();
            dataSet->SQL().clear();
            dataSet->SQL() << QStringLiteral(
                                  "INSERT INTO KMR_GROUP_FOR_USER (TABNUM, ID_PROGRAMM, ID_GROUP) VALUES (")
                           << QStringLiteral("%1, %2, %3)").arg(tabNum).arg(programId).arg(groupId);
            stored = dataSet->NoteExecSQL(true, error);
        }
    }
    if (!stored) {
        showStored();
        ShowError(QStringLiteral("Не удалось сохранить группу \"%1\" в программе \"%2\".")
                      .arg(groupName, programName),
                  error);
        return;
    }
    if (!CanWrite && pick == TGroupPick::ByUser) {
        // View mode began while the statements were on their way: the gate may have skipped them.
        showStored();
        if (SelectedGroup() != groupId)
            TellViewMode();
        return;
    }
    FShownGroup = groupId;
}

bool TProgramAccess::MarkGrants(int tabNum) {
    auto dataSet = std::make_unique<TNoteDataSet>(this);
    dataSet->SQL() << QStringLiteral("SELECT TABNUM, ID_PROGRAMM FROM KMR_PROG_FOR_USER")
                   << QStringLiteral("WHERE TABNUM = ") + QString::number(tabNum);
    if (!dataSet->NoteOpen())
        return false;
    std::vector<bool> granted(size_t(clbProgrammName->count()), false);
    ForEachRow(*dataSet, [&] {
        const int programId = dataSet->FieldByName(QStringLiteral("ID_PROGRAMM"))->AsInteger();
        for (int i = 0; i < clbProgrammName->count(); ++i)
            if (EntryId(clbProgrammName->item(i)) == programId) {
                granted[size_t(i)] = true;
                break;
            }
    });
    for (int i = 0; i < clbProgrammName->count(); ++i)
        SetMark(clbProgrammName->item(i), granted[size_t(i)]);
    return true;
}

std::optional<int> TProgramAccess::StoredGroup(int tabNum, int programId) {
    auto dataSet = std::make_unique<TNoteDataSet>(this);
    dataSet->SQL() << QStringLiteral("SELECT ID_GROUP FROM KMR_GROUP_FOR_USER")
                   << QStringLiteral("WHERE TABNUM = ") + QString::number(tabNum)
                   << QStringLiteral("AND ID_PROGRAMM = ") + QString::number(programId);
    if (!dataSet->NoteOpen())
        return std::nullopt;
    return dataSet->IsEmpty() ? 0 : dataSet->Fields(0)->AsInteger();
}

void TProgramAccess::SelectGroupButton(int groupId) {
    ++FUpdating;
    // An exclusive group cannot show no selection; it is lifted while the marks are set.
    RGButtons->setExclusive(false);
    bool found = false;
    for (QAbstractButton* button : RGButtons->buttons()) {
        const bool match = !found && ButtonId(button) == groupId;
        button->setChecked(match);
        found = found || match;
    }
    RGButtons->setExclusive(true);
    --FUpdating;
}

void TProgramAccess::SetMark(QListWidgetItem* item, bool checked) {
    ++FUpdating;
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    --FUpdating;
}

void TProgramAccess::ClearGroupButtons() {
    for (QAbstractButton* button : RGButtons->buttons()) {
        RGButtons->removeButton(button);
        delete button;
    }
}

void TProgramAccess::SetGroupsEnabledByMark() {
    const QListWidgetItem* item = clbProgrammName->currentItem();
    RG->setEnabled(item && item->checkState() == Qt::Checked);
}

void TProgramAccess::TellViewMode() {
    MessageDlgAtMouse(ViewModeText(), mtWarning, {mbOK}, 0);
}

TProgramAccessPanel::TProgramAccessPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Panel1"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    layout->addWidget(Splitter1);

    Panel3 = new QWidget(Splitter1);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    auto* programs = new QVBoxLayout(Panel3);
    programs->setContentsMargins(0, 0, 0, 0);
    programs->setSpacing(0);
    Label2 = MakeCaptionLabel(QStringLiteral("  Программы"), Panel3, "Label2");
    clbProgrammName = new QListWidget(Panel3);
    clbProgrammName->setObjectName(QStringLiteral("clbProgrammName"));
    clbProgrammName->setAccessibleName(Label2->text().trimmed());
    // The entries of the design, replaced by the registered programs (LoadPrograms).
    for (const char* name : {"Дефекты", "Отключения", "Заявки"}) {
        auto* item = new QListWidgetItem(QString::fromUtf8(name), clbProgrammName);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    programs->addWidget(Label2);
    programs->addWidget(clbProgrammName, 1);

    Panel2 = new QWidget(Splitter1);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    auto* groups = new QVBoxLayout(Panel2);
    groups->setContentsMargins(0, 0, 0, 0);
    groups->setSpacing(0);
    Label1 = MakeCaptionLabel(QStringLiteral("   Группы пользоателей"), Panel2, "Label1");
    RG = new QGroupBox(Panel2);
    RG->setObjectName(QStringLiteral("RG"));
    groups->addWidget(Label1);
    groups->addWidget(RG, 1);

    Splitter1->addWidget(Panel3);
    Splitter1->addWidget(Panel2);
    Splitter1->setSizes({170, 290});

    Access = new TProgramAccess(clbProgrammName, RG, this);
}
