// Bind variables and column buffers of the access layer, and its exception base.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QVariant>
#include <exception>
#include <memory>
#include <vector>

// Oracle external datatype codes used for bind variables and column buffers.
enum : int {
    otInteger = 3, // 4-byte signed integer
    otFloat = 4,   // 8-byte double
    otString = 5,  // NUL-terminated text, buffer of 4001 bytes (more for multi-byte UTF-8 text)
    otLong = 8,    // LONG text, any length
    otDate = 12,   // Oracle's 7-byte date
    otLongRaw = 24 // LONG RAW bytes, any length
};

// What a NULL column or variable reads as: nvUnAssigned an invalid QVariant(), nvNull a valid variant
// holding nullptr (QVariant::isValid() true, isNull() true).
enum TNullValueOption { nvUnAssigned, nvNull };

// Base of every exception the access layer raises: misuse and client-library failures are raised
// as Exception itself, server errors as EOracleError. Message() is the text the user sees.
class Exception : public std::exception {
public:
    explicit Exception(const QString& message);
    const QString& Message() const { return FMessage; }
    const char* what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8;
};

// The date an impossible or year-0 server date reads as: the day before 1 January of year 1.
QDateTime OracleZeroDate();
// Day numbers as Windows date-times count them (0 = 30 December 1899, fraction = time of day).
QDateTime DateTimeFromDayNumber(double days);
double DayNumberFromDateTime(const QDateTime& value);
// Oracle's 7-byte DATE (century+100, year+100, month, day, hour+1, minute+1, second+1).
QDateTime DateFromOracle(const unsigned char* bytes);
// Returns false when the value cannot be stored as an Oracle date (year out of -4712..9999).
bool DateToOracle(const QDateTime& value, unsigned char* bytes);

// One bind variable. The buffers are owned here and bound by address; the query rebinds a variable
// only when its buffer has moved.
class TVariableData {
public:
    TVariableData(const QString& name, int dataType);

    const QString& Name() const { return FName; } // ":" + upper-cased name
    int DataType() const { return FDataType; }
    bool IsNull() const { return FIndicator != 0; }

    // Stores the value converted to the variable's type; raises the documented conversion errors.
    void SetValue(const QVariant& value);
    // Long and long raw only: the variable refers to the caller's bytes, which must stay alive and
    // unchanged until the statement has executed. A null pointer or length 0 makes it NULL.
    void SetLongValue(const void* data, int length);
    QVariant Value(TNullValueOption nullValue = nvUnAssigned) const;
    void SetNull();

    // What the query hands to the client library when binding.
    void* BindBuffer();
    int BindSize() const;
    short* Indicator() { return &FIndicator; }
    // Actual length for long values up to 65535 bytes; nullptr otherwise (the size then counts).
    unsigned short* BindLength();

    // Bind bookkeeping kept by the query: the statement and buffer of the last bind.
    void* BoundStatement = nullptr;
    const void* BoundBuffer = nullptr;
    int BoundSize = -1;

private:
    QString FName;
    int FDataType;
    std::vector<char> FBuffer;       // integer, float, string, date and owned long values
    const char* FExternal = nullptr; // SetLongValue bytes, not owned
    int FLongLength = 0;
    short FIndicator = -1;
    unsigned short FShortLength = 0;
};

// The ordered collection of declared variables. Names are matched without regard to case, with or
// without the leading colon.
class TVariables {
public:
    TVariables();
    ~TVariables();
    TVariables(const TVariables&) = delete;
    TVariables& operator=(const TVariables&) = delete;

    // ":" + upper-cased name, the form in which variables are stored and bound.
    static QString NormalName(const QString& name);

    int Count() const { return int(FItems.size()); }
    TVariableData* Data(int index) const { return FItems.at(size_t(index)).get(); }
    TVariableData* Find(const QString& name) const; // nullptr when not declared
    int IndexOf(const QString& name) const;         // -1 when not declared

    // Declares a variable, or re-declares it in place with the new type (value becomes NULL).
    // Raises "You cannot declare a variable with an empty name" / "Unsupported variable type".
    TVariableData* Declare(const QString& name, int dataType);
    void Delete(const QString& name);
    void Clear();

private:
    std::vector<std::unique_ptr<TVariableData>> FItems;
};

// Description and fetch buffers of one select-list column, for one block of rows.
// A text as the server delivered it (UTF-8) the way Field gives it: line breaks made CR LF.
QString TextFromServer(const char* bytes, qsizetype size);

class TFieldData {
public:
    QString Name; // as the server returns it
    // The name this column was last found by: the same string again (a literal read row after row) is
    // recognised by its data without comparing the text.
    mutable QString LookupName;
    int ServerType = 0; // server datatype code (1 VARCHAR2, 2 NUMBER, 12 DATE, 96 CHAR, ...)
    int Size = 0;
    int Precision = 0;
    int Scale = 0;
    bool Nullable = true;
    int BufferType = otString; // otInteger, otFloat, otString, otDate, otLong, otLongRaw
    int BufferSize = 0;        // bytes per row
    bool IsRaw = false;        // RAW column delivered as hexadecimal text
    // Block buffers (BufferSize bytes per row) with indicator and length per row.
    std::vector<char> Buffer;
    std::vector<short> Indicators;
    std::vector<unsigned short> Lengths;
    std::vector<unsigned short> ReturnCodes;
    // LONG and LONG RAW values, collected piece by piece (one row per block).
    QByteArray LongValue;
    short LongIndicator = -1;
    qsizetype PieceStart = 0;     // bytes of LongValue complete before the piece being fetched
    unsigned int PieceLength = 0; // capacity handed out, then the bytes the client wrote
    unsigned short PieceCode = 0;

    void Allocate(int rows);
    bool IsNull(int row) const;
    // The value as Field and FieldAsString deliver it.
    QVariant Value(int row, TNullValueOption nullValue) const;
    // Raises "Cannot convert field <name> to a String" for types without a text form.
    QString AsString(int row) const;
    // The bytes of a text value (otString) as delivered, without conversion.
    QByteArrayView TextBytes(int row) const;
};
