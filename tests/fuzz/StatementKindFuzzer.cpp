// libFuzzer harness for the statement kind check: the input is a statement text as UTF-16. The class
// depends only on the text's head after blanks and control characters and on the two markers: blanks
// around it change nothing, a leading comment makes it a change, a marker makes it a read, the case
// of Latin letters does not count, and a read stays a read whatever follows it.
#include "StatementKind.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

bool HasMarker(const QString& sql) {
    return sql.contains(QLatin1String("RMT_QUERY")) || sql.contains(QLatin1String("AUTO_HOUR"));
}

// Upper case to lower and lower to upper, Latin letters only.
QString FlipLatinCase(QString text) {
    for (QChar& c : text) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - 32);
        else if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);
    }
    return text;
}

// "SELECT" in any mix of cases, and nothing that merely looks or folds like it.
bool IsLatinSelect(const QString& head) {
    static const char16_t select[] = u"select";
    if (head.size() != 6)
        return false;
    for (qsizetype i = 0; i < 6; ++i) {
        const char16_t c = head.at(i).unicode();
        if (c != select[i] && c != select[i] - 32)
            return false;
    }
    return true;
}

// What is left after the characters below code 33 at both ends.
QString Stripped(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() < 33)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() < 33)
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QString sql;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        sql += QChar(char16_t(data[i] | data[i + 1] << 8));
    if (size % 2 == 1) // an odd byte stands for itself, so short ASCII inputs stay readable
        sql += QChar(char16_t(data[size - 1]));

    const bool read = IsReadStatement(sql);
    const bool marker = HasMarker(sql);

    Require(IsReadStatement(QStringLiteral(" \t\r\n\x01") + sql + QStringLiteral("\x1f \r\n")) == read);
    if (marker)
        Require(read);
    else
        Require(!IsReadStatement(QStringLiteral("/*") + sql));
    Require(IsReadStatement(sql + QStringLiteral(" RMT_QUERY")));
    Require(IsReadStatement(QStringLiteral("begin AUTO_HOUR; ") + sql));

    const QString flipped = FlipLatinCase(sql);
    if (!marker && !HasMarker(flipped))
        Require(IsReadStatement(flipped) == read);
    // A read without a marker is one because its head says SELECT in Latin letters.
    if (read && !marker)
        Require(IsLatinSelect(Stripped(sql).left(6)));
    if (read)
        Require(IsReadStatement(sql + QStringLiteral(" FROM DUAL WHERE 1 = 0")));
    return 0;
}
