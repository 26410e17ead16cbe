#include "ReserveDiff.h"

#include "ReserveTables.h"

#include <QHash>

#include <algorithm>

int TTableDiff::Count(TRowChange::EKind kind) const {
    return int(std::count_if(Changes.begin(), Changes.end(),
                             [kind](const TRowChange& c) { return c.Kind == kind; }));
}

namespace {

// Rows of both servers grouped by their whole text, in the order they were first met.
struct TMultiset {
    struct TEntry {
        const QVariantList* Main = nullptr;
        const QVariantList* Reserve = nullptr;
        int MainCopies = 0;
        int ReserveCopies = 0;
    };
    QList<TEntry> Entries;
    QHash<QString, qsizetype> Index;

    void Add(const QVariantList& row, bool onMain) {
        const QString text = ReserveRowText(row);
        auto it = Index.find(text);
        if (it == Index.end()) {
            it = Index.insert(text, Entries.size());
            Entries.append(TEntry{});
        }
        TEntry& e = Entries[*it];
        if (onMain) {
            e.Main = &row;
            ++e.MainCopies;
        } else {
            e.Reserve = &row;
            ++e.ReserveCopies;
        }
    }

    // The listed differences and the steps that give the reserve the main server's copies.
    void Emit(TTableDiff& diff, bool nullKey, bool executable) const {
        for (const TEntry& e : Entries) {
            if (e.MainCopies == e.ReserveCopies)
                continue;
            TRowChange change;
            change.MainCopies = e.MainCopies;
            change.ReserveCopies = e.ReserveCopies;
            change.NullKey = nullKey;
            if (e.MainCopies > e.ReserveCopies) {
                change.Kind = TRowChange::OnlyOnMain;
                change.Main = *e.Main;
                for (int i = e.ReserveCopies; i < e.MainCopies; ++i)
                    diff.Steps.append({TSyncStep::Insert, *e.Main, {}, executable});
            } else {
                change.Kind = TRowChange::OnlyOnReserve;
                change.Reserve = *e.Reserve;
                diff.Steps.append({TSyncStep::DeleteRow, *e.Reserve, {}, false});
                for (int i = 0; i < e.MainCopies; ++i)
                    diff.Steps.append({TSyncStep::Insert, *e.Main, {}, executable});
            }
            diff.Changes.append(change);
        }
    }
};

QList<int> ColumnIndexes(const QStringList& columns, const QStringList& names) {
    QList<int> indexes;
    for (const QString& name : names) {
        const int i = int(columns.indexOf(name.toUpper()));
        if (i < 0)
            return {};
        indexes << i;
    }
    return indexes;
}

bool AnyNull(const QVariantList& row, const QList<int>& columns) {
    return std::any_of(columns.begin(), columns.end(),
                       [&row](int i) { return ReserveCellText(row.at(i)).isNull(); });
}

QString KeyText(const QVariantList& row, const QList<int>& columns) {
    QVariantList key;
    for (const int i : columns)
        key << row.at(i);
    return ReserveRowText(key);
}

QList<int> ChangedColumns(const QVariantList& a, const QVariantList& b) {
    QList<int> changed;
    for (int i = 0; i < a.size(); ++i)
        if (ReserveCellText(a.at(i)) != ReserveCellText(b.at(i)))
            changed << i;
    return changed;
}

// Numbers in numeric order, texts in text order, NULL first.
bool CellLess(const QVariant& a, const QVariant& b) {
    const QString ta = ReserveCellText(a), tb = ReserveCellText(b);
    if (ta.isNull() || tb.isNull())
        return ta.isNull() && !tb.isNull();
    bool na = false, nb = false;
    const double da = ta.toDouble(&na), db = tb.toDouble(&nb);
    if (na && nb && da != db)
        return da < db;
    return ta < tb;
}

// Changes in the order of their key (or their leading columns), so that lists read the same on
// every run and a user's rows stand together.
void SortChanges(TTableDiff& diff, const QList<int>& order) {
    QList<int> columns = order;
    for (int i = 0; i < diff.Columns.size(); ++i)
        if (!columns.contains(i))
            columns << i;
    auto row = [](const TRowChange& c) -> const QVariantList& {
        return c.Main.isEmpty() ? c.Reserve : c.Main;
    };
    std::stable_sort(diff.Changes.begin(), diff.Changes.end(), [&](const TRowChange& x, const TRowChange& y) {
        const QVariantList& a = row(x);
        const QVariantList& b = row(y);
        for (const int i : columns) {
            if (CellLess(a.at(i), b.at(i)))
                return true;
            if (CellLess(b.at(i), a.at(i)))
                return false;
        }
        return int(x.Kind) < int(y.Kind);
    });
}

void DiffByKey(TTableDiff& diff, const TTableRows& main, const TTableRows& reserve, const QList<int>& key,
               bool executables) {
    const int lengthColumn = diff.Column(QLatin1String(ExecutableLengthColumn));
    const int timeColumn = diff.Column(QStringLiteral("PRDATE_TIME"));
    struct TGroup {
        QList<const QVariantList*> Main, Reserve;
    };
    QList<TGroup> groups;
    QHash<QString, qsizetype> index;
    TMultiset nullKeys;
    auto add = [&](const QVariantList& row, bool onMain) {
        if (AnyNull(row, key)) {
            nullKeys.Add(row, onMain);
            return;
        }
        const QString text = KeyText(row, key);
        auto it = index.find(text);
        if (it == index.end()) {
            it = index.insert(text, groups.size());
            groups.append(TGroup{});
        }
        (onMain ? groups[*it].Main : groups[*it].Reserve).append(&row);
    };
    for (const QVariantList& row : main.Rows)
        add(row, true);
    for (const QVariantList& row : reserve.Rows)
        add(row, false);

    for (const TGroup& g : groups) {
        if (g.Main.size() == 1 && g.Reserve.size() == 1) {
            const QList<int> changed = ChangedColumns(*g.Main.front(), *g.Reserve.front());
            if (changed.isEmpty())
                continue;
            TRowChange change;
            change.Kind = TRowChange::Differs;
            change.Main = *g.Main.front();
            change.Reserve = *g.Reserve.front();
            change.MainCopies = change.ReserveCopies = 1;
            change.Changed = changed;
            diff.Changes.append(change);
            // Bytes travel only when the length or the time says the file is another one.
            const bool bytes =
                executables && (changed.contains(lengthColumn) || changed.contains(timeColumn));
            QList<int> set;
            for (const int c : changed)
                if (c != lengthColumn)
                    set << c;
            diff.Steps.append({TSyncStep::Update, change.Main, set, bytes});
            continue;
        }
        // A key held by one server only, or more than once on a server (no key constraint there):
        // the rows are listed as they are and the reserve's rows of that key are written anew.
        TMultiset rows;
        for (const QVariantList* row : g.Main)
            rows.Add(*row, true);
        for (const QVariantList* row : g.Reserve)
            rows.Add(*row, false);
        const bool differs = std::any_of(rows.Entries.begin(), rows.Entries.end(),
                                         [](const auto& e) { return e.MainCopies != e.ReserveCopies; });
        if (!differs)
            continue;
        TTableDiff part;
        part.Columns = diff.Columns;
        rows.Emit(part, false, executables);
        diff.Changes.append(part.Changes);
        if (!g.Reserve.isEmpty())
            diff.Steps.append({TSyncStep::DeleteByKey, *g.Reserve.front(), {}, false});
        for (const QVariantList* row : g.Main)
            diff.Steps.append({TSyncStep::Insert, *row, {}, executables});
    }
    nullKeys.Emit(diff, true, executables);
}

// Keyless tables: a row only on one server and a row only on the other that agree in the pair
// columns (held once each) are shown as one changed row; the steps stay those of the multiset.
void PairChanges(TTableDiff& diff, const QList<int>& pair) {
    if (pair.isEmpty())
        return;
    auto single = [](const TRowChange& c, TRowChange::EKind kind) {
        return c.Kind == kind && c.MainCopies + c.ReserveCopies == 1;
    };
    QHash<QString, QList<qsizetype>> onMain, onReserve;
    for (qsizetype i = 0; i < diff.Changes.size(); ++i) {
        const TRowChange& c = diff.Changes.at(i);
        if (single(c, TRowChange::OnlyOnMain))
            onMain[KeyText(c.Main, pair)] << i;
        else if (single(c, TRowChange::OnlyOnReserve))
            onReserve[KeyText(c.Reserve, pair)] << i;
    }
    QList<qsizetype> drop;
    for (auto it = onMain.cbegin(); it != onMain.cend(); ++it) {
        const QList<qsizetype> other = onReserve.value(it.key());
        if (it->size() != 1 || other.size() != 1)
            continue;
        TRowChange& m = diff.Changes[it->front()];
        const TRowChange& r = diff.Changes.at(other.front());
        m.Kind = TRowChange::Differs;
        m.Reserve = r.Reserve;
        m.ReserveCopies = 1;
        m.Changed = ChangedColumns(m.Main, m.Reserve);
        drop << other.front();
    }
    std::sort(drop.begin(), drop.end(), std::greater<>());
    for (const qsizetype i : drop)
        diff.Changes.removeAt(i);
}

} // namespace

