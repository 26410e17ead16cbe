#include "DateFormat.h"

#include "Translator.h"

#include <cctype>
#include <cstdio>
#include <ctime>
#include <vector>

namespace ocisqlite {

namespace {

enum class Elem { Literal, Punct, YYYY, YY, RR, MM, MON, DD, HH24, MI, SS };

struct Item {
    Elem elem = Elem::Literal;
    std::string text; // literal text, punctuation run, or the element as written (for MON's case)
};

constexpr const char* kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                   "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

[[noreturn]] void fail(int code, const char* text) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "ORA-%05d: %s", code, text);
    throw OraError(code, buf);
}

bool isAlnum(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
char upper(char c) {
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

bool startsWithCi(std::string_view s, std::size_t pos, std::string_view word) {
    if (s.size() - pos < word.size())
        return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (upper(s[pos + i]) != word[i])
            return false;
    return true;
}

std::vector<Item> compile(std::string_view format) {
    static const struct {
        const char* name;
        Elem elem;
    } kElems[] = {{"YYYY", Elem::YYYY}, {"HH24", Elem::HH24}, {"MON", Elem::MON},
                  {"YY", Elem::YY},     {"RR", Elem::RR},     {"MM", Elem::MM},
                  {"DD", Elem::DD},     {"MI", Elem::MI},     {"SS", Elem::SS}};
    std::vector<Item> items;
    bool seen[16] = {};
    std::size_t i = 0;
    while (i < format.size()) {
        const char c = format[i];
        if (c == '"') {
            const std::size_t end = format.find('"', i + 1);
            if (end == std::string_view::npos)
                fail(1821, "date format not recognized");
            items.push_back({Elem::Literal, std::string(format.substr(i + 1, end - i - 1))});
            i = end + 1;
        } else if (!isAlnum(c)) {
            std::size_t j = i;
            while (j < format.size() && !isAlnum(format[j]) && format[j] != '"')
                ++j;
            items.push_back({Elem::Punct, std::string(format.substr(i, j - i))});
            i = j;
        } else {
            bool found = false;
            for (const auto& e : kElems) {
                if (startsWithCi(format, i, e.name)) {
                    const std::size_t len = std::char_traits<char>::length(e.name);
                    // YYYY/YY/RR all set the year, MM/MON the month.
                    int slot = static_cast<int>(e.elem);
                    if (e.elem == Elem::YY || e.elem == Elem::RR)
                        slot = static_cast<int>(Elem::YYYY);
                    if (e.elem == Elem::MON)
                        slot = static_cast<int>(Elem::MM);
                    if (seen[slot])
                        fail(1810, "format code appears twice");
                    seen[slot] = true;
                    items.push_back({e.elem, std::string(format.substr(i, len))});
                    i += len;
                    found = true;
                    break;
                }
            }
            if (!found)
                fail(1821, "date format not recognized");
        }
    }
    return items;
}

int width(Elem e) {
    return e == Elem::YYYY ? 4 : 2;
}

bool isTimeElem(Elem e) {
    return e == Elem::HH24 || e == Elem::MI || e == Elem::SS;
}

void pad(std::string& out, int value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*d", digits, value);
    out += buf;
}

} // namespace

int daysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2) {
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        return leap ? 29 : 28;
    }
    return kDays[month - 1];
}

bool isValidDate(const OraDate& d) {
    return d.year >= 1 && d.year <= 9999 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
           d.day <= daysInMonth(d.year, d.month) && d.hour >= 0 && d.hour <= 23 && d.minute >= 0 &&
           d.minute <= 59 && d.second >= 0 && d.second <= 59;
}

OraDate currentDate() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

