#include "ProtocolModel.h"

#include <climits>

qsizetype TProtocolRows::Count() const {
    if (!Records)
        return 0;
    return Shown ? qsizetype(Shown->size()) : Records->Count();
}

TProtocolModel::TProtocolModel(QObject* parent) : QAbstractTableModel(parent) {}

QStringList TProtocolModel::Headers() {
    return {QStringLiteral("№ пп"),           QStringLiteral("Задача"), QStringLiteral("Пользователь"),
            QStringLiteral("Дата изменения"), QStringLiteral("Поле"),   QStringLiteral("Предыдущее значение"),
            QStringLiteral("Новое значение")};
}

void TProtocolModel::SetRecords(std::shared_ptr<const TProtocolRecords> records) {
    beginResetModel();
    FRecords = std::move(records);
    ApplyFilter();
    endResetModel();
}

void TProtocolModel::SetFilter(const QString& text) {
    const QString filter = text.trimmed();
    if (filter == FFilter)
        return;
    beginResetModel();
    FFilter = filter;
    ApplyFilter();
    endResetModel();
}

void TProtocolModel::ApplyFilter() {
    FShown.reset();
    if (FFilter.isEmpty() || !FRecords)
        return;
    const TProtocolRecords& records = *FRecords;
    // Each distinct user and field name is tested once, not once per record.
    std::vector<char> nameMatches(size_t(records.NameCount()));
    for (int i = 0; i < records.NameCount(); ++i)
        nameMatches[size_t(i)] = records.Name(i).contains(FFilter, Qt::CaseInsensitive);
    auto shown = std::make_shared<std::vector<std::uint32_t>>();
    for (qsizetype r = 0; r < records.Count(); ++r) {
        const bool match =
            nameMatches[size_t(records.NameOf(r, TProtocolRecords::colUser))] ||
            nameMatches[size_t(records.NameOf(r, TProtocolRecords::colField))] ||
            records.Text(r, TProtocolRecords::colOldValue).contains(FFilter, Qt::CaseInsensitive) ||
            records.Text(r, TProtocolRecords::colNewValue).contains(FFilter, Qt::CaseInsensitive);
        if (match)
            shown->push_back(std::uint32_t(r));
    }
    FShown = std::move(shown);
}

qsizetype TProtocolModel::RecordCount() const {
    return FRecords ? FRecords->Count() : 0;
}

qsizetype TProtocolModel::ShownCount() const {
    return ShownRows().Count();
}

qsizetype TProtocolModel::RecordAt(int row) const {
    if (row < 0 || row >= ShownCount())
        return -1;
    return FShown ? qsizetype((*FShown)[size_t(row)]) : row;
}

QString TProtocolModel::CellText(int row, int gridColumn) const {
    const qsizetype record = RecordAt(row);
    if (record < 0 || gridColumn < 0 || gridColumn > TProtocolRecords::ColumnCount)
        return QString();
    if (gridColumn == 0)
        return QString::number(record + 1);
    return FRecords->Text(record, gridColumn - 1).toString();
}

int TProtocolModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    // The grid's row count is an int; a search never yields that many records in practice.
    return int(std::max<qsizetype>(1, std::min<qsizetype>(ShownCount(), INT_MAX)));
}

int TProtocolModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : TProtocolRecords::ColumnCount;
}

QVariant TProtocolModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return CellText(index.row(), index.column() + 1);
    case Qt::TextAlignmentRole:
        return int(Qt::AlignLeft | Qt::AlignTop);
    default:
        return QVariant();
    }
}

QVariant TProtocolModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= TProtocolRecords::ColumnCount)
            return QVariant();
        // A title cut short by a narrow column is read whole in its hint.
        return role == Qt::DisplayRole || role == Qt::ToolTipRole ? QVariant(Headers().at(section + 1))
                                                                  : QVariant();
    }
    switch (role) {
    case Qt::DisplayRole:
        return CellText(section, 0);
    case Qt::TextAlignmentRole:
        return int(Qt::AlignCenter);
    default:
        return QVariant();
    }
}
