// OCINumber conversions. Drivers fetch and bind NUMBER as OCINumber (SQLT_VNU) and convert on the client,
// so these decide whether a number comes back exactly: every conversion goes through decimal digits.
#include "CallSupport.h"
#include "Engine.h"
#include "OraNumber.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace ocisqlite {

namespace {

sword argumentFault(Error* err, int n) {
    return fail(err, 21560,
                "ORA-21560: argument " + std::to_string(n) + " is null, invalid, or out of range");
}

sword overflow(Error* err) {
    return fail(err, 22053, "ORA-22053: overflow error");
}

void store(OCINumber* number, const unsigned char* bytes, std::size_t n) {
    std::memset(number->OCINumberPart, 0, sizeof number->OCINumberPart);
    number->OCINumberPart[0] = static_cast<ub1>(n);
    std::memcpy(number->OCINumberPart + 1, bytes, n);
}

std::optional<DecimalNumber> load(const OCINumber* number) {
    const ub1 len = number->OCINumberPart[0];
    if (len == 0 || len > 21)
        return std::nullopt;
    return decodeDecimal(number->OCINumberPart + 1, len);
}

// The decimal rounded to a whole number, half away from zero; nullopt beyond 20 digits.
std::optional<std::pair<bool, std::uint64_t>> roundToWhole(const DecimalNumber& d) {
    if (d.digits.empty() || d.exponent10 < 0)
        return std::make_pair(false, std::uint64_t{0});
    if (d.exponent10 > 20)
        return std::nullopt;
    std::string whole = d.digits.substr(0, static_cast<std::size_t>(d.exponent10));
    whole.resize(static_cast<std::size_t>(d.exponent10), '0');
    const bool roundUp = static_cast<std::size_t>(d.exponent10) < d.digits.size() &&
                         d.digits[static_cast<std::size_t>(d.exponent10)] >= '5';
    unsigned __int128 v = 0;
    for (char c : whole)
        v = v * 10 + static_cast<unsigned>(c - '0');
    if (roundUp)
        ++v;
    if (v > std::numeric_limits<std::uint64_t>::max())
        return std::nullopt;
    return std::make_pair(d.negative && v != 0, static_cast<std::uint64_t>(v));
}

template <class T> bool fits(bool negative, std::uint64_t magnitude) {
    if (!negative)
        return magnitude <= static_cast<std::uint64_t>(std::numeric_limits<T>::max());
    if (!std::numeric_limits<T>::is_signed)
        return false;
    return magnitude <= static_cast<std::uint64_t>(std::numeric_limits<T>::max()) + 1;
}

template <class T> void putWhole(void* rsl, bool negative, std::uint64_t magnitude) {
    const T v = negative ? static_cast<T>(0 - magnitude) : static_cast<T>(magnitude);
    std::memcpy(rsl, &v, sizeof v);
}

// The shortest decimal that reads back as the float f.
std::string floatDigits(float f, int& exponent) {
    char buf[32];
    int precision = 6;
    for (; precision < 9; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*e", precision - 1, static_cast<double>(std::fabs(f)));
        if (std::strtof(buf, nullptr) == std::fabs(f))
            break;
    }
    std::snprintf(buf, sizeof buf, "%.*e", precision - 1, static_cast<double>(std::fabs(f)));
    std::string digits;
    digits += buf[0];
    digits.append(buf + 2, static_cast<std::size_t>(precision - 1));
    exponent = std::atoi(std::strchr(buf, 'e') + 1) + 1;
    return digits;
}

} // namespace

} // namespace ocisqlite

using namespace ocisqlite;

