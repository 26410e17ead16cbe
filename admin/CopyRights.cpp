#include "CopyRights.h"

#include "NoteDataSet.h"
#include "NoteQuery.h"
#include "OracleBase.h"

#include <memory>
#include <vector>

namespace {

// Rows per insert statement: a user rarely has more programs than this, and the text stays short.
constexpr int RowsPerInsert = 50;

void RollbackQuietly(TOracleSession* session) {
    try {
        if (session && session->Connected())
            session->Rollback();
    } catch (...) {
        // A server that went away refuses the roll-back too; it has kept nothing of the copy.
    }
}

std::unique_ptr<TNoteQuery> MakeQuery(const QStringList& lines) {
    auto query = std::make_unique<TNoteQuery>(nullptr);
    query->SQL() = lines;
    return query;
}

void BindUsers(TNoteQuery& query, int source, int target) {
    query.DeclareVariable(QStringLiteral("SRC"), otInteger);
    query.DeclareVariable(QStringLiteral("DST"), otInteger);
    query.SetVariable(QStringLiteral("SRC"), source);
    query.SetVariable(QStringLiteral("DST"), target);
}

// Reads the grants and groups of both users (two round trips).
void ReadRights(int source, int target, TCopyRights::TRights& from, TCopyRights::TRights& to) {
    auto grants = MakeQuery({QStringLiteral("SELECT TABNUM, ID_PROGRAMM FROM KMR_PROG_FOR_USER"),
                             QStringLiteral("WHERE TABNUM IN (:SRC, :DST)")});
    BindUsers(*grants, source, target);
    grants->SetReadBuffer(500);
    for (grants->Execute(); !grants->Eof(); grants->Next())
        (grants->Field(0).toInt() == source ? from : to).Grants[grants->Field(1).toInt()] = true;

    auto groups = MakeQuery({QStringLiteral("SELECT TABNUM, ID_PROGRAMM, ID_GROUP FROM KMR_GROUP_FOR_USER"),
                             QStringLiteral("WHERE TABNUM IN (:SRC, :DST)")});
    BindUsers(*groups, source, target);
    groups->SetReadBuffer(500);
    for (groups->Execute(); !groups->Eof(); groups->Next()) {
        // The first row of a program counts, as the administration window reads it.
        TCopyRights::TRights& rights = groups->Field(0).toInt() == source ? from : to;
        rights.Groups.try_emplace(groups->Field(1).toInt(), groups->Field(2).toInt());
    }
}

// Names for the summary (two round trips); a failure leaves numbers in the summary, nothing more.
void ReadNames(QMap<int, QString>& programs, QMap<QPair<int, int>, QString>& groups) {
    try {
        auto query = MakeQuery({QStringLiteral("SELECT ID_PROGRAMMEXE, PRALIAS FROM KMR_PROGRAMMEXE")});
        query->SetReadBuffer(500);
        for (query->Execute(); !query->Eof(); query->Next())
            programs.insert(query->Field(0).toInt(), query->Field(1).toString());
        query =
            MakeQuery({QStringLiteral("SELECT ID_PROGRAMM, ID_GROUP, GROUP_NAME FROM KMR_GROUP_FOR_PROG")});
        query->SetReadBuffer(500);
        for (query->Execute(); !query->Eof(); query->Next())
            groups.insert({query->Field(0).toInt(), query->Field(1).toInt()}, query->Field(2).toString());
    } catch (const std::exception&) {
    }
}

// Inserts rows of integer values, RowsPerInsert to a statement, through the gate.
void InsertRows(const QString& table, const QStringList& columns, const std::vector<std::vector<int>>& rows) {
    for (size_t first = 0; first < rows.size(); first += RowsPerInsert) {
        const int count = int(std::min(rows.size() - first, size_t(RowsPerInsert)));
        auto insert = MakeQuery(TCopyRights::InsertRowsStatement(table, columns, count));
        for (int r = 0; r < count; ++r)
            for (int c = 0; c < columns.size(); ++c) {
                const QString name = QStringLiteral("V%1_%2").arg(r).arg(c);
                insert->DeclareVariable(name, otInteger);
                insert->SetVariable(name, rows[first + size_t(r)][size_t(c)]);
            }
        insert->Execute();
    }
}

} // namespace

QStringList TCopyRights::InsertRowsStatement(const QString& table, const QStringList& columns, int rows) {
    QStringList lines{QStringLiteral("INSERT INTO %1 (%2)").arg(table, columns.join(QStringLiteral(", ")))};
    for (int r = 0; r < rows; ++r) {
        QStringList values;
        for (int c = 0; c < columns.size(); ++c)
            values << QStringLiteral(":V%1_%2").arg(r).arg(c);
        lines << (r > 0 ? QStringLiteral("UNION ALL SELECT ") : QStringLiteral("SELECT ")) +
                     values.join(QStringLiteral(", ")) + QStringLiteral(" FROM DUAL");
    }
    return lines;
}

