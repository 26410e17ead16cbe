// The comparison of two servers' rows without any server: the fingerprint, multisets, keys,
// NULL keys, the executables' length and time, and the words an administrator reads.
#include "ReserveDiff.h"
#include "ReserveTables.h"
#include "ReserveWords.h"

#include "OracleTypes.h"

#include <QDateTime>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

const TReserveTable& Table(const char* name) {
    const TReserveTable* table = FindReserveTable(QLatin1String(name));
    EXPECT_NE(table, nullptr) << name;
    return *table;
}

// Rows as a server would deliver them for a table: columns sorted by name, the hash and count kept.
TTableRows Rows(const QStringList& columns, const std::vector<QVariantList>& rows) {
    TTableRows t;
    t.Columns = columns;
    for (int i = 0; i < columns.size(); ++i)
        t.Types << otInteger;
    t.Kept = true;
    for (const QVariantList& row : rows) {
        t.Rows.push_back(row);
        ++t.Count;
        t.Hash += ReserveRowHash(row);
    }
    return t;
}

const QStringList GrantColumns = {QStringLiteral("ID_PROGRAMM"), QStringLiteral("TABNUM")};
const QStringList MemberColumns = {QStringLiteral("ID_GROUP"), QStringLiteral("ID_PROGRAMM"),
                                   QStringLiteral("TABNUM")};
const QStringList GroupColumns = {QStringLiteral("GROUP_NAME"), QStringLiteral("ID_GROUP"),
                                  QStringLiteral("ID_PROGRAMM")};
const QStringList ProgramColumns = {QStringLiteral("ID_PROGRAMMEXE"), QStringLiteral("PRALIAS"),
                                    QStringLiteral("PRCOD_LENGTH"), QStringLiteral("PRDATE_TIME"),
                                    QStringLiteral("PRNAME")};

int Steps(const TTableDiff& d, TSyncStep::EOp op) {
    return int(
        std::count_if(d.Steps.begin(), d.Steps.end(), [op](const TSyncStep& s) { return s.Op == op; }));
}

TEST(ReserveFingerprint, OrderDoesNotCountButEveryCopyDoes) {
    const TTableRows a = Rows(GrantColumns, {{1, 10}, {2, 10}, {1, 11}});
    const TTableRows b = Rows(GrantColumns, {{1, 11}, {1, 10}, {2, 10}});
    EXPECT_TRUE(a.SameFingerprint(b));
    // Same count, same distinct rows, other multiplicities.
    const TTableRows c = Rows(GrantColumns, {{1, 10}, {1, 10}, {2, 10}});
    const TTableRows d = Rows(GrantColumns, {{1, 10}, {2, 10}, {2, 10}});
    EXPECT_FALSE(c.SameFingerprint(d));
    // XOR would cancel a pair of copies; the sum does not.
    EXPECT_FALSE(Rows(GrantColumns, {{3, 3}, {3, 3}}).SameFingerprint(Rows(GrantColumns, {{4, 4}, {4, 4}})));
    // The same rows under other column names are another table.
    TTableRows renamed = b;
    renamed.Columns = {QStringLiteral("A"), QStringLiteral("B")};
    EXPECT_FALSE(a.SameFingerprint(renamed));
}

TEST(ReserveFingerprint, ValuesCompareByMeaningNotByType) {
    // NUMBER(9) read as an integer on one server, NUMBER read as a double on the other.
    EXPECT_EQ(ReserveRowHash({QVariant(7), QVariant(QStringLiteral("x"))}),
              ReserveRowHash({QVariant(7.0), QVariant(QStringLiteral("x"))}));
    EXPECT_NE(ReserveCellText(QVariant(7.5)), ReserveCellText(QVariant(7)));
    // NULL is neither an empty text nor the text "NULL"; a cell cannot imitate the next one.
    EXPECT_NE(ReserveRowHash({QVariant(), QVariant(1)}),
              ReserveRowHash({QVariant(QStringLiteral("")), QVariant(1)}));
    EXPECT_NE(ReserveRowText({QVariant(QStringLiteral("a;1:b")), QVariant()}),
              ReserveRowText({QVariant(QStringLiteral("a")), QVariant(QStringLiteral("b"))}));
    EXPECT_EQ(ReserveCellText(QDateTime(QDate(2026, 3, 1), QTime(8, 5, 9))),
              QStringLiteral("2026-03-01 08:05:09"));
}

