#include "OracleData.h"

#include "OciDefs.h"

#include <QStringDecoder>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

const char* const SavepointName = "TAV__LOCKPOINT";
const char* const RowIdVariable = ":tav__rowid";

// Server datatype codes of a row address: ROWID as described (104) or stored (69), the old external
// ROWID (11), UROWID (208).
bool IsRowAddressType(int type) {
    return type == SQLT_RDD || type == 69 || type == SQLT_RID || type == 208;
}

QString RowIdMissing(const QString& operation) {
    return operation + " cannot be performed without a rowid.\r\n"
                       "Provide a rowid in the query or handle this action in the OnApplyRecord event";
}

[[noreturn]] void RaiseDeleted() {
    throw EDatabaseError("Record has been deleted by another user");
}
[[noreturn]] void RaiseChanged() {
    throw EDatabaseError("Record has been changed by another user");
}

bool IsNullValue(const QVariant& value) {
    return !value.isValid() || value.isNull();
}

QString TrimRight(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.left(end);
}

bool IsTextType(TFieldType type) {
    return type == ftString || type == ftMemo;
}

// NULL and a text of blanks count the same.
bool IsBlank(const TField& field, const QVariant& value) {
    if (IsNullValue(value))
        return true;
    return IsTextType(field.DataType()) && TrimRight(value.toString()).isEmpty();
}

// --- record packing ---
//
// A record is one byte array: the ROWID text, then one item per field. An item is a tag byte and
// the value's bytes; text is kept as Latin-1 when it fits, else as UTF-16. One allocation per row
// keeps 100 000 rows cheap compared with a variant per value.
enum Tag : char {
    TagNull,
    TagInt,
    TagInt64,
    TagDouble,
    TagLatin1,
    TagUtf16,
    TagDateTime,
    TagBytes,
    TagBool,
    TagDate
};

// The bytes of a record being packed. Every value of every fetched row is appended here, so appending
// is inline and does no more than copy; emptied, it keeps its room for the next row.
class TPackBuffer {
public:
    const char* data() const { return FBytes.get(); }
    size_t size() const { return FSize; }
    void clear() { FSize = 0; }
    // Room for n more bytes at the end, to be written by the caller.
    char* Grow(size_t n) {
        if (n > FCapacity - FSize)
            Reserve(FSize + n);
        char* at = FBytes.get() + FSize;
        FSize += n;
        return at;
    }
    void append(char c) { *Grow(1) = c; }
    void append(const char* bytes, size_t n) {
        if (n > 0)
            std::memcpy(Grow(n), bytes, n);
    }

private:
    void Reserve(size_t needed) {
        const size_t capacity = std::max<size_t>({needed, FCapacity * 2, 256});
        auto bytes = std::make_unique_for_overwrite<char[]>(capacity);
        if (FSize > 0)
            std::memcpy(bytes.get(), FBytes.get(), FSize);
        FBytes = std::move(bytes);
        FCapacity = capacity;
    }

    std::unique_ptr<char[]> FBytes;
    size_t FSize = 0, FCapacity = 0;
};

template <typename T> void PutRaw(TPackBuffer& out, const T& value) {
    std::memcpy(out.Grow(sizeof(T)), &value, sizeof(T));
}

template <typename T> T GetRaw(const char*& p) {
    T value;
    std::memcpy(&value, p, sizeof(T));
    p += sizeof(T);
    return value;
}

void PutText(TPackBuffer& out, const char16_t* src, quint32 length) {
    bool latin1 = true;
    for (quint32 i = 0; i < length; ++i)
        if (src[i] > 0xFF) {
            latin1 = false;
            break;
        }
    if (latin1) {
        out.append(TagLatin1);
        PutRaw(out, length);
        char* dst = out.Grow(length);
        for (quint32 i = 0; i < length; ++i)
            dst[i] = char(src[i]);
    } else {
        out.append(TagUtf16);
        PutRaw(out, length);
        out.append(reinterpret_cast<const char*>(src), size_t(length) * 2);
    }
}

void PutText(TPackBuffer& out, const QString& text) {
    PutText(out, reinterpret_cast<const char16_t*>(text.utf16()), quint32(text.size()));
}

void PutValue(TPackBuffer& out, const QVariant& value) {
    if (IsNullValue(value)) {
        out.append(TagNull);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::QString:
        PutText(out, *static_cast<const QString*>(value.constData()));
        return;
    case QMetaType::Int:
        out.append(TagInt);
        PutRaw(out, qint32(value.toInt()));
        return;
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
        out.append(TagInt64);
        PutRaw(out, qint64(value.toLongLong()));
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        out.append(TagDouble);
        PutRaw(out, value.toDouble());
        return;
    case QMetaType::Bool:
        out.append(TagBool);
        out.append(char(value.toBool() ? 1 : 0));
        return;
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        if (!dt.isValid()) {
            out.append(TagNull);
            return;
        }
        // Wall-clock parts, so the value comes back exactly as the server delivered it.
        out.append(TagDateTime);
        PutRaw(out, qint64(dt.date().toJulianDay()));
        PutRaw(out, qint32(dt.time().msecsSinceStartOfDay()));
        out.append(char(dt.timeSpec()));
        return;
    }
    case QMetaType::QDate:
        out.append(TagDate);
        PutRaw(out, qint64(value.toDate().toJulianDay()));
        return;
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        out.append(TagBytes);
        PutRaw(out, quint32(bytes.size()));
        out.append(bytes.constData(), size_t(bytes.size()));
        return;
    }
    default:
        PutText(out, value.toString());
        return;
    }
}