OraDate parseDate(std::string_view text, std::string_view format) {
    const std::vector<Item> items = compile(format);
    const OraDate now = currentDate();
    OraDate d{now.year, now.month, 1, 0, 0, 0};
    std::size_t pos = 0;
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;

    for (std::size_t k = 0; k < items.size(); ++k) {
        const Item& item = items[k];
        if (pos >= text.size()) {
            // Time elements (and punctuation) at the end of the format may be left out.
            for (std::size_t r = k; r < items.size(); ++r)
                if (items[r].elem != Elem::Punct && !isTimeElem(items[r].elem))
                    fail(1840, "input value not long enough for date format");
            break;
        }
        switch (item.elem) {
        case Elem::Punct:
            // Any run of non-alphanumeric input matches; punctuation may be left out before a digit.
            if (isAlnum(text[pos]) && !isDigit(text[pos]))
                fail(1861, "literal does not match format string");
            while (pos < text.size() && !isAlnum(text[pos]))
                ++pos;
            break;
        case Elem::Literal:
            for (char c : item.text) {
                if (pos >= text.size() || upper(text[pos]) != upper(c))
                    fail(1861, "literal does not match format string");
                ++pos;
            }
            break;
        case Elem::MON: {
            int month = 0;
            for (int m = 0; m < 12; ++m)
                if (startsWithCi(text, pos, kMonths[m]))
                    month = m + 1;
            if (month == 0)
                fail(1843, "not a valid month");
            d.month = month;
            pos += 3;
            break;
        }
        default: {
            if (item.elem == Elem::MM && !isDigit(text[pos])) {
                // MM falls back to a month name.
                int month = 0;
                for (int m = 0; m < 12; ++m)
                    if (startsWithCi(text, pos, kMonths[m]))
                        month = m + 1;
                if (month == 0)
                    fail(1858, "a non-numeric character was found where a numeric was expected");
                d.month = month;
                pos += 3;
                break;
            }
            if (!isDigit(text[pos]))
                fail(1858, "a non-numeric character was found where a numeric was expected");
            int w = width(item.elem);
            // YY and RR accept a full four-digit year.
            if ((item.elem == Elem::YY || item.elem == Elem::RR) && text.size() - pos >= 4 &&
                isDigit(text[pos + 1]) && isDigit(text[pos + 2]) && isDigit(text[pos + 3]) &&
                (text.size() - pos == 4 || !isDigit(text[pos + 4])))
                w = 4;
            int value = 0, digits = 0;
            while (digits < w && pos < text.size() && isDigit(text[pos])) {
                value = value * 10 + (text[pos] - '0');
                ++pos;
                ++digits;
            }
            switch (item.elem) {
            case Elem::YYYY:
                if (value == 0)
                    fail(1841, "(full) year must be between -4713 and +9999, and not be 0");
                d.year = value;
                break;
            case Elem::YY:
            case Elem::RR:
                if (digits == 4) {
                    if (value == 0)
                        fail(1841, "(full) year must be between -4713 and +9999, and not be 0");
                    d.year = value;
                } else if (item.elem == Elem::YY) {
                    d.year = now.year / 100 * 100 + value;
                } else {
                    // RR: the century that puts the year nearest to now.
                    const int century = now.year / 100 * 100;
                    const int current = now.year % 100;
                    if (value < 50 && current >= 50)
                        d.year = century + 100 + value;
                    else if (value >= 50 && current < 50)
                        d.year = century - 100 + value;
                    else
                        d.year = century + value;
                }
                break;
            case Elem::MM:
                if (value < 1 || value > 12)
                    fail(1843, "not a valid month");
                d.month = value;
                break;
            case Elem::DD:
                if (value < 1 || value > 31)
                    fail(1847, "day of month must be between 1 and last day of month");
                d.day = value;
                break;
            case Elem::HH24:
                if (value > 23)
                    fail(1850, "hour must be between 0 and 23");
                d.hour = value;
                break;
            case Elem::MI:
                if (value > 59)
                    fail(1851, "minutes must be between 0 and 59");
                d.minute = value;
                break;
            case Elem::SS:
                if (value > 59)
                    fail(1852, "seconds must be between 0 and 59");
                d.second = value;
                break;
            default:
                break;
            }
        }
        }
    }
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;
    if (pos < text.size())
        fail(1830, "date format picture ends before converting entire input string");
    if (d.day > daysInMonth(d.year, d.month))
        fail(1839, "date not valid for month specified");
    return d;
}