TEST(ReserveDiff, GrantsAreAMultiset) {
    const TReserveTable& grants = Table("KMR_PROG_FOR_USER");
    // A grant twice on the main server and once on the reserve: one more copy goes to the reserve.
    TTableDiff d = DiffTable(grants, Rows(GrantColumns, {{1, 10}, {1, 10}, {2, 10}}),
                             Rows(GrantColumns, {{1, 10}, {2, 10}}));
    ASSERT_EQ(d.Changes.size(), 1);
    EXPECT_EQ(d.Changes[0].Kind, TRowChange::OnlyOnMain);
    EXPECT_EQ(d.Changes[0].MainCopies, 2);
    EXPECT_EQ(d.Changes[0].ReserveCopies, 1);
    EXPECT_EQ(Steps(d, TSyncStep::Insert), 1);
    EXPECT_EQ(d.Steps.size(), 1);

    // A withdrawn grant re-ticked while the reserve was away: twice on the reserve, once on the main.
    d = DiffTable(grants, Rows(GrantColumns, {{1, 10}}), Rows(GrantColumns, {{1, 10}, {1, 10}}));
    ASSERT_EQ(d.Changes.size(), 1);
    EXPECT_EQ(d.Changes[0].Kind, TRowChange::OnlyOnReserve);
    EXPECT_EQ(d.Changes[0].ReserveCopies, 2);
    ASSERT_EQ(d.Steps.size(), 2);
    EXPECT_EQ(d.Steps[0].Op, TSyncStep::DeleteRow);
    EXPECT_EQ(d.Steps[1].Op, TSyncStep::Insert);

    // Same rows in another order: nothing to do.
    d = DiffTable(grants, Rows(GrantColumns, {{1, 10}, {2, 11}}), Rows(GrantColumns, {{2, 11}, {1, 10}}));
    EXPECT_TRUE(d.Equal());
    EXPECT_TRUE(d.Steps.isEmpty());
}

TEST(ReserveDiff, KeyedRowsDifferOnlyInTheirChangedColumns) {
    const TReserveTable& groups = Table("KMR_GROUP_FOR_PROG");
    const TTableDiff d = DiffTable(groups,
                                   Rows(GroupColumns, {{QStringLiteral("Диспетчеры"), 1, 1},
                                                       {QStringLiteral("Новая"), 3, 1},
                                                       {QStringLiteral("Старшие"), 2, 1}}),
                                   Rows(GroupColumns, {{QStringLiteral("Старшие"), 2, 1},
                                                       {QStringLiteral("Дежурные"), 1, 1},
                                                       {QStringLiteral("Удалённая"), 4, 1}}));
    ASSERT_EQ(d.Changes.size(), 3);
    EXPECT_EQ(d.Count(TRowChange::Differs), 1);
    EXPECT_EQ(d.Count(TRowChange::OnlyOnMain), 1);
    EXPECT_EQ(d.Count(TRowChange::OnlyOnReserve), 1);
    // Listed in key order: group 1, 3, 4 of program 1.
    EXPECT_EQ(d.Changes[0].Kind, TRowChange::Differs);
    EXPECT_EQ(d.Changes[0].Changed, QList<int>{0});
    EXPECT_EQ(d.Changes[1].Main.at(1).toInt(), 3);
    EXPECT_EQ(d.Changes[2].Reserve.at(1).toInt(), 4);
    ASSERT_EQ(d.Steps.size(), 3);
    const auto update =
        std::find_if(d.Steps.begin(), d.Steps.end(), [](auto& s) { return s.Op == TSyncStep::Update; });
    ASSERT_NE(update, d.Steps.end());
    EXPECT_EQ(update->Columns, QList<int>{0}); // only the name is rewritten, never the key
    EXPECT_EQ(Steps(d, TSyncStep::DeleteByKey), 1);
    EXPECT_EQ(Steps(d, TSyncStep::Insert), 1);
}

TEST(ReserveDiff, NullKeysAreListedNotGuessed) {
    const TReserveTable& groups = Table("KMR_GROUP_FOR_PROG");
    // Two rows without a group number: not taken for one changed row, and not matched to group 1.
    const TTableDiff d = DiffTable(
        groups, Rows(GroupColumns, {{QStringLiteral("А"), QVariant(), 1}, {QStringLiteral("Б"), 1, 1}}),
        Rows(GroupColumns, {{QStringLiteral("В"), QVariant(), 1}, {QStringLiteral("Б"), 1, 1}}));
    ASSERT_EQ(d.Changes.size(), 2);
    for (const TRowChange& c : d.Changes) {
        EXPECT_TRUE(c.NullKey);
        EXPECT_NE(c.Kind, TRowChange::Differs);
    }
    // Written back as whole rows, never by a key they do not have.
    EXPECT_EQ(Steps(d, TSyncStep::DeleteByKey), 0);
    EXPECT_EQ(Steps(d, TSyncStep::Update), 0);
    EXPECT_EQ(Steps(d, TSyncStep::DeleteRow), 1);
    EXPECT_EQ(Steps(d, TSyncStep::Insert), 1);
    // The same NULL-key row on both servers is no difference.
    EXPECT_TRUE(DiffTable(groups, Rows(GroupColumns, {{QStringLiteral("А"), QVariant(), 1}}),
                          Rows(GroupColumns, {{QStringLiteral("А"), QVariant(), 1}}))
                    .Equal());
}

