#include "RightsOverview.h"

#include "NoteDataSet.h"
#include "NoteQuery.h"

#include <functional>

namespace {

// Rows per fetch: a few round trips even for a hundred thousand grants on a slow link.
constexpr int OverviewReadBuffer = 10000;

} // namespace

QStringList TRightsOverviewData::Statements() {
    return {QStringLiteral("SELECT TABNUM, ALLNAME, NAME FROM KMR_USER_PSW ORDER BY GROUPID, ALLNAME"),
            QStringLiteral("SELECT ID_PROGRAMMEXE, PRALIAS FROM KMR_PROGRAMMEXE ORDER BY ID_PROGRAMMEXE"),
            QStringLiteral("SELECT ID_PROGRAMM, ID_GROUP, GROUP_NAME FROM KMR_GROUP_FOR_PROG"),
            QStringLiteral("SELECT TABNUM, ID_PROGRAMM FROM KMR_PROG_FOR_USER"),
            QStringLiteral("SELECT TABNUM, ID_PROGRAMM, ID_GROUP FROM KMR_GROUP_FOR_USER")};
}

bool TRightsOverviewData::Load(QString& error) {
    TRightsOverviewData read;
    const QStringList statements = Statements();
    try {
        auto run = [&](int statement, const std::function<void(TNoteQuery&)>& row) {
            TNoteQuery query(nullptr);
            query.SetSQLText(statements[statement]);
            query.SetReadBuffer(OverviewReadBuffer);
            for (query.Execute(); !query.Eof(); query.Next())
                row(query);
        };
        QHash<int, int> userIndex, programIndex;
        run(0, [&](TNoteQuery& q) {
            userIndex.insert(q.Field(0).toInt(), int(read.Users.size()));
            read.Users.push_back({q.Field(0).toInt(), q.Field(1).toString(), q.Field(2).toString()});
        });
        run(1, [&](TNoteQuery& q) {
            programIndex.insert(q.Field(0).toInt(), int(read.Programs.size()));
            read.Programs.push_back({q.Field(0).toInt(), q.Field(1).toString()});
        });
        // A group's index in GroupNames, by program and group number.
        QHash<QPair<int, int>, int> groupIndex;
        run(2, [&](TNoteQuery& q) {
            groupIndex.insert({q.Field(0).toInt(), q.Field(1).toInt()}, int(read.GroupNames.size()));
            read.GroupNames << q.Field(2).toString();
        });
        const size_t columns = read.Programs.size();
        read.Cells.assign(read.Users.size() * columns, NotGranted);
        auto cell = [&](int tabNum, int programId) -> int32_t* {
            const auto user = userIndex.constFind(tabNum);
            const auto program = programIndex.constFind(programId);
            if (user == userIndex.constEnd() || program == programIndex.constEnd())
                return nullptr; // rows of a deleted user or program
            return &read.Cells[size_t(*user) * columns + size_t(*program)];
        };
        run(3, [&](TNoteQuery& q) {
            if (int32_t* c = cell(q.Field(0).toInt(), q.Field(1).toInt()))
                *c = NoGroup;
        });
        // Memberships are placed apart first: only a granted cell shows one, and the first row of a
        // user and program counts, as the administration window reads it.
        std::vector<int32_t> groups(read.Cells.size(), NotGranted);
        run(4, [&](TNoteQuery& q) {
            const int programId = q.Field(1).toInt();
            int32_t* c = cell(q.Field(0).toInt(), programId);
            if (!c)
                return;
            int32_t& g = groups[size_t(c - read.Cells.data())];
            if (g != NotGranted)
                return;
            const int groupId = q.Field(2).toInt();
            const auto named = groupIndex.constFind({programId, groupId});
            if (named != groupIndex.constEnd()) {
                g = 1 + *named;
            } else {
                // A group deleted in the group editor leaves its members' rows: shown by number.
                g = 1 + int32_t(read.GroupNames.size());
                read.GroupNames << QStringLiteral("№%1").arg(groupId);
            }
        });
        for (size_t i = 0; i < read.Cells.size(); ++i)
            if (read.Cells[i] == NoGroup && groups[i] != NotGranted)
                read.Cells[i] = groups[i];
    } catch (const std::exception& e) {
        error = FailureText(e);
        return false;
    }
    *this = std::move(read);
    return true;
}