// Reads the item at p and moves p past it.
QVariant TakeValue(const char*& p) {
    const char tag = *p++;
    switch (tag) {
    case TagInt:
        return GetRaw<qint32>(p);
    case TagInt64:
        return GetRaw<qint64>(p);
    case TagDouble:
        return GetRaw<double>(p);
    case TagBool:
        return bool(*p++);
    case TagLatin1: {
        const quint32 length = GetRaw<quint32>(p);
        const QString text = QString::fromLatin1(p, qsizetype(length));
        p += length;
        return text;
    }
    case TagUtf16: {
        const quint32 length = GetRaw<quint32>(p);
        QString text(qsizetype(length), Qt::Uninitialized);
        std::memcpy(text.data(), p, size_t(length) * 2);
        p += size_t(length) * 2;
        return text;
    }
    case TagDateTime: {
        const qint64 day = GetRaw<qint64>(p);
        const qint32 msecs = GetRaw<qint32>(p);
        const auto timeSpec = Qt::TimeSpec(*p++);
        const QDate date = QDate::fromJulianDay(day);
        const QTime time = QTime::fromMSecsSinceStartOfDay(msecs);
        if (timeSpec == Qt::UTC)
            return QDateTime(date, time, Qt::UTC);
        return QDateTime(date, time);
    }
    case TagDate:
        return QDate::fromJulianDay(GetRaw<qint64>(p));
    case TagBytes: {
        const quint32 length = GetRaw<quint32>(p);
        QByteArray bytes(p, qsizetype(length));
        p += length;
        return bytes;
    }
    default:
        return QVariant();
    }
}

void SkipValue(const char*& p) {
    const char tag = *p++;
    switch (tag) {
    case TagInt:
        p += 4;
        break;
    case TagInt64:
    case TagDouble:
    case TagDate:
        p += 8;
        break;
    case TagBool:
        p += 1;
        break;
    case TagDateTime:
        p += 13;
        break;
    case TagLatin1:
    case TagBytes: {
        const quint32 length = GetRaw<quint32>(p);
        p += length;
        break;
    }
    case TagUtf16: {
        const quint32 length = GetRaw<quint32>(p);
        p += size_t(length) * 2;
        break;
    }
    default:
        break;
    }
}

// A text column of the row being loaded, packed as PutText packs what Field gives for it, without
// building a string: ASCII is copied as it is, other UTF-8 decoded into the reader's buffer.
class TTextPacker {
public:
    void Put(TPackBuffer& out, QByteArrayView bytes) {
        const qsizetype size = bytes.size();
        if (std::memchr(bytes.data(), '\n', size_t(size)) || std::memchr(bytes.data(), '\r', size_t(size))) {
            PutText(out, TextFromServer(bytes.data(), size));
            return;
        }
        bool ascii = true;
        for (qsizetype i = 0; i < size && ascii; ++i)
            ascii = static_cast<unsigned char>(bytes[i]) < 0x80;
        if (ascii) {
            out.append(TagLatin1);
            PutRaw(out, quint32(size));
            out.append(bytes.data(), size_t(size));
            return;
        }
        FBuffer.resize(size_t(FDecoder.requiredSpace(size)));
        const QChar* end = FDecoder.appendToBuffer(FBuffer.data(), bytes);
        PutText(out, reinterpret_cast<const char16_t*>(FBuffer.data()), quint32(end - FBuffer.data()));
    }

private:
    // As QString::fromUtf8: no state kept between values, a leading byte order mark dropped.
    QStringDecoder FDecoder{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless};
    std::vector<QChar> FBuffer;
};

// A column of the row being loaded, packed as PutValue packs what Field gives for it.
void PutColumn(TPackBuffer& out, TTextPacker& text, const TFieldData& column, int row) {
    if (column.IsNull(row)) {
        out.append(TagNull);
        return;
    }
    switch (column.BufferType) {
    case otInteger: {
        // What Value reads: four bytes as the client wrote them.
        qint32 v = 0;
        std::memcpy(&v, column.Buffer.data() + size_t(row) * size_t(column.BufferSize), 4);
        out.append(TagInt);
        PutRaw(out, v);
        return;
    }
    case otFloat: {
        double v = 0;
        std::memcpy(&v, column.Buffer.data() + size_t(row) * size_t(column.BufferSize), 8);
        out.append(TagDouble);
        PutRaw(out, v);
        return;
    }
    case otString:
        text.Put(out, column.TextBytes(row));
        return;
    default:
        PutValue(out, column.Value(row, nvUnAssigned));
        return;
    }
}

QByteArray PackRecord(const QString& rowId, const QVariantList& values) {
    TPackBuffer out;
    PutText(out, rowId);
    for (const QVariant& v : values)
        PutValue(out, v);
    return QByteArray(out.data(), qsizetype(out.size()));
}

// Item 0 is the ROWID, item i + 1 the value of field i.
QVariant UnpackItem(const char* record, int item) {
    const char* p = record;
    for (int i = 0; i < item; ++i)
        SkipValue(p);
    return TakeValue(p);
}

QVariantList UnpackValues(const char* record, int count) {
    QVariantList values;
    values.reserve(count);
    const char* p = record;
    SkipValue(p);
    for (int i = 0; i < count; ++i)
        values.append(TakeValue(p));
    return values;
}

