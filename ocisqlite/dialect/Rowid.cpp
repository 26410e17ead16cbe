#include "Rowid.h"

#include "Translator.h"

namespace ocisqlite {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int kBlockRowBits = 54;
constexpr std::uint64_t kBlockRowMask = (std::uint64_t{1} << kBlockRowBits) - 1;
constexpr std::uint64_t kFileBase = 1; // the rowid's high 10 bits ride on top of it

int digitValue(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

char* put(char* out, std::uint64_t value, int digits) {
    for (int i = digits - 1; i >= 0; --i)
        *out++ = kAlphabet[(value >> (6 * i)) & 63];
    return out;
}

[[noreturn]] void invalid() {
    throw OraError(1410, "ORA-01410: invalid ROWID");
}

} // namespace

void encodeRowid(std::uint32_t objectNumber, std::int64_t sqliteRowid, char* out) {
    const auto bits = static_cast<std::uint64_t>(sqliteRowid);
    out = put(out, objectNumber, 6);
    out = put(out, kFileBase + (bits >> kBlockRowBits), 3);
    put(out, bits & kBlockRowMask, 9);
}

std::string encodeRowid(std::uint32_t objectNumber, std::int64_t sqliteRowid) {
    std::string out(kRowidLength, '\0');
    encodeRowid(objectNumber, sqliteRowid, out.data());
    return out;
}

DecodedRowid decodeRowid(std::string_view text) {
    if (text.size() != 18)
        invalid();
    std::uint64_t object = 0, file = 0, blockRow = 0;
    for (std::size_t i = 0; i < 18; ++i) {
        const int d = digitValue(text[i]);
        if (d < 0)
            invalid();
        auto& part = i < 6 ? object : i < 9 ? file : blockRow;
        part = (part << 6) | static_cast<std::uint64_t>(d);
    }
    // Object numbers are 32-bit here; the file carries 1 + the rowid's top 10 bits.
    if (object > 0xFFFFFFFFu || file < kFileBase || file - kFileBase > 0x3FF)
        invalid();
    DecodedRowid r;
    r.objectNumber = static_cast<std::uint32_t>(object);
    r.rowid = static_cast<std::int64_t>(((file - kFileBase) << kBlockRowBits) | blockRow);
    return r;
}

std::optional<std::int64_t> rowidForBind(std::string_view text, std::uint32_t expectedObjectNumber) {
    if (text.empty())
        return std::nullopt;
    const DecodedRowid r = decodeRowid(text);
    if (r.objectNumber != expectedObjectNumber)
        return std::nullopt;
    return r.rowid;
}

} // namespace ocisqlite
