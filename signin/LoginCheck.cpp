#include "LoginCheck.h"

#include "LoginRules.h"
#include "Oracle.h"
#include "OracleBase.h"

TLoginCheck::TResult TLoginCheck::Check(const QString& name, const QString& password,
                                        const TReadUserInfo& readUserInfo) {
    TResult result;
    TOracleSession* session = FOracleBase->ADatabase;
    TOracleQuery query;
    try {
        query.SetSession(session);
        if (!session->Connected())
            session->SetConnected(true);
        const QString address = FOracleBase->GetHostAddress();

        query.SQL() = CredentialStatement(name.isEmpty(), password.isEmpty());
        query.DeclareVariable(QStringLiteral("NAME"), otString);
        query.DeclareVariable(QStringLiteral("PWD"), otString);
        query.DeclareVariable(QStringLiteral("IPADR_LIKE"), otString);
        query.SetVariable(QStringLiteral("NAME"), name);
        query.SetVariable(QStringLiteral("PWD"), password);
        query.SetVariable(QStringLiteral("IPADR_LIKE"), AddressPattern(address));
        query.Execute();
        // The statement fetches every list that holds the address anywhere; only a whole address counts.
        while (!query.Eof()) {
            const QString list = query.FieldAsString(QStringLiteral("IPADR"));
            if (list.isEmpty() || AddressListAdmits(list, address))
                break;
            query.Next();
        }
        if (query.Eof()) {
            result.Outcome = Refused;
            return result;
        }

        result.ModalResult = readUserInfo(query);
        const int tabNum = query.Field(QStringLiteral("TABNUM")).toInt();
        FOracleBase->UserTabNum = tabNum;
        result.Outcome = Accepted;

        query.Close();
        query.DeleteVariables();
        query.SQL().clear();
        query.SQL() << QStringLiteral("UPDATE USER_PSW SET IP=:IP")
                    << QStringLiteral("WHERE TABNUM = ") + QString::number(tabNum);
        query.DeclareVariable(QStringLiteral("IP"), otString);
        query.SetVariable(QStringLiteral("IP"), address);
        try {
            // The commit travels with the update: one round trip fewer on a slow link.
            query.ExecuteAndCommit();
            FOracleBase->SessionAfterLogOn(session);
        } catch (...) {
            // The user stays accepted; only the record of the workstation is lost.
            try {
                session->Rollback();
            } catch (...) {
            }
        }
    } catch (const Exception& e) {
        result.Outcome = Failed;
        result.ModalResult = 0;
        result.Message = e.Message();
        result.Details = query.SQL().join(QStringLiteral("\r\n"));
    }
    return result;
}