// The comparisons of the concurrency check: a value as read against the row as the server has it.
bool SameAsServer(const TField& field, const QVariant& mine, const QVariant& server) {
    const bool blankMine = IsBlank(field, mine);
    QVariant serverValue = server;
    if (field.DataType() == ftString && !IsNullValue(serverValue) && field.Size() > 0)
        serverValue = serverValue.toString().left(field.Size());
    const bool blankServer = IsBlank(field, serverValue);
    if (blankMine || blankServer)
        return blankMine == blankServer;
    switch (field.DataType()) {
    case ftInteger:
        return mine.toLongLong() == serverValue.toLongLong();
    case ftFloat: {
        const double a = mine.toDouble();
        const double b = serverValue.toDouble();
        if (b == 0)
            return std::fabs(a) < 1e-10;
        return std::fabs((a - b) / b) < 1e-10;
    }
    case ftDateTime:
        return std::llabs(mine.toDateTime().msecsTo(serverValue.toDateTime())) <= 1000;
    case ftString:
    case ftMemo:
        return TrimRight(mine.toString()) == TrimRight(serverValue.toString());
    case ftBlob:
        return mine.toByteArray() == serverValue.toByteArray();
    }
    return false;
}

// Whether a pending value differs from the value as read (text without trailing blanks).
bool SameAsOld(const TField& field, const QVariant& value, const QVariant& old) {
    const bool blankValue = IsBlank(field, value);
    const bool blankOld = IsBlank(field, old);
    if (blankValue || blankOld)
        return blankValue == blankOld;
    switch (field.DataType()) {
    case ftInteger:
        return value.toLongLong() == old.toLongLong();
    case ftFloat:
        return value.toDouble() == old.toDouble();
    case ftDateTime:
        return value.toDateTime() == old.toDateTime();
    case ftString:
    case ftMemo:
        return TrimRight(value.toString()) == TrimRight(old.toString());
    case ftBlob:
        return value.toByteArray() == old.toByteArray();
    }
    return false;
}

} // namespace

QString TOracleDataSet::ErrorMessage(const EOracleError& error) {
    const int code = error.ErrorCode();
    if (code == 54) // resource busy: another session holds the row
        return "Record is locked by another user";
    if (code >= 20000 && code <= 20999) {
        // Raised by server code: keep the application's lines, drop the PL/SQL call stack.
        const QString text = error.Message();
        const qsizetype at = text.indexOf("ORA-06512");
        if (at >= 0) {
            const qsizetype lineStart = text.lastIndexOf(QLatin1Char('\n'), at) + 1;
            return text.left(lineStart);
        }
        return text;
    }
    return error.Message();
}

