// The records of one event log search, kept compactly: a million records must fit in memory and be
// read back fast by the grid. Program, user and field names repeat from record to record and are
// stored once; the time and the two values go into large blocks of text.
#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

class TProtocolRecords {
public:
    // The texts of a record, in the grid's column order after the running number.
    enum TColumn { colProgram, colUser, colDate, colField, colOldValue, colNewValue, ColumnCount };

    TProtocolRecords() = default;
    TProtocolRecords(const TProtocolRecords&) = delete;
    TProtocolRecords& operator=(const TProtocolRecords&) = delete;

    void Append(QStringView program, QStringView user, QStringView date, QStringView field,
                QStringView oldValue, QStringView newValue);

    qsizetype Count() const { return qsizetype(FRecords.size()); }
    // A view of a record's text; valid as long as the records live.
    QStringView Text(qsizetype record, int column) const;

    // The user and field names are shared by many records: a filter tests each distinct name once.
    // Number of distinct names, the name of each, and the name a record refers to.
    int NameCount() const { return int(FNames.size()); }
    const QString& Name(int index) const { return FNames[size_t(index)]; }
    int NameOf(qsizetype record, int column) const;

    // Bytes held, for the benchmark's memory figure.
    size_t MemoryBytes() const;

private:
    struct TRecord {
        std::uint32_t Program, User, Field; // indexes into FNames
        std::uint32_t Block;                // block holding date, old and new value one after another
        std::uint32_t Offset;               // in characters from the block's start
        std::uint32_t DateLength, OldLength, NewLength;
    };
    std::uint32_t Intern(QStringView name);
    char16_t* Reserve(size_t characters, std::uint32_t& block, std::uint32_t& offset);

    std::vector<TRecord> FRecords;
    std::vector<QString> FNames;
    // Keys view the texts of FNames, whose character data never moves.
    std::unordered_map<std::u16string_view, std::uint32_t> FNameIndex;
    std::vector<std::unique_ptr<char16_t[]>> FBlocks;
    std::vector<size_t> FBlockSizes;
    size_t FBlockUsed = 0;
};
