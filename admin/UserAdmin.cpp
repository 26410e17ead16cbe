#include "UserAdmin.h"

#include "NoteDataSet.h"
#include "OracleBase.h"
#include "OracleData.h"

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

TUserAdmin::TUserRow TUserAdmin::CurrentRow(const TOracleDataSet& users) {
    auto value = [&users](const char* name) { return users.FieldByName(QLatin1String(name))->Value(); };
    return {value("TABNUM"),   value("ALLNAME"), value("NAME"), value("GROUPID"),
            value("WENABLED"), value("IPADR"),   value("IP")};
}

bool TUserAdmin::MirrorPost(const TUserRow& row) {
    TOracleSession* reserve = FOracleBase->BDatabase;
    TOracleQuery query;
    try {
        query.SetSession(reserve);
        query.SQL() << QStringLiteral("UPDATE KMR_USER_PSW SET ALLNAME = :ALLNAME, NAME = :NAME,")
                    << QStringLiteral("WENABLED = :WENABLED, IPADR = :IPADR")
                    << QStringLiteral("WHERE TABNUM = :TABNUM");
        query.DeclareVariable(QStringLiteral("TABNUM"), otInteger);
        query.DeclareVariable(QStringLiteral("ALLNAME"), otString);
        query.DeclareVariable(QStringLiteral("NAME"), otString);
        query.DeclareVariable(QStringLiteral("WENABLED"), otString);
        query.DeclareVariable(QStringLiteral("IPADR"), otString);
        query.SetVariable(QStringLiteral("TABNUM"), row.TabNum);
        query.SetVariable(QStringLiteral("ALLNAME"), row.AllName);
        query.SetVariable(QStringLiteral("NAME"), row.Name);
        query.SetVariable(QStringLiteral("WENABLED"), row.WEnabled);
        query.SetVariable(QStringLiteral("IPADR"), row.IpAdr);
        query.Execute();
        if (query.RowsProcessed() == 0) {
            query.SQL().clear();
            query.SQL()
                << QStringLiteral(
                       "INSERT INTO KMR_USER_PSW (TABNUM, ALLNAME, NAME, GROUPID, WENABLED, IPADR, IP)")
                << QStringLiteral("VALUES (:TABNUM, :ALLNAME, :NAME, :GROUPID, :WENABLED, :IPADR, :IP)");
            query.DeclareVariable(QStringLiteral("GROUPID"), otInteger);
            query.DeclareVariable(QStringLiteral("IP"), otString);
            query.SetVariable(QStringLiteral("GROUPID"), row.GroupId);
            query.SetVariable(QStringLiteral("IP"), row.Ip);
            query.Execute();
        }
        reserve->Commit();
        return true;
    } catch (...) {
        try {
            reserve->Rollback();
        } catch (...) {
        }
        return false;
    }
}

bool TUserAdmin::MirrorDelete(int tabNum) {
    TOracleSession* reserve = FOracleBase->BDatabase;
    TOracleQuery query;
    try {
        query.SetSession(reserve);
        query.SQL() << QStringLiteral("DELETE FROM KMR_USER_PSW WHERE TABNUM=") + QString::number(tabNum);
        query.Execute();
        reserve->Commit();
        return true;
    } catch (...) {
        try {
            reserve->Rollback();
        } catch (...) {
        }
        return false;
    }
}
