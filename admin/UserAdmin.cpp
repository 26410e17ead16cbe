#include "UserAdmin.h"

#include "NoteDataSet.h"
#include "OracleData.h"
#include "ReserveMirror.h"

#include <memory>

QStringList TUserAdmin::UserListStatement() {
    return {
        QStringLiteral("SELECT TABNUM, ALLNAME, NAME, GROUPID, WENABLED, IPADR, IP, ROWID FROM KMR_USER_PSW"),
        QStringLiteral("ORDER BY GROUPID, ALLNAME")};
}

int TUserAdmin::UserCount() {
    auto count = std::make_unique<TNoteDataSet>(nullptr);
    count->SQL() << QStringLiteral("SELECT COUNT(*) CNT FROM KMR_USER_PSW");
    if (!count->NoteOpen())
        return -1;
    return count->FieldByName(QStringLiteral("CNT"))->AsInteger();
}

int TUserAdmin::NextUserNumber() {
    // One round trip: the highest number over the users and the rows a deleted user leaves behind.
    return NextId(QStringLiteral("SELECT MAX(ID) ID FROM (SELECT MAX(TABNUM) ID FROM KMR_USER_PSW"
                                 " UNION ALL SELECT MAX(TABNUM) ID FROM KMR_PROG_FOR_USER"
                                 " UNION ALL SELECT MAX(TABNUM) ID FROM KMR_GROUP_FOR_USER)"));
}

void TUserAdmin::RenumberIfTaken(TOracleDataSet& users) {
    TField* tabNum = users.FieldByName(QStringLiteral("TABNUM"));
    auto taken = std::make_unique<TNoteDataSet>(nullptr);
    taken->SQL() << QStringLiteral("SELECT COUNT(*) CNT FROM KMR_USER_PSW WHERE TABNUM = :TABNUM");
    taken->DeclareVariable(QStringLiteral("TABNUM"), otInteger);
    taken->SetVariable(QStringLiteral("TABNUM"), tabNum->AsInteger());
    if (!taken->NoteOpen() || taken->FieldByName(QStringLiteral("CNT"))->AsInteger() == 0)
        return;
    const int number = NextUserNumber();
    if (number > 0)
        tabNum->SetAsInteger(number);
}

TUserAdmin::TUserRow TUserAdmin::CurrentRow(const TOracleDataSet& users) {
    auto value = [&users](const char* name) { return users.FieldByName(QLatin1String(name))->Value(); };
    return {value("TABNUM"),   value("ALLNAME"), value("NAME"), value("GROUPID"),
            value("WENABLED"), value("IPADR"),   value("IP")};
}

bool TUserAdmin::MirrorPost(const TUserRow& row) {
    return MirrorRowByKey(
        QStringLiteral("KMR_USER_PSW"), {QStringLiteral("TABNUM"), otInteger, row.TabNum},
        {{QStringLiteral("ALLNAME"), otString, row.AllName},
         {QStringLiteral("NAME"), otString, row.Name},
         {QStringLiteral("WENABLED"), otString, row.WEnabled},
         {QStringLiteral("IPADR"), otString, row.IpAdr}},
        {{QStringLiteral("GROUPID"), otInteger, row.GroupId}, {QStringLiteral("IP"), otString, row.Ip}});
}

bool TUserAdmin::MirrorDelete(int tabNum) {
    return MirrorStatement(QStringLiteral("DELETE FROM KMR_USER_PSW WHERE TABNUM=") +
                           QString::number(tabNum));
}
