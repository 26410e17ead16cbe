#include "PropCatalogue.h"

#include "NoteDataSet.h"
#include "ReserveMirror.h"

#include <memory>

QList<TPropCatalogue::TProgram> TPropCatalogue::Programs() {
    QList<TProgram> programs;
    auto dataSet = std::make_unique<TNoteDataSet>();
    dataSet->SQL() << QStringLiteral("SELECT ID_PROGRAMMEXE, PRALIAS FROM KMR_PROGRAMMEXE")
                   << QStringLiteral("ORDER BY ID_PROGRAMMEXE");
    if (dataSet->NoteOpen())
        ForEachRow(*dataSet, [&] {
            programs.append({dataSet->FieldByName(QStringLiteral("ID_PROGRAMMEXE"))->AsInteger(),
                             dataSet->FieldByName(QStringLiteral("PRALIAS"))->AsString()});
        });
    return programs;
}

QStringList TPropCatalogue::CatalogueStatement(int programId) {
    return {
        QStringLiteral("SELECT ID_PROP, ID_PROGRAMM, FORM_NAME, PROP_NAME, PROP_TYPE, PROP_ALIAS, ROWID FROM "
                       "KMR_PROP_FOR_PROG"),
        QStringLiteral("WHERE ID_PROGRAMM = ") + QString::number(programId),
        QStringLiteral("ORDER BY ID_PROP")};
}

int TPropCatalogue::NextPropNumber() {
    return NextId(QStringLiteral("SELECT MAX(ID_PROP) ID FROM KMR_PROP_FOR_PROG"));
}

TPropCatalogue::TPropRow TPropCatalogue::CurrentRow(const TOracleDataSet& catalogue) {
    auto value = [&catalogue](const char* name) {
        return catalogue.FieldByName(QLatin1String(name))->Value();
    };
    return {value("ID_PROP"),   value("ID_PROGRAMM"), value("FORM_NAME"),
            value("PROP_NAME"), value("PROP_TYPE"),   value("PROP_ALIAS")};
}

bool TPropCatalogue::MirrorPost(const TPropRow& row) {
    return MirrorRowByKey(QStringLiteral("KMR_PROP_FOR_PROG"),
                          {QStringLiteral("ID_PROP"), otInteger, row.IdProp},
                          {{QStringLiteral("ID_PROGRAMM"), otInteger, row.IdProgramm},
                           {QStringLiteral("FORM_NAME"), otString, row.FormName},
                           {QStringLiteral("PROP_NAME"), otString, row.PropName},
                           {QStringLiteral("PROP_TYPE"), otString, row.PropType},
                           {QStringLiteral("PROP_ALIAS"), otString, row.PropAlias}});
}

bool TPropCatalogue::MirrorDelete(int idProp) {
    return MirrorStatement(QStringLiteral("DELETE FROM KMR_PROP_FOR_PROG WHERE ID_PROP =") +
                           QString::number(idProp));
}