namespace {

bool IsNameChar(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$') || c == QLatin1Char('#');
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TField

QVariant TField::Value() const {
    return FDataSet->CurrentFieldValue(FIndex);
}

void TField::SetValue(const QVariant& value) {
    FDataSet->SetFieldValue(FIndex, value);
}

QVariant TField::OldValue() const {
    return FDataSet->OldFieldValue(FIndex);
}

bool TField::IsNull() const {
    return IsBlank(*this, Value());
}

QString TField::AsString() const {
    return Text(Value());
}

int TField::AsInteger() const {
    const QVariant v = Value();
    if (IsNullValue(v))
        return 0;
    if (FDataType == ftFloat)
        return int(std::lround(v.toDouble()));
    return v.toInt();
}

double TField::AsFloat() const {
    const QVariant v = Value();
    return IsNullValue(v) ? 0.0 : v.toDouble();
}

QDateTime TField::AsDateTime() const {
    const QVariant v = Value();
    return IsNullValue(v) ? QDateTime() : v.toDateTime();
}

QVariant TField::Convert(const QVariant& value) const {
    if (IsNullValue(value))
        return QVariant();
    const bool isText = value.typeId() == QMetaType::QString;
    switch (FDataType) {
    case ftInteger: {
        if (isText) {
            const QString text = value.toString().trimmed();
            if (text.isEmpty())
                return QVariant();
            bool ok = false;
            const int number = text.toInt(&ok);
            if (!ok)
                throw EDatabaseError(QString("'%1' is not a valid integer value").arg(value.toString()));
            return number;
        }
        if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
            const double d = std::round(value.toDouble());
            if (!(d >= -2147483648.0 && d <= 2147483647.0))
                throw EDatabaseError(QString("'%1' is not a valid integer value").arg(value.toString()));
            return int(d);
        }
        bool ok = false;
        const qlonglong number = value.toLongLong(&ok);
        if (!ok || number < INT32_MIN || number > INT32_MAX)
            throw EDatabaseError(QString("'%1' is not a valid integer value").arg(value.toString()));
        return int(number);
    }
    case ftFloat: {
        if (isText) {
            QString text = value.toString().trimmed();
            if (text.isEmpty())
                return QVariant();
            text.replace(QLatin1Char(','), QLatin1Char('.'));
            bool ok = false;
            const double number = text.toDouble(&ok);
            if (!ok)
                throw EDatabaseError(
                    QString("'%1' is not a valid floating point value").arg(value.toString()));
            return number;
        }
        bool ok = false;
        const double number = value.toDouble(&ok);
        if (!ok)
            throw EDatabaseError(QString("'%1' is not a valid floating point value").arg(value.toString()));
        return number;
    }
    case ftString:
    case ftMemo:
        return value.toString();
    case ftDateTime: {
        if (value.typeId() == QMetaType::QDateTime)
            return value;
        if (value.typeId() == QMetaType::QDate)
            return value.toDate().startOfDay();
        if (value.typeId() == QMetaType::Double)
            return DateTimeFromDayNumber(value.toDouble());
        const QString text = value.toString().trimmed();
        if (text.isEmpty())
            return QVariant();
        for (const char* format : {"dd.MM.yyyy hh:mm:ss", "dd.MM.yyyy hh:mm", "dd.MM.yyyy", "d.M.yyyy"}) {
            const QDateTime dt = QDateTime::fromString(text, QString::fromLatin1(format));
            if (dt.isValid())
                return dt;
        }
        const QDateTime iso = QDateTime::fromString(text, Qt::ISODate);
        if (iso.isValid())
            return iso;
        throw EDatabaseError(QString("'%1' is not a valid date and time").arg(value.toString()));
    }
    case ftBlob:
        if (value.typeId() == QMetaType::QByteArray)
            return value;
        return value.toString().toUtf8();
    }
    return value;
}

QString TField::Text(const QVariant& value) const {
    if (IsNullValue(value))
        return QString();
    switch (FDataType) {
    case ftInteger:
        return QString::number(value.toLongLong());
    case ftFloat:
        return QString::number(value.toDouble(), 'g', 15);
    case ftDateTime: {
        const QDateTime dt = value.toDateTime();
        if (dt.time() == QTime(0, 0))
            return dt.toString("dd.MM.yyyy");
        return dt.toString("dd.MM.yyyy hh:mm:ss");
    }
    case ftBlob:
        return QString::fromLatin1(value.toByteArray());
    case ftString:
    case ftMemo:
        return value.toString();
    }
    return value.toString();
}

// ---------------------------------------------------------------------------------------------
// TOracleDataSet: properties

TOracleDataSet::TOracleDataSet(QObject* owner) : QObject(owner), FMainQuery(new TOracleQuery(this)) {
    FMainQuery->setObjectName("MainQuery");
}

TOracleDataSet::~TOracleDataSet() {
    if (FRegisteredSession)
        FRegisteredSession->UnregisterClient(this);
}

TOracleSession* TOracleDataSet::Session() const {
    return FMainQuery->Session();
}

void TOracleDataSet::SetSession(TOracleSession* session) {
    if (session == Session())
        return;
    Close();
    if (FRegisteredSession)
        FRegisteredSession->UnregisterClient(this);
    FRegisteredSession = session;
    if (session)
        session->RegisterClient(this);
    FMainQuery->SetSession(session);
}

QStringList& TOracleDataSet::SQL() {
    return FMainQuery->SQL();
}
const QStringList& TOracleDataSet::SQL() const {
    return FMainQuery->SQL();
}

void TOracleDataSet::SetSQLText(const QString& text) {
    Close();
    FMainQuery->SetSQLText(text);
}

void TOracleDataSet::SetReadBuffer(int rows) {
    FReadBuffer = rows > 0 ? rows : 1;
}

void TOracleDataSet::SetOptimize(bool value) {
    FOptimize = value;
    FMainQuery->SetOptimize(value);
    if (FDMLQuery)
        FDMLQuery->SetOptimize(value);
}

void TOracleDataSet::SetUpdatingTable(const QString& table) {
    FUpdatingTable = table;
    FUpdatingTableCache.clear();
}

QString TOracleDataSet::UpdatingTableName() {
    if (!FUpdatingTable.isEmpty())
        return FUpdatingTable.toUpper().remove(QLatin1Char('"'));
    if (FUpdatingTableCache.isEmpty())
        FUpdatingTableCache = TableNameFromSQL(SQL().join("\r\n"));
    return FUpdatingTableCache;
}

QString TOracleDataSet::TableNameFromSQL(const QString& sql) {
    // Comments go, quoted text stays.
    QString text;
    text.reserve(sql.size());
    for (qsizetype i = 0; i < sql.size();) {
        const QChar c = sql.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            const qsizetype end = sql.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? sql.size() : end + 1;
            text += sql.mid(i, stop - i);
            i = stop;
        } else if (sql.mid(i, 2) == QLatin1String("/*")) {
            const qsizetype end = sql.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? sql.size() : end + 2;
            text += QLatin1Char(' ');
        } else if (sql.mid(i, 2) == QLatin1String("--")) {
            const qsizetype end = sql.indexOf(QLatin1Char('\n'), i + 2);
            i = end < 0 ? sql.size() : end;
            text += QLatin1Char(' ');
        } else {
            text += c;
            ++i;
        }
    }
    text = text.toUpper();

    // The first FROM outside parentheses (a sub-select in the select list has FROMs of its own).
    int depth = 0;
    qsizetype i = 0;
    const qsizetype n = text.size();
    for (; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            const qsizetype end = text.indexOf(c, i + 1);
            i = end < 0 ? n : end;
            continue;
        }
        if (c == QLatin1Char('('))
            ++depth;
        else if (c == QLatin1Char(')'))
            --depth;
        else if (depth == 0 && text.mid(i, 4) == QLatin1String("FROM") &&
                 (i == 0 || !IsNameChar(text.at(i - 1))) && (i + 4 >= n || !IsNameChar(text.at(i + 4)))) {
            i += 4;
            break;
        }
    }
    if (i >= n)
        return QString();
    auto skipBlanks = [&] {
        while (i < n && text.at(i).isSpace())
            ++i;
    };
    skipBlanks();
    if (i < n && text.at(i) == QLatin1Char('(')) {
        // An inline view: skip it, the name after it is what the statement calls it.
        int level = 0;
        for (; i < n; ++i) {
            if (text.at(i) == QLatin1Char('('))
                ++level;
            else if (text.at(i) == QLatin1Char(')') && --level == 0) {
                ++i;
                break;
            }
        }
        skipBlanks();
    }
    QString name;
    while (i < n) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('"')) {
            const qsizetype end = text.indexOf(c, i + 1);
            const qsizetype stop = end < 0 ? n : end;
            name += text.mid(i + 1, stop - i - 1);
            i = stop + 1;
        } else if (IsNameChar(c) || c == QLatin1Char('.')) {
            name += c;
            ++i;
        } else {
            break;
        }
    }
    return name;
}

TVariables& TOracleDataSet::Variables() {
    return FMainQuery->Variables();
}

void TOracleDataSet::DeclareVariable(const QString& name, int dataType) {
    FMainQuery->DeclareVariable(name, dataType);
}

