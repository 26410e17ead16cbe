#include "OracleTypes.h"

#include <QHash>
#include <QLocale>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

const QDate kDayZero(1899, 12, 30);

// Every CR LF, lone CR and lone LF becomes CR LF: texts are shown with Windows line breaks.
QString AdjustLineBreaks(const QString& text) {
    if (!text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString result;
    result.reserve(text.size() + text.size() / 16 + 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r')) {
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            result += QLatin1String("\r\n");
        } else if (c == QLatin1Char('\n')) {
            result += QLatin1String("\r\n");
        } else {
            result += c;
        }
    }
    return result;
}

QString RemoveCR(QString text) {
    text.remove(QLatin1Char('\r'));
    return text;
}

bool IsZeroDate(const QDateTime& value) {
    return value == OracleZeroDate() || value == QDateTime(kDayZero, QTime(0, 0));
}

// A local wall-clock date and time. Building a local-time QDateTime asks the C library for the
// zone offset, which re-reads the zone file on every call; the offset of a whole day is cached
// instead, except for days on which it changes (daylight saving), which take the slow way.
QDateTime LocalDateTime(const QDate& date, const QTime& time) {
    struct DayOffset {
        int offset = 0;
        bool stable = false;
    };
    thread_local QHash<qint64, DayOffset> cache;
    // The day before, remembered apart: the rows of a column mostly share few days.
    thread_local qint64 lastDay = std::numeric_limits<qint64>::min();
    thread_local DayOffset lastEntry;
    const qint64 day = date.toJulianDay();
    if (day == lastDay)
        return lastEntry.stable ? QDateTime(date, time, Qt::OffsetFromUTC, lastEntry.offset)
                                : QDateTime(date, time);
    auto it = cache.constFind(day);
    if (it == cache.cend()) {
        if (cache.size() > 4096)
            cache.clear();
        const QDateTime first(date, QTime(0, 0)), last(date, QTime(23, 59, 59));
        DayOffset entry;
        entry.offset = first.offsetFromUtc();
        entry.stable = first.isValid() && last.isValid() && last.offsetFromUtc() == entry.offset;
        it = cache.insert(day, entry);
    }
    lastDay = day;
    lastEntry = *it;
    if (!it->stable)
        return QDateTime(date, time);
    return QDateTime(date, time, Qt::OffsetFromUTC, it->offset);
}

QDateTime ParseDateTimeText(const QString& text) {
    const QString s = text.trimmed();
    static const char* const formats[] = {"yyyy-MM-ddTHH:mm:ss.zzz",
                                          "yyyy-MM-ddTHH:mm:ss",
                                          "yyyy-MM-dd HH:mm:ss",
                                          "yyyy-MM-dd",
                                          "dd.MM.yyyy H:mm:ss",
                                          "dd.MM.yyyy H:mm",
                                          "dd.MM.yyyy",
                                          "d.M.yyyy H:mm:ss",
                                          "d.M.yyyy"};
    for (const char* format : formats) {
        QDateTime value = QDateTime::fromString(s, QLatin1String(format));
        if (value.isValid())
            return value;
    }
    const QLocale locale;
    QDateTime value = locale.toDateTime(s, QLocale::ShortFormat);
    if (value.isValid())
        return value;
    const QDate date = locale.toDate(s, QLocale::ShortFormat);
    if (date.isValid())
        return QDateTime(date, QTime(0, 0));
    return {};
}

} // namespace

// The bytes are looked at first, so that a text without a line break (nearly all) is converted once
// and not scanned again.
QString TextFromServer(const char* bytes, qsizetype size) {
    if (!std::memchr(bytes, '\n', size_t(size)) && !std::memchr(bytes, '\r', size_t(size)))
        return QString::fromUtf8(bytes, size);
    return AdjustLineBreaks(QString::fromUtf8(bytes, size));
}

Exception::Exception(const QString& message) : FMessage(message), FUtf8(message.toUtf8()) {}

QDateTime OracleZeroDate() {
    static const QDateTime zero(QDate(1, 1, 1).addDays(-1), QTime(0, 0));
    return zero;
}

QDateTime DateTimeFromDayNumber(double days) {
    const double whole = std::trunc(days);
    const double fraction = std::fabs(days - whole);
    const QDate date = kDayZero.addDays(qint64(whole));
    const int msecs = int(std::llround(fraction * 86400000.0));
    return QDateTime(date, QTime(0, 0)).addMSecs(msecs);
}

