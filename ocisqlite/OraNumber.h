// Oracle's internal NUMBER (SQLT_NUM): an exponent byte, then base-100 digits; negative numbers store
// 101 - digit and end in 102. 1 is C1 02, -1 is 3E 64 66, 0.5 is C0 33, zero is 80. OCINumber and SQLT_VNU
// put a length byte in front of the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace ocisqlite {

// value = (negative ? -1 : 1) x 0.digits x 10^exponent10; digits hold no leading zero ("" is zero).
struct DecimalNumber {
    bool negative = false;
    std::string digits;
    int exponent10 = 0;
};

// Encodes into at most 22 bytes and returns the count. Throws OraError ORA-01426 beyond NUMBER's range.
std::size_t encodeNumber(bool negative, std::string digits, int exponent10, unsigned char out[22]);
std::size_t encodeInteger(std::int64_t v, unsigned char out[22]);
std::size_t encodeUnsigned(std::uint64_t v, unsigned char out[22]);
// The shortest decimal that reads back as v (at most 17 digits). Zero, infinities and NaN give zero.
std::size_t encodeDouble(double v, unsigned char out[22]);

// The decimal value of len bytes; nullopt when they are no NUMBER. Bytes after the value's end are ignored.
std::optional<DecimalNumber> decodeDecimal(const unsigned char* p, std::size_t len);
// The nearest double. Throws OraError ORA-01722 when the bytes are no NUMBER.
double decodeNumber(const unsigned char* p, std::size_t len);

} // namespace ocisqlite