void TOracleDataSet::SetVariable(const QString& name, const QVariant& value) {
    FMainQuery->SetVariable(name, value);
}

void TOracleDataSet::SetLongVariable(const QString& name, const void* data, int length) {
    FMainQuery->SetLongVariable(name, data, length);
}

QVariant TOracleDataSet::GetVariable(const QString& name) const {
    return FMainQuery->GetVariable(name);
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

void TOracleDataSet::SetReadOnly(bool value) {
    if (FReadOnly == value)
        return;
    FReadOnly = value;
    emit StateChanged();
}

bool TOracleDataSet::CanModify() const {
    return Active() && !FReadOnly && FRowIdColumn >= 0;
}

void TOracleDataSet::SetActive(bool value) {
    if (value)
        Open();
    else
        Close();
}

void TOracleDataSet::CheckActive() const {
    if (!Active())
        throw EDatabaseError("Cannot perform this operation on a closed dataset");
}

void TOracleDataSet::CheckInactive() const {
    if (Active())
        throw EDatabaseError("Cannot perform this operation on an open dataset");
}

void TOracleDataSet::CheckCanModify() const {
    if (!CanModify())
        throw EDatabaseError("Cannot modify a read-only dataset");
}

void TOracleDataSet::Open() {
    if (Active())
        return;
    FMainQuery->SetReadBuffer(FReadBuffer);
    FMainQuery->SetOptimize(FOptimize);
    try {
        FMainQuery->Execute();
        BuildFields();
        Fetch();
    } catch (...) {
        ClearData();
        throw;
    }
    FCurrent = FRecords.empty() ? -1 : 0;
    FBof = true;
    FEof = FRecords.empty();
    FState = dsBrowse;
    emit DataSetChanged();
    emit StateChanged();
    if (AfterOpen)
        AfterOpen(this);
}

void TOracleDataSet::BuildFields() {
    FFields.clear();
    FColumnOfField.clear();
    FRowIdColumn = -1;
    // The row address: the column named ROWID, or else the first column of type ROWID or UROWID
    // (an aliased "t.ROWID RID").
    const int count = FMainQuery->FieldCount();
    for (int i = 0; i < count && FRowIdColumn < 0; ++i)
        if (FMainQuery->FieldName(i).compare("ROWID", Qt::CaseInsensitive) == 0)
            FRowIdColumn = i;
    for (int i = 0; i < count && FRowIdColumn < 0; ++i) {
        if (IsRowAddressType(FMainQuery->FieldServerType(i)))
            FRowIdColumn = i;
    }
    int position = 0;
    for (int i = 0; i < count; ++i) {
        if (i == FRowIdColumn)
            continue;
        auto field = std::unique_ptr<TField>(new TField);
        field->FDataSet = this;
        field->FColumnName = FMainQuery->FieldName(i);
        field->FIndex = int(FFields.size());
        field->FColumnPosition = ++position;
        field->FRequired = !FMainQuery->FieldOptional(i);
        const int type = FMainQuery->FieldType(i);
        field->FVariableType = type;
        switch (type) {
        case otInteger:
            field->FDataType = ftInteger;
            break;
        case otFloat:
            field->FDataType = ftFloat;
            break;
        case otLong:
            field->FDataType = ftMemo;
            break;
        case otDate:
            field->FDataType = ftDateTime;
            break;
        case otLongRaw:
            field->FDataType = ftBlob;
            break;
        default:
            field->FDataType = ftString;
            field->FVariableType = otString;
            field->FSize = std::max(1, FMainQuery->FieldSize(i));
            break;
        }
        QString name = field->FColumnName;
        for (int k = 1; FindField(name); ++k)
            name = field->FColumnName + "_" + QString::number(k);
        field->FFieldName = name;
        FFields.push_back(std::move(field));
        FColumnOfField.push_back(i);
    }
}

const char* TRecordArena::Add(QByteArrayView bytes) {
    const size_t size = size_t(bytes.size());
    if (size > FLeft) {
        const size_t blockSize = std::max<size_t>(size, 256 * 1024);
        FBlocks.push_back(std::make_unique_for_overwrite<char[]>(blockSize));
        FFree = FBlocks.back().get();
        FLeft = blockSize;
    }
    char* at = FFree;
    if (size > 0)
        std::memcpy(at, bytes.data(), size);
    FFree += size;
    FLeft -= size;
    return at;
}

void TOracleDataSet::Fetch() {
    std::vector<const char*> records;
    TRecordArena arena;
    TPackBuffer scratch;
    const int fields = FieldCount();
    TTextPacker text;
    // The columns straight from the query's buffers, packed as the values Field gives would be.
    auto pack = [&](const std::vector<TFieldData>& columns, int row) {
        if (FRowIdColumn < 0) {
            PutText(scratch, QString());
        } else {
            const TFieldData& rowId = columns[size_t(FRowIdColumn)];
            if (rowId.IsNull(row))
                PutText(scratch, QString());
            else if (rowId.BufferType == otString)
                text.Put(scratch, rowId.TextBytes(row));
            else
                PutText(scratch, rowId.Value(row, nvUnAssigned).toString());
        }
        for (int f = 0; f < fields; ++f)
            PutColumn(scratch, text, columns[size_t(FColumnOfField[size_t(f)])], row);
    };
    while (!FMainQuery->Eof()) {
        scratch.clear();
        FMainQuery->ReadRow(pack);
        records.push_back(arena.Add(QByteArrayView(scratch.data(), qsizetype(scratch.size()))));
        FMainQuery->Next();
    }
    FRecords.swap(records);
    FArena = std::move(arena);
}

void TOracleDataSet::ClearData() {
    FRecords.clear();
    FRecords.shrink_to_fit();
    FArena = TRecordArena();
    FFields.clear();
    FColumnOfField.clear();
    FRowIdColumn = -1;
    FBuffer.clear();
    FModified = false;
    FCurrent = -1;
    FBof = true;
    FEof = true;
}

void TOracleDataSet::Close() {
    if (!Active())
        return;
    FMainQuery->Close();
    if (FDMLQuery) {
        // Close may run inside the session's log-off, which still holds the query in its list of
        // clients to close: the query must outlive that loop.
        FDMLQuery->SetSession(nullptr);
        FDMLQuery->deleteLater();
        FDMLQuery = nullptr;
    }
    FUpdatingTableCache.clear();
    ClearData();
    FState = dsInactive;
    emit DataSetChanged();
    emit StateChanged();
    if (AfterClose)
        AfterClose(this);
}

void TOracleDataSet::Refresh() {
    CheckActive();
    CheckBrowseMode();
    FMainQuery->Execute();
    Fetch();
    FCurrent = FRecords.empty() ? -1 : 0;
    FBof = true;
    FEof = FRecords.empty();
    emit DataSetChanged();
    if (AfterScroll)
        AfterScroll(this);
}

void TOracleDataSet::ExecSQL() {
    CheckInactive();
    FMainQuery->Execute();
}

void TOracleDataSet::SessionLoggingOff() {
    // The session may log off from a watcher thread; the records and controls belong to ours.
    if (QThread::currentThread() == thread())
        Close();
    else
        QMetaObject::invokeMethod(
            this, [this] { Close(); }, Qt::QueuedConnection);
}

void TOracleDataSet::SessionDestroyed() {
    FRegisteredSession = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Fields and values

TField* TOracleDataSet::FindField(const QString& name) const {
    for (const auto& field : FFields)
        if (field->FieldName().compare(name, Qt::CaseInsensitive) == 0)
            return field.get();
    return nullptr;
}

TField* TOracleDataSet::FieldByName(const QString& name) const {
    TField* field = FindField(name);
    if (!field)
        throw EDatabaseError(QString("Field '%1' not found").arg(name));
    return field;
}

QString TOracleDataSet::RowId() const {
    if (FCurrent < 0)
        return QString();
    return UnpackItem(FRecords[size_t(FCurrent)], 0).toString();
}

QVariant TOracleDataSet::RecordValue(int index, int field) const {
    if (index == FCurrent && (FState == dsEdit || FState == dsInsert))
        return FBuffer.value(field);
    if (index < 0 || index >= RecordCount() || field < 0 || field >= FieldCount())
        return QVariant();
    return UnpackItem(FRecords[size_t(index)], field + 1);
}

QVariant TOracleDataSet::CurrentFieldValue(int field) const {
    return RecordValue(FCurrent, field);
}

QVariant TOracleDataSet::OldFieldValue(int field) const {
    if (FCurrent < 0 || FState == dsInsert)
        return QVariant();
    return UnpackItem(FRecords[size_t(FCurrent)], field + 1);
}

void TOracleDataSet::SetFieldValue(int field, const QVariant& value) {
    if (FState != dsEdit && FState != dsInsert)
        throw EDatabaseError("Dataset not in edit or insert mode");
    TField* f = Fields(field);
    FBuffer[field] = f->Convert(value);
    FModified = true;
    emit FieldChanged(f);
}

// ---------------------------------------------------------------------------------------------
// Navigation

void TOracleDataSet::SetState(TDataSetState state) {
    if (FState == state)
        return;
    FState = state;
    emit StateChanged();
}

void TOracleDataSet::Scroll(int index, bool bof, bool eof) {
    const bool moved = index != FCurrent;
    FCurrent = index;
    FBof = bof;
    FEof = eof;
    if (moved) {
        emit Scrolled();
        if (AfterScroll)
            AfterScroll(this);
    }
}

void TOracleDataSet::First() {
    CheckActive();
    CheckBrowseMode();
    Scroll(IsEmpty() ? -1 : 0, true, IsEmpty());
}

void TOracleDataSet::Last() {
    CheckActive();
    CheckBrowseMode();
    Scroll(RecordCount() - 1, IsEmpty(), true);
}

void TOracleDataSet::Next() {
    MoveBy(1);
}

void TOracleDataSet::Prior() {
    MoveBy(-1);
}

void TOracleDataSet::MoveBy(int distance) {
    CheckActive();
    CheckBrowseMode();
    ScrollTo(FCurrent + distance);
}

void TOracleDataSet::MoveTo(int index) {
    CheckActive();
    if (index == FCurrent)
        return;
    const int before = FCurrent;
    UpdateRecord();
    // An untouched new record is dropped on leaving; the records after it move up by one.
    const bool dropping = FState == dsInsert && !FModified;
    CheckBrowseMode();
    ScrollTo(dropping && index > before ? index - 1 : index);
}

void TOracleDataSet::ScrollTo(int index) {
    if (IsEmpty())
        Scroll(-1, true, true);
    else if (index >= RecordCount())
        Scroll(RecordCount() - 1, false, true);
    else if (index < 0)
        Scroll(0, true, false);
    else
        Scroll(index, false, false);
}

void TOracleDataSet::SetRecNo(int recNo) {
    MoveTo(recNo - 1);
}

// ---------------------------------------------------------------------------------------------
// Changes

void TOracleDataSet::UpdateRecord() {
    if (FState == dsEdit || FState == dsInsert)
        emit UpdatingRecord();
}

void TOracleDataSet::CheckBrowseMode() {
    if (FState != dsEdit && FState != dsInsert)
        return;
    UpdateRecord();
    if (FModified)
        Post();
    else
        Cancel();
}

void TOracleDataSet::Insert() {
    CheckActive();
    CheckBrowseMode();
    CheckCanModify();
    const int index = FCurrent < 0 ? 0 : FCurrent;
    QVariantList empty;
    for (int i = 0; i < FieldCount(); ++i)
        empty.append(QVariant());
    FRecords.insert(FRecords.begin() + index, FArena.Add(PackRecord(QString(), empty)));
    FBuffer = empty;
    FModified = false;
    FCurrent = index;
    FBof = FEof = false;
    FState = dsInsert;
    emit RecordInserted(index);
    emit StateChanged();
    if (AfterInsert)
        AfterInsert(this);
}

void TOracleDataSet::Append() {
    CheckActive();
    CheckBrowseMode();
    CheckCanModify();
    const int index = RecordCount();
    QVariantList empty;
    for (int i = 0; i < FieldCount(); ++i)
        empty.append(QVariant());
    FRecords.push_back(FArena.Add(PackRecord(QString(), empty)));
    FBuffer = empty;
    FModified = false;
    FCurrent = index;
    FBof = false;
    FEof = true;
    FState = dsInsert;
    emit RecordInserted(index);
    emit StateChanged();
    if (AfterInsert)
        AfterInsert(this);
}

void TOracleDataSet::Edit() {
    CheckActive();
    if (FState == dsEdit || FState == dsInsert)
        return;
    if (IsEmpty()) {
        Insert();
        return;
    }
    CheckCanModify();
    const QString rowId = RowId();
    if (rowId.isEmpty())
        throw Exception(RowIdMissing("A lock, refresh or check"));
    // Check immediately: the row must still be as it was read.
    TOracleQuery* query = DMLQuery();
    query->DeleteVariables();
    query->SQL() = QStringList{"select * from " + UpdatingTableName() + " where rowid = " + RowIdVariable};
    query->DeclareVariable(RowIdVariable, otString);
    query->SetVariable(RowIdVariable, rowId);
    query->Execute();
    if (query->Eof())
        RaiseDeleted();
    CheckRecord(query);
    FBuffer = UnpackValues(FRecords[size_t(FCurrent)], FieldCount());
    FModified = false;
    SetState(dsEdit);
}

void TOracleDataSet::Cancel() {
    if (FState == dsEdit) {
        FBuffer.clear();
        FModified = false;
        SetState(dsBrowse);
        emit RecordChanged(FCurrent);
        if (AfterCancel)
            AfterCancel(this);
    } else if (FState == dsInsert) {
        const int index = FCurrent;
        FRecords.erase(FRecords.begin() + index);
        FBuffer.clear();
        FModified = false;
        FState = dsBrowse;
        FCurrent = std::min(index, RecordCount() - 1);
        FBof = FCurrent <= 0;
        FEof = IsEmpty();
        emit RecordRemoved(index);
        emit StateChanged();
        if (AfterCancel)
            AfterCancel(this);
    }
}

void TOracleDataSet::CheckRequiredFields() const {
    for (const auto& field : FFields)
        if (field->Required() && IsBlank(*field, FBuffer.value(field->Index())))
            throw EDatabaseError(QString("Field '%1' must have a value").arg(field->FieldName()));
}

void TOracleDataSet::Post() {
    CheckActive();
    if (FState != dsEdit && FState != dsInsert)
        return;
    UpdateRecord();
    if (BeforePost)
        BeforePost(this);
    CheckRequiredFields();
    if (FState == dsEdit)
        ApplyUpdate();
    else
        ApplyInsert();
    if (AfterPost)
        AfterPost(this);
}

TOracleQuery* TOracleDataSet::DMLQuery() {
    if (!FDMLQuery) {
        FDMLQuery = new TOracleQuery(this);
        FDMLQuery->setObjectName("DMLQuery");
        FDMLQuery->SetReadBuffer(2);
        FDMLQuery->SetOptimize(FOptimize);
    }
    FDMLQuery->SetSession(Session());
    return FDMLQuery;
}

void TOracleDataSet::RunDML(const QStringList& lines) {
    TOracleQuery* query = DMLQuery();
    query->DeleteVariables();
    query->SQL() = lines;
    query->Execute();
}

void TOracleDataSet::CheckRecord(TOracleQuery* query) const {
    for (int i = 0; i < FieldCount(); ++i) {
        const TField& field = *FFields[size_t(i)];
        const int column = query->FieldIndex(field.ColumnName());
        if (column < 0) // an expression of the select: the table has no such column
            continue;
        if (!SameAsServer(field, OldFieldValue(i), query->Field(column)))
            RaiseChanged();
    }
}

void TOracleDataSet::LockAndCheck(const QString& rowId) {
    TOracleQuery* query = DMLQuery();
    query->DeleteVariables();
    query->SQL() = QStringList{"select * from " + UpdatingTableName() + " where rowid = " + RowIdVariable,
                               "for update nowait"};
    query->DeclareVariable(RowIdVariable, otString);
    query->SetVariable(RowIdVariable, rowId);
    query->Execute();
    if (query->Eof())
        RaiseDeleted();
    CheckRecord(query);
}

void TOracleDataSet::FailApply(bool savepointSet) {
    if (savepointSet) {
        try {
            RunDML({QString("rollback to savepoint ") + SavepointName});
        } catch (...) {
            // The original failure is what the user must see.
        }
    }
    try {
        throw;
    } catch (const EOracleError& error) {
        throw EDatabaseError(ErrorMessage(error));
    }
}

void TOracleDataSet::ApplyUpdate() {
    std::vector<int> changed;
    for (int i = 0; i < FieldCount(); ++i)
        if (!SameAsOld(*FFields[size_t(i)], FBuffer[i], OldFieldValue(i)))
            changed.push_back(i);
    const int index = FCurrent;
    if (changed.empty()) {
        // Nothing to send; the record keeps the values it had.
        FBuffer.clear();
        FModified = false;
        SetState(dsBrowse);
        emit RecordChanged(index);
        return;
    }
    const QString rowId = RowId();
    if (rowId.isEmpty())
        throw Exception(RowIdMissing("A lock, refresh or check"));
    const QString table = UpdatingTableName();
    QString newRowId = rowId;
    bool savepointSet = false;
    try {
        RunDML({QString("savepoint ") + SavepointName});
        savepointSet = true;
        LockAndCheck(rowId);

        TOracleQuery* query = DMLQuery();
        query->DeleteVariables();
        QStringList assignments;
        for (int i : changed) {
            const TField& field = *FFields[size_t(i)];
            if (IsBlank(field, FBuffer[i])) {
                assignments << field.ColumnName() + " = null";
            } else {
                const QString variable = "v" + QString::number(field.ColumnPosition());
                assignments << field.ColumnName() + " = :" + variable;
                query->DeclareVariable(variable, field.VariableType());
                query->SetVariable(variable, FBuffer[i]);
            }
        }
        query->DeclareVariable(RowIdVariable, otString);
        query->SetVariable(RowIdVariable, rowId);
        query->SQL() = QStringList{"update " + table, "set " + assignments.join(", "),
                                   QString("where rowid = ") + RowIdVariable,
                                   QString("returning rowid into ") + RowIdVariable};
        query->Execute();
        if (query->RowsProcessed() == 0)
            RaiseDeleted();
        const QString returned = query->GetVariable(RowIdVariable).toString();
        if (!returned.isEmpty())
            newRowId = returned;
        if (FCommitOnPost)
            Session()->Commit();
    } catch (...) {
        FailApply(savepointSet);
    }
    FRecords[size_t(index)] = FArena.Add(PackRecord(newRowId, FBuffer));
    FBuffer.clear();
    FModified = false;
    SetState(dsBrowse);
    emit RecordChanged(index);
}

void TOracleDataSet::ApplyInsert() {
    std::vector<int> filled;
    for (int i = 0; i < FieldCount(); ++i)
        if (!IsBlank(*FFields[size_t(i)], FBuffer[i]))
            filled.push_back(i);
    const int index = FCurrent;
    QString rowId;
    if (!filled.empty()) {
        bool savepointSet = false;
        try {
            RunDML({QString("savepoint ") + SavepointName});
            savepointSet = true;
            TOracleQuery* query = DMLQuery();
            query->DeleteVariables();
            QStringList columns;
            QStringList variables;
            for (int i : filled) {
                const TField& field = *FFields[size_t(i)];
                const QString variable = "v" + QString::number(field.ColumnPosition());
                columns << field.ColumnName();
                variables << ":" + variable;
                query->DeclareVariable(variable, field.VariableType());
                query->SetVariable(variable, FBuffer[i]);
            }
            query->DeclareVariable(RowIdVariable, otString);
            query->SQL() = QStringList{"insert into " + UpdatingTableName(), "  (" + columns.join(", ") + ")",
                                       "values", "  (" + variables.join(", ") + ")",
                                       QString("returning rowid into ") + RowIdVariable};
            query->Execute();
            rowId = query->GetVariable(RowIdVariable).toString();
            if (rowId.isEmpty())
                rowId = query->RowId();
            if (FCommitOnPost)
                Session()->Commit();
        } catch (...) {
            FailApply(savepointSet);
        }
    }
    // An empty new record is not sent but stays in memory.
    FRecords[size_t(index)] = FArena.Add(PackRecord(rowId, FBuffer));
    FBuffer.clear();
    FModified = false;
    SetState(dsBrowse);
    emit RecordChanged(index);
}

void TOracleDataSet::Delete() {
    CheckActive();
    if (FState == dsInsert) {
        Cancel();
        return;
    }
    if (IsEmpty())
        throw EDatabaseError("Cannot perform this operation on an empty dataset");
    CheckCanModify();
    const QString rowId = RowId();
    // Before BeforeDelete: its handlers mirror the delete elsewhere, which must not happen for a
    // record this dataset cannot delete.
    if (rowId.isEmpty())
        throw Exception(RowIdMissing("A delete"));
    if (BeforeDelete)
        BeforeDelete(this);
    ApplyDelete();
    if (AfterDelete)
        AfterDelete(this);
}

void TOracleDataSet::ApplyDelete() {
    const QString rowId = RowId();
    bool savepointSet = false;
    try {
        RunDML({QString("savepoint ") + SavepointName});
        savepointSet = true;
        LockAndCheck(rowId);
        TOracleQuery* query = DMLQuery();
        query->DeleteVariables();
        query->SQL() =
            QStringList{"delete from " + UpdatingTableName(), QString("where rowid = ") + RowIdVariable};
        query->DeclareVariable(RowIdVariable, otString);
        query->SetVariable(RowIdVariable, rowId);
        query->Execute();
        if (query->RowsProcessed() == 0)
            RaiseDeleted();
        if (FCommitOnPost)
            Session()->Commit();
    } catch (...) {
        FailApply(savepointSet);
    }
    const int index = FCurrent;
    FRecords.erase(FRecords.begin() + index);
    FBuffer.clear();
    FModified = false;
    FState = dsBrowse;
    FCurrent = std::min(index, RecordCount() - 1);
    FBof = FCurrent <= 0;
    FEof = IsEmpty();
    emit RecordRemoved(index);
    emit StateChanged();
    if (AfterScroll)
        AfterScroll(this);
}