double DayNumberFromDateTime(const QDateTime& value) {
    const double whole = double(kDayZero.daysTo(value.date()));
    const double fraction = value.time().msecsSinceStartOfDay() / 86400000.0;
    return whole < 0 ? whole - fraction : whole + fraction;
}

QDateTime DateFromOracle(const unsigned char* b) {
    const int year = int(b[0]) * 100 + int(b[1]) - 10100;
    const QTime time(qBound(0, int(b[4]) - 1, 23), qBound(0, int(b[5]) - 1, 59),
                     qBound(0, int(b[6]) - 1, 59));
    if (year <= 0 || !QDate::isValid(year, b[2], b[3]))
        return QDateTime(OracleZeroDate().date(), time);
    return LocalDateTime(QDate(year, b[2], b[3]), time);
}

bool DateToOracle(const QDateTime& value, unsigned char* b) {
    const QDate date = value.date();
    const QTime time = value.time();
    if (!date.isValid() || date.year() < 1 || date.year() > 9999)
        return false;
    b[0] = static_cast<unsigned char>(date.year() / 100 + 100);
    b[1] = static_cast<unsigned char>(date.year() % 100 + 100);
    b[2] = static_cast<unsigned char>(date.month());
    b[3] = static_cast<unsigned char>(date.day());
    b[4] = static_cast<unsigned char>(time.hour() + 1);
    b[5] = static_cast<unsigned char>(time.minute() + 1);
    b[6] = static_cast<unsigned char>(time.second() + 1);
    return true;
}

// ---------------------------------------------------------------------------------------------------------

TVariableData::TVariableData(const QString& name, int dataType) : FName(name), FDataType(dataType) {
    SetNull();
}

void TVariableData::SetNull() {
    FExternal = nullptr;
    FLongLength = 0;
    FShortLength = 0;
    FIndicator = -1;
    switch (FDataType) {
    case otInteger:
        FBuffer.assign(4, 0);
        break;
    case otFloat:
        FBuffer.assign(8, 0);
        break;
    case otString:
        // Also the output buffer of PL/SQL out-parameters: up to 4000 characters and a terminator.
        if (FBuffer.size() < 4001)
            FBuffer.assign(4001, 0);
        else
            FBuffer[0] = 0;
        break;
    case otDate:
        FBuffer.assign(7, 0);
        break;
    default:
        FBuffer.assign(1, 0);
        break;
    }
}