TTableDiff DiffTable(const TReserveTable& table, const TTableRows& main, const TTableRows& reserve) {
    TTableDiff diff;
    diff.Table = &table;
    diff.Columns = main.Columns;
    diff.Types = main.Types;
    diff.MainRows = main.Count;
    diff.ReserveRows = reserve.Count;
    for (const QString& c : main.Columns)
        if (!reserve.Columns.contains(c))
            diff.MainOnlyColumns << c;
    for (const QString& c : reserve.Columns)
        if (!main.Columns.contains(c))
            diff.ReserveOnlyColumns << c;
    if (diff.StructureDiffers())
        return diff;

    const QList<int> key = ColumnIndexes(diff.Columns, table.KeyColumns);
    if (!key.isEmpty()) {
        DiffByKey(diff, main, reserve, key, table.Executables);
        SortChanges(diff, key);
        return diff;
    }
    TMultiset rows;
    for (const QVariantList& row : main.Rows)
        rows.Add(row, true);
    for (const QVariantList& row : reserve.Rows)
        rows.Add(row, false);
    rows.Emit(diff, false, false);
    const QList<int> pair = ColumnIndexes(diff.Columns, table.PairColumns);
    PairChanges(diff, pair);
    SortChanges(diff, pair);
    return diff;
}
