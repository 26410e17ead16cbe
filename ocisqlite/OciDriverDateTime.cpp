// OCIDateTime and OCIInterval descriptors, their arithmetic, and DATE values bound or fetched through them.
// Drivers hand dates over as TIMESTAMP WITH (LOCAL) TIME ZONE and turn them into instants with interval
// arithmetic, so the session time zone matters: it is the client's own (ORA_SDTZ as "+hh:mm" or "UTC", else
// the operating system's zone), as for an Oracle client whose session time zone was not altered.
#include "CallSupport.h"
#include "DriverSupport.h"
#include "Engine.h"
#include "SqlText.h"

#include <climits>
#include <cstdlib>
#include <ctime>
#include <map>

namespace ocisqlite {

namespace {

constexpr std::int64_t kNanos = 1000000000;

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
    std::int64_t year = 1970;
    int month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

Civil civilFromSeconds(std::int64_t t) {
    std::int64_t days = t / 86400;
    std::int64_t rest = t % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    Civil c;
    c.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    c.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    c.year = static_cast<std::int64_t>(yoe) + era * 400 + (c.month <= 2);
    c.hour = static_cast<int>(rest / 3600);
    c.minute = static_cast<int>(rest % 3600 / 60);
    c.second = static_cast<int>(rest % 60);
    return c;
}

std::int64_t secondsFromCivil(std::int64_t y, int mo, int d, int h, int mi, int s) {
    return daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 + h * 3600 +
           mi * 60 + s;
}

int daysIn(std::int64_t y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : days[m - 1];
}

// "+hh:mm", "-hh:mm", "hh:mm", "UTC", "GMT", "Z". Throws OraError for anything else.
int parseOffset(std::string text) {
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    const std::string up = upperAscii(text);
    if (up == "UTC" || up == "GMT" || up == "Z" || up == "+00:00" || up == "-00:00")
        return 0;
    std::size_t i = 0;
    int sign = 1;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        sign = text[i++] == '-' ? -1 : 1;
    const auto colon = text.find(':', i);
    if (i == text.size() || colon == std::string::npos || text.find_first_not_of("0123456789", i) != colon ||
        text.find_first_not_of("0123456789", colon + 1) != std::string::npos || colon + 1 == text.size())
        throw OraError(1882, "ORA-01882: timezone region not found");
    const int hours = std::atoi(text.c_str() + i);
    const int minutes = std::atoi(text.c_str() + colon + 1);
    if (hours > 14)
        throw OraError(1874, "ORA-01874: time zone hour must be between -15 and 15");
    if (minutes > 59)
        throw OraError(1875, "ORA-01875: time zone minute must be between -59 and 59");
    return sign * (hours * 60 + minutes);
}

// The session time zone's offset, in minutes, at a UTC instant.
int sessionOffsetAt(std::int64_t utc) {
    if (const char* sdtz = std::getenv("ORA_SDTZ");
        sdtz && *sdtz && upperAscii(sdtz) != "OS_TZ" && upperAscii(sdtz) != "LOCAL") {
        try {
            return parseOffset(sdtz);
        } catch (const OraError&) {
            // a region name: the operating system's zone stands in for it
        }
    }
    const std::time_t t = static_cast<std::time_t>(utc);
    std::tm tm{};
    if (!localtime_r(&t, &tm))
        return 0;
    return static_cast<int>(tm.tm_gmtoff / 60);
}

// The instant at which the session's clocks show the wall-clock time `wall` (seconds as if UTC).
std::int64_t sessionInstant(std::int64_t wall) {
    const int first = sessionOffsetAt(wall);
    std::int64_t utc = wall - first * 60;
    const int second = sessionOffsetAt(utc);
    if (second != first)
        utc = wall - second * 60;
    return utc;
}

enum class Zone { None, Fixed, Session };

Zone zoneOf(const DateTime& d) {
    switch (d.type) {
    case OCI_DTYPE_TIMESTAMP_TZ:
        return Zone::Fixed;
    case OCI_DTYPE_TIMESTAMP_LTZ:
        return Zone::Session;
    default:
        return Zone::None;
    }
}

// What a value shows: its wall clock and, for zoned ones, the offset it is shown in.
std::int64_t wallClock(const DateTime& d) {
    switch (zoneOf(d)) {
    case Zone::Fixed:
        return d.seconds + d.tzMinutes * 60;
    case Zone::Session:
        return d.seconds + sessionOffsetAt(d.seconds) * 60;
    case Zone::None:
        break;
    }
    return d.seconds;
}

// A TIMESTAMP meets zoned values as a time in the session's zone.
std::int64_t instantOf(const DateTime& d) {
    return zoneOf(d) == Zone::None ? sessionInstant(d.seconds) : d.seconds;
}

// The offset argument of assign for a wall clock read in the session's zone.
constexpr int kSessionZone = INT_MIN;

// Stores a wall clock shown at an offset (kSessionZone: in the session's zone) into out, in out's own type.
void assign(DateTime& out, std::int64_t wall, int offset, ub4 fsec) {
    const bool session = offset == kSessionZone;
    const std::int64_t instant = session ? sessionInstant(wall) : wall - offset * 60;
    switch (zoneOf(out)) {
    case Zone::None:
        out.seconds = wall;
        out.tzMinutes = 0;
        break;
    case Zone::Fixed:
        out.seconds = instant;
        out.tzMinutes = session ? sessionOffsetAt(instant) : offset;
        break;
    case Zone::Session:
        out.seconds = instant;
        out.tzMinutes = 0;
        break;
    }
    out.fsec = fsec;
    out.set = true;
}

// The offset a value is shown at; kSessionZone for a TIMESTAMP, which has none of its own.
int offsetOf(const DateTime& d) {
    switch (zoneOf(d)) {
    case Zone::Fixed:
        return d.tzMinutes;
    case Zone::Session:
        return sessionOffsetAt(d.seconds);
    case Zone::None:
        break;
    }
    return kSessionZone;
}

struct Call {
    CallLock lock;
    Error* err = nullptr;
    bool ok = false;
    Call(const void* hndl, OCIError* errhp) : lock(hndl, 0) {
        Handle* h = lock.handle();
        err = errorOf(errhp);
        ok = h && err && !h->descriptor && (h->type == OCI_HTYPE_ENV || h->type == OCI_HTYPE_SESSION);
        if (ok)
            err->clear();
    }
};

DateTime* dateTimeOf(const void* p) {
    Handle* h = findAnyHandle(p);
    if (!h || !h->descriptor)
        return nullptr;
    switch (h->type) {
    case OCI_DTYPE_DATE:
    case OCI_DTYPE_TIMESTAMP:
    case OCI_DTYPE_TIMESTAMP_TZ:
    case OCI_DTYPE_TIMESTAMP_LTZ:
        return static_cast<DateTime*>(h);
    default:
        return nullptr;
    }
}

Interval* intervalOf(const void* p, ub4 type = 0) {
    Handle* h = findAnyHandle(p);
    if (!h || !h->descriptor || (h->type != OCI_DTYPE_INTERVAL_DS && h->type != OCI_DTYPE_INTERVAL_YM))
        return nullptr;
    return type == 0 || h->type == type ? static_cast<Interval*>(h) : nullptr;
}

sword invalidArgument(Error* err, int n) {
    return fail(err, 21560,
                "ORA-21560: argument " + std::to_string(n) + " is null, invalid, or out of range");
}

sword notInitialised(Error* err) {
    return fail(err, 1891, "ORA-01891: Datetime/Interval internal error");
}

// Checks the parts of a date and time as TO_DATE would.
void checkParts(std::int64_t year, int month, int day, int hour, int minute, int second, ub4 fsec) {
    if (year < -4712 || year > 9999 || year == 0)
        throw OraError(1841, "ORA-01841: (full) year must be between -4713 and +9999, and not be 0");
    if (month < 1 || month > 12)
        throw OraError(1843, "ORA-01843: not a valid month");
    if (day < 1 || day > daysIn(year, month))
        throw OraError(1847, "ORA-01847: day of month must be between 1 and last day of month");
    if (hour > 23)
        throw OraError(1850, "ORA-01850: hour must be between 0 and 23");
    if (minute > 59)
        throw OraError(1851, "ORA-01851: minutes must be between 0 and 59");
    if (second > 59)
        throw OraError(1852, "ORA-01852: seconds must be between 0 and 59");
    if (fsec >= kNanos)
        throw OraError(1880, "ORA-01880: the fractional seconds must be between 0 and 999999999");
}

// Interval day to second as total nanoseconds split into seconds and nanoseconds of the same sign.
void setDaySecond(Interval& iv, std::int64_t seconds, std::int64_t nanos) {
    seconds += nanos / kNanos;
    nanos %= kNanos;
    if (seconds > 0 && nanos < 0) {
        --seconds;
        nanos += kNanos;
    } else if (seconds < 0 && nanos > 0) {
        ++seconds;
        nanos -= kNanos;
    }
    iv.seconds = seconds;
    iv.nanos = static_cast<std::int32_t>(nanos);
    iv.months = 0;
    iv.set = true;
}

std::map<Handle*, ub4>& arrayAllocations() {
    static auto* m = new std::map<Handle*, ub4>();
    return *m;
}

} // namespace

std::optional<OraDate> dateTimeBindValue(const void* descriptor) {
    const DateTime* d = dateTimeOf(descriptor);
    if (!d)
        throw OraError(1891, "ORA-01891: Datetime/Interval internal error");
    if (!d->set)
        return std::nullopt;
    // A DATE holds the session's wall clock, whole seconds.
    const std::int64_t wall =
        zoneOf(*d) == Zone::None ? d->seconds : d->seconds + sessionOffsetAt(d->seconds) * 60;
    const Civil c = civilFromSeconds(wall);
    OraDate date{static_cast<int>(c.year), c.month, c.day, c.hour, c.minute, c.second};
    if (!isValidDate(date))
        throw OraError(1841, "ORA-01841: (full) year must be between -4713 and +9999, and not be 0");
    return date;
}

void dateTimeDefineValue(void* descriptor, const OraDate& value) {
    DateTime* d = dateTimeOf(descriptor);
    if (!d)
        throw OraError(1891, "ORA-01891: Datetime/Interval internal error");
    assign(*d, secondsFromCivil(value.year, value.month, value.day, value.hour, value.minute, value.second),
           kSessionZone, 0);
}

} // namespace ocisqlite

