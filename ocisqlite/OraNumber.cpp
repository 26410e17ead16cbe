#include "OraNumber.h"

#include "Translator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ocisqlite {

std::size_t encodeNumber(bool negative, std::string digits, int exponent10, unsigned char out[22]) {
    while (!digits.empty() && digits.front() == '0') {
        digits.erase(digits.begin());
        --exponent10;
    }
    while (!digits.empty() && digits.back() == '0')
        digits.pop_back();
    if (digits.empty()) {
        out[0] = 0x80;
        return 1;
    }
    if (exponent10 % 2 != 0) {
        digits.insert(digits.begin(), '0');
        ++exponent10;
    }
    if (digits.size() % 2)
        digits += '0';
    const int e100 = exponent10 / 2 - 1; // weight of the first pair is 100^e100
    if (e100 > 62 || e100 < -65)
        throw OraError(1426, "ORA-01426: numeric overflow");
    std::size_t pairs = std::min<std::size_t>(digits.size() / 2, 20);
    while (pairs > 0 && digits[2 * pairs - 2] == '0' && digits[2 * pairs - 1] == '0')
        --pairs;
    std::size_t n = 0;
    out[n++] = static_cast<unsigned char>(negative ? 62 - e100 : 193 + e100);
    for (std::size_t i = 0; i < pairs; ++i) {
        const int d = (digits[2 * i] - '0') * 10 + (digits[2 * i + 1] - '0');
        out[n++] = static_cast<unsigned char>(negative ? 101 - d : d + 1);
    }
    if (negative && pairs < 20)
        out[n++] = 102;
    return n;
}

std::size_t encodeUnsigned(std::uint64_t v, unsigned char out[22]) {
    const std::string digits = std::to_string(v);
    return encodeNumber(false, digits, static_cast<int>(digits.size()), out);
}

std::size_t encodeInteger(std::int64_t v, unsigned char out[22]) {
    if (v >= 0)
        return encodeUnsigned(static_cast<std::uint64_t>(v), out);
    // The magnitude of INT64_MIN does not fit an int64_t.
    const std::string digits = std::to_string(0 - static_cast<std::uint64_t>(v));
    return encodeNumber(true, digits, static_cast<int>(digits.size()), out);
}

std::size_t encodeDouble(double v, unsigned char out[22]) {
    if (v == 0 || !std::isfinite(v)) {
        out[0] = 0x80;
        return 1;
    }
    char buf[40];
    int precision = 15;
    for (; precision < 17; ++precision) {
        std::snprintf(buf, sizeof buf, "%.*e", precision - 1, std::fabs(v));
        if (std::strtod(buf, nullptr) == std::fabs(v))
            break;
    }
    std::snprintf(buf, sizeof buf, "%.*e", precision - 1, std::fabs(v)); // d.ddd...e+XX
    std::string digits;
    digits += buf[0];
    digits.append(buf + 2, static_cast<std::size_t>(precision - 1));
    const int exp = std::atoi(std::strchr(buf, 'e') + 1);
    return encodeNumber(v < 0, digits, exp + 1, out);
}

std::optional<DecimalNumber> decodeDecimal(const unsigned char* p, std::size_t len) {
    if (len == 0)
        return std::nullopt;
    DecimalNumber d;
    if (p[0] == 0x80)
        return d;
    const bool positive = p[0] & 0x80;
    const int e100 = positive ? p[0] - 193 : 62 - p[0];
    d.negative = !positive;
    bool anyPair = false;
    for (std::size_t i = 1; i < len && i < 21; ++i) {
        if (!positive && p[i] == 102)
            break;
        const int pair = positive ? p[i] - 1 : 101 - p[i];
        if (pair < 0 || pair > 99)
            break; // past the end of the value in a larger buffer
        anyPair = true;
        d.digits += static_cast<char>('0' + pair / 10);
        d.digits += static_cast<char>('0' + pair % 10);
    }
    d.exponent10 = 2 * (e100 + 1);
    while (!d.digits.empty() && d.digits.front() == '0') {
        d.digits.erase(d.digits.begin());
        --d.exponent10;
    }
    while (!d.digits.empty() && d.digits.back() == '0')
        d.digits.pop_back();
    if (!anyPair)
        return std::nullopt; // an exponent without digits is no value
    if (d.digits.empty())
        return DecimalNumber{};
    return d;
}

double decodeNumber(const unsigned char* p, std::size_t len) {
    const auto d = decodeDecimal(p, len);
    if (!d)
        throw OraError(1722, "ORA-01722: invalid number");
    if (d->digits.empty())
        return 0;
    // strtod rounds the exact decimal to the nearest double.
    const std::string text = (d->negative ? "-0." : "0.") + d->digits + "e" + std::to_string(d->exponent10);
    return std::strtod(text.c_str(), nullptr);
}

} // namespace ocisqlite