std::string formatDate(const OraDate& d, std::string_view format) {
    std::string out;
    for (const Item& item : compile(format)) {
        switch (item.elem) {
        case Elem::Literal:
        case Elem::Punct:
            out += item.text;
            break;
        case Elem::YYYY:
            pad(out, d.year, 4);
            break;
        case Elem::YY:
        case Elem::RR:
            pad(out, d.year % 100, 2);
            break;
        case Elem::MM:
            pad(out, d.month, 2);
            break;
        case Elem::MON: {
            // The case of the element sets the case of the name: MON, Mon, mon.
            std::string name = kMonths[(d.month - 1) % 12];
            const bool firstUpper = std::isupper(static_cast<unsigned char>(item.text[0])) != 0;
            const bool restUpper = std::isupper(static_cast<unsigned char>(item.text[1])) != 0;
            for (std::size_t i = 0; i < name.size(); ++i) {
                const bool up = i == 0 ? firstUpper : restUpper;
                name[i] = up ? name[i] : static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
            }
            out += name;
            break;
        }
        case Elem::DD:
            pad(out, d.day, 2);
            break;
        case Elem::HH24:
            pad(out, d.hour, 2);
            break;
        case Elem::MI:
            pad(out, d.minute, 2);
            break;
        case Elem::SS:
            pad(out, d.second, 2);
            break;
        }
    }
    return out;
}

std::string toStorage(const OraDate& d) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour, d.minute,
                  d.second);
    return buf;
}

// Read for every DATE cell of every fetched row: straight-line, with no loop per digit.
std::optional<OraDate> fromStorage(std::string_view s) {
    const std::size_t size = s.size();
    if (size != 10 && size != 19)
        return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    bool bad = p[4] != '-' || p[7] != '-';
    const auto two = [p, &bad](std::size_t at) {
        const unsigned tens = p[at] - unsigned('0'), ones = p[at + 1] - unsigned('0');
        bad = bad || tens > 9 || ones > 9;
        return static_cast<int>(tens * 10 + ones);
    };
    OraDate d;
    d.year = two(0) * 100 + two(2);
    d.month = two(5);
    d.day = two(8);
    if (size == 19) {
        bad = bad || (p[10] != ' ' && p[10] != 'T') || p[13] != ':' || p[16] != ':';
        d.hour = two(11);
        d.minute = two(14);
        d.second = two(17);
    }
    if (bad || !isValidDate(d))
        return std::nullopt;
    return d;
}

void toOciDate(const OraDate& d, unsigned char out[7]) {
    out[0] = static_cast<unsigned char>(d.year / 100 + 100);
    out[1] = static_cast<unsigned char>(d.year % 100 + 100);
    out[2] = static_cast<unsigned char>(d.month);
    out[3] = static_cast<unsigned char>(d.day);
    out[4] = static_cast<unsigned char>(d.hour + 1);
    out[5] = static_cast<unsigned char>(d.minute + 1);
    out[6] = static_cast<unsigned char>(d.second + 1);
}

OraDate fromOciDate(const unsigned char in[7]) {
    OraDate d{(in[0] - 100) * 100 + (in[1] - 100), in[2], in[3], in[4] - 1, in[5] - 1, in[6] - 1};
    if (d.year < 1 || d.year > 9999)
        fail(1841, "(full) year must be between -4713 and +9999, and not be 0");
    if (d.month < 1 || d.month > 12)
        fail(1843, "not a valid month");
    if (d.day < 1 || d.day > daysInMonth(d.year, d.month))
        fail(1847, "day of month must be between 1 and last day of month");
    if (d.hour < 0 || d.hour > 23)
        fail(1850, "hour must be between 0 and 23");
    if (d.minute < 0 || d.minute > 59)
        fail(1851, "minutes must be between 0 and 59");
    if (d.second < 0 || d.second > 59)
        fail(1852, "seconds must be between 0 and 59");
    return d;
}

namespace {

// Days from 0001-01-01 to the given date (proleptic Gregorian calendar; Howard Hinnant's civil algorithm).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468 + 719162; // 0001-01-01 is day 0
}

void civilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468 - 719162;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2));
}

} // namespace

std::int64_t toSeconds(const OraDate& d) {
    return daysFromCivil(d.year, static_cast<unsigned>(d.month), static_cast<unsigned>(d.day)) * 86400 +
           d.hour * 3600 + d.minute * 60 + d.second;
}

OraDate fromSeconds(std::int64_t seconds) {
    std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    OraDate d;
    civilFromDays(days, d.year, d.month, d.day);
    d.hour = static_cast<int>(rest / 3600);
    d.minute = static_cast<int>(rest % 3600 / 60);
    d.second = static_cast<int>(rest % 60);
    if (d.year < 1 || d.year > 9999)
        throw OraError(1841, "ORA-01841: (full) year must be between -4713 and +9999, and not be 0");
    return d;
}

} // namespace ocisqlite
