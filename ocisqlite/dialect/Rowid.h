// The 18-character extended ROWID text: OOOOOO FFF BBBBBB RRR in Oracle's base-64 alphabet.
// OOOOOO is the table's object number, FFF a file number of 1 (plus the top bits of very large rowids),
// BBBBBB RRR the low 54 bits of the SQLite rowid, split as Oracle splits block and row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ocisqlite {

struct DecodedRowid {
    std::uint32_t objectNumber = 0;
    std::int64_t rowid = 0; // the SQLite rowid
};

constexpr std::size_t kRowidLength = 18;

std::string encodeRowid(std::uint32_t objectNumber, std::int64_t sqliteRowid);
// The same text written into out (kRowidLength characters, no terminator): the select list's ROWID is
// encoded for every row, where a string per row would cost more than the encoding.
void encodeRowid(std::uint32_t objectNumber, std::int64_t sqliteRowid, char* out);

// Throws OraError 1410 "ORA-01410: invalid ROWID" for text that is not an extended ROWID of ours.
DecodedRowid decodeRowid(std::string_view text);

// The value to bind for a rowidBinds entry: the SQLite rowid when the text names a row of the expected
// table, nullopt (bind NULL, so nothing matches) for an empty text or another table's rowid.
// Throws OraError 1410 for malformed text.
std::optional<std::int64_t> rowidForBind(std::string_view text, std::uint32_t expectedObjectNumber);

} // namespace ocisqlite
