// Who can run what: every user against every registered application, read from the main server in
// five statements (users, applications, groups, grants, memberships) with large fetch blocks, and
// kept in flat vectors so ten thousand users by a hundred applications open at once. A cell holds
// the user's group in the application when the application is granted; a granted application
// without a group shows "(без группы)"; a membership row without a grant (left by an old change)
// shows nothing, as the user cannot run the application. Read only; no window.
#pragma once

#include "UserSearch.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

class TRightsOverviewData {
public:
    struct TUser {
        int TabNum = 0;
        QString AllName, Name;
    };
    struct TProgram {
        int Id = 0;
        QString Alias;
    };

    // Cell values: not granted, granted without a group, or 1 + an index into GroupNames.
    static constexpr int32_t NotGranted = -1;
    static constexpr int32_t NoGroup = 0;
    // The text of a cell granted without a group.
    static constexpr const char* NoGroupText = "(без группы)";

    std::vector<TUser> Users;
    std::vector<TProgram> Programs;
    QStringList GroupNames;
    // Users.size() x Programs.size(), row by row.
    std::vector<int32_t> Cells;

    // Reads everything anew; on failure keeps nothing of the new read, sets error (the server's
    // message) and returns false.
    bool Load(QString& error);

    int32_t Cell(size_t user, size_t program) const { return Cells[user * Programs.size() + program]; }
    QString CellText(size_t user, size_t program) const;

    // The statements, in the order they run.
    static QStringList Statements();
};

// The overview as a table: the full name and the sign-in name, then one column per application.
// Rows narrow by the user search, columns by the application search, and rows also to the users who
// may run one application. Display and tool tip show the text; nothing is editable.
class TRightsOverviewModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int NameColumns = 2;

    explicit TRightsOverviewModel(QObject* parent = nullptr);

    // Takes new data; the filters stay.
    void SetData(TRightsOverviewData data);
    const TRightsOverviewData& Data() const { return FData; }

    void SetUserSearch(const QString& text);
    void SetProgramSearch(const QString& text);
    // Only users granted this application (its number); nullopt: every user.
    void SetOnlyWithAccess(std::optional<int> programId);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The user of a shown row, and the application of a shown column (nullopt: a name column).
    int UserAt(int row) const;
    std::optional<int> ProgramAt(int column) const;
    int TotalUsers() const { return int(FData.Users.size()); }
    // The shown row of a user, or -1.
    int RowOfUser(int tabNum) const;

    // What the table shows, for the CSV file.
    QStringList Titles() const;
    QStringList RowTexts(int row) const;

private:
    void Rebuild();

    TRightsOverviewData FData;
    TUserSearch FUserSearch;
    QString FProgramSearch;
    std::optional<int> FOnlyWithAccess;
    std::vector<int> FRows;    // shown rows: indexes into Users
    std::vector<int> FColumns; // shown application columns: indexes into Programs
};