using namespace ocisqlite;

OCI_EXPORT sword OCIArrayDescriptorAlloc(const void* parenth, void** descpp, const ub4 type, ub4 array_size,
                                         const size_t xtramem_sz, void** usrmempp) {
    if (!descpp || array_size == 0)
        return OCI_INVALID_HANDLE;
    if (usrmempp)
        *usrmempp = nullptr;
    CallLock call(parenth, 0);
    if (!call.handle())
        return OCI_INVALID_HANDLE;
    for (ub4 i = 0; i < array_size; ++i) {
        if (OCIDescriptorAlloc(parenth, &descpp[i], type, xtramem_sz, nullptr) != OCI_SUCCESS) {
            for (ub4 j = 0; j < i; ++j)
                OCIDescriptorFree(descpp[j], type);
            return OCI_INVALID_HANDLE;
        }
    }
    // OCIArrayDescriptorFree is given only the array: the first descriptor remembers its length.
    std::lock_guard<std::recursive_mutex> lock(registryMutex());
    arrayAllocations()[static_cast<Handle*>(descpp[0])] = array_size;
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIArrayDescriptorFree(void** descp, const ub4 type) {
    if (!descp)
        return OCI_INVALID_HANDLE;
    ub4 n = 0;
    {
        std::lock_guard<std::recursive_mutex> lock(registryMutex());
        auto it = arrayAllocations().find(static_cast<Handle*>(descp[0]));
        if (it == arrayAllocations().end() || !findHandle(descp[0], type))
            return OCI_INVALID_HANDLE;
        n = it->second;
        arrayAllocations().erase(it);
    }
    sword rc = OCI_SUCCESS;
    for (ub4 i = 0; i < n; ++i)
        if (OCIDescriptorFree(descp[i], type) != OCI_SUCCESS)
            rc = OCI_INVALID_HANDLE;
    return rc;
}

OCI_EXPORT sword OCIDateTimeConstruct(void* hndl, OCIError* errhp, OCIDateTime* datetime, sb2 year, ub1 month,
                                      ub1 day, ub1 hour, ub1 min, ub1 sec, ub4 fsec, OraText* timezone,
                                      size_t timezone_length) {
    Call call(hndl, errhp);
    if (!call.ok)
        return OCI_INVALID_HANDLE;
    DateTime* d = dateTimeOf(datetime);
    if (!d)
        return invalidArgument(call.err, 3);
    try {
        checkParts(year, month, day, hour, min, sec, fsec);
        const std::int64_t wall = secondsFromCivil(year, month, day, hour, min, sec);
        int offset = kSessionZone;
        if (timezone && timezone_length > 0 && zoneOf(*d) != Zone::None)
            offset = parseOffset(std::string(reinterpret_cast<const char*>(timezone), timezone_length));
        assign(*d, wall, offset, zoneOf(*d) == Zone::None && d->type == OCI_DTYPE_DATE ? 0 : fsec);
    } catch (const OraError& e) {
        return fail(call.err, e.code, e.what());
    }
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIDateTimeGetDate(void* hndl, OCIError* errhp, const OCIDateTime* date, sb2* year,
                                    ub1* month, ub1* day) {
    Call call(hndl, errhp);
    if (!call.ok)
        return OCI_INVALID_HANDLE;
    const DateTime* d = dateTimeOf(date);
    if (!d)
        return invalidArgument(call.err, 3);
    if (!d->set)
        return notInitialised(call.err);
    const Civil c = civilFromSeconds(wallClock(*d));
    put<sb2>(year, static_cast<sb2>(c.year));
    put<ub1>(month, static_cast<ub1>(c.month));
    put<ub1>(day, static_cast<ub1>(c.day));
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIDateTimeGetTime(void* hndl, OCIError* errhp, OCIDateTime* datetime, ub1* hour, ub1* min,
                                    ub1* sec, ub4* fsec) {
    Call call(hndl, errhp);
    if (!call.ok)
        return OCI_INVALID_HANDLE;
    const DateTime* d = dateTimeOf(datetime);
    if (!d)
        return invalidArgument(call.err, 3);
    if (!d->set)
        return notInitialised(call.err);
    const Civil c = civilFromSeconds(wallClock(*d));
    put<ub1>(hour, static_cast<ub1>(c.hour));
    put<ub1>(min, static_cast<ub1>(c.minute));
    put<ub1>(sec, static_cast<ub1>(c.second));
    put<ub4>(fsec, d->fsec);
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIDateTimeGetTimeZoneOffset(void* hndl, OCIError* errhp, const OCIDateTime* datetime,
                                              sb1* hour, sb1* min) {
    Call call(hndl, errhp);
    if (!call.ok)
        return OCI_INVALID_HANDLE;
    const DateTime* d = dateTimeOf(datetime);
    if (!d)
        return invalidArgument(call.err, 3);
    if (!d->set)
        return notInitialised(call.err);
    const int offset = offsetOf(*d);
    if (offset == kSessionZone)
        return fail(call.err, 30076, "ORA-30076: invalid extract field for extract source");
    // Both parts carry the sign, as in -03:30 = -3 hours, -30 minutes.
    put<sb1>(hour, static_cast<sb1>(offset / 60));
    put<sb1>(min, static_cast<sb1>(offset % 60));
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIDateTimeConvert(void* hndl, OCIError* errhp, OCIDateTime* indate, OCIDateTime* outdate) {
    Call call(hndl, errhp);
    if (!call.ok)
        return OCI_INVALID_HANDLE;
    const DateTime* in = dateTimeOf(indate);
    DateTime* out = dateTimeOf(outdate);
    if (!in)
        return invalidArgument(call.err, 3);
    if (!out)
        return invalidArgument(call.err, 4);
    if (!in->set)
        return notInitialised(call.err);
    const DateTime copy = *in; // indate and outdate may be the same descriptor
    assign(*out, wallClock(copy), offsetOf(copy), out->type == OCI_DTYPE_DATE ? 0 : copy.fsec);
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIDateTimeSubtract(void* hndl, OCIError* errhp, OCIDateTime* indate1, OCIDateTime* indate2,
                                     OCIInterval* inter) {
    Call call(hndl, errhp);
    if (!call.ok)
        return OCI_INVALID_HANDLE;
    const DateTime* a = dateTimeOf(indate1);
    const DateTime* b = dateTimeOf(indate2);
    Interval* iv = intervalOf(inter, OCI_DTYPE_INTERVAL_DS);
    if (!a)
        return invalidArgument(call.err, 3);
    if (!b)
        return invalidArgument(call.err, 4);
    if (!iv)
        return invalidArgument(call.err, 5);
    if (!a->set || !b->set)
        return notInitialised(call.err);
    const bool naive = zoneOf(*a) == Zone::None && zoneOf(*b) == Zone::None;
    const std::int64_t seconds = naive ? a->seconds - b->seconds : instantOf(*a) - instantOf(*b);
    setDaySecond(*iv, seconds, static_cast<std::int64_t>(a->fsec) - static_cast<std::int64_t>(b->fsec));
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIDateTimeIntervalAdd(void* hndl, OCIError* errhp, OCIDateTime* datetime,
                                        OCIInterval* inter, OCIDateTime* outdatetime) {
    Call call(hndl, errhp);
    if (!call.ok)
        return OCI_INVALID_HANDLE;
    const DateTime* in = dateTimeOf(datetime);
    const Interval* iv = intervalOf(inter);
    DateTime* out = dateTimeOf(outdatetime);
    if (!in)
        return invalidArgument(call.err, 3);
    if (!iv)
        return invalidArgument(call.err, 4);
    if (!out)
        return invalidArgument(call.err, 5);
    if (!in->set || !iv->set)
        return notInitialised(call.err);
    const DateTime copy = *in; // datetime and outdatetime may be the same descriptor
    if (iv->type == OCI_DTYPE_INTERVAL_YM) {
        // Months move the wall clock; the day must exist in the new month.
        const Civil c = civilFromSeconds(wallClock(copy));
        const std::int64_t total = c.year * 12 + (c.month - 1) + iv->months;
        const std::int64_t year = total >= 0 ? total / 12 : (total - 11) / 12;
        const int month = static_cast<int>(total - year * 12) + 1;
        if (c.day > daysIn(year, month))
            return fail(call.err, 1839, "ORA-01839: date not valid for month specified");
        const int offset = zoneOf(copy) == Zone::Fixed ? copy.tzMinutes : kSessionZone;
        assign(*out, secondsFromCivil(year, month, c.day, c.hour, c.minute, c.second), offset, copy.fsec);
    } else {
        std::int64_t nanos = static_cast<std::int64_t>(copy.fsec) + iv->nanos;
        std::int64_t delta = iv->seconds + nanos / kNanos;
        nanos %= kNanos;
        if (nanos < 0) {
            nanos += kNanos;
            --delta;
        }
        // A plain TIMESTAMP moves its wall clock; a zoned value moves as an instant and keeps its zone.
        if (zoneOf(copy) == Zone::None) {
            assign(*out, copy.seconds + delta, kSessionZone, static_cast<ub4>(nanos));
        } else {
            const std::int64_t instant = copy.seconds + delta;
            const int offset = zoneOf(copy) == Zone::Fixed ? copy.tzMinutes : sessionOffsetAt(instant);
            assign(*out, instant + offset * 60, offset, static_cast<ub4>(nanos));
        }
    }
    const Civil check = civilFromSeconds(wallClock(*out));
    if (check.year < -4712 || check.year > 9999 || check.year == 0)
        return fail(call.err, 1841, "ORA-01841: (full) year must be between -4713 and +9999, and not be 0");
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIIntervalSetDaySecond(void* hndl, OCIError* errhp, sb4 dy, sb4 hr, sb4 mm, sb4 ss,
                                         sb4 fsec, OCIInterval* result) {
    Call call(hndl, errhp);
    if (!call.ok)
        return OCI_INVALID_HANDLE;
    Interval* iv = intervalOf(result, OCI_DTYPE_INTERVAL_DS);
    if (!iv)
        return invalidArgument(call.err, 8);
    setDaySecond(*iv, std::int64_t{dy} * 86400 + std::int64_t{hr} * 3600 + std::int64_t{mm} * 60 + ss, fsec);
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIIntervalGetDaySecond(void* hndl, OCIError* errhp, sb4* dy, sb4* hr, sb4* mm, sb4* ss,
                                         sb4* fsec, const OCIInterval* result) {
    Call call(hndl, errhp);
    if (!call.ok)
        return OCI_INVALID_HANDLE;
    const Interval* iv = intervalOf(result, OCI_DTYPE_INTERVAL_DS);
    if (!iv)
        return invalidArgument(call.err, 8);
    if (!iv->set)
        return notInitialised(call.err);
    // Every part carries the interval's sign.
    const std::int64_t s = iv->seconds;
    put<sb4>(dy, static_cast<sb4>(s / 86400));
    put<sb4>(hr, static_cast<sb4>(s % 86400 / 3600));
    put<sb4>(mm, static_cast<sb4>(s % 3600 / 60));
    put<sb4>(ss, static_cast<sb4>(s % 60));
    put<sb4>(fsec, iv->nanos);
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIIntervalSetYearMonth(void* hndl, OCIError* errhp, sb4 yr, sb4 mnth, OCIInterval* result) {
    Call call(hndl, errhp);
    if (!call.ok)
        return OCI_INVALID_HANDLE;
    Interval* iv = intervalOf(result, OCI_DTYPE_INTERVAL_YM);
    if (!iv)
        return invalidArgument(call.err, 5);
    iv->months = yr * 12 + mnth;
    iv->seconds = 0;
    iv->nanos = 0;
    iv->set = true;
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCIIntervalGetYearMonth(void* hndl, OCIError* errhp, sb4* yr, sb4* mnth,
                                         const OCIInterval* result) {
    Call call(hndl, errhp);
    if (!call.ok)
        return OCI_INVALID_HANDLE;
    const Interval* iv = intervalOf(result, OCI_DTYPE_INTERVAL_YM);
    if (!iv)
        return invalidArgument(call.err, 5);
    if (!iv->set)
        return notInitialised(call.err);
    put<sb4>(yr, iv->months / 12);
    put<sb4>(mnth, iv->months % 12);
    return OCI_SUCCESS;
}
