// The event log grid's rows: the records of the last search, narrowed by the filter text. The
// running number is the grid's row header (a fixed first column); the six texts are the columns.
// With nothing to show the grid holds one empty row, as before the first search.
#pragma once

#include "ProtocolRecords.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <memory>
#include <vector>

// The rows a grid shows, frozen: the records of a search and, under a filter, which of them. Cheap to
// copy, and safe to read on another thread while the grid moves on (CSV file written in the background).
struct TProtocolRows {
    std::shared_ptr<const TProtocolRecords> Records;
    std::shared_ptr<const std::vector<std::uint32_t>> Shown; // null: every record

    qsizetype Count() const;
    // The record shown in a row (0 to Count() - 1).
    qsizetype RecordAt(qsizetype row) const { return Shown ? qsizetype((*Shown)[size_t(row)]) : row; }
};

class TProtocolModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TProtocolModel(QObject* parent = nullptr);

    // The seven headers of the grid: the running number's first.
    static QStringList Headers();

    // Replaces the rows with those of a search (none: no search yet); the filter stays.
    void SetRecords(std::shared_ptr<const TProtocolRecords> records);
    const std::shared_ptr<const TProtocolRecords>& Records() const { return FRecords; }
    // Shows only the records whose user, field, previous or new value contains the text, whatever
    // the case; an empty text shows every record.
    void SetFilter(const QString& text);
    const QString& Filter() const { return FFilter; }

    // The rows shown now, to be read elsewhere.
    TProtocolRows ShownRows() const { return {FRecords, FShown}; }
    // Records of the last search, and those the filter lets through.
    qsizetype RecordCount() const;
    qsizetype ShownCount() const;
    // The record a grid row shows; -1 for the empty row.
    qsizetype RecordAt(int row) const;
    // A cell as the grid shows it: column 0 the running number, 1 to 6 the texts.
    QString CellText(int row, int gridColumn) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void ApplyFilter();

    std::shared_ptr<const TProtocolRecords> FRecords;
    QString FFilter;
    // The records shown, when a filter is set.
    std::shared_ptr<const std::vector<std::uint32_t>> FShown;
};