void TVariableData::SetValue(const QVariant& value) {
    if (!value.isValid() || value.isNull()) {
        SetNull();
        return;
    }
    const auto conversionError = [this] {
        return Exception(QStringLiteral("Variant conversion error for variable ") + FName);
    };
    switch (FDataType) {
    case otInteger: {
        bool ok = false;
        qint64 n = 0;
        if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
            const double d = value.toDouble();
            ok = std::isfinite(d);
            n = std::llrint(d);
        } else if (value.typeId() == QMetaType::Bool) {
            ok = true;
            n = value.toBool() ? 1 : 0;
        } else {
            n = value.toLongLong(&ok);
            if (!ok) {
                const double d = value.toDouble(&ok);
                ok = ok && std::isfinite(d);
                n = ok ? std::llrint(d) : 0;
            }
        }
        if (!ok || n < INT32_MIN || n > INT32_MAX)
            throw conversionError();
        const qint32 v = qint32(n);
        FBuffer.assign(4, 0);
        std::memcpy(FBuffer.data(), &v, 4);
        break;
    }
    case otFloat: {
        bool ok = false;
        const double d =
            value.typeId() == QMetaType::Bool ? (value.toBool() ? 1.0 : 0.0) : value.toDouble(&ok);
        if (value.typeId() != QMetaType::Bool && !ok)
            throw conversionError();
        FBuffer.assign(8, 0);
        std::memcpy(FBuffer.data(), &d, 8);
        break;
    }
    case otString: {
        if (!value.canConvert<QString>())
            throw conversionError();
        const QByteArray bytes = RemoveCR(value.toString()).left(4000).toUtf8();
        FBuffer.assign(std::max<size_t>(4001, size_t(bytes.size()) + 1), 0);
        std::memcpy(FBuffer.data(), bytes.constData(), size_t(bytes.size()));
        break;
    }
    case otDate: {
        QDateTime dt;
        switch (value.typeId()) {
        case QMetaType::QDateTime:
            dt = value.toDateTime();
            break;
        case QMetaType::QDate:
            dt = QDateTime(value.toDate(), QTime(0, 0));
            break;
        case QMetaType::QString: {
            const QString text = value.toString();
            if (text.trimmed().isEmpty()) {
                SetNull();
                return;
            }
            dt = ParseDateTimeText(text);
            if (!dt.isValid())
                throw conversionError();
            break;
        }
        default: {
            bool ok = false;
            const double days = value.toDouble(&ok);
            if (!ok)
                throw conversionError();
            if (days == 0) {
                SetNull();
                return;
            }
            dt = DateTimeFromDayNumber(days);
        }
        }
        if (!dt.isValid() || IsZeroDate(dt)) {
            SetNull();
            return;
        }
        FBuffer.assign(7, 0);
        if (!DateToOracle(dt, reinterpret_cast<unsigned char*>(FBuffer.data())))
            throw conversionError();
        break;
    }
    case otLongRaw:
    case otLong: {
        QByteArray bytes;
        if (FDataType == otLongRaw) {
            if (value.typeId() == QMetaType::QByteArray)
                bytes = value.toByteArray();
            else if (value.typeId() == QMetaType::QString)
                bytes = value.toString().toUtf8();
            else
                throw Exception(QStringLiteral("Only one-dimensional array of bytes allowed for ") + FName);
        } else {
            if (!value.canConvert<QString>())
                throw conversionError();
            bytes = value.typeId() == QMetaType::QByteArray ? value.toByteArray()
                                                            : RemoveCR(value.toString()).toUtf8();
        }
        FExternal = nullptr;
        if (bytes.isEmpty()) {
            SetNull();
            return;
        }
        FBuffer.assign(bytes.constData(), bytes.constData() + bytes.size());
        FLongLength = int(bytes.size());
        FShortLength = FLongLength <= 65535 ? static_cast<unsigned short>(FLongLength) : 0;
        break;
    }
    default:
        throw Exception(QStringLiteral("Unsupported variable type"));
    }
    FIndicator = 0;
}

void TVariableData::SetLongValue(const void* data, int length) {
    if (!data || length <= 0) {
        SetNull();
        return;
    }
    FBuffer.clear();
    FExternal = static_cast<const char*>(data);
    FLongLength = length;
    FShortLength = length <= 65535 ? static_cast<unsigned short>(length) : 0;
    FIndicator = 0;
}

QVariant TVariableData::Value(TNullValueOption nullValue) const {
    if (FIndicator == -1)
        return nullValue == nvNull ? QVariant::fromValue(nullptr) : QVariant();
    switch (FDataType) {
    case otInteger: {
        qint32 v = 0;
        std::memcpy(&v, FBuffer.data(), 4);
        return v;
    }
    case otFloat: {
        double d = 0;
        std::memcpy(&d, FBuffer.data(), 8);
        return d;
    }
    case otString:
        return QString::fromUtf8(FBuffer.data(), qsizetype(strnlen(FBuffer.data(), FBuffer.size())));
    case otDate:
        return DateFromOracle(reinterpret_cast<const unsigned char*>(FBuffer.data()));
    case otLong:
    case otLongRaw: {
        const char* p = FExternal ? FExternal : FBuffer.data();
        const QByteArray bytes(p, FLongLength);
        if (FDataType == otLong)
            return QString::fromUtf8(bytes);
        return bytes;
    }
    default:
        return {};
    }
}

void* TVariableData::BindBuffer() {
    if (FExternal)
        return const_cast<char*>(FExternal);
    return FBuffer.data();
}

int TVariableData::BindSize() const {
    switch (FDataType) {
    case otLong:
    case otLongRaw:
        return FIndicator == 0 ? FLongLength : 1;
    default:
        return int(FBuffer.size());
    }
}

unsigned short* TVariableData::BindLength() {
    if ((FDataType == otLong || FDataType == otLongRaw) && FIndicator == 0 && FLongLength <= 65535)
        return &FShortLength;
    return nullptr;
}

// ---------------------------------------------------------------------------------------------------------

TVariables::TVariables() = default;
TVariables::~TVariables() = default;