QString TRightsOverviewData::CellText(size_t user, size_t program) const {
    const int32_t value = Cell(user, program);
    if (value == NotGranted)
        return {};
    if (value == NoGroup)
        return QString::fromUtf8(NoGroupText);
    return GroupNames.value(value - 1);
}

TRightsOverviewModel::TRightsOverviewModel(QObject* parent) : QAbstractTableModel(parent) {}

void TRightsOverviewModel::SetData(TRightsOverviewData data) {
    beginResetModel();
    FData = std::move(data);
    Rebuild();
    endResetModel();
}

void TRightsOverviewModel::SetUserSearch(const QString& text) {
    beginResetModel();
    FUserSearch = TUserSearch(text);
    Rebuild();
    endResetModel();
}

void TRightsOverviewModel::SetProgramSearch(const QString& text) {
    beginResetModel();
    FProgramSearch = text.simplified();
    Rebuild();
    endResetModel();
}

void TRightsOverviewModel::SetOnlyWithAccess(std::optional<int> programId) {
    beginResetModel();
    FOnlyWithAccess = programId;
    Rebuild();
    endResetModel();
}

void TRightsOverviewModel::Rebuild() {
    FColumns.clear();
    int accessColumn = -1;
    for (size_t p = 0; p < FData.Programs.size(); ++p) {
        if (FOnlyWithAccess && FData.Programs[p].Id == *FOnlyWithAccess)
            accessColumn = int(p);
        if (FProgramSearch.isEmpty() || FData.Programs[p].Alias.contains(FProgramSearch, Qt::CaseInsensitive))
            FColumns.push_back(int(p));
    }
    FRows.clear();
    for (size_t u = 0; u < FData.Users.size(); ++u) {
        if (FOnlyWithAccess &&
            (accessColumn < 0 || FData.Cell(u, size_t(accessColumn)) == TRightsOverviewData::NotGranted))
            continue;
        if (!FUserSearch.IsEmpty() && !FUserSearch.Matches(FData.Users[u].AllName, FData.Users[u].Name))
            continue;
        FRows.push_back(int(u));
    }
}

int TRightsOverviewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(FRows.size());
}

int TRightsOverviewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : NameColumns + int(FColumns.size());
}

QVariant TRightsOverviewModel::data(const QModelIndex& index, int role) const {
    // The tool tip shows a text the column is too narrow for.
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole) ||
        index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const TRightsOverviewData::TUser& user = FData.Users[size_t(FRows[size_t(index.row())])];
    if (index.column() == 0)
        return user.AllName;
    if (index.column() == 1)
        return user.Name;
    return FData.CellText(size_t(FRows[size_t(index.row())]),
                          size_t(FColumns[size_t(index.column() - NameColumns)]));
}

QVariant TRightsOverviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount())
        return {};
    if (section == 0)
        return QStringLiteral("Ф.И.О. Пользователя");
    if (section == 1)
        return QStringLiteral("Имя для входа");
    return FData.Programs[size_t(FColumns[size_t(section - NameColumns)])].Alias;
}

QStringList TRightsOverviewModel::Titles() const {
    QStringList titles;
    for (int c = 0; c < columnCount(); ++c)
        titles << headerData(c, Qt::Horizontal).toString();
    return titles;
}

QStringList TRightsOverviewModel::RowTexts(int row) const {
    QStringList texts;
    for (int c = 0; c < columnCount(); ++c)
        texts << data(index(row, c)).toString();
    return texts;
}

int TRightsOverviewModel::UserAt(int row) const {
    return FData.Users[size_t(FRows[size_t(row)])].TabNum;
}

std::optional<int> TRightsOverviewModel::ProgramAt(int column) const {
    if (column < NameColumns || column >= columnCount())
        return std::nullopt;
    return FData.Programs[size_t(FColumns[size_t(column - NameColumns)])].Id;
}

int TRightsOverviewModel::RowOfUser(int tabNum) const {
    for (size_t r = 0; r < FRows.size(); ++r)
        if (FData.Users[size_t(FRows[r])].TabNum == tabNum)
            return int(r);
    return -1;
}
