#include "ProgramGroups.h"

#include "NoteDataSet.h"

#include <QStringList>

#include <memory>

namespace {

// The declared size of GROUP_NAME, used until the server has described the column.
constexpr int DefaultNameLimit = 200;

bool IsBlankChar(QChar c) {
    return c.unicode() <= 32;
}

} // namespace

QList<TProgramGroups::TEntry> TProgramGroups::ReadList(const QStringList& statement, const QString& idColumn,
                                                       const QString& nameColumn, bool learnNameSize) {
    QList<TEntry> entries;
    auto dataSet = std::make_unique<TNoteDataSet>();
    dataSet->SQL() = statement;
    if (!dataSet->NoteOpen())
        return entries;
    if (learnNameSize)
        if (const TField* name = dataSet->FindField(nameColumn); name && name->Size() > 1)
            FNameLimit = name->Size();
    ForEachRow(*dataSet, [&] {
        entries.append(
            {dataSet->FieldByName(idColumn)->AsInteger(), dataSet->FieldByName(nameColumn)->AsString()});
    });
    return entries;
}

QList<TProgramGroups::TEntry> TProgramGroups::Groups() {
    return ReadList({QStringLiteral("SELECT ID_GROUP, GROUP_NAME FROM KMR_GROUP_FOR_PROG"),
                     QStringLiteral("WHERE ID_PROGRAMM = ") + QString::number(FProgramId),
                     QStringLiteral("ORDER BY ID_GROUP")},
                    QStringLiteral("ID_GROUP"), QStringLiteral("GROUP_NAME"), true);
}

QList<TProgramGroups::TEntry> TProgramGroups::Properties() {
    return ReadList({QStringLiteral("SELECT ID_PROP, NAME_PROP FROM KMR_PROG_PROP"),
                     QStringLiteral("WHERE ID_PROGRAMM = ") + QString::number(FProgramId),
                     QStringLiteral("ORDER BY ID_PROP")},
                    QStringLiteral("ID_PROP"), QStringLiteral("NAME_PROP"), false);
}

TProgramGroups::TNameFault TProgramGroups::CheckName(const QString& name) const {
    if (Comparable(name).isEmpty())
        return TNameFault::Blank;
    if (name.toUtf8().size() > (FNameLimit > 0 ? FNameLimit : DefaultNameLimit))
        return TNameFault::TooLong;
    return TNameFault::None;
}

QString TProgramGroups::Comparable(const QString& name) {
    qsizetype begin = 0, end = name.size();
    while (begin < end && IsBlankChar(name[begin]))
        ++begin;
    while (end > begin && IsBlankChar(name[end - 1]))
        --end;
    return name.mid(begin, end - begin).toUpper();
}

std::optional<bool> TProgramGroups::IsDuplicate(const QString& name) {
    auto dataSet = std::make_unique<TNoteDataSet>();
    dataSet->SQL() << QStringLiteral("SELECT GROUP_NAME FROM KMR_GROUP_FOR_PROG")
                   << QStringLiteral("WHERE ID_PROGRAMM = ") + QString::number(FProgramId);
    if (!dataSet->NoteOpen())
        return std::nullopt;
    const QString wanted = Comparable(name);
    bool duplicate = false;
    bool complete = false;
    try {
        while (!dataSet->Eof()) {
            if (Comparable(dataSet->Fields(0)->AsString()) == wanted) {
                duplicate = true;
                break;
            }
            if (!dataSet->NoteNext())
                break;
        }
        complete = duplicate || dataSet->Eof();
    } catch (const std::exception&) {
    }
    // A walk cut short by a failed fetch proves nothing.
    if (!complete)
        return std::nullopt;
    return duplicate;
}

int TProgramGroups::NextGroupNumber() {
    const QString program = QString::number(FProgramId);
    return NextId(QStringLiteral("SELECT MAX(ID) ID FROM (SELECT MAX(ID_GROUP) ID FROM KMR_GROUP_FOR_PROG"
                                 " WHERE ID_PROGRAMM = %1 UNION ALL SELECT MAX(ID_GROUP) ID FROM"
                                 " KMR_GROUP_FOR_USER WHERE ID_PROGRAMM = %1)")
                      .arg(program));
}

bool TProgramGroups::Insert(int groupId, const QString& name, QString& error) {
    auto dataSet = std::make_unique<TNoteDataSet>();
    dataSet->SQL() << QStringLiteral("INSERT INTO KMR_GROUP_FOR_PROG VALUES(") + QString::number(FProgramId)
                   << QStringLiteral(", %1, :GROUP_NAME)").arg(groupId);
    dataSet->DeclareVariable(QStringLiteral("GROUP_NAME"), otString);
    dataSet->SetVariable(QStringLiteral("GROUP_NAME"), name);
    return dataSet->NoteExecSQL(true, error);
}

bool TProgramGroups::Delete(int groupId, QString& error) {
    auto dataSet = std::make_unique<TNoteDataSet>();
    dataSet->SQL() << QStringLiteral("DELETE FROM KMR_GROUP_FOR_PROG WHERE ID_PROGRAMM = ") +
                          QString::number(FProgramId)
                   << QStringLiteral("AND ID_GROUP = ") + QString::number(groupId);
    return dataSet->NoteExecSQL(true, error);
}

std::optional<bool> TProgramGroups::Stored(int groupId) {
    auto dataSet = std::make_unique<TNoteDataSet>();
    dataSet->SQL() << QStringLiteral("SELECT COUNT(*) CNT FROM KMR_GROUP_FOR_PROG")
                   << QStringLiteral("WHERE ID_PROGRAMM = %1 AND ID_GROUP = %2").arg(FProgramId).arg(groupId);
    if (!dataSet->NoteOpen())
        return std::nullopt;
    try {
        return dataSet->Fields(0)->AsInteger() > 0;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}
