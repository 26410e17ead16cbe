// Oracle DATE values: the format models TO_CHAR/TO_DATE use, the storage text in SQLite and the 7-byte
// SQLT_DAT. DATE columns hold canonical text 'YYYY-MM-DD HH:MM:SS', which sorts chronologically.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ocisqlite {

struct OraDate {
    int year = 1, month = 1, day = 1, hour = 0, minute = 0, second = 0;
    bool operator==(const OraDate&) const = default;
};

// Format elements understood (case-blind): YYYY, YY, RR, MM, MON, DD, HH24, HH, MI, SS, "quoted text" and
// punctuation / blanks. An unknown element: ORA-01821. A repeated element: ORA-01810.
// The session date format that the engine uses when a DATE meets a character bind or define.
inline constexpr std::string_view kDefaultDateFormat = "DD-MON-RR";

// TO_DATE with Oracle's conversion rules (leading blanks skipped, any non-alphanumeric input matches a
// punctuation, short numbers ended by punctuation, trailing time elements may be left out, missing date
// parts default to the current month's first day). Throws OraError: 01830, 01839, 01840, 01841, 01843,
// 01847, 01850, 01851, 01852, 01858, 01861, 01821, 01810.
OraDate parseDate(std::string_view text, std::string_view format);

// TO_CHAR(date, format). Throws OraError 01821 for an unknown element.
std::string formatDate(const OraDate& date, std::string_view format);

// 'YYYY-MM-DD HH:MM:SS'.
std::string toStorage(const OraDate& date);
// Accepts the storage text and also 'YYYY-MM-DD' and 'YYYY-MM-DDTHH:MM:SS'; nullopt for anything else or an
// impossible date.
std::optional<OraDate> fromStorage(std::string_view text);

// SQLT_DAT: century+100, year-of-century+100, month, day, hour+1, minute+1, second+1.
void toOciDate(const OraDate& date, unsigned char out[7]);
// An impossible value throws OraError 01841/01843/01847/01850/01851/01852 as TO_DATE would.
OraDate fromOciDate(const unsigned char in[7]);

// Current local time, whole seconds (SYSDATE).
OraDate currentDate();

bool isValidDate(const OraDate& date);
int daysInMonth(int year, int month);

// DATE arithmetic: seconds since 0001-01-01 00:00:00 and back. fromSeconds throws ORA-01841 outside the
// years 1 to 9999.
std::int64_t toSeconds(const OraDate& date);
OraDate fromSeconds(std::int64_t seconds);

} // namespace ocisqlite