QString TVariables::NormalName(const QString& name) {
    QString n = name.trimmed().toUpper();
    if (!n.startsWith(QLatin1Char(':')))
        n.prepend(QLatin1Char(':'));
    return n;
}

int TVariables::IndexOf(const QString& name) const {
    const QString n = NormalName(name);
    for (size_t i = 0; i < FItems.size(); ++i)
        if (FItems[i]->Name() == n)
            return int(i);
    return -1;
}

TVariableData* TVariables::Find(const QString& name) const {
    const int i = IndexOf(name);
    return i < 0 ? nullptr : FItems[size_t(i)].get();
}

TVariableData* TVariables::Declare(const QString& name, int dataType) {
    QString bare = name.trimmed();
    if (bare.startsWith(QLatin1Char(':')))
        bare.remove(0, 1);
    if (bare.isEmpty())
        throw Exception(QStringLiteral("You cannot declare a variable with an empty name"));
    switch (dataType) {
    case otInteger:
    case otFloat:
    case otString:
    case otLong:
    case otDate:
    case otLongRaw:
        break;
    default:
        throw Exception(QStringLiteral("Unsupported variable type"));
    }
    auto item = std::make_unique<TVariableData>(NormalName(bare), dataType);
    TVariableData* result = item.get();
    const int i = IndexOf(bare);
    if (i >= 0)
        FItems[size_t(i)] = std::move(item);
    else
        FItems.push_back(std::move(item));
    return result;
}

void TVariables::Delete(const QString& name) {
    const int i = IndexOf(name);
    if (i >= 0)
        FItems.erase(FItems.begin() + i);
}

void TVariables::Clear() {
    FItems.clear();
}

// ---------------------------------------------------------------------------------------------------------

void TFieldData::Allocate(int rows) {
    const bool isLong = BufferType == otLong || BufferType == otLongRaw;
    Buffer.assign(isLong ? 0 : size_t(BufferSize) * size_t(rows), 0);
    Indicators.assign(size_t(rows), -1);
    Lengths.assign(size_t(rows), 0);
    ReturnCodes.assign(size_t(rows), 0);
    LongValue.clear();
    LongIndicator = -1;
}

bool TFieldData::IsNull(int row) const {
    if (BufferType == otLong || BufferType == otLongRaw)
        return LongIndicator == -1;
    return Indicators[size_t(row)] == -1;
}

QVariant TFieldData::Value(int row, TNullValueOption nullValue) const {
    if (IsNull(row))
        return nullValue == nvNull ? QVariant::fromValue(nullptr) : QVariant();
    const char* p = Buffer.data() + size_t(row) * size_t(BufferSize);
    switch (BufferType) {
    case otInteger: {
        qint32 v = 0;
        std::memcpy(&v, p, 4);
        return v;
    }
    case otFloat: {
        double d = 0;
        std::memcpy(&d, p, 8);
        return d;
    }
    case otDate:
        return DateFromOracle(reinterpret_cast<const unsigned char*>(p));
    case otLong:
        return TextFromServer(LongValue.constData(), LongValue.size());
    case otLongRaw:
        return LongValue;
    default:
        return TextFromServer(p, qsizetype(strnlen(p, size_t(BufferSize))));
    }
}

QByteArrayView TFieldData::TextBytes(int row) const {
    const char* p = Buffer.data() + size_t(row) * size_t(BufferSize);
    return QByteArrayView(p, qsizetype(strnlen(p, size_t(BufferSize))));
}

QString TFieldData::AsString(int row) const {
    if (IsNull(row))
        return QString();
    const QVariant v = Value(row, nvUnAssigned);
    switch (BufferType) {
    case otInteger:
        return QString::number(v.toInt());
    case otFloat:
        return QString::number(v.toDouble(), 'g', 15);
    case otDate: {
        const QDateTime dt = v.toDateTime();
        const QLocale locale;
        QString text = locale.toString(dt.date(), QLocale::ShortFormat);
        if (dt.time() != QTime(0, 0))
            text += QLatin1Char(' ') + dt.time().toString(QStringLiteral("HH:mm:ss"));
        return text;
    }
    case otLongRaw:
        return QString::fromLatin1(LongValue);
    case otString:
    case otLong:
        return v.toString();
    default:
        throw Exception(QStringLiteral("Cannot convert field ") + Name + QStringLiteral(" to a String"));
    }
}