TEST(ReserveDiff, AKeyHeldTwiceIsRewrittenWhole) {
    const TReserveTable& groups = Table("KMR_GROUP_FOR_PROG");
    // The reserve lacks the key constraint and holds group 1 twice.
    const TTableDiff d =
        DiffTable(groups, Rows(GroupColumns, {{QStringLiteral("А"), 1, 1}}),
                  Rows(GroupColumns, {{QStringLiteral("А"), 1, 1}, {QStringLiteral("Б"), 1, 1}}));
    ASSERT_EQ(d.Changes.size(), 1);
    EXPECT_EQ(d.Changes[0].Kind, TRowChange::OnlyOnReserve);
    EXPECT_EQ(d.Changes[0].Reserve.at(0).toString(), QStringLiteral("Б"));
    ASSERT_EQ(d.Steps.size(), 2);
    EXPECT_EQ(d.Steps[0].Op, TSyncStep::DeleteByKey);
    EXPECT_EQ(d.Steps[1].Op, TSyncStep::Insert);
    EXPECT_EQ(d.Steps[1].Row.at(0).toString(), QStringLiteral("А"));
}

TEST(ReserveDiff, AMembershipMovedToAnotherGroupIsOneChangedRow) {
    const TReserveTable& members = Table("KMR_GROUP_FOR_USER");
    const TTableDiff d = DiffTable(members, Rows(MemberColumns, {{2, 1, 7}, {1, 2, 7}}),
                                   Rows(MemberColumns, {{3, 1, 7}, {1, 2, 7}, {1, 2, 8}}));
    ASSERT_EQ(d.Changes.size(), 2);
    EXPECT_EQ(d.Changes[0].Kind, TRowChange::Differs);
    EXPECT_EQ(d.Changes[0].Changed, QList<int>{0});
    EXPECT_EQ(d.Changes[1].Kind, TRowChange::OnlyOnReserve);
    // Still written as the multiset: the reserve's row goes, the main server's comes.
    EXPECT_EQ(Steps(d, TSyncStep::DeleteRow), 2);
    EXPECT_EQ(Steps(d, TSyncStep::Insert), 1);
}

TEST(ReserveDiff, ExecutableBytesTravelOnlyWhenLengthOrTimeDiffer) {
    const TReserveTable& programs = Table("KMR_PROGRAMMEXE");
    const QDateTime t1(QDate(2026, 1, 5), QTime(10, 0)), t2(QDate(2026, 2, 5), QTime(10, 0));
    auto row = [](int id, const char* alias, int length, const QDateTime& time) {
        return QVariantList{id, QString::fromUtf8(alias), length, time, QStringLiteral("DEFECTS.EXE")};
    };
    struct Case {
        const char* what;
        QVariantList reserve;
        bool bytes;
    } cases[] = {
        {"title only", row(1, "Старое", 50 << 20, t1), false},
        {"length", row(1, "Дефекты", 1000, t1), true},
        {"time", row(1, "Дефекты", 50 << 20, t2), true},
    };
    for (const Case& c : cases) {
        const TTableDiff d = DiffTable(programs, Rows(ProgramColumns, {row(1, "Дефекты", 50 << 20, t1)}),
                                       Rows(ProgramColumns, {c.reserve}));
        ASSERT_EQ(d.Steps.size(), 1) << c.what;
        EXPECT_EQ(d.Steps[0].Op, TSyncStep::Update) << c.what;
        EXPECT_EQ(d.Steps[0].Executable, c.bytes) << c.what;
        // The length is no column of the table: it is never set.
        EXPECT_FALSE(d.Steps[0].Columns.contains(d.Column(QStringLiteral("PRCOD_LENGTH")))) << c.what;
    }
    const TTableDiff added =
        DiffTable(programs, Rows(ProgramColumns, {row(2, "Заявки", 10, t1)}), Rows(ProgramColumns, {}));
    ASSERT_EQ(added.Steps.size(), 1);
    EXPECT_TRUE(added.Steps[0].Executable);
}

