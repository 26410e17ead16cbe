// How the administration window follows the servers: edit and view mode, the reserve server's
// absence, and the user list after the main server was lost and came back. Run every poll interval by
// the window's timer, on the user-interface thread; the flags they read are the database module's,
// which the watcher threads change in the background.
#include "Main.h"

#include "DBGridEh.h"
#include "DataSource.h"
#include "NoteDataSet.h"
#include "OracleBase.h"
#include "ProgramAccess.h"
#include "ProgramStore.h"
#include "UserAdmin.h"
#include "UserTools.h"

#include <QLabel>
#include <QListWidget>

namespace {

const char* const ViewModeStatus = "Режим просмотра: изменения списка пользователей запрещены";
const char* const ReserveAwayStatus =
    "Резервный сервер недоступен: изменения записываются только на основной сервер";

} // namespace

void TKMF_Admin::WatchServers() {
    if (!UsersSet)
        return;
    if (!UsersSet->Active())
        ReloadUsers();
    UpdateEditMode();
    UpdateReserveStatus();
}

void TKMF_Admin::UpdateEditMode() {
    if (!UsersSet)
        return;
    const bool readOnly = !CanWrite;
    if (FModeKnown && readOnly == FListReadOnly)
        return;
    FModeKnown = true;
    FListReadOnly = readOnly;
    // Also in the middle of an edit: the typed values stay in the row, and its post is refused until
    // edit mode returns (UsersBeforePost). The controls follow the dataset's state.
    UsersSet->SetReadOnly(readOnly);
    DBGridEh1->viewport()->update();
    StatusPanel1->setText(readOnly ? QString::fromUtf8(ViewModeStatus) : QString());
}

void TKMF_Admin::UpdateReserveStatus() {
    const bool away = FOracleBase && FOracleBase->ReserveUnavailable();
    ReserveStatus->setText(away ? QString::fromUtf8(ReserveAwayStatus) : QString());
    ReserveStatus->setAccessibleName(ReserveStatus->text());
    ReserveStatus->setVisible(away);
}

void TKMF_Admin::RefuseInViewMode() {
    if (!CanWrite)
        throw EDatabaseError(ViewModeText());
}

void TKMF_Admin::UsersBeforePost(TOracleDataSet* DataSet) {
    // Decided when the row is sent, not when its editing began: the mode may have changed since.
    RefuseInViewMode();
    Tools->CheckPost(*DataSet);
    FPostMirrored = MirrorWrites;
    if (DataSet->State() == dsInsert)
        TUserAdmin::RenumberIfTaken(*DataSet);
}

void TKMF_Admin::FollowUserList() {
    connect(DataSource1, &TDataSource::OnDataChange, this, [this] {
        if (UsersSet && UsersSet->State() == dsBrowse && UsersSet->CurrentIndex() >= 0)
            FSelectedTabNum = UsersSet->FieldByName(QStringLiteral("TABNUM"))->AsInteger();
    });
    // A lost server closes the list (its session logged off): no user is selected until it returns,
    // so the program panel shows none rather than the last user's marks.
    connect(DataSource1, &TDataSource::OnStateChange, this, [this] {
        if (UsersSet && !UsersSet->Active())
            Programs->ShowNoUser();
    });
}

bool TKMF_Admin::ReloadUsers() {
    if (!FOracleBase || !FOracleBase->MainOk || FOracleBase->Busy)
        return false;
    const std::optional<int> program = Programs->SelectedProgram();
    // Opening makes the first row current, which would count as the selection.
    const int wanted = FSelectedTabNum;
    // The program panel follows once, for the user kept, not for every step of the reopening.
    Programs->SetDataSource(nullptr);
    const bool opened = UsersSet->NoteOpen();
    if (opened) {
        const int tabNum = UsersSet->FieldByName(QStringLiteral("TABNUM"))->Index();
        for (int i = 0; i < UsersSet->RecordCount(); ++i)
            if (UsersSet->RecordValue(i, tabNum).toInt() == wanted) {
                UsersSet->MoveTo(i);
                break;
            }
        SetProgramListByCount(UsersSet->RecordCount());
    }
    Programs->SetDataSource(DataSource1);
    if (!opened)
        return false;
    // The main server may be the other one now: its programs are read anew.
    LoadPrograms();
    if (program)
        for (int i = 0; i < clbProgrammName->count(); ++i)
            if (TProgramAccess::EntryId(clbProgrammName->item(i)) == *program)
                clbProgrammName->setCurrentRow(i);
    DataSource1DataChange(nullptr);
    return true;
}