TCopyRights::TResult TCopyRights::Copy(int sourceTabNum, int targetTabNum) {
    TResult result;
    if (!FOracleBase || !CanWrite) {
        result.Outcome = TOutcome::ViewMode;
        return result;
    }
    // Whether the reserve server is to take the copy too; if it drops out on the way, what it got
    // of the copy is rolled back there rather than left half done in an open transaction.
    const bool mirrored = MirrorWrites;
    auto dropReserveHalf = [&] {
        if (mirrored && !MirrorWrites)
            RollbackQuietly(FOracleBase->BDatabase);
    };
    TRights before, after;
    try {
        // Both users' rows stay locked until the end, so neither is deleted or renumbered meanwhile.
        auto lock = MakeQuery({QStringLiteral("SELECT TABNUM FROM KMR_USER_PSW"),
                               QStringLiteral("WHERE TABNUM IN (:SRC, :DST) FOR UPDATE NOWAIT")});
        BindUsers(*lock, sourceTabNum, targetTabNum);
        bool sourceFound = false, targetFound = false;
        for (lock->Execute(); !lock->Eof(); lock->Next()) {
            sourceFound = sourceFound || lock->Field(0).toInt() == sourceTabNum;
            targetFound = targetFound || lock->Field(0).toInt() == targetTabNum;
        }
        if (!sourceFound || !targetFound) {
            RollbackQuietly(FOracleBase->ADatabase);
            result.Outcome = sourceFound ? TOutcome::TargetMissing : TOutcome::SourceMissing;
            return result;
        }
        ReadRights(sourceTabNum, targetTabNum, after, before);

        for (const char* table : {"KMR_PROG_FOR_USER", "KMR_GROUP_FOR_USER"}) {
            auto erase =
                MakeQuery({QStringLiteral("DELETE FROM %1 WHERE TABNUM = :DST").arg(QLatin1String(table))});
            erase->DeclareVariable(QStringLiteral("DST"), otInteger);
            erase->SetVariable(QStringLiteral("DST"), targetTabNum);
            erase->Execute();
        }
        std::vector<std::vector<int>> grants, groups;
        for (const auto& [program, granted] : after.Grants)
            grants.push_back({targetTabNum, program});
        for (const auto& [program, group] : after.Groups)
            groups.push_back({targetTabNum, program, group});
        InsertRows(QStringLiteral("KMR_PROG_FOR_USER"),
                   {QStringLiteral("TABNUM"), QStringLiteral("ID_PROGRAMM")}, grants);
        InsertRows(QStringLiteral("KMR_GROUP_FOR_USER"),
                   {QStringLiteral("TABNUM"), QStringLiteral("ID_PROGRAMM"), QStringLiteral("ID_GROUP")},
                   groups);

        if (!CanWrite) {
            // View mode began on the way: the gate skipped the rest, and CommitAll would commit
            // nothing, so what was sent is undone here.
            RollbackQuietly(FOracleBase->ADatabase);
            RollbackQuietly(FOracleBase->BDatabase);
            result.Outcome = TOutcome::ViewMode;
            return result;
        }
        FOracleBase->CommitAll();
    } catch (const std::exception& e) {
        result.Error = FailureText(e);
        try {
            FOracleBase->RollbackAll();
        } catch (...) {
        }
        // RollbackAll skips both sessions in view mode and the reserve once mirroring is off.
        RollbackQuietly(FOracleBase->ADatabase);
        if (mirrored)
            RollbackQuietly(FOracleBase->BDatabase);
        result.Outcome = TOutcome::Failed;
        return result;
    }
    dropReserveHalf();
    QMap<int, QString> programs;
    QMap<QPair<int, int>, QString> groupNames;
    if (!(before == after))
        ReadNames(programs, groupNames);
    result.Outcome = TOutcome::Copied;
    result.Changes = Describe(before, after, programs, groupNames);
    return result;
}

QStringList TCopyRights::Describe(const TRights& before, const TRights& after,
                                  const QMap<int, QString>& programs,
                                  const QMap<QPair<int, int>, QString>& groups) {
    auto program = [&](int id) {
        return QStringLiteral("\"%1\"").arg(programs.value(id, QStringLiteral("№%1").arg(id)));
    };
    auto group = [&](int programId, int groupId) {
        return QStringLiteral("\"%1\"").arg(
            groups.value({programId, groupId}, QStringLiteral("№%1").arg(groupId)));
    };
    QStringList granted, withdrawn, lines;
    for (const auto& [id, on] : after.Grants)
        if (!before.Grants.count(id))
            granted << program(id);
    for (const auto& [id, on] : before.Grants)
        if (!after.Grants.count(id))
            withdrawn << program(id);
    if (!granted.isEmpty())
        lines << QStringLiteral("Разрешены программы: ") + granted.join(QStringLiteral(", "));
    if (!withdrawn.isEmpty())
        lines << QStringLiteral("Запрещены программы: ") + withdrawn.join(QStringLiteral(", "));
    for (const auto& [id, g] : after.Groups) {
        const auto old = before.Groups.find(id);
        if (old == before.Groups.end())
            lines << QStringLiteral("Группа в программе %1: %2").arg(program(id), group(id, g));
        else if (old->second != g)
            lines << QStringLiteral("Группа в программе %1: %2 вместо %3")
                         .arg(program(id), group(id, g), group(id, old->second));
    }
    for (const auto& [id, g] : before.Groups)
        if (!after.Groups.count(id))
            lines << QStringLiteral("Группа в программе %1 снята (была %2)").arg(program(id), group(id, g));
    return lines;
}