OCI_EXPORT sword OCINumberFromInt(OCIError* errhp, const void* inum, uword inum_length, uword inum_s_flag,
                                  OCINumber* number) {
    CallLock call(errhp, OCI_HTYPE_ERROR);
    auto* err = call.as<Error>();
    if (!err)
        return OCI_INVALID_HANDLE;
    err->clear();
    if (!inum)
        return argumentFault(err, 2);
    if (!number)
        return argumentFault(err, 5);
    if (inum_s_flag != OCI_NUMBER_SIGNED && inum_s_flag != OCI_NUMBER_UNSIGNED)
        return argumentFault(err, 4);
    const bool isSigned = inum_s_flag == OCI_NUMBER_SIGNED;
    std::int64_t s = 0;
    std::uint64_t u = 0;
    switch (inum_length) {
    case 1:
        s = *static_cast<const sb1*>(inum);
        u = *static_cast<const ub1*>(inum);
        break;
    case 2: {
        sb2 a;
        ub2 b;
        std::memcpy(&a, inum, 2);
        std::memcpy(&b, inum, 2);
        s = a;
        u = b;
        break;
    }
    case 4: {
        sb4 a;
        ub4 b;
        std::memcpy(&a, inum, 4);
        std::memcpy(&b, inum, 4);
        s = a;
        u = b;
        break;
    }
    case 8:
        std::memcpy(&s, inum, 8);
        std::memcpy(&u, inum, 8);
        break;
    default:
        return argumentFault(err, 3);
    }
    unsigned char bytes[22];
    const std::size_t n = isSigned ? encodeInteger(s, bytes) : encodeUnsigned(u, bytes);
    store(number, bytes, n);
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCINumberToInt(OCIError* errhp, const OCINumber* number, uword rsl_length, uword rsl_flag,
                                void* rsl) {
    CallLock call(errhp, OCI_HTYPE_ERROR);
    auto* err = call.as<Error>();
    if (!err)
        return OCI_INVALID_HANDLE;
    err->clear();
    if (!number)
        return argumentFault(err, 2);
    if (!rsl)
        return argumentFault(err, 5);
    if (rsl_flag != OCI_NUMBER_SIGNED && rsl_flag != OCI_NUMBER_UNSIGNED)
        return argumentFault(err, 4);
    const auto d = load(number);
    if (!d)
        return fail(err, 22060, "ORA-22060: argument [2] is an invalid or uninitialized number");
    const auto whole = roundToWhole(*d);
    if (!whole)
        return overflow(err);
    const auto [negative, magnitude] = *whole;
    const bool isSigned = rsl_flag == OCI_NUMBER_SIGNED;
    switch (rsl_length) {
    case 1:
        if (isSigned ? !fits<sb1>(negative, magnitude) : !fits<ub1>(negative, magnitude))
            return overflow(err);
        isSigned ? putWhole<sb1>(rsl, negative, magnitude) : putWhole<ub1>(rsl, negative, magnitude);
        return OCI_SUCCESS;
    case 2:
        if (isSigned ? !fits<sb2>(negative, magnitude) : !fits<ub2>(negative, magnitude))
            return overflow(err);
        isSigned ? putWhole<sb2>(rsl, negative, magnitude) : putWhole<ub2>(rsl, negative, magnitude);
        return OCI_SUCCESS;
    case 4:
        if (isSigned ? !fits<sb4>(negative, magnitude) : !fits<ub4>(negative, magnitude))
            return overflow(err);
        isSigned ? putWhole<sb4>(rsl, negative, magnitude) : putWhole<ub4>(rsl, negative, magnitude);
        return OCI_SUCCESS;
    case 8:
        if (isSigned ? !fits<sb8>(negative, magnitude) : !fits<ub8>(negative, magnitude))
            return overflow(err);
        isSigned ? putWhole<sb8>(rsl, negative, magnitude) : putWhole<ub8>(rsl, negative, magnitude);
        return OCI_SUCCESS;
    default:
        return argumentFault(err, 3);
    }
}

OCI_EXPORT sword OCINumberFromReal(OCIError* errhp, const void* rnum, uword rnum_length, OCINumber* number) {
    CallLock call(errhp, OCI_HTYPE_ERROR);
    auto* err = call.as<Error>();
    if (!err)
        return OCI_INVALID_HANDLE;
    err->clear();
    if (!rnum)
        return argumentFault(err, 2);
    if (!number)
        return argumentFault(err, 4);
    unsigned char bytes[22];
    std::size_t n = 0;
    try {
        if (rnum_length == sizeof(double)) {
            double v;
            std::memcpy(&v, rnum, sizeof v);
            if (!std::isfinite(v))
                return overflow(err);
            n = encodeDouble(v, bytes);
        } else if (rnum_length == sizeof(float)) {
            float v;
            std::memcpy(&v, rnum, sizeof v);
            if (!std::isfinite(v))
                return overflow(err);
            if (v == 0) {
                n = encodeInteger(0, bytes);
            } else {
                int exponent = 0;
                const std::string digits = floatDigits(v, exponent);
                n = encodeNumber(v < 0, digits, exponent, bytes);
            }
        } else {
            return argumentFault(err, 3);
        }
    } catch (const OraError& e) {
        return fail(err, e.code, e.what());
    }
    store(number, bytes, n);
    return OCI_SUCCESS;
}

OCI_EXPORT sword OCINumberToReal(OCIError* errhp, const OCINumber* number, uword rsl_length, void* rsl) {
    CallLock call(errhp, OCI_HTYPE_ERROR);
    auto* err = call.as<Error>();
    if (!err)
        return OCI_INVALID_HANDLE;
    err->clear();
    if (!number)
        return argumentFault(err, 2);
    if (!rsl)
        return argumentFault(err, 4);
    const auto d = load(number);
    if (!d)
        return fail(err, 22060, "ORA-22060: argument [2] is an invalid or uninitialized number");
    const std::string text =
        d->digits.empty() ? "0"
                          : (d->negative ? "-0." : "0.") + d->digits + "e" + std::to_string(d->exponent10);
    // Parsed straight into the target type, so a float is rounded once.
    if (rsl_length == sizeof(double)) {
        const double v = std::strtod(text.c_str(), nullptr);
        std::memcpy(rsl, &v, sizeof v);
    } else if (rsl_length == sizeof(float)) {
        const float v = std::strtof(text.c_str(), nullptr);
        std::memcpy(rsl, &v, sizeof v);
    } else {
        return argumentFault(err, 3);
    }
    return OCI_SUCCESS;
}