TEST(ReserveDiff, TablesOfOtherColumnsAreNotRewritten) {
    const TReserveTable& grants = Table("KMR_PROG_FOR_USER");
    const TTableDiff d =
        DiffTable(grants, Rows(GrantColumns, {{1, 1}}),
                  Rows({QStringLiteral("ID_PROGRAMM"), QStringLiteral("TABNUM_OLD")}, {{1, 1}}));
    EXPECT_TRUE(d.StructureDiffers());
    EXPECT_EQ(d.MainOnlyColumns, QStringList{QStringLiteral("TABNUM")});
    EXPECT_EQ(d.ReserveOnlyColumns, QStringList{QStringLiteral("TABNUM_OLD")});
    EXPECT_TRUE(d.Steps.isEmpty());
    EXPECT_FALSE(d.Equal());
}

TEST(ReserveWords, NamesInsteadOfNumbers) {
    TReserveNames names;
    names.Add(Table("KMR_USER_PSW"),
              Rows({QStringLiteral("ALLNAME"), QStringLiteral("NAME"), QStringLiteral("TABNUM")},
                   {{QStringLiteral("Иванов Иван"), QStringLiteral("ivanov"), 7}}),
              TReserveNames::Main);
    names.Add(Table("KMR_PROGRAMMEXE"),
              Rows(ProgramColumns, {{1, QStringLiteral("Дефекты"), 0, QVariant(), QStringLiteral("D.EXE")}}),
              TReserveNames::Main);
    names.Add(Table("KMR_GROUP_FOR_PROG"), Rows(GroupColumns, {{QStringLiteral("Диспетчеры"), 2, 1}}),
              TReserveNames::Main);
    names.Add(Table("KMR_GROUP_FOR_PROG"), Rows(GroupColumns, {{QStringLiteral("Дежурные"), 2, 1}}),
              TReserveNames::Reserve);

    const TTableDiff members = DiffTable(Table("KMR_GROUP_FOR_USER"), Rows(MemberColumns, {{2, 1, 7}}),
                                         Rows(MemberColumns, {{2, 1, 9}}));
    ASSERT_EQ(members.Changes.size(), 2);
    const TRowChange& onMain = members.Changes[0];
    EXPECT_EQ(DescribeReserveRow(members, onMain.Main, names, false, ReserveRowSide(onMain)),
              QStringLiteral("Иванов Иван (ivanov) в программе «Дефекты»: группа «Диспетчеры»"));
    const TRowChange& onReserve = members.Changes[1];
    // The reserve's own name of its group; an unknown user by number.
    EXPECT_EQ(DescribeReserveRow(members, onReserve.Reserve, names, false, ReserveRowSide(onReserve)),
              QStringLiteral("пользователь № 9 в программе «Дефекты»: группа «Дежурные»"));
    EXPECT_EQ(DescribeReserveKind(onReserve), QStringLiteral("только на резервном сервере"));

    TRowChange twice;
    twice.Kind = TRowChange::OnlyOnReserve;
    twice.MainCopies = 1;
    twice.ReserveCopies = 2;
    EXPECT_EQ(DescribeReserveKind(twice), QStringLiteral("на основном 1 раз, на резервном 2 раза"));
    for (auto [n, text] : {std::pair{1, "1 раз"},
                           {3, "3 раза"},
                           {5, "5 раз"},
                           {12, "12 раз"},
                           {22, "22 раза"},
                           {111, "111 раз"}})
        EXPECT_EQ(ReserveTimes(n), QString::fromUtf8(text));
}

TEST(ReserveWords, ThePasswordIsNeverShown) {
    const QStringList columns = {QStringLiteral("ALLNAME"), QStringLiteral("NAME"), QStringLiteral("PWD"),
                                 QStringLiteral("TABNUM"), QStringLiteral("WENABLED")};
    const TTableDiff d = DiffTable(Table("KMR_USER_PSW"),
                                   Rows(columns, {{QStringLiteral("Петров"), QStringLiteral("petrov"),
                                                   QStringLiteral("secret1"), 4, QStringLiteral("F")}}),
                                   Rows(columns, {{QStringLiteral("Петров"), QStringLiteral("petrov"),
                                                   QStringLiteral("secret2"), 4, QStringLiteral("T")}}));
    ASSERT_EQ(d.Changes.size(), 1);
    const QStringList lines = DescribeReserveTable(d, TReserveNames());
    const QString all = lines.join(QLatin1Char('\n'));
    EXPECT_FALSE(all.contains(QStringLiteral("secret"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("Пароль: отличается"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("Разрешение на работу: на основном нет, на резервном да")))
        << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("Петров (petrov), № 4 — отличается"))) << all.toStdString();
}

} // namespace
